// The Mapbooks and Grids tabs: mapbook files (copies of the config file) and grid
// shapefile sets in their folders.

#include "host/ui/boxes.h"
#include "host/vb/text.h"
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
const char* const kGridSet[] = {".dbf", ".shp", ".shx", ".prj", ".sbn", ".sbx", ".lyr"};

void pointer(int p) { host::ui::Screen::Instance().SetMousePointer(p); }

// A handler whose failures go to the report and leave the hourglass, as the tabs' do.
template <typename Body>
void reported(const char* procedure, Body&& body) {
  ErrorHandling::Guard(procedure, kModule, body);
}

void delete_set(const std::string& folder, const std::string& base) {
  for (const char* ext : kGridSet)
    if (fDoesFileExist(folder + "\\" + base + ext)) fDeleteFile(folder + "\\" + base + ext);
}
}  // namespace

// ---------------------------------------------------------------- mapbooks

void frmMain::btnSaveMapbook_Click() {
  reported("btnSaveMapbook_Click", [&] {
    SharedState& s = State();
    pointer(host::ui::vbHourglass);
    SaveConfig();
    std::string name = host::ui::InputBox("Please name the new mapbook: ");
    if (vb::Trim(name).empty()) return pointer(host::ui::vbDefault);
    std::string target = s.MapbooksFolder + "\\" + name + ".mbk";
    if (fDoesFileExist(target) &&
        host::ui::MsgBox("Mapbook named " + name + " already exists. Overwrite?", host::ui::vbYesNo) == host::ui::vbNo)
      return pointer(host::ui::vbDefault);
    if (fDoesFileExist(target)) fDeleteFile(target);
    modTolmirex::fCopyFile(s.ConfigPath, target);
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
    if (fDoesFileExist(s.ConfigPath)) fDeleteFile(s.ConfigPath);
    modTolmirex::fCopyFile(s.MapbooksFolder + "\\" + selected, s.ConfigPath);
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
    std::string target = folder + "\\" + name + ".mbk";
    // The selected mapbook itself would be deleted before its copy was made.
    if (name + ".mbk" == selected) return pointer(host::ui::vbDefault);
    if (fDoesFileExist(target) &&
        host::ui::MsgBox("Mapbook: " + name + " already exists... overwrite?", host::ui::vbYesNo) == host::ui::vbNo)
      return pointer(host::ui::vbDefault);
    if (fDoesFileExist(target)) fDeleteFile(target);
    modTolmirex::fCopyFile(folder + "\\" + selected, target);
    if (removeOriginal && fDoesFileExist(folder + "\\" + selected)) fDeleteFile(folder + "\\" + selected);
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
    // The selected grid's own files would be deleted before they were copied.
    if (name == base) return pointer(host::ui::vbDefault);
    if (fDoesFileExist(folder + "\\" + name + ".shp") &&
        host::ui::MsgBox("Grid: " + name + " already exists... overwrite?", host::ui::vbYesNo) == host::ui::vbNo)
      return pointer(host::ui::vbDefault);
    delete_set(folder, name);
    for (const char* ext : kGridSet) modTolmirex::fCopyFile(folder + "\\" + base + ext, folder + "\\" + name + ext);
    if (removeOriginal) delete_set(folder, base);
    File1.Refresh();
    pointer(host::ui::vbDefault);
  });
}

void frmMain::btnRename_Click() { CopyGrid("btnRename_Click", "Please enter a new name for the grid file", true); }

void frmMain::btnDuplicate_Click() {
  CopyGrid("btnDuplicate_Click", "Please enter a name for duplicate grid file", false);
}

}  // namespace mapbooks
