// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/output/modExportFunctions.h"

#include <cstring>

#include "host/carto/document.h"
#include "host/render/export.h"
#include "host/render/view_drawing.h"
#include "host/ui/boxes.h"
#include "host/vb/convert.h"
#include "host/win/fso.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvaneGIS_IO.h"

namespace mapbooks::modExportFunctions {

namespace vb = host::vb;
namespace render = host::render;


void ExportActiveView2(int32_t& resolution, const std::string& format, const std::string& folder,
                       const std::string& name) {
  ErrorHandling::Guard("ExportActiveView2", "modExportFunctions", [&] {
    if (!State().Document) vb::raise(vb::err::ObjectNotSet);
    host::carto::ActiveView& view = State().Document->ActiveView();
    std::optional<std::string_view> class_id = render::ExportClassOfFormat(format);
    if (!class_id) {
      host::ui::MsgBox("Invalid Export Format: " + format);
      return;
    }
    std::unique_ptr<render::IExport> exporter = render::CreateExport(*class_id);
    // The extension is the end of the filter text: two letters for AI, three for the others.
    std::string filter = exporter->Filter();
    size_t length = format == "AI" ? 2 : 3;
    std::string extension = filter.substr(filter.size() - std::min(filter.size(), length));
    std::string path = folder + (!folder.empty() && folder.back() == '\\' ? "" : "\\") + name + "." + extension;
    exporter->SetExportFileName(path);
    // The exporter writes the new page whole and only then puts it in the old one's
    // place, so the old page survives a failed or killed write. A page the user made
    // read-only is refused, as a delete of it would be.
    if (ZelvaneGIS_IO::fDoesFileExist(path) && host::win::FileSystemObject().IsReadOnly(path))
      vb::raise(vb::err::PermissionDenied);
    render::ExportView(view, *exporter, vb::CInt(double(resolution)));
  });
}

std::string strFileNamePart(const std::string& value) {
  std::string part = value;
  for (char& c : part) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::strchr("\\/:*?\"<>|", c)) c = '_';
  }
  return part;
}

std::string strZeroFill(const std::string& text, int16_t width) {
  if (text == "" || text == "0" || text == " ") return text;
  int16_t d = vb::CInt(double(width) - double(text.size()));
  return d >= 0 ? std::string(size_t(d) + 1, '0') + text : text;
}

}  // namespace mapbooks::modExportFunctions
