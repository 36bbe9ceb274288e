// SPDX-License-Identifier: GPL-3.0-or-later
// The application's map document: opening, saving, the save question at shutdown, and
// the document verbs of scripts.

#include <gtest/gtest.h>

#include <sstream>

#include "host/app/application.h"
#include "host/app/script.h"
#include "host/carto/carto_testing.h"
#include "host/ui/boxes.h"
#include "host/ui/user.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

using namespace host;
using carto_testing::ErrorOf;
using carto_testing::WriteTiles;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

class AppDocument : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::ScriptedUser::Instance().Clear();
    ui::ScriptedUser::Instance().SetPolicy(ui::UnansweredPolicy::Fail);
    ui::ClearBoxLog();
    WriteTiles(dir / "data", "grid", 4, 3);
    WriteFile(dir / "book.json", R"({
  "activeView": "layout",
  "maps": [
    {"name": "Main", "mapUnits": "feet", "extent": [0, 0, 1000, 500],
     "layers": [{"type": "group", "name": "Sheets",
                 "layers": [{"type": "feature", "name": "Grid", "source": "data/grid.shp"}]}]},
    {"name": "Mapbook_Index", "layers": [{"type": "feature", "source": "data/grid.shp"}]}
  ],
  "elements": [{"type": "mapFrame", "map": "Main", "envelope": [0.5, 0.5, 10.5, 5.5]}]
})");
  }
  void TearDown() override { ui::ScriptedUser::Instance().Clear(); }

  std::string Play(app::Application& application, const std::string& text) {
    std::stringstream out;
    app::Script script(application, out);
    script.Read(text);
    script.Play();
    return out.str();
  }
  std::string ScriptError(app::Application& application, const std::string& text) {
    try {
      Play(application, text);
    } catch (const ui::ScriptError& e) {
      ui::ScriptedUser::Instance().Clear();
      return e.what();
    }
    return "";
  }

  testing_support::TempDir dir;
};

}  // namespace

TEST_F(AppDocument, OpeningReplacesTheDocumentOnlyWhenTheFileIsGood) {
  app::Application application;
  carto::Document& first = application.GetDocument();
  EXPECT_EQ(first.Parent(), &application);
  EXPECT_EQ(application.Caption(), "Untitled - ZelvaneMap");
  first.Map(0)->SetName("Mine");
  EXPECT_TRUE(application.DocumentChanged());

  WriteFile(dir / "broken.json", "{\"maps\": [");
  std::string message = ErrorOf([&] { application.OpenDocument((dir / "broken.json").string()); }).description();
  EXPECT_EQ(message.rfind("Cannot open map document \"" + (dir / "broken.json").string() + "\": broken JSON", 0), 0u);
  EXPECT_EQ(&application.GetDocument(), &first);
  EXPECT_EQ(application.GetDocument().Map(0)->Name(), "Mine");
  EXPECT_TRUE(application.DocumentChanged());

  application.OpenDocument((dir / "book.json").string());
  carto::Document& opened = application.GetDocument();
  EXPECT_EQ(opened.Parent(), &application);
  EXPECT_EQ(opened.MapCount(), 2);
  EXPECT_FALSE(application.DocumentChanged());
  EXPECT_EQ(application.Caption(), "book.json - ZelvaneMap");
  application.SetDocumentChanged(true);
  EXPECT_TRUE(opened.Changed());
  application.SetDocumentChanged(false);
  EXPECT_FALSE(opened.Changed());
}

TEST_F(AppDocument, YesToTheSaveQuestionSavesTheDocument) {
  app::Application application;
  application.OpenDocument((dir / "book.json").string());
  application.GetDocument().Map(0)->SetName("Renamed");
  application.Shutdown();
  ui::ScriptedUser::Instance().PushAnswer(ui::vbYes);
  EXPECT_TRUE(application.ProcessShutdown());
  EXPECT_EQ(ui::BoxLog().back().TranscriptLine(), "MSGBOX YesNoCancel -> Yes: Save changes to book.json?");
  EXPECT_NE(ReadFile(dir / "book.json").find("\"name\": \"Renamed\""), std::string::npos);
  EXPECT_FALSE(application.DocumentChanged());
}

TEST_F(AppDocument, ANewDocumentAsksForItsFileOnYes) {
  {
    app::Application application;
    application.GetDocument().Map(0)->SetName("Fresh");
    application.Shutdown();
    ui::ScriptedUser::Instance().PushAnswer(ui::vbYes);
    ui::ScriptedUser::Instance().PushInput(std::nullopt);  // cancelled: the host goes on
    EXPECT_FALSE(application.ProcessShutdown());
    EXPECT_FALSE(application.HasEnded());

    application.Shutdown();
    ui::ScriptedUser::Instance().PushAnswer(ui::vbYes);
    ui::ScriptedUser::Instance().PushInput((dir / "no" / "such" / "x.json").string());
    ui::ScriptedUser::Instance().PushAnswer(ui::vbOK);  // the save fails and says so
    EXPECT_FALSE(application.ProcessShutdown());
    EXPECT_NE(ui::BoxLog().back().text.find("Cannot save map document"), std::string::npos);

    application.Shutdown();
    ui::ScriptedUser::Instance().PushAnswer(ui::vbYes);
    ui::ScriptedUser::Instance().PushInput((dir / "fresh.json").string());
    EXPECT_TRUE(application.ProcessShutdown());
  }
  app::Application again;
  again.OpenDocument((dir / "fresh.json").string());
  EXPECT_EQ(again.GetDocument().Map(0)->Name(), "Fresh");
}

