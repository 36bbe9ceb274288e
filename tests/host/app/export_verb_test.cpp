// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cairo.h>

#include <sstream>

#include "host/app/application.h"
#include "host/app/script.h"
#include "host/ui/user.h"
#include "support/temp_dir.h"

using namespace host;

TEST(ExportVerb, WritesTheActiveViewAsTheCommandsWriterDoes) {
  testing_support::TempDir dir;
  app::Application application;
  std::stringstream out;
  app::Script script(application, out);
  std::string folder = dir.path().string();
  script.Read("view layout\nexport PNG 96 \"" + folder + "\" page\nexport AI 50 \"" + folder + "/\" page\n");
  script.Play();
  cairo_surface_t* s = cairo_image_surface_create_from_png((dir / "page.png").c_str());
  EXPECT_EQ(cairo_image_surface_get_width(s), 816);
  EXPECT_EQ(cairo_image_surface_get_height(s), 1056);
  cairo_surface_destroy(s);
  EXPECT_TRUE(std::filesystem::exists(dir / "page.ai"));
  app::Script bad(application, out);
  try {
    bad.Read("\nexport png 96 x y\n");
    FAIL();
  } catch (const ui::ScriptError& e) {
    EXPECT_EQ(std::string(e.what()), "line 2: not an export format: png (JPG, PNG, GIF, AI, EMF, BMP, TIF, PDF, SVG)");
  }
}
