#pragma once
// A file written whole or not at all: the bytes go to a temporary file in the target's
// folder, and only Commit() puts it under the final name (a rename, so a reader sees
// the old file or the new one, never half of one). Without Commit() the temporary
// file is removed and nothing under the final name changes.

#include <filesystem>
#include <string>

namespace host::render {

class WholeFile {
 public:
  // Creates the temporary file. shownName names the file in error messages (the name
  // the user gave, e.g. a Windows path); empty means the native path. Fails with
  // 76 (folder missing), 70 (no write access) or 75 naming the file.
  explicit WholeFile(std::filesystem::path target, std::string shownName = {});
  ~WholeFile();
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;

  const std::filesystem::path& TempPath() const { return temp_; }
  const std::filesystem::path& Target() const { return target_; }
  const std::string& ShownName() const { return shown_; }

  // Flushes the temporary file to disk and renames it onto the target.
  void Commit();
  // Removes the temporary file (also what the destructor does before a Commit).
  void Discard();
  bool Committed() const { return committed_; }

  // A write error about this file: number 75 and a description naming it.
  [[noreturn]] void Fail(const std::string& reason) const;

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_;
  std::string shown_;
  bool committed_ = false;
};

}  // namespace host::render
