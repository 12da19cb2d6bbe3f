#include "device/user_values.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <utility>
#include <vector>

#include "common/printable.h"
#include "device/page_table.h"
#include "device/profile.h"
#include "device/sentences.h"
#include "device/transactions.h"
#include "settings/text_encoding.h"

namespace zd573 {
namespace {

Error Bad(std::string text) { return Error{std::move(text), ErrorCode::BadValue, {}}; }
Error Bad(std::string text, MessageKind kind, std::string_view key, std::vector<std::string> args) {
  return Bad(std::move(text)).Names(kind, std::string(key), std::move(args));
}

// The values a person may give a number field.
std::pair<std::int64_t, std::int64_t> UserRange(const KeyInfo& k) {
  switch (k.rule) {
    case AcceptRule::ZeroOne: return {0, 1};
    case AcceptRule::U16Range: return {0, k.kind == FieldKind::Byte ? 255 : 65535};
    case AcceptRule::Port: return {80, 65535};
    case AcceptRule::TimeZone: return {-43200, 46800};
    case AcceptRule::Any: break;
  }
  if (k.kind == FieldKind::Byte) return {0, 255};
  if (k.kind == FieldKind::U16) return {0, 65535};
  return {INT32_MIN, INT32_MAX};
}

Status CheckRange(const KeyInfo& k, std::int64_t v) {
  auto [lo, hi] = UserRange(k);
  if (v >= lo && v <= hi && (k.rule != AcceptRule::Port || v == 80 || v >= 1024)) return {};
  const bool port = k.rule == AcceptRule::Port;
  return Bad(FieldLabel(k.key) + " is out of range: " + std::to_string(v) + " (allowed " +
                 (port ? std::string("80 or 1024 to 65535") : std::to_string(lo) + " to " + std::to_string(hi)) +
                 ")",
             port ? MessageKind::PortOutOfRange : MessageKind::OutOfRange, k.key,
             port ? std::vector<std::string>{std::to_string(v)}
                  : std::vector<std::string>{std::to_string(v), std::to_string(lo), std::to_string(hi)});
}

// A whole number as the command line takes it: an optional sign, digits, nothing else.
bool ParseWholeNumber(std::string_view text, std::int64_t& v) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  auto [ptr, ec] = std::from_chars(first, last, v);
  return !text.empty() && ec == std::errc() && ptr == last;
}

Error NotANumber(const KeyInfo& k, std::string_view text) {
  const std::string shown = Printable(text);
  return Bad(FieldLabel(k.key) + " must be a whole number, not \"" + shown + "\"", MessageKind::NotANumber, k.key,
             {shown});
}

// The two intervals are typed into edit boxes and read the way the pages
// always have: blanks, a sign, digits, and whatever follows is ignored. Their
// pages' floors apply.
Expected<PreparedValue> PrepareInterval(const KeyInfo& k, const ValueFloor& floor, std::string_view text,
                                        const ValueRules& rules) {
  std::int64_t typed = 0;
  if (!rules.wholeIntervals) {
    typed = ConvertDecimal(text);
  } else if (!ParseWholeNumber(text, typed)) {
    return NotANumber(k, text);
  }
  if (typed > 65535)
    return Bad(FieldLabel(k.key) + " is too large: " + std::to_string(typed) + " (at most 65535)",
               MessageKind::TooLarge, k.key, {std::to_string(typed), "65535"});
  PreparedValue out;
  const std::int64_t least = floor.sentAs;
  const bool raise = typed <= floor.atMost;
  out.number = raise ? least : typed;
  if (raise && std::to_string(out.number) != text)
    out.note = "the " + FieldLabel(k.key) + " is sent as " + std::to_string(least) + ", the shortest the tracker takes";
  return out;
}

Expected<PreparedValue> PrepareNumber(const KeyInfo& k, std::string_view text) {
  std::int64_t v = 0;
  if (!ParseWholeNumber(text, v)) return NotANumber(k, text);
  if (Status range = CheckRange(k, v); !range) return range.failure();
  PreparedValue out;
  out.number = v;
  return out;
}

// The encoder's refusal, with the first character the code page lacks named
// for a window (the encoder says it in English only). Which character a
// secret holds is part of the secret: its refusal names the field alone.
Error NotEncodable(const KeyInfo& k, std::string_view utf8, int codePage, const std::string& why) {
  const bool secret = IsSecretKey(k.key);
  Error e = Bad(FieldLabel(k.key) + ": " +
                (secret ? "a character of it cannot be written in code page " + std::to_string(codePage) : why));
  for (std::size_t at = 0; at < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    const std::size_t len = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    const std::string_view one = utf8.substr(at, len);
    bool whole = one.size() == len && (len == 1 ? lead < 0x80 : true);
    for (std::size_t i = 1; i < one.size(); ++i) whole &= (static_cast<unsigned char>(one[i]) & 0xC0) == 0x80;
    if (!whole) {  // a file in another encoding
      if (secret) e.message = FieldLabel(k.key) + ": it is not UTF-8 text";
      return std::move(e).Names(MessageKind::NotUtf8, std::string(k.key));
    }
    if (!settings::EncodeDeviceText(one, codePage)) {
      if (secret)
        return std::move(e).Names(MessageKind::NotEncodable, std::string(k.key),
                                  {std::string(), std::string(), std::to_string(codePage)});
      char32_t cp = len == 1 ? lead : lead & (0x7F >> len);
      for (std::size_t i = 1; i < one.size(); ++i) cp = (cp << 6) | (static_cast<unsigned char>(one[i]) & 0x3F);
      char hex[16];
      std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(cp));
      return std::move(e).Names(MessageKind::NotEncodable, std::string(k.key),
                                {std::string(one), hex, std::to_string(codePage)});
    }
    at += len;
  }
  return e;
}

