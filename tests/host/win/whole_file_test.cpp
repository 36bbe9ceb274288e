// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/win/whole_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "host/vb/error.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using host::win::WholeFile;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::vector<std::string> names_in(const fs::path& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(WholeFile, TheOldFileStaysUntilCommitAndKeepsItsMode) {
  TempDir dir;
  const fs::path target = dir / "settings.txt";
  WriteFile(target, "old");
  ::chmod(target.c_str(), 0600);
  {
    WholeFile file(target);
    file.Write("new");
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_TRUE(host::win::IsTemporaryName(file.TempPath().filename().string()));
  }  // dropped without a commit
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"settings.txt"});

  host::win::WriteWholeFile(target, "new");
  EXPECT_EQ(ReadFile(target), "new");
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"settings.txt"});
}

TEST(WholeFile, LeftoversOfKilledWritersGoButLiveOnesStay) {
  TempDir dir;
  // What a killed writer leaves: a marked name that nobody holds, file or folder.
  WriteFile(dir / ".page.png.partial-AbC123", "half");
  fs::create_directories(dir / ".grid.partial-xyZ789" / "inner");
  // Look-alikes that are not ours stay.
  WriteFile(dir / ".hidden", "mine");
  WriteFile(dir / "page.partial-AbC123", "not hidden");

  WholeFile live(dir / "live.pdf");  // clean-up ran for the folder
  EXPECT_EQ(names_in(dir.path()).size(), 3u);  // .hidden, the look-alike and live's temporary
  EXPECT_FALSE(fs::exists(dir / ".page.png.partial-AbC123"));
  EXPECT_FALSE(fs::exists(dir / ".grid.partial-xyZ789"));

  // A second writer in the folder leaves the first one's file alone.
  host::win::WriteWholeFile(dir / "other.pdf", "x");
  EXPECT_TRUE(fs::exists(live.TempPath()));
  live.Write("done");
  live.Commit();
  EXPECT_EQ(ReadFile(dir / "live.pdf"), "done");
}

TEST(WholeFile, RefusesAMissingFolder) {
  TempDir dir;
  try {
    WholeFile file(dir / "missing" / "x.txt", "C:\\missing\\x.txt");
    FAIL() << "no error";
  } catch (const host::vb::Error& e) {
    EXPECT_EQ(e.number(), 76);
    EXPECT_NE(e.description().find("C:\\missing\\x.txt"), std::string::npos);
  }
}

TEST(WholeFile, ALockedFileStaysAndOtherSpellingsOfTheNameGo) {
  TempDir dir;
  WriteFile(dir / "Town.mbk", "old");
  ::chmod((dir / "Town.mbk").c_str(), 0444);
  // Refused whether it is named as spelled on disk or in another letter case.
  for (const char* name : {"Town.mbk", "TOWN.mbk"}) {
    try {
      host::win::WriteWholeFile(dir / name, "new", {}, host::win::kRefuseReadOnly | host::win::kOneSpelling);
      FAIL() << "no error for " << name;
    } catch (const host::vb::Error& e) {
      EXPECT_EQ(e.number(), 70);
    }
  }
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"Town.mbk"});
  EXPECT_EQ(ReadFile(dir / "Town.mbk"), "old");

  ::chmod((dir / "Town.mbk").c_str(), 0640);
  host::win::CopyWholeFile(dir / "Town.mbk", dir / "TOWN.mbk", {}, host::win::kOneSpelling);
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"TOWN.mbk"});
  EXPECT_EQ(ReadFile(dir / "TOWN.mbk"), "old");
}

TEST(WholeFile, AFileWithoutANameIsRefusedNotWrittenInTheCurrentFolder) {
  TempDir dir;
  fs::path before = fs::current_path();
  fs::current_path(dir.path());
  EXPECT_THROW(host::win::WriteWholeFile("", "x"), host::vb::Error);
  fs::current_path(before);
  EXPECT_TRUE(names_in(dir.path()).empty());
}

