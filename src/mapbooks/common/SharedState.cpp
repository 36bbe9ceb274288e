#include "mapbooks/common/SharedState.h"

#include "mapbooks/mainwindow/frmMain.h"

namespace mapbooks {

std::string SupportMailAddress() { return std::string("support@") + kContactDomain; }
std::string WebSiteAddress() { return std::string("http://www.") + kContactDomain; }

namespace {
std::unique_ptr<SharedState>& instance() {
  static std::unique_ptr<SharedState> s = std::make_unique<SharedState>();
  return s;
}
}  // namespace

SharedState& State() { return *instance(); }

void ResetState() { instance() = std::make_unique<SharedState>(); }

}  // namespace mapbooks
