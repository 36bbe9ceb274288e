#pragma once
// A fresh program load for each test: the shared state reset, drive C with an empty
// Program Files folder, a running host application, and no box left unanswered.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "host/app/application.h"
#include "host/ui/boxes.h"
#include "host/ui/form.h"
#include "host/ui/user.h"
#include "host/vb/seqfile.h"
#include "host/win/drives.h"
#include "mapbooks/common/SharedState.h"
#include "support/temp_dir.h"

class MapbooksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::win::DriveMap::instance().reset_from_environment();
    std::filesystem::remove_all(DriveC() / "Program Files");
    mapbooks::ResetState();
    host::ui::ScriptedUser::Instance().Clear();
    host::ui::ScriptedUser::Instance().SetPolicy(host::ui::UnansweredPolicy::Fail);
    host::ui::ClearBoxLog();
    app = std::make_unique<host::app::Application>();  // makes C:\Program Files
  }
  void TearDown() override {
    mapbooks::ResetState();
    while (!host::ui::LoadedForms().empty()) host::ui::LoadedForms().back()->Unload();
    host::vb::CloseAll();
    app.reset();
    EXPECT_EQ(host::ui::ScriptedUser::Instance().Pending(), 0u) << "actions left in the queue";
    host::ui::ScriptedUser::Instance().Clear();
    host::win::DriveMap::instance().reset_from_environment();
  }
  static std::filesystem::path DriveC() { return testing_support::DrivesRoot() / "c"; }
  static std::filesystem::path ProgramFolder() {
    return DriveC() / "Program Files" / "ZelvaneGIS" / "ZelvaneMapbooks";
  }
  static void Answer(host::ui::MsgBoxResult a) { host::ui::ScriptedUser::Instance().PushAnswer(a); }
  static const std::vector<host::ui::BoxRecord>& Boxes() { return host::ui::BoxLog(); }

  std::unique_ptr<host::app::Application> app;
};
