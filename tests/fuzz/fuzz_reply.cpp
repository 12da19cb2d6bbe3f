// The reply parse: any line keeps every field within its capacity and width,
// and a well-framed reply stores exactly the text it carries.
#include <cstdint>
#include <string>

#include "device/device_settings.h"
#include "device/sentences.h"
#include "fuzz_support.h"

using namespace zd573;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);

  // Any bytes at all.
  DeviceSettings settings;
  const std::uint8_t result = ParseReply(line, settings);
  FUZZ_CHECK(result <= kReplyLastPassword, line);
  const DeviceValues values = settings.Snapshot();
  for (const KeyInfo& k : AllKeys()) {
    if (k.kind == FieldKind::Text)
      FUZZ_CHECK(values.Text(k.key).size() <= static_cast<std::size_t>(k.capacity), std::string(k.key));
    if (k.kind == FieldKind::Byte) FUZZ_CHECK(values.Number(k.key) >= 0 && values.Number(k.key) <= 255, k.key);
    if (k.kind == FieldKind::U16) FUZZ_CHECK(values.Number(k.key) >= 0 && values.Number(k.key) <= 65535, k.key);
  }
  // The split agrees with the result code.
  std::string scratch;
  ReplyFields fields = SplitReply(line, scratch);
  FUZZ_CHECK(fields.result == result, line);

  // One framed pair made of the same bytes: a text is stored as sent (cut to
  // its capacity), and every table key is marked received, accepted or not.
  fuzz::Input in(data, size);
  const auto keys = AllKeys();
  const KeyInfo& key = keys[in.Byte() % keys.size()];
  std::string value;
  for (char c : in.Rest())
    if (c != ',' && c != '=' && c != '*' && c != '\r' && c != '\n' && c != '\0') value += c;
  DeviceSettings framed;
  const std::string reply = "KVs," + std::string(key.key) + "=" + value + "*QQ!\r\n";
  const std::uint8_t code = ParseReply(reply, framed);
  FUZZ_CHECK(code == (key.key == "B2" ? kReplyLastImei : key.key == "OU" ? kReplyLastPassword : kReplyOther), reply);
  if (key.kind == FieldKind::Text)
    FUZZ_CHECK(framed.Text(key.key) == value.substr(0, static_cast<std::size_t>(key.capacity)), reply);
  if (TableIndex(key.key) >= 0) FUZZ_CHECK(framed.Received(key.key), reply);
  return 0;
}
