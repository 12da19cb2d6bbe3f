#pragma once
// A small ini-style file (Languages.lng, system.ini) read and written the way
// the Windows private-profile functions do it: sections and keys match
// case-insensitively, keys and values are trimmed, anything missing gives the
// caller's default. Every call reads the file afresh; a write replaces the file
// atomically and keeps every other line as it was.
#include <filesystem>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace zd573::settings {

// Section and key names match whatever their ASCII case.
bool SameIniName(std::string_view a, std::string_view b);

class IniFile {
 public:
  // Longest value a read returns, in characters; longer values are cut.
  static constexpr std::size_t kMaxValueChars = 254;
  // Larger than any real settings or language file (ours are a few KiB): a
  // larger file, or one that is not a regular file (a FIFO, a device), is
  // not read at all, so no file can hang or flood the program.
  static constexpr std::size_t kMaxFileBytes = std::size_t{1} << 20;
  // Likewise for its parts: the language file holds a handful of sections of
  // a few hundred keys. More sections, or more keys in one, are refused as a
  // larger file is, and a write never makes a file that would be.
  static constexpr std::size_t kMaxSections = 256;
  static constexpr std::size_t kMaxSectionKeys = 4096;

  IniFile() = default;
  explicit IniFile(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& path() const { return path_; }

  // The stored value, trimmed and cut to kMaxValueChars, or `fallback` when the
  // file, the section or the key is missing. A value wrapped in matching quotes
  // ("..." or '...') loses the quotes, so leading blanks can be kept.
  std::string Read(std::string_view section, std::string_view key,
                   std::string_view fallback) const;

  // Whether the file can be used: missing or a regular file within
  // kMaxFileBytes that can be read. Otherwise reads give the defaults and
  // writes fail, and the error says why, naming the file.
  Status Check() const;

  // Sets section/key to value, creating the folder, file, section or key as
  // needed. Refuses names and values that would break the file's layout
  // (line breaks, '=' in a key, ']' in a section name).
  Status Write(std::string_view section, std::string_view key,
               std::string_view value) const;

  // Every key=value of one section (its first occurrence) in file order, read
  // as Read reads them; one file read for many lookups.
  std::vector<std::pair<std::string, std::string>> ReadSection(std::string_view section) const;

  // Section names in file order; a repeated name is listed once.
  std::vector<std::string> SectionNames() const;

  // Key names of one section in file order (the first occurrence of the section).
  std::vector<std::string> KeyNames(std::string_view section) const;

 private:
  std::filesystem::path path_;
};

// The first `maxChars` UTF-8 characters of `text`, never splitting one.
std::string_view CutUtf8(std::string_view text, std::size_t maxChars);

// IniFile::ReadSection of a text held in memory.
std::vector<std::pair<std::string, std::string>> ReadIniSection(std::string_view text, std::string_view section);

}  // namespace zd573::settings
