// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/carto/document.h"

#include <algorithm>

#include "host/carto/elements.h"
#include "host/vb/error.h"

namespace host::carto {

Document::Document(Empty) : layout_(new carto::PageLayout(*this)) {}

Document::Document() : Document(Empty{}) {
  auto map = std::make_shared<carto::Map>("Layers");
  AddMap(map);
  auto frame = std::make_shared<MapFrame>(map);
  frame->SetGeometry(geodata::Envelope(0.5, 0.5, 8.0, 10.5));
  frame->SetBorder(SymbolBorder(SimpleLineSymbol(RgbColor(0, 0, 0), 1.0)));
  layout_->AddElement(frame);
  saved_ = Snapshot();
}

Document::~Document() {
  for (const auto& m : maps_) m->doc_ = nullptr;
}

std::string Document::Title() const { return path_.empty() ? "Untitled" : path_.filename().string(); }

std::shared_ptr<carto::Map> Document::Map(int index) const {
  if (index < 0 || index >= MapCount())
    vb::raise(vb::err::SubscriptOutOfRange, "The document has no map " + std::to_string(index));
  return maps_[size_t(index)];
}

int Document::IndexOfMap(const carto::Map& map) const {
  for (size_t i = 0; i < maps_.size(); ++i)
    if (maps_[i].get() == &map) return int(i);
  return -1;
}

void Document::AddMap(std::shared_ptr<carto::Map> map) {
  if (!map) vb::raise(vb::err::ObjectNotSet, "No map to add to the document");
  if (map->doc_ == this) return;
  if (map->doc_) vb::raise(vb::err::InvalidCall, "The map \"" + map->Name() + "\" belongs to another document");
  map->doc_ = this;
  maps_.push_back(map);
  if (!focus_) focus_ = map;
}

void Document::RemoveMapOnly(const carto::Map& map) {
  int i = IndexOfMap(map);
  if (i < 0) return;
  std::shared_ptr<carto::Map> keep = maps_[size_t(i)];
  maps_.erase(maps_.begin() + i);
  keep->doc_ = nullptr;
  if (focus_ == keep) focus_ = maps_.empty() ? nullptr : maps_.front();
}

void Document::DeleteMap(const carto::Map& map) {
  if (IndexOfMap(map) < 0) return;
  if (MapCount() <= 1) vb::raise(vb::err::InvalidCall, "A map document keeps at least one map");
  layout_->DropFramesOf(map);
  RemoveMapOnly(map);
}

carto::ActiveView& Document::ActiveView() const {
  if (layout_view_ || !focus_) return *layout_;
  return *focus_;
}

void Document::SetActiveView(carto::ActiveView& view) {
  if (&view == layout_.get()) {
    layout_view_ = true;
    return;
  }
  auto* map = dynamic_cast<carto::Map*>(&view);
  if (!map || IndexOfMap(*map) < 0)
    vb::raise(vb::err::InvalidCall, "The active view must be the page layout or a map of the document");
  focus_ = maps_[size_t(IndexOfMap(*map))];
  layout_view_ = false;
}

void Document::SetDataWindowSize(int width, int height) {
  if (width <= 0 || height <= 0) vb::raise(vb::err::InvalidCall, "The data window must have a size");
  window_w_ = width;
  window_h_ = height;
}

bool Document::Changed() const { return changed_ || Snapshot() != saved_; }

void Document::SetChanged(bool changed) {
  changed_ = changed;
  if (!changed) saved_ = Snapshot();
}

void Document::Save() {
  if (path_.empty()) vb::raise(vb::err::InvalidCall, "The document has no file yet: save it under a name");
  Save(path_.string());
}

}  // namespace host::carto
