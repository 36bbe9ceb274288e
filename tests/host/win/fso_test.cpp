// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "host/win/fso.h"
#include "win_fixtures.h"

namespace fs = std::filesystem;
using namespace host::win;
namespace err = host::vb::err;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

class Fso : public win_test::DriveC {
 protected:
  FileSystemObject fso;
  std::vector<std::string> entries(const std::string& rel) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(native(rel))) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

}  // namespace

TEST_F(Fso, ExistsTellsFilesFromFolders) {
  WriteFile(native("maps/Data.txt"), "x");
  EXPECT_TRUE(fso.FileExists("C:\\maps\\data.TXT"));
  EXPECT_FALSE(fso.FolderExists("C:\\maps\\Data.txt"));
  EXPECT_TRUE(fso.FolderExists("C:\\MAPS"));
  EXPECT_TRUE(fso.FolderExists("C:\\maps\\"));
  EXPECT_FALSE(fso.FileExists("C:\\maps"));
  EXPECT_FALSE(fso.FileExists("C:\\maps\\none.txt"));
  EXPECT_FALSE(fso.FolderExists("C:\\none"));
  EXPECT_FALSE(fso.FileExists(""));
  EXPECT_FALSE(fso.FolderExists(""));
}

TEST_F(Fso, DeleteFile) {
  WriteFile(native("a.txt"), "a");
  fso.DeleteFile("C:\\A.TXT");
  EXPECT_FALSE(fs::exists(native("a.txt")));
  EXPECT_EQ(ERR_OF(fso.DeleteFile("C:\\a.txt")), err::FileNotFound);
  fs::create_directories(native("folder"));
  EXPECT_EQ(ERR_OF(fso.DeleteFile("C:\\folder")), err::FileNotFound);
  EXPECT_TRUE(fs::is_directory(native("folder")));
}

TEST_F(Fso, DeleteOfAReadOnlyFileIsRefusedUnlessForced) {
  WriteFile(native("ro.txt"), "keep me");
  fso.SetReadOnly("C:\\ro.txt", true);
  EXPECT_TRUE(fso.IsReadOnly("C:\\ro.txt"));
  // The tests run as root, who could delete it: the refusal must come from the attribute.
  EXPECT_EQ(ERR_OF(fso.DeleteFile("C:\\ro.txt")), err::PermissionDenied);
  EXPECT_EQ(ReadFile(native("ro.txt")), "keep me");
  fso.DeleteFile("C:\\ro.txt", true);
  EXPECT_FALSE(fs::exists(native("ro.txt")));
  EXPECT_EQ(ERR_OF(fso.SetReadOnly("C:\\ro.txt", false)), err::FileNotFound);
}

TEST_F(Fso, DeleteWithWildcardsRemovesAllOrNothing) {
  for (const char* name : {"p1.pgw", "p2.PGW", "p1.png"}) WriteFile(native(std::string("out/") + name), "x");
  fso.SetReadOnly("C:\\out\\p2.PGW", true);
  EXPECT_EQ(ERR_OF(fso.DeleteFile("C:\\out\\*.pgw")), err::PermissionDenied);
  EXPECT_EQ(entries("out"), (std::vector<std::string>{"p1.pgw", "p1.png", "p2.PGW"}));
  fso.DeleteFile("C:\\out\\*.pgw", true);
  EXPECT_EQ(entries("out"), (std::vector<std::string>{"p1.png"}));
  EXPECT_EQ(ERR_OF(fso.DeleteFile("C:\\out\\*.pgw")), err::FileNotFound);
}

