#include "device/device_settings.h"

#include <algorithm>
#include <charconv>
#include <climits>

#include "device/sentences.h"
#include "settings/text_encoding.h"

namespace zd573 {
namespace {

constexpr KeyInfo T(std::string_view k, int cap) { return {k, FieldKind::Text, cap, AcceptRule::Any}; }
constexpr KeyInfo N(std::string_view k, FieldKind kind, AcceptRule rule) { return {k, kind, 0, rule}; }
constexpr KeyInfo B(std::string_view k) { return N(k, FieldKind::Byte, AcceptRule::Any); }
constexpr KeyInfo B01(std::string_view k) { return N(k, FieldKind::Byte, AcceptRule::ZeroOne); }
constexpr KeyInfo I32(std::string_view k) { return N(k, FieldKind::I32, AcceptRule::Any); }
constexpr KeyInfo Name(std::string_view k) { return T(k, 23); }
constexpr KeyInfo Phone(std::string_view k) { return T(k, 19); }

constexpr std::array<KeyInfo, kKeyCount> kKeys = {{
    T("B2", 15), T("OU", 15),
    T("B0", 7), T("B1", 19), T("F4", 15), B01("F5"), B01("F6"), B01("F7"),
    N("O6", FieldKind::I32, AcceptRule::TimeZone),
    Name("Va"), Name("Vb"), Name("Vc"), Name("Vd"), Name("Ve"),
    Name("Vf"), Name("Vg"), Name("Vh"), Name("Vi"), Name("Vj"),
    Name("Vk"), Name("Vl"), Name("Vm"), Name("Vn"), Name("Vo"),
    Name("Vp"), Name("Vq"), Name("Vr"), Name("Vs"), Name("Vt"),
    Phone("VA"), Phone("VB"), Phone("VC"), Phone("VD"), Phone("VE"),
    Phone("VF"), Phone("VG"), Phone("VH"), Phone("VI"), Phone("VJ"),
    Phone("VK"), Phone("VL"), Phone("VM"), Phone("VN"), Phone("VO"),
    Phone("VP"), Phone("VQ"), Phone("VR"), Phone("VS"), Phone("VT"),
    Phone("F0"), N("H2", FieldKind::U16, AcceptRule::U16Range),
    Phone("G0"), Phone("G1"), Phone("G2"), Phone("G3"), Phone("G4"), Phone("G5"),
    T("D1", 31), T("D2", 31), T("D3", 31), T("D4", 31), T("D5", 31),
    T("E0", 31), N("E1", FieldKind::U16, AcceptRule::Port),
    T("E2", 31), N("E3", FieldKind::U16, AcceptRule::Port),
    B("F8"), B("FB"), B("FE"),
    I32("XB"), B("XC"), B("XD"),
    I32("YB"), B("YC"), B("YD"),
    I32("ZB"), B("ZC"), B("ZD"),
    N("O2", FieldKind::U16, AcceptRule::U16Range), N("OX", FieldKind::Byte, AcceptRule::U16Range),
    B01("F2"), B("XA"), B("YA"), B("ZA"), B("OZ"),
}};

constexpr bool TableMatchesProtocol() {
  for (int i = 0; i < kTableKeyCount; ++i)
    if (kKeys[i + 2].key != proto::kTableKeys[i]) return false;
  return kKeys[0].key == proto::kImeiKey && kKeys[1].key == proto::kPasswordKey;
}
static_assert(TableMatchesProtocol(), "key table order differs from the protocol's");

int SlotOf(std::string_view key) {
  // Keys are two bytes; a linear scan over 85 entries is cheaper than hashing.
  if (key.size() != 2) return -1;
  for (int i = 0; i < kKeyCount; ++i)
    if (kKeys[i].key == key) return i;
  return -1;
}

bool Accepts(AcceptRule rule, std::int32_t v) {
  switch (rule) {
    case AcceptRule::Any: return true;
    case AcceptRule::ZeroOne: return v == 0 || v == 1;
    case AcceptRule::U16Range: return v >= 0 && v <= 65535;
    case AcceptRule::Port: return v <= 65535 && (v >= 1024 || v == 80);
    case AcceptRule::TimeZone: return v >= -43200 && v <= 46800;
  }
  return false;
}

std::int32_t ApplyWidth(FieldKind kind, std::int64_t v) {
  switch (kind) {
    case FieldKind::Byte: return static_cast<std::int32_t>(v & 0xFF);
    case FieldKind::U16: return static_cast<std::int32_t>(v & 0xFFFF);
    default: return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  }
}

}  // namespace

std::span<const KeyInfo> AllKeys() { return kKeys; }
std::span<const KeyInfo> TableKeys() { return std::span<const KeyInfo>(kKeys).subspan(2); }

const KeyInfo* FindKey(std::string_view key) {
  int s = SlotOf(key);
  return s < 0 ? nullptr : &kKeys[s];
}

int TableIndex(std::string_view key) {
  int s = SlotOf(key);
  return s < 2 ? -1 : s - 2;
}

std::int32_t ConvertDecimal(std::string_view text) {
  std::size_t i = 0;
  auto is_space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < text.size() && is_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > std::int64_t{INT32_MAX} + 1) v = std::int64_t{INT32_MAX} + 1;  // saturated already
  }
  if (negative) v = -v;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

