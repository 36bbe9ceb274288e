// SPDX-License-Identifier: GPL-3.0-or-later
// The Mapbooks and Grids tabs: mapbook files (copies of the config file) and grid
// shapefile sets in their folders.

#include <filesystem>

#include "host/ui/boxes.h"
#include "host/vb/text.h"
#include "host/win/drives.h"
#include "host/win/fso.h"
#include "host/win/whole_file.h"
#include "mapbooks/common/ConfigFile.h"
#include "mapbooks/common/ControlUtilities.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvaneGIS_IO.h"
#include "mapbooks/common/modTolmirex.h"
#include "mapbooks/gridwizard/frmSelectGridType.h"
#include "mapbooks/mainwindow/frmMain.h"

namespace mapbooks {

namespace vb = host::vb;
using ZelvaneGIS_IO::fDeleteFile;
using ZelvaneGIS_IO::fDoesFileExist;

namespace {
constexpr const char* kModule = "frmMain";
// The files a grid on disk may have; the shapefile writer makes the .cpg.
const std::vector<std::string> kGridSet = {".dbf", ".shp", ".shx", ".prj", ".cpg", ".sbn", ".sbx", ".lyr"};

void pointer(int p) { host::ui::Screen::Instance().SetMousePointer(p); }

// A handler whose failures go to the report and leave the hourglass, as the tabs' do.
template <typename Body>
void reported(const char* procedure, Body&& body) {
  ErrorHandling::Guard(procedure, kModule, body);
}

// Every member goes, or none: one that cannot go refuses the set before any is touched,
// and a kill part way leaves a set that the next start finishes removing.
void delete_set(const std::string& folder, const std::string& base) {
  host::win::WholeFileSet set(host::win::NativePath(folder), base, kGridSet, folder + "\\" + base);
  set.Commit();  // nothing put: every member is dropped
}

// A whole copy of source put at folder\fileName under that spelling: a file there whose
// name differs only in letter case is replaced too. A read-only one is refused and stays.
void put_copy(const std::string& source, const std::string& folder, const std::string& fileName) {
  host::win::CopyWholeFile(host::win::NativePath(source), host::win::NativePath(folder) / fileName,
                           folder + "\\" + fileName, host::win::kRefuseReadOnly | host::win::kOneSpelling);
}

// The spelling a file has on disk, as the host finds it.
std::string spelling_on_disk(const std::string& path) { return host::win::NativePath(path).filename().string(); }
}  // namespace

// ---------------------------------------------------------------- mapbooks

void frmMain::btnSaveMapbook_Click() {
  reported("btnSaveMapbook_Click", [&] {
    SharedState& s = State();
    pointer(host::ui::vbHourglass);
    SaveConfig();
    std::string name = host::ui::InputBox("Please name the new mapbook: ");
    if (vb::Trim(name).empty() || !ZelvaneGIS_IO::fIsUsableName(name, true)) return pointer(host::ui::vbDefault);
    std::string target = s.MapbooksFolder + "\\" + name + ".mbk";
    if (fDoesFileExist(target) &&
        host::ui::MsgBox("Mapbook named " + name + " already exists. Overwrite?", host::ui::vbYesNo) == host::ui::vbNo)
      return pointer(host::ui::vbDefault);
    // The old mapbook is replaced only once the new one is whole.
    put_copy(s.ConfigPath, s.MapbooksFolder, name + ".mbk");
    File2.Refresh();
    pointer(host::ui::vbDefault);
  });
}

void frmMain::btnLoadMapbook_Click() {
  reported("btnLoadMapbook_Click", [&] {
    SharedState& s = State();
    pointer(host::ui::vbHourglass);
    std::string selected = ControlUtilities::GetSelectedFile(File2);
    if (selected.empty()) {
      host::ui::MsgBox("Please select a mapbook from the list");
      return pointer(host::ui::vbDefault);
    }
    std::string name = vb::Replace(selected, ".mbk", "");
    // The config is replaced by a whole copy, so a failing copy leaves it as it was; a
    // locked one is not replaced at all.
    if (ConfigFile::RefusedAsLocked(s.ConfigPath)) return pointer(host::ui::vbDefault);
    host::win::CopyWholeFile(host::win::NativePath(s.MapbooksFolder + "\\" + selected),
                             host::win::NativePath(s.ConfigPath), s.ConfigPath, host::win::kRefuseReadOnly);
    txtCurMapbook.SetText(name);
    ReadConfig();
    InitMain();
    pointer(host::ui::vbDefault);
  });
}

void frmMain::btnDeleteMapbook_Click() {
  ErrorHandling::GuardWith(
      [&] {
        pointer(host::ui::vbHourglass);
        std::string selected = ControlUtilities::GetSelectedFile(File2);
        if (selected.empty()) {
          host::ui::MsgBox("Please select a mapbook from the list");
          return pointer(host::ui::vbDefault);
        }
        std::string path = State().MapbooksFolder + "\\" + selected;
        if (fDoesFileExist(path)) fDeleteFile(path);
        File2.Refresh();
        pointer(host::ui::vbDefault);
      },
      [](const vb::Error&) {
        pointer(host::ui::vbDefault);
        host::ui::MsgBox("Error deleting mapbook.");
      });
}

void frmMain::CopyMapbook(const char* procedure, const std::string& prompt, bool removeOriginal) {
  reported(procedure, [&] {
    const std::string& folder = State().MapbooksFolder;
    pointer(host::ui::vbHourglass);
    std::string selected = ControlUtilities::GetSelectedFile(File2);
    if (selected.empty()) {
      host::ui::MsgBox("Please select a mapbook from the list");
      return pointer(host::ui::vbDefault);
    }
    std::string name = host::ui::InputBox(prompt);
    if (!ZelvaneGIS_IO::fIsUsableName(name, true)) return pointer(host::ui::vbDefault);
    const std::string source = folder + "\\" + selected, target = folder + "\\" + name + ".mbk";
    // The host finds names without regard to case: "TOWN" may name the selected file
    // itself. A duplicate of it is that file; a rename may change its letter case.
    host::win::FileSystemObject fso;
    const bool same = fso.SameFile(source, target);
    if (same && (!removeOriginal || spelling_on_disk(source) == name + ".mbk")) return pointer(host::ui::vbDefault);
    if (!same && fDoesFileExist(target) &&
        host::ui::MsgBox("Mapbook: " + name + " already exists... overwrite?", host::ui::vbYesNo) == host::ui::vbNo)
      return pointer(host::ui::vbDefault);
    put_copy(source, folder, name + ".mbk");
    // The original goes only once its copy is whole, and never when it is the copy.
    if (removeOriginal && fDoesFileExist(source) && !fso.SameFile(source, target)) fDeleteFile(source);
    File2.Refresh();
    pointer(host::ui::vbDefault);
  });
}

void frmMain::btnDuplicateMapbook_Click() {
  CopyMapbook("btnDuplicateMapbook_Click", "Please enter a name for the duplicate mapbook", false);
}

void frmMain::btnRenameMapbook_Click() {
  CopyMapbook("btnRenameMapbook", "Please enter a new name for the mapbook", true);
}

// ---------------------------------------------------------------- grids

void frmMain::btnCreateNewGrid_Click() {
  reported("btnCreateNewGrid_Click", [&] {
    host::ui::ShowModalNew<frmSelectGridType>();
  });
}

void frmMain::btnLoadGrid_Click() {
  reported("btnLoadGrid_Click", [&] {
    SharedState& s = State();
    pointer(host::ui::vbHourglass);
    std::string selected = ControlUtilities::GetSelectedFile(File1);
    if (selected.empty()) {
      host::ui::MsgBox("Please select a grid from the list");
      return pointer(host::ui::vbDefault);
    }
    std::string path = s.GridsFolder + "\\" + selected;
    if (!fDoesFileExist(path)) return pointer(host::ui::vbDefault);
    std::string base = vb::Replace(vb::Replace(selected, ".shp", ""), ".lyr", "");
    // ".lyr" found at the first character or nowhere counts as a shapefile.
    size_t at = vb::LCase(selected).find(".lyr");
    if (at == std::string::npos || at == 0) {
      modTolmirex::fAddShapeFile(s.GridsFolder, base);
      modTolmirex::fMakeTransparentFillColor(base);
    } else {
      modTolmirex::fAddLayerFile(path);
    }
    cboMapLayers.AddItem(base);
    cboExcludeLayer.AddItem(selected);
    pointer(host::ui::vbDefault);
  });
}

void frmMain::btnDeleteGrid_Click() {
  ErrorHandling::GuardWith(
      [&] {
        pointer(host::ui::vbHourglass);
        std::string selected = ControlUtilities::GetSelectedFile(File1);
        if (selected.empty()) {
          host::ui::MsgBox("Please select a grid from the list");
          return pointer(host::ui::vbDefault);
        }
        delete_set(State().GridsFolder, vb::Replace(vb::Replace(selected, ".shp", ""), ".lyr", ""));
        File1.Refresh();
        pointer(host::ui::vbDefault);
      },
      [](const vb::Error&) {
        pointer(host::ui::vbDefault);
        host::ui::MsgBox("Error deleting grid.");
      });
}

void frmMain::CopyGrid(const char* procedure, const std::string& prompt, bool removeOriginal) {
  reported(procedure, [&] {
    const std::string& folder = State().GridsFolder;
    pointer(host::ui::vbHourglass);
    std::string selected = ControlUtilities::GetSelectedFile(File1);
    if (selected.empty()) {
      host::ui::MsgBox("Please select a grid from the list");
      return pointer(host::ui::vbDefault);
    }
    std::string base = vb::Replace(vb::Replace(selected, ".shp", ""), ".lyr", "");
    std::string name = host::ui::InputBox(prompt);
    // The empty answer is what Cancel gives.
    if (name.empty() || !ZelvaneGIS_IO::fIsUsableName(name, false)) return pointer(host::ui::vbDefault);
    host::win::FileSystemObject fso;
    const bool same = fso.SameFile(folder + "\\" + base + ".shp", folder + "\\" + name + ".shp");
    if (same && (!removeOriginal || spelling_on_disk(folder + "\\" + base + ".shp") == name + ".shp"))
      return pointer(host::ui::vbDefault);
    if (!same && fDoesFileExist(folder + "\\" + name + ".shp") &&
        host::ui::MsgBox("Grid: " + name + " already exists... overwrite?", host::ui::vbYesNo) == host::ui::vbNo)
      return pointer(host::ui::vbDefault);
    // The new set is made whole beside the old one and then put in its place; members
    // of an old set of that name that the copy lacks go with it, and a rename's source
    // goes in the same step. Without a source there is nothing to put in place of the old set.
    if (!fso.FileExists(folder + "\\" + base + ".shp"))
      vb::raise(vb::err::FileNotFound, "Grid not found: " + folder + "\\" + base + ".shp");
    host::win::WholeFileSet set(host::win::NativePath(folder), name, kGridSet, folder + "\\" + name);
    if (removeOriginal) {
      set.MoveFrom(base);
    } else {
      for (const std::string& ext : kGridSet) {
        const std::string member = folder + "\\" + base + ext;
        std::error_code ec;
        if (fso.FileExists(member)) std::filesystem::copy_file(host::win::NativePath(member), set.TempMember(ext), ec);
        if (ec) vb::raise(vb::err::PathFileAccessError, "Cannot copy '" + member + "': " + ec.message());
      }
    }
    set.Commit();
    File1.Refresh();
    pointer(host::ui::vbDefault);
  });
}

void frmMain::btnRename_Click() { CopyGrid("btnRename_Click", "Please enter a new name for the grid file", true); }

void frmMain::btnDuplicate_Click() {
  CopyGrid("btnDuplicate_Click", "Please enter a name for duplicate grid file", false);
}

}  // namespace mapbooks
