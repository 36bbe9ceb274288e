// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/common/ConfigFile.h"

#include <fstream>
#include <iterator>

#include "host/vb/error.h"
#include "host/vb/seqfile.h"
#include "host/vb/text.h"
#include "host/win/drives.h"
#include "host/win/fso.h"
#include "host/win/whole_file.h"
#include "mapbooks/common/ZelvaneGIS_IO.h"

namespace mapbooks::ConfigFile {

namespace vb = host::vb;

void ReadItems(ConfigRecord& record, const std::string& path) {
  vb::Close(1);
  vb::Open(path, vb::OpenMode::Input, 1);
  for (int i = 1; i <= kConfigItemCount; ++i) record.items[size_t(i)] = vb::Input(1);
  for (size_t i = 0; !vb::Eof(1); ++i) {
    record.DataFramesToZoom.resize(i + 2);
    record.DataFramesToZoom[i] = vb::Input(1);
  }
  vb::Close(1);
}

int32_t CountItems(const std::string& path) {
  int32_t count = 0;
  try {
    vb::Close(1);
    vb::Open(path, vb::OpenMode::Input, 1);
    while (!vb::Eof(1)) {
      vb::Input(1);
      ++count;
    }
    vb::Close(1);
  } catch (const vb::Error&) {
    vb::Close(1);
    count = -1;
  }
  return count;
}

void Write(const std::string& path, const std::vector<std::string>& values, bool append) {
  if (path.empty()) vb::raise(vb::err::PathNotFound, "There is no settings file: the program folder was not found");
  const std::filesystem::path native = host::win::NativePath(path);
  std::string bytes;
  std::error_code ec;
  if (append && std::filesystem::is_regular_file(native, ec)) {
    std::ifstream old(native, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(old), std::istreambuf_iterator<char>());
  }
  // A quote inside a value is doubled so that it reads back as written.
  for (const std::string& v : values) bytes += "\"" + vb::Replace(v, "\"", "\"\"") + "\"\r\n";
  vb::Close(1);
  host::win::WriteWholeFile(native, bytes, path, host::win::kRefuseReadOnly);
}

bool RefusedAsLocked(const std::string& path) {
  host::win::FileSystemObject fso;
  if (!fso.FileExists(path) || !fso.IsReadOnly(path)) return false;
  ZelvaneGIS_IO::fDeleteFile(path);
  return true;
}

bool IsNoValue(const std::string& item) {
  const std::string u = host::vb::UCase(item);
  return u == "NONE" || u == "NULL";
}

}  // namespace mapbooks::ConfigFile
