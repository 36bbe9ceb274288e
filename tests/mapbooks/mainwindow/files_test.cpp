// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/geodata/workspace.h"
#include "host/win/whole_file.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;
using testing_support::ReadFile;
using testing_support::WriteFile;
namespace fs = std::filesystem;

namespace {
class Files : public StartedProgramTest {
 protected:
  static fs::path books() { return ProgramFolder() / "Mapbooks"; }
  static fs::path grids() { return ProgramFolder() / "Grids"; }
  // No message box was shown (input boxes are).
  static bool no_messages() {
    for (const auto& b : Boxes())
      if (b.kind == host::ui::BoxRecord::Kind::MessageBox) return false;
    return true;
  }
  static void input(std::optional<std::string> text) { host::ui::ScriptedUser::Instance().PushInput(std::move(text)); }
  static std::vector<std::string> names(const fs::path& folder) {
    std::vector<std::string> r;
    for (const auto& e : fs::directory_iterator(folder)) r.push_back(e.path().filename().string());
    std::sort(r.begin(), r.end());
    return r;
  }
  void pick(host::ui::FileListBox& list, const std::string& file) {
    list.Refresh();
    list.pick(list.FindItem(file, false));
  }
};
}  // namespace

TEST_F(Files, SavingMapbooks) {
  input("  ");
  main().btnSaveMapbook.click();  // blanks: the config is written, nothing else
  EXPECT_TRUE(names(books()).empty());
  input("Town");
  main().btnSaveMapbook.click();
  EXPECT_EQ(ReadFile(books() / "Town.mbk"), ReadFile(ProgramFolder() / "config"));
  WriteFile(books() / "Town.mbk", "old");
  input("Town");
  Answer(host::ui::vbNo);
  main().btnSaveMapbook.click();
  EXPECT_EQ(ReadFile(books() / "Town.mbk"), "old");
  input("Town");
  Answer(host::ui::vbYes);
  main().btnSaveMapbook.click();
  EXPECT_EQ(ReadFile(books() / "Town.mbk"), ReadFile(ProgramFolder() / "config"));
  EXPECT_EQ(Boxes().back().text, "Mapbook named Town already exists. Overwrite?");
  EXPECT_EQ(main().File2.Items(), (std::vector<std::string>{"Town.mbk"}));
}

TEST_F(Files, LoadingDuplicatingRenamingAndDeletingMapbooks) {
  Answer(host::ui::vbOK);
  main().btnLoadMapBook.click();
  EXPECT_EQ(Boxes().back().text, "Please select a mapbook from the list");
  main().SaveConfig();
  std::string config = ReadFile(ProgramFolder() / "config");
  std::string changed = config;
  changed.replace(changed.find("\"300\""), 5, "\"150\"");
  WriteFile(books() / "a.mbk.mbk", changed);
  pick(main().File2, "a.mbk.mbk");
  main().btnLoadMapBook.click();
  EXPECT_EQ(main().txtCurMapbook.Text(), "a");
  EXPECT_EQ(main().txtRes.Text(), "150");
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), changed);
  pick(main().File2, "a.mbk.mbk");
  input(std::nullopt);  // Cancel gives the empty name: the file ".mbk"
  main().btnDuplicateMapbook.click();
  EXPECT_EQ(names(books()), (std::vector<std::string>{".mbk", "a.mbk.mbk"}));
  pick(main().File2, "a.mbk.mbk");
  input("a.mbk");  // its own name: nothing happens, the file survives
  main().btnRenameMapbook.click();
  EXPECT_EQ(ReadFile(books() / "a.mbk.mbk"), changed);
  pick(main().File2, "a.mbk.mbk");
  input("b");
  main().btnRenameMapbook.click();
  EXPECT_EQ(names(books()), (std::vector<std::string>{".mbk", "b.mbk"}));
  EXPECT_EQ(main().txtCurMapbook.Text(), "a");
  pick(main().File2, "b.mbk");
  main().btnDeleteMapbook.click();  // no question
  EXPECT_EQ(names(books()), (std::vector<std::string>{".mbk"}));
  EXPECT_EQ(main().File2.Items(), (std::vector<std::string>{".mbk"}));
}

