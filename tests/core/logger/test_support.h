#pragma once
// Small helpers shared by the logger tests: a scratch folder and whole-file
// reads (run_command.h runs an outside program).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/files.h"
#include "logger/log_export.h"

namespace zd573::logger::test {

class TempDir {
 public:
  TempDir() {
    const auto path = std::filesystem::temp_directory_path() / ("zd573-logger-" + files::UniqueSuffix());
    std::error_code ec;
    if (std::filesystem::create_directory(path, ec)) path_ = files::PathToUtf8(path);
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(files::PathFromUtf8(path), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(files::PathFromUtf8(path), std::ios::binary) << bytes;
}

// The names in a folder, sorted: what an export left behind.
inline std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(files::PathFromUtf8(dir)))
    names.push_back(files::PathToUtf8(e.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

// Parameterised by the export format: writes `log` to `path` in it.
class ExportWriter : public ::testing::TestWithParam<ExportFormat> {
 protected:
  Status Write(const std::string& path, const RawLog& log) {
    return WriteExport(GetParam(), path, log, {.localOffset = 0});
  }
};

}  // namespace zd573::logger::test
