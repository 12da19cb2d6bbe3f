// Settings files as profiles: reading, checking, and the difference with a tracker's record.
#include <gtest/gtest.h>

#include "device/profile.h"
#include "device/transactions.h"

namespace zd573 {
namespace {

struct Refusal {
  const char* name;
  const char* text;
  const char* mention;
};

TEST(Profile, FilesThatCannotBeMeantAreRefusedNamingTheLines) {
  const Refusal rows[] = {
      {"key twice", "[DEVICE]\nOU=9999\nD1=x\nOU=4071\n", "OU appears twice, on lines 2 and 4"},
      {"section twice", "[DEVICE]\nD1=x\n[Other]\n[device]\nD2=y\n", "section [DEVICE] appears twice, on lines 1 and 4"},
      {"same key quoted", "[DEVICE]\nD1=x\n\"D1\" = y\n", "D1 appears twice, on lines 2 and 3"},
      {"no such key", "[DEVICE]\nD1=x\nZZ=1\n", "line 3: ZZ is not a setting"},
      {"no section", "D1=x\n", "no [DEVICE] section"},
      {"two trackers", "[DEVICE]\nIMEI=1\nB2=2\n", "different trackers"},
  };
  for (const Refusal& r : rows) {
    auto p = ParseProfile(r.text, "f.ini");
    ASSERT_FALSE(p) << r.name;
    EXPECT_NE(p.error().find(r.mention), std::string::npos) << r.name << ": " << p.error();
    EXPECT_EQ(p.error().rfind("f.ini", 0), 0u) << r.name;
  }
}

TEST(Profile, AnySubsetIsAProfile) {
  auto p = ParseProfile("\xEF\xBB\xBF; shared\n[Other]\nD1=not this\n[DEVICE]\nD1 = \" apn \"\nE1=8080\nVa=Mum\nVA=0912\n",
                        "f.ini");
  ASSERT_TRUE(p) << p.error();
  EXPECT_FALSE(p->hasImei);
  ASSERT_EQ(p->values.size(), 3u);  // E1 is only read: skipped
  EXPECT_EQ(p->Find("D1")->value, " apn ");
  EXPECT_EQ(p->Find("D1")->line, 5);
  EXPECT_EQ(p->Find("Va")->value, "Mum");
  EXPECT_EQ(p->Find("VA")->value, "0912");
}

TEST(Profile, SavedFileReadsBackTheSameValues) {
  DeviceValues v;
  v.SetText("Vc", "  Ann ");
  v.SetText("D3", "\"pw\"");
  v.SetText("B2", "356000000000001");
  v.SetNumber("O6", -18000);
  v.SetNumber("H2", 60);
  std::vector<std::string_view> keys;
  for (const KeyInfo& k : AllKeys()) keys.push_back(k.key);
  auto p = ParseProfile(FormatProfile(v, keys, 1252), "f.ini");
  ASSERT_TRUE(p) << p.error();
  EXPECT_EQ(p->imei, "356000000000001");
  auto prepared = PrepareProfile(*p, ValueRules{1252, true, true}, "f.ini");
  ASSERT_TRUE(prepared) << prepared.error();
  auto plan = PlanProfile(v, *prepared);
  ASSERT_TRUE(plan) << plan.error();
  EXPECT_TRUE(plan->Empty()) << plan->pages.front().keys.front().key;
}

TEST(Profile, PlanHoldsOnlyThePagesThatDiffer) {
  struct Row {
    const char* name;
    const char* file;
    std::vector<Page> pages;
    std::vector<std::string> keys;
  };
  DeviceValues tracker;
  tracker.SetText("D1", "internet");
  tracker.SetNumber("F5", 1);
  tracker.SetNumber("H2", 3);
  const Row rows[] = {
      {"three keys on two pages", "[DEVICE]\nD1=apn\nD2=u\nF5=0\n", {Page::Info, Page::Gprs}, {"F5", "D1", "D2"}},
      {"equal to the tracker", "[DEVICE]\nD1=internet\nF5=1\n", {}, {}},
      {"the page's rule makes it equal", "[DEVICE]\nH2=2\n", {}, {}},
      {"written in apply order", "[DEVICE]\nOX=1\nVa=Mum\n", {Page::Contacts, Page::Logger}, {"Va", "O2", "OX"}},
  };
  for (const Row& r : rows) {
    auto p = ParseProfile(r.file, "f.ini");
    ASSERT_TRUE(p) << r.name;
    auto prepared = PrepareProfile(*p, ValueRules{1252, true, true}, "f.ini");
    ASSERT_TRUE(prepared) << r.name << ": " << prepared.error();
    auto plan = PlanProfile(tracker, *prepared);
    ASSERT_TRUE(plan) << r.name;
    EXPECT_EQ(plan->Pages(), r.pages) << r.name;
    std::vector<std::string> keys;
    for (const auto& page : plan->pages)
      for (const auto& k : page.keys) keys.push_back(k.key);
    EXPECT_EQ(keys, r.keys) << r.name;
    // A page left alone keeps the tracker's values in the target.
    if (r.pages.empty()) {
      EXPECT_EQ(plan->target, tracker) << r.name;
    }
  }
}

TEST(Profile, ValuesAPageRefusesAreNamedWithTheirLine) {
  const Refusal rows[] = {
      {"range", "[DEVICE]\nD1=x\nF5=7\n", "f.ini line 3: "},
      {"framing", "[DEVICE]\nVa=a,b\n", "f.ini line 2: "},
      {"whole numbers", "[DEVICE]\nO2=abc\n", "(O2) must be a whole number"},
      {"too long", "[DEVICE]\nOU=1234567890123456\n", "OU"},
  };
  for (const Refusal& r : rows) {
    auto p = ParseProfile(r.text, "f.ini");
    ASSERT_TRUE(p) << r.name;
    auto prepared = PrepareProfile(*p, ValueRules{1252, true, true}, "f.ini");
    ASSERT_FALSE(prepared) << r.name;
    EXPECT_NE(prepared.error().find(r.mention), std::string::npos) << r.name << ": " << prepared.error();
  }
  // A value of the tracker's own that its page could not send back stops the plan.
  DeviceValues tracker;
  tracker.SetText("VA", "12=34");
  auto p = ParseProfile("[DEVICE]\nVa=Mum\n", "f.ini");
  auto prepared = PrepareProfile(*p, ValueRules{}, "f.ini");
  auto plan = PlanProfile(tracker, *prepared);
  ASSERT_FALSE(plan);
  EXPECT_NE(plan.error().find("VA"), std::string::npos) << plan.error();
}

TEST(Profile, ReadBackNamesWhatTheTrackerDidNotTake) {
  DeviceValues sent;
  sent.SetText("D1", "apn");
  sent.SetNumber("H2", 2);  // goes out as 3
  DeviceValues back = sent;
  back.SetNumber("H2", 3);
  EXPECT_TRUE(UntakenKeys(sent, back, {Page::Gprs, Page::Contacts}).empty());
  back.SetText("D1", "other");
  EXPECT_EQ(UntakenKeys(sent, back, {Page::Gprs, Page::Contacts}), std::vector<std::string>{"D1"});
  EXPECT_TRUE(UntakenKeys(sent, back, {Page::Contacts}).empty()) << "only the written pages count";
}

TEST(Profile, SuggestedFileNameIsTheTrackersNameOrImeiAndTheDate) {
  const struct {
    const char* name;
    const char* imei;
    const char* file;
  } cases[] = {{"Grandma", "356895037533210", "Grandma-2026-12-09.ini"},
               {"ZD573", "356895037533210", "356895037533210-2026-12-09.ini"},  // the name of none
               {"", "356895037533210", "356895037533210-2026-12-09.ini"},
               {"Mr. A/B: \"C\"?", "1", "Mr. A_B_ _C__-2026-12-09.ini"},
               {"..\\up", "1", "_._up-2026-12-09.ini"},
               {"阿嬤", "1", "阿嬤-2026-12-09.ini"}};
  for (const auto& c : cases) EXPECT_EQ(SettingsFileName(c.name, c.imei, 2026, 12, 9), c.file) << c.name;
}

TEST(Profile, SecretsAreThePasswordsAndTheSimPin) {
  EXPECT_EQ(SecretKeysIn(KeysToSave(false)), std::vector<std::string_view>{"D3"});
  EXPECT_EQ(SecretKeysIn(KeysToSave(true)), (std::vector<std::string_view>{"OU", "B0", "D3"}));
}

TEST(Profile, KeysToReadAreThePagesOwn) {
  EXPECT_EQ(KeysOfPages({Page::Gprs}), (std::vector<std::string_view>{"D1", "D2", "D3", "D4", "D5"}));
  auto password = KeysOfPages({Page::Password});
  EXPECT_EQ(password, std::vector<std::string_view>{"OU"});
  for (std::string_view k : KeysOfPages({Page::Info})) EXPECT_TRUE(PageSends(Page::Info, k)) << k;
}

}  // namespace
}  // namespace zd573
