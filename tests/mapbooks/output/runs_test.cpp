#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "host/carto/elements.h"
#include "host/carto/page_layout.h"
#include "host/render/printer.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;
namespace fs = std::filesystem;
namespace carto = host::carto;

namespace {

// A town with a grid in the map "Layers", the window applied to the grid, the frame
// selected, exports going to C:\out as small PNG files.
class Runs : public ProgramTest {
 protected:
  void Start(int columns, int rows) {
    WriteTown(columns, rows);
    doc().FocusMap()->AddLayer(Layer("grid"));
    StartProgram();
    host::ui::ClearBoxLog();
    main().cboMapLayers.pick("grid");
    main().btnLayerApply.click();
    main().lstDataFrames.select(0, true);
    main().txtDir.paste("C:\\out");
    main().txtRes.paste("10");
    main().optPNG.click();
    main().optExportAll.click();
    fs::create_directories(out());
    printer = std::make_shared<host::render::SpoolPrinter>();
    printer->SetFolder("C:\\out\\printer");
    printer->SetResolution(20);
    host::render::SetCurrentPrinter(printer);
  }
  void TearDown() override {
    host::render::SetCurrentPrinter(nullptr);
    fs::remove_all(out());
    ProgramTest::TearDown();
  }
  static fs::path out() { return DriveC() / "out"; }
  static void clear() {
    for (const auto& e : fs::directory_iterator(out())) fs::remove_all(e.path());
  }
  static std::vector<std::string> files(const std::string& ext = ".png") {
    std::vector<std::string> r;
    for (const auto& e : fs::directory_iterator(out()))
      if (e.path().extension() == ext) r.push_back(e.path().filename().string());
    std::sort(r.begin(), r.end());
    return r;
  }
  std::shared_ptr<carto::TextElement> AddText(const std::string& text) {
    auto e = std::make_shared<carto::TextElement>(text);
    e->SetGeometry(host::geodata::Point{1, 1});
    doc().PageLayout().AddElement(e);
    return e;
  }
  std::shared_ptr<host::render::SpoolPrinter> printer;
};

using V = std::vector<std::string>;

}  // namespace

TEST_F(Runs, AllPagesBySearchValueInReverseAndEvenOrOdd) {
  Start(3, 1);
  State().Config[RefreshDelay] = "0";
  main().chkReverse.SetValue(1);
  main().btnExport.click();
  EXPECT_EQ(files(), (V{"MapbookA1.png", "MapbookA2.png", "MapbookA3.png"}));
  clear();
  main().chkEven.SetValue(1);
  main().btnExport.click();
  EXPECT_EQ(files(), (V{"MapbookA1.png", "MapbookA3.png"}));  // positions 2 and 0 after the reversal
  clear();
  main().chkOdd.SetValue(1);  // takes the place of Even
  main().chkReverse.SetValue(0);
  main().optAppendNumber.click();
  main().btnExport.click();
  EXPECT_EQ(files(), (V{"Mapbook02.png"}));  // one digit more than the count's width
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(host::ui::Screen::Instance().GetMousePointer(), host::ui::vbDefault);
}

TEST_F(Runs, AllPagesByRowsAndColumns) {
  Start(3, 2);
  State().Config[RefreshDelay] = "0";
  main().chkExpUseRowCol.click();
  main().chkEven.SetValue(1);
  int steps = 0;
  app->GetStatusBar().GetProgressBar().SetListener([&](const host::app::StepProgressor& p) {
    if (p.Visible()) ++steps;
  });
  main().btnExport.click();
  app->GetStatusBar().GetProgressBar().SetListener(nullptr);
  EXPECT_EQ(files(), (V{"MapbookA1.png", "MapbookA2.png", "MapbookA3.png"}));  // row position 0 only
  EXPECT_GE(steps, 6);
  EXPECT_FALSE(app->GetStatusBar().GetProgressBar().Visible());
}

TEST_F(Runs, MapsInListNumberTheFeaturesOfOneValue) {
  Start(3, 2);
  State().Config[RefreshDelay] = "0";
  main().cboPrintQueryField.pick("MB_Column");
  main().lstPrintSelect.select(main().lstPrintSelect.FindItem("2", false), true);
  main().optExpSelection.click();
  main().btnExport.click();
  EXPECT_EQ(files(), (V{"Mapbook2.png", "Mapbook2_2.png"}));
}

TEST_F(Runs, MapsInTheSelectionAreNamedByTheirTiles) {
  Start(3, 2);
  State().Config[RefreshDelay] = "0";
  main().optExpMapSel.click();
  Answer(host::ui::vbOK);
  main().btnExport.click();
  EXPECT_EQ(Boxes().back().text, "No features selected in active data frame");
  auto grid = std::dynamic_pointer_cast<carto::FeatureLayer>(doc().FocusMap()->Layer(0));
  host::geodata::QueryFilter f("MB_Label IN ('A2', 'B3')");
  grid->SelectFeatures(&f);
  main().btnExport.click();
  EXPECT_EQ(files(), (V{"Mapbook1.png", "Mapbook5.png"}));  // by object ID
}

