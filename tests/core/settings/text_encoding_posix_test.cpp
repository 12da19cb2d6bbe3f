// The default device code page follows the locale environment, as Windows
// derives its ANSI code page from the user's locale.
#include <gtest/gtest.h>

#include "settings/text_encoding.h"
#include "temp_dir.h"

namespace zd573::settings {
namespace {

using testing::ScopedEnv;

TEST(TextEncoding, DefaultFollowsLocaleEnvironmentPrecedence) {
  ScopedEnv all("LC_ALL", nullptr);
  ScopedEnv ctype("LC_CTYPE", nullptr);
  ScopedEnv lang("LANG", "zh_TW.UTF-8");
  EXPECT_EQ(DefaultDeviceCodePage(), 950);
  {
    ScopedEnv c("LC_CTYPE", "ru_RU.UTF-8");
    EXPECT_EQ(DefaultDeviceCodePage(), 1251);
    ScopedEnv a("LC_ALL", "ja_JP.UTF-8");
    EXPECT_EQ(DefaultDeviceCodePage(), 932);
  }
  ScopedEnv none("LANG", nullptr);
  EXPECT_EQ(DefaultDeviceCodePage(), 1252);
}

}  // namespace
}  // namespace zd573::settings
