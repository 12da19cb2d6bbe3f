#include "logger/replacing_file.h"

#include <filesystem>

namespace zd573::logger {

namespace {

namespace fs = std::filesystem;

constexpr const char* kNotRegular = "not a regular file (a pipe or a device), which cannot be replaced";

// The file a symbolic link points to; the path itself when it is no link or
// a dangling one (which the new file then replaces).
std::string Resolve(const std::string& target) {
  std::error_code ec;
  const fs::path path = files::PathFromUtf8(target);
  if (!fs::is_symlink(path, ec)) return target;
  const fs::path real = fs::canonical(path, ec);
  return ec ? target : files::PathToUtf8(real);
}

}  // namespace

ReplacingFile::~ReplacingFile() { Abandon(); }

bool ReplacingFile::Fail(std::string reason) {
  reason_ = std::move(reason);
  file_.Remove();
  return false;
}

bool ReplacingFile::Open(const std::string& target, bool ownerOnly) {
  Abandon();
  reason_.clear();
  final_ = target;
  if (target.empty()) return Fail("no file name");
  final_ = Resolve(target);

  const files::Kind kind = files::KindOf(final_);
  if (kind == files::Kind::Directory) return Fail("Is a directory");
  if (kind == files::Kind::Other) return Fail(kNotRegular);

  const fs::path path = files::PathFromUtf8(final_);
  std::string base = files::PathToUtf8(path.filename());
  if (base.empty()) return Fail("Is a directory");
  if (base.size() > 200) base.resize(200);  // leave room for the suffix within NAME_MAX
  file_.SetOwnerOnly(ownerOnly);
  const bool created = file_.CreateUnique([&](const std::string& suffix) {
    return files::PathToUtf8(path.parent_path() / files::PathFromUtf8("." + base + "." + suffix + ".tmp"));
  });
  if (!created) return Fail(file_.Reason());
  // A replaced file keeps its permissions.
  replacing_ = kind == files::Kind::Regular;
  if (replacing_ && !ownerOnly) file_.CopyModeOf(final_);
  return true;
}

bool ReplacingFile::Write(const void* data, std::size_t size) {
  if (!file_.IsOpen()) return false;
  return file_.Write(data, size) || Fail(file_.Reason());
}

bool ReplacingFile::Commit() {
  if (!file_.IsOpen()) return false;
  // When there is an old file to lose, sync first: otherwise a system crash
  // soon after the rename could leave an empty file where it was. A new file
  // has nothing to protect and skips the wait.
  if (replacing_ && !file_.Sync()) return Fail(file_.Reason());
  if (!file_.RenameOver(final_)) return Fail(file_.Reason());
  return true;
}

std::string ReplacingFile::Reason() const { return reason_; }

void ReplacingFile::Abandon() { file_.Remove(); }

bool IsReadOnlyFile(const std::string& path) { return files::IsReadOnlyFile(path); }

Status CheckExportTarget(const std::string& path) {
  const std::string real = Resolve(path);
  switch (files::KindOf(real)) {
    case files::Kind::Directory: return Error{"Cannot write " + path, ErrorCode::File, "Is a directory"};
    case files::Kind::Other: return Error{"Cannot write " + path, ErrorCode::File, kNotRegular};
    default: return {};
  }
}

}  // namespace zd573::logger
