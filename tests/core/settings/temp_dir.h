#pragma once
// A fresh folder in the temporary folder for one test, removed with
// everything in it, and the environment set for one scope.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/files.h"
#include "settings/ini_file.h"

namespace zd573::settings::testing {

class TempDir {
 public:
  TempDir() {
    path_ = std::filesystem::temp_directory_path() / ("zd573-settings-" + files::UniqueSuffix());
    std::error_code ec;
    if (!std::filesystem::create_directory(path_, ec)) ADD_FAILURE() << "cannot create " << path_;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A program installed under `root`: bin/ for it, its languages in share/zd573.
inline void MakeInstalledLayout(const std::filesystem::path& root) {
  std::filesystem::create_directories(root / "bin");
  std::filesystem::create_directories(root / "share/zd573");
  WriteFile(root / "share/zd573/Languages.lng", "");
}

// Text of a path for the environment or a message, UTF-8 on every platform.
inline std::string Text(const std::filesystem::path& path) { return files::PathToUtf8(path); }

// Sets or clears an environment variable for one scope and restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    had_ = std::getenv(name) != nullptr;
    if (had_) old_ = files::EnvVar(name);
    Set(name_, value);
  }
  ScopedEnv(const char* name, const std::filesystem::path& value) : ScopedEnv(name, Text(value).c_str()) {}
  ~ScopedEnv() { Set(name_, had_ ? old_.c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  static void Set(const char* name, const char* value) {
#ifdef _WIN32
    // The wide environment is the one the program reads; an empty value removes the variable.
    ::_wputenv_s(files::PathFromUtf8(name).c_str(), value ? files::PathFromUtf8(value).c_str() : L"");
#else
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
#endif
  }
  const char* name_;
  std::string old_;
  bool had_ = false;
};

// A settings or language file that must not be read (a pipe, a device, a
// huge file): reads give the defaults, writes fail, Check says why and names it.
inline void ExpectUnusableIni(const std::filesystem::path& path, const char* why) {
  const IniFile ini(path);
  EXPECT_EQ(ini.Read("SYSTEM", "DefaultLanguage", "English"), "English") << why;
  EXPECT_TRUE(ini.SectionNames().empty()) << why;
  const Status check = ini.Check();
  ASSERT_FALSE(check.ok()) << why;
  EXPECT_NE(check.error().find(Text(path)), std::string::npos) << check.error();
  EXPECT_NE(check.error().find(why), std::string::npos) << check.error();
  const Status write = ini.Write("SYSTEM", "DefaultLanguage", "English");
  EXPECT_FALSE(write.ok()) << why;
  EXPECT_NE(write.error().find(why), std::string::npos) << write.error();
}

}  // namespace zd573::settings::testing
