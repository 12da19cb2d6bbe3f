// What a person types for a key, prepared once for the command line and the pages.
#include <gtest/gtest.h>

#include "device/sentences.h"
#include "device/transactions.h"
#include "device/user_values.h"

namespace zd573 {
namespace {

struct Case {
  const char* key;
  std::string typed;
  bool ok;
  std::string stored;  // as it appears after "KEY=" in a sentence
  bool commandLine = false;  // given on the command line (whole numbers only) rather than typed into a page
};

class Prepare : public ::testing::TestWithParam<Case> {};

TEST_P(Prepare, StoresOrRefusesNamingTheField) {
  const Case& c = GetParam();
  DeviceValues v;
  auto r = StoreUserValue(v, c.key, c.typed, ValueRules{.wholeIntervals = c.commandLine});
  ASSERT_EQ(r.ok(), c.ok) << c.key << "=" << c.typed << (r.ok() ? "" : " " + r.error());
  if (c.ok) {
    EXPECT_EQ(v.Format(c.key), c.stored);
  } else {
    EXPECT_EQ(r.code(), ErrorCode::BadValue);
    EXPECT_NE(r.error().find(std::string("(") + c.key + ")"), std::string::npos) << r.error();
    EXPECT_EQ(v, DeviceValues{});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Prepare,
    ::testing::Values(
        // Numbers from the command line: whole, in range.
        Case{"F5", "1", true, "1"}, Case{"F5", "2", false, ""}, Case{"F5", "1x", false, ""},
        Case{"O6", "46800", true, "46800"}, Case{"O6", "46801", false, ""}, Case{"E1", "80", false, ""},
        Case{"OX", "256", false, ""}, Case{"FE", "255", true, "255"}, Case{"FE", "-1", false, ""},
        Case{"XB", "-5", true, "-5"}, Case{"XB", "2147483648", false, ""},
        // The intervals are read as their edit boxes always were.
        Case{"H2", "2", true, "3"}, Case{"H2", "", true, "3"}, Case{"H2", "-5", true, "3"},
        Case{"H2", "4", true, "4"}, Case{"H2", " 12abc", true, "12"}, Case{"H2", "65535", true, "65535"},
        Case{"H2", "65536", false, ""}, Case{"O2", "", true, "1"}, Case{"O2", "0", true, "1"},
        Case{"O2", "30", true, "30"}, Case{"O2", "70000", false, ""}, Case{"OX", "30", true, "1"},
        Case{"O2", "abc", true, "1"}, Case{"H2", "abc", true, "3"},
        // The command line takes the intervals as whole numbers only, then applies the same rules.
        Case{"O2", "abc", false, "", true}, Case{"H2", "abc", false, "", true}, Case{"O2", "", false, "", true},
        Case{"H2", " 12abc", false, "", true}, Case{"H2", "-5", true, "3", true}, Case{"H2", "+12", true, "12", true},
        Case{"O2", "0", true, "1", true}, Case{"O2", "70000", false, "", true}, Case{"F5", "abc", false, "", true},
        // Texts: capacity in bytes, framing, date formats.
        Case{"D1", std::string(31, 'a'), true, std::string(31, 'a')}, Case{"D1", std::string(32, 'a'), false, ""},
        Case{"B0", "12345678", false, ""}, Case{"OU", "40,71", false, ""}, Case{"Va", "Ann\nB", false, ""},
        Case{"VA", "*31#0912345678", true, "*31#0912345678"}, Case{"VB", "#21#", true, "#21#"},
        Case{"VC", "12*QQ!", false, ""}, Case{"F4", "dd.mm.yy", true, "dd.mm.yy"}, Case{"F4", "yyyy", false, ""},
        // Keys that are only read, and unknown ones.
        Case{"E0", "10.0.0.1", false, ""}, Case{"OZ", "3", false, ""}));

TEST(Prepare, EncodingCountsBytesAndNamesTheField) {
  const ValueRules big5{950, false};
  // 11 characters of two bytes each: 22 bytes fit a 23-byte name, 12 do not.
  const std::string eleven = "\xE7\x8E\x8B\xE5\xB0\x8F\xE6\x98\x8E\xE7\x8E\x8B\xE5\xB0\x8F\xE6\x98\x8E\xE7\x8E\x8B"
                             "\xE5\xB0\x8F\xE6\x98\x8E\xE7\x8E\x8B\xE5\xB0\x8F";
  DeviceValues v;
  ASSERT_TRUE(StoreUserValue(v, "Va", eleven, big5).ok());
  EXPECT_EQ(v.Text("Va").size(), 22u);
  auto longer = StoreUserValue(v, "Vb", eleven + "\xE6\x98\x8E", big5);
  ASSERT_FALSE(longer.ok());
  EXPECT_NE(longer.error().find("name of contact 2 (Vb)"), std::string::npos) << longer.error();
  auto lacking = StoreUserValue(v, "D1", "\xD7\x90", big5);  // Big5 has no Hebrew
  EXPECT_FALSE(lacking.ok());
  // A restore gives back whatever F4 the tracker had.
  EXPECT_TRUE(StoreUserValue(v, "F4", "yyyy", ValueRules{1252, true}).ok());
}

TEST(Prepare, RecordNeverHoldsHalfACharacter) {
  // 12 Big5 characters arrive in a reply for a 23-byte name: 11 whole ones are kept.
  std::string reply;
  for (int i = 0; i < 12; ++i) reply += "\xA4\x40";
  DeviceValues v;
  v.StoreReply("Va", reply, 950);
  EXPECT_EQ(v.Text("Va").size(), 22u);
  v.StoreReply("Va", reply, 1252);  // single-byte pages cut at the capacity
  EXPECT_EQ(v.Text("Va").size(), 23u);
}

TEST(Prepare, AValueFromTheTrackerThatCannotBeSentBlocksOnlyItsPage) {
  DeviceValues v;
  v.StoreReply("VA", "12=34");  // a reply value keeps everything after the first "="
  ASSERT_EQ(v.Text("VA"), "12=34");
  auto contacts = BuildPageTransaction(Page::Contacts, v);
  ASSERT_FALSE(contacts.ok());
  EXPECT_NE(contacts.error().find("phone number of contact 1 (VA)"), std::string::npos) << contacts.error();
  EXPECT_TRUE(BuildPageTransaction(Page::Gprs, v).ok());
  // The page's Apply refuses before the port is touched.
  DeviceSettings record;
  SerialPort untouched;
  ApplyResult r = ApplyPageOn(untouched, Page::Contacts, record, v);
  EXPECT_EQ(r.status.code(), ErrorCode::BadValue);
  EXPECT_FALSE(r.started);
}

}  // namespace
}  // namespace zd573
