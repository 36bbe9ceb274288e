// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The exporters and the printer write their files whole; the helper lives with the
// other file operations.

#include "host/win/whole_file.h"

namespace host::render {
using win::WholeFile;
}  // namespace host::render
