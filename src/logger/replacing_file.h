#pragma once
// Writes a file so that an existing one is only ever replaced by a complete
// new one: the data goes to a temporary file beside the target, which is
// renamed over it on Commit. Until then, and after any failure, the old file
// is untouched and the temporary file is removed.
#include <cstddef>
#include <string>

#include "common/files.h"
#include "common/result.h"

namespace zd573::logger {

class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // False when the target cannot be created (missing folder, no permission,
  // a directory in the way) or is not a regular file: a pipe or a device
  // cannot be replaced, and writing into one could wait for ever. A symbolic
  // link is followed, so the link stays.
  // With `ownerOnly` the new file is readable by its owner alone (it holds a
  // secret), whatever the old one allowed.
  bool Open(const std::string& target, bool ownerOnly = false);
  bool Write(const void* data, std::size_t size);
  // Puts the new contents in place, made durable first when they replace an
  // old file. False leaves the old file as it was.
  bool Commit();
  // Drops what was written; the old file stays.
  void Abandon();
  // The system's reason for the last failed Open, Write or Commit; the
  // caller names the file, once.
  std::string Reason() const;

 private:
  bool Fail(std::string reason);

  files::NewFile file_;
  std::string final_;
  bool replacing_ = false;  // an old file exists
  std::string reason_;
};

// An existing regular file (after links) that nobody may write: the user has
// protected it, and it is not replaced unless the user says so.
bool IsReadOnlyFile(const std::string& path);

// Whether `path` can take an export or a backup, checked before any work:
// a folder, a pipe or a device in its place is refused, naming it (the
// reason is the error's detail).
Status CheckExportTarget(const std::string& path);

}  // namespace zd573::logger