namespace {

const std::vector<std::string> kSet = {".dbf", ".shp", ".shx", ".prj", ".cpg"};

void write_set(const fs::path& folder, const std::string& base, const std::string& content,
               const std::vector<std::string>& exts) {
  for (const auto& ext : exts) WriteFile(folder / (base + ext), content + ext);
}

// The new set of "grid" written into a set folder, as a writer does before it commits.
void stage_new_set(host::win::WholeFileSet& set) {
  for (const char* ext : {".dbf", ".shp", ".shx"}) WriteFile(set.TempMember(ext), std::string("new") + ext);
}

// Runs body in a child process; body ends in kill_here(), inside the writer's scope, so
// nothing is cleaned up, as when a writer is killed.
[[noreturn]] void kill_here() { ::_exit(0); }

template <typename Body>
void in_killed_writer(Body body) {
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    body();
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
}

}  // namespace

TEST(WholeFileSet, TheNewSetReplacesTheOldOneAndWhatItLacksGoes) {
  TempDir dir;
  write_set(dir.path(), "Grid", "old", {".dbf", ".shp", ".shx", ".prj", ".cpg"});
  WriteFile(dir / "grid.lyr", "mine");
  {
    host::win::WholeFileSet set(dir.path(), "grid", kSet);
    stage_new_set(set);
    EXPECT_EQ(ReadFile(dir / "Grid.shp"), "old.shp");  // the old set stays while the new one is written
    set.Commit();
  }
  // The old spelling, the stale .prj and .cpg go; the .lyr is not a member here.
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"grid.dbf", "grid.lyr", "grid.shp", "grid.shx"}));
  EXPECT_EQ(ReadFile(dir / "grid.shp"), "new.shp");

  {
    host::win::WholeFileSet set(dir.path(), "grid", kSet);
    WriteFile(set.TempMember(".shp"), "never");
  }  // dropped without a commit: nothing changes
  EXPECT_EQ(ReadFile(dir / "grid.shp"), "new.shp");
  EXPECT_EQ(names_in(dir.path()).size(), 4u);

  ::chmod((dir / "grid.dbf").c_str(), 0444);
  try {
    host::win::WholeFileSet set(dir.path(), "grid", kSet);
    FAIL() << "a read-only member was not refused";
  } catch (const host::vb::Error& e) {
    EXPECT_EQ(e.number(), 70);
  }
  EXPECT_EQ(names_in(dir.path()).size(), 4u);
}

TEST(WholeFileSet, AKilledWriterLeavesTheOldSetOrTheNewOneAfterTheNextCleanUp) {
  TempDir dir;
  write_set(dir.path(), "grid", "old", {".dbf", ".shp", ".shx", ".prj"});

  // Killed while writing: the old set stays and the half-written folder goes.
  in_killed_writer([&] {
    host::win::WholeFileSet set(dir.path(), "grid", kSet);
    WriteFile(set.TempMember(".shp"), "half");
    kill_here();
  });
  EXPECT_EQ(names_in(dir.path()).size(), 5u);  // the four old files and the folder
  host::win::RemoveStaleTemporaries(dir.path());
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"grid.dbf", "grid.prj", "grid.shp", "grid.shx"}));
  EXPECT_EQ(ReadFile(dir / "grid.shp"), "old.shp");

  // Killed between the renames: the set is finished by the next clean-up.
  for (size_t done : {0u, 1u, 3u}) {
    write_set(dir.path(), "grid", "old", {".dbf", ".shp", ".shx", ".prj"});
    in_killed_writer([&] {
      host::win::WholeFileSet set(dir.path(), "grid", kSet);
      stage_new_set(set);
      set.Prepare();
      host::win::FinishReadySet(set.TempFolder(), done);
      kill_here();
    });
    host::win::RemoveStaleTemporaries(dir.path());
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"grid.dbf", "grid.shp", "grid.shx"})) << done;
    for (const char* ext : {".dbf", ".shp", ".shx"})
      EXPECT_EQ(ReadFile(dir / (std::string("grid") + ext)), std::string("new") + ext) << done;
  }
}

