// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The host's printer. A print job is one page: StartPrinting gives a device context the
// size of the paper in printer pixels (see device.h), FinishPrinting sends the page.
//
// Kinds: a CUPS destination (each job rendered to PDF and handed to CUPS), a spool
// folder that keeps each job as a PDF file (job-0001.pdf, job-0002.pdf, ...), and an
// EMF printer that keeps each job as a metafile (job-0001.emf, ...).
//
// Which one is current: ZELVANE_PRINTER names it: "spool" for the spool folder, "emf"
// for the EMF printer, any other text a CUPS destination by name. Unset, the default
// CUPS destination; without one the host has no printer (a print server that cannot be
// reached, or one without a default printer, is an error that says which). The spool
// folder is C:\Printer unless ZELVANE_PRINTER_FOLDER names another.
//
// A PDF job whose page needs no transparency is sent without cairo's page-level
// transparency group, so that a print server's PDF-to-PostScript step keeps it vector.
//
// Printer failures carry the number 482 (kPrinterError) with the reason as description.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/geodata/geometry.h"

namespace host::win {
class WholeFile;
}  // namespace host::win

namespace host::render {

namespace detail {
class Target;
enum class Format;
}  // namespace detail
using win::WholeFile;

// The run-time error number of a printer failure ("Printer error").
inline constexpr int kPrinterError = 482;

// The title of the print jobs that follow: the document's name and, once the layout
// shows a page of a map book, that page's ("town.json – B2"). Every printer page is a
// job of its own with this title.
void SetJobDocument(const std::string& name);
void SetJobPage(const std::string& page);
std::string JobTitle();

class Printer {
 public:
  Printer();
  virtual ~Printer();
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;

  virtual std::string Name() const = 0;
  // Dots per inch.
  virtual double Resolution() const = 0;
  // The paper's width and height in inches, as it lies in the printer.
  virtual void QueryPaperSize(double& width, double& height) const = 0;
  // The part of the paper the printer prints on, in inches from the paper's top left
  // corner: XMin left, YMin top, XMax right, YMax bottom.
  virtual geodata::Envelope PrintableBounds() const;

  // Starts a job of one page of pixelBounds (printer pixels, (0, 0, width, height));
  // the window handle is not used. A job started before and never finished is
  // abandoned and sends nothing.
  long StartPrinting(const geodata::Envelope& pixelBounds, long hWnd);
  // Sends the page. Fails (host error) when no job was started or sending failed.
  void FinishPrinting();
  // Jobs finished by this printer object.
  int JobsSent() const { return jobs_sent_; }

 protected:
  // The format and the file a job is written to before it is sent.
  virtual detail::Format JobFormat() const;
  virtual std::filesystem::path JobFile() = 0;
  // How the job's file goes in place (host::win::ReplaceFlags).
  virtual unsigned JobFileFlags() const { return 0; }
  // The job's file is complete under path; send it.
  virtual void Deliver(const std::filesystem::path& path) = 0;
  // The job is in place or abandoned: whatever JobFile() held for it is let go.
  virtual void EndJob() {}
  // Whether a job's device context starts at the printable area's corner rather than
  // at the paper's (as metafile printers do).
  virtual bool OriginAtPrintableArea() const { return false; }

 private:
  void abandon();

  long hdc_ = 0;
  std::unique_ptr<detail::Target> target_;
  std::unique_ptr<WholeFile> file_;
  int jobs_sent_ = 0;
};

// The host's EMF printer interface: printers that take their pages as metafiles say so
// by having it.
class IEmfPrinter {
 public:
  virtual ~IEmfPrinter() = default;
};

bool IsEmfPrinter(const Printer& printer);

// A printer that keeps each job as a file in a folder.
class FolderPrinter : public Printer {
 public:
  // The folder from the settings: ZELVANE_PRINTER_FOLDER, else C:\Printer.
  FolderPrinter();
  ~FolderPrinter() override;