TEST_F(Fso, ANameWithWildcardsIsOneFileToTheLiteralDeleteAndCopy) {
  for (const char* n : {"keep1.mbk", "keep2.mbk", "*.mbk", "a?.mbk"}) WriteFile(native(std::string("b/") + n), n);
  fso.CopyOneFile("C:\\b\\*.mbk", "C:\\b\\copy.mbk");
  EXPECT_EQ(ReadFile(native("b/copy.mbk")), "*.mbk");
  EXPECT_EQ(ERR_OF(fso.CopyOneFile("C:\\b\\a?.mbk", "C:\\b\\copy.mbk", false)), err::FileAlreadyExists);
  fso.DeleteOneFile("C:\\b\\*.mbk");
  fso.DeleteOneFile("C:\\b\\a?.mbk");
  EXPECT_EQ(entries("b"), (std::vector<std::string>{"copy.mbk", "keep1.mbk", "keep2.mbk"}));
  // No file of that very name: nothing else is taken for it.
  EXPECT_EQ(ERR_OF(fso.DeleteOneFile("C:\\b\\*.mbk")), err::FileNotFound);
  EXPECT_EQ(ERR_OF(fso.CopyOneFile("C:\\b\\k*", "C:\\b\\x.mbk")), err::FileNotFound);
  EXPECT_EQ(entries("b").size(), 3u);
}

TEST_F(Fso, CreateFolderMakesTheLastLevelOnly) {
  fso.CreateFolder("C:\\Grids");
  EXPECT_TRUE(fs::is_directory(native("Grids")));
  fso.CreateFolder("C:\\grids\\Sub\\");  // the existing level is found without regard to case
  EXPECT_TRUE(fs::is_directory(native("Grids/Sub")));
  EXPECT_EQ(ERR_OF(fso.CreateFolder("C:\\GRIDS")), err::FileAlreadyExists);
  WriteFile(native("file"), "x");
  EXPECT_EQ(ERR_OF(fso.CreateFolder("C:\\file")), err::FileAlreadyExists);
  EXPECT_EQ(ERR_OF(fso.CreateFolder("C:\\missing\\child")), err::PathNotFound);
  EXPECT_FALSE(fs::exists(native("missing")));
}

TEST_F(Fso, CopyFileWritesTheWholeFile) {
  std::string bytes;
  for (int i = 0; i < 300000; ++i) bytes += char(i * 7 % 256);  // several buffers, NULs included
  WriteFile(native("src/big.bin"), bytes);
  fs::create_directories(native("dst"));
  fso.CopyFile("C:\\src\\big.bin", "C:\\dst\\copy.bin");
  EXPECT_EQ(ReadFile(native("dst/copy.bin")), bytes);
  // Over an existing target, and into a folder named with a trailing backslash.
  WriteFile(native("src/small.txt"), "new");
  fso.CopyFile("C:\\src\\small.txt", "C:\\dst\\copy.bin");
  fso.CopyFile("C:\\src\\small.txt", "C:\\dst\\");
  EXPECT_EQ(ReadFile(native("dst/copy.bin")), "new");
  EXPECT_EQ(ReadFile(native("dst/small.txt")), "new");
  // No temporary file is left beside the targets.
  EXPECT_EQ(entries("dst"), (std::vector<std::string>{"copy.bin", "small.txt"}));
  // Onto itself: nothing lost.
  fso.CopyFile("C:\\src\\small.txt", "C:\\SRC\\small.txt");
  EXPECT_EQ(ReadFile(native("src/small.txt")), "new");
}

TEST_F(Fso, CopyFileRefusals) {
  WriteFile(native("a.txt"), "source");
  WriteFile(native("b.txt"), "target");
  fs::create_directories(native("folder"));
  EXPECT_EQ(ERR_OF(fso.CopyFile("C:\\none.txt", "C:\\c.txt")), err::FileNotFound);
  EXPECT_EQ(ERR_OF(fso.CopyFile("C:\\folder", "C:\\c.txt")), err::FileNotFound);
  EXPECT_EQ(ERR_OF(fso.CopyFile("C:\\a.txt", "C:\\b.txt", false)), err::FileAlreadyExists);
  EXPECT_EQ(ReadFile(native("b.txt")), "target");
  fso.SetReadOnly("C:\\b.txt", true);
  EXPECT_EQ(ERR_OF(fso.CopyFile("C:\\a.txt", "C:\\b.txt")), err::PermissionDenied);
  EXPECT_EQ(ReadFile(native("b.txt")), "target");
  EXPECT_EQ(ERR_OF(fso.CopyFile("C:\\a.txt", "C:\\folder")), err::PermissionDenied);
  EXPECT_EQ(ERR_OF(fso.CopyFile("C:\\a.txt", "C:\\missing\\a.txt")), err::PathNotFound);
  EXPECT_EQ(ERR_OF(fso.CopyFile("C:\\a.txt", "C:\\missing\\")), err::PathNotFound);
  EXPECT_FALSE(fs::exists(native("missing")));
  EXPECT_FALSE(fs::exists(native("c.txt")));
}

