// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/export.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

#include "host/render/detail/targets.h"
#include "host/render/device.h"
#include "host/render/whole_file.h"
#include "host/vb/error.h"
#include "host/win/drives.h"

namespace host::render {

namespace {

using detail::Format;

struct ClassInfo {
  std::string_view name;
  std::string_view classId;
  std::string_view filter;
  Format format;
};

const ClassInfo kClasses[] = {
    {"ExportJPEG", clsid::ExportJPEG, "JPEG (*.jpg)|*.jpg", Format::JPG},
    {"ExportBMP", clsid::ExportBMP, "BMP (*.bmp)|*.bmp", Format::BMP},
    {"ExportEMF", clsid::ExportEMF, "EMF (*.emf)|*.emf", Format::EMF},
    {"ExportGIF", clsid::ExportGIF, "GIF (*.gif)|*.gif", Format::GIF},
    {"ExportPDF", clsid::ExportPDF, "PDF (*.pdf)|*.pdf", Format::PDF},
    {"ExportPNG", clsid::ExportPNG, "PNG (*.png)|*.png", Format::PNG},
    {"ExportTIFF", clsid::ExportTIFF, "TIFF (*.tif)|*.tif", Format::TIF},
    {"ExportAI", clsid::ExportAI, "AI (*.ai)|*.ai", Format::AI},
    {"ExportSVG", clsid::ExportSVG, "SVG (*.svg)|*.svg", Format::SVG},
};

std::string bare_id(std::string_view id) {
  std::string out;
  for (char c : id)
    if (c != '{' && c != '}' && !std::isspace(static_cast<unsigned char>(c)))
      out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  return out;
}

class Exporter : public IExport {
 public:
  explicit Exporter(const ClassInfo& info) : info_(info) {}
  ~Exporter() override { abandon(); }

  std::string Name() const override { return std::string(info_.name); }
  std::string Filter() const override { return std::string(info_.filter); }
  std::string ExportFileName() const override { return file_name_; }
  void SetExportFileName(const std::string& path) override { file_name_ = path; }
  double Resolution() const override { return dpi_; }
  void SetResolution(double dpi) override { dpi_ = dpi; }
  geodata::Envelope PixelBounds() const override { return bounds_; }
  void SetPixelBounds(const geodata::Envelope& bounds) override { bounds_ = bounds; }

  long StartExporting() override {
    if (hdc_) fail(vb::err::InvalidCall, "it is being exported already (StartExporting came twice)");
    if (file_name_.empty()) vb::raise(vb::err::InvalidCall, Name() + ": no export file name is set");
    if (!std::isfinite(dpi_) || dpi_ <= 0)
      fail(vb::err::InvalidCall, "the resolution must be greater than 0 dots per inch (it is " + number(dpi_) + ")");
    if (bounds_.IsEmpty()) fail(vb::err::InvalidCall, "no pixel bounds are set");
    const double w = std::round(bounds_.Width()), h = std::round(bounds_.Height());
    if (!(w >= 1) || !(h >= 1))
      fail(vb::err::InvalidCall, "the pixel size must be at least 1 x 1 (it is " + number(bounds_.Width()) + " x " +
                                     number(bounds_.Height()) + ")");
    target_ = detail::MakeTarget(info_.format);
    if (target_->Kind() == DeviceKind::Raster) check_raster_size(w, h);

    file_ = std::make_unique<WholeFile>(win::NativePath(file_name_), file_name_);
    detail::PageSetup page{static_cast<int>(w), static_cast<int>(h), dpi_, file_->Target().stem().string()};
    try {
      hdc_ = OpenDevice(target_->Begin(file_->TempPath(), page, target_->Kind()));
    } catch (const std::runtime_error& e) {
      std::string reason = e.what();
      abandon();
      fail(vb::err::PathFileAccessError, reason);
    }
    return hdc_;
  }

  void FinishExporting() override {
    if (!hdc_) fail(vb::err::InvalidCall, "FinishExporting came without StartExporting");
    std::shared_ptr<DeviceContext> device = LookupDevice(hdc_);
    ReleaseDevice(hdc_);
    hdc_ = 0;
    try {
      std::string failure = device->Failure();
      device.reset();
      if (!failure.empty()) throw std::runtime_error(failure);
      target_->End();
      target_.reset();
      file_->Commit();
      file_.reset();
    } catch (const vb::Error&) {
      abandon();
      throw;
    } catch (const std::exception& e) {
      std::string reason = e.what();
      abandon();
      fail(vb::err::PathFileAccessError, reason);
    }
  }

  void Cleanup() override { abandon(); }

 private:
  static std::string number(double v) {
    if (std::isfinite(v) && v == std::round(v) && std::fabs(v) < 1e15) return std::to_string(static_cast<long long>(v));
    char buf[40];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
  }

  // A raster page is drawn whole in memory: limit its sides and its area, and say what
  // resolution the page would fit at.
  void check_raster_size(double w, double h) const {
    const bool too_wide = w > detail::kMaxRasterSide || h > detail::kMaxRasterSide;
    if (!too_wide && w * h <= detail::kMaxRasterPixels) return;
    double fit = std::min({detail::kMaxRasterSide / w, detail::kMaxRasterSide / h, std::sqrt(detail::kMaxRasterPixels / (w * h))});
    long highest = static_cast<long>(std::floor(dpi_ * fit));
    auto fits = [&](long dpi) {
      double fw = std::round(w * dpi / dpi_), fh = std::round(h * dpi / dpi_);
      return fw <= detail::kMaxRasterSide && fh <= detail::kMaxRasterSide && fw * fh <= detail::kMaxRasterPixels;
    };
    while (highest > 1 && !fits(highest)) --highest;
    std::string limit = too_wide ? "at most " + std::to_string(detail::kMaxRasterSide) + " pixels a side"
                                 : "at most " + number(detail::kMaxRasterPixels / 1e6) + " million pixels";
    fail(vb::err::InvalidCall, "the image would be " + number(w) + " x " + number(h) + " pixels; " + limit +
                                   " can be written. The highest resolution for this page is " +
                                   std::to_string(highest) + " dpi");
  }

  [[noreturn]] void fail(int number, const std::string& reason) const {
    vb::raise(number, "Cannot export '" + file_name_ + "': " + reason);
  }

  // Releases everything; nothing is left under the file name.
  void abandon() {
    if (hdc_) ReleaseDevice(hdc_);
    hdc_ = 0;
    if (target_) target_->Drop();
    target_.reset();
    file_.reset();
  }

  const ClassInfo& info_;
  std::string file_name_;
  double dpi_ = 96;
  geodata::Envelope bounds_;
  long hdc_ = 0;
  std::unique_ptr<detail::Target> target_;
  std::unique_ptr<WholeFile> file_;
};

}  // namespace

std::unique_ptr<IExport> CreateExport(std::string_view classId) {
  std::string wanted = bare_id(classId);
  for (const ClassInfo& c : kClasses)
    if (bare_id(c.classId) == wanted) return std::make_unique<Exporter>(c);
  vb::raise(429, "Cannot create an export object: no export class has the identifier '" + std::string(classId) + "'");
}

const std::vector<ExportClass>& ExportClasses() {
  static const std::vector<ExportClass> list = [] {
    std::vector<ExportClass> v;
    for (const ClassInfo& c : kClasses) v.push_back({c.name, c.classId});
    return v;
  }();
  return list;
}

PixelRect ExportFrame(double widthInches, double heightInches) {
  return PixelRect{0, 0, std::lrint(widthInches * 96.0), std::lrint(heightInches * 96.0)};
}

}  // namespace host::render
