#include "mapbooks/output/modExportFunctions.h"

#include "host/carto/document.h"
#include "host/render/export.h"
#include "host/render/view_drawing.h"
#include "host/ui/boxes.h"
#include "host/vb/convert.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvaneGIS_IO.h"

namespace mapbooks::modExportFunctions {

namespace vb = host::vb;
namespace render = host::render;

namespace {
struct FormatClass {
  const char* code;
  std::string_view classId;
  size_t extensionLength;
};

const FormatClass kFormats[] = {
    {"JPG", render::clsid::ExportJPEG, 3}, {"BMP", render::clsid::ExportBMP, 3}, {"EMF", render::clsid::ExportEMF, 3},
    {"GIF", render::clsid::ExportGIF, 3},  {"PDF", render::clsid::ExportPDF, 3}, {"PNG", render::clsid::ExportPNG, 3},
    {"TIF", render::clsid::ExportTIFF, 3}, {"AI", render::clsid::ExportAI, 2},  {"SVG", render::clsid::ExportSVG, 3},
};
}  // namespace

void ExportActiveView2(int32_t& resolution, const std::string& format, const std::string& folder,
                       const std::string& name) {
  ErrorHandling::Guard("ExportActiveView2", "modExportFunctions", [&] {
    if (!State().Document) vb::raise(vb::err::ObjectNotSet);
    host::carto::ActiveView& view = State().Document->ActiveView();
    const FormatClass* kind = nullptr;
    for (const FormatClass& f : kFormats)
      if (format == f.code) kind = &f;
    if (!kind) {
      host::ui::MsgBox("Invalid Export Format: " + format);
      return;
    }
    std::unique_ptr<render::IExport> exporter = render::CreateExport(kind->classId);
    std::string filter = exporter->Filter();
    std::string extension = filter.substr(filter.size() - std::min(filter.size(), kind->extensionLength));
    std::string path = folder + (!folder.empty() && folder.back() == '\\' ? "" : "\\") + name + "." + extension;
    exporter->SetExportFileName(path);
    if (ZelvaneGIS_IO::fDoesFileExist(path)) ZelvaneGIS_IO::fDeleteFile(path);
    int16_t r = vb::CInt(double(resolution));
    exporter->SetResolution(r);
    host::carto::PixelRect frame = view.ExportFrame();
    int32_t width = vb::CLng((r / 96.0) * frame.right);
    int32_t height = vb::CLng((r / 96.0) * view.ExportFrame().bottom);
    host::geodata::Envelope bounds;
    bounds.PutCoords(0, 0, width, height);
    exporter->SetPixelBounds(bounds);
    long hdc = exporter->StartExporting();
    int32_t dpi = vb::CLng(exporter->Resolution());
    render::Output(view, hdc, dpi, host::carto::PixelRect{0, 0, width, height}, nullptr);
    exporter->FinishExporting();
    exporter->Cleanup();
  });
}

std::string strZeroFill(const std::string& text, int16_t width) {
  if (text == "" || text == "0" || text == " ") return text;
  int16_t d = vb::CInt(double(width) - double(text.size()));
  return d >= 0 ? std::string(size_t(d) + 1, '0') + text : text;
}

}  // namespace mapbooks::modExportFunctions
