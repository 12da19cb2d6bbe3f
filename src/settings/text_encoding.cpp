#include "settings/text_encoding.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "settings/paths.h"
#include "settings/text_codec.h"

namespace zd573::settings {
namespace {

constexpr std::array kOffered = std::to_array<CodePage>({
    {874, "Thai (874)"},
    {932, "Japanese Shift-JIS (932)"},
    {936, "Simplified Chinese GBK (936)"},
    {949, "Korean (949)"},
    {950, "Traditional Chinese Big5 (950)"},
    {1250, "Central European (1250)"},
    {1251, "Cyrillic (1251)"},
    {1252, "Western European (1252)"},
    {1253, "Greek (1253)"},
    {1254, "Turkish (1254)"},
    {1255, "Hebrew (1255)"},
    {1256, "Arabic (1256)"},
    {1257, "Baltic (1257)"},
    {1258, "Vietnamese (1258)"},
});

// Length of the valid UTF-8 sequence at the start of `s`, 0 if invalid.
std::size_t Utf8SequenceLength(std::string_view s, char32_t* codePoint) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  std::size_t len = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
  if (len == 0 || len > s.size()) return 0;
  char32_t cp = len == 1 ? b0 : (b0 & (0x7F >> len));
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  *codePoint = cp;
  return len;
}

std::string DescribeCharacter(std::string_view rest) {
  if (rest.empty()) return "the text";
  char32_t cp = 0;
  const std::size_t len = Utf8SequenceLength(rest, &cp);
  char hex[16];
  std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(cp));
  const bool printable = cp >= 0x20 && cp != 0x7F;
  return printable ? "\"" + std::string(rest.substr(0, len)) + "\" (" + hex + ")" : std::string(hex);
}

// Offset of the first byte that does not start a valid UTF-8 sequence.
std::size_t FirstInvalidUtf8(std::string_view s) {
  std::size_t i = 0;
  char32_t cp = 0;
  while (i < s.size()) {
    const std::size_t len = Utf8SequenceLength(s.substr(i), &cp);
    if (len == 0) return i;
    i += len;
  }
  return std::string_view::npos;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

struct LanguageCodePage {
  std::string_view language;
  int codePage;
};

// Windows' ANSI code page by language; anything not listed is Western (1252).
constexpr std::array kByLanguage = std::to_array<LanguageCodePage>({
    {"th", 874},   {"ja", 932},   {"ko", 949},
    {"pl", 1250},  {"cs", 1250},  {"sk", 1250},  {"hu", 1250},  {"sl", 1250},  {"hr", 1250},
    {"ro", 1250},  {"sq", 1250},  {"bs", 1250},
    {"ru", 1251},  {"uk", 1251},  {"bg", 1251},  {"be", 1251},  {"sr", 1251},  {"mk", 1251},
    {"kk", 1251},  {"ky", 1251},  {"mn", 1251},  {"tt", 1251},  {"tg", 1251},  {"ba", 1251},
    {"el", 1253},  {"tr", 1254},  {"az", 1254},  {"uz", 1254},  {"he", 1255},  {"iw", 1255},
    {"ar", 1256},  {"fa", 1256},  {"ur", 1256},  {"lt", 1257},  {"lv", 1257},  {"et", 1257},
    {"vi", 1258},
});

}  // namespace

std::span<const CodePage> OfferedCodePages() { return kOffered; }

std::string_view CutToCharBoundary(std::string_view bytes, std::size_t maxBytes, int codePage) {
  if (bytes.size() <= maxBytes) return bytes;
  // Lead bytes of the double-byte code pages; every other offered page is single-byte.
  auto isLead = [codePage](unsigned char b) {
    switch (codePage) {
      case 932: return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
      case 936:
      case 949:
      case 950: return b >= 0x81 && b <= 0xFE;
      default: return false;
    }
  };
  std::size_t end = 0;
  while (end < bytes.size()) {
    const std::size_t width = isLead(static_cast<unsigned char>(bytes[end])) ? 2 : 1;
    if (end + width > maxBytes) break;
    end += width;
  }
  return bytes.substr(0, end);
}

