#include "sim_protocol.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "device/protocol.h"

namespace zd573::sim {

namespace {

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Small decimal numbers only: the tracker has no use for more than nine digits.
bool ParseSmallNumber(std::string_view s, int* out) {
  if (!AllDigits(s) || s.size() > 9) return false;
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  *out = v;
  return true;
}

std::vector<std::string_view> SplitCommas(std::string_view s) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    size_t comma = s.find(',', start);
    if (comma == std::string_view::npos) {
      parts.push_back(s.substr(start));
      return parts;
    }
    parts.push_back(s.substr(start, comma - start));
    start = comma + 1;
  }
}

Command Malformed(std::string why) {
  Command c;
  c.type = Command::Type::kMalformed;
  c.error = std::move(why);
  return c;
}

Command ParseQuery(std::string_view cmd) {
  Command c;
  if (cmd == "LB") {
    c.type = Command::Type::kSendLog;
    return c;
  }
  if (cmd == "LC") {
    c.type = Command::Type::kEraseLog;
    return c;
  }
  if (cmd.starts_with("LL(")) {
    if (!cmd.ends_with(")")) return Malformed("LL without closing parenthesis");
    if (!ParseSmallNumber(cmd.substr(3, cmd.size() - 4), &c.melody))
      return Malformed("LL without a melody number");
    c.type = Command::Type::kPlayMelody;
    return c;
  }
  if (cmd.starts_with("L1(")) {
    if (!cmd.ends_with(")")) return Malformed("L1 without closing parenthesis");
    std::string_view list = cmd.substr(3, cmd.size() - 4);
    c.type = Command::Type::kQueryKeys;
    if (list.empty()) return c;
    // One trailing comma is how the program ends its key lists.
    if (list.back() == ',') list.remove_suffix(1);
    for (std::string_view key : SplitCommas(list)) {
      if (key.empty()) return Malformed("empty key in L1 list");
      c.keys.emplace_back(key);
    }
    return c;
  }
  c.type = Command::Type::kUnknownQuery;
  return c;
}

Command ParseSet(std::string_view body) {
  // body: <kind>,<index>,K=v,...
  std::vector<std::string_view> fields = SplitCommas(body);
  if (fields.size() < 3) return Malformed("set sentence without a KEY=value field");
  Command c;
  c.type = Command::Type::kSet;
  if (fields[0].size() != 1 || fields[0][0] < '0' || fields[0][0] > '3')
    return Malformed("bad part kind");
  c.partKind = fields[0][0] - '0';
  if (!ParseSmallNumber(fields[1], &c.partIndex)) return Malformed("bad part index");
  for (size_t i = 2; i < fields.size(); ++i) {
    std::string_view f = fields[i];
    size_t eq = f.find('=');
    // A set sentence is applied whole or not at all.
    if (eq != 2) return Malformed("field " + std::to_string(i + 1) + " is not KEY=value");
    c.pairs.emplace_back(std::string(f.substr(0, 2)), std::string(f.substr(3)));
  }
  return c;
}

}  // namespace

const std::vector<std::string>& KnownKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> k;
    k.emplace_back(proto::kImeiKey);
    k.emplace_back(proto::kPasswordKey);
    for (std::string_view t : proto::kTableKeys) k.emplace_back(t);
    return k;
  }();
  return keys;
}

bool IsKnownKey(std::string_view key) {
  const auto& keys = KnownKeys();
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

Command ParseSentence(std::string_view line) {
  if (!line.ends_with(proto::kTerminator)) return Malformed("no *QQ!\\r\\n terminator");
  std::string_view body = line.substr(0, line.size() - proto::kTerminator.size());
  const std::string queryHead = std::string(proto::kQueryHeader) + "," + std::string(proto::kProductToken) + ",";
  const std::string setHead = std::string(proto::kSetHeader) + "," + std::string(proto::kProductToken) + ",";
  if (body.starts_with(queryHead)) return ParseQuery(body.substr(queryHead.size()));
  if (body.starts_with(setHead)) return ParseSet(body.substr(setHead.size()));
  return Malformed("unknown header or product token");
}

std::string BuildReply(const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::string out(proto::kReplyHeader);
  for (const auto& [key, value] : pairs) {
    out += ',';
    out += key;
    out += '=';
    out += value;
  }
  out += proto::kTerminator;
  return out;
}

std::string BuildPacket(std::uint16_t seq, const std::uint8_t* records, int count, bool badCheck) {
  const int length = proto::kPacketOverhead + proto::kRecordSize * count;
  std::string p;
  p.reserve(static_cast<size_t>(length));
  p += static_cast<char>(proto::kPacketStart);
  p += static_cast<char>(proto::kPacketDollar);
  p += static_cast<char>(length);
  p += static_cast<char>(proto::kLogPacketType);
  p += static_cast<char>(seq >> 8);
  p += static_cast<char>(seq & 0xFF);
  p.append(reinterpret_cast<const char*>(records), static_cast<size_t>(proto::kRecordSize * count));
  std::uint8_t check = 0;
  for (size_t i = 2; i < p.size(); ++i) check ^= static_cast<std::uint8_t>(p[i]);
  if (badCheck) check ^= 0x5A;
  p += static_cast<char>(check);
  p += static_cast<char>(proto::kPacketEnd);
  return p;
}

std::string StatusLine(unsigned n, long long unixSeconds) {
  std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char body[160];
  switch (n % 3) {
    case 0:
      std::snprintf(body, sizeof body, "GPRMC,%02d%02d%02d.00,A,4722.6140,N,00832.5020,E,0.%u,%u.0,%02d%02d%02d,,,A",
                    tm.tm_hour, tm.tm_min, tm.tm_sec, n % 10, n % 360, tm.tm_mday, tm.tm_mon + 1,
                    tm.tm_year % 100);
      break;
    case 1:
      std::snprintf(body, sizeof body, "GPGGA,%02d%02d%02d.00,4722.6140,N,00832.5020,E,1,%02u,1.%u,408.%u,M,47.3,M,,",
                    tm.tm_hour, tm.tm_min, tm.tm_sec, 4 + n % 8, n % 10, n % 10);
      break;
    default:
      std::snprintf(body, sizeof body, "GPGSA,A,3,04,05,09,12,%02u,24,,,,,,,2.5,1.3,2.1", 13 + n % 10);
      break;
  }
  unsigned char sum = 0;
  for (const char* p = body; *p; ++p) sum ^= static_cast<unsigned char>(*p);
  char line[200];
  std::snprintf(line, sizeof line, "$%s*%02X\r\n", body, sum);
  return line;
}

std::string EscapeBytes(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() + 8);
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c >= 0x20 && c < 0x7F) {
      out += ch;
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::string UnescapeBytes(std::string_view text) {
  auto hexValue = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\' || i + 1 >= text.size()) {
      out += c;
      continue;
    }
    char next = text[i + 1];
    if (next == 'r') {
      out += '\r';
      ++i;
    } else if (next == 'n') {
      out += '\n';
      ++i;
    } else if (next == '\\') {
      out += '\\';
      ++i;
    } else if (next == 'x' && i + 3 < text.size() && hexValue(text[i + 2]) >= 0 && hexValue(text[i + 3]) >= 0) {
      out += static_cast<char>(hexValue(text[i + 2]) * 16 + hexValue(text[i + 3]));
      i += 3;
    } else {
      out += c;  // a lone backslash, as people type in paths
    }
  }
  return out;
}

}  // namespace zd573::sim
