// Files and folders with Win32 calls. Paths are UTF-8 in the core and UTF-16
// at every system call.
#include <windows.h>
// aclapi.h needs windows.h first.
#include <aclapi.h>

#include <new>

#include "common/files.h"
#include "common/win32_text.h"

namespace zd573::files {

namespace fs = std::filesystem;

namespace {

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// Opens what the path names without reading or changing it, a folder included.
HANDLE OpenForQuery(const std::wstring& path) {
  return ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// A path too long for the classic calls goes to the system in its long form
// ("\\?\C:\..." or "\\?\UNC\server\..."), which takes neither '/' nor
// relative parts: it is made full first. Shorter paths go as they are, so
// device names (NUL, COM5) keep their meaning.
std::wstring SystemPath(std::string_view utf8) {
  std::wstring wide = win32::Wide(utf8);
  constexpr std::size_t kClassicLimit = MAX_PATH - 12;  // a folder must leave room for an 8.3 name
  if (wide.size() < kClassicLimit || wide.starts_with(L"\\\\?\\") || wide.starts_with(L"\\\\.\\")) return wide;
  const DWORD need = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (need == 0) return wide;
  std::wstring full(need, L'\0');
  const DWORD n = ::GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
  if (n == 0 || n >= need) return wide;
  full.resize(n);
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

bool IsMissingError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
         error == ERROR_BAD_NETPATH;
}

// A security descriptor whose access list grants this user alone full
// access and inherits nothing from the folder.
struct OwnerOnlyAccess {
  SECURITY_ATTRIBUTES attributes{static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), nullptr, FALSE};
  SECURITY_DESCRIPTOR descriptor{};
  std::vector<unsigned char> user;  // TOKEN_USER
  std::vector<unsigned char> acl;

  bool Build() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user.resize(size);
    const BOOL got = size && ::GetTokenInformation(token, TokenUser, user.data(), size, &size);
    ::CloseHandle(token);
    if (!got) return false;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    acl.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid));
    auto* list = reinterpret_cast<ACL*>(acl.data());
    if (!::InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION) ||
        !::AddAccessAllowedAce(list, ACL_REVISION, FILE_ALL_ACCESS, sid) ||
        !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
      return false;
    attributes.lpSecurityDescriptor = &descriptor;
    return true;
  }
};

// Why others may read or change the open file: empty when its owner is this
// user (or the administrators) and its access list grants no one but this
// user, the system and the administrators, who may read any file anyway.
std::string OthersMayAccess(HANDLE h) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return "this user cannot be told";
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> user(size);
  const BOOL got = size && ::GetTokenInformation(token, TokenUser, user.data(), size, &size);
  ::CloseHandle(token);
  if (!got) return "this user cannot be told";
  PSID me = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  const auto trusted = [me](PSID sid) {
    return ::EqualSid(sid, me) || ::IsWellKnownSid(sid, WinLocalSystemSid) ||
           ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
  };
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return "its access list cannot be read";
  std::string why;
  if (!owner || !(::EqualSid(owner, me) || ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid))) {
    why = "it belongs to another user, who may read or change it";
  } else if (!dacl) {
    why = "it has no access list, so everyone may read it";
  } else {
    for (DWORD i = 0; i < dacl->AceCount && why.empty(); ++i) {
      void* ace = nullptr;
      if (!::GetAce(dacl, i, &ace)) continue;
      const auto* header = static_cast<const ACE_HEADER*>(ace);
      if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // for files made in it, not for it
      if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
      const bool mine = header->AceType == ACCESS_ALLOWED_ACE_TYPE &&
                        trusted(reinterpret_cast<PSID>(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart));
      if (!mine) why = "its access list lets others read or change it; make it yours alone";
    }
  }
  ::LocalFree(descriptor);
  return why;
}

}  // namespace

fs::path PathFromUtf8(std::string_view utf8) { return fs::path(win32::Wide(utf8)); }

