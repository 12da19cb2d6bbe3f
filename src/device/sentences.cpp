#include "device/sentences.h"

#include <cstdio>

#include "device/device_settings.h"
#include "device/protocol.h"

namespace zd573 {
namespace {

const std::string kSetHead = std::string(proto::kSetHeader) + "," + std::string(proto::kProductToken) + ",";
const std::string kQueryHead = std::string(proto::kQueryHeader) + "," + std::string(proto::kProductToken) + ",";

// Appends ",KEY=value".
void Pair(std::string& s, std::string_view key, std::string_view value) {
  s += ',';
  s += key;
  s += '=';
  s += value;
}
void Pair(std::string& s, std::string_view key, int value) { Pair(s, key, std::to_string(value)); }

std::string SetHead(char kind, int index) {
  return kSetHead + kind + "," + std::to_string(index);
}

std::string End(std::string s) { return s += proto::kTerminator; }

std::string Query(std::string_view command) {
  return kQueryHead + std::string(command) + std::string(proto::kTerminator);
}

Status CheckAll(std::initializer_list<std::pair<std::string_view, std::string_view>> fields) {
  for (const auto& [key, value] : fields)
    if (auto s = CheckFramingSafe(key, value); !s) return s;
  return {};
}

}  // namespace

Status CheckFramingSafe(std::string_view key, std::string_view value) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char* what = nullptr;
    switch (value[i]) {
      case ',': what = "a comma (\",\")"; break;
      case '=': what = "an equals sign (\"=\")"; break;
      case '\r': what = "a carriage return"; break;
      case '\n': what = "a line break"; break;
      case '\0': what = "a NUL character"; break;
      // A "*" three places before a "!" reads as the end of the sentence
      // ("*QQ!"); any other "*" is plain text, as in "*31#".
      case '*':
        if (i + 3 < value.size() && value[i + 3] == '!') what = "the sentence end \"*..!\"";
        break;
      default: break;
    }
    if (what)
      return Error{"The " + FieldLabel(key) + " contains " + what + ", which the tracker's sentences cannot carry",
                   ErrorCode::BadValue, {}}
          .Names(MessageKind::BadCharacter, std::string(key),
                 {value[i] == '*' ? std::string("*..!") : std::string(1, value[i])});
  }
  return {};
}

Expected<Sentence> BuildInfoSentence(int f5, int f7, std::string_view b0, std::string_view b1, int f6,
                                     std::string_view f4, int o6) {
  if (auto s = CheckAll({{"B0", b0}, {"B1", b1}, {"F4", f4}}); !s) return s.failure();
  std::string out = SetHead(proto::kPartOnly, 0);
  Pair(out, "F5", f5);
  Pair(out, "F7", f7);
  Pair(out, "B0", b0);
  Pair(out, "B1", b1);
  Pair(out, "F6", f6);
  Pair(out, "F4", f4);
  Pair(out, "O6", o6);
  return End(std::move(out));
}

Expected<Sentence> BuildGprsSentence(const std::array<std::string_view, 5>& d) {
  static constexpr std::string_view kKeys[5] = {"D1", "D2", "D3", "D4", "D5"};
  std::string out = SetHead(proto::kPartOnly, 0);
  for (int i = 0; i < 5; ++i) {
    if (auto s = CheckFramingSafe(kKeys[i], d[i]); !s) return s.failure();
    Pair(out, kKeys[i], d[i]);
  }
  return End(std::move(out));
}

Sentence BuildLoggerOnSentence(int o2, int ox) {
  std::string out = SetHead(proto::kPartOnly, 0);
  Pair(out, "O2", o2);
  Pair(out, "OX", ox);
  return End(std::move(out));
}

Sentence BuildLoggerOffSentence() {
  std::string out = SetHead(proto::kPartOnly, 0);
  Pair(out, "OX", 0);
  return End(std::move(out));
}

Expected<Sentence> BuildPasswordSentence(std::string_view password) {
  if (auto s = CheckFramingSafe("OU", password); !s) return s.failure();
  std::string out = SetHead(proto::kPartOnly, 0);
  Pair(out, "OU", password);
  return End(std::move(out));
}

