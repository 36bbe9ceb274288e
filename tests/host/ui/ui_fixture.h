// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A clean scripted user and box log for each test of the window model.

#include <gtest/gtest.h>

#include "host/ui/boxes.h"
#include "host/ui/form.h"
#include "host/ui/user.h"

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::ui::ScriptedUser::Instance().Clear();
    host::ui::ScriptedUser::Instance().SetPolicy(host::ui::UnansweredPolicy::Fail);
    host::ui::ClearBoxLog();
  }
  void TearDown() override {
    EXPECT_EQ(host::ui::ScriptedUser::Instance().Pending(), 0u) << "actions left in the queue";
    host::ui::ScriptedUser::Instance().Clear();
  }
  static host::ui::ScriptedUser& user() { return host::ui::ScriptedUser::Instance(); }
};