std::string PathToUtf8(const fs::path& path) { return win32::Utf8(path.native()); }

std::string EnvVar(const char* name) {
  const wchar_t* v = ::_wgetenv(win32::Wide(name).c_str());
  return v ? win32::Utf8(v) : std::string();
}

Kind KindOf(const std::string& path) {
  const std::wstring wide = SystemPath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return Kind::Directory;
  // Devices (NUL, CON, COM1) and pipes answer attribute queries oddly; what
  // the opened handle is decides.
  const HANDLE h = OpenForQuery(wide);
  if (h == INVALID_HANDLE_VALUE) return attributes == INVALID_FILE_ATTRIBUTES ? Kind::Missing : Kind::Other;
  const DWORD type = ::GetFileType(h);
  ::CloseHandle(h);
  return type == FILE_TYPE_DISK ? Kind::Regular : Kind::Other;
}

bool IsReadOnlyFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         (attributes & FILE_ATTRIBUTE_READONLY) && KindOf(path) == Kind::Regular;
}

bool IsWritableDir(const std::string& path) {
  if (path.empty() || KindOf(path) != Kind::Directory) return false;
  // Access lists decide on Windows: try it with a file that goes when closed.
  const std::wstring probe = SystemPath(path + "\\.zd573-probe-" + UniqueSuffix());
  const HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

std::string ExecutableDir() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  return PathToUtf8(fs::path(buffer).parent_path());
}

std::string HomeDir() {
  if (std::string profile = EnvVar("USERPROFILE"); !profile.empty()) return profile;
  const std::string drive = EnvVar("HOMEDRIVE"), path = EnvVar("HOMEPATH");
  return drive.empty() || path.empty() ? std::string() : drive + path;
}

std::string ConfigHome() { return EnvVar("APPDATA"); }

std::string CacheHome() { return EnvVar("LOCALAPPDATA"); }

std::string DataHome() { return EnvVar("LOCALAPPDATA"); }

std::string CreateDirectories(const std::string& path, bool /*privateDirs: the user's profile is private already*/) {
  if (KindOf(path) == Kind::Directory) return {};
  const fs::path p = PathFromUtf8(path);
  if (p.has_parent_path() && p.parent_path() != p && p.parent_path() != p.root_path()) {
    if (std::string why = CreateDirectories(PathToUtf8(p.parent_path()), false); !why.empty()) return why;
  }
  if (!::CreateDirectoryW(SystemPath(path).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
    return ErrorText(static_cast<int>(::GetLastError()));
  if (KindOf(path) != Kind::Directory) return ErrorText(ERROR_DIRECTORY);
  return {};
}

std::string ErrorText(int error) { return win32::ErrorMessage(static_cast<DWORD>(error)); }

ReadResult ReadWholeFile(const std::string& path, std::size_t maxBytes, bool regularOnly) {
  ReadResult r;
  const HANDLE h = ::CreateFileW(SystemPath(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    r.problem = IsMissingError(error) ? ReadProblem::Missing : ReadProblem::Failed;
    r.reason = ErrorText(static_cast<int>(error));
    return r;
  }
  const bool regular = ::GetFileType(h) == FILE_TYPE_DISK;
  LARGE_INTEGER size{};
  if (regularOnly && !regular) {
    r.problem = ReadProblem::NotRegular;
  } else if (regular && ::GetFileSizeEx(h, &size) && static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
    r.problem = ReadProblem::TooLarge;
  }
  if (r.problem != ReadProblem::None) {
    ::CloseHandle(h);
    return r;
  }
  try {
    std::size_t capacity = regular ? static_cast<std::size_t>(size.QuadPart) + 1 : 65536;
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
      const std::size_t room = std::min<std::size_t>(r.bytes.size() - filled, 1u << 30);
      DWORD n = 0;
      if (!::ReadFile(h, r.bytes.data() + filled, static_cast<DWORD>(room), &n, nullptr)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) n = 0;  // the writer is done
        else {
          r.problem = ReadProblem::Failed;
          r.reason = ErrorText(static_cast<int>(error));
          r.bytes.clear();
          break;
        }
      }
      if (n == 0) {
        r.bytes.resize(filled);
        break;
      }
      filled += n;
    }
  } catch (const std::bad_alloc&) {
    r = ReadResult{ReadProblem::Failed, {}, ErrorText(ERROR_NOT_ENOUGH_MEMORY)};
  }
  ::CloseHandle(h);
  return r;
}

SecretFile ReadSecretFile(const std::string& path, std::size_t maxBytes) {
  SecretFile r;
  // The checks look at the file opened, so nothing can be swapped in between.
  const HANDLE h = ::CreateFileW(SystemPath(path).c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    r.refused = ErrorText(static_cast<int>(::GetLastError()));
    return r;
  }
  LARGE_INTEGER size{};
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    r.refused = "it is not a regular file";
  } else if (std::string why = OthersMayAccess(h); !why.empty()) {
    r.refused = why;
  } else if (!::GetFileSizeEx(h, &size)) {
    r.refused = ErrorText(static_cast<int>(::GetLastError()));
  } else if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
    r.refused = "it is larger than " + std::to_string(maxBytes) + " bytes, more than a password";
  } else {
    std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t filled = 0;
    while (filled < text.size()) {
      DWORD n = 0;
      if (!::ReadFile(h, text.data() + filled, static_cast<DWORD>(text.size() - filled), &n, nullptr)) {
        r.refused = ErrorText(static_cast<int>(::GetLastError()));
        break;
      }
      if (n == 0) break;
      filled += n;
    }
    text.resize(filled);
    if (r.refused.empty()) r.text = std::move(text);
  }
  ::CloseHandle(h);
  return r;
}

