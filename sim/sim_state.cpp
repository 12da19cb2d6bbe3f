#include "sim_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim_protocol.h"

namespace zd573::sim {

namespace {

// Factory values of a tracker fresh out of its box. Keys not listed are empty.
constexpr std::pair<std::string_view, std::string_view> kDefaults[] = {
    {"B2", "356895037533210"},
    {"OU", "4071"},
    {"B0", "1234"},
    {"B1", "+15550100173"},
    {"F4", "mm-dd-yy"},
    {"F5", "1"},
    {"F6", "0"},
    {"F7", "1"},
    {"O6", "28800"},
    {"Va", "Home"},
    {"Vb", "Anna Lindqvist"},
    {"Vc", "Office"},
    {"Vd", "Dr. Okafor"},
    {"VA", "+15550100101"},
    {"VB", "+15550100102"},
    {"VC", "+15550100103"},
    {"VD", "5550100104"},
    {"F0", "+15550100199"},
    {"H2", "60"},
    {"G0", "+15550100101"},
    {"G1", "+15550100102"},
    {"D1", "internet"},
    {"D2", ""},
    {"D3", ""},
    {"D4", "192.0.2.53"},
    {"D5", "192.0.2.54"},
    {"E0", "203.0.113.10"},
    {"E1", "8080"},
    {"E2", "203.0.113.11"},
    {"E3", "8081"},
    {"F8", "0"},
    {"FB", "1"},
    {"FE", "3"},
    // Alarm times: seconds since 2000-01-01 00:00:00 (2024-01-01 07:30, 12:00, 09:15).
    {"XB", "757409400"},
    {"XC", "2"},
    {"XD", "31"},
    {"YB", "757425600"},
    {"YC", "0"},
    {"YD", "0"},
    {"ZB", "757415700"},
    {"ZC", "3"},
    {"ZD", "96"},
    {"O2", "10"},
    {"OX", "1"},
    {"F2", "1"},
    {"XA", "1"},
    {"YA", "2"},
    {"ZA", "5"},
    {"OZ", "10"},
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Values are read trimmed, so blanks at either end are written escaped.
std::string EscapeValue(std::string_view v) {
  std::string out = EscapeBytes(v);
  if (!out.empty() && (out.front() == ' ' || out.front() == '\t'))
    out.replace(0, 1, out.front() == ' ' ? "\\x20" : "\\x09");
  if (!out.empty() && (out.back() == ' ' || out.back() == '\t')) {
    char last = out.back();
    out.pop_back();
    out += last == ' ' ? "\\x20" : "\\x09";
  }
  return out;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

DeviceState::DeviceState() {
  for (const std::string& key : KnownKeys()) items_.emplace_back(key, "");
  for (const auto& [key, value] : kDefaults) Set(key, std::string(value));
}

std::string DeviceState::Get(std::string_view key) const {
  for (const auto& [k, v] : items_)
    if (k == key) return v;
  return {};
}

bool DeviceState::Set(std::string_view key, std::string value) {
  for (auto& [k, v] : items_) {
    if (k == key) {
      v = std::move(value);
      return true;
    }
  }
  return false;
}

bool DeviceState::Load(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read state file " + path + ": " + std::strerror(errno);
    return false;
  }
  DeviceState loaded = *this;
  std::string line;
  bool inDevice = false;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    std::string_view text = line;
    if (lineNo == 1 && text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    text = Trim(text);
    if (text.empty() || text.front() == ';' || text.front() == '#') continue;
    if (text.front() == '[') {
      if (text.back() != ']') {
        *error = path + ":" + std::to_string(lineNo) + ": unterminated section name";
        return false;
      }
      inDevice = SameIgnoringCase(Trim(text.substr(1, text.size() - 2)), "DEVICE");
      continue;
    }
    if (!inDevice) continue;
    size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
      *error = path + ":" + std::to_string(lineNo) + ": expected KEY=value";
      return false;
    }
    // Keys are case-sensitive here: Va and VA are different contacts.
    std::string_view key = Trim(text.substr(0, eq));
    if (!loaded.Set(key, UnescapeBytes(Trim(text.substr(eq + 1))))) {
      *error = path + ":" + std::to_string(lineNo) + ": unknown key '" + std::string(key) + "'";
      return false;
    }
  }
  if (in.bad()) {
    *error = "error reading state file " + path;
    return false;
  }
  *this = std::move(loaded);
  return true;
}

bool DeviceState::Save(const std::string& path, std::string* error) const {
  std::ostringstream out;
  out << "[DEVICE]\n";
  for (const auto& [key, value] : items_) out << key << '=' << EscapeValue(value) << '\n';

  const std::string tmp = path + ".tmp." + std::to_string(::getpid());
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot write " + tmp + ": " + std::strerror(errno);
    return false;
  }
  bool ok = WriteAll(fd, out.str()) && ::fsync(fd) == 0;
  int savedErrno = errno;
  ok = (::close(fd) == 0) && ok;
  if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
    if (ok) savedErrno = errno;
    ::unlink(tmp.c_str());
    *error = "cannot save state file " + path + ": " + std::strerror(savedErrno);
    return false;
  }
  return true;
}

}  // namespace zd573::sim
