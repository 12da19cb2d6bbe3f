#include "settings/paths.h"

#include <algorithm>
#include <mutex>

#include "common/files.h"

namespace zd573::settings {
namespace {

namespace fs = std::filesystem;

struct Overrides {
  std::mutex mutex;
  std::optional<fs::path> languages;
  std::optional<fs::path> systemIni;
};

Overrides& TheOverrides() {
  static Overrides o;
  return o;
}

std::optional<fs::path> Override(std::optional<fs::path> Overrides::*which) {
  Overrides& o = TheOverrides();
  std::lock_guard lock(o.mutex);
  return o.*which;
}

bool IsWritableDir(const fs::path& dir) { return files::IsWritableDir(files::PathToUtf8(dir)); }

// The folder under a base folder the user's environment names, if absolute,
// else under `fallback` in the home folder.
fs::path UserDir(std::string_view base, std::string_view home, const fs::path& fallback) {
  if (!base.empty() && files::PathFromUtf8(base).is_absolute()) return files::PathFromUtf8(base) / "zd573";
  if (!home.empty()) return files::PathFromUtf8(home) / fallback / "zd573";
  return {};
}

// Removes the bytes that would break an ini line or hide in it unseen:
// C0 controls, DEL, and the UTF-8 forms of C1 controls and U+2028/U+2029.
std::string StripControls(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    const auto next = i + 1 < s.size() ? static_cast<unsigned char>(s[i + 1]) : 0;
    if (c < 0x20 || c == 0x7F) continue;
    if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
      ++i;
      continue;
    }
    if (c == 0xE2 && next == 0x80 && i + 2 < s.size() &&
        (s[i + 2] == '\xA8' || s[i + 2] == '\xA9')) {
      i += 2;
      continue;
    }
    out.push_back(s[i]);
  }
  return out;
}

}  // namespace

fs::path ExecutableDir() { return files::PathFromUtf8(files::ExecutableDir()); }

fs::path FindLanguagesFile(const fs::path& exeDir) {
  const fs::path beside = exeDir / kLanguagesFileName;
  const fs::path installed = exeDir / ".." / "share" / "zd573" / kLanguagesFileName;
  std::error_code ec;
  if (!fs::exists(beside, ec) && fs::exists(installed, ec)) return installed.lexically_normal();
  return beside;
}

fs::path ChooseSystemIni(const fs::path& exeDir, std::string_view xdgConfigHome,
                         std::string_view home) {
  // Portable use only: an installed program (its languages in ../share) keeps
  // its settings per user, even when root could write to /usr/bin.
  const bool installed = FindLanguagesFile(exeDir) != exeDir / kLanguagesFileName;
  if (!installed && IsWritableDir(exeDir)) return exeDir / kSystemIniFileName;
  const fs::path dir = UserDir(xdgConfigHome, home, ".config");
  // Nowhere better: a write will report the failure.
  return dir.empty() ? exeDir / kSystemIniFileName : dir / kSystemIniFileName;
}

fs::path ChooseCacheDir(std::string_view xdgCacheHome, std::string_view home) {
  return UserDir(xdgCacheHome, home, ".cache");
}

fs::path CacheDir() { return ChooseCacheDir(files::CacheHome(), files::HomeDir()); }

fs::path ChooseDataDir(std::string_view xdgDataHome, std::string_view home) {
  return UserDir(xdgDataHome, home, fs::path(".local") / "share");
}

fs::path DataDir() { return ChooseDataDir(files::DataHome(), files::HomeDir()); }

bool ImeiNamesAFile(std::string_view imei) {
  return !imei.empty() && imei.size() <= 32 && std::all_of(imei.begin(), imei.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
         });
}

Expected<std::string> RawLogPath() {
  const fs::path dir = CacheDir();
  if (dir.empty()) return Error{"No folder for the raw log: the home folder is unknown", ErrorCode::File};
  const std::string folder = files::PathToUtf8(dir);
  if (std::string why = files::CreateDirectories(folder, true); !why.empty())
    return Error{"Cannot create the folder for the raw log", ErrorCode::File, folder + ": " + why};
  return files::PathToUtf8(dir / kRawLogFileName);
}

fs::path LanguagesPath() {
  if (auto o = Override(&Overrides::languages)) return *o;
  if (const auto env = files::EnvVar("ZD573_LANGUAGES"); !env.empty()) return files::PathFromUtf8(env);
  return FindLanguagesFile(ExecutableDir());
}

fs::path SystemIniPath() {
  if (auto o = Override(&Overrides::systemIni)) return *o;
  if (const auto env = files::EnvVar("ZD573_CONFIG_DIR"); !env.empty()) {
    return files::PathFromUtf8(env) / kSystemIniFileName;
  }
  return ChooseSystemIni(ExecutableDir(), files::ConfigHome(), files::HomeDir());
}

void SetLanguagesPathOverride(std::optional<fs::path> path) {
  Overrides& o = TheOverrides();
  std::lock_guard lock(o.mutex);
  o.languages = std::move(path);
}

void SetSystemIniPathOverride(std::optional<fs::path> path) {
  Overrides& o = TheOverrides();
  std::lock_guard lock(o.mutex);
  o.systemIni = std::move(path);
}

std::string ReadCurrentLanguage(const IniFile& systemIni) {
  return systemIni.Read(kSystemSection, kLanguageKey, kDefaultLanguage);
}

Status WriteCurrentLanguage(const IniFile& systemIni, std::string_view language) {
  return systemIni.Write(kSystemSection, kLanguageKey, language);
}

std::string CleanDeviceUserName(std::string_view name) {
  return std::string(CutUtf8(StripControls(name), IniFile::kMaxValueChars));
}

std::string ReadDeviceUserName(const IniFile& systemIni, std::string_view imei) {
  if (imei.empty()) return std::string(kNoDeviceUserName);
  return systemIni.Read(kUserNameSection, imei, kNoDeviceUserName);
}

bool HasDeviceUserName(const IniFile& systemIni, std::string_view imei) {
  return ReadDeviceUserName(systemIni, imei) != kNoDeviceUserName;
}

Status WriteDeviceUserName(const IniFile& systemIni, std::string_view imei,
                           std::string_view name) {
  const std::string clean = CleanDeviceUserName(name);
  if (clean.empty()) return Error{"the device name is empty"};
  return systemIni.Write(kUserNameSection, imei, clean);
}

}  // namespace zd573::settings
