#pragma once
// The record of all device parameters, the ordered key table and the received flags.
#include <array>
#include <atomic>
#include <bitset>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/result.h"
#include "device/protocol.h"

namespace zd573 {

enum class FieldKind : std::uint8_t { Text, Byte, U16, I32 };

// What a reply value must satisfy to be stored.
enum class AcceptRule : std::uint8_t {
  Any,        // texts; numbers keep the bits of their width
  ZeroOne,    // 0 or 1
  U16Range,   // 0 to 65535 (then the width applies: OX keeps its low 8 bits)
  Port,       // 80, or 1024 to 65535
  TimeZone,   // -43200 to 46800 seconds east of UTC
};

struct KeyInfo {
  std::string_view key;
  FieldKind kind;
  int capacity;  // bytes, texts only
  AcceptRule rule;
};

inline constexpr int kKeyCount = 85;  // B2, OU and the table
inline constexpr int kTableKeyCount = proto::kTableKeyCount;

// B2, OU, then the 83 table keys in table order.
std::span<const KeyInfo> AllKeys();
std::span<const KeyInfo> TableKeys();
const KeyInfo* FindKey(std::string_view key);
// Position in the table, or -1 for B2, OU and unknown keys.
int TableIndex(std::string_view key);

// Decimal conversion as the device's firmware tools do it: leading blanks and a
// sign accepted, stops at the first non-digit, 0 without digits, saturates at
// the 32-bit range.
std::int32_t ConvertDecimal(std::string_view text);

// Plain copyable values of all 85 keys.
class DeviceValues {
 public:
  DeviceValues();

  const std::string& Text(std::string_view key) const;
  std::int32_t Number(std::string_view key) const;
  // The value as it appears after "KEY=" in a sentence.
  std::string Format(std::string_view key) const;

  // Applies a reply value with the acceptance rule of the field named by the
  // key's first two characters; false when dropped or unknown. A long text is
  // cut to capacity on a character boundary of the code page.
  bool StoreReply(std::string_view key, std::string_view value, int codePage = kSingleByteCodePage);
  // Direct writes: texts are cut to capacity on a character boundary, numbers keep their width's bits.
  void SetText(std::string_view key, std::string_view bytes, int codePage = kSingleByteCodePage);
  void SetNumber(std::string_view key, std::int64_t value);

  static constexpr int kSingleByteCodePage = 1252;

  bool operator==(const DeviceValues&) const = default;

 private:
  int Slot(std::string_view key) const;
  std::array<std::string, kKeyCount> text_;
  std::array<std::int32_t, kKeyCount> number_{};
};

// The one program-wide record. A reader thread writes it while the GUI reads
// it, so every access takes the lock; nothing is held beyond one call.
class DeviceSettings {
 public:
  // The device text encoding, so a long reply text is never cut mid-character.
  void SetCodePage(int codePage) { codePage_.store(codePage); }
  int CodePage() const { return codePage_.load(); }

  // Stores KEY=value as a reply carries it and sets the key's received flag.
  void StoreReplyPairs(std::span<const std::pair<std::string_view, std::string_view>> pairs);

  DeviceValues Snapshot() const;
  void Update(const std::function<void(DeviceValues&)>& change);
  std::string Text(std::string_view key) const;
  std::int32_t Number(std::string_view key) const;

  void ClearReceived();
  bool AllReceived() const;
  int ReceivedCount() const;
  bool Received(std::string_view key) const;
  // The first `max` keys in table order whose flag is clear.
  std::vector<std::string_view> MissingKeys(std::size_t max) const;

 private:
  mutable std::mutex mutex_;
  std::atomic<int> codePage_{DeviceValues::kSingleByteCodePage};
  DeviceValues values_;
  std::bitset<kTableKeyCount> received_;
};

}  // namespace zd573
