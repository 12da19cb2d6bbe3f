#include "settings/ini_file.h"

#include <optional>
#include <unordered_set>

#include "common/files.h"

namespace zd573::settings {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\v\f\r";

struct Line {
  std::string text;    // without its line ending
  std::string ending;  // "\r\n", "\n" or "" for an unterminated last line
};

enum class Kind { kOther, kSection, kEntry };

struct Parsed {
  Kind kind = Kind::kOther;
  std::string_view name;   // section name or key
  std::string_view value;  // entry value, trimmed
};

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool SameIniName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

namespace {

Parsed Classify(std::string_view text, bool firstLine) {
  if (firstLine && text.starts_with(kBom)) text.remove_prefix(kBom.size());
  const std::string_view t = Trim(text);
  if (t.empty() || t.front() == ';') return {};
  if (t.front() == '[') {
    const auto close = t.find(']');
    const auto inner = t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    return {Kind::kSection, Trim(inner), {}};
  }
  const auto eq = t.find('=');
  if (eq == std::string_view::npos) return {};
  return {Kind::kEntry, Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

std::vector<Line> SplitLines(std::string_view content) {
  std::vector<Line> lines;
  while (!content.empty()) {
    const auto nl = content.find('\n');
    if (nl == std::string_view::npos) {
      lines.push_back({std::string(content), ""});
      break;
    }
    const bool crlf = nl > 0 && content[nl - 1] == '\r';
    lines.push_back({std::string(content.substr(0, crlf ? nl - 1 : nl)), crlf ? "\r\n" : "\n"});
    content.remove_prefix(nl + 1);
  }
  return lines;
}

// The whole file, or an empty text when it does not exist. A file that is
// not a regular one (a FIFO would block every reader) or is larger than any
// real one is refused, as is one that cannot be read.
struct Loaded {
  std::optional<std::string> content;
  std::string problem;  // why there is no content
};

// Why a file has more parts than any real one, or nothing: one pass, no copies.
std::string TooManyParts(std::string_view content) {
  std::size_t sections = 0, keys = 0;
  for (bool first = true; !content.empty(); first = false) {
    const auto nl = content.find('\n');
    const Parsed p = Classify(content.substr(0, nl), first);
    content.remove_prefix(nl == std::string_view::npos ? content.size() : nl + 1);
    if (p.kind == Kind::kSection) {
      keys = 0;
      if (++sections > IniFile::kMaxSections)
        return " has more than " + std::to_string(IniFile::kMaxSections) +
               " sections, more than any settings or language file";
    } else if (p.kind == Kind::kEntry && ++keys > IniFile::kMaxSectionKeys) {
      return " has more than " + std::to_string(IniFile::kMaxSectionKeys) +
             " keys in one section, more than any settings or language file";
    }
  }
  return {};
}

Loaded Load(const fs::path& path) {
  const std::string name = files::PathToUtf8(path);
  files::ReadResult r = files::ReadWholeFile(name, IniFile::kMaxFileBytes, true);
  switch (r.problem) {
    case files::ReadProblem::None: {
      std::string content(r.bytes.begin(), r.bytes.end());
      if (std::string why = TooManyParts(content); !why.empty()) return {std::nullopt, name + why};
      return {std::move(content), {}};
    }
    case files::ReadProblem::Missing: return {std::string(), {}};
    case files::ReadProblem::NotRegular: return {std::nullopt, name + " is not a regular file (a pipe or a device)"};
    case files::ReadProblem::TooLarge:
      return {std::nullopt, name + " is larger than " + std::to_string(IniFile::kMaxFileBytes >> 20) +
                                " MiB, more than any settings or language file"};
    case files::ReadProblem::Failed: break;
  }
  return {std::nullopt, "cannot read " + name + ": " + r.reason};
}

std::vector<Line> LoadLines(const fs::path& path) {
  const Loaded loaded = Load(path);
  return loaded.content ? SplitLines(*loaded.content) : std::vector<Line>{};
}

// Index of the first header of `section`, or lines.size().
std::size_t FindSection(const std::vector<Line>& lines, std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Parsed p = Classify(lines[i].text, i == 0);
    if (p.kind == Kind::kSection && SameIniName(p.name, section)) return i;
  }
  return lines.size();
}

// Index one past the last line of the section whose header is at `header`.
std::size_t SectionEnd(const std::vector<Line>& lines, std::size_t header) {
  std::size_t i = header + 1;
  while (i < lines.size() && Classify(lines[i].text, false).kind != Kind::kSection) ++i;
  return i;
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// Quotes a value whose blanks at either end, or whose own enclosing quotes,
// a read would otherwise strip.
std::string EncodeValue(std::string_view value) {
  const bool padded = !value.empty() && Trim(value).size() != value.size();
  if (padded || Unquote(value).size() != value.size()) return "\"" + std::string(value) + "\"";
  return std::string(value);
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

Status CheckNames(std::string_view section, std::string_view key, std::string_view value) {
  if (Trim(section).empty() || HasLineBreak(section) || section.find(']') != std::string_view::npos) {
    return Error{"invalid ini section name \"" + std::string(section) + "\""};
  }
  if (Trim(key).empty() || HasLineBreak(key) || key.find('=') != std::string_view::npos ||
      Trim(key).front() == '[' || Trim(key).front() == ';') {
    return Error{"invalid ini key \"" + std::string(key) + "\""};
  }
  if (HasLineBreak(value)) return Error{"ini value for \"" + std::string(key) + "\" contains a line break"};
  return Status::Ok();
}

// Writes `content` to a temporary file beside `path` and renames it over
// `path`, so a reader never sees half a file and a crash keeps the old one.
Status ReplaceFile(const fs::path& path, const std::string& content) {
  std::error_code ec;
  fs::path target = path;
  if (fs::is_symlink(path, ec)) target = fs::weakly_canonical(path, ec);
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  const std::string name = files::PathToUtf8(target);

  files::NewFile file;
  if (!file.CreateUnique([&](const std::string& suffix) { return name + "." + suffix; }))
    return Error{"cannot create a temporary file for " + name + ": " + file.Reason(), ErrorCode::File}.Names(
        MessageKind::FileUnwritable, name, {file.Reason()});
  file.CopyModeOf(name);  // a replaced file keeps its mode; a new one gets the umask's
  if (!file.Write(content.data(), content.size()) || !file.Sync() || !file.RenameOver(name)) {
    return Error{"cannot write " + name + ": " + file.Reason(), ErrorCode::File}.Names(MessageKind::FileUnwritable, name,
                                                                                     {file.Reason()});
  }
  return Status::Ok();
}

std::string Join(const std::vector<Line>& lines) {
  std::string out;
  for (const Line& l : lines) out += l.text + l.ending;
  return out;
}

std::string_view DominantEnding(const std::vector<Line>& lines) {
  for (const Line& l : lines) {
    if (!l.ending.empty()) return l.ending;
  }
  return "\n";
}

}  // namespace

std::string_view CutUtf8(std::string_view text, std::size_t maxChars) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool starts = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts && chars++ == maxChars) return text.substr(0, i);
  }
  return text;
}

std::string IniFile::Read(std::string_view section, std::string_view key,
                          std::string_view fallback) const {
  const auto lines = LoadLines(path_);
  const std::size_t header = FindSection(lines, section);
  if (header == lines.size()) return std::string(fallback);
  const std::size_t end = SectionEnd(lines, header);
  for (std::size_t i = header + 1; i < end; ++i) {
    const Parsed p = Classify(lines[i].text, false);
    if (p.kind == Kind::kEntry && SameIniName(p.name, key)) {
      return std::string(CutUtf8(Unquote(p.value), kMaxValueChars));
    }
  }
  return std::string(fallback);
}

namespace {
std::vector<std::pair<std::string, std::string>> SectionOf(const std::vector<Line>& lines, std::string_view section) {
  std::vector<std::pair<std::string, std::string>> entries;
  const std::size_t header = FindSection(lines, section);
  if (header == lines.size()) return entries;
  const std::size_t end = SectionEnd(lines, header);
  for (std::size_t i = header + 1; i < end; ++i) {
    const Parsed p = Classify(lines[i].text, false);
    if (p.kind == Kind::kEntry) entries.emplace_back(p.name, CutUtf8(Unquote(p.value), IniFile::kMaxValueChars));
  }
  return entries;
}
}  // namespace

std::vector<std::pair<std::string, std::string>> IniFile::ReadSection(std::string_view section) const {
  return SectionOf(LoadLines(path_), section);
}

std::vector<std::pair<std::string, std::string>> ReadIniSection(std::string_view text, std::string_view section) {
  return SectionOf(SplitLines(text), section);
}

Status IniFile::Write(std::string_view section, std::string_view key,
                      std::string_view value) const {
  if (Status s = CheckNames(section, key, value); !s) return s;
  const Loaded loaded = Load(path_);
  if (!loaded.content)
    return Error{loaded.problem, ErrorCode::File}.Names(MessageKind::FileUnreadable, files::PathToUtf8(path_));
  auto lines = SplitLines(*loaded.content);
  const std::string eol(DominantEnding(lines));
  const std::string encoded = EncodeValue(value);

  const std::size_t header = FindSection(lines, section);
  if (header == lines.size()) {
    if (SectionNames().size() >= kMaxSections)
      return Error{"cannot add a section to " + files::PathToUtf8(path_) + ": it has " +
                       std::to_string(kMaxSections) + " already",
                   ErrorCode::File};
    if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = eol;
    if (!lines.empty() && !Trim(lines.back().text).empty()) lines.push_back({"", eol});
    lines.push_back({"[" + std::string(Trim(section)) + "]", eol});
    lines.push_back({std::string(Trim(key)) + "=" + encoded, eol});
    return ReplaceFile(path_, Join(lines));
  }

  const std::size_t end = SectionEnd(lines, header);
  std::size_t insertAt = header + 1;
  std::size_t keys = 0;
  for (std::size_t i = header + 1; i < end; ++i) {
    const Parsed p = Classify(lines[i].text, false);
    if (p.kind != Kind::kEntry) continue;
    if (SameIniName(p.name, key)) {
      lines[i].text = std::string(p.name) + "=" + encoded;
      return ReplaceFile(path_, Join(lines));
    }
    insertAt = i + 1;
    ++keys;
  }
  if (keys >= kMaxSectionKeys)
    return Error{"cannot add a key to [" + std::string(Trim(section)) + "] of " + files::PathToUtf8(path_) +
                     ": it has " + std::to_string(kMaxSectionKeys) + " already",
                 ErrorCode::File};
  if (lines[insertAt - 1].ending.empty()) lines[insertAt - 1].ending = eol;
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
               Line{std::string(Trim(key)) + "=" + encoded, eol});
  return ReplaceFile(path_, Join(lines));
}

Status IniFile::Check() const {
  const Loaded loaded = Load(path_);
  if (loaded.content) return Status::Ok();
  return Error{loaded.problem, ErrorCode::File};
}

std::vector<std::string> IniFile::SectionNames() const {
  const auto lines = LoadLines(path_);
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;  // lower case
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Parsed p = Classify(lines[i].text, i == 0);
    if (p.kind != Kind::kSection) continue;
    std::string lower(p.name);
    for (char& c : lower) c = AsciiLower(c);
    if (seen.insert(std::move(lower)).second) names.emplace_back(p.name);
  }
  return names;
}

std::vector<std::string> IniFile::KeyNames(std::string_view section) const {
  const auto lines = LoadLines(path_);
  std::vector<std::string> keys;
  const std::size_t header = FindSection(lines, section);
  if (header == lines.size()) return keys;
  const std::size_t end = SectionEnd(lines, header);
  for (std::size_t i = header + 1; i < end; ++i) {
    const Parsed p = Classify(lines[i].text, false);
    if (p.kind == Kind::kEntry) keys.emplace_back(p.name);
  }
  return keys;
}

}  // namespace zd573::settings
