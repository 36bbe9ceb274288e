// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "host/vb/error.h"
#include "host/vb/seqfile.h"
#include "support/temp_dir.h"

using namespace host::vb;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {
class SeqFile : public ::testing::Test {
 protected:
  void TearDown() override { CloseAll(); }
  TempDir dir;
  std::string path(const std::string& name) { return (dir / name).string(); }

  std::vector<std::string> read_all(const std::string& p) {
    std::vector<std::string> values;
    Close(1);
    Open(p, OpenMode::Input, 1);
    while (!Eof(1)) values.push_back(Input(1));
    Close(1);
    return values;
  }
};
}  // namespace

TEST_F(SeqFile, WriteQuotesEachValueOnItsOwnCrLfLine) {
  Open(path("config"), OpenMode::Append, 1);
  WriteQuoted(1, "");
  WriteQuoted(1, "C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\Grids");
  WriteQuoted(1, "a, b");
  Close(1);
  Open(path("config"), OpenMode::Append, 1);
  WriteQuoted(1, "NULL");
  Close(1);
  EXPECT_EQ(ReadFile(dir / "config"),
            "\"\"\r\n\"C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\Grids\"\r\n\"a, b\"\r\n\"NULL\"\r\n");
  EXPECT_EQ(read_all(path("config")),
            (std::vector<std::string>{"", "C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\Grids", "a, b", "NULL"}));
}

TEST_F(SeqFile, InputSplitsOnCommasAndLineEndsAndSkipsLeadingBlanks) {
  WriteFile(dir / "f", "  \"q, r\" ,plain , x\r\n7\n  \"last\"\r\n");
  EXPECT_EQ(read_all(path("f")), (std::vector<std::string>{"q, r", "plain", "x", "7", "last"}));
  WriteFile(dir / "g", "\"\"\r\n\r\n\"b\"");  // an empty line is an empty value; no final line end
  EXPECT_EQ(read_all(path("g")), (std::vector<std::string>{"", "", "b"}));
}

TEST_F(SeqFile, DoubledQuotesInsideAQuotedValueReadAsOne) {
  WriteFile(dir / "q", "\"say \"\"hi\"\"\",\"\"\r\n\"\"\"\"\r\n");
  EXPECT_EQ(read_all(path("q")), (std::vector<std::string>{"say \"hi\"", "", "\""}));
}

TEST_F(SeqFile, ReadingPastTheEndFailsWith62) {
  std::string bytes;
  for (int i = 0; i < 10; ++i) bytes += "\"v" + std::to_string(i) + "\"\r\n";
  WriteFile(dir / "ten", bytes);
  Open(path("ten"), OpenMode::Input, 1);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Input(1), "v" + std::to_string(i));
  EXPECT_TRUE(Eof(1));
  try {
    Input(1);
    FAIL() << "read past the end";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::InputPastEndOfFile);
    EXPECT_EQ(e.description(), "Input past end of file");
  }
  WriteFile(dir / "empty", "");
  Close(1);
  Open(path("empty"), OpenMode::Input, 1);
  EXPECT_TRUE(Eof(1));
}

TEST_F(SeqFile, SlotRulesAndOpenFailures) {
  Close(1);  // closing a closed slot is fine
  Close(1);
  auto number_of = [](const std::function<void()>& f) {
    try {
      f();
    } catch (const Error& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(number_of([&] { Open(path("missing"), OpenMode::Input, 1); }), err::FileNotFound);
  EXPECT_EQ(number_of([&] { Open(path("no/such/folder/f"), OpenMode::Output, 1); }), err::PathNotFound);
  EXPECT_FALSE(IsOpen(1));
  Open(path("out"), OpenMode::Output, 1);
  EXPECT_EQ(number_of([&] { Open(path("out"), OpenMode::Output, 1); }), err::FileAlreadyOpen);
  EXPECT_EQ(number_of([&] { Input(1); }), err::BadFileMode);
  EXPECT_EQ(number_of([&] { WriteQuoted(2, "x"); }), err::BadFileNameOrNumber);
  PrintLine(1, "A1\tB2");
  Close(1);
  // Output truncates what was there.
  Open(path("out"), OpenMode::Output, 1);
  PrintLine(1, "only");
  Close(1);
  EXPECT_EQ(ReadFile(dir / "out"), "only\r\n");
}

TEST_F(SeqFile, WindowsPathsGoThroughTheDriveMap) {
  Open("C:\\seqfile-test.txt", OpenMode::Output, 1);
  WriteQuoted(1, "x");
  Close(1);
  EXPECT_EQ(ReadFile(testing_support::DrivesRoot() / "c" / "seqfile-test.txt"), "\"x\"\r\n");
  std::filesystem::remove(testing_support::DrivesRoot() / "c" / "seqfile-test.txt");
}
