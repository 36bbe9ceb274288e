#pragma once
// A file written whole or not at all: the bytes go to a temporary file in the target's
// folder, and only Commit() puts it under the final name (a rename, so a reader sees
// the old file or the new one, never half of one). Without Commit() the temporary
// file is removed and nothing under the final name changes.
//
// A process killed while writing leaves its temporary file behind. Temporary names
// carry a marker, and the writer holds a lock on its file while it lives, so the next
// writer in that folder can tell a leftover from a file still being written.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace host::win {

class WholeFile {
 public:
  // Creates the temporary file. shownName names the file in error messages (the name
  // the user gave, e.g. a Windows path); empty means the native path. Fails with
  // 76 (folder missing), 70 (no write access) or 75 naming the file. Leftovers of
  // killed writers in the folder are removed first.
  explicit WholeFile(std::filesystem::path target, std::string shownName = {});
  ~WholeFile();
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;

  const std::filesystem::path& TempPath() const { return temp_; }
  const std::filesystem::path& Target() const { return target_; }
  const std::string& ShownName() const { return shown_; }

  // Appends bytes to the temporary file (for writers that do not open it themselves).
  void Write(std::string_view bytes);
  // Flushes the temporary file and its folder to disk and renames it onto the target.
  // A target that exists keeps its permissions.
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
  int lock_fd_ = -1;  // open on the temporary file while it lives; holds its lock
  bool committed_ = false;
};

// Writes bytes as a whole file (see WholeFile).
void WriteWholeFile(const std::filesystem::path& target, std::string_view bytes, std::string shownName = {});

// True for the names WholeFile gives its temporary files.
bool IsTemporaryName(std::string_view fileName);

// A unique, locked temporary name beside target, with the marker of IsTemporaryName;
// suffix is appended after the marker's random part (for writers that need a given
// extension). Returns the open, locked descriptor; the caller closes it when done.
int CreateTemporaryBeside(const std::filesystem::path& target, std::filesystem::path& made, std::string_view suffix = {});

// Removes the temporary files and folders in folder that no live writer holds.
void RemoveStaleTemporaries(const std::filesystem::path& folder);

// Flushes a folder's entries (a rename or an unlink in it) to disk.
void SyncFolder(const std::filesystem::path& folder);

}  // namespace host::win
