#include "logger/log_archive.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/files.h"
#include "logger/replacing_file.h"
#include "settings/paths.h"

namespace zd573::logger {
namespace {

namespace fs = std::filesystem;

struct Entry {
  uint32_t time;
  std::array<uint8_t, kLogRecordSize> bytes;

  bool operator<(const Entry& o) const {
    return time != o.time ? time < o.time : std::memcmp(bytes.data(), o.bytes.data(), kLogRecordSize) < 0;
  }
  bool operator==(const Entry& o) const { return bytes == o.bytes; }
};

void AddEntries(const uint8_t* p, std::size_t count, std::vector<Entry>& into) {
  for (std::size_t i = 0; i < count; ++i, p += kLogRecordSize) {
    Entry e{};
    std::memcpy(e.bytes.data(), p, kLogRecordSize);
    e.time = DecodeLogRecord(p).gpsTime;
    into.push_back(e);
  }
}

fs::path FolderOr(const fs::path& folder) { return folder.empty() ? ArchiveFolder() : folder; }

}  // namespace

bool ArchiveEnabled(const settings::IniFile& systemIni) {
  return systemIni.Read(settings::kSystemSection, kArchiveKey, "1") != "0";
}

bool IsArchiveName(std::string_view imei) { return settings::ImeiNamesAFile(imei); }

fs::path ArchiveFolder() {
  const fs::path data = settings::DataDir();
  return data.empty() ? fs::path{} : data / kArchiveFolderName;
}

std::string ArchivePath(std::string_view imei, const fs::path& folder) {
  return files::PathToUtf8(FolderOr(folder) / files::PathFromUtf8(std::string(imei) + std::string(kArchiveExtension)));
}

std::vector<std::string> ArchivedTrackers(const fs::path& folder) {
  std::vector<std::string> imeis;
  std::error_code ec;
  for (fs::directory_iterator it(FolderOr(folder), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = files::PathToUtf8(it->path().filename());
    if (name.size() <= kArchiveExtension.size() || !name.ends_with(kArchiveExtension)) continue;
    const std::string imei = name.substr(0, name.size() - kArchiveExtension.size());
    if (IsArchiveName(imei) && it->is_regular_file(ec)) imeis.push_back(imei);
  }
  std::sort(imeis.begin(), imeis.end());
  return imeis;
}

Expected<ArchiveMerge> MergeIntoArchive(const std::string& path, const RawLog& records) {
  auto fail = [&path](std::string why) {
    return Error{"Cannot keep the download in the archive", ErrorCode::File, path + ": " + why};
  };
  const std::string folder = files::PathToUtf8(files::PathFromUtf8(path).parent_path());
  if (!folder.empty()) {
    if (std::string why = files::CreateDirectories(folder, true); !why.empty()) return fail(why);
  }
  // An archive may outgrow one tracker's log, never the memory of a computer.
  constexpr std::size_t kMaxArchiveBytes = std::size_t{2} << 30;
  files::ReadResult old = files::ReadWholeFile(path, kMaxArchiveBytes, true);
  switch (old.problem) {
    case files::ReadProblem::None:
    case files::ReadProblem::Missing: break;
    case files::ReadProblem::NotRegular: return fail("not a regular file");
    case files::ReadProblem::TooLarge: return fail("larger than 2 GiB");
    case files::ReadProblem::Failed: return fail(old.reason);
  }
  if (old.bytes.size() % kLogRecordSize != 0)
    return fail("not a whole number of records; it is left as it is");

  const std::size_t oldCount = old.bytes.size() / kLogRecordSize;
  std::vector<Entry> entries;
  entries.reserve(oldCount + records.size());
  AddEntries(old.bytes.data(), oldCount, entries);
  AddEntries(records.data(), records.size(), entries);
  std::sort(entries.begin(), entries.end());
  entries.erase(std::unique(entries.begin(), entries.end()), entries.end());

  ArchiveMerge merge;
  merge.archived = true;
  merge.path = path;
  merge.total = entries.size();
  merge.added = entries.size() - std::min(entries.size(), oldCount);
  std::vector<uint8_t> bytes(entries.size() * kLogRecordSize);
  for (std::size_t i = 0; i < entries.size(); ++i)
    std::memcpy(bytes.data() + i * kLogRecordSize, entries[i].bytes.data(), kLogRecordSize);
  if (bytes == old.bytes && old.problem == files::ReadProblem::None) return merge;  // nothing new

  ReplacingFile file;
  if (!file.Open(path, true) || !file.Write(bytes.data(), bytes.size()) || !file.Commit())
    return Error{"Cannot keep the download in the archive", ErrorCode::File, path + ": " + file.Reason()};
  return merge;
}

Expected<ArchiveMerge> ArchiveDownload(const settings::IniFile& systemIni, std::string_view imei,
                                       const RawLog& records, const fs::path& folder) {
  if (!ArchiveEnabled(systemIni)) return ArchiveMerge{};
  if (!IsArchiveName(imei))
    return Error{"Cannot keep the download in the archive", ErrorCode::BadValue,
                 "the tracker's IMEI cannot name a file"};
  const fs::path where = FolderOr(folder);
  if (where.empty())
    return Error{"Cannot keep the download in the archive", ErrorCode::File, "the home folder is unknown"};
  return MergeIntoArchive(ArchivePath(imei, where), records);
}

RawLog SelectTimeRange(const RawLog& log, uint32_t from, uint32_t to) {
  std::vector<LogRecord> kept;
  for (std::size_t i = 0; i < log.size(); ++i) {
    const LogRecord r = log[i];
    if (r.gpsTime >= from && r.gpsTime <= to) kept.push_back(r);
  }
  return RawLog::FromRecords(kept);
}

}  // namespace zd573::logger
