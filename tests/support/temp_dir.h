// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh folder under the system's temp folder, removed with everything in it.

#include <filesystem>
#include <string>

namespace testing_support {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "zelvane-test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Writes bytes to a file (creating its folder) and reads a whole file back.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

// The folder that the test run's drives live in: C: and D: are folders inside it.
const std::filesystem::path& DrivesRoot();

}  // namespace testing_support
