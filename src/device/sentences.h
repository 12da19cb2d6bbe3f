#pragma once
// The sentences the program sends to the tracker, byte for byte, and the reply parse.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/result.h"

namespace zd573 {

class DeviceSettings;
using Sentence = std::string;

// A text is inserted into a sentence verbatim, so a comma, "=", CR, LF, NUL or
// something that reads as the terminator ("*" with "!" three places on) would
// split the sentence or cut it short on the device. Such a value is refused
// with a BadValue error naming the field and the character. A lone "*" or "#"
// is fine: phone codes such as "*31#" need them.
Status CheckFramingSafe(std::string_view key, std::string_view value);

// The shape of one set sentence: its part mark (proto::kPartOnly, kPartFirst,
// kPartMiddle, kPartLast), its number in the transaction and its keys in order.
struct SentenceCut {
  char part;
  int number;
  std::span<const std::string_view> keys;
};

// The sentence of `cut`, each key followed by `value(key)`; a value that
// cannot be framed builds nothing.
Expected<Sentence> BuildSetSentence(const SentenceCut& cut, const std::function<std::string(std::string_view)>& value);

// Each page's sentences from plain values, built from the page table's cut.
// Texts are byte strings in the device encoding.
Expected<Sentence> BuildInfoSentence(int f5, int f7, std::string_view b0, std::string_view b1, int f6,
                                     std::string_view f4, int o6);
Expected<Sentence> BuildGprsSentence(const std::array<std::string_view, 5>& d1ToD5);
Sentence BuildLoggerOnSentence(int o2, int ox);
Sentence BuildLoggerOffSentence();
Expected<Sentence> BuildPasswordSentence(std::string_view password);

struct RingValues {
  int fe, f8, fb;
  struct Alarm {
    int time, mode, weekdays, melody;  // xB, xC, xD, xA
  } alarms[3];
};
std::vector<Sentence> BuildRingTransaction(const RingValues& v);

struct ContactValues {
  std::array<std::string, 20> names;    // Va..Vt
  std::array<std::string, 20> numbers;  // VA..VT
  std::array<std::string, 6> emergency; // G0..G5
  int h2 = 0;
  std::string f0;
  int f2 = 0;
};
Expected<std::vector<Sentence>> BuildContactsTransaction(const ContactValues& v);

// Queries.
Sentence BuildIdentifyQuery();
// Each key is followed by a comma, the last one too: "L1(B0,B1,)".
Sentence BuildKeysQuery(const std::vector<std::string_view>& keys);
Sentence BuildLogEraseQuery();
Sentence BuildLogDownloadQuery();
Sentence BuildMelodyPlayQuery(int melody);
Sentence BuildMelodyStopQuery();

// Reply parse results.
enum : std::uint8_t {
  kReplyNone = 0,      // no "KVs" in the line
  kReplyOther = 1,     // a reply without B2 or OU
  kReplyLastImei = 2,  // the last of B2/OU in the line was B2
  kReplyLastPassword = 3,
};

// The KEY=value pairs a reply line carries, in order, and the result code.
// Views point into `scratch`, which the function fills.
struct ReplyFields {
  std::uint8_t result = kReplyNone;
  std::vector<std::pair<std::string_view, std::string_view>> pairs;
};
ReplyFields SplitReply(std::string_view line, std::string& scratch);

// Stores every pair of one reply line into the record and sets received flags.
std::uint8_t ParseReply(std::string_view line, DeviceSettings& settings);

}  // namespace zd573
