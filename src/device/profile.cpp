#include "device/profile.h"

#include <algorithm>
#include <iterator>
#include <map>

#include "common/files.h"
#include "common/printable.h"
#include "device/transactions.h"
#include "settings/ini_file.h"
#include "settings/paths.h"
#include "settings/text_encoding.h"

namespace zd573 {
namespace {

// A settings file holds 85 short values: a few kilobytes. Anything much larger
// is not one (a pipe, /dev/zero) and is refused before memory runs out.
constexpr std::size_t kMaxProfileBytes = 64 * 1024;

std::string Trim(std::string_view v) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!v.empty() && blank(v.back())) v.remove_suffix(1);
  while (!v.empty() && blank(v.front())) v.remove_prefix(1);
  return std::string(v);
}

std::string Unquote(std::string_view raw) {
  std::string v = Trim(raw);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  return v;
}

// Blanks at either end, or quotes around the whole, would be lost on reading: quote.
std::string Quote(const std::string& v) {
  bool padded = !v.empty() && (v.front() == ' ' || v.front() == '\t' || v.back() == ' ' || v.back() == '\t');
  bool quoted = v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
  return padded || quoted ? "\"" + v + "\"" : v;
}

// The command line says `text`; a window says `kind` in its language.
Error FileError(std::string text, MessageKind kind = MessageKind::None, const std::string& path = {},
                std::vector<std::string> args = {}) {
  return Error{std::move(text), ErrorCode::File}.Names(kind, path, std::move(args));
}

Error Twice(const std::string& name, const std::string& what, int first, int second) {
  return FileError(name + ": " + Printable(what) + " appears twice, on lines " + std::to_string(first) + " and " +
                       std::to_string(second) + "; which one is meant cannot be known",
                   MessageKind::ProfileTwice, name,
                   {what == "the section [DEVICE]" ? "[DEVICE]" : Printable(what), std::to_string(first), std::to_string(second)});
}

// The keys `page` sends with `values`, after its rules: none when it cannot be built.
Expected<std::vector<std::string>> SentKeys(Page page, DeviceValues& values) {
  auto sentences = BuildPageTransaction(page, values);
  if (!sentences) {
    Error e = sentences.failure();
    e.code = ErrorCode::BadValue;
    return e;
  }
  std::vector<std::string> keys;
  for (const Sentence& s : *sentences)
    for (std::string& k : SentenceKeys(s))
      if (PageSends(page, k)) keys.push_back(std::move(k));
  return keys;
}

}  // namespace

bool IsPerUnitKey(std::string_view key) {
  return std::find(kPerUnitKeys.begin(), kPerUnitKeys.end(), key) != kPerUnitKeys.end();
}

bool IsSecretKey(std::string_view key) {
  return std::find(kSecretKeys.begin(), kSecretKeys.end(), key) != kSecretKeys.end();
}

std::vector<std::string_view> SecretKeysIn(const std::vector<std::string_view>& keys) {
  std::vector<std::string_view> secrets;
  std::copy_if(keys.begin(), keys.end(), std::back_inserter(secrets), IsSecretKey);
  return secrets;
}

std::vector<std::string_view> KeysToSave(bool everything) {
  std::vector<std::string_view> keys;
  for (const KeyInfo& k : AllKeys())
    if (everything || (PageOfKey(k.key) && !IsPerUnitKey(k.key))) keys.push_back(k.key);
  return keys;
}

std::string SettingsFileName(std::string_view deviceName, std::string_view imei, int year, int month, int day) {
  std::string name(deviceName.empty() || deviceName == settings::kNoDeviceUserName ? imei : deviceName);
  if (name.empty()) name = settings::kNoDeviceUserName;
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) c = '_';
  }
  if (name.front() == '.') name.front() = '_';
  const auto two = [](int n) { return (n < 10 ? "0" : "") + std::to_string(n); };
  return name + "-" + std::to_string(year) + "-" + two(month) + "-" + two(day) + ".ini";
}

bool SetsEmptyPassword(const PreparedProfile& values) {
  return std::any_of(values.begin(), values.end(),
                     [](const auto& v) { return v.first == "OU" && v.second.bytes.empty(); });
}

const ProfileLine* Profile::Find(std::string_view key) const {
  for (const ProfileLine& l : values)
    if (l.key == key) return &l;
  return nullptr;
}

