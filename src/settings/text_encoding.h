#pragma once
// The device text encoding. The tracker knows only bytes: every text sent to
// it or read from it (names, phone numbers, APN, passwords) is a byte string
// in one Windows code page, and byte limits count bytes in that code page.
// The code page is [SYSTEM] DeviceCodePage in system.ini when the user chose
// one for all trackers; else the one remembered for the tracker (by IMEI,
// [ENCODING] in system.ini) once texts were written to it; else the display
// language's, or the one Windows would choose for the user's locale.
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/result.h"
#include "settings/ini_file.h"

namespace zd573::settings {

inline constexpr std::string_view kCodePageKey = "DeviceCodePage";  // in [SYSTEM]
inline constexpr int kWesternCodePage = 1252;
inline constexpr std::string_view kTrackerEncodingSection = "ENCODING";  // IMEI=code page

struct CodePage {
  int number;
  std::string_view displayName;
};

// The code pages offered for choice, by number.
std::span<const CodePage> OfferedCodePages();

// The converter's name for `codePage` ("CP950", ...): iconv's, or on Windows
// the code page's own; empty when this system cannot convert it in both
// directions.
std::string IconvName(int codePage);

// The ANSI code page Windows uses for a locale name such as "zh_TW.UTF-8",
// "sr_RS@latin" or "C".
int CodePageForLocale(std::string_view locale);

// On Windows the ANSI code page (GetACP) when it is offered; otherwise, and
// on POSIX, from the first set of LC_ALL, LC_CTYPE and LANG.
int DefaultDeviceCodePage();

// The configured code page if it is set and usable, else DefaultDeviceCodePage().
int DeviceCodePage(const IniFile& systemIni);
Status WriteDeviceCodePage(const IniFile& systemIni, int codePage);

// The code page the user chose ([SYSTEM] DeviceCodePage, when set and usable).
std::optional<int> ChosenDeviceCodePage(const IniFile& systemIni);
// Until one is chosen the device text follows the display language, whose
// locale is `languageLocale` ("zh_TW"): its own code page when it needs one
// beyond Western European, else DefaultDeviceCodePage() as the system says.
int DefaultDeviceCodePage(std::string_view languageLocale);

// The code page remembered for the tracker `imei` (when set and usable).
std::optional<int> RememberedCodePage(const IniFile& systemIni, std::string_view imei);
// The code page that applies to the tracker `imei` (empty: none known yet):
// the one chosen for all, else the one remembered for it, else the language's.
int TrackerCodePage(const IniFile& systemIni, std::string_view imei, std::string_view languageLocale);
// Remembers that the tracker's texts were written in `codePage`, so a later
// change of display language does not change how they are read. Nothing is
// written while the user's choice for all holds, or for an empty IMEI.
Status RememberTrackerCodePage(const IniFile& systemIni, std::string_view imei, int codePage);

// UTF-8 to device bytes. Invalid UTF-8 and characters the code page lacks are
// errors naming the character; nothing is silently replaced.
Expected<std::string> EncodeDeviceText(std::string_view utf8, int codePage);

// The longest prefix of `bytes` of at most `maxBytes` bytes that ends on a
// character boundary of the code page: a double-byte character is never cut
// in half (the tracker would show, and send back, a broken character).
std::string_view CutToCharBoundary(std::string_view bytes, std::size_t maxBytes, int codePage);

// Device bytes to UTF-8; bytes that do not decode become U+FFFD. An unusable
// code page decodes as 1252.
std::string DecodeDeviceText(std::string_view bytes, int codePage);
// Whether every byte decodes in the code page (no U+FFFD would be shown).
bool DecodesCleanly(std::string_view bytes, int codePage);

// Device bytes as a settings file keeps them, so that every byte comes back.
// A text that converts to UTF-8 and back to the very same bytes is kept as it
// is. Any other (a byte the code page cannot decode, or a text that already
// holds "\xHH") is kept escaped: such a byte as \xHH (two hex digits), a
// backslash as \\, everything else as UTF-8. `escaped` says which was done.
std::string DeviceTextForFile(std::string_view bytes, int codePage, bool* escaped = nullptr);
// The device bytes of a file's text: an escaped text (one holding "\xHH") is
// unescaped, its other characters converted; any other text is converted as
// EncodeDeviceText does, a backslash and all.
Expected<std::string> DeviceTextFromFile(std::string_view text, int codePage);

}  // namespace zd573::settings
