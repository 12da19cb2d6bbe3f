// On Windows the default device code page is the system's ANSI code page.
#include <windows.h>

#include <gtest/gtest.h>

#include "settings/text_encoding.h"

namespace zd573::settings {
namespace {

TEST(TextEncoding, DefaultIsTheAnsiCodePageWhenOffered) {
  bool offered = false;
  for (const CodePage& cp : OfferedCodePages()) offered |= cp.number == static_cast<int>(::GetACP());
  if (offered) EXPECT_EQ(DefaultDeviceCodePage(), static_cast<int>(::GetACP()));
  else EXPECT_EQ(DefaultDeviceCodePage(), CodePageForLocale(""));
}

}  // namespace
}  // namespace zd573::settings
