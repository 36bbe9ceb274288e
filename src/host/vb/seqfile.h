// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sequential text files by file number, as the command uses them: open for input,
// output or append; Write # puts one double-quoted value and CR LF; Input # reads
// the next value; EOF tells whether anything is left. Paths are Windows paths.

#include <filesystem>
#include <string>
#include <string_view>

namespace host::vb {

enum class OpenMode { Input, Output, Append };

// Turns the paths given to Open into native ones. The file layer, which knows the
// drive letters, installs its translation; until then a path is taken as it is.
using PathResolver = std::filesystem::path (*)(std::string_view);
void SetPathResolver(PathResolver resolver);

void Open(std::string_view path, OpenMode mode, int fileNumber);
// Closing a slot that is not open is no error.
void Close(int fileNumber);
void CloseAll();
bool IsOpen(int fileNumber);

// Write #n, value: the value between double quotes, then CR LF. Nothing is escaped.
void WriteQuoted(int fileNumber, std::string_view value);
// Print #n, text: the text as it stands, then CR LF.
void PrintLine(int fileNumber, std::string_view text);

// Input #n, v: skips leading blanks; a quoted value without its quotes (commas inside
// stay, and two quotes inside stand for one); otherwise up to the next comma or line end, trailing blanks dropped. Reading
// at the end of the file fails with Input past end of file (62).
std::string Input(int fileNumber);
bool Eof(int fileNumber);

}  // namespace host::vb
