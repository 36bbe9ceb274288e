// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "host/vb/error.h"
#include "host/vb/text.h"
#include "host/win/drives.h"
#include "host/win/fso.h"
#include "win_fixtures.h"

namespace fs = std::filesystem;
using namespace host::win;
using testing_support::TempDir;
using testing_support::WriteFile;
using win_test::DriveC;
using win_test::EnvGuard;

using DriveMapTest = DriveC;

TEST_F(DriveMapTest, ComponentsMatchWithoutRegardToCaseButExactNamesWin) {
  fs::create_directories(native("a/b"));
  EXPECT_EQ(NativePath("C:\\a\\B"), native("a/b"));
  EXPECT_EQ(NativePath("c:/A/b/new.shp"), native("a/b/new.shp"));  // a missing name is kept as written
  fs::create_directories(native("Data"));
  fs::create_directories(native("data"));
  EXPECT_EQ(NativePath("C:\\Data"), native("Data"));
  EXPECT_EQ(NativePath("C:\\data"), native("data"));
}

TEST_F(DriveMapTest, TrailingBackslashDotsAndRoots) {
  fs::create_directories(native("a"));
  std::string folder = NativePath("C:\\a\\").string();
  EXPECT_EQ(folder, native("a").string() + "/");
  EXPECT_EQ(NativePath("C:\\a\\.\\..\\..\\b"), native("b"));  // ".." stops at the drive's root
  EXPECT_EQ(NativePath("C:\\"), c.path());
  EXPECT_EQ(NativePath("Z:\\"), fs::path("/"));
  EXPECT_EQ(NativePath("z:\\usr\\bin"), fs::path("/usr/bin"));
  EXPECT_EQ(NativePath("/usr/bin"), fs::path("/usr/bin"));  // native absolute paths pass through
}

TEST_F(DriveMapTest, PathsWithoutADriveStartFromTheCurrentFolder) {
  fs::create_directories(native("work/sub"));
  testing_support::TempDir outside;
  fs::path old = fs::current_path();
  fs::current_path(native("work/sub"));
  std::string current = CurrentDirectory();
  fs::path from_root = NativePath("\\work\\x.txt");
  fs::path up = NativePath("..\\..\\y.txt");  // a relative path may leave the current folder
  fs::path down = NativePath("Deeper\\z.txt");
  // Current folder on no drive at all: a leading backslash is the machine's root.
  fs::current_path(outside.path());
  DriveMap::instance().remove('Z');
  fs::path nowhere = NativePath("\\etc");
  fs::current_path(old);
  EXPECT_EQ(current, "C:\\work\\sub");
  EXPECT_EQ(from_root, native("work/x.txt"));
  EXPECT_EQ(up, native("y.txt"));
  EXPECT_EQ(down, native("work/sub/Deeper/z.txt"));
  EXPECT_EQ(nowhere, fs::path("/etc"));
}

TEST_F(DriveMapTest, AnUnmappedDriveIsAPathThatIsNotFound) {
  DriveMap::instance().remove('Q');
  EXPECT_FALSE(DriveMap::instance().root('Q'));
  EXPECT_FALSE(fs::exists(NativePath("Q:\\")));
  FileSystemObject fso;
  EXPECT_FALSE(fso.FolderExists("Q:\\"));
  EXPECT_EQ(ERR_OF(fso.CreateFolder("Q:\\maps")), host::vb::err::PathNotFound);
}

TEST_F(DriveMapTest, WindowsPathTakesTheDriveThatHoldsThePathMostClosely) {
  EXPECT_EQ(WindowsPath(native("a/b.shp")), "C:\\a\\b.shp");
  EXPECT_EQ(WindowsPath(c.path()), "C:\\");
  EXPECT_EQ(WindowsPath(c.path() / ""), "C:\\");
  // A drive inside another: the nearer root wins.
  DriveMap::instance().set('E', native("inner"));
  EXPECT_EQ(WindowsPath(native("inner/x")), "E:\\x");
  // A sibling that only shares the root's text as a prefix is not on the drive.
  std::string sibling = c.path().string() + "x/file";
  EXPECT_EQ(WindowsPath(sibling), "Z:\\" + host::vb::Replace(sibling.substr(1), "/", "\\"));
  EXPECT_EQ(WindowsPath("/usr/bin"), "Z:\\usr\\bin");
  DriveMap::instance().remove('Z');
  EXPECT_EQ(WindowsPath("/usr/bin"), "/usr/bin");  // outside every drive: stays native
  EXPECT_EQ(NativePath(WindowsPath(native("a/b"))), native("a/b"));
}

