// Settings files as profiles: reading, checking, and the difference with a tracker's record.
#include <gtest/gtest.h>

#include "device/profile.h"
#include "device/transactions.h"
#include "device/user_values.h"
#include "settings/text_encoding.h"

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
      {"escape sequence as a key", "[DEVICE]\n\x1b[2J=1\n", "line 2: \\x1b[2J is not a setting"},
      {"section unclosed", "[DEVICE\nD1=x\n", "line 1: the section name has no closing ]"},
      {"read-only key in a profile", "[DEVICE]\nD1=x\nE1=80\n", "line 3: E1 is set by the tracker and cannot be written"},
  };
  for (const Refusal& r : rows) {
    auto p = ParseProfile(r.text, "f.ini");
    ASSERT_FALSE(p) << r.name;
    EXPECT_NE(p.error().find(r.mention), std::string::npos) << r.name << ": " << p.error();
    EXPECT_EQ(p.error().rfind("f.ini", 0), 0u) << r.name;
  }
}

TEST(Profile, AnySubsetIsAProfile) {
  auto p = ParseProfile("\xEF\xBB\xBF; shared\n[Other]\nD1=not this\n[DEVICE]\nD1 = \" apn \"\nVa=Mum\nVA=0912\n",
                        "f.ini");
  ASSERT_TRUE(p) << p.error();
  EXPECT_FALSE(p->hasImei);
  ASSERT_EQ(p->values.size(), 3u);
  // A backup carries what the tracker sets itself; nothing sends it.
  auto backup = ParseProfile("[DEVICE]\nIMEI=356000000000001\nE1=8080\nD1=x\n", "b.ini");
  ASSERT_TRUE(backup) << backup.error();
  EXPECT_EQ(backup->values.size(), 1u);
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

// Every byte a page can hold comes back from a saved file as it was, in every
// encoding offered, also where the code page cannot show it.
TEST(Profile, EveryByteComesBackInEveryEncoding) {
  for (const settings::CodePage& cp : settings::OfferedCodePages()) {
    for (int b = 0; b < 256; ++b) {
      const char c = static_cast<char>(b);
      if (c == ',' || c == '=' || c == '\r' || c == '\n' || c == '\0') continue;  // no sentence carries these
      const std::string bytes = std::string("a") + c + "\\x4" + c + "z";
      DeviceValues v;
      v.SetText("Va", bytes);
      std::vector<std::string> notes;
      const std::string text = FormatProfile(v, {"Va"}, cp.number, &notes);
      auto p = ParseProfile(text, "f.ini");
      ASSERT_TRUE(p) << cp.number << " " << b << ": " << p.error();
      auto prepared = PrepareProfile(*p, ValueRules{cp.number, true, true}, "f.ini");
      ASSERT_TRUE(prepared) << cp.number << " " << b << ": " << prepared.error() << "\n" << text;
      ASSERT_EQ(prepared->front().second.bytes, bytes) << cp.number << " " << b << "\n" << text;
      if (!settings::DecodesCleanly(bytes, cp.number)) {
        EXPECT_EQ(notes.size(), 1u) << cp.number << " " << b;
      }
    }
  }
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

// Comparing on the file's keys and those its pages' rules go by finds what a
// comparison on every key of the pages finds.
TEST(Profile, KeysToCompareFindEveryDifference) {
  DeviceValues tracker;
  tracker.SetText("D1", "internet");
  tracker.SetText("D2", "user");
  tracker.SetNumber("H2", 2);  // below the report interval's floor: goes out as 3
  tracker.SetNumber("O2", 0);  // goes out as 1 while logging is on
  tracker.SetNumber("OX", 1);
  tracker.SetText("Va", "Ann");
  tracker.SetText("OU", "4071");
  const std::vector<std::vector<std::pair<std::string, std::string>>> files = {
      {{"D1", "apn.x"}}, {{"Va", "Mum"}}, {{"O2", "30"}}, {{"OX", "1"}}, {{"OU", "1234"}, {"D2", "user"}}};
  for (const auto& file : files) {
    PreparedProfile values;
    for (const auto& [key, text] : file) values.emplace_back(key, *PrepareValue(key, text, ValueRules{}));
    DeviceValues partial;  // only the keys a comparison reads
    for (std::string_view k : KeysToCompare(values)) {
      if (FindKey(k)->kind == FieldKind::Text) {
        partial.SetText(k, tracker.Text(k));
      } else {
        partial.SetNumber(k, tracker.Number(k));
      }
    }
    const auto whole = PlanProfile(tracker, values), some = PlanProfile(partial, values);
    ASSERT_TRUE(whole && some) << file[0].first;
    ASSERT_EQ(whole->pages.size(), some->pages.size()) << file[0].first;
    for (std::size_t i = 0; i < whole->pages.size(); ++i) {
      ASSERT_EQ(whole->pages[i].keys.size(), some->pages[i].keys.size()) << file[0].first;
      for (std::size_t k = 0; k < whole->pages[i].keys.size(); ++k)
        EXPECT_EQ(whole->pages[i].keys[k].key, some->pages[i].keys[k].key) << file[0].first;
    }
  }
  EXPECT_EQ(KeysToCompare({{"O2", {}}}), (std::vector<std::string_view>{"O2", "OX"}));
}

TEST(Profile, ALoopTakesSharedValuesOnly) {
  struct Row {
    const char* text;
    bool withPassword;
    SharedFault fault;
    std::vector<std::string> keys;
    bool passwordLeftOut;
  };
  const Row rows[] = {
      {"[DEVICE]\nIMEI=356000000000001\nD1=x\n", false, SharedFault::NamesTracker, {}, false},
      {"[DEVICE]\nB1=0912\nD1=x\nB0=1234\n", true, SharedFault::PerTrackerKeys, {"B1", "B0"}, false},
      {"[DEVICE]\nD1=x\nOU=1234\n", false, SharedFault::None, {}, true},
      {"[DEVICE]\nD1=x\nOU=1234\n", true, SharedFault::None, {}, false},
  };
  for (const Row& row : rows) {
    auto profile = ParseProfile(row.text, "f.ini");
    ASSERT_TRUE(profile) << row.text;
    const SharedCheck check = CheckSharedProfile(*profile, row.withPassword);
    EXPECT_EQ(check.fault, row.fault) << row.text;
    EXPECT_EQ(check.keys, row.keys) << row.text;
    EXPECT_EQ(check.passwordLeftOut, row.passwordLeftOut) << row.text;
  }
}

}  // namespace
}  // namespace zd573