DeviceValues::DeviceValues() = default;

int DeviceValues::Slot(std::string_view key) const { return SlotOf(key); }

const std::string& DeviceValues::Text(std::string_view key) const {
  static const std::string kEmpty;
  int s = Slot(key);
  return s < 0 ? kEmpty : text_[s];
}

std::int32_t DeviceValues::Number(std::string_view key) const {
  int s = Slot(key);
  return s < 0 ? 0 : number_[s];
}

std::string DeviceValues::Format(std::string_view key) const {
  int s = Slot(key);
  if (s < 0) return {};
  return kKeys[s].kind == FieldKind::Text ? text_[s] : std::to_string(number_[s]);
}

bool DeviceValues::StoreReply(std::string_view key, std::string_view value, int codePage) {
  // The field is chosen by the key's first two characters, as the device's
  // own parser does; only the received flag needs the exact key.
  int s = key.size() >= 2 ? Slot(key.substr(0, 2)) : -1;
  if (s < 0) return false;
  const KeyInfo& k = kKeys[s];
  if (k.kind == FieldKind::Text) {
    text_[s].assign(settings::CutToCharBoundary(value, static_cast<std::size_t>(k.capacity), codePage));
    return true;
  }
  std::int32_t v = ConvertDecimal(value);
  if (!Accepts(k.rule, v)) return false;
  number_[s] = ApplyWidth(k.kind, v);
  return true;
}

void DeviceValues::SetText(std::string_view key, std::string_view bytes, int codePage) {
  int s = Slot(key);
  if (s >= 0 && kKeys[s].kind == FieldKind::Text)
    text_[s].assign(settings::CutToCharBoundary(bytes, static_cast<std::size_t>(kKeys[s].capacity), codePage));
}

void DeviceValues::SetNumber(std::string_view key, std::int64_t value) {
  int s = Slot(key);
  if (s >= 0 && kKeys[s].kind != FieldKind::Text) number_[s] = ApplyWidth(kKeys[s].kind, value);
}

void DeviceSettings::StoreReplyPairs(
    std::span<const std::pair<std::string_view, std::string_view>> pairs) {
  std::lock_guard lock(mutex_);
  for (const auto& [key, value] : pairs) {
    // The flag follows the exact table match, the storage the key's field;
    // a dropped value still counts as received.
    int t = TableIndex(key);
    if (t >= 0) received_.set(static_cast<std::size_t>(t));
    values_.StoreReply(key, value, codePage_.load());
  }
}

DeviceValues DeviceSettings::Snapshot() const {
  std::lock_guard lock(mutex_);
  return values_;
}

void DeviceSettings::Update(const std::function<void(DeviceValues&)>& change) {
  std::lock_guard lock(mutex_);
  change(values_);
}

std::string DeviceSettings::Text(std::string_view key) const {
  std::lock_guard lock(mutex_);
  return values_.Text(key);
}

std::int32_t DeviceSettings::Number(std::string_view key) const {
  std::lock_guard lock(mutex_);
  return values_.Number(key);
}

void DeviceSettings::ClearReceived() {
  std::lock_guard lock(mutex_);
  received_.reset();
}

bool DeviceSettings::AllReceived() const {
  std::lock_guard lock(mutex_);
  return received_.all();
}

int DeviceSettings::ReceivedCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(received_.count());
}

bool DeviceSettings::Received(std::string_view key) const {
  int t = TableIndex(key);
  std::lock_guard lock(mutex_);
  return t >= 0 && received_.test(static_cast<std::size_t>(t));
}

std::vector<std::string_view> DeviceSettings::MissingKeys(std::size_t max) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string_view> keys;
  for (int i = 0; i < kTableKeyCount && keys.size() < max; ++i)
    if (!received_.test(static_cast<std::size_t>(i))) keys.push_back(proto::kTableKeys[i]);
  return keys;
}

}  // namespace zd573
