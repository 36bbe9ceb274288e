// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers shared by the geodata tests.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/geodata/geodata.h"
#include "host/vb/error.h"
#include "support/errors.h"
#include "support/run_command.h"

namespace geodata_testing {

namespace gd = host::geodata;

inline std::vector<int64_t> Oids(gd::Cursor c) {
  std::vector<int64_t> out;
  while (auto r = c.NextRow()) out.push_back(r->OID());
  return out;
}

inline std::vector<int64_t> Where(gd::Table& t, const std::string& clause) {
  return Oids(t.Search(gd::QueryFilter(clause)));
}

// Runs a command and gives its standard output.
// What a shell command wrote on its standard output.
inline std::string RunCommand(const std::string& command) { return testing_support::RunCommand(command).out; }

using testing_support::ErrorOf;

}  // namespace geodata_testing
