// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The export folder chooser: a drive list, a folder list and a file list.

#include "host/ui/controls.h"
#include "host/ui/form.h"

namespace mapbooks {

class frmLoadDir : public host::ui::Form {
 public:
  frmLoadDir();

  host::ui::DriveListBox Drive1{*this, "Drive1", nullptr};
  host::ui::DirListBox Dir1{*this, "Dir1", nullptr};
  host::ui::FileListBox File1{*this, "File1", nullptr};
  host::ui::CommandButton btnOpen{*this, "btnOpen", nullptr};
  host::ui::CommandButton btnCancel{*this, "btnCancel", nullptr};

 protected:
  void Design() override;

 private:
  void Drive1_Change();
  void Dir1_Change();
  void btnOpen_Click();
  void btnCancel_Click();
};

}  // namespace mapbooks
