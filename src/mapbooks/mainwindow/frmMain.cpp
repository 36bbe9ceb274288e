#include "mapbooks/mainwindow/frmMain.h"

#include "mapbooks/common/SharedState.h"

namespace mapbooks {

frmMain::frmMain() : Form("frmMain") {}

host::ui::ModelessFrame& frmMain::Frame() {
  if (!m_frame) {
    m_frame = std::make_unique<host::ui::ModelessFrame>();
    m_frame->Create(*this);
    m_frame->SetCaption(State().ProductName);
  }
  return *m_frame;
}

}  // namespace mapbooks
