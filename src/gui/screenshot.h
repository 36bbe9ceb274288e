// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A picture of the application's windows for checks: every visible top-level window,
// each with a title bar, side by side.

#include "gui/host_modules.h"
#include <QImage>
#include <QString>

namespace gui {

// The main window first, then the other windows in the order they were made.
QImage ComposeScreenshot();
// Writes it as PNG; false when the file cannot be written.
bool WriteScreenshot(const QString& path);

}  // namespace gui
