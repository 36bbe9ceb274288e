// SPDX-License-Identifier: GPL-3.0-or-later
// Which files the join reads: never its own output, however either is spelled.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"
#include "tools/pdftk/inputs.h"

namespace fs = std::filesystem;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::vector<std::string> Names(const std::vector<pdftk::Input>& inputs) {
  std::vector<std::string> names;
  for (const auto& in : inputs) names.push_back(in.path.filename().string());
  return names;
}

using V = std::vector<std::string>;

class PdftkInputs : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(out);
    for (const char* name : {"a.pdf", "B.pdf", "Combined.pdf"}) WriteFile(out / name, "%PDF-1.4");
  }
  fs::path out = testing_support::DrivesRoot() / "c" / "Join Out";
  void TearDown() override { fs::remove_all(out); }
};

TEST_F(PdftkInputs, APatternNeverMatchesTheOutputHoweverItIsSpelled) {
  const std::string pattern = (out / "*.pdf").string();
  fs::create_directories(out / "sub");
  fs::create_directory_symlink(out, out / "sub" / "link");
  for (const fs::path& output : {out / "Combined.pdf", out / "combined.PDF", out / "sub" / ".." / "Combined.pdf",
                                 out / "sub" / "link" / "COMBINED.pdf", pdftk::NativeOf("C:\\JOIN OUT\\combined.pdf")})
    EXPECT_EQ(Names(pdftk::Expand(pattern, output)), (V{"a.pdf", "B.pdf"})) << output;
  // A pattern spelled otherwise than the output, in Windows form.
  EXPECT_EQ(Names(pdftk::Expand("c:\\join out\\*.PDF", out / "Combined.pdf")), (V{"a.pdf", "B.pdf"}));
  // A second name of the output file is the output too.
  fs::create_hard_link(out / "Combined.pdf", out / "copy.pdf");
  EXPECT_EQ(Names(pdftk::Expand(pattern, out / "Combined.pdf")), (V{"a.pdf", "B.pdf"}));
  // Another output leaves Combined.pdf among the inputs.
  EXPECT_EQ(Names(pdftk::Expand(pattern, out / "sub" / "Combined.pdf")), (V{"a.pdf", "B.pdf", "Combined.pdf", "copy.pdf"}));
  EXPECT_EQ(Names(pdftk::Expand(pattern, out / "Combined2.pdf")), (V{"a.pdf", "B.pdf", "Combined.pdf", "copy.pdf"}));
}

TEST_F(PdftkInputs, WritersTemporaryFilesAndFoldersAreNoInputs) {
  WriteFile(out / ".Combined.pdf.partial-a1b2c3.pdf", "half");
  fs::create_directories(out / "folder.pdf");
  EXPECT_EQ(Names(pdftk::Expand((out / "*.pdf").string(), out / "Combined.pdf")), (V{"a.pdf", "B.pdf"}));
  // Only the output itself: nothing is left to join.
  fs::remove(out / "a.pdf");
  fs::remove(out / "B.pdf");
  EXPECT_THROW(pdftk::Expand((out / "*.pdf").string(), out / "combined.pdf"), pdftk::Failure);
}

TEST_F(PdftkInputs, TheOutputTakesTheSpellingOfTheFileThatIsThere) {
  EXPECT_EQ(pdftk::OutputOf((out / "COMBINED.pdf").string()), out / "Combined.pdf");
  EXPECT_EQ(pdftk::OutputOf("C:\\Join Out\\combined.pdf"), out / "Combined.pdf");
  EXPECT_EQ(pdftk::OutputOf((out / "New.pdf").string()), out / "New.pdf");
}

TEST_F(PdftkInputs, ANamedInputThatIsTheOutputIsRefused) {
  pdftk::Request request;
  request.inputs = {(out / "a.pdf").string(), "C:\\join out\\COMBINED.PDF"};
  request.output = (out / "Combined.pdf").string();
  try {
    pdftk::InputsOf(request, pdftk::OutputOf(request.output));
    FAIL() << "no refusal";
  } catch (const pdftk::Failure& f) {
    EXPECT_EQ(std::string(f.what()), "'C:\\join out\\COMBINED.PDF' is the output file; it cannot also be an input");
  }
  request.inputs = {(out / "B.pdf").string(), (out / "*.pdf").string()};
  EXPECT_EQ(Names(pdftk::InputsOf(request, out / "Combined.pdf")), (V{"B.pdf", "a.pdf", "B.pdf"}));
}

}  // namespace
