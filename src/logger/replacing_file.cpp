#include "logger/replacing_file.h"

#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace zd573::logger {

namespace {

uint64_t TempNameSalt() {
  static std::atomic<uint64_t> counter{0};
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  uint64_t z = static_cast<uint64_t>(ts.tv_nsec) ^ (static_cast<uint64_t>(ts.tv_sec) << 30) ^
               (static_cast<uint64_t>(getpid()) << 40) ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  return z ^ (z >> 31);
}

}  // namespace

ReplacingFile::~ReplacingFile() { Abandon(); }

bool ReplacingFile::Open(const std::string& target) {
  Abandon();
  if (target.empty()) return false;

  final_ = target;
  struct stat st {};
  if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = realpath(target.c_str(), nullptr)) {
      final_ = real;
      free(real);
    }
  }

  const bool exists = stat(final_.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    error_ = EISDIR;
    return false;
  }
  if (exists && !S_ISREG(st.st_mode)) {
    fd_ = open(final_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) error_ = errno;
    return fd_ >= 0;
  }

  const std::size_t slash = final_.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : final_.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? final_ : final_.substr(slash + 1);
  if (base.empty()) {
    error_ = EISDIR;
    return false;
  }
  if (base.size() > 200) base.resize(200);  // leave room for the suffix within NAME_MAX

  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(TempNameSalt()));
    std::string temp = dir + (dir.back() == '/' ? "" : "/") + "." + base + suffix;
    // 0666 so that the umask decides, as for any newly created file.
    fd_ = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd_ >= 0) {
      temp_ = std::move(temp);
      break;
    }
    if (errno != EEXIST) {
      error_ = errno;
      return false;
    }
  }
  if (fd_ < 0) {
    error_ = EEXIST;
    return false;
  }
  // A replaced file keeps its permissions.
  if (exists) (void)fchmod(fd_, st.st_mode & 07777);
  replacing_ = exists;
  return true;
}

bool ReplacingFile::Write(const void* data, std::size_t size) {
  if (fd_ < 0) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd_, p, size);
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

bool ReplacingFile::Commit() {
  if (fd_ < 0) return false;
  if (temp_.empty()) {
    const bool closed = close(fd_) == 0;
    fd_ = -1;
    return closed;
  }
  // When there is an old file to lose, sync first: otherwise a system crash
  // soon after the rename could leave an empty file where it was. A new file
  // has nothing to protect and skips the wait.
  const bool synced = !replacing_ || fsync(fd_) == 0;
  if (!synced) error_ = errno;
  const bool closed = close(fd_) == 0;
  if (synced && !closed) error_ = errno;
  fd_ = -1;
  if (!synced || !closed || rename(temp_.c_str(), final_.c_str()) != 0) {
    if (synced && closed) error_ = errno;
    unlink(temp_.c_str());
    temp_.clear();
    return false;
  }
  temp_.clear();
  return true;
}

std::string ReplacingFile::Reason() const {
  return error_ ? final_ + ": " + std::strerror(error_) : std::string();
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // Root may write anything, so the permission bits decide, not access().
  return (st.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0;
}

void ReplacingFile::Abandon() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    unlink(temp_.c_str());
    temp_.clear();
  }
}

}  // namespace zd573::logger
