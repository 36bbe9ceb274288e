// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/printer.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>

#include "host/render/detail/pdf_groups.h"
#include "host/render/detail/targets.h"
#include "host/render/device.h"
#include "host/render/whole_file.h"
#include "host/vb/error.h"
#include "host/win/drives.h"

namespace fs = std::filesystem;

namespace host::render {

namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

struct JobName {
  std::mutex m;
  std::string document, page;
};

JobName& job_name() {
  static JobName n;
  return n;
}

}  // namespace

void SetJobDocument(const std::string& name) {
  std::lock_guard lock(job_name().m);
  job_name().document = name;
}

void SetJobPage(const std::string& page) {
  std::lock_guard lock(job_name().m);
  job_name().page = page;
}

std::string JobTitle() {
  std::lock_guard lock(job_name().m);
  const JobName& n = job_name();
  if (n.document.empty()) return n.page.empty() ? "Untitled" : n.page;
  return n.page.empty() ? n.document : n.document + " \xE2\x80\x93 " + n.page;  // an en dash
}

// ---- Printer ---------------------------------------------------------------------

Printer::Printer() = default;

Printer::~Printer() { abandon(); }

geodata::Envelope Printer::PrintableBounds() const {
  double w = 0, h = 0;
  QueryPaperSize(w, h);
  return geodata::Envelope(0, 0, w, h);
}

detail::Format Printer::JobFormat() const { return detail::Format::PDF; }

void Printer::abandon() {
  if (hdc_) ReleaseDevice(hdc_);
  hdc_ = 0;
  if (target_) target_->Drop();
  target_.reset();
  file_.reset();
  EndJob();
}

long Printer::StartPrinting(const geodata::Envelope& pixelBounds, long /*hWnd*/) {
  abandon();
  const double w = std::round(pixelBounds.Width()), h = std::round(pixelBounds.Height());
  if (pixelBounds.IsEmpty() || !(w >= 1) || !(h >= 1))
    vb::raise(vb::err::InvalidCall, "Cannot print on " + Name() + ": the page has no size in printer pixels");
  fs::path file = JobFile();
  try {
    file_ = std::make_unique<WholeFile>(file, win::WindowsPath(file), JobFileFlags());
  } catch (...) {
    EndJob();
    throw;
  }
  target_ = detail::MakeTarget(JobFormat());
  try {
    detail::PageSetup setup{static_cast<int>(w), static_cast<int>(h), Resolution(), JobTitle()};
    if (OriginAtPrintableArea()) {
      setup.origin_x = PrintableBounds().XMin() * Resolution();
      setup.origin_y = PrintableBounds().YMin() * Resolution();
    }
    hdc_ = OpenDevice(target_->Begin(file_->TempPath(), setup, DeviceKind::Printer));
  } catch (const std::exception& e) {
    std::string why = e.what();
    abandon();
    vb::raise(kPrinterError, "Cannot start a print job on " + Name() + ": " + why);
  }
  return hdc_;
}

void Printer::FinishPrinting() {
  if (!hdc_) vb::raise(vb::err::InvalidCall, "FinishPrinting came without StartPrinting on " + Name());
  ReleaseDevice(hdc_);
  hdc_ = 0;
  try {
    target_->End();
    target_.reset();
    if (JobFormat() == detail::Format::PDF) detail::DropNeedlessPageGroups(file_->TempPath());
    file_->Commit();
    fs::path done = file_->Target();
    file_.reset();
    EndJob();
    Deliver(done);
    ++jobs_sent_;
  } catch (const vb::Error&) {
    abandon();
    throw;
  } catch (const std::exception& e) {
    std::string why = e.what();
    abandon();
    vb::raise(kPrinterError, "The print job on " + Name() + " failed: " + why);
  }
}

bool IsEmfPrinter(const Printer& printer) { return dynamic_cast<const IEmfPrinter*>(&printer) != nullptr; }

// ---- FolderPrinter ---------------------------------------------------------------

FolderPrinter::FolderPrinter() {
  std::string folder = env("ZELVANE_PRINTER_FOLDER");
  folder_ = win::NativePath(folder.empty() ? "C:\\Printer" : folder);
}

std::string FolderPrinter::Name() const { return KindName() + " (" + win::WindowsPath(folder_) + ")"; }

void FolderPrinter::QueryPaperSize(double& width, double& height) const {
  width = width_;
  height = height_;
}

geodata::Envelope FolderPrinter::PrintableBounds() const {
  return geodata::Envelope(left_, top_, width_ - right_, height_ - bottom_);
}

void FolderPrinter::SetFolder(const std::string& folder) { folder_ = win::NativePath(folder); }

