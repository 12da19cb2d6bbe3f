// A Windows device name in the place of a settings file.
#include <gtest/gtest.h>

#include "settings/ini_file.h"
#include "temp_dir.h"

namespace zd573::settings {
namespace {

TEST(IniFile, ADeviceIsRefusedWithAMessage) { testing::ExpectUnusableIni("NUL", "not a regular file"); }

}  // namespace
}  // namespace zd573::settings
