// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text between the model (UTF-8 std::string) and Qt.

#include "gui/host_modules.h"
#include <QString>

#include <string>

namespace gui {

inline QString ToQt(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
inline std::string ToStd(const QString& s) { return s.toStdString(); }
// For text shown to be read (labels, boxes): the classic line breaks as plain ones.
inline QString ToQtLines(const std::string& s) {
  QString q = ToQt(s);
  q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  q.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return q;
}

}  // namespace gui
