// What only POSIX files have: modes, symbolic links, FIFOs and device nodes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "settings/ini_file.h"
#include "temp_dir.h"

namespace zd573::settings {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(IniFile, WriteReplacesWholeFileAndKeepsItsMode) {
  TempDir dir;
  const auto path = dir / "t.ini";
  WriteFile(path, "[A]\nk=1\n");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(IniFile(path).Write("A", "k", "2"));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1) << "the temporary file is renamed over the old one";
}

TEST(IniFile, WriteThroughSymlinkUpdatesTarget) {
  TempDir dir;
  WriteFile(dir / "real.ini", "[A]\nk=1\n");
  std::filesystem::create_symlink(dir / "real.ini", dir / "link.ini");
  ASSERT_TRUE(IniFile(dir / "link.ini").Write("A", "k", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
  EXPECT_EQ(ReadFile(dir / "real.ini"), "[A]\nk=2\n");
}

// A FIFO would hang every reader; a device is no settings file.
TEST(IniFile, APipeOrADeviceIsRefusedWithAMessage) {
  struct Row {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;
  };
  const Row rows[] = {
      {"fifo", [](const std::filesystem::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
      {"device", [](const std::filesystem::path& p) { std::filesystem::create_symlink("/dev/zero", p); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    row.make(dir / "system.ini");
    testing::ExpectUnusableIni(dir / "system.ini", "not a regular file");
  }
}

}  // namespace
}  // namespace zd573::settings