Expected<Profile> ParseProfile(std::string_view text, const std::string& name) {
  Profile profile;
  std::map<std::string, int> seen;  // key -> line
  int sectionLine = 0;
  int readOnlyLine = 0;
  std::string readOnlyKey;
  bool inSection = false;
  int number = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.remove_prefix(3);
    const std::string t = Trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '#') continue;
    if (t.front() == '[') {
      if (t.find(']') == std::string::npos)
        return FileError(name + " line " + std::to_string(number) + ": the section name has no closing ]",
                         MessageKind::ProfileBadSection, name, {std::to_string(number)});
      const std::string section = t.substr(1, t.find(']') - 1);
      inSection = settings::SameIniName(Trim(section), kProfileSection);
      if (inSection) {
        if (sectionLine) return Twice(name, "the section [DEVICE]", sectionLine, number);
        sectionLine = number;
      }
      continue;
    }
    const std::size_t eq = line.find('=');
    if (!inSection || eq == std::string_view::npos) continue;
    std::string key = Unquote(line.substr(0, eq));
    if (auto [it, added] = seen.emplace(key, number); !added)
      return Twice(name, key, it->second, number);
    std::string value = Unquote(line.substr(eq + 1));
    if (key == "IMEI" || key == "B2") {
      // The same tracker named twice over is fine; two different ones are not.
      if (profile.hasImei && profile.imei != value)
        return FileError(name + " line " + std::to_string(number) + ": IMEI and B2 name different trackers",
                         MessageKind::ProfileTwoImeis, name, {std::to_string(number)});
      profile.hasImei = true;
      profile.imei = std::move(value);
      continue;
    }
    const KeyInfo* info = FindKey(key);
    if (!info)
      return FileError(name + " line " + std::to_string(number) + ": " + Printable(key) + " is not a setting of the tracker",
                       MessageKind::ProfileUnknownKey, name, {std::to_string(number), Printable(key)});
    if (!PageOfKey(info->key)) {
      // Set by the tracker alone: a backup carries it, nothing sends it.
      if (!readOnlyLine) readOnlyLine = number, readOnlyKey = key;
      continue;
    }
    profile.values.push_back({std::move(key), std::move(value), number});
  }
  if (!sectionLine) return FileError(name + " holds no [DEVICE] section", MessageKind::ProfileNoSection, name);
  // In a profile such a key could only be meant to be written, which cannot be.
  if (readOnlyLine && !profile.hasImei)
    return FileError(name + " line " + std::to_string(readOnlyLine) + ": " + readOnlyKey +
                         " is set by the tracker and cannot be written",
                     MessageKind::ProfileReadOnlyKey, name, {std::to_string(readOnlyLine), readOnlyKey});
  return profile;
}

Expected<Profile> ReadProfile(const std::string& path) {
  files::ReadResult file = files::ReadWholeFile(path, kMaxProfileBytes, true);
  switch (file.problem) {
    case files::ReadProblem::None: break;
    case files::ReadProblem::NotRegular:
      return FileError(path + " is not a backup: it is not a regular file", MessageKind::ProfileNotAFile, path);
    case files::ReadProblem::TooLarge:
      return FileError(path + " is not a backup: it is larger than " + std::to_string(kMaxProfileBytes / 1024) + " KiB",
                       MessageKind::ProfileTooLarge, path, {std::to_string(kMaxProfileBytes / 1024)});
    case files::ReadProblem::Missing:
    case files::ReadProblem::Failed: {
      // The reason is the detail: a message names the path once.
      Error e = FileError("Cannot read " + path, MessageKind::FileUnreadable, path);
      e.detail = file.problem == files::ReadProblem::Missing ? "No such file or directory" : file.reason;
      return e;
    }
  }
  return ParseProfile(std::string_view(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()), path);
}

