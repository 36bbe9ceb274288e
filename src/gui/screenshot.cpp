// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/screenshot.h"

#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace gui {

namespace {
constexpr int kMargin = 20;
constexpr int kGap = 24;
constexpr int kTitle = 26;

std::vector<QWidget*> visible_windows() {
  std::vector<QWidget*> windows;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible() || !w->isWindow()) continue;
    const Qt::WindowType type = w->windowType();
    if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::Desktop) continue;
    windows.push_back(w);
  }
  // Windows without an order of ours (message boxes) come last.
  auto order = [](QWidget* w) {
    QVariant v = w->property("zelvaneOrder");
    return v.isValid() ? v.toInt() : 1 << 30;
  };
  std::stable_sort(windows.begin(), windows.end(), [&](QWidget* a, QWidget* b) { return order(a) < order(b); });
  return windows;
}
}  // namespace

QImage ComposeScreenshot() {
  std::vector<std::pair<QString, QImage>> shots;
  for (QWidget* w : visible_windows()) shots.emplace_back(w->windowTitle(), w->grab().toImage());
  int width = kMargin, height = 0;
  for (const auto& [title, image] : shots) {
    const QSize s = image.deviceIndependentSize().toSize();
    width += s.width() + 2 + kGap;
    height = std::max(height, s.height() + kTitle + 2);
  }
  width = std::max(width - kGap + kMargin, 2 * kMargin + 1);
  height += 2 * kMargin;
  QImage out(width, height, QImage::Format_ARGB32_Premultiplied);
  out.fill(QColor(0xdf, 0xe3, 0xe8));
  QPainter p(&out);
  p.setRenderHint(QPainter::Antialiasing, false);
  QFont font = QApplication::font();
  font.setBold(true);
  p.setFont(font);
  int x = kMargin;
  for (const auto& [title, image] : shots) {
    const QSize s = image.deviceIndependentSize().toSize();
    const QRect frame(x, kMargin, s.width() + 2, s.height() + kTitle + 2);
    p.fillRect(frame.adjusted(3, 3, 3, 3), QColor(0, 0, 0, 60));  // shadow
    p.fillRect(frame, QColor(0x2f, 0x4a, 0x6d));
    p.setPen(Qt::white);
    p.drawText(QRect(x + 10, kMargin + 1, s.width() - 20, kTitle), Qt::AlignVCenter | Qt::AlignLeft, title);
    p.drawImage(QRect(QPoint(x + 1, kMargin + 1 + kTitle), s), image);
    x += frame.width() + kGap;
  }
  p.end();
  return out;
}

bool WriteScreenshot(const QString& path) { return ComposeScreenshot().save(path, "PNG"); }

}  // namespace gui
