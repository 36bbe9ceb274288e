// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>

#include "host/app/application.h"
#include "host/app/progressor.h"
#include "host/app/registry.h"
#include "host/app/script.h"
#include "host/carto/document.h"
#include "host/carto/map.h"
#include "host/ui/boxes.h"
#include "host/ui/form.h"
#include "host/ui/user.h"
#include "host/vb/error.h"
#include "host/win/system.h"

using namespace host;

namespace {

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::remove(app::RegistryPath());
    ui::ScriptedUser::Instance().Clear();
    ui::ScriptedUser::Instance().SetPolicy(ui::UnansweredPolicy::Fail);
    ui::ClearBoxLog();
  }
  void TearDown() override {
    while (!ui::LoadedForms().empty()) ui::LoadedForms().back()->Unload();
    ui::ScriptedUser::Instance().Clear();
    std::filesystem::remove(app::RegistryPath());
  }
  // What a script that is read and played says when it stops; "" when it runs through.
  static std::string ScriptMessage(app::Application& application, std::ostream& out, const std::string& text) {
    try {
      app::Script s(application, out);
      s.Read(text);
      s.Play();
    } catch (const ui::ScriptError& e) {
      ui::ScriptedUser::Instance().Clear();
      return e.what();
    }
    return "";
  }
};

ui::Form& loaded(const std::string& name) {
  ui::Form* f = ui::FindLoadedForm(name);
  if (!f) throw std::runtime_error(name + " is not loaded");
  return *f;
}

}  // namespace

TEST(StepProgressor, StepsWithinItsRangeAndTellsItsListener) {
  app::StepProgressor p;
  p.SetDrawOnTerminal(false);
  std::vector<long> seen;
  p.SetListener([&](const app::StepProgressor& q) { seen.push_back(q.Visible() ? q.Position() : -1); });
  p.SetMinRange(0);
  p.SetMaxRange(3);
  p.SetStepValue(2);
  p.SetPosition(0);
  p.SetMessage("Loading List: MB_Label... ");
  p.Show();
  EXPECT_TRUE(p.Visible());
  EXPECT_EQ(p.Step(), 2);
  EXPECT_EQ(p.Step(), 3);  // never past the maximum
  p.Hide();
  EXPECT_FALSE(p.Visible());
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(std::vector<long>(seen.end() - 3, seen.end()), (std::vector<long>{2, 3, -1}));
  // Several steps at once are one change, by the step value each, never past the maximum.
  p.SetMaxRange(20);
  p.SetPosition(1);
  p.Show();
  seen.clear();
  EXPECT_EQ(p.StepBy(4), 9);
  EXPECT_EQ(p.StepBy(10), 20);
  EXPECT_EQ(seen, (std::vector<long>{9, 20}));
}

TEST_F(AppTest, RegistersLoadsCreatesAndClicksAPlugin) {
  app::RegisterLibrary(ZELVANE_TEST_PLUGIN);
  auto entries = app::RegisteredCommands();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "TestGIS_TestCommand");
  EXPECT_EQ(entries[0].library, std::filesystem::canonical(ZELVANE_TEST_PLUGIN).string());
  app::RegisterLibrary(ZELVANE_TEST_PLUGIN);  // registering twice keeps one entry
  EXPECT_EQ(app::RegisteredCommands().size(), 1u);
  {
    app::Application application;
    EXPECT_EQ(app::Application::Running(), &application);
    EXPECT_EQ(&app::AppRef().GetApplication(), &application);
    application.CreateCommands();
    app::ICommand* command = application.FindCommand("TestGIS_TestCommand");
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->Category(), "TestGIS");
    application.Click(*command);
    application.Click(*command);
    EXPECT_TRUE(loaded("frmTest").Visible());
    EXPECT_EQ(ui::LoadedForms().size(), 1u);  // the second click shows the same window
    auto& lib = app::PluginLibrary::Load(ZELVANE_TEST_PLUGIN);
    EXPECT_EQ(lib.CanUnloadNow(), app::S_FALSE);
  }
  EXPECT_EQ(app::PluginLibrary::Load(ZELVANE_TEST_PLUGIN).CanUnloadNow(), app::S_OK);
  EXPECT_THROW(app::AppRef(), vb::Error);
  app::UnregisterLibrary(ZELVANE_TEST_PLUGIN);
  EXPECT_TRUE(app::RegisteredCommands().empty());
}

