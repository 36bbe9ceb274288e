#include "mapbooks/common/modTolmirex.h"

#include "host/win/fso.h"
#include "mapbooks/common/ErrorHandling.h"

namespace mapbooks::modTolmirex {

namespace {
constexpr const char* kModule = "modTolmirex";
}

void fCopyFile(const std::string& source, const std::string& target) {
  ErrorHandling::Guard("fCopyFile", kModule, [&] {
    host::win::FileSystemObject fso;
    if (fso.FileExists(source) && !fso.FileExists(target)) fso.CopyFile(source, target, false);
  });
}

bool fCreateDirectory(const std::string& path) {
  bool result = false;
  ErrorHandling::Guard("fCreateDirectory", kModule, [&] {
    host::win::FileSystemObject().CreateFolder(path);
    result = true;
  });
  return result;
}

}  // namespace mapbooks::modTolmirex
