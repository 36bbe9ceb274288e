// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/common/SharedState.h"

#include "host/carto/layer.h"
#include "mapbooks/common/ZelvneGIS_ArcMap.h"

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

void FindActiveLayer() {
  SharedState& s = State();
  s.ActiveLayerFound = false;
  s.ActiveLayer = ZelvneGIS_ArcMap::GetLayerByName(s.Config[ActiveLayerName]);
  if (s.ActiveLayer) {
    s.ActiveLayerFound = true;
    s.ActiveLayerFeatureClass = s.ActiveLayer->MapFeatures();
  }
}

void ResetState() { instance() = std::make_unique<SharedState>(); }

}  // namespace mapbooks