TEST_F(Files, GridFileSets) {
  for (const char* ext : {".dbf", ".shp", ".shx"}) WriteFile(grids() / (std::string("g") + ext), ext);
  for (const char* ext : {".dbf", ".shp", ".shx", ".prj"}) WriteFile(grids() / (std::string("old") + ext), "old");
  pick(main().File1, "g.shp");
  input("old");
  Answer(host::ui::vbYes);
  main().btnRename.click();  // the old set is replaced by g's files, and g's are removed
  EXPECT_EQ(names(grids()), (std::vector<std::string>{"old.dbf", "old.shp", "old.shx"}));
  EXPECT_EQ(ReadFile(grids() / "old.shp"), ".shp");
  pick(main().File1, "old.shp");
  input("");  // Cancel: nothing happens
  main().btnDuplicate.click();
  pick(main().File1, "old.shp");
  input("old");  // its own name: the files survive
  main().btnDuplicate.click();
  EXPECT_EQ(ReadFile(grids() / "old.dbf"), ".dbf");
  pick(main().File1, "old.shp");
  input("new");
  main().btnDuplicate.click();
  pick(main().File1, "new.shp");
  main().btnDeleteGrid.click();
  EXPECT_EQ(names(grids()), (std::vector<std::string>{"old.dbf", "old.shp", "old.shx"}));
  Answer(host::ui::vbOK);
  main().File1.Refresh();
  main().btnRename.click();
  EXPECT_EQ(Boxes().back().text, "Please select a grid from the list");
}

