#pragma once
// A caption as it shows: "&&" is one "&", and a single "&" (a mnemonic mark)
// is dropped. Window titles and screen readers take captions this way.
#include <QString>

namespace zd573 {

inline QString PlainCaption(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

// The caption that shows `plain` as it is (a file name, a tracker's name): each "&" doubled.
inline QString CaptionOf(QString plain) { return plain.replace(QLatin1Char('&'), QStringLiteral("&&")); }

}  // namespace zd573
