// SPDX-License-Identifier: GPL-3.0-or-later
// The batch command: the config file's first value starts a run when the main window
// loads, and its closing words shut the host down when a run ends.

#include <gtest/gtest.h>

#include "host/render/printer.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;
namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

// A user set the window up for a 3 x 1 grid (PNG pages to C:\out, print jobs to
// C:\out\printer) and closed it; the config file then holds those settings.
class BatchCommand : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    WriteTown(3, 1);
    doc().FocusMap()->AddLayer(Layer("grid"));
    printer = std::make_shared<host::render::SpoolPrinter>();
    printer->SetFolder("C:\\out\\printer");
    printer->SetResolution(10);
    host::render::SetCurrentPrinter(printer);
    StartProgram();
    main().cboMapLayers.pick("grid");
    main().btnLayerApply.click();
    main().lstDataFrames.select(0, true);
    main().txtDir.paste("C:\\out");
    main().txtRes.paste("10");
    main().optPNG.click();
    main().optExpCurrent.click();
    main().optPrintCurrent.click();
    main().Unload();
    config = ReadFile(ProgramFolder() / "config");
  }
  void TearDown() override {
    host::render::SetCurrentPrinter(nullptr);
    fs::remove_all(out());
    ProgramTest::TearDown();
  }
  static fs::path out() { return DriveC() / "out"; }
  static size_t count(const fs::path& folder, const std::string& ext) {
    size_t n = 0;
    if (fs::exists(folder))
      for (const auto& e : fs::directory_iterator(folder)) n += e.path().extension() == ext;
    return n;
  }
  static size_t pages() { return count(out(), ".png"); }
  static size_t jobs() { return count(out() / "printer", ".pdf"); }

  // The command clicked again with this first value in the config file: the window loads.
  void ClickWith(const std::string& batch) {
    fs::remove_all(out());
    fs::create_directories(out() / "printer");
    host::ui::ClearBoxLog();
    WriteFile(ProgramFolder() / "config", "\"" + batch + "\"" + config.substr(config.find("\r\n")));
    command.OnClick();
  }

  // After a shut-down: the host started anew on the same document.
  void Restart() {
    main().Unload();
    app.reset();
    app = std::make_unique<host::app::Application>();
    doc().FocusMap()->AddLayer(Layer("grid"));
    command.OnCreate(*app);
  }

  std::shared_ptr<host::render::SpoolPrinter> printer;
  std::string config;
};

}  // namespace

TEST_F(BatchCommand, TheAllWordsRunAtTheLoadAndTheClosingOnesShutTheHostDown) {
  struct Case {
    const char* word;
    bool prints, exports, closes;
  };
  for (const Case& c : {Case{"PRINTALL", true, false, false}, Case{"PRINTALLCLOSE", true, false, true},
                        Case{"EXPORTALL", false, true, false}, Case{"EXPORTALLCLOSE", false, true, true}}) {
    SCOPED_TRACE(c.word);
    ClickWith(c.word);
    EXPECT_EQ(State().Config[mapbooks::BatchCommand], c.word);
    EXPECT_EQ(main().optPrintAll.Value(), c.prints);
    EXPECT_EQ(main().optExportAll.Value(), c.exports);
    EXPECT_EQ(jobs(), c.prints ? 3u : 0u);  // every page of the Search list
    EXPECT_EQ(pages(), c.exports ? 3u : 0u);
    EXPECT_EQ(app->ShutdownRequested(), c.closes);
    EXPECT_TRUE(main().Visible());
    EXPECT_TRUE(Boxes().empty());
    if (c.closes) {
      EXPECT_TRUE(app->ProcessShutdown());  // the keystroke "n" answers the save question
    }
    Restart();
  }
}

TEST_F(BatchCommand, OtherWordsStartNothingAndTheSomeCloseWordsWaitForARunByHand) {
  for (const char* word : {"PRINTSOME", "EXPORTSOME", "", "NULL", "printall", "ExportAll", " EXPORTALL", "EXPORTALL ",
                           "PRINTSOMECLOSE", "EXPORTSOMECLOSE"}) {
    SCOPED_TRACE(word);
    ClickWith(word);
    EXPECT_TRUE(main().optPrintCurrent.Value());
    EXPECT_TRUE(main().optExpCurrent.Value());
    EXPECT_EQ(jobs() + pages(), 0u);
    EXPECT_FALSE(app->ShutdownRequested());
    EXPECT_TRUE(Boxes().empty());
    main().Unload();
    // The value is never the program's to change.
    EXPECT_EQ(ReadFile(ProgramFolder() / "config").substr(0, std::string(word).size() + 2),
              "\"" + std::string(word) + "\"");
  }
  for (const char* word : {"PRINTSOMECLOSE", "EXPORTSOMECLOSE"}) {
    SCOPED_TRACE(word);
    ClickWith(word);
    State().Config[RefreshDelay] = "0";
    if (word[0] == 'P')
      main().btnPrint.click();
    else
      main().btnExport.click();
    EXPECT_EQ(jobs() + pages(), 1u);
    EXPECT_TRUE(app->ShutdownRequested());
    EXPECT_TRUE(app->ProcessShutdown());
    Restart();
  }
}
