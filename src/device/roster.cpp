#include "device/roster.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <system_error>

#include "common/files.h"
#include "common/printable.h"
#include "device/page_table.h"
#include "settings/ini_file.h"
#include "settings/paths.h"

namespace zd573 {
namespace {

namespace fs = std::filesystem;

// Twenty trackers take a few kilobytes; a fleet of thousands fits well below this.
constexpr std::size_t kMaxRosterBytes = 1024 * 1024;

constexpr std::string_view kRosterKeys[] = {
    "Va", "VA", "Vb", "VB", "Vc", "VC", "Vd", "VD", "Ve", "VE", "Vf", "VF", "Vg", "VG", "Vh", "VH", "Vi",
    "VI", "Vj", "VJ", "Vk", "VK", "Vl", "VL", "Vm", "VM", "Vn", "VN", "Vo", "VO", "Vp", "VP", "Vq", "VQ",
    "Vr", "VR", "Vs", "VS", "Vt", "VT", "G0", "G1", "G2", "G3", "G4", "G5", "F0", "B1", "B0",
};

struct Cell {
  std::string text;
  bool quoted = false;
};
struct Record {
  int row = 0;
  std::vector<Cell> cells;
  bool Blank() const {
    return std::all_of(cells.begin(), cells.end(), [](const Cell& c) { return c.text.empty(); });
  }
};

std::string Trim(std::string_view v) {
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  return std::string(v);
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

RosterProblem Problem(RosterFault fault, const std::string& file, int row = 0, std::string column = {}) {
  RosterProblem p;
  p.fault = fault;
  p.file = file;
  p.row = row;
  p.column = std::move(column);
  return p;
}

// RFC 4180 records. A cell that is not quoted loses its outer blanks (a
// spreadsheet's "a, b"); a quoted one keeps every character, line breaks too.
// A quote inside an unquoted cell, text after a closing quote or a quote never
// closed is refused: which cells were meant cannot be known.
bool SplitRecords(std::string_view text, const std::string& file, std::vector<Record>& out, RosterProblem& problem) {
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.remove_prefix(3);
  std::size_t pos = 0;
  int row = 0;
  while (pos < text.size()) {
    Record record;
    record.row = ++row;
    for (bool more = true; more;) {
      Cell cell;
      const auto bad = [&] {
        problem = Problem(RosterFault::NotCsv, file, row, std::to_string(record.cells.size() + 1));
        return false;
      };
      std::size_t start = pos;
      while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
      if (pos < text.size() && text[pos] == '"') {
        cell.quoted = true;
        for (++pos;; ++pos) {
          if (pos >= text.size()) return bad();
          if (text[pos] != '"') {
            cell.text += text[pos];
          } else if (pos + 1 < text.size() && text[pos + 1] == '"') {
            cell.text += '"';
            ++pos;
          } else {
            ++pos;
            break;
          }
        }
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
        if (pos < text.size() && text[pos] != ',' && text[pos] != '\r' && text[pos] != '\n') return bad();
      } else {
        pos = start;
        const std::size_t end = std::min(text.find_first_of(",\r\n", pos), text.size());
        const std::string_view raw = text.substr(pos, end - pos);
        if (raw.find('"') != std::string_view::npos) return bad();
        cell.text = Trim(raw);
        pos = end;
      }
      record.cells.push_back(std::move(cell));
      if (pos < text.size() && text[pos] == ',') {
        ++pos;
      } else {
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
        more = false;
      }
    }
    out.push_back(std::move(record));
  }
  return true;
}

bool IsImei(std::string_view imei) {
  return imei.size() == 15 && std::all_of(imei.begin(), imei.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Replace(std::string text, std::string_view what, std::string_view with) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

// The text with its templates left out: what every tracker's text holds at least.
std::string WithoutTemplates(const std::string& text) {
  return Replace(Replace(text, kNameTemplate, ""), kImeiTemplate, "");
}

bool IsText(std::string_view key) {
  const KeyInfo* k = FindKey(key);
  return k && k->kind == FieldKind::Text;
}

// Checks a value as its page would; a text with templates, should it fail as
// it is, is checked again without them.
Expected<PreparedValue> CheckValue(const ProfileLine& line, const ValueRules& rules, bool templates) {
  auto p = PrepareValue(line.key, line.value, rules);
  if (p || !templates || !IsText(line.key) || !HasTemplate(line.value)) return p;
  auto without = PrepareValue(line.key, WithoutTemplates(line.value), rules);
  return without ? without : p;
}

std::string Quoted(const std::string& cell) {
  const bool padded = !cell.empty() && (cell.front() == ' ' || cell.front() == '\t' || cell.back() == ' ' ||
                                        cell.back() == '\t');
  if (!padded && cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  return "\"" + Replace(cell, "\"", "\"\"") + "\"";
}

}  // namespace

std::span<const std::string_view> RosterKeys() { return kRosterKeys; }

bool IsRosterKey(std::string_view key) {
  return std::find(std::begin(kRosterKeys), std::end(kRosterKeys), key) != std::end(kRosterKeys);
}

const RosterRow* Roster::Find(std::string_view imei) const {
  for (const RosterRow& r : rows)
    if (r.imei == imei) return &r;
  return nullptr;
}

std::string DescribeRoster(const RosterProblem& p) {
  const std::string at = p.file + " row " + std::to_string(p.row);
  // "VA (phone number of contact 1)": the column as the header names it, then the field.
  std::string label = "\"" + Printable(p.column) + "\"";
  if (FindKey(p.column)) {
    label = FieldLabel(p.column);
    if (const std::string code = " (" + p.column + ")"; label.ends_with(code)) label.resize(label.size() - code.size());
    label = p.column + " (" + label + ")";
  }
  switch (p.fault) {
    case RosterFault::None: return {};
    case RosterFault::Unreadable: return Describe(p.error);
    case RosterFault::NotCsv:
      return at + ", cell " + p.column + ": a quote out of place, or a quoted cell that is never closed";
    case RosterFault::NoImeiColumn:
      return p.file + ": the first column must be " + std::string(kRosterImeiColumn) + ", not \"" +
             Printable(p.column) + "\"";
    case RosterFault::UnknownColumn:
      if (p.column.empty()) return p.file + ": a column has no name in the header";
      return p.file + ": the column \"" + Printable(p.column) + "\" is neither " + std::string(kRosterImeiColumn) +
             ", " + std::string(kRosterNameColumn) + " nor a setting of the tracker";
    case RosterFault::NotPerTracker:
      return p.file + ": the column " + label +
             " is not one of a tracker's own values (SIM PIN, own number, contacts, emergency and SMS report "
             "numbers); a value every tracker shares goes in the profile";
    case RosterFault::ColumnTwice: return p.file + ": the column " + label + " appears twice";
    case RosterFault::InProfile:
      return p.file + ": the column " + label + " is also a value of " + p.value +
             "; which one is meant cannot be known";
    case RosterFault::ExtraCells: return at + " has more cells than the header has columns";
    case RosterFault::NoImei: return at + " has values but no IMEI";
    case RosterFault::BadImei: return at + ": the IMEI \"" + Printable(p.value) + "\" is not 15 digits";
    case RosterFault::ImeiTwice:
      return p.file + " rows " + std::to_string(p.firstRow) + " and " + std::to_string(p.row) +
             " are for the same tracker, IMEI " + p.value;
    case RosterFault::BadName:
      return at + ", column " + std::string(kRosterNameColumn) +
             ": the name holds a control character or is longer than " +
             std::to_string(settings::IniFile::kMaxValueChars) + " characters";
    case RosterFault::BadValue: return at + ", column " + p.column + ": " + p.error.message;
    case RosterFault::NoRows: return p.file + " holds no tracker: a header and no row";
  }
  return {};
}

RosterRead ParseRoster(std::string_view text, const std::string& file, const RosterRules& rules) {
  RosterRead out;
  out.roster.file = file;
  std::vector<Record> records;
  if (!SplitRecords(text, file, records, out.problem)) return out;
  if (records.empty() || records.front().Blank()) {
    out.problem = Problem(RosterFault::NoImeiColumn, file, 1);
    return out;
  }
  // The header: IMEI first, then keys of the tracker's own and the name, each once.
  std::vector<std::string> columns;
  for (const Cell& c : records.front().cells) columns.push_back(c.text);
  if (!SameName(columns.front(), kRosterImeiColumn)) {
    out.problem = Problem(RosterFault::NoImeiColumn, file, 1, columns.front());
    return out;
  }
  int nameColumn = -1;
  for (std::size_t i = 1; i < columns.size(); ++i) {
    const std::string& c = columns[i];
    const bool twice = SameName(c, kRosterImeiColumn) || (SameName(c, kRosterNameColumn) && nameColumn >= 0) ||
                       std::find(columns.begin() + 1, columns.begin() + static_cast<std::ptrdiff_t>(i), c) !=
                           columns.begin() + static_cast<std::ptrdiff_t>(i);
    if (twice) {
      out.problem = Problem(RosterFault::ColumnTwice, file, 1, c);
      return out;
    }
    if (SameName(c, kRosterNameColumn)) {
      nameColumn = static_cast<int>(i);
    } else if (!FindKey(c)) {
      out.problem = Problem(RosterFault::UnknownColumn, file, 1, c);
      return out;
    } else if (!IsRosterKey(c)) {
      out.problem = Problem(RosterFault::NotPerTracker, file, 1, c);
      return out;
    } else {
      out.roster.keys.push_back(c);
    }
  }
  std::map<std::string, int> seen;  // IMEI -> row
  for (std::size_t r = 1; r < records.size(); ++r) {
    const Record& record = records[r];
    if (record.Blank()) continue;  // a spreadsheet's empty row
    if (record.cells.size() > columns.size()) {
      out.problem = Problem(RosterFault::ExtraCells, file, record.row);
      return out;
    }
    RosterRow row;
    row.row = record.row;
    row.imei = record.cells.front().text;
    if (row.imei.empty()) {
      out.problem = Problem(RosterFault::NoImei, file, record.row, columns.front());
      return out;
    }
    if (!IsImei(row.imei)) {
      out.problem = Problem(RosterFault::BadImei, file, record.row, columns.front());
      out.problem.value = row.imei;
      return out;
    }
    if (auto [it, added] = seen.emplace(row.imei, record.row); !added) {
      out.problem = Problem(RosterFault::ImeiTwice, file, record.row, columns.front());
      out.problem.firstRow = it->second;
      out.problem.value = row.imei;
      return out;
    }
    ValueRules cellRules;
    cellRules.codePage = rules.codePageOf ? rules.codePageOf(row.imei) : rules.codePage;
    cellRules.wholeIntervals = true;
    cellRules.fileText = true;
    for (std::size_t c = 1; c < record.cells.size(); ++c) {
      const std::string& cell = record.cells[c].text;
      if (cell.empty()) continue;
      if (static_cast<int>(c) == nameColumn) {
        if (settings::CleanDeviceUserName(cell) != cell) {
          out.problem = Problem(RosterFault::BadName, file, record.row, columns[c]);
          return out;
        }
        if (cell != settings::kNoDeviceUserName) row.name = cell;  // the name that means none
        continue;
      }
      ProfileLine line{columns[c], cell, record.row};
      if (auto checked = CheckValue(line, cellRules, true); !checked) {
        out.problem = Problem(RosterFault::BadValue, file, record.row, columns[c]);
        out.problem.error = checked.failure();
        return out;
      }
      row.values.push_back(std::move(line));
    }
    out.roster.rows.push_back(std::move(row));
  }
  if (out.roster.rows.empty()) out.problem = Problem(RosterFault::NoRows, file);
  return out;
}

RosterRead ReadRoster(const std::string& path, const RosterRules& rules) {
  files::ReadResult file = files::ReadWholeFile(path, kMaxRosterBytes, true);
  RosterRead out;
  std::string why;
  switch (file.problem) {
    case files::ReadProblem::None:
      return ParseRoster(std::string_view(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()),
                         path, rules);
    case files::ReadProblem::NotRegular: why = "it is not a regular file"; break;
    case files::ReadProblem::TooLarge:
      why = "it is larger than " + std::to_string(kMaxRosterBytes >> 20) + " MiB";
      break;
    case files::ReadProblem::Missing: why = "No such file or directory"; break;
    case files::ReadProblem::Failed: why = file.reason; break;
  }
  out.problem = Problem(RosterFault::Unreadable, path);
  out.problem.error =
      Error{"Cannot read the roster " + path, ErrorCode::File, why}.Names(MessageKind::FileUnreadable, path);
  return out;
}

RosterProblem CheckRosterBeside(const Roster& roster, const Profile& profile, const std::string& profileFile) {
  for (const std::string& key : roster.keys) {
    if (const ProfileLine* line = profile.Find(key)) {
      RosterProblem p = Problem(RosterFault::InProfile, roster.file, 1, key);
      p.value = profileFile + " (line " + std::to_string(line->line) + ")";
      return p;
    }
  }
  return {};
}

Expected<Profile> ReadProfileBesideRoster(const std::string& path) {
  auto profile = ReadProfile(path);
  if (profile || profile.failure().kind != MessageKind::ProfileNoSection) return profile;
  const files::ReadResult file = files::ReadWholeFile(path, 64 * 1024, true);
  std::string_view text(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size());
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.remove_prefix(3);
  const bool blank = std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
  if (file.problem == files::ReadProblem::None && blank) return Profile{};
  return profile;
}

bool HasTemplate(std::string_view text) {
  return text.find(kNameTemplate) != std::string_view::npos || text.find(kImeiTemplate) != std::string_view::npos;
}

Expected<PreparedProfile> PrepareProfileTemplates(const Profile& profile, const ValueRules& rules,
                                                  const std::string& name, std::vector<std::string>* notes) {
  // A backup is sent as it is: its texts are never filled.
  return PrepareProfile(profile, rules, name, notes, [&profile](const ProfileLine& line, const ValueRules& lineRules) {
    return CheckValue(line, lineRules, !profile.hasImei);
  });
}

Expected<PreparedProfile> ValuesFor(const Profile& profile, const std::string& profileFile, const RosterRow* row,
                                    const std::string& rosterFile, const TrackerTexts& tracker,
                                    const ValueRules& rules, bool* byTemplate) {
  if (byTemplate) *byTemplate = false;
  ValueRules fileRules = rules;
  fileRules.fileText = true;
  PreparedProfile out;
  std::optional<Error> refused;
  const auto add = [&](const ProfileLine& l, const std::string& where, bool fill) {
    const bool filled = fill && IsText(l.key) && HasTemplate(l.value);
    const bool named = filled && l.value.find(kNameTemplate) != std::string::npos;
    const auto refuse = [&](Error e) {
      e.message = where + ": " + e.message;
      if (byTemplate) *byTemplate = filled;
      refused = std::move(e);
    };
    if (named && tracker.name.empty()) {
      refuse(Error{FieldLabel(l.key) + " holds " + std::string(kNameTemplate) + ", and the tracker " + tracker.imei +
                       " has no name",
                   ErrorCode::BadValue}
                 .Names(MessageKind::None, l.key));
      return false;
    }
    const std::string text =
        filled ? Replace(Replace(l.value, kNameTemplate, tracker.name), kImeiTemplate, tracker.imei) : l.value;
    auto p = PrepareValue(l.key, text, fileRules);
    if (!p) {
      Error e = p.failure();
      if (named) e.message += ", with " + std::string(kNameTemplate) + " = \"" + tracker.name + "\"";
      else if (filled) e.message += ", with " + std::string(kImeiTemplate) + " = " + tracker.imei;
      refuse(std::move(e));
      return false;
    }
    out.emplace_back(l.key, std::move(*p));
    return true;
  };
  for (const ProfileLine& l : profile.values)
    if (!add(l, profileFile + " line " + std::to_string(l.line), !profile.hasImei)) return *refused;
  if (row)
    for (const ProfileLine& l : row->values)
      if (!add(l, rosterFile + " row " + std::to_string(row->row) + ", column " + l.key, true)) return *refused;
  return out;
}

Expected<BackupsRoster> RosterFromBackups(const std::string& folder,
                                          const std::function<std::string(const std::string& imei)>& nameOf,
                                          bool withSecrets) {
  std::error_code ec;
  std::vector<fs::path> files;
  for (fs::directory_iterator it(files::PathFromUtf8(folder), ec), end; !ec && it != end; it.increment(ec))
    if (it->path().extension() == ".ini" && it->is_regular_file(ec)) files.push_back(it->path());
  if (ec)
    return Error{"Cannot read the folder " + folder, ErrorCode::File, ec.message()}.Names(MessageKind::FileUnreadable,
                                                                                       folder);
  std::sort(files.begin(), files.end());
  BackupsRoster out;
  std::vector<RosterRow> rows;
  std::map<std::string, std::string> seen;  // IMEI -> file
  for (const fs::path& p : files) {
    const std::string path = files::PathToUtf8(p);
    auto backup = ReadProfile(path);
    if (!backup) {
      out.skipped.push_back({path, backup.failure()});
      continue;
    }
    if (!backup->hasImei || !IsImei(backup->imei)) {
      out.skipped.push_back({path, Error{path + " names no tracker (no IMEI= of 15 digits)", ErrorCode::BadValue}});
      continue;
    }
    if (auto [it, added] = seen.emplace(backup->imei, path); !added)
      return Error{it->second + " and " + path + " are backups of the same tracker, IMEI " + backup->imei +
                       "; a roster has one row per tracker",
                   ErrorCode::BadValue};
    RosterRow row;
    row.imei = backup->imei;
    if (nameOf) row.name = nameOf(row.imei);
    for (std::string_view key : kRosterKeys)
      if (const ProfileLine* l = backup->Find(key)) row.values.push_back(*l);
    rows.push_back(std::move(row));
  }
  Roster roster;
  for (std::string_view key : kRosterKeys) {
    const bool held = std::any_of(rows.begin(), rows.end(), [key](const RosterRow& r) {
      return std::any_of(r.values.begin(), r.values.end(),
                         [key](const ProfileLine& l) { return l.key == key && !l.value.empty(); });
    });
    if (!held) continue;
    if (IsSecretKey(key) && !withSecrets) {
      out.left.emplace_back(key);
      continue;
    }
    if (IsSecretKey(key)) out.secrets.emplace_back(key);
    roster.keys.emplace_back(key);
  }
  roster.rows = std::move(rows);
  out.text = FormatRoster(roster);
  out.trackers = static_cast<int>(roster.rows.size());
  return out;
}

std::string FormatRoster(const Roster& roster) {
  const auto& rows = roster.rows;
  const bool named = std::any_of(rows.begin(), rows.end(), [](const RosterRow& r) { return !r.name.empty(); });
  std::string text = std::string(kRosterImeiColumn) + (named ? "," + std::string(kRosterNameColumn) : "");
  for (const std::string& c : roster.keys) text += "," + c;
  text += "\n";
  for (const RosterRow& r : rows) {
    text += Quoted(r.imei) + (named ? "," + Quoted(r.name) : "");
    for (const std::string& c : roster.keys) {
      const auto l = std::find_if(r.values.begin(), r.values.end(), [&c](const ProfileLine& v) { return v.key == c; });
      text += "," + (l == r.values.end() ? std::string() : Quoted(l->value));
    }
    text += "\n";
  }
  return text;
}

}  // namespace zd573