NewFile::~NewFile() { Remove(); }

bool NewFile::Create(const std::string& path) {
  Remove();
  // CREATE_NEW never opens a file, or a link, that is already there.
  OwnerOnlyAccess owner;
  if (ownerOnly_ && !owner.Build()) {
    error_ = static_cast<int>(::GetLastError());
    return false;
  }
  const HANDLE h = ::CreateFileW(SystemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                 ownerOnly_ ? &owner.attributes : nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error_ = static_cast<int>(::GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  path_ = path;
  return true;
}

bool NewFile::NameTaken() const {
  return error_ == static_cast<int>(ERROR_FILE_EXISTS) || error_ == static_cast<int>(ERROR_ALREADY_EXISTS);
}

bool NewFile::Write(const void* data, std::size_t size) {
  if (handle_ == kNone) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD n = 0;
    if (!::WriteFile(AsHandle(handle_), p, chunk, &n, nullptr) || n == 0) {
      error_ = n == 0 && ::GetLastError() == ERROR_SUCCESS ? ERROR_DISK_FULL : static_cast<int>(::GetLastError());
      return false;
    }
    p += n;
    size -= n;
  }
  return true;
}

void NewFile::CopyModeOf(const std::string&) {}  // Windows files inherit their folder's access list

bool NewFile::Sync() {
  if (handle_ == kNone) return false;
  if (!::FlushFileBuffers(AsHandle(handle_))) {
    error_ = static_cast<int>(::GetLastError());
    return false;
  }
  return true;
}

bool NewFile::Close() {
  if (handle_ == kNone) return true;
  const bool closed = ::CloseHandle(AsHandle(handle_)) != 0;
  if (!closed) error_ = static_cast<int>(::GetLastError());
  handle_ = kNone;
  return closed;
}

bool NewFile::RenameOver(const std::string& target) {
  if (!Close() || path_.empty()) return false;
  const std::wstring to = SystemPath(target);
  // A read-only file (the user said to replace it) cannot be moved over;
  // the new one takes its place and its read-only mark, as a replaced file
  // keeps its mode on POSIX.
  const DWORD attributes = ::GetFileAttributesW(to.c_str());
  const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
  if (readOnly) ::SetFileAttributesW(to.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  // Replaces the target in one step and returns only once the move is on disk.
  if (!::MoveFileExW(SystemPath(path_).c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error_ = static_cast<int>(::GetLastError());
    if (readOnly) ::SetFileAttributesW(to.c_str(), attributes);
    return false;
  }
  if (readOnly) ::SetFileAttributesW(to.c_str(), ::GetFileAttributesW(to.c_str()) | FILE_ATTRIBUTE_READONLY);
  path_.clear();
  return true;
}

void NewFile::Remove() {
  if (handle_ != kNone) ::CloseHandle(AsHandle(handle_));
  handle_ = kNone;
  if (!path_.empty()) ::DeleteFileW(SystemPath(path_).c_str());
  path_.clear();
}

bool AppendFile::Open(const std::string& path) {
  Close();
  // Others may read, write, rename or delete it meanwhile: StillNamedBy notices.
  const HANDLE h = ::CreateFileW(SystemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error_ = static_cast<int>(::GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

std::int64_t AppendFile::Size() {
  LARGE_INTEGER size{};
  if (handle_ == kNone || !::GetFileSizeEx(AsHandle(handle_), &size)) {
    error_ = handle_ == kNone ? static_cast<int>(ERROR_INVALID_HANDLE) : static_cast<int>(::GetLastError());
    return -1;
  }
  return size.QuadPart;
}

int AppendFile::LastByte() {
  const std::int64_t size = Size();
  if (size <= 0) return -1;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(size - 1) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(size - 1) >> 32);
  unsigned char c = 0;
  DWORD n = 0;
  if (!::ReadFile(AsHandle(handle_), &c, 1, &n, &at) || n != 1) return -1;
  return c;
}

bool AppendFile::Append(std::string_view text) {
  const std::int64_t before = Size();
  if (before < 0) return false;
  auto cutBack = [&] {
    LARGE_INTEGER to{};
    to.QuadPart = before;
    if (::SetFilePointerEx(AsHandle(handle_), to, nullptr, FILE_BEGIN)) ::SetEndOfFile(AsHandle(handle_));
  };
  LARGE_INTEGER end{};
  end.QuadPart = before;
  if (!::SetFilePointerEx(AsHandle(handle_), end, nullptr, FILE_BEGIN)) {
    error_ = static_cast<int>(::GetLastError());
    return false;
  }
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
    DWORD n = 0;
    if (!::WriteFile(AsHandle(handle_), p, chunk, &n, nullptr) || n == 0) {
      error_ = n == 0 && ::GetLastError() == ERROR_SUCCESS ? ERROR_DISK_FULL : static_cast<int>(::GetLastError());
      cutBack();
      return false;
    }
    p += n;
    left -= n;
  }
  if (!::FlushFileBuffers(AsHandle(handle_))) {
    error_ = static_cast<int>(::GetLastError());
    cutBack();
    return false;
  }
  return true;
}

bool AppendFile::StillNamedBy(const std::string& path) const {
  BY_HANDLE_FILE_INFORMATION held{}, named{};
  if (handle_ == kNone || !::GetFileInformationByHandle(AsHandle(handle_), &held) || held.nNumberOfLinks == 0)
    return false;
  const HANDLE h = ::CreateFileW(SystemPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool got = ::GetFileInformationByHandle(h, &named);
  ::CloseHandle(h);
  return got && named.dwVolumeSerialNumber == held.dwVolumeSerialNumber &&
         named.nFileIndexHigh == held.nFileIndexHigh && named.nFileIndexLow == held.nFileIndexLow;
}

void AppendFile::Close() {
  if (handle_ != kNone) ::CloseHandle(AsHandle(handle_));
  handle_ = kNone;
}

}  // namespace zd573::files
