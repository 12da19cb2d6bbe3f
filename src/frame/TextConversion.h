#pragma once
// The one pair of conversions between the core's UTF-8 strings and Qt's text.
#include <QString>

#include <string>
#include <string_view>

namespace zd573 {

inline QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace zd573
