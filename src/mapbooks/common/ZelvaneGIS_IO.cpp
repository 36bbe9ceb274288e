// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/common/ZelvaneGIS_IO.h"

#include "host/ui/boxes.h"
#include "host/vb/text.h"
#include "host/win/fso.h"
#include "mapbooks/common/ErrorHandling.h"

namespace mapbooks::ZelvaneGIS_IO {

namespace {
constexpr const char* kModule = "ZelvaneGIS_IO";
}

bool fDoesFileExist(const std::string& path) {
  bool result = false;
  ErrorHandling::Guard("fDoesFileExist", kModule, [&] { result = host::win::FileSystemObject().FileExists(path); });
  return result;
}

bool fDoesDirectoryExist(const std::string& path) {
  bool result = false;
  ErrorHandling::Guard("fDoesDirectoryExist", kModule,
                       [&] { result = host::win::FileSystemObject().FolderExists(path); });
  return result;
}

void fDeleteFile(const std::string& path) {
  ErrorHandling::Guard("fDeleteFile", kModule, [&] {
    // One file: a name from a list may hold "*" or "?" and is still that one file.
    if (fDoesFileExist(path)) host::win::FileSystemObject().DeleteOneFile(path);
  });
}

void fCreateDirectory(const std::string& path) {
  ErrorHandling::Guard("fCreateDirectory", kModule, [&] { host::win::FileSystemObject().CreateFolder(path); });
}

bool fIsUsableName(const std::string& name, bool blankAllowed) {
  bool usable = name != ".." && (blankAllowed || !host::vb::Trim(name).empty());
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) usable = false;
  }
  if (!usable) {
    host::ui::MsgBox("\"" + name + "\" cannot be used as a name. A name may not be " +
                     (blankAllowed ? "" : "blank, ") +
                     "\"..\" or hold any of \\ / : * ? \" < > | or control characters.");
  }
  return usable;
}

}  // namespace mapbooks::ZelvaneGIS_IO
