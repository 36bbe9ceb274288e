// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/carto/elements.h"

#include "host/carto/document.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/vb/error.h"

namespace host::carto {

void Element::SetGeometry(const geodata::Envelope& e) {
  if (e.IsEmpty()) vb::raise(vb::err::InvalidCall, "An element cannot be placed by an empty envelope");
  place_ = e;
}

void Element::SetGeometry(geodata::Point p) {
  place_ = p;
}

void Element::SetGeometry(const geodata::Geometry& g) {
  switch (g.Type()) {
    case geodata::GeometryType::Point: {
      auto parts = g.Parts();
      SetGeometry(parts.at(0).at(0));
      return;
    }
    case geodata::GeometryType::Polygon:
      if (!g.IsEmpty()) return SetGeometry(g.Extent());
      break;
    default: break;
  }
  vb::raise(vb::err::InvalidCall, "An element is placed by a point or an envelope");
}

std::optional<geodata::Point> Element::AnchorPoint() const {
  if (auto* p = std::get_if<geodata::Point>(&place_)) return *p;
  return std::nullopt;
}

geodata::Envelope Element::Bounds() const {
  if (auto* e = std::get_if<geodata::Envelope>(&place_)) return *e;
  if (auto* p = std::get_if<geodata::Point>(&place_)) return geodata::Envelope(p->X, p->Y, p->X, p->Y);
  return {};
}

geodata::Geometry Element::Geometry() const {
  if (auto* e = std::get_if<geodata::Envelope>(&place_)) return geodata::Geometry::FromEnvelope(*e);
  if (auto* p = std::get_if<geodata::Point>(&place_)) return geodata::Geometry::MakePoint(*p);
  return {};
}

geodata::Envelope LocatorRectangle::Extent() const {
  if (!frame_ || !frame_->Map()) return {};
  return frame_->Map()->Extent();
}

geodata::Envelope LocatorRectangle::ExtentIn(const carto::Map& shownOn) const {
  if (!frame_ || !frame_->Map()) return {};
  return EnvelopeInMap(frame_->Map()->Extent(), *frame_->Map(), shownOn);
}

void MapFrame::SetMap(std::shared_ptr<carto::Map> map) {
  map_ = std::move(map);
  if (map_ && Container() && Container()->Parent().IndexOfMap(*map_) < 0) Container()->Parent().AddMap(map_);
}

void MapFrame::SetExtentType(int code) {
  if (code < 0 || code > 2) vb::raise(vb::err::InvalidCall, "Not an extent type: " + std::to_string(code));
  extent_type_ = carto::ExtentType(code);
}

carto::LocatorRectangle& MapFrame::LocatorRectangle(int index) {
  if (index < 0 || index >= LocatorRectangleCount())
    vb::raise(vb::err::SubscriptOutOfRange, "The map frame has no locator rectangle " + std::to_string(index));
  return locators_[size_t(index)];
}

const carto::LocatorRectangle& MapFrame::LocatorRectangle(int index) const {
  return const_cast<MapFrame*>(this)->LocatorRectangle(index);
}

void MapFrame::RemoveLocatorRectangle(int index) {
  LocatorRectangle(index);
  locators_.erase(locators_.begin() + index);
}

geodata::Envelope MapFrame::MapBounds() const { return map_ ? map_->Extent() : geodata::Envelope(); }

}  // namespace host::carto
