// SPDX-License-Identifier: GPL-3.0-or-later
// zelvane-gui on a real X server (Xvfb): the window with its map, its layer list and
// its tools, drawn by the X platform rather than off screen.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <cstdlib>

#include "gui_program.h"

using namespace gui_program;

namespace {
bool on_path(const std::string& program) {
  return testing_support::RunCommand("command -v " + program + " >/dev/null 2>&1").status == 0;
}
}  // namespace

TEST_F(GuiProgram, AScreenshotUnderXvfbShowsTheMapTheLayerListAndTheTools) {
  if (!on_path("Xvfb") || !on_path("xvfb-run") || !on_path("xauth"))
    GTEST_SKIP() << "Xvfb is not installed (scripts/setup installs xvfb and xauth): no screenshot under X";
  const std::string document = town_document();
  const std::string shot = (dir / "xvfb-shot.png").string();
  std::string x_environment = environment;
  x_environment.replace(x_environment.find("QT_QPA_PLATFORM=offscreen"), 25, "QT_QPA_PLATFORM=xcb");
  Result r = testing_support::RunCommand("xvfb-run -a -s '-screen 0 1600x1000x24' env " + x_environment +
                                         ZELVANE_GUI_EXE + std::string(" ") + testing_support::ShellQuote(document) +
                                         " --screenshot " + testing_support::ShellQuote(shot));
  ASSERT_EQ(r.status, 0) << r.err;
  QImage image(QString::fromStdString(shot));
  ASSERT_FALSE(image.isNull());
  // The host's window alone (1100 wide) under its title bar.
  EXPECT_GE(image.width(), 20 + 1102 + 20);
  EXPECT_EQ(image.pixelColor(30, 25), QColor(0x2f, 0x4a, 0x6d));
  // The blocks on the canvas, right of the layer list.
  int blocks_left = image.width();
  for (int y = 150; y < 700; y += 2)
    for (int x = 21; x < 1120; ++x)
      if (image.pixelColor(x, y) == QColor(236, 228, 204)) {
        blocks_left = std::min(blocks_left, x);
        break;
      }
  EXPECT_LT(blocks_left, 1120);
  EXPECT_GT(blocks_left, 20 + 180);  // the list beside the view is at least 180 wide
}
