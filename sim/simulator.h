#pragma once
// A simulated tracker on a pseudo-terminal: the other end of the serial line
// for tests, demos and benchmarks. One thread serves the pty's master side.
//
// What it does on the line:
// - a status line of its own every lineMs ("$GPRMC/$GPGGA/$GPGSA,...*hh\r\n");
//   none while a log stream is being sent or after a stall; dropped, never
//   queued up, while nobody reads;
// - "KVC,<token>,L1(k1,k2,...)*QQ!\r\n" (one trailing comma allowed) is answered
//   with "KVs,k1=v1,...*QQ!\r\n" for the asked keys it knows, in the order asked;
//   none known, no reply; with splitReplies, replies of 1 to 3 pairs with a
//   status line between them;
// - "KVS,<token>,<kind 0-3>,<index>,K=v,...*QQ!\r\n" stores every known key's
//   value as the text given; a sentence with a field that is not KEY=value (a
//   trailing comma, say) is applied not at all;
// - "LC" erases the log, "LL(n)" remembers n, "LB" sends two text lines,
//   "dataCount=N\r\n" (N off by countOffset; nothing more when the log is empty), a text line, "===\r\n" and
//   packets of up to 12 records, sequence numbers from 0 (with pauseInPacket,
//   each packet longer than that stops for pauseMs after that many bytes);
// - every received line is journaled, well formed or not (malformed ones have
//   no other effect); a line still without LF after 500 ms of quiet, or at
//   Stop, is journaled as it is.
// The effects of a sentence (state, state file, ClearCount, LastMelody) are in
// place before WaitForSentences sees it.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zd573::sim {

struct Options {
  int lineMs = 100;            // a status line of its own every lineMs (0 = none)
  bool splitReplies = false;   // a reply may be split over several lines / interleaved with status lines
  std::string journalPath;     // append one line per received sentence: "<ms> <escaped bytes>"
  std::string statePath;       // ini file with [DEVICE] KEY=value for the 85 values; loaded at start, saved on change
  std::string logPath;         // raw log file (array of 20-byte records) served on LB
  int records = -1;            // generate this many records instead (a plausible moving track, mixed fix codes)
  int badCheckEvery = 0;       // every K-th packet gets a wrong check byte
  int stallAfterRecords = -1;  // stop sending the log after this many records (keep the line open, send nothing)
  bool silent = false;         // never send anything at all
  bool fragment = false;       // write in random small pieces
  int baud = 0;                // throttle output to baud/10 bytes per second (0 = as fast as possible)
  bool noise = false;          // stray bytes between packets
  int pauseInPacket = -1;      // pause after this many bytes of every log packet longer than that (-1 = never)
  int pauseMs = 400;           // how long that pause is
  int countOffset = 0;         // the count line announces this many records more (or fewer) than follow
  int answerQueries = -1;      // answer only this many queries, then none (status lines go on; -1 = every one)
  // Replies that cannot be read: "unterminated" (no "*QQ!\r\n", so the next
  // line runs into them) or "garbage" (random bytes and a line end instead).
  std::string replyFault;
  unsigned seed = 1;
};

// Records generated when neither logPath nor records is given.
inline constexpr int kDefaultRecords = 100;

struct JournalEntry {
  long long ms;       // monotonic clock, milliseconds since Start
  std::string bytes;  // the sentence as received, up to and including its LF
};

class Simulator {
 public:
  explicit Simulator(Options options);
  ~Simulator();  // stops
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  bool Start(std::string* error);  // loads state and log, opens the pty, starts its thread
  void Stop();                     // closes everything; a reader on the slave sees a hang-up
  std::string SlavePath() const;   // e.g. /dev/pts/7

  std::vector<JournalEntry> Journal() const;  // every sentence received, in order (thread-safe)
  bool WaitForSentences(size_t count, int timeoutMs) const;

  std::string Value(std::string_view key) const;  // current value of one of the 85 keys ("" if unknown)
  void SetValue(std::string_view key, std::string value);  // unknown keys are ignored
  std::vector<std::uint8_t> LogBytes() const;  // the raw log it serves (generated or loaded)
  int ClearCount() const;                      // how many "LC" were received
  int LastMelody() const;                      // n of the last "LL(n)" (-1 before any)
  std::string LastError() const;               // last failure to save state or journal ("" if none)

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zd573::sim
