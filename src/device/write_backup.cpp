#include "device/write_backup.h"

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "common/files.h"
#include "common/utc_time.h"
#include "device/profile.h"
#include "settings/paths.h"

namespace zd573 {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBackupsFolder = "backups";
constexpr std::size_t kStampSize = 16;  // 20261209T121314Z

Error CannotSave(const std::string& path, const std::string& reason) {
  return Error{"Cannot save the backup " + path, ErrorCode::File, reason}.Names(MessageKind::FileUnwritable, path,
                                                                                 {reason});
}

// The time and the count of a backup's name, for ordering; false for a file
// that is no backup.
bool ParseName(const std::string& name, std::string& stamp, int& n) {
  if (name.size() < kStampSize + 4 || !name.ends_with(".ini")) return false;
  stamp = name.substr(0, kStampSize);
  for (std::size_t i = 0; i < kStampSize; ++i) {
    const char c = stamp[i];
    const bool ok = i == 8 ? c == 'T' : i == 15 ? c == 'Z' : c >= '0' && c <= '9';
    if (!ok) return false;
  }
  const std::string rest = name.substr(kStampSize, name.size() - kStampSize - 4);
  if (rest.empty()) {
    n = 0;
    return true;
  }
  if (rest.size() < 2 || rest.size() > 6 || rest[0] != '-' ||
      !std::all_of(rest.begin() + 1, rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  n = std::stoi(rest.substr(1));
  return true;
}

}  // namespace

Expected<std::string> BackupFolder(std::string_view imei) {
  if (!settings::ImeiNamesAFile(imei))
    return Error{"The tracker's IMEI (\"" + std::string(imei) + "\") cannot name a folder of backups",
                 ErrorCode::BadValue};
  const fs::path data = settings::DataDir();
  if (data.empty()) return Error{"No folder for backups: the home folder is unknown", ErrorCode::File};
  return files::PathToUtf8(data / kBackupsFolder / files::PathFromUtf8(imei));
}

std::string BackupFileName(std::time_t when, int n) {
  return UtcText(when, "%Y%m%dT%H%M%SZ") + (n >= 2 ? "-" + std::to_string(n) : "") + ".ini";
}

std::vector<std::string> ListBackups(std::string_view imei) {
  auto folder = BackupFolder(imei);
  if (!folder) return {};
  std::vector<std::tuple<std::string, int, std::string>> found;
  std::error_code ec;
  for (fs::directory_iterator it(files::PathFromUtf8(*folder), ec), end; !ec && it != end; it.increment(ec)) {
    std::string stamp;
    int n = 0;
    const std::string name = files::PathToUtf8(it->path().filename());
    if (ParseName(name, stamp, n) && it->is_regular_file(ec)) found.emplace_back(stamp, n, files::PathToUtf8(it->path()));
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (auto& f : found) paths.push_back(std::move(std::get<2>(f)));
  return paths;
}

Expected<std::string> SaveWriteBackup(const DeviceValues& values, const std::vector<std::string_view>& keys,
                                      int codePage, std::time_t when) {
  const std::string imei = values.Text("B2");
  auto folder = BackupFolder(imei);
  if (!folder) return folder.failure();
  // Private folders: the backups may hold the password and the SIM PIN.
  if (std::string why = files::CreateDirectories(*folder, true); !why.empty()) return CannotSave(*folder, why);

  std::vector<std::string_view> saved = keys;
  if (std::find(saved.begin(), saved.end(), "B2") == saved.end()) saved.push_back("B2");
  const std::string text = FormatProfile(values, saved, codePage);

  // Two writes in one second keep both.
  std::string target;
  for (int n = 0;; n = n == 0 ? 2 : n + 1) {
    if (n > 999) return CannotSave(*folder, "every name for this second is taken");
    target = files::PathToUtf8(files::PathFromUtf8(*folder) / BackupFileName(when, n));
    if (files::KindOf(target) == files::Kind::Missing) break;
  }
  files::NewFile file;
  file.SetOwnerOnly(true);
  const std::string name = files::PathToUtf8(files::PathFromUtf8(target).filename());
  const bool created = file.CreateUnique([&](const std::string& suffix) {
    return files::PathToUtf8(files::PathFromUtf8(*folder) / ("." + name + "." + suffix + ".tmp"));
  });
  // The file must survive a crash right after: the write it backs up follows at once.
  if (!created || !file.Write(text.data(), text.size()) || !file.Sync() || !file.RenameOver(target)) {
    const std::string reason = file.Reason();
    file.Remove();
    return CannotSave(target, reason);
  }

  // The one just saved stays even when a clock set back names it the oldest.
  std::vector<std::string> all = ListBackups(imei);
  all.erase(std::remove(all.begin(), all.end(), target), all.end());
  for (std::size_t i = 0; i + kBackupsKept < all.size() + 1; ++i) {
    std::error_code ec;
    fs::remove(files::PathFromUtf8(all[i]), ec);  // one left over is removed next time
  }
  return target;
}

Expected<std::string> NewestBackup(std::string_view imei) {
  auto folder = BackupFolder(imei);
  if (!folder) return folder.failure();
  const std::vector<std::string> all = ListBackups(imei);
  if (all.empty())
    return Error{"No backup of the tracker with IMEI " + std::string(imei) + " in " + *folder +
                     ": one is made before every write",
                 ErrorCode::File};
  return all.back();
}

Expected<SavedBackup> SaveTrackerBackup(const std::string& folder, const DeviceValues& values, int codePage) {
  const std::string imei = values.Text("B2");
  if (!settings::ImeiNamesAFile(imei))
    return Error{"The tracker's IMEI (\"" + imei + "\") cannot name a backup file", ErrorCode::BadValue};
  // Created private: the backups hold the password and the SIM PIN.
  if (std::string why = files::CreateDirectories(folder, true); !why.empty()) return CannotSave(folder, why);
  const fs::path dir = files::PathFromUtf8(folder);
  SavedBackup saved;
  saved.path = files::PathToUtf8(dir / (imei + ".ini"));
  const auto kept = [&](int n) { return dir / (imei + ".ini." + std::to_string(n)); };
  const files::Kind before = files::KindOf(saved.path);
  if (before != files::Kind::Missing && before != files::Kind::Regular)
    return CannotSave(saved.path, "not a regular file");

  const std::string text = FormatProfile(values, KeysToSave(true), codePage);
  files::NewFile file;
  file.SetOwnerOnly(true);
  const bool created = file.CreateUnique([&](const std::string& suffix) {
    return files::PathToUtf8(dir / ("." + imei + ".ini." + suffix + ".tmp"));
  });
  if (!created || !file.Write(text.data(), text.size()) || !file.Sync()) {
    const std::string reason = file.Reason();
    file.Remove();
    return CannotSave(saved.path, reason);
  }
  if (before == files::Kind::Regular) {
    // The older ones move down one; the one replaced stays in place until the
    // new one takes its name, as a second name for it.
    std::error_code ec;
    fs::remove(kept(kEachBackupsKept), ec);
    for (int n = kEachBackupsKept - 1; n >= 1; --n)
      if (fs::exists(kept(n), ec)) fs::rename(kept(n), kept(n + 1), ec);
    ec.clear();
    fs::create_hard_link(files::PathFromUtf8(saved.path), kept(1), ec);
    if (ec) {
      ec.clear();
      fs::copy_file(files::PathFromUtf8(saved.path), kept(1), fs::copy_options::overwrite_existing, ec);
    }
    if (ec) {
      file.Remove();
      return CannotSave(saved.path, "the backup before cannot be kept as " + files::PathToUtf8(kept(1)) + ": " +
                                        ec.message());
    }
    saved.kept = files::PathToUtf8(kept(1));
  }
  if (!file.RenameOver(saved.path)) {
    const std::string reason = file.Reason();
    file.Remove();
    return CannotSave(saved.path, reason);
  }
  return saved;
}

}  // namespace zd573
