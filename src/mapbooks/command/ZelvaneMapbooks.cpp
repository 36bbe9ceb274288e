// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/command/ZelvaneMapbooks.h"

#include "host/app/application.h"
#include "host/ui/boxes.h"
#include "host/ui/form.h"
#include "host/vb/convert.h"
#include "host/vb/seqfile.h"
#include "host/vb/text.h"
#include "host/win/drives.h"
#include "host/win/whole_file.h"
#include "mapbooks/command/frmResources.h"
#include "mapbooks/common/ConfigFile.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvaneGIS_IO.h"
#include "mapbooks/mainwindow/frmMain.h"

namespace mapbooks {

namespace vb = host::vb;
using ErrorHandling::Guard;

namespace {
constexpr const char* kModule = "ZelvaneMapbooks";
int g_instances = 0;

// A property getter with a handler of its own: a failure shows its message and the
// getter returns its default.
template <typename T, typename Body>
T property(const char* failure, Body&& body) {
  T result{};
  ErrorHandling::GuardWith([&] { result = body(); }, [&](const vb::Error&) { host::ui::MsgBox(failure); });
  return result;
}

frmResources& resources() {
  static frmResources form;
  return form;
}
}  // namespace

ZelvaneMapbooks::ZelvaneMapbooks() { ++g_instances; }
ZelvaneMapbooks::~ZelvaneMapbooks() { --g_instances; }
int ZelvaneMapbooks::Instances() { return g_instances; }

bool ZelvaneMapbooks::Enabled() { return property<bool>("Error: ICommand_Enabled()", [] { return true; }); }
bool ZelvaneMapbooks::Checked() { return property<bool>("Error: ICommand_Checked", [] { return false; }); }
std::string ZelvaneMapbooks::Name() {
  return property<std::string>("Error: ICommand_Name()", [] { return std::string("ZelvaneGIS") + "_" + "ZelvaneMapbooks"; });
}
std::string ZelvaneMapbooks::Caption() {
  return property<std::string>("Error: ICommand_Caption()", [] { return std::string("ZelvaneMapbooks"); });
}
std::string ZelvaneMapbooks::Tooltip() {
  return property<std::string>("Error: ICommand_Tooltip()", [] { return std::string("ZelvaneMapbooks"); });
}
std::string ZelvaneMapbooks::Message() {
  return property<std::string>("Error: ICommand_Message()",
                               [] { return std::string("ZelvaneGIS") + " - " + WebSiteAddress(); });
}
std::string ZelvaneMapbooks::HelpFile() {
  return property<std::string>("Error: ICommand_HelpFile()", [] { return std::string(); });
}
long ZelvaneMapbooks::HelpContextID() { return property<long>("Error: ICommand_HelpContextID()", [] { return 0L; }); }
long ZelvaneMapbooks::Bitmap() {
  resources().Load();
  return resources().Picture1.GetPicture().Handle;
}
std::string ZelvaneMapbooks::Category() {
  return property<std::string>("Error: ICommand_Category()", [] { return std::string("ZelvaneGIS"); });
}

int16_t fFindProgramFolder(const std::string& company, const std::string& product, const std::string& configName,
                           const std::string& subFolder) {
  SharedState& s = State();
  std::string letter;
  for (char c = 'A'; c <= 'Z'; ++c) {
    if (ZelvaneGIS_IO::fDoesDirectoryExist(std::string(1, c) + ":\\Program Files\\")) {
      letter = std::string(1, c);
      break;
    }
  }
  if (letter.empty()) {
    host::ui::MsgBox("Sorry, " + s.ProductName + " can't find your local Program Files directory. Please email " +
                     SupportMailAddress() + ". Thanks!");
    return -1;
  }
  std::string path = vb::UCase(letter) + ":\\Program Files\\" + company + "\\";
  if (!ZelvaneGIS_IO::fDoesDirectoryExist(path)) ZelvaneGIS_IO::fCreateDirectory(path);
  if (!vb::SameText(subFolder, "")) {
    path += subFolder + "\\";
    if (!ZelvaneGIS_IO::fDoesDirectoryExist(path)) ZelvaneGIS_IO::fCreateDirectory(path);
  }
  path += product + "\\";
  if (!ZelvaneGIS_IO::fDoesDirectoryExist(path)) ZelvaneGIS_IO::fCreateDirectory(path);
  s.ProgramFolder = path;
  if (!configName.empty()) {
    std::string file = path + configName;
    if (!ZelvaneGIS_IO::fDoesFileExist(file)) {
      vb::Close(1);
      vb::Open(file, vb::OpenMode::Append, 1);
      vb::Close(1);
    }
    s.ConfigPath = file;
  }
  return 1;
}

int32_t fCountFileItems(const std::string& path) { return ConfigFile::CountItems(path); }

void ZelvaneMapbooks::OnCreate(host::app::Application& hook) {
  Guard("ICommand_OnCreate", kModule, [&] {
    SharedState& s = State();
    m_pApp = &hook;
    s.MainWindow = std::make_unique<frmMain>();
    s.CompanyName = "ZelvaneGIS";
    s.ProductName = "ZelvaneMapbooks";
    s.VersionText = "v2.28";
    fFindProgramFolder("ZelvaneGIS", "ZelvaneMapbooks", "config", "");
    // Without a program folder the subfolder paths are bare names; making them would
    // litter whatever the current folder is.
    auto ensure = [&](const std::string& folder) {
      if (!s.ProgramFolder.empty() && !ZelvaneGIS_IO::fDoesDirectoryExist(folder))
        ZelvaneGIS_IO::fCreateDirectory(folder);
      // What a write killed part way left there goes (or, when whole, is put in place).
      if (!s.ProgramFolder.empty()) host::win::RemoveStaleTemporaries(host::win::NativePath(folder));
    };
    if (!s.ProgramFolder.empty()) host::win::RemoveStaleTemporaries(host::win::NativePath(s.ProgramFolder));
    s.BinFolder = s.ProgramFolder + "Bin";
    ensure(s.BinFolder);
    s.GridsFolder = s.ProgramFolder + "Grids";
    ensure(s.GridsFolder);
    s.ExportFolder = s.ProgramFolder + "Export";
    ensure(s.ExportFolder);
    s.MapbooksFolder = s.ProgramFolder + "Mapbooks";
    ensure(s.MapbooksFolder);
  });
}

void ZelvaneMapbooks::OnClick() {
  Guard("ICommand_OnClick", kModule, [&] {
    SharedState& s = State();
    s.NullMarker = "NULL";
    int32_t n = fCountFileItems(s.ConfigPath);
    if (n < 44) {
      std::vector<std::string> defaults{s.Config[BatchCommand], s.GridsFolder, s.ExportFolder};
      defaults.resize(44, s.NullMarker);
      ConfigFile::Write(s.ConfigPath, defaults, true);
      s.ConfigCreated = true;
    }
    // While the window is loaded its controls hold the settings in use: reading the file
    // again would give the record values the window no longer shows.
    auto* window = dynamic_cast<host::ui::Form*>(s.MainWindow.get());
    const bool open = window && window->IsLoaded();
    if (!open) ConfigFile::ReadItems(s.Config, s.ConfigPath);
    if (!s.AppRef) s.AppRef = std::make_unique<host::app::AppRef>();
    s.Application = &s.AppRef->GetApplication();
    s.Document = &s.Application->GetDocument();
    FindActiveLayer();
    ErrorHandling::IgnoreErrors([&] {
      s.MainWindow->Frame().SetVisible(true);
      if (open) window->ZOrder();
    });
  });
}

}  // namespace mapbooks