std::vector<Sentence> BuildRingTransaction(const RingValues& v) {
  const auto& x = v.alarms[0];
  const auto& y = v.alarms[1];
  const auto& z = v.alarms[2];
  std::string first = SetHead(proto::kPartFirst, 0);
  Pair(first, "FE", v.fe);
  Pair(first, "F8", v.f8);
  Pair(first, "FB", v.fb);
  Pair(first, "XB", x.time);
  Pair(first, "XC", x.mode);
  Pair(first, "XD", x.weekdays);
  Pair(first, "XA", x.melody);
  Pair(first, "YA", y.melody);  // the device takes alarm 2's melody with the first half
  std::string second = SetHead(proto::kPartLast, 1);
  Pair(second, "YB", y.time);
  Pair(second, "YC", y.mode);
  Pair(second, "YD", y.weekdays);
  Pair(second, "ZB", z.time);
  Pair(second, "ZC", z.mode);
  Pair(second, "ZD", z.weekdays);
  Pair(second, "ZA", z.melody);
  return {End(std::move(first)), End(std::move(second))};
}

Expected<std::vector<Sentence>> BuildContactsTransaction(const ContactValues& v) {
  std::vector<Sentence> out;
  out.reserve(10);
  char key[3] = {'V', 'a', 0};
  // Sentences 0..7: five contacts each, names first (Va..Vt), then numbers (VA..VT).
  for (int part = 0; part < 8; ++part) {
    std::string s = SetHead(part == 0 ? proto::kPartFirst : proto::kPartMiddle, part);
    const bool names = part < 4;
    for (int i = 0; i < 5; ++i) {
      int contact = (part % 4) * 5 + i;
      key[1] = static_cast<char>((names ? 'a' : 'A') + contact);
      const std::string& value = names ? v.names[contact] : v.numbers[contact];
      if (auto c = CheckFramingSafe(key, value); !c) return c.failure();
      Pair(s, key, value);
    }
    out.push_back(End(std::move(s)));
  }
  std::string g = SetHead(proto::kPartMiddle, 8);
  for (int slot = 0; slot < 6; ++slot) {
    char gkey[3] = {'G', static_cast<char>('0' + slot), 0};
    if (auto c = CheckFramingSafe(gkey, v.emergency[slot]); !c) return c.failure();
    Pair(g, gkey, v.emergency[slot]);
  }
  out.push_back(End(std::move(g)));
  if (auto c = CheckFramingSafe("F0", v.f0); !c) return c.failure();
  std::string last = SetHead(proto::kPartLast, 9);
  Pair(last, "H2", v.h2);
  Pair(last, "F0", v.f0);
  Pair(last, "F2", v.f2);
  out.push_back(End(std::move(last)));
  return out;
}

Sentence BuildIdentifyQuery() { return Query("L1(B2,OU)"); }

Sentence BuildKeysQuery(const std::vector<std::string_view>& keys) {
  std::string command = "L1(";
  for (auto k : keys) {
    command += k;
    command += ',';
  }
  command += ')';
  return Query(command);
}

Sentence BuildLogEraseQuery() { return Query("LC"); }
Sentence BuildLogDownloadQuery() { return Query("LB"); }
Sentence BuildMelodyPlayQuery(int melody) { return Query("LL(" + std::to_string(melody) + ")"); }
Sentence BuildMelodyStopQuery() { return Query("LL(0)"); }

ReplyFields SplitReply(std::string_view line, std::string& scratch) {
  ReplyFields out;
  // The line ends at its first NUL, as the device's C strings do.
  if (auto nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);
  auto start = line.find(proto::kReplyHeader);
  if (start == std::string_view::npos) return out;
  scratch.assign(line.substr(start));
  // The first "*" with "!" three places on is the terminator: it becomes a
  // comma so the last pair ends like the others.
  for (std::size_t i = 0; i + 3 < scratch.size(); ++i) {
    if (scratch[i] == '*' && scratch[i + 3] == '!') {
      scratch[i] = ',';
      break;
    }
  }
  out.result = kReplyOther;
  std::string_view text(scratch);
  std::size_t from = 0;
  // Only pieces followed by a comma are fields; what follows the last comma is not.
  for (auto comma = text.find(','); comma != std::string_view::npos; comma = text.find(',', from)) {
    std::string_view field = text.substr(from, comma - from);
    from = comma + 1;
    auto eq = field.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = field.substr(0, eq);
    out.pairs.emplace_back(key, field.substr(eq + 1));
    if (key == proto::kImeiKey) out.result = kReplyLastImei;
    if (key == proto::kPasswordKey) out.result = kReplyLastPassword;
  }
  return out;
}

std::uint8_t ParseReply(std::string_view line, DeviceSettings& settings) {
  std::string scratch;
  ReplyFields fields = SplitReply(line, scratch);
  if (!fields.pairs.empty()) settings.StoreReplyPairs(fields.pairs);
  return fields.result;
}

}  // namespace zd573