TEST_F(AppTest, ALibraryThatIsNotAPluginIsRefusedClearly) {
  try {
    app::RegisterLibrary("/nonexistent/lib.so");
    FAIL();
  } catch (const vb::Error& e) {
    EXPECT_NE(e.description().find("/nonexistent/lib.so"), std::string::npos);
  }
}

TEST_F(AppTest, ShutdownAsksToSaveAndAWaitingKeyAnswersNo) {
  app::RegisterLibrary(ZELVANE_TEST_PLUGIN);
  app::Application application;
  application.CreateCommands();
  std::stringstream out;
  app::Script script(application, out);
  script.AddCommandClick("TestGIS_TestCommand");
  script.Read("click frmTest.btnQuit\nprint frmTest.txtName\n");
  script.Play();
  EXPECT_TRUE(application.HasEnded());
  EXPECT_EQ(out.str(), "");  // nothing runs after the host has ended
  ASSERT_EQ(ui::BoxLog().size(), 1u);
  EXPECT_EQ(ui::BoxLog()[0].TranscriptLine(), "MSGBOX YesNoCancel -> No: Save changes to Untitled?");
  EXPECT_TRUE(ui::LoadedForms().empty());  // every window was unloaded with the host
}

TEST_F(AppTest, ShutdownCancelledByTheUserKeepsTheHostRunning) {
  app::Application application;
  application.SetDocumentChanged(true);
  application.Shutdown();
  ui::ScriptedUser::Instance().PushAnswer(ui::vbCancel);
  EXPECT_FALSE(application.ProcessShutdown());
  EXPECT_FALSE(application.HasEnded());
  application.SetDocumentChanged(false);
  application.Shutdown();
  EXPECT_TRUE(application.ProcessShutdown());  // nothing to save: no question
  EXPECT_EQ(ui::BoxLog().size(), 1u);
}

TEST_F(AppTest, ScriptsDriveWindowsAndPrintTheirValues) {
  app::RegisterLibrary(ZELVANE_TEST_PLUGIN);
  app::Application application;
  application.CreateCommands();
  std::stringstream out;
  app::Script script(application, out);
  script.AddCommandClick("TestGIS_TestCommand");
  script.Read(R"(# a comment, then a blank line

type frmTest.txtName "Ann \"A\" \\ B"
click frmTest.btnHello
answer Yes
print frmTest.lblAnswer
click frmTest.btnAsk
input "Bob"
click frmTest.btnDialog
settext frmDialog.txtValue "Carol"
key frmDialog.txtValue Enter
print frmTest.txtName
click frmTest.chkFlag
print frmTest.chkFlag
select frmTest.lstItems "Gamma" on
pick frmTest.lstItems #0
print frmTest.lstItems
pick frmTest.cboPick "two"
print frmTest.cboPick
close frmTest
)");
  script.Play();
  EXPECT_EQ(out.str(),
            "frmTest.lblAnswer = yes\n"
            "frmTest.txtName = Carol\n"
            "frmTest.chkFlag = 1\n"
            "frmTest.lstItems = [x] Alpha; [ ] beta; [x] Gamma\n"
            "frmTest.cboPick = two\n");
  ASSERT_EQ(ui::BoxLog().size(), 2u);
  EXPECT_EQ(ui::BoxLog()[0].text, "Hello, Ann \"A\" \\ B\r\nIs that right?");
  EXPECT_EQ(ui::FindLoadedForm("frmTest"), nullptr);
}

TEST_F(AppTest, ScriptMistakesNameTheirLine) {
  app::Application application;
  std::stringstream out;
  app::Script script(application, out);
  auto message = [&](const std::string& text) { return ScriptMessage(application, out, text); };
  EXPECT_EQ(message("\nfly frmMain.btnGo"), "line 2: unknown verb fly");
  EXPECT_EQ(message("type frmMain.txtName \"open"), "line 1: a quoted text is not closed");
  EXPECT_EQ(message("click frmMain.btnGo"), "line 1: no window frmMain is loaded");
  EXPECT_EQ(message("answer Maybe"), "line 1: not an answer: Maybe");
  EXPECT_EQ(message("answer OK"), "line 1: no message box is open to answer");
  EXPECT_EQ(message("select frmMain.lst \"a\" maybe"), "line 1: expected on or off, not maybe");
}