TEST(WholeFileSet, AnotherWritersCleanUpLeavesALiveSetAlone) {
  TempDir dir;
  host::win::WholeFileSet set(dir.path(), "grid", kSet);
  stage_new_set(set);
  host::win::WriteWholeFile(dir / "other.txt", "x");  // runs the clean-up of the folder
  ASSERT_TRUE(fs::exists(set.TempMember(".shp")));
  set.Commit();
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"grid.dbf", "grid.shp", "grid.shx", "other.txt"}));
}

TEST(WholeFileSet, AMarkNeverReachesOutsideItsFolder) {
  TempDir dir;
  fs::create_directories(dir / "inner" / ".x.partial-AbC123");
  WriteFile(dir / "outside.txt", "keep");
  WriteFile(dir / "inner" / "notes.txt", "keep");
  WriteFile(dir / "inner" / "X.txt", "old");
  WriteFile(dir / "inner" / ".x.partial-AbC123" / ".ready",
            "drop ../outside.txt\nput ../outside.txt\ndrop notes.txt\ndrop X.txt\n");
  host::win::RemoveStaleTemporaries(dir / "inner");
  EXPECT_EQ(ReadFile(dir / "outside.txt"), "keep");
  EXPECT_EQ(names_in(dir / "inner"), std::vector<std::string>{"notes.txt"});  // only the set's own member went
  EXPECT_THROW(host::win::WholeFileSet(dir.path(), "../x", kSet), host::vb::Error);
  EXPECT_THROW(host::win::WholeFileSet(dir.path(), "", kSet), host::vb::Error);
}

namespace {

// Each member of base that exists, with what it holds; "" for a missing one.
std::map<std::string, std::string> members(const fs::path& folder, const std::string& base) {
  std::map<std::string, std::string> out;
  for (const std::string& ext : kSet)
    if (fs::exists(folder / (base + ext))) out[ext] = ReadFile(folder / (base + ext));
  return out;
}

// "" when a set that shows its .shp has every member of one origin ("g" or "h").
std::string mixed(const fs::path& folder, const std::string& base) {
  auto m = members(folder, base);
  if (!m.count(".shp")) return "";
  const std::string origin = m[".shp"].substr(0, 1);
  for (const char* ext : {".dbf", ".shp", ".shx"})
    if (!m.count(ext) || m[ext].substr(0, 1) != origin) return base + " is mixed or partial at " + ext;
  return "";
}

}  // namespace

TEST(WholeFileSet, ASetWithNothingPutIsDeletedWholeOrNotAtAll) {
  TempDir dir;
  write_set(dir.path(), "grid", "old", {".dbf", ".shp", ".shx", ".prj"});
  write_set(dir.path(), "grid1", "other", {".dbf", ".shp"});
  WriteFile(dir / "grid.lyr", "mine");
  ::chmod((dir / "grid.shx").c_str(), 0444);
  EXPECT_THROW(host::win::WholeFileSet(dir.path(), "grid", kSet), host::vb::Error);
  EXPECT_EQ(names_in(dir.path()).size(), 7u);  // refused before anything went
  ::chmod((dir / "grid.shx").c_str(), 0644);
  host::win::WholeFileSet(dir.path(), "grid", kSet).Commit();
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"grid.lyr", "grid1.dbf", "grid1.shp"}));
}

