#pragma once
// General file and map operations.

#include <string>

namespace mapbooks::modTolmirex {

// Copies source to target only when the source exists and the target does not; in
// every other case nothing happens and nothing is reported.
void fCopyFile(const std::string& source, const std::string& target);
// Creates the last level of the path; true when it was created.
bool fCreateDirectory(const std::string& path);

}  // namespace mapbooks::modTolmirex
