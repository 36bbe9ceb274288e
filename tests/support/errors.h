// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The run-time error a call fails with.

#include <gtest/gtest.h>

#include "host/vb/error.h"

namespace testing_support {

// The error a call fails with; fails the test when it does not fail.
template <typename F>
host::vb::Error ErrorOf(F&& f) {
  try {
    f();
  } catch (const host::vb::Error& e) {
    return e;
  }
  ADD_FAILURE() << "expected a host::vb::Error";
  return host::vb::Error(0, "");
}

}  // namespace testing_support