TEST_F(Files, AddingAGridTwiceAddsTwoLayersWithAHollowFill) {
  WriteTown();
  for (const char* ext : {".dbf", ".shp", ".shx", ".prj"})
    fs::copy_file(DriveC() / "town" / (std::string("grid") + ext), grids() / (std::string("grid") + ext));
  pick(main().File1, "grid.shp");
  main().btnLoadGrid.click();
  main().btnLoadGrid.click();
  EXPECT_EQ(doc().FocusMap()->LayerCount(), 2);
  // The hollow fill goes to the last layer of that name in map order: the first one added.
  auto* layer = dynamic_cast<host::carto::FeatureLayer*>(doc().FocusMap()->Layer(1).get());
  ASSERT_NE(layer, nullptr);
  EXPECT_EQ(layer->Name(), "grid");
  EXPECT_TRUE(layer->Renderer().FillSymbol()->IsHollow());
  EXPECT_EQ(main().cboMapLayers.Items(), (std::vector<std::string>{"grid", "grid"}));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(Files, SaveWritesTheConfigBeforeAskingForTheName) {
  main().txtRes.SetText("150");
  input("  ");
  main().btnSaveMapbook.click();  // no mapbook, but the config holds what the window shows
  EXPECT_NE(ReadFile(ProgramFolder() / "config").find("\"150\""), std::string::npos);
  main().txtRes.SetText("75");
  input("Town");
  main().btnSaveMapbook.click();
  EXPECT_NE(ReadFile(books() / "Town.mbk").find("\"75\""), std::string::npos);
  EXPECT_EQ(ReadFile(books() / "Town.mbk"), ReadFile(ProgramFolder() / "config"));
}

TEST_F(Files, ANameInAnotherLetterCaseIsTheSameMapbook) {
  WriteFile(books() / "Town.mbk", "town");
  pick(main().File2, "Town.mbk");
  input("town");  // a duplicate of itself: nothing happens
  main().btnDuplicateMapbook.click();
  EXPECT_EQ(names(books()), std::vector<std::string>{"Town.mbk"});
  pick(main().File2, "Town.mbk");
  input("TOWN");  // a rename that only changes the letter case
  main().btnRenameMapbook.click();
  EXPECT_EQ(names(books()), std::vector<std::string>{"TOWN.mbk"});
  EXPECT_EQ(ReadFile(books() / "TOWN.mbk"), "town");
  EXPECT_EQ(main().File2.Items(), std::vector<std::string>{"TOWN.mbk"});
  EXPECT_TRUE(no_messages());
}

TEST_F(Files, AMapbookStaysWhenItsCopyFailsOrItsNewNameHoldsAPath) {
  WriteFile(books() / "Town.mbk", "town");
  fs::create_directories(books() / "sub");
  fs::create_directories(books() / "b.mbk");  // a folder where the copy would go
  pick(main().File2, "Town.mbk");
  input("b");
  Answer(host::ui::vbOK);  // the report of the failed copy
  main().btnRenameMapbook.click();
  EXPECT_NE(Boxes().back().text.find("MODULE: btnRenameMapbook frmMain"), std::string::npos);
  EXPECT_EQ(ReadFile(books() / "Town.mbk"), "town");

  const std::string message_end =
      "\" cannot be used as a name. A name may not be \"..\" or hold any of \\ / : * ? \" < > | or control characters.";
  for (std::string name : {"sub/Town", "sub\\Town", "..", "C:Town", "a|b"}) {
    host::ui::ClearBoxLog();
    pick(main().File2, "Town.mbk");
    input(name);
    Answer(host::ui::vbOK);
    main().btnRenameMapbook.click();
    ASSERT_EQ(Boxes().size(), 2u) << name;
    EXPECT_EQ(Boxes()[1].text, "\"" + name + message_end);
    input(name);
    Answer(host::ui::vbOK);
    main().btnSaveMapbook.click();
  }
  pick(main().File2, "Town.mbk");
  input("..\\..\\Town");
  Answer(host::ui::vbOK);
  main().btnDuplicateMapbook.click();
  EXPECT_EQ(names(books()), (std::vector<std::string>{"Town.mbk", "b.mbk", "sub"}));
  EXPECT_TRUE(fs::is_empty(books() / "sub"));
  EXPECT_FALSE(fs::exists(ProgramFolder() / "Town.mbk"));
}

TEST_F(Files, LoadingKeepsTheConfigWhenTheCopyFailsAndALockedConfigStays) {
  main().SaveConfig();
  const std::string config = ReadFile(ProgramFolder() / "config");
  WriteFile(books() / "gone.mbk", "x");
  pick(main().File2, "gone.mbk");
  fs::remove(books() / "gone.mbk");  // gone between the listing and the click
  Answer(host::ui::vbOK);
  main().btnLoadMapBook.click();
  EXPECT_NE(Boxes().back().text.find("MODULE: btnLoadMapbook_Click frmMain"), std::string::npos);
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), config);

  std::string changed = config;
  changed.replace(changed.find("\"300\""), 5, "\"150\"");
  WriteFile(books() / "a.mbk", changed);
  ::chmod((ProgramFolder() / "config").c_str(), 0444);
  pick(main().File2, "a.mbk");
  Answer(host::ui::vbOK);  // the refusal to delete the locked config
  main().btnLoadMapBook.click();
  EXPECT_NE(Boxes().back().text.find("ERROR NUMBER: 70\r\nMODULE: fDeleteFile ZelvaneGIS_IO"), std::string::npos);
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), config);
  EXPECT_EQ(main().txtCurMapbook.Text(), "Default");
  ::chmod((ProgramFolder() / "config").c_str(), 0644);
  pick(main().File2, "a.mbk");
  main().btnLoadMapBook.click();
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), changed);
  EXPECT_EQ(main().txtRes.Text(), "150");
}

TEST_F(Files, TheCodePageFileIsPartOfTheGridSetAndCaseOnlyNamesAreTheSameGrid) {
  const std::vector<std::string> set = {"grid.cpg", "grid.dbf", "grid.prj", "grid.shp", "grid.shx"};
  for (const std::string& f : set) WriteFile(grids() / f, f);
  WriteFile(grids() / "old.cpg", "stale");
  WriteFile(grids() / "old.shp", "old");
  pick(main().File1, "grid.shp");
  input("Grid");  // a duplicate of itself: nothing happens
  main().btnDuplicate.click();
  EXPECT_EQ(names(grids()).size(), 7u);
  pick(main().File1, "grid.shp");
  input("old");
  Answer(host::ui::vbYes);
  main().btnDuplicate.click();  // the stale .cpg is replaced with the copy's
  EXPECT_EQ(ReadFile(grids() / "old.cpg"), "grid.cpg");
  EXPECT_EQ(ReadFile(grids() / "old.prj"), "grid.prj");
  pick(main().File1, "grid.shp");
  input("GRID");  // a rename that only changes the letter case keeps every file
  main().btnRename.click();
  EXPECT_EQ(names(grids()), (std::vector<std::string>{"GRID.cpg", "GRID.dbf", "GRID.prj", "GRID.shp", "GRID.shx",
                                                      "old.cpg", "old.dbf", "old.prj", "old.shp", "old.shx"}));
  EXPECT_EQ(ReadFile(grids() / "GRID.cpg"), "grid.cpg");
  pick(main().File1, "old.shp");
  main().btnDeleteGrid.click();
  EXPECT_EQ(names(grids()).size(), 5u);
  host::ui::ClearBoxLog();
  pick(main().File1, "GRID.shp");
  input("grid");  // and back again
  main().btnRename.click();
  EXPECT_EQ(ReadFile(grids() / "grid.shp"), "grid.shp");
  EXPECT_EQ(names(grids()).size(), 5u);
  EXPECT_TRUE(no_messages());
}

