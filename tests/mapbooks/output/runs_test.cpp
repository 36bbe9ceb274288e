// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cairo.h>

#include <chrono>
#include <thread>

#include "host/carto/elements.h"
#include "host/geodata/feature_class.h"
#include "host/carto/page_layout.h"
#include "host/render/printer.h"
#include "host/win/system.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/mapbooks_fixture.h"
#include "mapbooks/output/PdfJoin.h"
#include "support/run_command.h"

using namespace mapbooks;
namespace fs = std::filesystem;
namespace carto = host::carto;

namespace {

// A town with a grid in the map "Layers", the window applied to the grid, the frame
// selected, exports going to C:\out as small PNG files.
class Runs : public ProgramTest {
 protected:
  // labels: new MB_Label values by object ID, as a user may have typed them.
  void Start(int columns, int rows, const std::map<int64_t, std::string>& labels = {}) {
    WriteTown(columns, rows);
    if (!labels.empty()) {
      auto tiles = host::geodata::ShapefileWorkspace::Open("C:\\town")->OpenFeatureClass("grid");
      for (const auto& [oid, label] : labels) {
        auto tile = tiles->GetFeature(oid);
        tile->SetValue(tiles->FindField("MB_Label"), label);
        tile->Store();
      }
    }
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
  static std::vector<std::string> files(const std::string& ext = ".png", const fs::path& folder = out()) {
    std::vector<std::string> r;
    for (const auto& e : fs::directory_iterator(folder))
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
  // The joined file of a folder, once the toolkit, which runs on its own, has written it.
  static int JoinedPages(const fs::path& folder) {
    fs::path combined = folder / "Combined.pdf";
    for (int i = 0; i < 400 && (!fs::exists(combined) || testing_support::ReadFile(combined).substr(0, 4) != "%PDF");
         ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!fs::exists(combined)) return -1;
    auto r = testing_support::RunCommand("qpdf --show-npages " + testing_support::ShellQuote(combined.string()));
    return r.status == 0 ? std::stoi(r.out) : -1;
  }
  static void InstallToolkit() { fs::copy_file(ZELVANE_PDFTK, ProgramFolder() / "Bin" / "pdftk.exe"); }
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
  Answer(host::ui::vbYes);
  main().btnExport.click();
  EXPECT_TRUE(fs::is_directory(out() / "new"));
  EXPECT_EQ(Boxes().back().text, "C:\\out\\new does not exist. Create it?");
  EXPECT_EQ(host::ui::Screen::Instance().GetMousePointer(), host::ui::vbDefault);
}

// A new user's settings hold "NULL" as the refresh delay until they are first saved:
// the first run takes it as no delay, as the window shows it, in any letter case.
TEST_F(Runs, TheFirstRunOfANewUserTakesNoDelay) {
  Start(3, 1);
  ASSERT_EQ(State().Config[RefreshDelay], "NULL");
  ASSERT_EQ(main().txtDelay.Text(), "0");
  main().btnExport.click();
  EXPECT_EQ(files(), (V{"MapbookA1.png", "MapbookA2.png", "MapbookA3.png"}));
  EXPECT_TRUE(Boxes().empty());
  clear();
  State().Config[RefreshDelay] = "None";
  main().optPrintAll.click();
  main().btnPrint.click();
  EXPECT_EQ(printer->JobsSent(), 3);
  EXPECT_TRUE(Boxes().empty());
}

// A run that fails or stops puts the keywords back, so that saving the document
// afterwards keeps them.
TEST_F(Runs, AFailedRunPutsTheKeywordsBack) {
  Start(3, 1);
  State().Config[RefreshDelay] = "soon";  // not a number: the first zoomed frame fails
  auto date = AddText("MBDATE");
  auto time = AddText("mbtime");
  auto dpi = AddText("MBDPI");
  auto type = AddText("MBTYPE");
  std::string during;
  app->GetStatusBar().GetProgressBar().SetListener([&](const host::app::StepProgressor& p) {
    if (p.Visible() && during.empty()) during = type->Text();
  });
  Answer(host::ui::vbOK);
  main().btnExport.click();
  app->GetStatusBar().GetProgressBar().SetListener(nullptr);
  EXPECT_NE(Boxes().back().text.find("ERROR NUMBER: 13\r\nMODULE: btnExport_Click frmMain "), std::string::npos);
  EXPECT_EQ(during, "FORMAT: PNG");
  EXPECT_EQ(date->Text(), "MBDATE");
  EXPECT_EQ(time->Text(), "MBTIME");
  EXPECT_EQ(dpi->Text(), "MBDPI");
  EXPECT_EQ(type->Text(), "MBTYPE");
  EXPECT_EQ(host::ui::Screen::Instance().GetMousePointer(), host::ui::vbDefault);
  // The print run alike.
  main().optPrintAll.click();
  Answer(host::ui::vbOK);
  main().btnPrint.click();
  EXPECT_NE(Boxes().back().text.find("MODULE: btnPrint_Click frmMain "), std::string::npos);
  EXPECT_EQ(dpi->Text(), "MBDPI");
  EXPECT_EQ(type->Text(), "MBTYPE");
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

TEST_F(Runs, AMissingGridLayerStopsTheExportWithTheKeywordsPutBack) {
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
  EXPECT_EQ(type->Text(), "MBTYPE");
  EXPECT_FALSE(app->GetStatusBar().GetProgressBar().Visible());
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
  InstallToolkit();
  testing_support::WriteFile(out() / "Combined.pdf", "stale");
  main().optPDF.click();
  main().btnExport.click();
  EXPECT_EQ(files(".pdf"), (V{"Combined.pdf", "MapbookA1.pdf", "MapbookA2.pdf", "MapbookA3.pdf"}));
  EXPECT_EQ(JoinedPages(out()), 3);
}

// The join replaces Combined.pdf only with a whole new one, and never reads the old one.
// One that fails keeps the old one and says which file it could not read: at the next
// run into the folder, or as the host ends.
TEST_F(Runs, AFailedJoinKeepsTheEarlierCombinedPdfAndSaysWhy) {
  Start(3, 1);
  State().Config[RefreshDelay] = "0";
  InstallToolkit();
  main().optPDF.click();
  main().btnExport.click();
  app->FinishBackgroundWork();
  ASSERT_EQ(JoinedPages(out()), 3);
  // A page file of another program joins the pages; the earlier Combined.pdf does not.
  fs::copy_file(out() / "MapbookA2.pdf", out() / "extra.pdf");
  main().btnExport.click();
  app->FinishBackgroundWork();
  EXPECT_TRUE(Boxes().empty());
  ASSERT_EQ(JoinedPages(out()), 4);
  const std::string earlier = testing_support::ReadFile(out() / "Combined.pdf");

  testing_support::WriteFile(out() / "notes.pdf", "%PDF-1.4");
  const std::string failed =
      "The pages were not joined into Combined.pdf: notes.pdf cannot be read (unable to find trailer dictionary "
      "while recovering damaged file). The earlier Combined.pdf was kept.";
  main().btnExport.click();
  EXPECT_TRUE(Boxes().empty()) << "the join goes on after the run";
  // The next run into the folder waits for that join and tells of it before its pages.
  Answer(host::ui::vbOK);
  main().btnExport.click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, failed);
  EXPECT_EQ(Boxes()[0].style, host::ui::vbOKOnly | host::ui::vbExclamation);
  // Its own join fails the same way, told as the host ends.
  app->SetDocumentChanged(false);
  app->Shutdown();
  Answer(host::ui::vbOK);
  EXPECT_TRUE(app->ProcessShutdown());
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[1].text, failed);
  EXPECT_EQ(app->FailedBackgroundWork(), 2);
  EXPECT_TRUE(testing_support::ReadFile(out() / "Combined.pdf") == earlier);
  EXPECT_EQ(files(".pdf"), (V{"Combined.pdf", "MapbookA1.pdf", "MapbookA2.pdf", "MapbookA3.pdf", "extra.pdf", "notes.pdf"}));
}

TEST(PdfJoinFailure, SaysWhatTheToolkitSaidOrHowItEnded) {
  host::win::ProgramEnd end;
  EXPECT_EQ(PdfJoinFailure(end, true), "");
  end.exitCode = 1;
  end.errorOutput = "pdftk: cannot read 'C:\\Out\\it's: here.pdf': file is damaged\n";
  EXPECT_EQ(PdfJoinFailure(end, false),
            "The pages were not joined into Combined.pdf: it's: here.pdf cannot be read (file is damaged).");
  end.errorOutput = "pdftk: cannot write 'C:\\Out\\Combined.pdf': No space left on device\n";
  EXPECT_EQ(PdfJoinFailure(end, true),
            "The pages were not joined into Combined.pdf: cannot write 'C:\\Out\\Combined.pdf': No space left on "
            "device. The earlier Combined.pdf was kept.");
  end.errorOutput = "";
  EXPECT_EQ(PdfJoinFailure(end, false), "The pages were not joined into Combined.pdf: the toolkit ended with status 1.");
  end.exitCode = -1;
  end.signal = 9;
  EXPECT_EQ(PdfJoinFailure(end, true),
            "The pages were not joined into Combined.pdf: the join was stopped (signal 9). The earlier Combined.pdf "
            "was kept.");
}

// Page values are the user's data: whatever they hold, the page lands in the chosen
// folder, and values without such characters name their files as before.
TEST_F(Runs, PageValuesNeverLeadOutOfTheExportFolder) {
  Start(3, 2, {{0, "/../../ESC4"}, {1, "a\\b:c*d?e\"f<g>h|i"}, {2, "tab\there"}, {3, "\xC3\x89mile St"}});
  State().Config[RefreshDelay] = "0";
  main().btnExport.click();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(files(), (V{"MapbookB2.png", "MapbookB3.png", "Mapbook_.._.._ESC4.png", "Mapbooka_b_c_d_e_f_g_h_i.png",
                        "Mapbooktab_here.png", "Mapbook\xC3\x89mile St.png"}));
  EXPECT_FALSE(fs::exists(DriveC() / "ESC4.png"));
  // The current map is named by the Navigator's text the same way.
  clear();
  main().optExpCurrent.click();
  main().cboNavIndex.pick("/../../ESC4");
  main().btnExport.click();
  EXPECT_EQ(files(), (V{"Mapbook_.._.._ESC4.png"}));
}

// An output folder typed as a native path works as its drive form does: the pages
// land inside it and the join finds them.
TEST_F(Runs, ANativeOutputFolderHoldsThePagesAndTheJoin) {
  Start(3, 1);
  State().Config[RefreshDelay] = "0";
  InstallToolkit();
  main().txtDir.paste(out().string());
  main().optPDF.click();
  main().btnExport.click();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(files(".pdf"), (V{"MapbookA1.pdf", "MapbookA2.pdf", "MapbookA3.pdf"}));
  EXPECT_EQ(JoinedPages(out()), 3);
  for (const auto& e : fs::directory_iterator(DriveC()))
    EXPECT_EQ(e.path().filename().string().find('\\'), std::string::npos) << e.path();
}

// Quotes are allowed in folder names here: the join reads and writes the folder it
// was given, not another one.
TEST_F(Runs, TheJoinTakesAnyFolderNameTheFileSystemAllows) {
  Start(3, 1);
  State().Config[RefreshDelay] = "0";
  InstallToolkit();
  main().optPDF.click();
  for (const std::string name : {"q\"uote", "a\"b\"c", "\"lead  blanks"}) {
    fs::create_directories(out() / name);
    main().txtDir.paste("C:\\out\\" + name + "\\pages");
    Answer(host::ui::vbYes);  // the pages folder is made
    main().btnExport.click();
    fs::path folder = out() / name / "pages";
    EXPECT_EQ(files(".pdf", folder).size(), 3u) << name;
    EXPECT_EQ(JoinedPages(folder), 3) << name;
  }
  EXPECT_FALSE(fs::exists(out() / "abc"));
  EXPECT_EQ(Boxes().size(), 3u);
}

// The join goes on after its run. The next run into the same folder waits for it, so
// the pages the join reads are not replaced under it. The toolkit here notes which
// pages it saw when it started and whether they were still the same when it ended;
// the second run starts once the first join has looked.
TEST_F(Runs, TheNextRunWaitsForTheJoinOfTheFolder) {
  Start(3, 1);
  State().Config[RefreshDelay] = "0";
  fs::path tool = ProgramFolder() / "Bin" / "pdftk.exe";
  testing_support::WriteFile(tool,
                             "#!/bin/sh\n"
                             "cd \"$(dirname \"$1\")\" || exit 1\n"
                             "before=$(ls -i Mapbook*.pdf)\n"
                             "echo >> started.log\n"
                             "sleep 1\n"
                             "after=$(ls -i Mapbook*.pdf)\n"
                             "if [ \"$before\" = \"$after\" ]; then echo same >> joins.log; else echo replaced >> joins.log; fi\n");
  fs::permissions(tool, fs::perms::owner_all);
  auto wait_for = [](const fs::path& file, size_t size) {
    for (int i = 0; i < 400 && (!fs::exists(file) || testing_support::ReadFile(file).size() < size); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  };
  main().optPDF.click();
  main().btnExport.click();
  wait_for(out() / "started.log", 1);
  main().btnExport.click();
  wait_for(out() / "joins.log", 10);
  EXPECT_EQ(testing_support::ReadFile(out() / "joins.log"), "same\nsame\n");
}

// A grid in WGS84 degrees drives an export of a map in State Plane feet: every page is
// the page the same grid in feet gives, its tile in the middle.
TEST_F(Runs, AGridInDegreesExportsThePagesOfTheGridInFeet) {
  WriteTown(3, 2);
  auto map = doc().FocusMap();
  map->AddLayer(Layer("streets"));
  const carto::SimpleRenderer red(carto::SimpleFillSymbol(carto::RgbColor(255, 0, 0)));
  auto grid84 = ReprojectedLayer("grid", "EPSG:4326", "tiles");
  grid84->SetRenderer(red);
  map->AddLayer(grid84);
  StartProgram();
  host::ui::ClearBoxLog();
  main().cboMapLayers.pick("tiles");
  main().btnLayerApply.click();
  main().lstDataFrames.select(0, true);
  main().optLayerFeatureExtent.click();
  main().txtLayerPercent.paste("10");
  main().txtRes.paste("20");
  main().optPNG.click();
  main().optExportAll.click();
  auto export_to = [&](const std::string& folder) {
    fs::create_directories(out() / folder);
    main().txtDir.paste("C:\\out\\" + folder);
    main().btnExport.click();
    EXPECT_TRUE(Boxes().empty());
  };
  export_to("degrees");
  // The same grid in feet, under the same name.
  map->DeleteLayer(*grid84);
  auto feet = Layer("grid");
  feet->SetName("tiles");
  feet->SetRenderer(red);
  map->AddLayer(feet);
  export_to("feet");

  const V pages{"MapbookA1.png", "MapbookA2.png", "MapbookA3.png", "MapbookB1.png", "MapbookB2.png", "MapbookB3.png"};
  ASSERT_EQ(files(".png", out() / "degrees"), pages);
  ASSERT_EQ(files(".png", out() / "feet"), pages);
  auto pixels = [](const fs::path& file) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(file.string().c_str());
    std::vector<uint32_t> all;
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
      const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          all.push_back(*reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) +
                                                           y * cairo_image_surface_get_stride(s) + x * 4) &
                        0xFFFFFF);
    }
    cairo_surface_destroy(s);
    return all;
  };
  long most_differ = 0;
  for (const std::string& page : pages) {
    std::vector<uint32_t> a = pixels(out() / "degrees" / page), b = pixels(out() / "feet" / page);
    ASSERT_EQ(a.size(), b.size()) << page;
    ASSERT_FALSE(a.empty()) << page;
    long red_pixels = 0, differ = 0;
    for (size_t k = 0; k < a.size(); ++k) {
      red_pixels += a[k] == 0xFF0000 ? 1 : 0;
      differ += a[k] != b[k] ? 1 : 0;
    }
    EXPECT_GT(double(red_pixels) / double(a.size()), 0.3) << page;  // not a blank page
    EXPECT_LT(double(differ) / double(a.size()), 0.002) << page;
    most_differ = std::max(most_differ, differ);
  }
  std::printf("pixels that differ on a page: at most %ld\n", most_differ);
}
