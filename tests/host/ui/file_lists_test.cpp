// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>

#include "host/ui/controls.h"
#include "host/ui/form.h"
#include "host/vb/error.h"
#include "host/win/drives.h"
#include "support/temp_dir.h"
#include "ui_fixture.h"

using namespace host::ui;
namespace fs = std::filesystem;

namespace {
class frmLoadDir : public Form {
 public:
  frmLoadDir() : Form("frmLoadDir") {
    Drive1.Change = [this] { Dir1.SetPath(Drive1.Drive()); };
    Dir1.Change = [this] { File1.SetPath(Dir1.Path()); };
  }
  DriveListBox Drive1{*this, "Drive1", nullptr};
  DirListBox Dir1{*this, "Dir1", nullptr};
  FileListBox File1{*this, "File1", nullptr};
};

class FileLists : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    c = testing_support::DrivesRoot() / "c";
    d = testing_support::DrivesRoot() / "d";
    fs::create_directories(c / "Grids" / "Old");
    fs::create_directories(c / "apps");
    fs::create_directories(d / "data");
    for (const char* n : {"b.shp", "A.SHP", "a.dbf", "c.shp"}) testing_support::WriteFile(c / "Grids" / n, "x");
    old_cwd = fs::current_path();
    fs::current_path(c);  // the current drive and folder: C:\ ...
  }
  void TearDown() override {
    fs::current_path(old_cwd);
    fs::remove_all(c / "Grids");
    fs::remove_all(c / "apps");
    fs::remove_all(d / "data");
    UiTest::TearDown();
  }
  fs::path c, d, old_cwd;
};
}  // namespace

TEST_F(FileLists, FileListShowsMatchingFilesInOrderWithoutCase) {
  frmLoadDir f;
  f.Load();
  f.File1.SetPattern("*.shp");
  f.File1.SetPath("C:\\Grids");
  EXPECT_EQ(f.File1.Items(), (std::vector<std::string>{"A.SHP", "b.shp", "c.shp"}));
  f.File1.pick(1);
  EXPECT_EQ(f.File1.FileName(), "b.shp");
  EXPECT_THROW(f.File1.SetPath("C:\\NoSuchFolder"), host::vb::Error);
  EXPECT_EQ(f.File1.Path(), "C:\\Grids");
  f.Unload();
}

TEST_F(FileLists, FolderListStartsAtTheCurrentFolderAndOpensFolders) {
  frmLoadDir f;
  f.Load();
  EXPECT_EQ(f.Dir1.Path(), "C:\\");
  EXPECT_EQ(f.Drive1.Drive(), "c:");
  EXPECT_EQ(f.Dir1.List(0), "C:\\apps");
  f.Dir1.pick(1);  // a single click only highlights
  EXPECT_EQ(f.Dir1.Path(), "C:\\");
  f.Dir1.open("grids");
  EXPECT_EQ(f.Dir1.Path(), "C:\\Grids");
  EXPECT_EQ(f.File1.Path(), "C:\\Grids");
  EXPECT_EQ(f.Dir1.ListAt(-1), "C:\\Grids");
  EXPECT_EQ(f.Dir1.ListAt(-2), "C:\\");
  f.Dir1.open("..");
  EXPECT_EQ(f.Dir1.Path(), "C:\\");  // a root keeps its backslash
  f.Drive1.pick("d:");
  EXPECT_EQ(f.Dir1.Path(), "D:\\");  // another drive opens at its root
  EXPECT_EQ(f.Dir1.List(0), "D:\\data");
  f.Unload();
}

TEST_F(FileLists, AFolderThatCannotBeOpenedLeavesTheFolderListWhereItWas) {
  frmLoadDir f;
  f.Load();
  f.Dir1.SetPath("C:\\Grids");
  fs::create_directories(c / "Grids" / "Gone");
  f.Dir1.Refresh();
  ASSERT_EQ(f.Dir1.ListCount(), 2);
  fs::remove(c / "Grids" / "Gone");
  // Without a handler the error is the caller's, and nothing moved.
  try {
    f.Dir1.open("Gone");
    FAIL();
  } catch (const host::vb::Error& e) {
    EXPECT_EQ(e.number(), 76);
  }
  EXPECT_EQ(f.Dir1.Path(), "C:\\Grids");
  // With one, the form hears it and the list drops the folder.
  int heard = 0;
  f.Dir1.OpenFailed = [&](const host::vb::Error& e) { heard = e.number(); };
  f.Dir1.open("Gone");
  EXPECT_EQ(heard, 76);
  EXPECT_EQ(f.Dir1.Path(), "C:\\Grids");
  EXPECT_EQ(f.Dir1.Items(), (std::vector<std::string>{"C:\\Grids\\Old"}));
  EXPECT_EQ(f.File1.Path(), "C:\\Grids");
}
