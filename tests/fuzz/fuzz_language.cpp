// The language file and the safe formats: a language read once answers every
// lookup as reading the file afresh does, and a text put into a format is
// inserted at most once and never read as a format itself.
#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "settings/ini_file.h"
#include "settings/language.h"

using namespace zd573;
using namespace zd573::settings;

namespace {

std::size_t Count(const std::string& s, char c) { return static_cast<std::size_t>(std::count(s.begin(), s.end(), c)); }

// A byte the format does not hold, to find where the text went.
int AbsentByte(const std::string& format) {
  for (int c = 1; c < 256; ++c)
    if (format.find(static_cast<char>(c)) == std::string::npos && c != '%') return c;
  return -1;
}

void CheckFormat(const std::string& format) {
  const int marker = AbsentByte(format);
  if (marker < 0) return;
  const std::string m(1, static_cast<char>(marker));
  const std::string withMarker = FormatWithText(format, m);
  const std::size_t inserted = Count(withMarker, m[0]);
  FUZZ_CHECK(inserted <= 1, format);
  std::string without = withMarker;
  if (inserted) without.erase(without.find(m[0]), 1);
  FUZZ_CHECK(FormatWithText(format, "") == without, format);
  // A text full of conversions is inserted as it is.
  std::string hostile = withMarker;
  if (inserted) hostile.replace(hostile.find(m[0]), 1, "%s%d%%%n" + m);
  FUZZ_CHECK(FormatWithText(format, "%s%d%%%n" + m) == hostile, format);
  FUZZ_CHECK(FormatWithText(format, "%s%d%%%n" + m).size() <= format.size() + 9, format);
  const std::string n0 = FormatWithNumber(format, 0);
  const std::string n1 = FormatWithNumber(format, -1234567);
  FUZZ_CHECK(n1.size() == n0.size() || n1.size() == n0.size() + 7, format);
  FUZZ_CHECK(n0.size() <= format.size() + 1, format);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint8_t pick = in.Byte();
  const std::string format = in.Bytes(40);
  const std::string content = in.Rest();
  CheckFormat(format);

  const auto path = fuzz::ScratchDir() / "Languages.lng";
  fuzz::WriteFileBytes(path, content);
  const IniFile ini(path);
  const auto languages = TextLookup(path, "English").Languages();
  const std::string language = languages.empty() ? std::string("English") : languages[pick % languages.size()];
  TextLookup fresh(path, language);
  TextLookup loaded(path, language);
  loaded.Load();
  // A sample of the program's keys (each fresh lookup reads the whole file).
  const auto table = TextTable();
  for (std::size_t i = pick % 7; i < table.size(); i += 23) {
    FUZZ_CHECK(fresh.Text(table[i].key) == loaded.Text(table[i].key), std::string(table[i].key));
  }
  auto keys = ini.KeyNames(language);
  if (keys.size() > 12) keys.resize(12);
  for (const std::string& key : keys) {
    FUZZ_CHECK(fresh.Text(key, "\x01") == loaded.Text(key, "\x01"), key);
    FUZZ_CHECK(loaded.Text(key, "\x01") == ini.Read(language, key, "\x01"), key);
  }
  return 0;
}
