#pragma once
// The tracker's side of the line protocol: reading the sentences the program
// writes and building what the tracker sends back. Written independently of the
// program's own builders and parser so that a fault on either side shows up.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zd573::sim {

// The 85 keys the tracker answers for: IMEI, password, then the key table.
const std::vector<std::string>& KnownKeys();
bool IsKnownKey(std::string_view key);

struct Command {
  enum class Type {
    kMalformed,     // framing broken: only journaled
    kQueryKeys,     // L1(k1,k2,...)
    kEraseLog,      // LC
    kSendLog,       // LB
    kPlayMelody,    // LL(n)
    kUnknownQuery,  // well framed query with a command the tracker does not know
    kSet,           // KVS set sentence
  };
  Type type = Type::kMalformed;
  std::vector<std::string> keys;  // L1 keys in the order asked
  int melody = 0;                 // LL(n)
  int partKind = 0;               // set: 3 only, 1 first, 0 middle, 2 last
  int partIndex = 0;              // set: position within its transaction
  std::vector<std::pair<std::string, std::string>> pairs;  // set: KEY=value as given
  std::string error;              // why a sentence is malformed
};

// `line` is one received line including its LF.
Command ParseSentence(std::string_view line);

// "KVs,K1=v1,K2=v2*QQ!\r\n"
std::string BuildReply(const std::vector<std::pair<std::string, std::string>>& pairs);

// One log data packet of `count` 20-byte records; a bad check byte on request.
std::string BuildPacket(std::uint16_t seq, const std::uint8_t* records, int count, bool badCheck);

// An NMEA-like status line ("$GPRMC,...*hh\r\n"); `n` picks the sentence type.
std::string StatusLine(unsigned n, long long unixSeconds);

// Journal form: \r \n \\ and \xHH for other bytes outside printable ASCII.
std::string EscapeBytes(std::string_view bytes);
// Inverse of EscapeBytes; an unknown escape keeps its backslash.
std::string UnescapeBytes(std::string_view text);

}  // namespace zd573::sim
