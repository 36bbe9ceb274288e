// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "host/app/registry.h"
#include "host/ui/controls.h"
#include "host/vb/seqfile.h"
#include "mapbooks/command/ZelvaneMapbooks.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/mainwindow/frmMain.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

std::string quoted_lines(const std::vector<std::string>& values) {
  std::string s;
  for (const auto& v : values) s += "\"" + v + "\"\r\n";
  return s;
}

std::string defaults() {
  std::vector<std::string> v = {"", "C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\Grids",
                                "C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\Export"};
  v.resize(44, "NULL");
  return quoted_lines(v);
}

class Command : public MapbooksTest {
 protected:
  ZelvaneMapbooks command;
  void Create() {
    command.OnCreate(*app);
  }
  void Click() { command.OnClick(); }
  // The first load of the main window greets the user once.
  void FirstClick() {
    Answer(host::ui::vbOK);
    command.OnClick();
  }
};

}  // namespace

TEST_F(Command, PropertiesAndBitmap) {
  EXPECT_EQ(command.Name(), "ZelvaneGIS_ZelvaneMapbooks");
  EXPECT_EQ(command.Caption(), "ZelvaneMapbooks");
  EXPECT_EQ(command.Tooltip(), "ZelvaneMapbooks");
  EXPECT_EQ(command.Category(), "ZelvaneGIS");
  EXPECT_EQ(command.Message(), "ZelvaneGIS - http://www.zelvanegis.example");
  EXPECT_TRUE(command.Enabled());
  EXPECT_FALSE(command.Checked());
  EXPECT_EQ(command.HelpFile(), "");
  EXPECT_EQ(command.HelpContextID(), 0);
  long handle = command.Bitmap();
  EXPECT_EQ(command.Bitmap(), handle);
  const host::ui::Picture* picture = host::ui::FindPicture(handle);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->Data.substr(0, 2), "BM");
  EXPECT_EQ(picture->Data.size(), 54u + 16 * 16 * 3);
}

TEST_F(Command, CreationMakesTheProgramFolderAndItsSubfolders) {
  Create();
  const SharedState& s = State();
  EXPECT_EQ(s.ProgramFolder, "C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\");
  EXPECT_EQ(s.ConfigPath, "C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\config");
  EXPECT_EQ(s.BinFolder, "C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\Bin");
  EXPECT_EQ(s.VersionText, "v2.28");
  for (const char* sub : {"Bin", "Grids", "Export", "Mapbooks"})
    EXPECT_TRUE(std::filesystem::is_directory(ProgramFolder() / sub)) << sub;
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), "");
  EXPECT_NE(s.MainWindow, nullptr);
  EXPECT_FALSE(MainForm().IsLoaded());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(Command, TheFirstDriveWithProgramFilesWins) {
  testing_support::TempDir a;
  std::filesystem::create_directories(a / "Program Files");
  std::filesystem::create_directories(DriveC() / "Program Files" / "ZelvaneGIS" / "ZelvaneMapbooks");
  host::win::DriveMap::instance().set('A', a.path());
  Create();
  EXPECT_EQ(State().ProgramFolder, "A:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\");
  EXPECT_TRUE(std::filesystem::is_directory(a / "Program Files" / "ZelvaneGIS" / "ZelvaneMapbooks" / "Grids"));
}

TEST_F(Command, NoProgramFilesAnywhereSaysSorryAndMakesNoFolders) {
  std::filesystem::remove_all(DriveC() / "Program Files");
  testing_support::TempDir cwd;
  auto old = std::filesystem::current_path();
  std::filesystem::current_path(cwd.path());
  Answer(host::ui::vbOK);
  Create();
  std::filesystem::current_path(old);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text,
            "Sorry, ZelvaneMapbooks can't find your local Program Files directory. Please email "
            "support@zelvanegis.example. Thanks!");
  EXPECT_EQ(State().ProgramFolder, "");
  EXPECT_EQ(State().ConfigPath, "");
  EXPECT_TRUE(std::filesystem::is_empty(cwd.path()));  // no stray Bin, Grids, ... in the current folder
}

TEST_F(Command, TheFirstClickWritesTheDefaultsAndShowsTheWindow) {
  Create();
  FirstClick();
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), defaults());
  const SharedState& s = State();
  EXPECT_EQ(s.Config[ActiveLayerName], "NULL");
  EXPECT_EQ(s.Config[YDiff], "NULL");
  EXPECT_EQ(s.Config.DataFramesToZoom, (std::vector<std::string>{"NULL", "NULL", ""}));
  EXPECT_EQ(s.Application, app.get());
  EXPECT_TRUE(MainForm().IsLoaded());
  EXPECT_TRUE(MainForm().Visible());
  EXPECT_EQ(s.MainWindow->Frame().Caption(), "ZelvaneMapbooks");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "To get started, view the QuickStartGuide by clicking the ? button");
  EXPECT_FALSE(s.ConfigCreated);  // the hint is shown once
}