TEST(DriveMapEnvironment, ZelvaneDrivesOverridesAndAddsDrives) {
  TempDir other_c, d;
  {
    EnvGuard drives("ZELVANE_DRIVES");
    drives.set(" C=" + other_c.path().string() + " ; d=" + d.path().string() + ";junk;E=;=x");
    DriveMap::instance().reset_from_environment();
    EXPECT_EQ(DriveMap::instance().root('C'), other_c.path());
    EXPECT_EQ(DriveMap::instance().root('D'), d.path());
    EXPECT_FALSE(DriveMap::instance().root('E'));
    EXPECT_EQ(DriveMap::instance().root('Z'), fs::path("/"));
    EXPECT_EQ(DriveMap::instance().letters(), (std::vector<char>{'C', 'D', 'Z'}));
    EXPECT_EQ(NativePath("D:\\maps\\a.shp"), d.path() / "maps" / "a.shp");

    // Without the variable, C: is the folder under the user's data directory.
    drives.unset();
    DriveMap::instance().reset_from_environment();
    EXPECT_EQ(DriveMap::instance().root('C'), DefaultDriveC());
    EXPECT_FALSE(DriveMap::instance().root('D'));
  }
  DriveMap::instance().reset_from_environment();
  EXPECT_EQ(DriveMap::instance().root('C'), testing_support::DrivesRoot() / "c");
}

TEST(DriveMapEnvironment, DefaultDriveCAndProgramFiles) {
  EnvGuard xdg("XDG_DATA_HOME");
  TempDir data;
  xdg.set(data.path().string());
  EXPECT_EQ(DefaultDriveC(), data.path() / "zelvane" / "drive_c");
  DriveMap::instance().set('C', DefaultDriveC());
  EnsureProgramFiles();
  EnsureProgramFiles();  // a second start finds it there
  EXPECT_TRUE(fs::is_directory(data.path() / "zelvane" / "drive_c" / "Program Files"));
  DriveMap::instance().reset_from_environment();
}

// A folder typed as a native path, with a Windows file name appended the way the
// command appends one, names a file inside that folder, as its Z: form does.
TEST_F(DriveMapTest, ANativePathWorksLikeItsZForm) {
  fs::create_directories(native("out"));
  const std::string out = native("out").string();
  const std::string z = "Z:" + host::vb::Replace(out, "/", "\\");
  EXPECT_EQ(NativePath(out + "\\Mapbook.png"), native("out/Mapbook.png"));
  EXPECT_EQ(NativePath(out + "\\Mapbook.png"), NativePath(z + "\\Mapbook.png"));
  EXPECT_EQ(NativePath(out + "\\"), NativePath(z + "\\"));  // still names a folder
  EXPECT_EQ(NativePath(out + "/sub\\..\\x.txt"), native("out/x.txt"));
  // Components match without regard to case, as on any drive.
  EXPECT_EQ(NativePath(native("OUT").string() + "\\a.txt"), native("out/a.txt"));
  FileSystemObject fso;
  fso.CreateFolder(out + "\\made");
  EXPECT_TRUE(fs::is_directory(native("out/made")));
  EXPECT_FALSE(fs::exists(c.path() / "out\\made"));
  // ".." stops at the machine's root.
  EXPECT_EQ(NativePath("/..\\..\\usr/bin"), fs::path("/usr/bin"));
  EXPECT_EQ(NativePath("/"), fs::path("/"));
}

// Cron jobs and services start without HOME; the folder is then the account's own,
// never a shared one that another user could make first.
TEST(DriveMapEnvironment, TheDataFolderComesFromTheAccountWithoutHome) {
  EnvGuard xdg("XDG_DATA_HOME"), home("HOME");
  TempDir data;
  xdg.set(data.path().string());
  home.set("/nowhere");
  EXPECT_EQ(UserDataFolder(), data.path() / "zelvane");
  xdg.set("relative/data");  // not a valid XDG_DATA_HOME: ignored
  EXPECT_EQ(UserDataFolder(), fs::path("/nowhere/.local/share/zelvane"));
  xdg.unset();
  home.unset();
  struct passwd* entry = getpwuid(geteuid());
  if (entry && entry->pw_dir && entry->pw_dir[0] == '/') {
    EXPECT_EQ(UserDataFolder(), fs::path(entry->pw_dir) / ".local" / "share" / "zelvane");
  } else {
    EXPECT_THROW(UserDataFolder(), host::vb::Error);
  }
}
