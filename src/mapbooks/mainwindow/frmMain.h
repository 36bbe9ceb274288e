#pragma once
// The main window: a tabbed dialog beside the map, hosted in a modeless frame.

#include <memory>

#include "host/ui/controls.h"
#include "host/ui/form.h"

namespace mapbooks {

class frmMain : public host::ui::Form {
 public:
  frmMain();
  // The modeless frame that holds the window; made (and the window loaded) at the first call.
  host::ui::ModelessFrame& Frame();

 private:
  std::unique_ptr<host::ui::ModelessFrame> m_frame;
};

}  // namespace mapbooks
