#pragma once
// Every download kept: the records of each tracker's downloads merged into one
// raw log per tracker, archive/IMEI.log in the data folder (settings/paths.h),
// so that erasing the tracker after a download never loses what was downloaded.
// The file holds a person's whereabouts: it is readable by its owner alone
// (0600) in a private folder, and it is replaced whole or not at all.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "logger/log_record.h"
#include "settings/ini_file.h"

namespace zd573::logger {

// [SYSTEM] Archive=0 in system.ini turns archiving off; it is on otherwise.
inline constexpr std::string_view kArchiveKey = "Archive";
inline constexpr std::string_view kArchiveFolderName = "archive";
inline constexpr std::string_view kArchiveExtension = ".log";

bool ArchiveEnabled(const settings::IniFile& systemIni);

// An IMEI that can name an archive file: 1 to 32 ASCII letters and digits.
bool IsArchiveName(std::string_view imei);

// DataDir()/archive; empty when the data folder is unknown.
std::filesystem::path ArchiveFolder();
// The archive of one tracker in `folder` (ArchiveFolder() when empty).
std::string ArchivePath(std::string_view imei, const std::filesystem::path& folder = {});
// The IMEIs that have an archive in `folder` (ArchiveFolder() when empty), sorted.
std::vector<std::string> ArchivedTrackers(const std::filesystem::path& folder = {});

struct ArchiveMerge {
  bool archived = false;   // false: archiving is off
  std::size_t added = 0;   // records new to the archive
  std::size_t total = 0;   // records in it now
  std::string path;
};

// Merges `records` into the archive file at `path`: ordered by GPS time, a
// record equal byte for byte to one already there not added again. An
// archive that is not a whole number of records is left alone and refused.
Expected<ArchiveMerge> MergeIntoArchive(const std::string& path, const RawLog& records);

// What a kept download ends with: unless archiving is off, merges its
// records into the tracker's archive in `folder` (ArchiveFolder() when empty).
Expected<ArchiveMerge> ArchiveDownload(const settings::IniFile& systemIni, std::string_view imei,
                                       const RawLog& records, const std::filesystem::path& folder = {});

// The records whose GPS time lies in [from, to], in order.
RawLog SelectTimeRange(const RawLog& log, uint32_t from, uint32_t to);

}  // namespace zd573::logger
