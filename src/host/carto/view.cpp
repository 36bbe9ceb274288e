// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/carto/view.h"

namespace host::carto {

namespace {
ActiveView::RefreshListener& Listener() {
  static ActiveView::RefreshListener listener;
  return listener;
}
}  // namespace

void ActiveView::SetRefreshListener(RefreshListener listener) { Listener() = std::move(listener); }

void ActiveView::Refresh() {
  ++refreshes_;
  if (Listener()) Listener()(*this, ViewDrawPhase::All, nullptr);
}

void ActiveView::PartialRefresh(ViewDrawPhase phase, const void*, const geodata::Envelope* within) {
  ++partial_refreshes_;
  last_phase_ = phase;
  if (Listener()) Listener()(*this, phase, within);
}

void ContentsView::Refresh(const void*) { ++refreshes_; }

geodata::Envelope FitToAspect(const geodata::Envelope& e, double width, double height) {
  if (e.IsEmpty() || !(width > 0) || !(height > 0)) return e;
  double w = e.Width(), h = e.Height();
  const double aspect = width / height;
  if (w <= 0 && h <= 0) return e;
  if (w >= h * aspect)
    h = w / aspect;
  else
    w = h * aspect;
  geodata::Point c = e.Center();
  return geodata::Envelope(c.X - w / 2, c.Y - h / 2, c.X + w / 2, c.Y + h / 2);
}

}  // namespace host::carto