TEST_F(AppDocument, ScriptsSwitchViewsSelectAndPrintExtentsAndScales) {
  app::Application application;
  application.OpenDocument((dir / "book.json").string());
  carto::Document& doc = application.GetDocument();
  std::string out = Play(application, R"(print-extent Main
print-scale Main
print-scale #1
view data
print-scale Main
focus-map Mapbook_Index
select-features grid "ZONE = 0"
focus-map #0
select-features GRID "FID < 2"
view layout
save-document )" + (dir / "saved.json").string() + R"(
clear-selection
)");
  EXPECT_EQ(out,
            "Main extent = 0 0 1000 500\n"
            "Main scale = 1200\n"
            "#1 scale = " + vb::CStr(doc.Map(1)->MapScale()) + "\n"
            "Main scale = 1200\n");
  EXPECT_TRUE(doc.InLayoutView());
  EXPECT_EQ(doc.FocusMap(), doc.Map(0));
  EXPECT_EQ(doc.Map(0)->SelectionCount(), 0);
  EXPECT_EQ(doc.FilePath(), dir / "saved.json");

  auto saved = carto::Document::Open((dir / "saved.json").string());
  EXPECT_EQ(saved->Map(0)->SelectionCount(), 2);
  EXPECT_EQ(saved->Map(1)->SelectionCount(), 4);
  EXPECT_TRUE(saved->InLayoutView());
  EXPECT_EQ(saved->FocusMap()->Name(), "Main");

  // Without a file name the document goes back to its own file.
  Play(application, "select-features Grid \"FID = 11\"\nsave-document\n");
  EXPECT_EQ(carto::Document::Open((dir / "saved.json").string())->Map(0)->SelectionCount(), 1);
}

TEST_F(AppDocument, DocumentVerbMistakesNameTheirLine) {
  app::Application application;
  EXPECT_EQ(ScriptError(application, "view page"), "line 1: expected layout or data, not page");
  EXPECT_EQ(ScriptError(application, "\nprint-scale Nowhere"), "line 2: no map named Nowhere");
  EXPECT_EQ(ScriptError(application, "focus-map #3"), "line 1: no map #3 (the document has 1)");
  EXPECT_EQ(ScriptError(application, "select-features Roads \"A = 1\""), "line 1: no layer Roads in the focus map Layers");
  EXPECT_EQ(ScriptError(application, "save-document"), "line 1: the document has no file yet: save-document FILE");
  EXPECT_EQ(ScriptError(application, "print-extent"), "line 1: expected: print-extent MAP");
  EXPECT_EQ(ScriptError(application, "print-extent Layers"), "");

  application.OpenDocument((dir / "book.json").string());
  std::string bad = ScriptError(application, "select-features Grid \"NOPE = 1\"");
  EXPECT_EQ(bad.rfind("line 1: ", 0), 0u);
  EXPECT_NE(bad.find("NOPE"), std::string::npos);
}

TEST_F(AppDocument, ALayerThatCannotBeShownInTheMapsSystemIsNamedOnceAtOpening) {
  towngen::WriteTown((dir / "town").string(), {2, 3, 2});
  // A local site grid has no transformation to the town's State Plane feet.
  WriteFile(dir / "town" / "streets.prj", R"(LOCAL_CS["Site grid",UNIT["Meter",1.0]])");
  WriteFile(dir / "site.json", R"({
  "maps": [{"name": "Main", "layers": [{"type": "feature", "source": "town/blocks.shp"},
                                       {"type": "feature", "name": "Site", "source": "town/streets.shp"}]}]
})");
  app::Application application;
  ui::ScriptedUser::Instance().PushAnswer(ui::vbOK);
  application.OpenDocument((dir / "site.json").string());
  ASSERT_EQ(ui::BoxLog().size(), 1u);
  EXPECT_EQ(ui::BoxLog()[0].text,
            "The layer \"Site\" cannot be drawn in the map's coordinate system: no transformation from \"Site grid\" "
            "to \"NAD83 / California zone 3 (ftUS)\".");
  EXPECT_EQ(ui::BoxLog()[0].style, ui::vbOKOnly | ui::vbExclamation);
  // The rest of the map is there; the layer draws nothing and says no more.
  auto map = application.GetDocument().Map(0);
  EXPECT_EQ(map->LayerCount(), 2);
  EXPECT_FALSE(map->FullExtent().IsEmpty());
  EXPECT_EQ(map->AllFeatureLayers().back()->FeatureCount(), 0);
  EXPECT_EQ(ui::BoxLog().size(), 1u);
  geodata::ShapefileWorkspace::ClearCache();
}
