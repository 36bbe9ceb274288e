// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Placing the controls of a window's design.

#include <string>

namespace mapbooks {

// Places a control (in twips) and gives it its caption and tooltip when they are given.
template <typename C>
void Place(C& c, long left, long top, long width, long height, const std::string& caption = "",
           const std::string& tip = "") {
  c.Move(left, top, width, height);
  if constexpr (requires { c.SetCaption(std::string()); })
    if (!caption.empty()) c.SetCaption(caption);
  if (!tip.empty()) c.SetToolTipText(tip);
}

}  // namespace mapbooks