TEST_F(Files, AGridStaysWhenItsCopyFailsOrItsNewNameHoldsAPath) {
  for (const char* ext : {".dbf", ".shp", ".shx"}) WriteFile(grids() / (std::string("g") + ext), ext);
  WriteFile(ProgramFolder() / "victim.dbf", "victim");
  WriteFile(grids() / "locked.shp", "locked");
  WriteFile(grids() / "locked.dbf", "locked");
  ::chmod((grids() / "locked.dbf").c_str(), 0444);
  pick(main().File1, "g.shp");
  input("locked");
  Answer(host::ui::vbYes);
  Answer(host::ui::vbOK);  // the report: a read-only file of that name cannot be replaced
  main().btnRename.click();
  EXPECT_NE(Boxes().back().text.find("ERROR NUMBER: 70\r\nMODULE: btnRename_Click frmMain"), std::string::npos);
  for (std::string name : {"..\\victim", "../victim", "..", "  ", "x:y", "a*"}) {
    pick(main().File1, "g.shp");
    input(name);
    Answer(host::ui::vbOK);
    main().btnRename.click();
    EXPECT_EQ(Boxes().back().text, "\"" + name +
                                       "\" cannot be used as a name. A name may not be blank, \"..\" or hold any of "
                                       "\\ / : * ? \" < > | or control characters.");
  }
  pick(main().File1, "g.shp");
  input(std::nullopt);  // Cancel
  main().btnDuplicate.click();
  EXPECT_EQ(names(grids()), (std::vector<std::string>{"g.dbf", "g.shp", "g.shx", "locked.dbf", "locked.shp"}));
  EXPECT_EQ(ReadFile(ProgramFolder() / "victim.dbf"), "victim");
  EXPECT_EQ(ReadFile(grids() / "locked.shp"), "locked");

  // The selected grid gone before the click: the grid of the new name stays.
  ::chmod((grids() / "locked.dbf").c_str(), 0644);
  pick(main().File1, "g.shp");
  for (const char* ext : {".dbf", ".shp", ".shx"}) fs::remove(grids() / (std::string("g") + ext));
  input("locked");
  Answer(host::ui::vbYes);
  Answer(host::ui::vbOK);
  main().btnDuplicate.click();
  EXPECT_NE(Boxes().back().text.find("ERROR NUMBER: 53\r\nMODULE: btnDuplicate_Click frmMain"), std::string::npos);
  EXPECT_EQ(names(grids()), (std::vector<std::string>{"locked.dbf", "locked.shp"}));
}

