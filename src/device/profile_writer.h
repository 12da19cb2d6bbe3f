#pragma once
// Writing a settings file's differences onto a tracker, then checking them:
// the pages are written whole, one after another, on a port the caller holds
// open (the one the tracker was identified on), and their keys are read back
// and compared with what was sent. The window's review sheet and the command
// line both run this on a thread that may wait.
#include <chrono>
#include <ctime>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/files.h"
#include "common/result.h"
#include "device/device_port.h"
#include "device/device_settings.h"
#include "device/page_table.h"
#include "device/settings_reader.h"
#include "device/transactions.h"

namespace zd573 {

// Reads `keys` (table keys or OU) on the open port into `into` and waits for
// them, at most `limit` or until a stop; with `pace`, counting the tracker's
// lines on from the stages before. A failure says which keys did not arrive.
Status ReadKeysOn(DevicePort& port, const std::vector<std::string_view>& keys, DeviceSettings& into,
                  std::chrono::milliseconds limit, std::stop_token stop = {}, LinePace* pace = nullptr);

struct ProfileWriteResult {
  Status status;                     // the first failure: a write, or the read-back
  std::vector<Page> written;         // pages that reached the tracker whole, in order
  // The page after those, when a failure or a stop cut it short: its first
  // `cutSent` of `cutOf` sentences reached the line (0: none of it did).
  int cutSent = 0;
  int cutOf = 0;
  std::vector<std::string> untaken;  // keys read back other than sent; empty: all taken
  DeviceValues readBack;             // what the read-back found
  bool Verified() const { return status && untaken.empty(); }
};

// Writes `pages` whole with `target`'s values, in order, with the pause after
// each sentence; `options.progress` counts the sentences of all the pages
// together ("Writing 5 of 12"), and `starting` hears each page as it begins.
// A value that cannot be sent is refused before anything is. `settings` then
// holds what reached the tracker. The pages' keys are then read back (at most
// `readLimit`; zero: no read-back, and nothing is verified) and compared with
// what was sent, on the line count of `options.listen` when given. A stop
// ends it with a Stopped error, without a read-back: `options.stop` after the
// sentence under way, `options.pageStop` after the page under way.
ProfileWriteResult WriteProfilePages(DevicePort& port, DeviceSettings& settings, const DeviceValues& target,
                                     const std::vector<Page>& pages, const WriteOptions& options,
                                     std::chrono::milliseconds readLimit,
                                     const std::function<void(Page)>& starting = {});

// One line of a provisioning report: one tracker plugged in, set up or not.
struct ProvisionRow {
  std::string imei;
  std::string name;  // the name stored for the tracker
  int pagesWritten = 0;
  bool ok = false;
  std::string reason;  // what happened, in words; never a password
  // Nothing was sent on purpose: set up before in this run and plugged in
  // again, or not in the roster.
  bool skipped = false;
  int rosterRow = 0;  // the roster's row for the tracker; 0: none (an empty cell)
};

// What the report did by itself that the user should hear of.
struct ReportEvent {
  enum class Kind {
    EndedTornRow,        // an earlier run left half a row at the end: it was ended first
    ContinuedElsewhere,  // the report was deleted, replaced or moved: rows go on in `path`
  };
  Kind kind = Kind::EndedTornRow;
  std::string path;  // the file the rows go to
  std::string was;   // ContinuedElsewhere: the path that no longer names the report
};

// The provisioning report, a CSV file appended to one row per tracker:
// time_utc,imei,name,pages_written,result,reason,roster_row, where result is
// ok, failed or skipped (set up before in this run, or not in the roster). A
// new file starts with that header; each row is written whole or not at all
// and made durable at once, so a report survives a crash or a full disk. A
// report begun before roster_row was added gets it too, last, where readers
// by position do not look.
class ProvisionReport {
 public:
  // Opens `path` (UTF-8) for appending; a file that is no regular file is refused.
  Status Open(const std::string& path);
  // Adds the row. A report deleted, replaced or moved since it was opened is
  // noticed first, and the rows go on in a new file beside it.
  Status Append(const ProvisionRow& row, std::time_t when);
  // The file the rows go to now.
  const std::string& Path() const { return path_; }
  // What happened since last asked.
  std::vector<ReportEvent> TakeEvents() { return std::exchange(events_, {}); }

 private:
  Status OpenFile(const std::string& path, bool mayExist);

  std::string path_;
  files::AppendFile file_;
  std::vector<ReportEvent> events_;
};

// The row as the report keeps it, quoted as CSV needs, time in UTC, with its line break.
std::string FormatReportRow(const ProvisionRow& row, std::time_t when);

}  // namespace zd573