void FolderPrinter::SetPaperSize(double width, double height) {
  if (!(width > 0) || !(height > 0) || !std::isfinite(width) || !std::isfinite(height))
    vb::raise(vb::err::InvalidCall, "The paper size must be greater than 0 x 0 inches");
  width_ = width;
  height_ = height;
}

void FolderPrinter::SetResolution(double dpi) {
  if (!(dpi > 0) || !std::isfinite(dpi)) vb::raise(vb::err::InvalidCall, "The printer resolution must be greater than 0");
  dpi_ = dpi;
}

void FolderPrinter::SetMargins(double left, double top, double right, double bottom) {
  if (left < 0 || top < 0 || right < 0 || bottom < 0 || left + right >= width_ || top + bottom >= height_)
    vb::raise(vb::err::InvalidCall, "The margins must leave part of the paper to print on");
  left_ = left;
  top_ = top;
  right_ = right;
  bottom_ = bottom;
}

namespace {

constexpr std::string_view kClaimSuffix = ".claim";

// The job number a folder entry's name carries: "job-0007.pdf" (a job) and
// ".job-0007.pdf.claim" (a job being written) are both 7. Nothing for any other name,
// nor for a number too large for a job.
std::optional<long> job_number(std::string_view name, std::string_view extension, bool& claim) {
  claim = name.size() > 1 && name[0] == '.' && name.ends_with(kClaimSuffix);
  if (claim) name = name.substr(1, name.size() - 1 - kClaimSuffix.size());
  if (!name.starts_with("job-") || !name.ends_with(extension)) return std::nullopt;
  std::string_view digits = name.substr(4, name.size() - 4 - extension.size());
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  long n = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return n;
}

std::string job_name(long number, const std::string& extension) {
  char name[40];
  std::snprintf(name, sizeof name, "job-%04ld", number);
  return name + extension;
}

// Removes a claim that no live writer holds; true when it is gone. The lock is taken
// before the name is checked, so that a claim made anew under that name is never taken
// for the old one.
bool remove_if_stale(const fs::path& claim) {
  int fd = ::open(claim.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return errno == ENOENT;
  bool removed = false;
  struct stat held {}, named {};
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && ::lstat(claim.c_str(), &named) == 0 &&
      held.st_dev == named.st_dev && held.st_ino == named.st_ino && S_ISREG(held.st_mode))
    removed = ::unlink(claim.c_str()) == 0;
  ::close(fd);
  return removed;
}

bool entry_exists(const fs::path& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0;
}

}  // namespace

FolderPrinter::~FolderPrinter() { EndJob(); }

std::vector<fs::path> FolderPrinter::JobFiles() const {
  std::vector<std::pair<long, fs::path>> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
    bool claim = false;
    std::optional<long> n = job_number(it->path().filename().string(), Extension(), claim);
    std::error_code type_ec;
    if (n && !claim && it->is_regular_file(type_ec)) found.emplace_back(*n, it->path());
  }
  std::sort(found.begin(), found.end());
  std::vector<fs::path> out;
  for (auto& f : found) out.push_back(std::move(f.second));
  return out;
}

unsigned FolderPrinter::JobFileFlags() const { return win::kNoReplace; }

void FolderPrinter::EndJob() {
  if (claim_fd_ < 0) return;
  // The claim goes before its lock: a claim found unlocked is a dead writer's.
  ::unlink(claim_.c_str());
  ::close(claim_fd_);
  claim_fd_ = -1;
  claim_.clear();
}