Expected<PreparedValue> PrepareText(const KeyInfo& k, std::string_view utf8, const ValueRules& rules) {
  auto bytes = rules.fileText ? settings::DeviceTextFromFile(utf8, rules.codePage)
                              : settings::EncodeDeviceText(utf8, rules.codePage);
  if (!bytes) return NotEncodable(k, utf8, rules.codePage, bytes.error());
  if (Status framing = CheckFramingSafe(k.key, *bytes); !framing) return framing.failure();
  if (bytes->size() > static_cast<std::size_t>(k.capacity))
    return Bad(FieldLabel(k.key) + " is too long: " + std::to_string(bytes->size()) +
                   " bytes in the device encoding, at most " + std::to_string(k.capacity),
               MessageKind::TooLong, k.key, {std::to_string(bytes->size()), std::to_string(k.capacity)});
  if (k.key == "F4" && !rules.anyDateFormat) {
    bool known = false;
    for (auto f : kDateFormats) known |= f == *bytes;
    if (!known) return Bad(FieldLabel(k.key) + " must be one of mm-dd-yy, dd-mm-yy, yy-mm-dd, mm.dd.yy, dd.mm.yy, yy.mm.dd");
  }
  PreparedValue out;
  out.bytes = std::move(*bytes);
  return out;
}

}  // namespace

Expected<PreparedValue> PrepareValue(std::string_view key, std::string_view utf8, const ValueRules& rules) {
  const KeyInfo* k = FindKey(key);
  if (!k) return Bad("unknown key " + std::string(key));
  if (!PageOfKey(key)) return Bad(FieldLabel(key) + " is read from the tracker and cannot be set");
  if (k->kind == FieldKind::Text) return PrepareText(*k, utf8, rules);
  if (const ValueFloor* floor = FloorOf(key)) return PrepareInterval(*k, *floor, utf8, rules);
  auto number = PrepareNumber(*k, utf8);
  // Logging is on or off; the logger page sends any other value as on.
  if (number && key == "OX" && number->number > 1) {
    number->number = 1;
    number->note = "logging is sent as on (OX=1)";
  }
  return number;
}

void StorePrepared(DeviceValues& values, std::string_view key, const PreparedValue& value) {
  const KeyInfo* k = FindKey(key);
  if (!k) return;
  if (k->kind == FieldKind::Text) {
    values.SetText(key, value.bytes);
  } else {
    values.SetNumber(key, value.number);
  }
}

Expected<std::string> StoreUserValue(DeviceValues& values, std::string_view key, std::string_view utf8,
                                     const ValueRules& rules) {
  auto prepared = PrepareValue(key, utf8, rules);
  if (!prepared) return prepared.failure();
  StorePrepared(values, key, *prepared);
  return prepared->note;
}

Status StoreUserNumber(DeviceValues& values, std::string_view key, std::int64_t number) {
  const KeyInfo* k = FindKey(key);
  if (!k || k->kind == FieldKind::Text) return Bad("unknown number key " + std::string(key));
  if (Status range = CheckRange(*k, number); !range) return range;
  values.SetNumber(key, number);
  return {};
}

}  // namespace zd573
