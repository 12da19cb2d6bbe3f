#include "device/sentences.h"

#include <cstdio>

#include "device/device_settings.h"
#include "device/page_table.h"
#include "device/profile.h"
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

std::string SetHead(char kind, int index) {
  return kSetHead + kind + "," + std::to_string(index);
}

std::string End(std::string s) { return s += proto::kTerminator; }

std::string Query(std::string_view command) {
  return kQueryHead + std::string(command) + std::string(proto::kTerminator);
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
    // Which character a secret holds is part of the secret: only the field is named.
    if (what && IsSecretKey(key))
      return Error{"The " + FieldLabel(key) +
                       " holds a character the tracker's sentences cannot carry (a comma, an equals sign, a line "
                       "break, a NUL or the sentence end \"*..!\")",
                   ErrorCode::BadValue, {}}
          .Names(MessageKind::BadCharacter, std::string(key));
    if (what)
      return Error{"The " + FieldLabel(key) + " contains " + what + ", which the tracker's sentences cannot carry",
                   ErrorCode::BadValue, {}}
          .Names(MessageKind::BadCharacter, std::string(key),
                 {value[i] == '*' ? std::string("*..!") : std::string(1, value[i])});
  }
  return {};
}

Expected<Sentence> BuildSetSentence(const SentenceCut& cut, const std::function<std::string(std::string_view)>& value) {
  std::string out = SetHead(cut.part, cut.number);
  for (std::string_view key : cut.keys) {
    const std::string v = value(key);
    if (auto s = CheckFramingSafe(key, v); !s) return s.failure();
    Pair(out, key, v);
  }
  return End(std::move(out));
}

namespace {

// The page's sentences with the given values, one per key in sentence order.
Expected<std::vector<Sentence>> BuildInOrder(Page page, const std::vector<std::string>& values) {
  std::vector<Sentence> out;
  std::size_t next = 0;
  for (const SentenceCut& cut : FindPageRow(page)->sentences) {
    auto s = BuildSetSentence(cut, [&](std::string_view) { return next < values.size() ? values[next++] : std::string(); });
    if (!s) return s.failure();
    out.push_back(std::move(*s));
  }
  return out;
}

Expected<Sentence> OnlySentence(Page page, const std::vector<std::string>& values) {
  auto all = BuildInOrder(page, values);
  if (!all) return all.failure();
  return std::move(all->front());
}

std::string Num(int v) { return std::to_string(v); }

}  // namespace

Expected<Sentence> BuildInfoSentence(int f5, int f7, std::string_view b0, std::string_view b1, int f6,
                                     std::string_view f4, int o6) {
  return OnlySentence(Page::Info, {Num(f5), Num(f7), std::string(b0), std::string(b1), Num(f6), std::string(f4), Num(o6)});
}

Expected<Sentence> BuildGprsSentence(const std::array<std::string_view, 5>& d) {
  return OnlySentence(Page::Gprs, {d.begin(), d.end()});
}

Sentence BuildLoggerOnSentence(int o2, int ox) { return *OnlySentence(Page::Logger, {Num(o2), Num(ox)}); }

Sentence BuildLoggerOffSentence() {
  DeviceValues off;  // logging off: the logger page sends OX=0 alone
  return BuildRowTransaction(*FindPageRow(Page::Logger), off)->front();
}

Expected<Sentence> BuildPasswordSentence(std::string_view password) {
  return OnlySentence(Page::Password, {std::string(password)});
}

std::vector<Sentence> BuildRingTransaction(const RingValues& v) {
  const auto& [x, y, z] = v.alarms;
  return *BuildInOrder(Page::Ring, {Num(v.fe), Num(v.f8), Num(v.fb), Num(x.time), Num(x.mode), Num(x.weekdays),
                                    Num(x.melody), Num(y.melody), Num(y.time), Num(y.mode), Num(y.weekdays),
                                    Num(z.time), Num(z.mode), Num(z.weekdays), Num(z.melody)});
}

Expected<std::vector<Sentence>> BuildContactsTransaction(const ContactValues& v) {
  std::vector<std::string> values(v.names.begin(), v.names.end());
  values.insert(values.end(), v.numbers.begin(), v.numbers.end());
  values.insert(values.end(), v.emergency.begin(), v.emergency.end());
  values.insert(values.end(), {Num(v.h2), v.f0, Num(v.f2)});
  return BuildInOrder(Page::Contacts, values);
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
