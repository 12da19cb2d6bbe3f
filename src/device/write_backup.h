#pragma once
// Before every write to a tracker, what it held is kept: the values as read,
// in the backup file format, in backups/<IMEI>/<UTC time>.ini of the data
// folder (settings/paths.h), readable by the owner alone. The newest ones of
// each tracker stay, so a write can be taken back ("undo") by applying one.
#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "device/device_settings.h"

namespace zd573 {

// How many backups of one tracker are kept; the oldest go first.
inline constexpr std::size_t kBackupsKept = 50;

// backups/<imei> in the data folder. Refused when no data folder is known or
// the IMEI is not one (only letters and digits may name a folder).
Expected<std::string> BackupFolder(std::string_view imei);

// The name of the backup made at `when`: "20261209T121314Z.ini", and for
// the `n`th more of the same second (n >= 2) "20261209T121314Z-n.ini".
std::string BackupFileName(std::time_t when, int n = 0);

// The tracker's backups, oldest first by the time in their names; other
// files in the folder are not counted and never removed.
std::vector<std::string> ListBackups(std::string_view imei);

// Saves `keys` of `values` (the tracker's record as read before a write, its
// IMEI in B2, which is always saved) to a new file in the tracker's folder,
// mode 0600, made durable and put in place whole or not at all, then removes
// all but the newest kBackupsKept. The path of the file, or why it could not
// be saved: then nothing may be written to the tracker.
Expected<std::string> SaveWriteBackup(const DeviceValues& values, const std::vector<std::string_view>& keys,
                                      int codePage, std::time_t when = std::time(nullptr));

// The tracker's newest backup; an error that says there is none, naming the folder.
Expected<std::string> NewestBackup(std::string_view imei);

// Backups a person asks for, one file per tracker in a folder of theirs
// (`zd573 backup --each`): FOLDER/IMEI.ini with every value, readable by the
// owner alone (0600), put in place whole or not at all. The file it replaces
// is kept as IMEI.ini.1, the one before that as IMEI.ini.2, and so on up to
// kEachBackupsKept; the oldest goes.
inline constexpr int kEachBackupsKept = 5;
struct SavedBackup {
  std::string path;  // FOLDER/IMEI.ini
  std::string kept;  // where the file it replaced is kept; empty when there was none
};
Expected<SavedBackup> SaveTrackerBackup(const std::string& folder, const DeviceValues& values, int codePage);

}  // namespace zd573
