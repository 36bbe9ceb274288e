// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File and folder operations over the file system object. Each reports a failing
// call through the error report and returns.

#include <string>

namespace mapbooks::ZelvaneGIS_IO {

bool fDoesFileExist(const std::string& path);
bool fDoesDirectoryExist(const std::string& path);
// Deletes an existing file (a read-only one is refused and reported); a missing file is no error.
void fDeleteFile(const std::string& path);
// Creates the last level of the path; a missing parent or an existing folder is reported.
void fCreateDirectory(const std::string& path);

// Whether a name typed for a mapbook or a grid can name a file in its folder: no path
// (\ / :), nothing the shapefile writer refuses (* ? " < > | and control characters),
// not "..", and, unless blankAllowed, not blank. Otherwise shows the one message that
// says so and gives False.
bool fIsUsableName(const std::string& name, bool blankAllowed);

}  // namespace mapbooks::ZelvaneGIS_IO