fs::path FolderPrinter::JobFile() {
  EndJob();
  std::error_code ec;
  fs::create_directories(folder_, ec);
  if (!fs::is_directory(folder_, ec))
    vb::raise(kPrinterError, "Cannot print on " + Name() + ": the folder cannot be made" +
                                         (ec ? " (" + ec.message() + ")" : ""));
  auto fail = [&](const std::string& why) { vb::raise(kPrinterError, "Cannot print on " + Name() + ": " + why); };
  // Numbers go on from the highest job in the folder, so earlier jobs are kept.
  long highest = 0;
  std::string highest_name;
  fs::directory_iterator it(folder_, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    bool claim = false;
    std::optional<long> n = job_number(name, Extension(), claim);
    if (!n || (claim && remove_if_stale(it->path()))) continue;
    if (*n >= highest) {
      highest = *n;
      highest_name = name;
    }
  }
  if (ec) fail("the folder cannot be read (" + ec.message() + ")");
  auto used_up = [&] {
    fail("the job numbers are used up (the folder holds " + highest_name +
         "); move the jobs in it elsewhere and print again");
  };
  if (highest == std::numeric_limits<long>::max()) used_up();

  for (long n = highest + 1, lost = 0;;) {
    const std::string name = job_name(n, Extension());
    const fs::path claim = folder_ / ("." + name + std::string(kClaimSuffix));
    int fd = ::open(claim.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) fail("no job's name can be claimed in it (" + std::string(std::strerror(errno)) + ")");
    if (fd >= 0) {
      // Between its making and its lock, another writer may take the claim for a dead
      // one's and remove it: it is made again.
      struct stat held {}, named {};
      const bool ours = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
                        ::lstat(claim.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
                        held.st_ino == named.st_ino;
      if (!ours) {
        ::close(fd);
        if (++lost < 8) continue;
      } else if (!entry_exists(folder_ / name)) {
        claim_ = claim;
        claim_fd_ = fd;
        return folder_ / name;
      } else {
        // A job of that number finished after the folder was read keeps its number.
        ::unlink(claim.c_str());
        ::close(fd);
      }
    }
    highest_name = name;
    if (n == std::numeric_limits<long>::max()) used_up();
    ++n;
    lost = 0;
  }
}

detail::Format EmfPrinter::JobFormat() const { return detail::Format::EMF; }

// ---- CupsPrinter -----------------------------------------------------------------

namespace {

std::string server_name() { return cupsServer(); }

// Fails (482) when the print server does not answer.
void check_server() {
  http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000, nullptr);
  if (http) {
    httpClose(http);
    return;
  }
  vb::raise(kPrinterError, "The print server " + server_name() + " cannot be reached");
}

// No destination came back: say whether the server or the printer is missing.
[[noreturn]] void no_destination(const std::string& name) {
  check_server();
  if (name.empty())
    vb::raise(kPrinterError, "There is no default printer on the print server " + server_name() +
                                 ": set ZELVANE_PRINTER to a printer's name, or to spool for the spool folder");
  vb::raise(kPrinterError, "There is no printer named '" + name + "' on the print server " + server_name());
}

// The printer's entry for the named media: its size within a millimetre of the name's
// (print servers give sizes in whole points), with margins when the printer offers the
// size both with and without (what CUPS takes by default). Not cupsGetDestMediaByName:
// for a name like "oe_letter_8.5x11in" it can answer with another size altogether.
bool media_entry(cups_dest_t* dest, cups_dinfo_t* info, const char* name, cups_size_t& out) {
  if (!name || !*name) return false;
  pwg_media_t* pwg = pwgMediaForPWG(name);
  if (!pwg) pwg = pwgMediaForLegacy(name);
  if (!pwg) pwg = pwgMediaForPPD(name);
  if (!pwg) return false;
  // Copied: a parsed name lives in a buffer that the calls below write over.
  const int width = pwg->width, length = pwg->length;
  constexpr int mm = 100;  // hundredths of a millimetre
  auto has_margins = [](const cups_size_t& s) { return s.left > 0 || s.right > 0 || s.top > 0 || s.bottom > 0; };
  bool found = false;
  const int count = cupsGetDestMediaCount(CUPS_HTTP_DEFAULT, dest, info, CUPS_MEDIA_FLAGS_DEFAULT);
  for (int i = 0; i < count; ++i) {
    cups_size_t s{};
    if (!cupsGetDestMediaByIndex(CUPS_HTTP_DEFAULT, dest, info, i, CUPS_MEDIA_FLAGS_DEFAULT, &s)) continue;
    if (std::abs(s.width - width) > mm || std::abs(s.length - length) > mm) continue;
    if (!found || (has_margins(s) && !has_margins(out))) out = s;
    found = true;
  }
  return found;
}

}  // namespace

CupsPrinter::CupsPrinter(const std::string& destination) {
  size_t slash = destination.find('/');
  name_ = destination.substr(0, slash);
  if (slash != std::string::npos) instance_ = destination.substr(slash + 1);
  query();
}

std::unique_ptr<CupsPrinter> CupsPrinter::Default() {
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
  if (!dest) no_destination("");
  std::unique_ptr<CupsPrinter> p(new CupsPrinter());
  p->name_ = dest->name;
  if (dest->instance) p->instance_ = dest->instance;
  cupsFreeDests(1, dest);
  p->query();
  return p;
}