std::string IconvName(int codePage) { return codec::Name(codePage); }

int CodePageForLocale(std::string_view locale) {
  const auto at = locale.find('@');
  const std::string_view modifier = at == std::string_view::npos ? "" : locale.substr(at + 1);
  std::string_view rest = locale.substr(0, at);
  rest = rest.substr(0, rest.find('.'));
  const auto sep = rest.find_first_of("_-");
  std::string language(rest.substr(0, sep));
  std::string territory(sep == std::string_view::npos ? "" : rest.substr(sep + 1));
  for (char& c : language) c = AsciiLower(c);
  for (char& c : territory) c = AsciiUpper(c);

  if (language == "zh") {
    return (territory == "TW" || territory == "HK" || territory == "MO") ? 950 : 936;
  }
  int codePage = kWesternCodePage;
  for (const auto& entry : kByLanguage) {
    if (entry.language == language) codePage = entry.codePage;
  }
  // Languages written in both scripts follow the script modifier.
  if (modifier == "latin" && codePage == 1251) return 1250;
  if (modifier == "cyrillic") return 1251;
  return codePage;
}

int DefaultDeviceCodePage() {
  // On Windows the ANSI code page itself, when it is one we offer.
  const int system = codec::SystemCodePage();
  for (const CodePage& offered : kOffered) {
    if (offered.number == system) return system;
  }
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return CodePageForLocale(value);
  }
  return kWesternCodePage;
}

int DeviceCodePage(const IniFile& systemIni) {
  if (const auto chosen = ChosenDeviceCodePage(systemIni)) return *chosen;
  return DefaultDeviceCodePage();
}

Status WriteDeviceCodePage(const IniFile& systemIni, int codePage) {
  if (IconvName(codePage).empty()) {
    return Error{"code page " + std::to_string(codePage) + " is not available"};
  }
  return systemIni.Write(kSystemSection, kCodePageKey, std::to_string(codePage));
}

Expected<std::string> EncodeDeviceText(std::string_view utf8, int codePage) {
  if (const auto bad = FirstInvalidUtf8(utf8); bad != std::string_view::npos) {
    return Error{"the text is not valid UTF-8 at byte " + std::to_string(bad)};
  }
  if (codec::Name(codePage).empty()) return Error{"code page " + std::to_string(codePage) + " is not available"};
  std::string out;
  if (const std::size_t failed = codec::Encode(utf8, codePage, out); failed != std::string_view::npos) {
    return Error{DescribeCharacter(utf8.substr(failed)) + " cannot be written in code page " + std::to_string(codePage)};
  }
  return out;
}

std::string DecodeDeviceText(std::string_view bytes, int codePage) {
  return codec::Decode(bytes, codec::Name(codePage).empty() ? kWesternCodePage : codePage);
}

bool DecodesCleanly(std::string_view bytes, int codePage) {
  std::size_t undecodable = 0;
  codec::Decode(bytes, codec::Name(codePage).empty() ? kWesternCodePage : codePage, &undecodable);
  return undecodable == 0;
}

namespace {

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// "\xHH" anywhere: what tells an escaped text from a plain one.
bool HoldsByteEscape(std::string_view text) {
  for (std::size_t i = 0; i + 3 < text.size(); ++i)
    if (text[i] == '\\' && text[i + 1] == 'x' && IsHexDigit(text[i + 2]) && IsHexDigit(text[i + 3])) return true;
  return false;
}

bool ConvertsBackTo(std::string_view bytes, std::string_view utf8, int codePage) {
  const auto back = EncodeDeviceText(utf8, codePage);
  return back && *back == bytes;
}

void AppendByteEscape(std::string& out, unsigned char byte) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "\\x%02X", byte);
  out += hex;
}

}  // namespace