TEST_F(Fso, CopyFileKeepsTheReadOnlyAttributeAndCopiesWildcards) {
  WriteFile(native("in/t1.pgw"), "1");
  WriteFile(native("in/t2.pgw"), "2");
  WriteFile(native("in/t1.png"), "png");
  fso.SetReadOnly("C:\\in\\t1.pgw", true);
  fs::create_directories(native("out"));
  fso.CopyFile("C:\\in\\*.pgw", "C:\\out");
  EXPECT_EQ(entries("out"), (std::vector<std::string>{"t1.pgw", "t2.pgw"}));
  EXPECT_TRUE(fso.IsReadOnly("C:\\out\\t1.pgw"));
  EXPECT_FALSE(fso.IsReadOnly("C:\\out\\t2.pgw"));
  // A refusal for one target copies none.
  WriteFile(native("in/t2.pgw"), "changed");
  EXPECT_EQ(ERR_OF(fso.CopyFile("C:\\in\\*.pgw", "C:\\out\\")), err::PermissionDenied);
  EXPECT_EQ(ReadFile(native("out/t2.pgw")), "2");
  EXPECT_EQ(ERR_OF(fso.CopyFile("C:\\in\\*.xyz", "C:\\out\\")), err::FileNotFound);
}

TEST(FsoNames, PathNameHelpersAreText) {
  using F = FileSystemObject;
  EXPECT_EQ(F::GetFileName("C:\\a\\b.shp"), "b.shp");
  EXPECT_EQ(F::GetFileName("C:\\a\\b\\"), "b");
  EXPECT_EQ(F::GetFileName("C:\\"), "");
  EXPECT_EQ(F::GetFileName("b.shp"), "b.shp");
  EXPECT_EQ(F::GetFileName("/home/u/x.mbk"), "x.mbk");
  EXPECT_EQ(F::GetBaseName("C:\\a\\b.tar.gz"), "b.tar");
  EXPECT_EQ(F::GetBaseName("C:\\a\\noext"), "noext");
  EXPECT_EQ(F::GetExtensionName("C:\\a\\b.shp"), "shp");
  EXPECT_EQ(F::GetExtensionName("C:\\a.d\\noext"), "");
  EXPECT_EQ(F::GetParentFolderName("C:\\a\\b.shp"), "C:\\a");
  EXPECT_EQ(F::GetParentFolderName("C:\\a\\b\\"), "C:\\a");
  EXPECT_EQ(F::GetParentFolderName("C:\\a"), "C:\\");
  EXPECT_EQ(F::GetParentFolderName("C:\\"), "");
  EXPECT_EQ(F::GetParentFolderName("b.shp"), "");
  EXPECT_EQ(F::GetParentFolderName("/home/u"), "/home");
  EXPECT_EQ(F::GetParentFolderName("/home"), "/");
  EXPECT_EQ(F::BuildPath("C:\\a", "b"), "C:\\a\\b");
  EXPECT_EQ(F::BuildPath("C:\\a\\", "b"), "C:\\a\\b");
  EXPECT_EQ(F::BuildPath("C:\\a", "\\b"), "C:\\a\\b");
  EXPECT_EQ(F::BuildPath("C:", "b"), "C:b");
  EXPECT_EQ(F::BuildPath("", "b"), "b");
  EXPECT_EQ(F::BuildPath("/home/u", "b"), "/home/u/b");
}

