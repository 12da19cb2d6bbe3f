#pragma once
// Display texts: every text the user sees is looked up by key in the current
// language's section of Languages.lng, with a built-in English default that
// is shown when the file, the section or the key is missing. There is no
// fallback to the "English" section: the built-in text is the fallback.
#include <filesystem>
#include <memory>
#include <unordered_map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zd573::settings {

struct TextEntry {
  std::string_view key;
  std::string_view english;
};

// Every text key the program looks up, with its built-in English text.
std::span<const TextEntry> TextTable();

// The built-in English text of `key`, or an empty view for an unknown key.
std::string_view BuiltInText(std::string_view key);

// The key of member `index` (1-based) of a family such as "STR_MAINPAGE_STR%d".
std::string FamilyKey(std::string_view family, int index);

// The frame pages show the IMEI line with this default, the main window with
// the table's "IMEI: %s"; both look up "STR_MAINPAGE_DEVICE2".
inline constexpr std::string_view kImeiKey = "STR_MAINPAGE_DEVICE2";
inline constexpr std::string_view kPageImeiDefault = "IMEI:%s";

class TextLookup {
 public:
  TextLookup(std::filesystem::path languagesFile, std::string language)
      : file_(std::move(languagesFile)), language_(std::move(language)) {}

  const std::string& language() const { return language_; }

  // Reads the language's section once; later lookups use that copy. A
  // window loads when it opens, so an edited file shows in the next window.
  // Without Load the file is read afresh at each lookup.
  TextLookup& Load();

  // The current language's text for `key`, else `english`.
  std::string Text(std::string_view key, std::string_view english) const;
  // As above with the built-in text from TextTable(); an unknown key shows itself.
  std::string Text(std::string_view key) const;
  std::string FamilyText(std::string_view family, int index) const;

  // Section names of the language file in file order: the languages on offer.
  std::vector<std::string> Languages() const;

 private:
  std::filesystem::path file_;
  std::string language_;
  // Keys in lower case (lookups ignore case), first occurrence kept; null until Load.
  std::shared_ptr<const std::unordered_map<std::string, std::string>> loaded_;
};

// The files read at start that are refused (a pipe or a device, or more
// bytes, sections or keys than any real one), each as the command line tells
// it: "<file> <why>: it is not read; the defaults are used". Empty when both
// are usable or missing.
std::vector<std::string> RefusedFiles(const std::vector<std::filesystem::path>& files);
// The same for system.ini and Languages.lng.
std::vector<std::string> RefusedStartupFiles();

// Texts from the language file may be used as formats ("IMEI: %s"). They are
// never handed to printf: only the first conversion of the expected kind is
// replaced, "%%" gives "%", and every other '%' sequence is shown as written.
std::string FormatWithText(std::string_view format, std::string_view text);  // first %s
std::string FormatWithNumber(std::string_view format, long long number);     // first %d

// Turns the two-character sequences "\n" and "\r" into line breaks (the about
// text of the settings page is written on one line in the language file).
std::string ExpandLineBreakEscapes(std::string_view text);

}  // namespace zd573::settings
