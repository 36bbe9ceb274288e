// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/common/ControlUtilities.h"

#include "host/vb/text.h"
#include "mapbooks/common/ErrorHandling.h"

namespace mapbooks::ControlUtilities {

bool ComboContains(const std::string& text, const host::ui::ComboBox& combo) {
  bool result = false;
  ErrorHandling::IgnoreErrors([&] {
    for (long i = 0; i < combo.ListCount(); ++i)
      if (host::vb::SameText(combo.List(i), text)) {
        result = true;
        return;
      }
  });
  return result;
}

std::string GetSelectedFile(const host::ui::FileListBox& fileList) {
  std::string result;
  ErrorHandling::IgnoreErrors([&] {
    for (long i = 0; i < fileList.ListCount(); ++i)
      if (fileList.Selected(i)) {
        result = fileList.List(i);
        return;
      }
  });
  return result;
}

std::string NumberToLetter(int16_t n) {
  static const char* const letters[28] = {" ", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m",
                                          "n", "o", "p", "q", "r", "s", "t", "u", "v", "w", "x", "y", "z", ""};
  if (n < 0 || n > 27) return "";
  return letters[n];
}

std::string RowLetters(int32_t n) {
  std::string letters;
  for (; n > 0; n = (n - 1) / 26) letters.insert(letters.begin(), char('A' + (n - 1) % 26));
  return letters;
}

int32_t RowNumber(const std::string& letters) {
  if (letters.empty()) return 0;
  int64_t n = 0;
  for (char c : letters) {
    char upper = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    if (upper < 'A' || upper > 'Z') return 0;
    n = n * 26 + (upper - 'A' + 1);
    if (n > INT32_MAX) return 0;
  }
  return int32_t(n);
}

}  // namespace mapbooks::ControlUtilities