TEST(WholeFileSet, MoveFromRenamesTheSetAndReplacesTheOneOfTheNewName) {
  TempDir dir;
  write_set(dir.path(), "g", "g", {".dbf", ".shp", ".shx"});
  write_set(dir.path(), "h", "h", {".dbf", ".shp", ".shx", ".prj"});
  {
    host::win::WholeFileSet set(dir.path(), "h", kSet);
    set.MoveFrom("g");
    EXPECT_EQ(ReadFile(dir / "h.shp"), "h.shp");  // nothing moves before the commit
    set.Commit();
  }
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"h.dbf", "h.shp", "h.shx"}));
  for (const char* ext : {".dbf", ".shp", ".shx"})
    EXPECT_EQ(ReadFile(dir / (std::string("h") + ext)), std::string("g") + ext);

  // A read-only source or no source at all refuses the rename, and the set folder goes.
  ::chmod((dir / "h.dbf").c_str(), 0444);
  for (const char* from : {"h", "missing"}) {
    host::win::WholeFileSet set(dir.path(), "k", kSet);
    try {
      set.MoveFrom(from);
      FAIL() << from << " was taken";
    } catch (const host::vb::Error& e) {
      EXPECT_EQ(e.number(), std::string(from) == "h" ? 70 : 53);
    }
  }
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"h.dbf", "h.shp", "h.shx"}));
}

TEST(WholeFileSet, ARenameStoppedAtAnyStepShowsNoMixedSetAndIsFinishedByTheCleanUp) {
  // The mark: the source's .shp and the replaced .shp go first, the new .shp comes last.
  for (size_t done = 0;; ++done) {
    TempDir dir;
    write_set(dir.path(), "g", "g", {".dbf", ".shp", ".shx"});
    write_set(dir.path(), "h", "h", {".dbf", ".shp", ".shx", ".prj"});
    std::vector<std::string> steps;
    in_killed_writer([&] {
      host::win::WholeFileSet set(dir.path(), "h", kSet);
      set.MoveFrom("g");
      set.Prepare();
      host::win::FinishReadySet(set.TempFolder(), done);
      kill_here();
    });
    for (const auto& e : fs::directory_iterator(dir.path())) {
      if (!fs::exists(e.path() / ".ready")) continue;
      std::ifstream mark(e.path() / ".ready");
      for (std::string line; std::getline(mark, line);)
        if (line.rfind("put ", 0) == 0 || line.rfind("drop ", 0) == 0) steps.push_back(line);
    }
    if (done == 0) {
      ASSERT_GE(steps.size(), 3u);
      EXPECT_EQ(steps[0], "drop g.shp");
      EXPECT_EQ(steps[1], "drop h.shp");
      EXPECT_EQ(steps.back(), "put h.shp");
    }
    EXPECT_EQ(mixed(dir.path(), "g"), "") << done;
    EXPECT_EQ(mixed(dir.path(), "h"), "") << done;
    host::win::RemoveStaleTemporaries(dir.path());
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"h.dbf", "h.shp", "h.shx"})) << done;
    EXPECT_EQ(ReadFile(dir / "h.shp"), "g.shp") << done;
    if (steps.empty()) break;  // the writer finished: every step was taken
  }
}

TEST(WholeFileSet, AMarkTakenAgainKeepsWhatItPutAndTouchesOnlyItsSets) {
  TempDir dir;
  const fs::path temp = dir / ".h.partial-AbC123";
  fs::create_directories(temp);
  WriteFile(dir / "h.shp", "new");  // put before the kill
  WriteFile(temp / "h.dbf", "new");
  for (const char* name : {"g.shp", "g.txt", "gg.shp", "other.shp", "h.dbf"}) WriteFile(dir / name, "old");
  WriteFile(temp / ".ready",
            "ext .dbf\next .shp\nfrom g\ndrop g.shp\ndrop h.shp\ndrop g.txt\ndrop gg.shp\ndrop other.shp\n"
            "put h.dbf\nput h.shp\n");
  host::win::RemoveStaleTemporaries(dir.path());
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"g.txt", "gg.shp", "h.dbf", "h.shp", "other.shp"}));
  EXPECT_EQ(ReadFile(dir / "h.shp"), "new");
  EXPECT_EQ(ReadFile(dir / "h.dbf"), "new");
}