TEST_F(Command, AFullConfigIsNeverChangedAndAShortOneIsToppedUp) {
  Create();
  std::vector<std::string> full(46, "NULL");
  full[0] = "EXPORTSOME";
  full[1] = State().GridsFolder;
  full[2] = State().ExportFolder;
  WriteFile(ProgramFolder() / "config", quoted_lines(full));
  Click();
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), quoted_lines(full));
  EXPECT_FALSE(State().ConfigCreated);
  EXPECT_EQ(State().Config[BatchCommand], "EXPORTSOME");
  EXPECT_EQ(State().Config.DataFramesToZoom, (std::vector<std::string>{"NULL", "NULL", "NULL", "NULL", ""}));

  // The window holds the settings while it is loaded; closed, it has written them.
  MainForm().Unload();
  std::vector<std::string> ten(10, "NULL");
  ten[0] = "PRINTALL";
  ten[1] = full[1];
  ten[2] = full[2];
  WriteFile(ProgramFolder() / "config", quoted_lines(ten));
  Answer(host::ui::vbOK);  // topped up, the file greets the user again when the window loads
  Click();
  // The defaults carry the items as they are in memory: those read from the full file.
  std::vector<std::string> appended = {"EXPORTSOME", full[1], full[2]};
  appended.resize(44, "NULL");
  std::string expected = quoted_lines(ten) + quoted_lines(appended);
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), expected);
  EXPECT_EQ(State().Config[BatchCommand], "PRINTALL");
  EXPECT_EQ(State().Config[PrintAll], "NULL");   // item 10 is the old file's last value
  EXPECT_EQ(State().Config[PrintUseSearch], "EXPORTSOME");
  EXPECT_EQ(State().Config.DataFramesToZoom.size(), 13u);  // 12 values and the empty slot
}

TEST_F(Command, TwoClicksReuseOneApplicationReferenceAndOneWindow) {
  Create();
  FirstClick();
  const host::app::AppRef* ref = State().AppRef.get();
  frmMain* window = &MainForm();
  window->Hide();
  Click();
  EXPECT_EQ(State().AppRef.get(), ref);
  EXPECT_EQ(&MainForm(), window);
  EXPECT_TRUE(window->Visible());
  EXPECT_EQ(host::ui::LoadedForms().size(), 1u);
}

TEST_F(Command, AnUnreadableConfigEndsTheClickInTheErrorReport) {
  Create();
  std::filesystem::remove(ProgramFolder() / "config");
  std::filesystem::create_directory(ProgramFolder() / "config");
  Answer(host::ui::vbOK);
  Click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].text.find("MODULE: ICommand_OnClick ZelvaneMapbooks \r\n"), std::string::npos);
  EXPECT_NE(Boxes()[0].text.find("ERROR NUMBER: 75\r\n"), std::string::npos);
  EXPECT_FALSE(MainForm().IsLoaded());
}

TEST_F(Command, ThePluginRegistersLoadsAndClicksThroughTheHost) {
  std::filesystem::remove(host::app::RegistryPath());
  host::app::RegisterLibrary(ZELVANE_MAPBOOKS_PLUGIN);
  auto entries = host::app::RegisteredCommands();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "ZelvaneGIS_ZelvaneMapbooks");
  app->CreateCommands();
  host::app::ICommand* c = app->FindCommand("ZelvaneGIS_ZelvaneMapbooks");
  ASSERT_NE(c, nullptr);
  Answer(host::ui::vbOK);
  app->Click(*c);
  EXPECT_NE(host::ui::FindLoadedForm("frmMain"), nullptr);
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), defaults());
  host::app::UnregisterLibrary(ZELVANE_MAPBOOKS_PLUGIN);
  std::filesystem::remove(host::app::RegistryPath());
}

TEST_F(Command, CountingFileItems) {
  Create();
  WriteFile(ProgramFolder() / "f", "\"a,b\",c\r\n\"d\"\r\n");
  EXPECT_EQ(fCountFileItems(State().ProgramFolder + "f"), 3);
  EXPECT_EQ(fCountFileItems(State().ProgramFolder + "missing"), -1);
  EXPECT_FALSE(host::vb::IsOpen(1));
  EXPECT_TRUE(Boxes().empty());  // no message of its own
}

namespace {
class CommandWithWindow : public ProgramTest {};
}  // namespace

TEST_F(CommandWithWindow, AClickWhileTheWindowIsOpenBringsItForwardAndKeepsTheSettingsInUse) {
  WriteTown(3, 1);
  doc().FocusMap()->AddLayer(Layer("grid"));
  StartProgram();
  main().cboMapLayers.pick("grid");
  main().btnLayerApply.click();
  main().lstDataFrames.select(0, true);
  ASSERT_EQ(State().Config[ActiveLayerName], "grid");
  const std::string file = ReadFile(ProgramFolder() / "config");
  main().btnHelp2.click();  // another window in front
  ASSERT_NE(host::ui::ActiveForm(), &main());

  command.OnClick();
  EXPECT_EQ(host::ui::ActiveForm(), &main());
  EXPECT_EQ(State().Config[ActiveLayerName], "grid");
  EXPECT_TRUE(State().ActiveLayerFound);
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), file);
  host::ui::ClearBoxLog();
  main().cboNavIndex.pick(1);  // the page turns: no "Unable to find grid layer"
  EXPECT_TRUE(Boxes().empty());

  // A short file is still topped up; the record in use stays as it is.
  WriteFile(ProgramFolder() / "config", quoted_lines({"PRINTALL"}));
  command.OnClick();
  std::vector<std::string> appended = {State().Config[BatchCommand], State().GridsFolder, State().ExportFolder};
  appended.resize(44, "NULL");
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), quoted_lines({"PRINTALL"}) + quoted_lines(appended));
  EXPECT_EQ(State().Config[ActiveLayerName], "grid");
  EXPECT_EQ(State().Config[BatchCommand], "");

  // Closed, the window has written its settings; the next click reads them afresh.
  main().Unload();
  Answer(host::ui::vbOK);  // the file was topped up: the greeting comes again
  command.OnClick();
  EXPECT_TRUE(main().Visible());
  EXPECT_EQ(State().Config[ActiveLayerName], "grid");
}
