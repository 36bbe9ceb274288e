// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The hidden window that holds the command's picture.

#include "host/ui/controls.h"
#include "host/ui/form.h"

namespace mapbooks {

class frmResources : public host::ui::Form {
 public:
  frmResources() : Form("frmResources") {}
  host::ui::PictureBox Picture1{*this, "Picture1", nullptr};

 protected:
  void Design() override;
};

// The command's 16 x 16 icon as a BMP file's bytes: a map page of four tiles.
std::string CommandIconBmp();

}  // namespace mapbooks
