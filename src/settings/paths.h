#pragma once
// Where the program's files live, and the entries of system.ini.
//
// Languages.lng: beside the executable, else ../share/zd573/ (installed
// layout). system.ini: beside the executable when that folder is writable
// and the program is not installed (portable use), else
// $XDG_CONFIG_HOME/zd573/ (default ~/.config/zd573/; %APPDATA%\zd573\ on
// Windows). temp.log, the raw log of a download: $XDG_CACHE_HOME/zd573/
// (default ~/.cache/zd573/; %LOCALAPPDATA%\zd573\ on Windows). The backups
// made before each write and the download archive: $XDG_DATA_HOME/zd573/ (default ~/.local/share/zd573/;
// %LOCALAPPDATA%\zd573\ on Windows).
//
// Overrides, strongest first: the setters below, then the environment
// (ZD573_LANGUAGES = the language file, ZD573_CONFIG_DIR = the folder of
// system.ini), then the search above.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "settings/ini_file.h"

namespace zd573::settings {

inline constexpr std::string_view kLanguagesFileName = "Languages.lng";
inline constexpr std::string_view kSystemIniFileName = "system.ini";
inline constexpr std::string_view kRawLogFileName = "temp.log";

inline constexpr std::string_view kSystemSection = "SYSTEM";
inline constexpr std::string_view kLanguageKey = "DefaultLanguage";
inline constexpr std::string_view kDefaultLanguage = "English";
// Where the window's file dialogs start, and the provisioning report named last.
inline constexpr std::string_view kFileFolderKey = "FileFolder";
inline constexpr std::string_view kReportFileKey = "ReportFile";
inline constexpr std::string_view kUserNameSection = "USERNAME";
// Stored (or read back) for a device that has no name of its own.
inline constexpr std::string_view kNoDeviceUserName = "ZD573";

// Folder of the running executable, empty if unknown.
std::filesystem::path ExecutableDir();

// The search rules on explicit inputs, so they can be checked without a real
// executable or environment.
std::filesystem::path FindLanguagesFile(const std::filesystem::path& exeDir);
std::filesystem::path ChooseSystemIni(const std::filesystem::path& exeDir,
                                      std::string_view xdgConfigHome, std::string_view home);

// The user's cache folder for the program: zd573 under an absolute
// `xdgCacheHome`, else under `home`/.cache; empty when neither is known.
std::filesystem::path ChooseCacheDir(std::string_view xdgCacheHome, std::string_view home);
std::filesystem::path CacheDir();

// The user's data folder for the program: zd573 under an absolute
// `xdgDataHome`, else under `home`/.local/share; empty when neither is known.
std::filesystem::path ChooseDataDir(std::string_view xdgDataHome, std::string_view home);
std::filesystem::path DataDir();
// Whether an IMEI may name a file or folder in the data folder: 1 to 32
// letters or digits (an IMEI is digits; letters are let pass for trackers
// that report another kind of number), so "..", "/" and the like never do.
bool ImeiNamesAFile(std::string_view imei);

// Where a download keeps the raw log: temp.log in CacheDir(), whose missing
// folders are created private to the user (mode 0700). The logger page and
// `zd573 log download` both use it.
Expected<std::string> RawLogPath();

// The paths in use, with overrides applied.
std::filesystem::path LanguagesPath();
std::filesystem::path SystemIniPath();

// Process-wide overrides; std::nullopt removes one.
void SetLanguagesPathOverride(std::optional<std::filesystem::path> path);
void SetSystemIniPathOverride(std::optional<std::filesystem::path> path);

// [SYSTEM] DefaultLanguage, default "English".
std::string ReadCurrentLanguage(const IniFile& systemIni);
Status WriteCurrentLanguage(const IniFile& systemIni, std::string_view language);

// A device name as typed, made safe for one ini line: control characters
// (line breaks, tabs, C1 controls) removed, cut to what a read gives back.
std::string CleanDeviceUserName(std::string_view name);

// [USERNAME] <imei>, default "ZD573" (no name stored).
std::string ReadDeviceUserName(const IniFile& systemIni, std::string_view imei);
bool HasDeviceUserName(const IniFile& systemIni, std::string_view imei);
// Stores the cleaned name; refuses an IMEI that cannot be a key and a name
// that is empty once cleaned.
Status WriteDeviceUserName(const IniFile& systemIni, std::string_view imei, std::string_view name);

}  // namespace zd573::settings
