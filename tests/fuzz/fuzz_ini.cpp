// IniFile: a write reads back exactly (or is refused for a name or value that
// would break the file's layout), and leaves every other key as it was.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "settings/ini_file.h"

using namespace zd573;
using settings::IniFile;

namespace {

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

using Snapshot = std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>;

Snapshot Take(const IniFile& ini, const std::vector<std::string>& sections) {
  Snapshot s;
  for (const std::string& name : sections) s.emplace_back(name, ini.ReadSection(name));
  return s;
}

// The program's callers pass names without blanks at either end.
std::string Name(fuzz::Input& in) {
  std::string s = in.Bytes(12);
  const char* blanks = " \t\v\f\r";
  const auto first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::string section = Name(in);
  const std::string key = Name(in);
  const std::string value = in.Bytes(80);
  const std::string content = in.Rest();

  const auto path = fuzz::ScratchDir() / "settings.ini";
  fuzz::WriteFileBytes(path, content);
  IniFile ini(path);
  std::vector<std::string> sections = ini.SectionNames();
  bool listed = false;
  for (const auto& s : sections) listed = listed || SameName(s, section);
  if (!listed && !section.empty()) sections.push_back(section);
  const Snapshot before = Take(ini, sections);

  const Status written = ini.Write(section, key, value);
  if (!written) {
    FUZZ_CHECK(fuzz::ReadFileBytes(path) == content, "a refused write changed the file");
    return 0;
  }
  FUZZ_CHECK(ini.Read(section, key, "\x01" "fallback") == settings::CutUtf8(value, IniFile::kMaxValueChars),
             "[" + section + "] " + key + "=" + value + " read back as " + ini.Read(section, key, "\x01" "fallback"));

  // Every other key of every section reads as before.
  const Snapshot after = Take(ini, sections);
  for (std::size_t s = 0; s < before.size(); ++s) {
    const bool target = SameName(before[s].first, section);
    std::vector<std::pair<std::string, std::string>> was, is;
    for (const auto& e : before[s].second)
      if (!target || !SameName(e.first, key)) was.push_back(e);
    for (const auto& e : after[s].second)
      if (!target || !SameName(e.first, key)) is.push_back(e);
    FUZZ_CHECK(was == is, "section [" + before[s].first + "] changed");
  }
  return 0;
}
