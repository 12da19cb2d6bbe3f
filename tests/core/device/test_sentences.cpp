#include <gtest/gtest.h>

#include <string>

#include "device/device_settings.h"
#include "device/sentences.h"

namespace zd573 {
namespace {

struct SentenceCase {
  const char* name;
  std::string built;
  std::string expected;
};

ContactValues SampleContacts() {
  ContactValues v;
  for (int i = 0; i < 20; ++i) {
    v.names[i] = "N" + std::to_string(i + 1);
    v.numbers[i] = std::to_string(5550100 + i);
  }
  v.names[3] = "";  // an empty text is sent as an empty value
  for (int i = 0; i < 6; ++i) v.emergency[i] = "11" + std::to_string(i);
  v.h2 = 60;
  v.f0 = "+886912345678";
  v.f2 = 1;
  return v;
}

std::vector<SentenceCase> AllSentences() {
  std::vector<SentenceCase> c;
  c.push_back({"info", *BuildInfoSentence(1, 0, "1234", "0912345678", 1, "dd-mm-yy", -18000),
               "KVS,KestrovinZD-573,3,0,F5=1,F7=0,B0=1234,B1=0912345678,F6=1,F4=dd-mm-yy,O6=-18000*QQ!\r\n"});
  c.push_back({"gprs", *BuildGprsSentence({"internet", "", "pw", "8.8.8.8", "1.1.1.1"}),
               "KVS,KestrovinZD-573,3,0,D1=internet,D2=,D3=pw,D4=8.8.8.8,D5=1.1.1.1*QQ!\r\n"});
  c.push_back({"logger on", BuildLoggerOnSentence(30, 1), "KVS,KestrovinZD-573,3,0,O2=30,OX=1*QQ!\r\n"});
  c.push_back({"logger off", BuildLoggerOffSentence(), "KVS,KestrovinZD-573,3,0,OX=0*QQ!\r\n"});
  c.push_back({"password", *BuildPasswordSentence("4071"), "KVS,KestrovinZD-573,3,0,OU=4071*QQ!\r\n"});
  c.push_back({"empty password", *BuildPasswordSentence(""), "KVS,KestrovinZD-573,3,0,OU=*QQ!\r\n"});
  RingValues ring{3, 1, 2, {{86400, 1, 0, 4}, {-5, 2, 31, 5}, {2147483647, 3, 127, 6}}};
  auto r = BuildRingTransaction(ring);
  c.push_back({"ring 0", r.at(0),
               "KVS,KestrovinZD-573,1,0,FE=3,F8=1,FB=2,XB=86400,XC=1,XD=0,XA=4,YA=5*QQ!\r\n"});
  c.push_back({"ring 1", r.at(1),
               "KVS,KestrovinZD-573,2,1,YB=-5,YC=2,YD=31,ZB=2147483647,ZC=3,ZD=127,ZA=6*QQ!\r\n"});
  auto t = *BuildContactsTransaction(SampleContacts());
  c.push_back({"contacts 0", t.at(0), "KVS,KestrovinZD-573,1,0,Va=N1,Vb=N2,Vc=N3,Vd=,Ve=N5*QQ!\r\n"});
  c.push_back({"contacts 1", t.at(1), "KVS,KestrovinZD-573,0,1,Vf=N6,Vg=N7,Vh=N8,Vi=N9,Vj=N10*QQ!\r\n"});
  c.push_back({"contacts 2", t.at(2), "KVS,KestrovinZD-573,0,2,Vk=N11,Vl=N12,Vm=N13,Vn=N14,Vo=N15*QQ!\r\n"});
  c.push_back({"contacts 3", t.at(3), "KVS,KestrovinZD-573,0,3,Vp=N16,Vq=N17,Vr=N18,Vs=N19,Vt=N20*QQ!\r\n"});
  c.push_back({"contacts 4", t.at(4),
               "KVS,KestrovinZD-573,0,4,VA=5550100,VB=5550101,VC=5550102,VD=5550103,VE=5550104*QQ!\r\n"});
  c.push_back({"contacts 5", t.at(5),
               "KVS,KestrovinZD-573,0,5,VF=5550105,VG=5550106,VH=5550107,VI=5550108,VJ=5550109*QQ!\r\n"});
  c.push_back({"contacts 6", t.at(6),
               "KVS,KestrovinZD-573,0,6,VK=5550110,VL=5550111,VM=5550112,VN=5550113,VO=5550114*QQ!\r\n"});
  c.push_back({"contacts 7", t.at(7),
               "KVS,KestrovinZD-573,0,7,VP=5550115,VQ=5550116,VR=5550117,VS=5550118,VT=5550119*QQ!\r\n"});
  c.push_back({"contacts 8", t.at(8),
               "KVS,KestrovinZD-573,0,8,G0=110,G1=111,G2=112,G3=113,G4=114,G5=115*QQ!\r\n"});
  c.push_back({"contacts 9", t.at(9), "KVS,KestrovinZD-573,2,9,H2=60,F0=+886912345678,F2=1*QQ!\r\n"});
  c.push_back({"identify", BuildIdentifyQuery(), "KVC,KestrovinZD-573,L1(B2,OU)*QQ!\r\n"});
  c.push_back({"keys", BuildKeysQuery({"B0", "B1", "F4", "F5", "F6"}),
               "KVC,KestrovinZD-573,L1(B0,B1,F4,F5,F6,)*QQ!\r\n"});
  c.push_back({"one key", BuildKeysQuery({"OZ"}), "KVC,KestrovinZD-573,L1(OZ,)*QQ!\r\n"});
  c.push_back({"erase", BuildLogEraseQuery(), "KVC,KestrovinZD-573,LC*QQ!\r\n"});
  c.push_back({"download", BuildLogDownloadQuery(), "KVC,KestrovinZD-573,LB*QQ!\r\n"});
  c.push_back({"play", BuildMelodyPlayQuery(7), "KVC,KestrovinZD-573,LL(7)*QQ!\r\n"});
  c.push_back({"stop", BuildMelodyStopQuery(), "KVC,KestrovinZD-573,LL(0)*QQ!\r\n"});
  return c;
}

TEST(Sentences, EveryKindIsByteExact) {
  for (const auto& c : AllSentences()) EXPECT_EQ(c.built, c.expected) << c.name;
}

TEST(Sentences, ContactsTransactionHasTenSentencesEachTerminatedOnce) {
  auto t = BuildContactsTransaction(SampleContacts());
  ASSERT_TRUE(t.ok());
  ASSERT_EQ(t->size(), 10u);
  for (const auto& s : *t) {
    EXPECT_TRUE(s.ends_with(",*QQ!\r\n") == false) << s;
    EXPECT_EQ(s.find("*QQ!\r\n"), s.size() - 6) << s;
  }
}

struct FramingCase {
  const char* key;
  std::string value;
  const char* mention;
};

class FramingRefusal : public ::testing::TestWithParam<FramingCase> {};

TEST_P(FramingRefusal, NothingIsBuiltAndTheMessageNamesFieldAndCharacter) {
  const auto& p = GetParam();
  std::string key = p.key;
  Status check = CheckFramingSafe(key, p.value);
  ASSERT_FALSE(check.ok());
  EXPECT_NE(check.error().find(key), std::string::npos) << check.error();
  EXPECT_NE(check.error().find(p.mention), std::string::npos) << check.error();

  if (key == "OU") {

    EXPECT_FALSE(BuildPasswordSentence(p.value).ok());

  }
  if (key == "D3") {
    EXPECT_FALSE(BuildGprsSentence({"a", "b", p.value, "d", "e"}).ok());
  }
  if (key == "B1") {
    EXPECT_FALSE(BuildInfoSentence(0, 0, "", p.value, 0, "mm-dd-yy", 0).ok());
  }
  if (key[0] == 'V' || key[0] == 'G' || key == "F0") {
    ContactValues v = SampleContacts();
    if (key == "F0") v.f0 = p.value;
    else if (key[0] == 'G') v.emergency[key[1] - '0'] = p.value;
    else if (key[1] >= 'a') v.names[key[1] - 'a'] = p.value;
    else v.numbers[key[1] - 'A'] = p.value;
    auto t = BuildContactsTransaction(v);
    ASSERT_FALSE(t.ok());
    EXPECT_NE(t.error().find(key), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Characters, FramingRefusal,
                         // A secret's refusal does not say which character it holds.
                         ::testing::Values(FramingCase{"OU", "40,71", "holds a character the tracker's"},
                                           FramingCase{"OU", "a=b", "holds a character the tracker's"},
                                           FramingCase{"D3", "pa*QQ!", "holds a character the tracker's"},
                                           FramingCase{"D3", "x\ry", "holds a character the tracker's"},
                                           FramingCase{"B1", "12\n34", "line break"},
                                           FramingCase{"B1", std::string("12\0" "34", 5), "NUL"},
                                           FramingCase{"Vc", "Ann,Bob", "comma"},
                                           FramingCase{"VT", "555*12!", "sentence end"},
                                           FramingCase{"G4", "=", "equals"},
                                           FramingCase{"F0", "1\n", "line break"}));

TEST(Sentences, NonAsciiBytesPassUnchanged) {
  // Device-encoded texts (e.g. Big5) are not framing characters.
  std::string big5 = "\xA4\xA4\xA4\xE5";
  auto s = BuildPasswordSentence(big5);
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(*s, "KVS,KestrovinZD-573,3,0,OU=" + big5 + "*QQ!\r\n");
}

struct ParseCase {
  const char* name;
  std::string line;
  int result;
  std::vector<std::pair<std::string, std::string>> pairs;
};

class ParseReplyTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseReplyTable, ResultAndPairs) {
  const auto& p = GetParam();
  std::string scratch;
  ReplyFields f = SplitReply(p.line, scratch);
  EXPECT_EQ(f.result, p.result);
  ASSERT_EQ(f.pairs.size(), p.pairs.size());
  for (std::size_t i = 0; i < p.pairs.size(); ++i) {
    EXPECT_EQ(f.pairs[i].first, p.pairs[i].first);
    EXPECT_EQ(f.pairs[i].second, p.pairs[i].second);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseReplyTable,
    ::testing::Values(
        ParseCase{"no header", "$GPRMC,1,2,3*QQ!\r\n", 0, {}},
        ParseCase{"header without comma", "KVs\r\n", 1, {}},
        ParseCase{"imei then password", "KVs,B2=356895037533210,OU=4071*QQ!\r\n", 3,
                  {{"B2", "356895037533210"}, {"OU", "4071"}}},
        ParseCase{"password then imei", "KVs,OU=4071,B2=1*QQ!\r\n", 2, {{"OU", "4071"}, {"B2", "1"}}},
        ParseCase{"empty password", "KVs,OU=*QQ!\r\n", 3, {{"OU", ""}}},
        ParseCase{"prefix ignored", "garbage KVS KVs,F5=1*QQ!\r\n", 1, {{"F5", "1"}}},
        ParseCase{"no terminator loses last pair", "KVs,F5=1,F6=0\r\n", 1, {{"F5", "1"}}},
        ParseCase{"value keeps later equals", "KVs,D1=a=b*QQ!\r\n", 1, {{"D1", "a=b"}}},
        ParseCase{"fields without equals skipped", "KVs,x,,F7=1,junk*QQ!\r\n", 1, {{"F7", "1"}}},
        // The first "*..!" inside a value is taken for the terminator; the real one then ends no pair.
        ParseCase{"only first terminator star", "KVs,D1=*ab!,D2=z*QQ!\r\n", 1, {{"D1", ""}}},
        ParseCase{"line ends at NUL", std::string("KVs,F5=1,F6=1\0,F7=1*QQ!\r\n", 26), 1, {{"F5", "1"}}}));

TEST(ParseReply, StoresValuesAndFlagsIndependently) {
  DeviceSettings s;
  EXPECT_EQ(ParseReply("KVs,B2=356895037533210,OU=1234,F5=2,E1=80,XX=9*QQ!\r\n", s), 3);
  EXPECT_EQ(s.Text("B2"), "356895037533210");
  EXPECT_EQ(s.Text("OU"), "1234");
  EXPECT_EQ(s.Number("F5"), 0);  // 2 is dropped
  EXPECT_TRUE(s.Received("F5"));
  EXPECT_EQ(s.Number("E1"), 80);
  EXPECT_EQ(s.ReceivedCount(), 2);  // B2, OU and XX set no flag
}

TEST(ParseReply, FieldChosenByTwoCharactersFlagByExactKey) {
  DeviceSettings s;
  EXPECT_EQ(ParseReply("KVs,D1x=apn,H2 =7*QQ!\r\n", s), 1);
  EXPECT_EQ(s.Text("D1"), "apn");
  EXPECT_EQ(s.Number("H2"), 7);
  EXPECT_FALSE(s.Received("D1"));
  EXPECT_FALSE(s.Received("H2"));
  // Only the exact keys B2 and OU change the result.
  EXPECT_EQ(ParseReply("KVs,B2x=1,OUT=2*QQ!\r\n", s), 1);
}

}  // namespace
}  // namespace zd573
