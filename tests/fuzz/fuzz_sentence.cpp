// The sentence builder against the simulated tracker's own parser: a value the
// program accepts for a key reaches the tracker exactly as prepared, in a
// sentence whose first terminator is its last.
#include <cstdint>
#include <string>
#include <vector>

#include "device/device_settings.h"
#include "device/transactions.h"
#include "device/user_values.h"
#include "fuzz_support.h"
#include "settings/text_encoding.h"
#include "sim_protocol.h"

using namespace zd573;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  std::vector<const KeyInfo*> sendable;
  for (const KeyInfo& k : AllKeys())
    if (PageOfKey(k.key)) sendable.push_back(&k);
  const KeyInfo& key = *sendable[in.Byte() % sendable.size()];
  const auto pages = settings::OfferedCodePages();
  ValueRules rules;
  const std::uint8_t cp = in.Byte();
  if (cp % 2 && !pages.empty()) rules.codePage = pages[(cp / 2) % pages.size()].number;
  rules.anyDateFormat = in.Flag();
  const std::string typed = in.Rest();

  auto prepared = PrepareValue(key.key, typed, rules);
  if (!prepared) return 0;
  std::string expected = key.kind == FieldKind::Text ? prepared->bytes : std::to_string(prepared->number);
  // The logger page's own rule: logging is on or off.
  if (key.key == "OX") expected = prepared->number != 0 ? "1" : "0";

  DeviceValues values;
  if (key.key == "O2") values.SetNumber("OX", 1);  // the interval is sent only while logging
  StorePrepared(values, key.key, *prepared);
  auto sentences = BuildPageTransaction(*PageOfKey(key.key), values);
  FUZZ_CHECK(sentences.ok(), std::string(key.key) + ": accepted but not built: " +
                                 (sentences.ok() ? "" : Describe(sentences.failure())));
  int found = 0;
  for (const std::string& s : *sentences) {
    // The tracker ends a sentence at the first "*" with "!" three places on.
    std::size_t first = std::string::npos;
    for (std::size_t i = 0; i + 3 < s.size() && first == std::string::npos; ++i)
      if (s[i] == '*' && s[i + 3] == '!') first = i;
    FUZZ_CHECK(first + 6 == s.size(), std::string(key.key) + ": terminator inside " + s);
    const sim::Command cmd = sim::ParseSentence(s);
    FUZZ_CHECK(cmd.type == sim::Command::Type::kSet, std::string(key.key) + ": " + cmd.error + " in " + s);
    for (const auto& [k, v] : cmd.pairs) {
      if (k != key.key) continue;
      ++found;
      FUZZ_CHECK(v == expected, std::string(key.key) + ": sent " + v + " for " + expected);
    }
  }
  FUZZ_CHECK(found == 1, std::string(key.key) + " sent " + std::to_string(found) + " times");
  return 0;
}
