#include "mapbooks/common/ConfigFile.h"

#include "host/vb/seqfile.h"

namespace mapbooks::ConfigFile {

void ReadItems(ConfigRecord& record, const std::string& path) {
  namespace vb = host::vb;
  vb::Close(1);
  vb::Open(path, vb::OpenMode::Input, 1);
  for (int i = 1; i <= kConfigItemCount; ++i) record.items[size_t(i)] = vb::Input(1);
  for (size_t i = 0; !vb::Eof(1); ++i) {
    record.DataFramesToZoom.resize(i + 2);
    record.DataFramesToZoom[i] = vb::Input(1);
  }
  vb::Close(1);
}

}  // namespace mapbooks::ConfigFile
