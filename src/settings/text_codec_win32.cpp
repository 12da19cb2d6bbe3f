// The device text encoding with the Win32 code page functions
// (MultiByteToWideChar, WideCharToMultiByte), made to give what iconv gives:
// no best-fit replacements on the way to the device, a character refused
// where the code page has no exact byte form for it, and U+FFFD for each
// byte that does not decode.
#include <windows.h>

#include <algorithm>
#include <span>
#include <string>
#include <string_view>

#include "settings/text_codec.h"

namespace zd573::settings::codec {
namespace {

// Where glibc's tables, which the POSIX build uses, differ from Windows'
// for the code pages we offer, this file follows glibc, so a device text
// comes out the same on both.
struct Extra {
  char32_t codePoint;
  std::string_view bytes;
};

// glibc's CP932 also writes these JIS characters (Windows has no exact form for them).
constexpr Extra kExtra932[] = {{0x00A2, "\x81\x91"}, {0x00A3, "\x81\x92"}, {0x00A5, "\x5C"},
                               {0x00AC, "\x81\xCA"}, {0x2014, "\x81\x5C"}, {0x2016, "\x81\x61"},
                               {0x203E, "\x7E"},      {0x2212, "\x81\x7C"}, {0x301C, "\x81\x60"}};
// glibc's CP950 writes these box-drawing characters with their Big5 codes,
// Windows with its own duplicates; both read either.
constexpr Extra kExtra950[] = {{0x2550, "\xA2\xA4"}, {0x255E, "\xA2\xA5"}, {0x2561, "\xA2\xA7"}, {0x256A, "\xA2\xA6"}};

struct Compat {
  // The private use characters glibc gives the user-defined area: all of
  // CP932's (U+E000..U+E757), CP950's ETEN extension (U+F6B1..U+F848).
  char32_t privateFirst = 1, privateLast = 0;
  bool control80 = false;  // the byte 0x80 alone is U+0080 (glibc's 950)
  std::span<const Extra> extra;
};

Compat CompatOf(int codePage) {
  switch (codePage) {
    case 932: return {0xE000, 0xE757, false, kExtra932};
    case 950: return {0xF6B1, 0xF848, true, kExtra950};
    default: return {};
  }
}

// Windows maps bytes a code page leaves undefined to C1 controls (CP1252
// 0x81 -> U+0081) or to the private use area; glibc, and the standard, have
// no character there.
bool IsHoleCharacter(char32_t cp, const Compat& compat) {
  const bool sharedPrivate = cp >= compat.privateFirst && cp <= compat.privateLast;
  return (cp >= 0x80 && cp <= 0x9F) || (!sharedPrivate && cp >= 0xE000 && cp <= 0xF8FF);
}

std::wstring Utf16(char32_t cp) {
  if (cp < 0x10000) return std::wstring(1, static_cast<wchar_t>(cp));
  cp -= 0x10000;
  return {static_cast<wchar_t>(0xD800 + (cp >> 10)), static_cast<wchar_t>(0xDC00 + (cp & 0x3FF))};
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The one character `bytes` decode to, or none (0xFFFFFFFF).
char32_t DecodeOne(std::string_view bytes, int codePage, const Compat& compat) {
  constexpr char32_t kNone = 0xFFFFFFFF;
  if (compat.control80 && bytes == "\x80") return 0x80;
  wchar_t wide[4] = {};
  const int n = ::MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes.data(),
                                      static_cast<int>(bytes.size()), wide, 4);
  char32_t cp = kNone;
  if (n == 1 && (wide[0] < 0xD800 || wide[0] > 0xDFFF)) cp = wide[0];
  if (n == 2 && wide[0] >= 0xD800 && wide[0] <= 0xDBFF && wide[1] >= 0xDC00 && wide[1] <= 0xDFFF)
    cp = 0x10000 + ((static_cast<char32_t>(wide[0]) - 0xD800) << 10) + (static_cast<char32_t>(wide[1]) - 0xDC00);
  if (cp == kNone || IsHoleCharacter(cp, compat)) return kNone;
  return cp;
}

// Length of the valid UTF-8 sequence at `s` (already checked by the caller) and its code point.
std::size_t NextCodePoint(std::string_view s, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  const std::size_t len = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : 4;
  cp = len == 1 ? b0 : (b0 & (0x7F >> len));
  for (std::size_t i = 1; i < len && i < s.size(); ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
  return len;
}

}  // namespace

std::string Name(int codePage) {
  if (codePage <= 0 || codePage >= 65000 || !::IsValidCodePage(static_cast<UINT>(codePage))) return {};
  return "CP" + std::to_string(codePage);
}

std::size_t Encode(std::string_view utf8, int codePage, std::string& out) {
  const Compat compat = CompatOf(codePage);
  // One character at a time, so a refusal names the very character.
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const std::size_t len = NextCodePoint(utf8.substr(i), cp);
    i += len;
    if (const auto extra = std::find_if(compat.extra.begin(), compat.extra.end(),
                                         [cp](const Extra& e) { return e.codePoint == cp; });
        extra != compat.extra.end()) {
      out += extra->bytes;
      continue;
    }
    if (compat.control80 && cp == 0x80) {
      out += '\x80';
      continue;
    }
    const std::wstring w = Utf16(cp);
    char bytes[8];
    BOOL usedDefault = FALSE;
    const int n = ::WideCharToMultiByte(static_cast<UINT>(codePage), WC_NO_BEST_FIT_CHARS, w.data(),
                                        static_cast<int>(w.size()), bytes, sizeof bytes, nullptr, &usedDefault);
    // Only an exact mapping counts: the bytes must read back as the same character.
    if (n <= 0 || usedDefault || DecodeOne(std::string_view(bytes, static_cast<std::size_t>(n)), codePage, compat) != cp)
      return i - len;
    out.append(bytes, static_cast<std::size_t>(n));
  }
  return std::string_view::npos;
}

std::string Decode(std::string_view bytes, int codePage, std::size_t* undecodable) {
  const Compat compat = CompatOf(codePage);
  CPINFO info{};
  const bool doubleByte = ::GetCPInfo(static_cast<UINT>(codePage), &info) && info.MaxCharSize > 1;
  std::string out;
  out.reserve(bytes.size());
  std::size_t bad = 0;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {  // every offered code page is ASCII below 0x80
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    // A lead byte with a trail byte that makes a character takes both;
    // otherwise the byte stands alone, and may not decode.
    if (doubleByte && i + 1 < bytes.size() && ::IsDBCSLeadByteEx(static_cast<UINT>(codePage), b)) {
      if (const char32_t cp = DecodeOne(bytes.substr(i, 2), codePage, compat); cp != 0xFFFFFFFF) {
        AppendUtf8(out, cp);
        i += 2;
        continue;
      }
    }
    const char32_t cp = DecodeOne(bytes.substr(i, 1), codePage, compat);
    if (cp == 0xFFFFFFFF) ++bad;
    AppendUtf8(out, cp == 0xFFFFFFFF ? 0xFFFD : cp);
    ++i;
  }
  if (undecodable) *undecodable = bad;
  return out;
}

int SystemCodePage() { return static_cast<int>(::GetACP()); }

}  // namespace zd573::settings::codec
