#pragma once
// Files and folders, the one platform facility every area of the core uses.
// files_posix.cpp fills it with POSIX calls, files_win32.cpp with Win32 ones;
// nothing else in the core touches a file handle. Paths are UTF-8 text on
// every platform (a Windows path is converted to UTF-16 at the system call).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zd573::files {

// A path from UTF-8 text and back, the same on every platform (narrow
// std::filesystem paths mean the ANSI code page on Windows).
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

// An environment variable as UTF-8; empty when unset.
std::string EnvVar(const char* name);

// What a path names, links followed.
enum class Kind { Missing, Regular, Directory, Other };
Kind KindOf(const std::string& path);

// An existing regular file that nobody may write: the user has protected it.
bool IsReadOnlyFile(const std::string& path);

// A folder this user may create files in.
bool IsWritableDir(const std::string& path);

// The folder of the running executable; empty when unknown.
std::string ExecutableDir();

// The user's home folder (HOME, else the account's; %USERPROFILE% on Windows).
std::string HomeDir();

// Where the user's settings, cache and data folders live: $XDG_CONFIG_HOME,
// $XDG_CACHE_HOME and $XDG_DATA_HOME (empty when unset), on Windows %APPDATA%
// and %LOCALAPPDATA% (for both of the others).
std::string ConfigHome();
std::string CacheHome();
std::string DataHome();

// Creates the folder and any missing parents. The folders it creates are
// private to the user (mode 0700) when `privateDirs`; existing ones stay as
// they are. Empty on success, else the system's reason (the caller names
// the folder, so a message names it once).
std::string CreateDirectories(const std::string& path, bool privateDirs);

// The system's text for an error number of this facility (errno, or
// GetLastError on Windows).
std::string ErrorText(int error);

enum class ReadProblem { None, Missing, NotRegular, TooLarge, Failed };

struct ReadResult {
  ReadProblem problem = ReadProblem::None;
  std::vector<std::uint8_t> bytes;
  std::string reason;  // the system's text for Failed
};

// Reads a whole file of at most `maxBytes`. With `regularOnly` anything but a
// regular file (a pipe, a device) is refused at once, never waited on;
// without it a pipe is read to its end, or to the limit.
ReadResult ReadWholeFile(const std::string& path, std::size_t maxBytes, bool regularOnly);

// A small file that holds a secret (a password), read only when nobody else
// may read or change it: a regular file of this user's that grants no one
// else any access (mode 0600 or stricter; on Windows an access list that
// grants only this user, the system and the administrators).
struct SecretFile {
  std::string text;     // its bytes, when it was read
  std::string refused;  // else why not, without the path
};
SecretFile ReadSecretFile(const std::string& path, std::size_t maxBytes);

// Text for a salted temporary name: 16 hex digits nobody else picks.
std::string UniqueSuffix();

// A file this program creates exclusively (never through a link, never one
// that is already there), writes, makes durable and then either renames over
// a target or removes. The destructor removes it unless it was renamed.
class NewFile {
 public:
  NewFile() = default;
  ~NewFile();
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // Files created from now on are readable and writable by their owner
  // alone (mode 0600; on Windows an access list naming only the owner).
  void SetOwnerOnly(bool ownerOnly) { ownerOnly_ = ownerOnly; }
  // False when `path` exists or cannot be created; Reason() tells why.
  bool Create(const std::string& path);
  // Creates the file named by `nameFor(UniqueSuffix())`, with a new suffix
  // while the name is taken (100 tries); false as Create.
  bool CreateUnique(const std::function<std::string(const std::string& suffix)>& nameFor);
  bool IsOpen() const { return handle_ != kNone; }
  bool Write(const void* data, std::size_t size);
  // Gives the file the permission bits of an existing `other` file (POSIX only).
  void CopyModeOf(const std::string& other);
  // Makes the contents durable; a file system that cannot sync is not an error.
  bool Sync();
  bool Close();
  // Closes and renames the file over `target` in one step (a link named
  // `target` is replaced, not followed).
  bool RenameOver(const std::string& target);
  // Closes and removes the file.
  void Remove();
  // The system's text for the last failure.
  std::string Reason() const { return ErrorText(error_); }
  // Whether Create failed because the name was taken.
  bool NameTaken() const;

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
  std::string path_;
  int error_ = 0;
  bool ownerOnly_ = false;
};

// A file that rows are added to, each whole or not at all: a row the disk
// cannot take is cut off again, so the file never ends in half a row.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile() { Close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens `path` for adding, creating it when missing; false and Reason() when not.
  bool Open(const std::string& path);
  bool IsOpen() const { return handle_ != kNone; }
  // The file's size, or -1.
  std::int64_t Size();
  // The file's last byte, or -1 when it is empty or cannot be read.
  int LastByte();
  // Adds `text` at the end in one piece and makes it durable. On a failure
  // the file is cut back to its size before and Reason() tells why.
  bool Append(std::string_view text);
  // Whether `path` still names the file held open: false once it was
  // deleted, replaced (a program saving by rename) or moved away.
  bool StillNamedBy(const std::string& path) const;
  void Close();
  std::string Reason() const { return ErrorText(error_); }

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
  int error_ = 0;
};

}  // namespace zd573::files