TEST_F(Runs, ChecksBeforeAnythingChanges) {
  Start(3, 1);
  main().txtRes.paste("0");
  Answer(host::ui::vbOK);  // leaving the box says so too
  Answer(host::ui::vbOK);
  main().btnExport.click();
  EXPECT_EQ(Boxes().back().text, "Please enter a Resolution greater than 0");
  main().txtRes.paste("10");
  main().txtDir.paste("C:\\out\\new");
  Answer(host::ui::vbNo);
  main().btnExport.click();
  EXPECT_EQ(Boxes().back().text, "C:\\out\\new does not exist. Create it?");
  EXPECT_FALSE(fs::exists(out() / "new"));
  // A delay that is not a number fails at the first zoomed frame.
  Answer(host::ui::vbYes);
  Answer(host::ui::vbOK);
  main().btnExport.click();
  EXPECT_TRUE(fs::is_directory(out() / "new"));
  EXPECT_NE(Boxes().back().text.find("ERROR NUMBER: 13\r\nMODULE: btnExport_Click frmMain "), std::string::npos);
  EXPECT_EQ(host::ui::Screen::Instance().GetMousePointer(), host::ui::vbDefault);
}

TEST_F(Runs, PrintingPutsTheKeywordsBackAndTheStartFocusMap) {
  Start(3, 1);
  State().Config[RefreshDelay] = "0";
  auto dpi = AddText("DPI: None");
  auto date = AddText("mbdate");
  std::string during;
  app->GetStatusBar().GetProgressBar().SetListener([&](const host::app::StepProgressor& p) {
    if (p.Visible()) during = date->Text();
  });
  main().optPrintAll.click();
  main().btnPrint.click();
  app->GetStatusBar().GetProgressBar().SetListener(nullptr);
  EXPECT_EQ(printer->JobsSent(), 3);
  EXPECT_EQ(dpi->Text(), "MBDPI");
  EXPECT_EQ(date->Text(), "MBDATE");
  EXPECT_NE(during.find('/'), std::string::npos);  // the date while the pages were printed
  EXPECT_TRUE(doc().InLayoutView());
  EXPECT_EQ(doc().FocusMap(), doc().Map(0));
}

TEST_F(Runs, AMissingGridLayerStopsTheExportWithTheKeywordsLeftReplaced) {
  Start(3, 1);
  State().Config[RefreshDelay] = "0";
  auto inset = std::make_shared<carto::Map>("Inset");
  doc().AddMap(inset);
  main().InitMain();
  main().lstDataFrames.select(0, true);
  main().lstDataFrames.select(1, true);
  auto type = AddText("MBTYPE");
  Answer(host::ui::vbOK);
  main().btnExport.click();
  EXPECT_EQ(Boxes().back().text, "Unable to find grid layer: grid\r\nIn data frame: Inset");
  EXPECT_EQ(type->Text(), "FORMAT: PNG");
  EXPECT_TRUE(app->GetStatusBar().GetProgressBar().Visible());
  EXPECT_TRUE(files().empty());
}

TEST_F(Runs, AClosingBatchCommandShutsTheHostDownAfterAHandStartedRun) {
  Start(3, 1);
  State().Config[RefreshDelay] = "0";
  State().Config[BatchCommand] = "EXPORTSOMECLOSE";
  main().optExpCurrent.click();
  main().btnExport.click();
  EXPECT_EQ(files(), (V{"Mapbook.png"}));
  EXPECT_TRUE(app->ShutdownRequested());
  EXPECT_TRUE(app->ProcessShutdown());
  EXPECT_EQ(Boxes().back().TranscriptLine().substr(0, 31), "MSGBOX YesNoCancel -> No: Save ");
}

TEST_F(Runs, PdfPagesAreJoinedByTheToolkitInTheBinFolder) {
  Start(3, 1);
  State().Config[RefreshDelay] = "0";
  fs::copy_file(ZELVANE_PDFTK, ProgramFolder() / "Bin" / "pdftk.exe");
  testing_support::WriteFile(out() / "Combined.pdf", "stale");
  main().optPDF.click();
  main().btnExport.click();
  EXPECT_EQ(files(".pdf").size(), 3u);
  // The toolkit runs on its own; wait for its file.
  fs::path combined = out() / "Combined.pdf";
  for (int i = 0; i < 200 && (!fs::exists(combined) || testing_support::ReadFile(combined).substr(0, 4) != "%PDF"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(fs::exists(combined));
  std::string pages_cmd = "qpdf --show-npages '" + combined.string() + "' > '" + (out() / "n.txt").string() + "'";
  ASSERT_EQ(std::system(pages_cmd.c_str()), 0);
  EXPECT_EQ(testing_support::ReadFile(out() / "n.txt"), "3\n");
}
