#pragma once
// A roster: each tracker's own values beside a shared profile. It is a CSV
// file (UTF-8, comma-separated, cells quoted as RFC 4180), one row per
// tracker: the first column IMEI, then keys of the tracker as column names,
// and optionally `name`, the name the program keeps for that IMEI. The plan
// for a tracker is the profile plus its row. A roster is read and checked
// whole before any tracker is touched; every fault is structured
// (RosterProblem) so a window can word it, and DescribeRoster words it for
// the command line.
//
// Texts of a profile and of a roster may hold {name} and {imei}, filled per
// tracker with its name and IMEI (ValuesFor); a backup (a file naming its
// tracker) is sent as it is.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "device/profile.h"
#include "device/user_values.h"

namespace zd573 {

inline constexpr std::string_view kRosterImeiColumn = "IMEI";
inline constexpr std::string_view kRosterNameColumn = "name";

// The keys a roster may give: those that belong to one tracker, its SIM and
// the people it calls (SIM PIN B0, own number B1, the contacts' names and
// numbers Va..Vt and VA..VT, the emergency numbers G0..G5, the SMS report
// number F0), in the order a roster made from backups lists them. Every other
// key is shared by a fleet and belongs in the profile; the password is the
// one given for the whole run.
std::span<const std::string_view> RosterKeys();
bool IsRosterKey(std::string_view key);

struct RosterRow {
  int row = 0;        // as a spreadsheet counts it: the header is row 1
  std::string imei;   // 15 digits
  std::string name;   // the name cell; empty when none is given
  // The cells that are not empty (an empty one leaves the value as the
  // profile or the tracker has it), in column order, UTF-8; `line` is the row.
  std::vector<ProfileLine> values;
};

struct Roster {
  std::string file;               // as messages name it
  std::vector<std::string> keys;  // its key columns, in file order
  std::vector<RosterRow> rows;
  const RosterRow* Find(std::string_view imei) const;
};

enum class RosterFault : std::uint8_t {
  None,
  Unreadable,     // the file cannot be read, is no regular file or is too large (`error`)
  NotCsv,         // a quote out of place, or a quoted cell never closed (`row`; `column`: the cell's number)
  NoImeiColumn,   // the first column is not IMEI
  UnknownColumn,  // `column` is neither IMEI, name nor a key of the tracker
  NotPerTracker,  // `column` is a key every tracker shares: it belongs in the profile
  ColumnTwice,    // `column` heads two columns
  InProfile,      // `column` is also a key of the profile: which value is meant cannot be known
  ExtraCells,     // `row` has more cells than the header has columns
  NoImei,         // `row` has cells but no IMEI
  BadImei,        // `row`'s IMEI (`value`) is not 15 digits
  ImeiTwice,      // `row` repeats the IMEI of `firstRow`
  BadName,        // `row`'s name holds a control character or is too long to keep
  BadValue,       // a page refuses the cell at `row`, `column`; `error` is its refusal, naming the field
  NoRows,         // a header, and no tracker
};

struct RosterProblem {
  RosterFault fault = RosterFault::None;
  std::string file;
  int row = 0;          // as a spreadsheet counts it; 0 when the fault is the file's
  std::string column;   // the column's name as the header gives it
  int firstRow = 0;     // ImeiTwice: the row that gave the IMEI first
  std::string value;    // BadImei: the cell; ImeiTwice: the IMEI; InProfile: the profile and its line
  Error error;          // Unreadable, BadValue: why
  bool ok() const { return fault == RosterFault::None; }
};

// The problem in English for the command line, naming file, row and column:
// "fleet.csv row 3, column VA: phone number of contact 1 (VA) is too long: ...".
std::string DescribeRoster(const RosterProblem& problem);

// How a roster's cells are checked: in the device text encoding of the
// tracker each row is for.
struct RosterRules {
  int codePage = DeviceValues::kSingleByteCodePage;
  // A tracker's own text encoding by IMEI, if it has one; else codePage.
  std::function<int(const std::string& imei)> codePageOf;
};

struct RosterRead {
  Roster roster;
  RosterProblem problem;
  bool ok() const { return problem.ok(); }
};

// Reads a roster from `text`; `file` names it in the problems. Every cell is
// checked as its page would check it (a text holding {name} or {imei} with
// those left out: its length is known per tracker only).
RosterRead ParseRoster(std::string_view text, const std::string& file, const RosterRules& rules);
// The same for a file; anything but a regular file of at most 1 MiB is refused unread.
RosterRead ReadRoster(const std::string& path, const RosterRules& rules);

// The roster as a CSV file: IMEI, name (when any row has one), then its key
// columns; a cell is quoted when it must be for ParseRoster to read it back.
std::string FormatRoster(const Roster& roster);

// Whether a profile and a roster may go together: no column of the roster
// may also be a key of the profile (`profileFile` names it).
RosterProblem CheckRosterBeside(const Roster& roster, const Profile& profile, const std::string& profileFile);

// A profile file beside a roster may be empty: such a file is an empty
// profile. Any other file is read as ReadProfile reads it.
Expected<Profile> ReadProfileBesideRoster(const std::string& path);

// Templates: what stands for the tracker's name and IMEI in a text.
inline constexpr std::string_view kNameTemplate = "{name}";
inline constexpr std::string_view kImeiTemplate = "{imei}";
bool HasTemplate(std::string_view text);

// Who a tracker is, for its templates (UTF-8).
struct TrackerTexts {
  std::string imei;
  std::string name;  // the roster's name cell, else the name kept for the IMEI; empty: none
};

// Every value checked as PrepareProfile checks it, except that a text with
// {name} or {imei} is checked with those left out (how long it gets is
// known per tracker only). The values keep their templates unfilled: they
// say which keys and pages a file touches, and are never sent. A backup (a
// file naming its tracker) is checked as PrepareProfile does.
Expected<PreparedProfile> PrepareProfileTemplates(const Profile& profile, const ValueRules& rules,
                                                  const std::string& name, std::vector<std::string>* notes = nullptr);

// The values one tracker gets: the profile's, then its roster row's (`row`
// may be null), each text's {name} and {imei} filled with `tracker`'s (not in
// a backup, which is sent as it is), each prepared as its page would in the
// tracker's encoding (`rules`). A refusal names the file and the line, or the
// roster, row and column, and its `field` is the key; `byTemplate` then says
// whether filling a template caused it, which refuses this tracker alone:
// the error's kind says how the filled text fails its page (TooLong,
// BadCharacter, NotEncodable, ...), MessageKind::None that {name} has no name
// to stand for.
Expected<PreparedProfile> ValuesFor(const Profile& profile, const std::string& profileFile, const RosterRow* row,
                                    const std::string& rosterFile, const TrackerTexts& tracker,
                                    const ValueRules& rules, bool* byTemplate = nullptr);

// A roster made from a folder of backups (`zd573 backup --each`): one row per
// backup FOLDER/IMEI.ini, by IMEI, with the roster keys the backups hold
// (columns every backup leaves empty are left out) and, when any tracker has
// one, the name kept for it (`nameOf`, by IMEI; empty: none).
struct SkippedFile {
  std::string path;
  Error why;
};
struct BackupsRoster {
  std::string text;                  // the CSV
  int trackers = 0;                  // rows
  std::vector<std::string> secrets;  // secret columns it holds (B0)
  std::vector<std::string> left;     // secret columns left out (without `withSecrets`)
  std::vector<SkippedFile> skipped;  // files in the folder that are no backup of a tracker
};
// Refused when the folder cannot be read or two backups are of one tracker.
// Secrets (the SIM PIN) go in only `withSecrets`.
Expected<BackupsRoster> RosterFromBackups(const std::string& folder,
                                          const std::function<std::string(const std::string& imei)>& nameOf,
                                          bool withSecrets);

}  // namespace zd573
