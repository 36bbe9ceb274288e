// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <vector>

namespace host::win {

// What replacing a file that exists may do to it.
enum ReplaceFlags : unsigned {
  kReplaceAny = 0,
  // A read-only target is refused (70) and stays, as a delete without force refuses it,
  // so a user can lock a file against the program.
  kRefuseReadOnly = 1,
  // The target's name is kept as spelled: a file beside it whose name differs only in
  // letter case is the same file to the user and goes once the new one is in place.
  kOneSpelling = 2,
  // For copies: the new file gets the source's permissions instead of the target's (a
  // read-only source gives a read-only copy, as on Windows).
  kSourceMode = 4,
  // The file is new: a file that took the name meanwhile is kept, and the commit fails
  // (58) instead of replacing it.
  kNoReplace = 8,
};

class WholeFile {
 public:
  // Creates the temporary file. shownName names the file in error messages (the name
  // the user gave, e.g. a Windows path); empty means the native path. Fails with
  // 76 (folder missing), 70 (no write access) or 75 naming the file. Leftovers of
  // killed writers in the folder are removed first.
  explicit WholeFile(std::filesystem::path target, std::string shownName = {}, unsigned flags = kReplaceAny);
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
  unsigned flags_ = kReplaceAny;
  int lock_fd_ = -1;  // open on the temporary file while it lives; holds its lock
  bool committed_ = false;
};

// Writes bytes as a whole file (see WholeFile).
void WriteWholeFile(const std::filesystem::path& target, std::string_view bytes, std::string shownName = {},
                    unsigned flags = kReplaceAny);
// Copies source as a whole file onto target (see WholeFile); the target keeps its mode
// unless kSourceMode is given.
void CopyWholeFile(const std::filesystem::path& source, const std::filesystem::path& target,
                   std::string shownName = {}, unsigned flags = kReplaceAny);

// A set of files of one base name (a shapefile's .shp, .shx, .dbf ...) replaced together:
// the new set is written into a marked, locked folder beside the old one; Commit flushes
// it, leaves a "ready" mark listing the renames, and renames each file into place. A
// writer killed before the mark leaves the old set (its folder is removed by the next
// clean-up); one killed after it leaves a set that the next clean-up finishes, so the
// folder holds the old set or the new one. Members of the old set that the new one lacks
// (matched without regard to case) are removed; a read-only member refuses the whole
// replace (70) before anything changes.
//
// A set with nothing written into its folder is deleted whole by Commit; MoveFrom makes
// the commit a rename. Readers find a shapefile through its .shp, so an old .shp goes
// first and the new one comes last: between two steps a reader sees the old set, the
// new one or none, never a mixture.
class WholeFileSet {
 public:
  // extensions: every extension a set of that name may have (".shp", ...).
  WholeFileSet(std::filesystem::path folder, std::string base, std::vector<std::string> extensions,
               std::string shownName = {});
  ~WholeFileSet();
  WholeFileSet(const WholeFileSet&) = delete;
  WholeFileSet& operator=(const WholeFileSet&) = delete;

  // Where the new set is written, under its final names.
  const std::filesystem::path& TempFolder() const { return temp_; }
  std::filesystem::path TempMember(std::string_view extension) const;

  // Makes the commit a rename of the set named from: its members become the new set's
  // (linked, or copied where a link cannot be made) and go when it is put in place.
  // Fails with 53 when from has no member, 70 when one is read-only.
  void MoveFrom(const std::string& from);

  // Flushes the new set and leaves the ready mark: from here the new set wins.
  void Prepare();
  // Prepare, then the renames; the folder is gone after it.
  void Commit();
  void Discard();
  bool Committed() const { return committed_; }

 private:
  std::vector<std::filesystem::path> MembersOf(const std::string& base) const;
  void CheckReplaceable() const;

  std::filesystem::path folder_;
  std::string base_;
  std::vector<std::string> extensions_;
  std::string shown_;
  std::string from_;  // the set a rename takes its members from
  std::filesystem::path temp_;
  int lock_fd_ = -1;  // open on the temporary folder while the writer lives
  bool prepared_ = false;
  bool committed_ = false;
};

// Carries out the renames of a set folder that holds the ready mark, at most maxSteps of
// them (all by default); false when the folder holds no mark. For the clean-up, and for
// tests that stop a writer part way.
bool FinishReadySet(const std::filesystem::path& tempFolder, size_t maxSteps = size_t(-1));

// True for the names WholeFile gives its temporary files.
bool IsTemporaryName(std::string_view fileName);

// A unique, locked temporary name beside target, with the marker of IsTemporaryName;
// suffix is appended after the marker's random part (for writers that need a given
// extension). Returns the open, locked descriptor; the caller closes it when done.
int CreateTemporaryBeside(const std::filesystem::path& target, std::filesystem::path& made, std::string_view suffix = {});

// Removes the temporary files and folders in folder that no live writer holds; a set
// folder left ready is finished instead (see WholeFileSet).
void RemoveStaleTemporaries(const std::filesystem::path& folder);

// Flushes a folder's entries (a rename or an unlink in it) to disk.
void SyncFolder(const std::filesystem::path& folder);

}  // namespace host::win
