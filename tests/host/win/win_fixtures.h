// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the win suite: environment variables put back after a test, and a
// drive C of the test's own.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "host/vb/error.h"
#include "host/win/drives.h"
#include "support/temp_dir.h"

namespace win_test {

// Remembers a variable and restores it (or its absence) on leaving the scope.
class EnvGuard {
 public:
  explicit EnvGuard(std::string name) : name_(std::move(name)) {
    if (const char* v = std::getenv(name_.c_str())) old_ = v;
  }
  ~EnvGuard() {
    if (old_) setenv(name_.c_str(), old_->c_str(), 1);
    else unsetenv(name_.c_str());
  }
  void set(const std::string& value) { setenv(name_.c_str(), value.c_str(), 1); }
  void unset() { unsetenv(name_.c_str()); }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Drive C: is a fresh temp folder for the test; the map is rebuilt from the
// environment afterwards.
class DriveC : public ::testing::Test {
 protected:
  void SetUp() override { host::win::DriveMap::instance().set('C', c.path()); }
  void TearDown() override { host::win::DriveMap::instance().reset_from_environment(); }
  std::filesystem::path native(const std::string& rel) const { return c.path() / rel; }
  testing_support::TempDir c{"zelvane-win"};
};

}  // namespace win_test

// The run-time error number a statement raises, or 0 when it raises none.
#define ERR_OF(stmt)                           \
  ([&]() -> int {                              \
    try {                                      \
      stmt;                                    \
    } catch (const host::vb::Error& e) {       \
      return e.number();                       \
    }                                          \
    return 0;                                  \
  }())
