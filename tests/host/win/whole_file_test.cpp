#include "host/win/whole_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "host/vb/error.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using host::win::WholeFile;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::vector<std::string> names_in(const fs::path& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(WholeFile, TheOldFileStaysUntilCommitAndKeepsItsMode) {
  TempDir dir;
  const fs::path target = dir / "settings.txt";
  WriteFile(target, "old");
  ::chmod(target.c_str(), 0600);
  {
    WholeFile file(target);
    file.Write("new");
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_TRUE(host::win::IsTemporaryName(file.TempPath().filename().string()));
  }  // dropped without a commit
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"settings.txt"});

  host::win::WriteWholeFile(target, "new");
  EXPECT_EQ(ReadFile(target), "new");
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"settings.txt"});
}

TEST(WholeFile, LeftoversOfKilledWritersGoButLiveOnesStay) {
  TempDir dir;
  // What a killed writer leaves: a marked name that nobody holds, file or folder.
  WriteFile(dir / ".page.png.partial-AbC123", "half");
  fs::create_directories(dir / ".grid.partial-xyZ789" / "inner");
  // Look-alikes that are not ours stay.
  WriteFile(dir / ".hidden", "mine");
  WriteFile(dir / "page.partial-AbC123", "not hidden");

  WholeFile live(dir / "live.pdf");  // clean-up ran for the folder
  EXPECT_EQ(names_in(dir.path()).size(), 3u);  // .hidden, the look-alike and live's temporary
  EXPECT_FALSE(fs::exists(dir / ".page.png.partial-AbC123"));
  EXPECT_FALSE(fs::exists(dir / ".grid.partial-xyZ789"));

  // A second writer in the folder leaves the first one's file alone.
  host::win::WriteWholeFile(dir / "other.pdf", "x");
  EXPECT_TRUE(fs::exists(live.TempPath()));
  live.Write("done");
  live.Commit();
  EXPECT_EQ(ReadFile(dir / "live.pdf"), "done");
}

TEST(WholeFile, RefusesAMissingFolder) {
  TempDir dir;
  try {
    WholeFile file(dir / "missing" / "x.txt", "C:\\missing\\x.txt");
    FAIL() << "no error";
  } catch (const host::vb::Error& e) {
    EXPECT_EQ(e.number(), 76);
    EXPECT_NE(e.description().find("C:\\missing\\x.txt"), std::string::npos);
  }
}