std::string FormatProfile(const DeviceValues& values, const std::vector<std::string_view>& keys, int codePage,
                          std::vector<std::string>* notes, std::vector<std::string>* escapedKeys) {
  auto chosen = [&](std::string_view k) { return std::find(keys.begin(), keys.end(), k) != keys.end(); };
  auto line = [&](std::string_view key, std::string_view shownAs) {
    bool escaped = false;
    std::string value = key == "B2" ? settings::DecodeDeviceText(values.Format(key), codePage)
                                    : settings::DeviceTextForFile(values.Format(key), codePage, &escaped);
    if (escaped && escapedKeys) escapedKeys->emplace_back(key);
    if (escaped && notes)
      notes->push_back(std::string(key) + " holds bytes that code page " + std::to_string(codePage) +
                       " cannot show; they were saved as \\xHH escapes and are restored as they are");
    if (value.find_first_of("\r\n") != std::string::npos) {
      std::replace_if(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
      if (notes) notes->push_back("the line break in " + std::string(key) + " was saved as a blank");
    }
    return std::string(shownAs) + "=" + Quote(value) + "\n";
  };
  std::string text = "[" + std::string(kProfileSection) + "]\n";
  if (chosen("B2")) text += line("B2", "IMEI");
  for (const KeyInfo& k : AllKeys())
    if (chosen(k.key)) text += line(k.key, k.key);
  return text;
}

Expected<PreparedProfile> PrepareProfile(const Profile& profile, const ValueRules& rules, const std::string& name,
                                         std::vector<std::string>* notes, const ValueCheck& check) {
  PreparedProfile prepared;
  ValueRules fileRules = rules;
  fileRules.fileText = true;
  for (const ProfileLine& l : profile.values) {
    auto p = check ? check(l, fileRules) : PrepareValue(l.key, l.value, fileRules);
    if (!p) {
      Error e = p.failure();
      e.message = name + " line " + std::to_string(l.line) + ": " + e.message;
      return e;
    }
    if (notes && !p->note.empty()) notes->push_back(p->note);
    prepared.emplace_back(l.key, std::move(*p));
  }
  return prepared;
}

std::vector<Page> ProfilePlan::Pages() const {
  std::vector<Page> out;
  for (const PageChange& p : pages) out.push_back(p.page);
  return out;
}

std::vector<Page> PagesOf(const PreparedProfile& values) {
  std::vector<std::string> keys;
  for (const auto& value : values) keys.push_back(value.first);
  std::vector<Page> out;
  for (const PageRow* row : PagesSending(keys)) out.push_back(row->id);
  return out;
}

Expected<ProfilePlan> PlanProfile(const DeviceValues& tracker, const PreparedProfile& values) {
  ProfilePlan plan;
  plan.target = tracker;
  for (const auto& [key, value] : values) StorePrepared(plan.target, key, value);
  for (Page page : PagesOf(values)) {
    auto keys = SentKeys(page, plan.target);  // the page's rules land in the target
    if (!keys) return keys.failure();
    PageChange change{page, {}};
    for (const std::string& k : *keys)
      if (plan.target.Format(k) != tracker.Format(k)) change.keys.push_back({k, tracker.Format(k), plan.target.Format(k)});
    if (!change.keys.empty()) plan.pages.push_back(std::move(change));
  }
  // Pages left alone keep the tracker's values, rules or not.
  const auto written = [&plan](Page page) {
    return std::any_of(plan.pages.begin(), plan.pages.end(), [page](const PageChange& c) { return c.page == page; });
  };
  for (const KeyInfo& k : AllKeys()) {
    const std::optional<Page> page = PageOfKey(k.key);
    if (!page || written(*page)) continue;
    if (k.kind == FieldKind::Text) {
      plan.target.SetText(k.key, tracker.Text(k.key));
    } else {
      plan.target.SetNumber(k.key, tracker.Number(k.key));
    }
  }
  return plan;
}

std::vector<std::string_view> KeysToCompare(const PreparedProfile& values) {
  const std::vector<Page> pages = PagesOf(values);
  const auto given = [&values](std::string_view key) {
    return std::any_of(values.begin(), values.end(), [key](const auto& v) { return v.first == key; });
  };
  const auto ruled = [&pages](std::string_view key) {
    const std::optional<Page> page = PageOfKey(key);
    if (!page || std::find(pages.begin(), pages.end(), *page) == pages.end()) return false;
    const PageRow* row = FindPageRow(*page);
    return row && (row->rule || FloorOf(key));
  };
  std::vector<std::string_view> keys;
  for (const KeyInfo& k : TableKeys())
    if (given(k.key) || ruled(k.key)) keys.push_back(k.key);
  if (given("OU")) keys.push_back("OU");
  return keys;
}

SharedCheck CheckSharedProfile(const Profile& profile, bool withPassword) {
  SharedCheck check;
  if (profile.hasImei) {
    check.fault = SharedFault::NamesTracker;
    check.imei = profile.imei;
    return check;
  }
  for (const ProfileLine& line : profile.values) {
    if (line.key == "OU") {
      check.passwordLeftOut = !withPassword;
    } else if (IsPerUnitKey(line.key)) {
      check.keys.push_back(line.key);
    }
  }
  if (!check.keys.empty()) check.fault = SharedFault::PerTrackerKeys;
  return check;
}

void LeaveOutPassword(PreparedProfile& values) {
  values.erase(std::remove_if(values.begin(), values.end(), [](const auto& v) { return v.first == "OU"; }),
               values.end());
}

std::vector<std::string_view> KeysOfPages(const std::vector<Page>& pages) {
  std::vector<std::string_view> keys;
  for (const KeyInfo& k : TableKeys())
    if (auto page = PageOfKey(k.key); page && std::find(pages.begin(), pages.end(), *page) != pages.end())
      keys.push_back(k.key);
  if (std::find(pages.begin(), pages.end(), Page::Password) != pages.end()) keys.push_back("OU");
  return keys;
}

std::vector<std::string> UntakenKeys(const DeviceValues& sent, const DeviceValues& readBack,
                                     const std::vector<Page>& pages) {
  std::vector<std::string> untaken;
  DeviceValues built = sent;
  for (Page page : pages) {
    auto keys = SentKeys(page, built);
    if (!keys) continue;  // it was sent, so it builds
    for (const std::string& k : *keys)
      if (built.Format(k) != readBack.Format(k)) untaken.push_back(k);
  }
  return untaken;
}

}  // namespace zd573
