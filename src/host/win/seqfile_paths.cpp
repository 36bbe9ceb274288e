// SPDX-License-Identifier: GPL-3.0-or-later
// Sequential files take Windows paths; the drive map is what translates them.

#include "host/vb/seqfile.h"
#include "host/win/drives.h"

namespace host::win {

namespace {
std::filesystem::path native_path(std::string_view path) { return NativePath(path); }
[[maybe_unused]] const bool kInstalled = (vb::SetPathResolver(&native_path), true);
}  // namespace

}  // namespace host::win
