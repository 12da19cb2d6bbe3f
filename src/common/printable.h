#pragma once
// Text from a file or a tracker, made safe to show: a control byte (an escape
// sequence's start, a line break, a NUL) would act on a terminal or break a
// message's lines, so each is shown as \xHH. Everything else stays as it is.
#include <cstdio>
#include <string>
#include <string_view>

namespace zd573 {

inline std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace zd573