TEST_F(Files, ANameFromTheListIsOneFileEvenWithWildcardsInIt) {
  for (const char* n : {"keep1.mbk", "keep2.mbk", "*.mbk"}) WriteFile(books() / n, n);
  pick(main().File2, "*.mbk");
  main().btnDeleteMapbook.click();
  EXPECT_EQ(names(books()), (std::vector<std::string>{"keep1.mbk", "keep2.mbk"}));
  WriteFile(books() / "*.mbk", "star");
  pick(main().File2, "*.mbk");
  input("new");
  main().btnRenameMapbook.click();
  EXPECT_EQ(names(books()), (std::vector<std::string>{"keep1.mbk", "keep2.mbk", "new.mbk"}));
  EXPECT_EQ(ReadFile(books() / "new.mbk"), "star");

  for (const char* base : {"g*", "g1"})
    for (const char* ext : {".dbf", ".shp", ".shx"}) WriteFile(grids() / (std::string(base) + ext), base);
  pick(main().File1, "g*.shp");
  input("h");
  main().btnRename.click();
  for (const char* ext : {".dbf", ".shp", ".shx"}) WriteFile(grids() / (std::string("g*") + ext), "g*");
  pick(main().File1, "g*.shp");
  main().btnDeleteGrid.click();
  EXPECT_EQ(names(grids()), (std::vector<std::string>{"g1.dbf", "g1.shp", "g1.shx", "h.dbf", "h.shp", "h.shx"}));
  EXPECT_EQ(ReadFile(grids() / "h.shp"), "g*");
  EXPECT_EQ(ReadFile(grids() / "g1.shp"), "g1");
}

TEST_F(Files, AGridThatCannotGoWholeIsRefusedAndLeftWhole) {
  const std::vector<std::string> set = {"g.cpg", "g.dbf", "g.prj", "g.shp", "g.shx"};
  for (const std::string& f : set) WriteFile(grids() / f, f);
  ::chmod((grids() / "g.shp").c_str(), 0444);
  pick(main().File1, "g.shp");
  Answer(host::ui::vbOK);
  main().btnDeleteGrid.click();
  EXPECT_EQ(Boxes().back().text, "Error deleting grid.");
  EXPECT_EQ(names(grids()), set);
  pick(main().File1, "g.shp");
  input("h");
  Answer(host::ui::vbOK);
  main().btnRename.click();
  EXPECT_NE(Boxes().back().text.find("ERROR NUMBER: 70\r\nMODULE: btnRename_Click frmMain"), std::string::npos);
  EXPECT_EQ(names(grids()), set);
  for (const std::string& f : set) EXPECT_EQ(ReadFile(grids() / f), f);

  // A rename over another grid: that grid is replaced whole, what it had more goes too.
  ::chmod((grids() / "g.shp").c_str(), 0644);
  for (const char* ext : {".dbf", ".shp", ".shx", ".sbn", ".sbx"}) WriteFile(grids() / (std::string("h") + ext), "h");
  pick(main().File1, "g.shp");
  input("h");
  Answer(host::ui::vbYes);
  main().btnRename.click();
  EXPECT_EQ(names(grids()), (std::vector<std::string>{"h.cpg", "h.dbf", "h.prj", "h.shp", "h.shx"}));
  EXPECT_EQ(ReadFile(grids() / "h.dbf"), "g.dbf");
  EXPECT_EQ(main().File1.Items(), std::vector<std::string>{"h.shp"});
}

TEST_F(Files, ARenameKilledPartWayIsFinishedByTheNextCleanUp) {
  for (const char* ext : {".dbf", ".shp", ".shx", ".prj"}) WriteFile(grids() / (std::string("g") + ext), ext);
  WriteFile(grids() / "h.shp", "old h");
  const fs::path folder = grids();
  for (size_t steps : {0u, 2u, 5u}) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {  // the writer, stopped after some steps and gone without cleaning up
      host::win::WholeFileSet set(folder, "h", {".dbf", ".shp", ".shx", ".prj", ".cpg", ".sbn", ".sbx", ".lyr"});
      set.MoveFrom("g");
      set.Prepare();
      host::win::FinishReadySet(set.TempFolder(), steps);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    // The next operation in the folder, here the delete of another grid, cleans up first.
    WriteFile(grids() / "x.shp", "x");
    pick(main().File1, "x.shp");
    main().btnDeleteGrid.click();
    EXPECT_EQ(names(grids()), (std::vector<std::string>{"h.dbf", "h.prj", "h.shp", "h.shx"})) << steps;
    EXPECT_EQ(ReadFile(grids() / "h.shp"), ".shp") << steps;
    EXPECT_TRUE(no_messages());
    // And back, for the next round.
    for (const char* ext : {".dbf", ".shp", ".shx", ".prj"})
      fs::rename(grids() / (std::string("h") + ext), grids() / (std::string("g") + ext));
    WriteFile(grids() / "h.shp", "old h");
  }
}
