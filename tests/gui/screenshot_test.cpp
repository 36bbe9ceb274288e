// SPDX-License-Identifier: GPL-3.0-or-later
// zelvane-gui run as a program, the way a check outside the code runs it: the map-book
// plug-in registered, a town's document opened, the command clicked, a screenshot.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include "gui_program.h"

using namespace gui_program;

TEST_F(GuiProgram, AScreenshotShowsTheHostAndTheCommandsWindow) {
  std::string document = town_document();
  std::string shot = (dir / "shot.png").string();
  Result r = run(ZELVANE_GUI_EXE, document + " --click ZelvaneGIS_ZelvaneMapbooks --screenshot " + shot);
  ASSERT_EQ(r.status, 0) << r.err;
  // Unattended, the first start's greeting took its OK by itself.
  EXPECT_NE(r.err.find("[message box, OK] To get started"), std::string::npos) << r.err;

  QImage image(QString::fromStdString(shot));
  ASSERT_FALSE(image.isNull());
  // The host's window (1100 wide) and the command's main window (489 wide) side by
  // side, each under a title bar, 20 pixels in and 24 apart.
  EXPECT_GE(image.width(), 20 + 1102 + 24 + 491 + 20);
  const QColor title_bar(0x2f, 0x4a, 0x6d);
  EXPECT_EQ(image.pixelColor(30, 25), title_bar);
  EXPECT_EQ(image.pixelColor(20 + 1102 + 24 + 10, 25), title_bar);
  // The map in the host's window: the blocks' colour somewhere on the canvas.
  bool blocks_seen = false;
  for (int y = 150; y < 600 && !blocks_seen; y += 3)
    for (int x = 40; x < 1100 && !blocks_seen; x += 3) blocks_seen = image.pixelColor(x, y) == QColor(236, 228, 204);
  EXPECT_TRUE(blocks_seen);
}

TEST_F(GuiProgram, AnUnknownCommandEndsWithAReason) {
  Result r = run(ZELVANE_GUI_EXE, "--click NoSuch_Command --screenshot " + (dir / "shot.png").string());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("zelvane-gui: unknown command NoSuch_Command"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "shot.png"));
}