TEST_F(AppTest, NumbersInAScriptThatNoControlTakesNameTheirLine) {
  app::Application application;
  std::stringstream out;
  auto message = [&](const std::string& text) { return ScriptMessage(application, out, text); };
  const std::string key = " (a key name or a whole number from 0 to 255)";
  EXPECT_EQ(message("key frmMain.txtRes 1e20"), "line 1: not a key code: 1e20" + key);
  EXPECT_EQ(message("\nkey frmMain.txtRes 1e400"), "line 2: not a key code: 1e400" + key);
  EXPECT_EQ(message("key frmMain.txtRes 13.5"), "line 1: not a key code: 13.5" + key);
  EXPECT_EQ(message("key frmMain.txtRes -1"), "line 1: not a key code: -1" + key);
  EXPECT_EQ(message("key frmMain.txtRes abc"), "line 1: not a key code: abc" + key);
  EXPECT_EQ(message("tab F.C 1e20"), "line 1: not a whole number from -32768 to 32767: 1e20");
  EXPECT_EQ(message("scroll F.C 32768"), "line 1: not a whole number from -32768 to 32767: 32768");
  EXPECT_EQ(message("export PNG 1e400 /tmp page"), "line 1: not a resolution: 1e400");
  EXPECT_EQ(message("print-extent #1e20"), "line 1: not an index: #1e20");
  EXPECT_EQ(message("print-extent #0.5"), "line 1: not an index: #0.5");
  EXPECT_EQ(message("print-extent #1"), "line 1: no map #1 (the document has 1)");
  EXPECT_EQ(message("print-extent #0"), "");  // the edges still work
  EXPECT_EQ(message("key frmMain.txtRes 255\ntab F.C -32768"), "line 1: no window frmMain is loaded");
}

TEST_F(AppTest, AnEndingHostClosesItsWindowsThenReleasesCommandsAndDocument) {
  app::RegisterLibrary(ZELVANE_TEST_PLUGIN);
  auto& lib = app::PluginLibrary::Load(ZELVANE_TEST_PLUGIN);
  app::Application application;
  application.CreateCommands();
  application.Click(*application.FindCommand("TestGIS_TestCommand"));
  ASSERT_NE(ui::FindLoadedForm("frmTest"), nullptr);
  std::weak_ptr<carto::Map> map = application.GetDocument().FocusMap();
  application.SetDocumentChanged(true);

  application.End();  // no save question: ending is not a shutdown request
  EXPECT_TRUE(ui::LoadedForms().empty());
  EXPECT_TRUE(application.Commands().empty());
  EXPECT_EQ(lib.CanUnloadNow(), app::S_OK);  // before any static of the process goes
  EXPECT_TRUE(map.expired());
  EXPECT_FALSE(application.DocumentChanged());
  EXPECT_TRUE(ui::BoxLog().empty());
  application.End();  // once is enough; again does nothing
  EXPECT_EQ(app::Application::Running(), &application);
}

// Work a command left running: looked at without waiting, waited for by its key or as
// the host ends, each told once, the failures counted; a box one of them shows may let
// the window look again meanwhile.
TEST_F(AppTest, BackgroundWorkIsToldOnceWhenItIsOverAndWaitedForAsTheHostEnds) {
  app::Application application;
  std::vector<std::string> told;
  auto work = [&](const std::string& name, bool* over, app::WorkState end) {
    return [&told, &application, name, over, end](bool wait) {
      if (!wait && !*over) return app::WorkState::Running;
      told.push_back(name + (wait ? " waited" : " seen"));
      application.CheckBackgroundWork();  // as the box of a failure lets the window's events in
      return end;
    };
  };
  bool a_over = false, b_over = false, c_over = false;
  application.AddBackgroundWork("a", work("a", &a_over, app::WorkState::Failed));
  application.AddBackgroundWork("b", work("b", &b_over, app::WorkState::Succeeded));
  application.CheckBackgroundWork();
  EXPECT_TRUE(told.empty());
  b_over = true;
  application.CheckBackgroundWork();
  application.CheckBackgroundWork();
  EXPECT_EQ(told, (std::vector<std::string>{"b seen"}));
  application.FinishBackgroundWork("b");  // over already
  application.FinishBackgroundWork("a");
  EXPECT_EQ(told, (std::vector<std::string>{"b seen", "a waited"}));
  EXPECT_FALSE(application.HasBackgroundWork());
  EXPECT_EQ(application.FailedBackgroundWork(), 1);

  // New work of a key finishes the work of that key first.
  application.AddBackgroundWork("c", work("c1", &c_over, app::WorkState::Failed));
  application.AddBackgroundWork("c", work("c2", &c_over, app::WorkState::Failed));
  EXPECT_EQ(told.back(), "c1 waited");
  application.End();
  EXPECT_EQ(told.back(), "c2 waited");
  EXPECT_EQ(application.FailedBackgroundWork(), 3);
}
