#include "mapbooks/common/ZelvaneGIS_IO.h"

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
    if (fDoesFileExist(path)) host::win::FileSystemObject().DeleteFile(path);
  });
}

void fCreateDirectory(const std::string& path) {
  ErrorHandling::Guard("fCreateDirectory", kModule, [&] { host::win::FileSystemObject().CreateFolder(path); });
}

}  // namespace mapbooks::ZelvaneGIS_IO