void CupsPrinter::query() {
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name_.c_str(), instance_.empty() ? nullptr : instance_.c_str());
  if (!dest) no_destination(name_);
  std::unique_ptr<cups_dest_t, void (*)(cups_dest_t*)> dest_owner(dest, [](cups_dest_t* d) { cupsFreeDests(1, d); });
  cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest);
  if (!info) {
    check_server();
    vb::raise(kPrinterError, "The printer '" + name_ + "' does not say what paper it prints on: " + cupsLastErrorString());
  }
  std::unique_ptr<cups_dinfo_t, void (*)(cups_dinfo_t*)> info_owner(info, cupsFreeDestInfo);

  cups_size_t size{};
  std::string media;
  auto by_name = [&](const char* name) {
    if (!media_entry(dest, info, name, size)) return false;
    media = name;
    return true;
  };
  auto first_value = [](ipp_attribute_t* attr) { return attr ? ippGetString(attr, 0, nullptr) : nullptr; };
  // The user's choice for the destination, then the printer's default, then what CUPS
  // takes as the default, then what is loaded.
  bool found = by_name(cupsGetOption("media", dest->num_options, dest->options)) ||
               by_name(first_value(cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, "media")));
  if (!found && cupsGetDestMediaDefault(CUPS_HTTP_DEFAULT, dest, info, CUPS_MEDIA_FLAGS_DEFAULT, &size)) {
    pwg_media_t* pwg = pwgMediaForSize(size.width, size.length);
    std::string named = pwg && pwg->pwg ? pwg->pwg : "";  // copied, as in media_entry
    found = by_name(named.c_str()) || size.width > 0;
  }
  if (!found) found = by_name(first_value(cupsFindDestReady(CUPS_HTTP_DEFAULT, dest, info, "media")));
  if (!found || !(size.width > 0) || !(size.length > 0) || size.left + size.right >= size.width ||
      size.top + size.bottom >= size.length)
    vb::raise(kPrinterError, "The printer '" + name_ + "' reports no paper to print on");

  constexpr double per_inch = 2540.0;  // hundredths of a millimetre
  width_ = size.width / per_inch;
  height_ = size.length / per_inch;
  left_ = size.left / per_inch;
  right_ = size.right / per_inch;
  top_ = size.top / per_inch;
  bottom_ = size.bottom / per_inch;
  media_ = media;

  if (ipp_attribute_t* res = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, "printer-resolution")) {
    int y = 0;
    ipp_res_t units = IPP_RES_PER_INCH;
    int x = ippGetResolution(res, 0, &y, &units);
    if (x > 0) dpi_ = units == IPP_RES_PER_CM ? x * 2.54 : x;
  }
}

void CupsPrinter::QueryPaperSize(double& width, double& height) const {
  width = width_;
  height = height_;
}

geodata::Envelope CupsPrinter::PrintableBounds() const {
  return geodata::Envelope(left_, top_, width_ - right_, height_ - bottom_);
}

fs::path CupsPrinter::JobFile() {
  std::error_code ec;
  fs::path dir = fs::temp_directory_path(ec);
  if (ec) dir = "/tmp";
  return dir / ("zelvane-print-" + std::to_string(getpid()) + "-" + std::to_string(JobsSent() + 1) + ".pdf");
}

void CupsPrinter::Deliver(const fs::path& path) {
  std::string dest = instance_.empty() ? name_ : name_ + "/" + instance_;
  // The job asks for the paper it was drawn for, so CUPS neither scales nor crops it.
  cups_option_t* options = nullptr;
  int count = media_.empty() ? 0 : cupsAddOption("media", media_.c_str(), 0, &options);
  int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, dest.c_str(), path.c_str(), JobTitle().c_str(), count, options);
  std::string why = job ? "" : cupsLastErrorString();
  cupsFreeOptions(count, options);
  std::error_code ec;
  fs::remove(path, ec);
  if (!job) {
    check_server();
    vb::raise(kPrinterError, "The printer '" + dest + "' did not take the job: " + why);
  }
}

// ---- the current printer ---------------------------------------------------------

namespace {

std::mutex& current_mutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<Printer>& current() {
  static std::shared_ptr<Printer> p;
  return p;
}

std::shared_ptr<Printer> from_settings() {
  std::string choice = env("ZELVANE_PRINTER");
  if (choice == "spool") return std::make_shared<SpoolPrinter>();
  if (choice == "emf") return std::make_shared<EmfPrinter>();
  if (!choice.empty()) return std::make_shared<CupsPrinter>(choice);
  // The spool folder is a printer only when chosen: without a CUPS printer, nothing prints.
  return std::shared_ptr<Printer>(CupsPrinter::Default());
}

}  // namespace

std::shared_ptr<Printer> CurrentPrinter() {
  std::lock_guard lock(current_mutex());
  if (!current()) current() = from_settings();
  return current();
}

void SetCurrentPrinter(std::shared_ptr<Printer> printer) {
  std::lock_guard lock(current_mutex());
  current() = std::move(printer);
}

}  // namespace host::render
