// Settings files: every byte a tracker holds comes back from a saved file in
// any offered encoding, and a file that is taken saves and reads back to the
// very values it gave.
#include <cstdint>
#include <string>
#include <vector>

#include "device/profile.h"
#include "fuzz_support.h"
#include "settings/text_encoding.h"

using namespace zd573;

namespace {

// The values a prepared file stores, as the tracker would receive them.
DeviceValues Stored(const PreparedProfile& prepared) {
  DeviceValues v;
  for (const auto& [key, value] : prepared) StorePrepared(v, key, value);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const auto pages = settings::OfferedCodePages();
  const int codePage = pages[static_cast<std::size_t>(in.Range(0, static_cast<int>(pages.size()) - 1))].number;

  // The escaped form gives back every byte.
  const std::string bytes = in.Bytes(48);
  bool escaped = false;
  const std::string text = settings::DeviceTextForFile(bytes, codePage, &escaped);
  const auto back = settings::DeviceTextFromFile(text, codePage);
  FUZZ_CHECK(back && *back == bytes, "code page " + std::to_string(codePage) + ": " + text);
  FUZZ_CHECK(escaped || settings::DecodesCleanly(bytes, codePage), "a text that does not decode was kept plain: " + text);

  // A file that is taken is a fixed point: saved and read again, it gives the same values.
  const std::string file = in.Rest();
  auto profile = ParseProfile(file, "f.ini");
  if (!profile) return 0;
  const ValueRules rules{codePage, true, true};
  auto prepared = PrepareProfile(*profile, rules, "f.ini");
  if (!prepared) return 0;
  std::vector<std::string_view> keys;
  for (const auto& [key, value] : *prepared) keys.push_back(FindKey(key)->key);
  const DeviceValues first = Stored(*prepared);
  const std::string saved = FormatProfile(first, keys, codePage);
  auto again = ParseProfile(saved, "g.ini");
  FUZZ_CHECK(again, saved + "\n" + (again ? "" : again.error()));
  auto preparedAgain = PrepareProfile(*again, rules, "g.ini");
  FUZZ_CHECK(preparedAgain, saved + "\n" + (preparedAgain ? "" : preparedAgain.error()));
  const DeviceValues second = Stored(*preparedAgain);
  for (std::string_view k : keys) {
    // A line break cannot live in the file (it is saved as a blank).
    if (first.Format(k).find_first_of("\r\n") != std::string::npos) continue;
    FUZZ_CHECK(first.Format(k) == second.Format(k), std::string(k) + ": " + first.Format(k) + " read back as " +
                                                        second.Format(k) + "\n" + saved);
  }
  return 0;
}
