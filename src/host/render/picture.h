// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A picture that a window shows and no document holds (a guide, an icon), drawn on a
// painter like every other drawing, so that its text is laid out under the painter's lock.

#include <functional>
#include <string>

#include "host/render/painter.h"

namespace host::render {

// The picture of width x height pixels that draw paints on white paper, as PNG bytes.
// Throws std::runtime_error when cairo cannot draw or encode it.
std::string PaintPng(int width, int height, const std::function<void(Painter&)>& draw);

}  // namespace host::render
