// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/output/frmLoadDir.h"

#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/FormDesign.h"
#include "mapbooks/common/SharedState.h"

namespace mapbooks {

namespace {
constexpr const char* kModule = "frmLoadDir";
}

frmLoadDir::frmLoadDir() : Form("frmLoadDir") {
  Drive1.Change = [this] { Drive1_Change(); };
  Dir1.Change = [this] { Dir1_Change(); };
  // A folder the user opens but that cannot be opened is the folder list's failed
  // change: reported as such, and the window stays.
  Dir1.OpenFailed = [](const host::vb::Error& e) { ErrorHandling::Report("Dir1_Change", kModule, e); };
  btnOpen.Click = [this] { btnOpen_Click(); };
  btnCancel.Click = [this] { btnCancel_Click(); };
}

void frmLoadDir::Design() {
  SetCaption("ZelvaneMapbooks - Choose export directory");
  Move(0, 0, 6600, 4920);
  Drive1.Move(120, 120, 3000, 315);
  Dir1.Move(120, 540, 3000, 3240);
  File1.Move(3240, 120, 3120, 3660);
  Place(btnOpen, 3840, 3900, 1215, 375, "Select");
  Place(btnCancel, 5160, 3900, 1215, 375, "Cancel");
  btnCancel.SetCancel(true);
}

void frmLoadDir::Drive1_Change() {
  ErrorHandling::Guard("Drive1_Change", kModule, [&] { Dir1.SetPath(Drive1.Drive()); });
}

void frmLoadDir::Dir1_Change() {
  ErrorHandling::Guard("Dir1_Change", kModule, [&] { File1.SetPath(Dir1.Path()); });
}

void frmLoadDir::btnOpen_Click() {
  ErrorHandling::Guard("btnOpen_Click", kModule, [&] {
    State().ExportFolder = Dir1.Path();
    State().MainWindow->SetExportFolderText(Dir1.Path());
    Unload();
  });
}

void frmLoadDir::btnCancel_Click() {
  ErrorHandling::Guard("btnCancel_Click", kModule, [&] { Unload(); });
}

}  // namespace mapbooks
