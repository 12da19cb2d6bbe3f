// Files and folders with POSIX calls.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/files.h"

namespace zd573::files {

namespace fs = std::filesystem;

fs::path PathFromUtf8(std::string_view utf8) { return fs::path(std::string(utf8)); }

std::string PathToUtf8(const fs::path& path) { return path.string(); }

std::string EnvVar(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

Kind KindOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Kind::Missing;
  if (S_ISREG(st.st_mode)) return Kind::Regular;
  if (S_ISDIR(st.st_mode)) return Kind::Directory;
  return Kind::Other;
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // Root may write anything, so the permission bits decide, not access().
  return (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

bool IsWritableDir(const std::string& path) {
  return !path.empty() && KindOf(path) == Kind::Directory && ::access(path.c_str(), W_OK) == 0;
}

std::string ExecutableDir() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

std::string HomeDir() {
  if (std::string home = EnvVar("HOME"); !home.empty()) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

std::string ConfigHome() { return EnvVar("XDG_CONFIG_HOME"); }

std::string CacheHome() { return EnvVar("XDG_CACHE_HOME"); }

std::string DataHome() { return EnvVar("XDG_DATA_HOME"); }

std::string CreateDirectories(const std::string& path, bool privateDirs) {
  if (KindOf(path) == Kind::Directory) return {};
  const fs::path p(path);
  if (p.has_parent_path() && p.parent_path() != p) {
    if (std::string why = CreateDirectories(p.parent_path().string(), privateDirs); !why.empty()) return why;
  }
  if (::mkdir(path.c_str(), privateDirs ? 0700 : 0777) != 0 && errno != EEXIST) return ErrorText(errno);
  if (KindOf(path) != Kind::Directory) return ErrorText(ENOTDIR);
  return {};
}

std::string ErrorText(int error) { return std::strerror(error); }

ReadResult ReadWholeFile(const std::string& path, std::size_t maxBytes, bool regularOnly) {
  ReadResult r;
  // O_NONBLOCK: opening a FIFO must not wait for a writer (it is then refused).
  // Reads of a regular file ignore the flag.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | (regularOnly ? O_NONBLOCK : 0));
  if (fd < 0) {
    r.problem = errno == ENOENT ? ReadProblem::Missing : ReadProblem::Failed;
    r.reason = ErrorText(errno);
    return r;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || (regularOnly && !S_ISREG(st.st_mode))) {
    r.problem = S_ISDIR(st.st_mode) || !regularOnly ? ReadProblem::Failed : ReadProblem::NotRegular;
    r.reason = ErrorText(S_ISDIR(st.st_mode) ? EISDIR : errno);
    ::close(fd);
    return r;
  }
  if (S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
    r.problem = ReadProblem::TooLarge;
    ::close(fd);
    return r;
  }
  try {
    // Read to the end rather than trusting the size: the file may still grow
    // or be something other than a regular file.
    std::size_t capacity = S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) + 1 : 65536;
    if (capacity > maxBytes + 1) capacity = maxBytes + 1;
    r.bytes.resize(capacity);
    std::size_t filled = 0;
    for (;;) {
      if (filled > maxBytes) {
        r.problem = ReadProblem::TooLarge;
        r.bytes.clear();
        break;
      }
      if (filled == r.bytes.size()) r.bytes.resize(std::min(r.bytes.size() * 2, maxBytes + 1));
      const ssize_t n = ::read(fd, r.bytes.data() + filled, r.bytes.size() - filled);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        r.problem = ReadProblem::Failed;
        r.reason = ErrorText(errno);
        r.bytes.clear();
        break;
      }
      if (n == 0) {
        r.bytes.resize(filled);  // no shrink_to_fit: a copy would double the peak memory
        break;
      }
      filled += static_cast<std::size_t>(n);
    }
  } catch (const std::bad_alloc&) {
    r = ReadResult{ReadProblem::Failed, {}, ErrorText(ENOMEM)};
  }
  ::close(fd);
  return r;
}

SecretFile ReadSecretFile(const std::string& path, std::size_t maxBytes) {
  SecretFile r;
  // The checks look at the file opened, so nothing can be swapped in between.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    r.refused = ErrorText(errno);
    return r;
  }
  struct stat st {};
  char mode[8];
  if (::fstat(fd, &st) != 0) {
    r.refused = ErrorText(errno);
  } else if (!S_ISREG(st.st_mode)) {
    r.refused = "it is not a regular file";
  } else if (st.st_uid != ::geteuid()) {
    r.refused = "it belongs to another user, who may read or change it";
  } else if ((st.st_mode & 077) != 0) {
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    r.refused = std::string("others may read or change it (mode ") + mode + "); chmod 600 makes it yours alone";
  } else if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
    r.refused = "it is larger than " + std::to_string(maxBytes) + " bytes, more than a password";
  } else {
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t filled = 0;
    while (filled < text.size()) {
      const ssize_t n = ::read(fd, text.data() + filled, text.size() - filled);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        r.refused = ErrorText(errno);
        break;
      }
      if (n == 0) break;
      filled += static_cast<std::size_t>(n);
    }
    text.resize(filled);
    if (r.refused.empty()) r.text = std::move(text);
  }
  ::close(fd);
  return r;
}

