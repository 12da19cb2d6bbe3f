#pragma once
// Writes a file so that an existing one is only ever replaced by a complete
// new one: the data goes to a temporary file beside the target, which is
// renamed over it on Commit. Until then, and after any failure, the old file
// is untouched and the temporary file is removed.
#include <cstddef>
#include <string>

namespace zd573::logger {

class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // False when the target cannot be created (missing folder, no permission,
  // a directory in the way). A symbolic link is followed, so the link stays.
  // Targets that are not regular files (a pipe, /dev/stdout, /dev/null) are
  // written directly, since they cannot be replaced by a rename.
  bool Open(const std::string& target);
  bool Write(const void* data, std::size_t size);
  // Puts the new contents in place, made durable first when they replace an
  // old file. False leaves the old file as it was.
  bool Commit();
  // Drops what was written; the old file stays.
  void Abandon();
  // The system's reason for the last failed Open, Write or Commit.
  std::string Reason() const;

 private:
  int fd_ = -1;
  std::string final_;
  std::string temp_;  // empty when writing the target directly
  bool replacing_ = false;  // an old file exists
  int error_ = 0;           // errno of the last failure
};

// An existing regular file (after links) that nobody may write: the user has
// protected it, and it is not replaced unless the user says so.
bool IsReadOnlyFile(const std::string& path);

}  // namespace zd573::logger
