#include "settings/language.h"

#include <utility>
#include <vector>

#include "settings/ini_file.h"
#include "settings/paths.h"

namespace zd573::settings {
namespace {

// Keys and texts are the program's own, byte for byte: "&&" shows one '&' on
// a control, and the odd spellings are what users and translators know. They
// are the English section of Languages.lng, embedded when the program is built.
constexpr std::string_view kEnglishSection =
#include "builtin_english.inc"
    ;

const std::vector<TextEntry>& BuiltInTexts() {
  static const std::vector<std::pair<std::string, std::string>> entries = [] {
    auto read = ReadIniSection(kEnglishSection, "English");
    // The leave question's built-in text is the single word the program has
    // always shown; the shipped English asks it as a sentence.
    for (auto& [key, text] : read)
      if (key == "STR_GLOBAL_CHANGE") text = "Change";
    return read;
  }();
  static const std::vector<TextEntry> table = [] {
    std::vector<TextEntry> t;
    t.reserve(entries.size());
    for (const auto& [key, text] : entries) t.push_back({key, text});
    return t;
  }();
  return table;
}

// Replaces the first "%<conversion>" with `replacement` and turns "%%" into
// '%'; every other '%' sequence, a second "%s" included, is copied as written.
std::string Substitute(std::string_view format, char conversion, std::string_view replacement) {
  std::string out;
  out.reserve(format.size() + replacement.size());
  bool replaced = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char next = i + 1 < format.size() ? format[i + 1] : '\0';
    if (format[i] == '%' && next == '%') {
      out.push_back('%');
      ++i;
    } else if (format[i] == '%' && next == conversion && !replaced) {
      out.append(replacement);
      replaced = true;
      ++i;
    } else {
      out.push_back(format[i]);
    }
  }
  return out;
}

}  // namespace

std::span<const TextEntry> TextTable() { return BuiltInTexts(); }

std::string_view BuiltInText(std::string_view key) {
  for (const TextEntry& e : BuiltInTexts()) {
    if (e.key == key) return e.english;
  }
  return {};
}

std::string FamilyKey(std::string_view family, int index) {
  const std::string number = std::to_string(index);
  std::string key(family);
  const auto at = key.find("%d");
  if (at == std::string::npos) return key + number;
  return key.replace(at, 2, number);
}

namespace {
std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}
}  // namespace

TextLookup& TextLookup::Load() {
  auto entries = std::make_shared<std::unordered_map<std::string, std::string>>();
  for (auto& [key, value] : IniFile(file_).ReadSection(language_)) entries->emplace(LowerAscii(key), std::move(value));
  loaded_ = std::move(entries);
  return *this;
}

std::string TextLookup::Text(std::string_view key, std::string_view english) const {
  if (!loaded_) return IniFile(file_).Read(language_, key, english);
  const auto it = loaded_->find(LowerAscii(key));
  return it == loaded_->end() ? std::string(english) : it->second;
}

std::string TextLookup::Text(std::string_view key) const {
  const std::string_view english = BuiltInText(key);
  return Text(key, english.empty() ? key : english);
}

std::string TextLookup::FamilyText(std::string_view family, int index) const {
  return Text(FamilyKey(family, index));
}

std::vector<std::string> TextLookup::Languages() const { return IniFile(file_).SectionNames(); }

std::vector<std::string> RefusedFiles(const std::vector<std::filesystem::path>& files) {
  std::vector<std::string> refusals;
  for (const auto& file : files)
    if (Status usable = IniFile(file).Check(); !usable)
      refusals.push_back(usable.error() + ": it is not read; the defaults are used");
  return refusals;
}

std::vector<std::string> RefusedStartupFiles() { return RefusedFiles({SystemIniPath(), LanguagesPath()}); }

std::string FormatWithText(std::string_view format, std::string_view text) {
  return Substitute(format, 's', text);
}

std::string FormatWithNumber(std::string_view format, long long number) {
  return Substitute(format, 'd', std::to_string(number));
}

std::string ExpandLineBreakEscapes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] == '\\' && (next == 'n' || next == 'r')) {
      out.push_back(next == 'n' ? '\n' : '\r');
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace zd573::settings
