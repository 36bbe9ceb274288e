// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/carto/page_layout.h"

#include <algorithm>
#include <cmath>

#include "host/carto/document.h"
#include "host/carto/map.h"
#include "host/vb/error.h"

namespace host::carto {

void Page::PutSize(double width, double height) {
  if (!(width > 0) || !(height > 0) || !std::isfinite(width) || !std::isfinite(height))
    vb::raise(vb::err::InvalidCall, "A page must be wider and higher than 0 inches");
  width_ = width;
  height_ = height;
}

geodata::Envelope Page::PrintableBounds() const {
  if (printable_.IsEmpty()) return Bounds();
  return printable_;
}

PageLayout::~PageLayout() {
  // Elements held elsewhere outlive the layout; they must not point back at it.
  for (Entry& e : entries_) e.element->container_ = nullptr;
}

void PageLayout::AddElement(std::shared_ptr<Element> element, int zorder) {
  if (!element) vb::raise(vb::err::ObjectNotSet, "No element to add to the page layout");
  if (element->container_ == this) return;
  if (element->container_) vb::raise(vb::err::InvalidCall, "The element is on another page layout");
  element->container_ = this;
  entries_.push_back({element, zorder});
  Sort();
  if (auto* frame = dynamic_cast<MapFrame*>(element.get()); frame && frame->Map())
    if (doc_.IndexOfMap(*frame->Map()) < 0) doc_.AddMap(frame->Map());
}

void PageLayout::Sort() {
  std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.zorder < b.zorder; });
}

void PageLayout::ReleaseMapOf(const MapFrame& frame) {
  const auto& map = frame.Map();
  if (!map || doc_.MapCount() <= 1 || doc_.IndexOfMap(*map) < 0) return;
  for (const Entry& e : entries_) {
    auto* other = dynamic_cast<const MapFrame*>(e.element.get());
    if (other && other != &frame && other->Map() == map) return;
  }
  doc_.RemoveMapOnly(*map);
}

void PageLayout::DropFramesOf(const Map& map) {
  std::erase_if(entries_, [&](const Entry& e) {
    auto* frame = dynamic_cast<MapFrame*>(e.element.get());
    if (!frame || frame->Map().get() != &map) return false;
    frame->container_ = nullptr;
    return true;
  });
  walk_ = 0;
}

void PageLayout::DeleteElement(const Element& element) {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.element.get() == &element; });
  if (it == entries_.end()) return;
  std::shared_ptr<Element> keep = it->element;
  const size_t at = size_t(it - entries_.begin());
  entries_.erase(it);
  if (at < walk_) --walk_;  // the walk goes on with the element after it
  keep->container_ = nullptr;
  if (auto* frame = dynamic_cast<MapFrame*>(keep.get())) ReleaseMapOf(*frame);
}

void PageLayout::DeleteAllElements() {
  while (!entries_.empty()) DeleteElement(*entries_.back().element);
  walk_ = 0;
}

std::vector<std::shared_ptr<Element>> PageLayout::Elements() const {
  std::vector<std::shared_ptr<Element>> out;
  out.reserve(entries_.size());
  for (const Entry& e : entries_) out.push_back(e.element);
  return out;
}

int PageLayout::ZOrder(const Element& element) const {
  for (const Entry& e : entries_)
    if (e.element.get() == &element) return e.zorder;
  return -1;
}

std::shared_ptr<Element> PageLayout::Next() {
  if (walk_ >= entries_.size()) return nullptr;
  return entries_[walk_++].element;
}

std::shared_ptr<MapFrame> PageLayout::FindFrame(const Map& map) const {
  for (const Entry& e : entries_) {
    auto frame = std::dynamic_pointer_cast<MapFrame>(e.element);
    if (frame && frame->Map().get() == &map) return frame;
  }
  return nullptr;
}

std::vector<std::shared_ptr<MapFrame>> PageLayout::MapFrames() const {
  std::vector<std::shared_ptr<MapFrame>> out;
  for (const Entry& e : entries_)
    if (auto frame = std::dynamic_pointer_cast<MapFrame>(e.element)) out.push_back(frame);
  return out;
}

std::shared_ptr<Map> PageLayout::FocusMap() const { return doc_.FocusMap(); }

void PageLayout::SetFocusMap(const std::shared_ptr<Map>& map) {
  if (!map) vb::raise(vb::err::ObjectNotSet, "No map to focus");
  if (doc_.IndexOfMap(*map) < 0) vb::raise(vb::err::InvalidCall, "The map \"" + map->Name() + "\" is not in the document");
  doc_.focus_ = map;
}

geodata::Envelope PageLayout::Extent() const { return zoom_.IsEmpty() ? page_.Bounds() : zoom_; }

void PageLayout::SetExtent(const geodata::Envelope& e) {
  if (e.IsEmpty()) vb::raise(vb::err::InvalidCall, "The page layout cannot show an empty extent");
  zoom_ = FitToAspect(e, page_.Width(), page_.Height());
}

PixelRect PageLayout::ExportFrame() const {
  return {0, 0, int32_t(std::lround(page_.Width() * kViewDpi)), int32_t(std::lround(page_.Height() * kViewDpi))};
}

}  // namespace host::carto