std::string DeviceTextForFile(std::string_view bytes, int codePage, bool* escaped) {
  const int cp = codec::Name(codePage).empty() ? kWesternCodePage : codePage;
  std::size_t undecodable = 0;
  std::string plain = codec::Decode(bytes, cp, &undecodable);
  const bool keepPlain = undecodable == 0 && !HoldsByteEscape(plain) && ConvertsBackTo(bytes, plain, cp);
  if (escaped) *escaped = !keepPlain;
  if (keepPlain) return plain;
  // Character by character: the shortest run of bytes (a double-byte
  // character at most takes two) that converts there and back is kept as text.
  std::string out;
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t took = 0;
    for (std::size_t len = 1; len <= 4 && at + len <= bytes.size() && !took; ++len) {
      const std::string_view one = bytes.substr(at, len);
      const std::string text = codec::Decode(one, cp, &undecodable);
      if (undecodable == 0 && !text.empty() && ConvertsBackTo(one, text, cp)) {
        for (char c : text) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
        took = len;
      }
    }
    if (!took) {
      AppendByteEscape(out, static_cast<unsigned char>(bytes[at]));
      took = 1;
    }
    at += took;
  }
  // A code page that joins characters across such runs could still give other
  // bytes: then nothing but plain ASCII is kept as text.
  if (const auto back = DeviceTextFromFile(out, cp); !back || *back != bytes) {
    out.clear();
    for (char c : bytes) {
      const auto b = static_cast<unsigned char>(c);
      if (c == '\\') {
        out += "\\\\";
      } else if (b >= 0x20 && b < 0x7F) {
        out += c;
      } else {
        AppendByteEscape(out, b);
      }
    }
  }
  return out;
}

Expected<std::string> DeviceTextFromFile(std::string_view text, int codePage) {
  if (!HoldsByteEscape(text)) return EncodeDeviceText(text, codePage);
  std::string out;
  std::string run;  // UTF-8 waiting to be converted
  auto flush = [&]() -> Status {
    if (run.empty()) return {};
    auto bytes = EncodeDeviceText(run, codePage);
    if (!bytes) return bytes.failure();
    out += *bytes;
    run.clear();
    return {};
  };
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
      run += '\\';
      i += 2;
    } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && IsHexDigit(text[i + 2]) &&
               IsHexDigit(text[i + 3])) {
      if (Status s = flush(); !s) return s.failure();
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 2, 2)), nullptr, 16));
      i += 4;
    } else {
      run += text[i++];
    }
  }
  if (Status s = flush(); !s) return s.failure();
  return out;
}

namespace {
// A code page number stored in system.ini, when it is one this system converts.
std::optional<int> StoredCodePage(const IniFile& systemIni, std::string_view section, std::string_view key) {
  const std::string text = systemIni.Read(section, key, "");
  int codePage = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), codePage);
  if (ec == std::errc() && end == text.data() + text.size() && codePage > 0 && !IconvName(codePage).empty())
    return codePage;
  return std::nullopt;
}
}  // namespace

std::optional<int> ChosenDeviceCodePage(const IniFile& systemIni) {
  return StoredCodePage(systemIni, kSystemSection, kCodePageKey);
}

std::optional<int> RememberedCodePage(const IniFile& systemIni, std::string_view imei) {
  if (imei.empty()) return std::nullopt;
  return StoredCodePage(systemIni, kTrackerEncodingSection, imei);
}

int TrackerCodePage(const IniFile& systemIni, std::string_view imei, std::string_view languageLocale) {
  if (const auto chosen = ChosenDeviceCodePage(systemIni)) return *chosen;
  if (const auto remembered = RememberedCodePage(systemIni, imei)) return *remembered;
  return DefaultDeviceCodePage(languageLocale);
}

Status RememberTrackerCodePage(const IniFile& systemIni, std::string_view imei, int codePage) {
  if (imei.empty() || ChosenDeviceCodePage(systemIni)) return {};
  if (RememberedCodePage(systemIni, imei) == codePage) return {};
  if (IconvName(codePage).empty()) return Error{"code page " + std::to_string(codePage) + " is not available"};
  return systemIni.Write(kTrackerEncodingSection, imei, std::to_string(codePage));
}

int DefaultDeviceCodePage(std::string_view languageLocale) {
  const int own = languageLocale.empty() ? kWesternCodePage : CodePageForLocale(languageLocale);
  return own != kWesternCodePage && !IconvName(own).empty() ? own : DefaultDeviceCodePage();
}


}  // namespace zd573::settings