TEST_F(Fso, ListingSortsWithoutRegardToCaseAndLeavesOutFilesBeingWritten) {
  for (const char* name : {"b.shp", "A.SHP", "c.txt", "noext", ".b.shp.Ab12Cd", ".c.txt.partial-Xy12Zq", "Notes.MBK", ".mbk"})
    WriteFile(native(std::string("d/") + name), "");
  fs::create_directories(native("d/sub.shp"));
  fs::create_directories(native("d/Alpha"));
  fs::create_directories(native("d/.git"));
  using V = std::vector<std::string>;
  EXPECT_EQ(fso.ListFiles("C:\\d", "*.shp"), (V{"A.SHP", "b.shp"}));
  EXPECT_EQ(fso.ListFiles("C:\\D\\", "*.mbk; *.TXT"), (V{".mbk", "c.txt", "Notes.MBK"}));
  EXPECT_EQ(fso.ListFiles("C:\\d", "*.*"), (V{".mbk", "A.SHP", "b.shp", "c.txt", "noext", "Notes.MBK"}));
  EXPECT_EQ(fso.ListFiles("C:\\d", "*"), fso.ListFiles("C:\\d", "*.*"));
  EXPECT_EQ(fso.ListFiles("C:\\d", "?.shp"), (V{"A.SHP", "b.shp"}));
  EXPECT_EQ(fso.ListFiles("C:\\d", "*.dbf"), V{});
  EXPECT_EQ(fso.ListFolders("C:\\d"), (V{"Alpha", "sub.shp"}));
  EXPECT_EQ(ERR_OF(fso.ListFiles("C:\\none", "*")), err::PathNotFound);
  EXPECT_EQ(ERR_OF(fso.ListFolders("C:\\d\\c.txt")), err::PathNotFound);
}

TEST(FsoPatterns, WindowsWildcards) {
  using F = FileSystemObject;
  EXPECT_TRUE(F::MatchesPattern("Grid.SHP", "*.shp"));
  EXPECT_FALSE(F::MatchesPattern("grid.shp.xml", "*.shp"));
  EXPECT_TRUE(F::MatchesPattern("grid.shp.xml", "*.shp*"));
  EXPECT_TRUE(F::MatchesPattern("noext", "*.*"));
  EXPECT_TRUE(F::MatchesPattern("page", "page.*"));  // a trailing ".*" may match no extension
  EXPECT_FALSE(F::MatchesPattern("pages", "page.*"));
  EXPECT_TRUE(F::MatchesPattern("a1b22c", "a?b*c"));
  EXPECT_FALSE(F::MatchesPattern("ab22c", "a?b*c"));
  EXPECT_TRUE(F::MatchesPattern("\xC3\xA9.txt", "?.txt"));  // ? is one character, not one byte
  EXPECT_TRUE(F::MatchesPattern("x.dbf", " *.shp ; *.dbf "));
  EXPECT_TRUE(F::MatchesPattern("anything", ""));
  EXPECT_TRUE(F::MatchesPattern("anything", ";"));
  EXPECT_FALSE(F::MatchesPattern("", "?"));
  EXPECT_FALSE(F::MatchesPattern(std::string(5000, 'a'), "*a*a*a*a*a*a*a*a*b"));  // never exponential
}

TEST_F(Fso, SameFileIsWhatTheHostResolvesBothNamesTo) {
  WriteFile(native("m/Town.mbk"), "x");
  WriteFile(native("m/Other.mbk"), "x");
  EXPECT_TRUE(fso.SameFile("C:\\m\\Town.mbk", "C:\\M\\TOWN.mbk"));
  EXPECT_FALSE(fso.SameFile("C:\\m\\Town.mbk", "C:\\m\\Other.mbk"));
  EXPECT_FALSE(fso.SameFile("C:\\m\\Town.mbk", "C:\\m\\none.mbk"));
  EXPECT_FALSE(fso.SameFile("C:\\m", "C:\\M"));  // folders are not files
}