NewFile::~NewFile() { Remove(); }

bool NewFile::Create(const std::string& path) {
  Remove();
  // O_EXCL never follows a link and never opens a file that is already there;
  // 0666 lets the umask decide, as for any new file; a secret's file is the owner's from the start.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                        ownerOnly_ ? 0600 : 0666);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  handle_ = fd;
  path_ = path;
  return true;
}

bool NewFile::NameTaken() const { return error_ == EEXIST; }

bool NewFile::Write(const void* data, std::size_t size) {
  if (handle_ == kNone) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(static_cast<int>(handle_), p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : ENOSPC;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void NewFile::CopyModeOf(const std::string& other) {
  struct stat st {};
  if (handle_ != kNone && ::stat(other.c_str(), &st) == 0) (void)::fchmod(static_cast<int>(handle_), st.st_mode & 07777);
}

bool NewFile::Sync() {
  if (handle_ == kNone) return false;
  if (::fsync(static_cast<int>(handle_)) != 0 && errno != EINVAL) {
    error_ = errno;
    return false;
  }
  return true;
}

bool NewFile::Close() {
  if (handle_ == kNone) return true;
  const bool closed = ::close(static_cast<int>(handle_)) == 0;
  if (!closed) error_ = errno;
  handle_ = kNone;
  return closed;
}

bool NewFile::RenameOver(const std::string& target) {
  if (!Close() || path_.empty()) return false;
  if (::rename(path_.c_str(), target.c_str()) != 0) {
    error_ = errno;
    return false;
  }
  path_.clear();
  return true;
}

void NewFile::Remove() {
  if (handle_ != kNone) ::close(static_cast<int>(handle_));
  handle_ = kNone;
  if (!path_.empty()) ::unlink(path_.c_str());
  path_.clear();
}

bool AppendFile::Open(const std::string& path) {
  Close();
  const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  handle_ = fd;
  return true;
}

std::int64_t AppendFile::Size() {
  struct stat st {};
  if (handle_ == kNone || ::fstat(static_cast<int>(handle_), &st) != 0) {
    error_ = handle_ == kNone ? EBADF : errno;
    return -1;
  }
  return st.st_size;
}

int AppendFile::LastByte() {
  const std::int64_t size = Size();
  unsigned char c = 0;
  if (size <= 0 || ::pread(static_cast<int>(handle_), &c, 1, static_cast<off_t>(size - 1)) != 1) return -1;
  return c;
}

bool AppendFile::Append(std::string_view text) {
  const std::int64_t before = Size();
  if (before < 0) return false;
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(static_cast<int>(handle_), p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : ENOSPC;
      (void)::ftruncate(static_cast<int>(handle_), static_cast<off_t>(before));
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(static_cast<int>(handle_)) != 0 && errno != EINVAL) {
    error_ = errno;
    (void)::ftruncate(static_cast<int>(handle_), static_cast<off_t>(before));
    return false;
  }
  return true;
}

bool AppendFile::StillNamedBy(const std::string& path) const {
  struct stat held {}, named {};
  if (handle_ == kNone || ::fstat(static_cast<int>(handle_), &held) != 0 || held.st_nlink == 0) return false;
  return ::stat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

void AppendFile::Close() {
  if (handle_ != kNone) ::close(static_cast<int>(handle_));
  handle_ = kNone;
}

}  // namespace zd573::files
