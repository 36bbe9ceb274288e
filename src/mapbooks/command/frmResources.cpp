// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/command/frmResources.h"

#include <cstdint>

namespace mapbooks {

namespace {
void put16(std::string& s, uint16_t v) {
  s += char(v & 0xFF);
  s += char(v >> 8);
}
void put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
}
}  // namespace

std::string CommandIconBmp() {
  constexpr int size = 16;
  constexpr uint32_t row_bytes = size * 3;  // already a multiple of four
  constexpr uint32_t pixels = row_bytes * size;
  std::string bmp;
  bmp += "BM";
  put32(bmp, 54 + pixels);
  put32(bmp, 0);
  put32(bmp, 54);
  put32(bmp, 40);
  put32(bmp, size);
  put32(bmp, size);
  put16(bmp, 1);
  put16(bmp, 24);
  put32(bmp, 0);
  put32(bmp, pixels);
  put32(bmp, 2835);
  put32(bmp, 2835);
  put32(bmp, 0);
  put32(bmp, 0);
  // Rows bottom-up, pixels as blue, green, red: a dark frame, four tiles, one of them lit.
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      bool border = x == 1 || x == 14 || y == 1 || y == 14 || x == 7 || y == 7;
      bool inside = x > 1 && x < 14 && y > 1 && y < 14;
      bool lit = x > 7 && x < 14 && y > 1 && y < 7;
      uint8_t r = 255, g = 255, b = 255;
      if (inside && border) r = 40, g = 60, b = 110;
      else if (x >= 1 && x <= 14 && y >= 1 && y <= 14 && border) r = 40, g = 60, b = 110;
      else if (lit) r = 250, g = 190, b = 60;
      else if (inside) r = 200, g = 225, b = 245;
      bmp += char(b);
      bmp += char(g);
      bmp += char(r);
    }
  }
  return bmp;
}

void frmResources::Design() {
  // One picture for the program's life, so its handle stays the same at every load.
  static const host::ui::Picture picture = host::ui::MakePicture("", CommandIconBmp(), 16 * 15, 16 * 15);
  SetCaption("frmResources");
  Picture1.SetPicture(picture);
}

}  // namespace mapbooks
