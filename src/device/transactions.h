#pragma once
// Each configuration page writes the tracker with one transaction of set
// sentences built from the settings record. The GUI pages and the command
// line share these functions.
#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "device/device_port.h"
#include "device/device_settings.h"
#include "device/page_table.h"
#include "device/sentences.h"
#include "device/timing.h"

namespace zd573 {

struct LinePace;

// The six date formats the tracker knows, sent as F4 whatever the display language.
inline constexpr std::string_view kDateFormats[6] = {"mm-dd-yy", "dd-mm-yy", "yy-mm-dd",
                                                     "mm.dd.yy", "dd.mm.yy", "yy.mm.dd"};

// Applies the page's own rules to the values it is about to send (a report
// interval of at most 3 becomes 3; logging is stored as 0 or 1 and an interval
// of 0 becomes 1 while logging is on) and builds its sentences from its row of
// the page table. Nothing is built when a text cannot be framed.
Expected<std::vector<Sentence>> BuildPageTransaction(Page page, DeviceValues& values);

struct WriteOptions {
  std::chrono::milliseconds pause = timing::kSetSentencePause;  // after each sentence
  // Called on the writing thread after each sentence has reached the line
  // (its pause still to come): sentences written, of how many.
  std::function<void(int written, int total)> progress;
  // A stop ends the writing between sentences, or cuts a pause short; a
  // sentence begun always goes out whole (half of one would break the
  // device's framing).
  std::stop_token stop;
  // The session's line count: each pause is spent reading the port and
  // counting the tracker's lines, so the read-back that follows need not wait
  // for ten more; a port that fails meanwhile ends the writing (Disconnected).
  LinePace* listen = nullptr;
  // A gentler stop, for pages written one after another: the page under way
  // is finished (every sentence and its pause), then no other page is begun
  // and nothing is read back. `stop` still ends it after the sentence.
  std::stop_token pageStop{};
};

// The keys a set sentence carries (",KEY=value" fields).
std::vector<std::string> SentenceKeys(const Sentence& sentence);

struct WriteOutcome {
  Status status;
  int written = 0;  // sentences that reached the line
};

// Writes the sentences in order, each as its own write, pausing after each;
// stops at the first failed write, or when a stop is requested (a Stopped error).
// `written` is called after each sentence that reached the line.
WriteOutcome WriteTransaction(DevicePort& port, const std::vector<Sentence>& sentences,
                              const WriteOptions& options = {},
                              const std::function<void(const Sentence&)>& written = {});

struct ApplyResult {
  Status status;
  bool started = false;  // the writing began: the record holds what reached the tracker from here on
  int written = 0;          // sentences that reached the line
  int total = 0;            // sentences of the transaction
  DeviceValues stored;      // the record after the Apply: what the page shows again
};

// A page's Apply on a port the caller holds open, and keeps open: check and
// build first (a value that cannot be sent is a BadValue error naming the
// field, and nothing is written), then write. The record takes each
// sentence's values once that sentence has reached the line, so a
// transaction cut short leaves the rest as edits. Only the page's own keys
// are taken from `edited`; the rest of the record stays.
ApplyResult ApplyPageOn(DevicePort& port, Page page, DeviceSettings& settings, const DeviceValues& edited,
                        const WriteOptions& options = {});

// Whether ApplyPageOn could build `edited`'s sentences: a value that cannot
// be sent is named (BadValue) before anything touches the port.
Status CheckPageSendable(Page page, const DeviceValues& edited);

// Writes one query on a port the caller holds open, and pauses (melody
// play/stop, log erase).
Status SendQueryOn(DevicePort& port, const Sentence& query, const WriteOptions& options = {});

}  // namespace zd573
