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
inline std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  pclose(p);
  return out;
}

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

}  // namespace geodata_testing