  std::string Name() const override;
  double Resolution() const override { return dpi_; }
  void QueryPaperSize(double& width, double& height) const override;
  geodata::Envelope PrintableBounds() const override;

  const std::filesystem::path& Folder() const { return folder_; }
  // A Windows path or a native one; created when the first job comes.
  void SetFolder(const std::string& folder);
  // Inches; Letter portrait (8.5 x 11) until set.
  void SetPaperSize(double width, double height);
  // Dots per inch; 300 until set.
  void SetResolution(double dpi);
  // Margins in inches that the printer cannot print on; none until set.
  void SetMargins(double left, double top, double right, double bottom);

  // The job files in the folder, in job order. Names that are no job's (a number too
  // large, a folder) are passed over.
  std::vector<std::filesystem::path> JobFiles() const;

 protected:
  // The next number, after the highest finished or claimed in the folder, claimed for
  // this job until it ends: ".job-0007.pdf.claim" is made only where no file of that
  // name is, and locked while the job lives, so that two hosts printing into one folder
  // never write one number. A claim whose writer died is removed by the next writer.
  std::filesystem::path JobFile() override;
  unsigned JobFileFlags() const override;
  void Deliver(const std::filesystem::path&) override {}
  void EndJob() override;
  virtual std::string Extension() const = 0;  // ".pdf"
  virtual std::string KindName() const = 0;

 private:
  std::filesystem::path folder_;
  std::filesystem::path claim_;
  int claim_fd_ = -1;  // holds the claim's lock
  double width_ = 8.5, height_ = 11;
  double left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
  double dpi_ = 300;
};

// Keeps each job as a PDF file.
class SpoolPrinter : public FolderPrinter {
 protected:
  std::string Extension() const override { return ".pdf"; }
  std::string KindName() const override { return "Spool folder"; }
};

// Keeps each job as an enhanced metafile. Its device contexts start at the corner of
// the printable area, so drawing at (0, 0) lands inside the margins.
class EmfPrinter : public FolderPrinter, public IEmfPrinter {
 protected:
  detail::Format JobFormat() const override;
  bool OriginAtPrintableArea() const override { return true; }
  std::string Extension() const override { return ".emf"; }
  std::string KindName() const override { return "EMF printer"; }
};

// A CUPS destination: each job is rendered to PDF and handed to CUPS with the paper it
// was drawn for. The paper is the user's own choice for the destination (lpoptions),
// else the printer's default media, else what CUPS gives as the default, else the first
// media loaded; the printable area is that media's, margins included.
class CupsPrinter : public Printer {
 public:
  // The destination of that name (an instance after a slash: "office/duplex"). Fails
  // (482) when the print server cannot be reached or knows no printer of that name.
  explicit CupsPrinter(const std::string& destination);
  // The default destination. Fails (482) when the print server cannot be reached or
  // has no default printer.
  static std::unique_ptr<CupsPrinter> Default();

  std::string Name() const override { return name_; }
  double Resolution() const override { return dpi_; }
  void QueryPaperSize(double& width, double& height) const override;
  geodata::Envelope PrintableBounds() const override;
  // The media the jobs ask for, by its PWG name ("iso_a4_210x297mm").
  const std::string& Media() const { return media_; }

 protected:
  std::filesystem::path JobFile() override;
  void Deliver(const std::filesystem::path& path) override;

 private:
  CupsPrinter() = default;
  void query();

  std::string name_;
  std::string instance_;
  std::string media_;
  double dpi_ = 300;
  double width_ = 8.5, height_ = 11;
  double left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
};

// The host's current printer (see the top of this file); made when first asked for.
// Fails (482) when the printer the settings name, or the default one, is not there;
// the next call asks again.
std::shared_ptr<Printer> CurrentPrinter();
// Puts a printer in place of the current one; null goes back to the settings.
void SetCurrentPrinter(std::shared_ptr<Printer> printer);

}  // namespace host::render
