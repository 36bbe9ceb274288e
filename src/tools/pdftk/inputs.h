// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which files a join reads and which it writes: the command line's paths as files of
// this machine, patterns expanded, and the output never among the inputs.

#include <filesystem>
#include <string>
#include <vector>

#include "tools/pdftk/arguments.h"

namespace pdftk {

struct Input {
  std::filesystem::path path;
  std::string shown;  // as the command line gave it (a pattern's folder and the file's name)
};

// A path of the command line on this machine: a Windows path through the host's drive
// map, a native one as it stands.
std::filesystem::path NativeOf(const std::string& path);

// The output file: where the path leads, or, when nothing is there, a file of the same
// name in another letter case, as the drive map finds one.
std::filesystem::path OutputOf(const std::string& path);

// Whether candidate is the output, however either is spelled: the same file through
// links, or the same folder and a name that differs only in letter case.
bool IsOutput(const std::filesystem::path& candidate, const std::filesystem::path& output);

// The files a pattern matches in its folder, in name order: not the output, no
// temporary file of a writer, no folder. A Failure when nothing matches.
std::vector<Input> Expand(const std::string& pattern, const std::filesystem::path& output);

// Every input of the request, in order; a named input that is the output, or that is
// no file, is a Failure.
std::vector<Input> InputsOf(const Request& request, const std::filesystem::path& output);

}  // namespace pdftk
