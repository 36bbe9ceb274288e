#include <gtest/gtest.h>

#include "host/geodata/workspace.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;
using testing_support::ReadFile;
using testing_support::WriteFile;
namespace fs = std::filesystem;

namespace {
class Files : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    StartProgram();
    host::ui::ClearBoxLog();
  }
  void TearDown() override {
    host::geodata::ShapefileWorkspace::ClearCache();
    fs::remove_all(ProgramFolder() / "Mapbooks");
    fs::remove_all(ProgramFolder() / "Grids");
    ProgramTest::TearDown();
  }
  static fs::path books() { return ProgramFolder() / "Mapbooks"; }
  static fs::path grids() { return ProgramFolder() / "Grids"; }
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
  main().btnRename.click();  // the old set goes first, then g's files are copied and removed
  EXPECT_EQ(names(grids()), (std::vector<std::string>{"old.dbf", "old.shp", "old.shx"}));
  EXPECT_EQ(ReadFile(grids() / "old.shp"), ".shp");
  pick(main().File1, "old.shp");
  input("");
  main().btnDuplicate.click();
  EXPECT_EQ(names(grids()), (std::vector<std::string>{".dbf", ".shp", ".shx", "old.dbf", "old.shp", "old.shx"}));
  pick(main().File1, "old.shp");
  input("old");  // its own name: the files survive
  main().btnDuplicate.click();
  EXPECT_EQ(ReadFile(grids() / "old.dbf"), ".dbf");
  pick(main().File1, ".shp");
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
