#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "device/device_settings.h"
#include "device/sentences.h"

namespace zd573 {
namespace {

struct StoreCase {
  const char* key;
  const char* value;
  bool stored;
  std::int32_t number;  // expected number after the store (initial 0) when numeric
};

class ReplyAcceptance : public ::testing::TestWithParam<StoreCase> {};

TEST_P(ReplyAcceptance, RangeAndWidth) {
  const auto& c = GetParam();
  DeviceValues v;
  EXPECT_EQ(v.StoreReply(c.key, c.value), c.stored) << c.key << "=" << c.value;
  EXPECT_EQ(v.Number(c.key), c.number) << c.key << "=" << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ReplyAcceptance,
    ::testing::Values(StoreCase{"E1", "80", true, 80}, StoreCase{"E1", "1024", true, 1024},
                      StoreCase{"E1", "1023", false, 0}, StoreCase{"E1", "65536", false, 0},
                      StoreCase{"E1", "-80", false, 0}, StoreCase{"E3", "65535", true, 65535},
                      StoreCase{"E3", "81", false, 0}, StoreCase{"O6", "-43200", true, -43200},
                      StoreCase{"O6", "46800", true, 46800}, StoreCase{"O6", "46801", false, 0},
                      StoreCase{"O6", "-43201", false, 0}, StoreCase{"F5", "1", true, 1},
                      StoreCase{"F5", "2", false, 0}, StoreCase{"F2", "-1", false, 0},
                      StoreCase{"OX", "257", true, 1}, StoreCase{"OX", "65536", false, 0},
                      StoreCase{"H2", "65535", true, 65535}, StoreCase{"H2", "-1", false, 0},
                      StoreCase{"O2", "  +30s", true, 30}, StoreCase{"FE", "300", true, 44},
                      StoreCase{"XC", "-1", true, 255}, StoreCase{"XB", "-5", true, -5},
                      StoreCase{"XB", "99999999999", true, 2147483647},
                      StoreCase{"ZB", "-99999999999", true, -2147483647 - 1},
                      StoreCase{"OZ", "abc", true, 0}, StoreCase{"QQ", "1", false, 0}));

TEST(DeviceValues, TextsAreCutToCapacityInBytes) {
  DeviceValues v;
  v.StoreReply("D1", std::string(40, 'x'));
  EXPECT_EQ(v.Text("D1"), std::string(31, 'x'));
  v.StoreReply("B0", "123456789");
  EXPECT_EQ(v.Text("B0"), "1234567");
  v.StoreReply("Va", std::string(30, 'n'));
  EXPECT_EQ(v.Text("Va").size(), 23u);
  v.SetText("OU", std::string(20, 'p'));
  EXPECT_EQ(v.Text("OU").size(), 15u);
}

TEST(DeviceValues, EachKeyWritesOnlyItsOwnField) {
  DeviceValues v;
  v.StoreReply("F7", "1");
  v.StoreReply("F5", "1");
  EXPECT_EQ(v.Number("F5"), 1);
  EXPECT_EQ(v.Number("F6"), 0);
  EXPECT_EQ(v.Number("F7"), 1);
  for (const auto& k : AllKeys()) {
    DeviceValues w;
    w.StoreReply(k.key, "1");
    for (const auto& other : AllKeys())
      if (other.key != k.key) {
        EXPECT_EQ(w.Format(other.key), other.kind == FieldKind::Text ? "" : "0") << k.key;
      }
  }
}

TEST(KeyTable, OrderAndMembership) {
  ASSERT_EQ(TableKeys().size(), 83u);
  EXPECT_EQ(AllKeys().size(), 85u);
  EXPECT_EQ(TableKeys().front().key, "B0");
  EXPECT_EQ(TableKeys().back().key, "OZ");
  EXPECT_EQ(TableIndex("Va"), 7);
  EXPECT_EQ(TableIndex("B2"), -1);
  EXPECT_EQ(TableIndex("OU"), -1);
  std::set<std::string_view> unique;
  for (const auto& k : AllKeys()) unique.insert(k.key);
  EXPECT_EQ(unique.size(), 85u);
}

TEST(DeviceSettings, MissingKeysInTableOrderAndCompletion) {
  DeviceSettings s;
  EXPECT_EQ(s.MissingKeys(5), (std::vector<std::string_view>{"B0", "B1", "F4", "F5", "F6"}));
  ParseReply("KVs,B0=1,B1=2,F4=mm-dd-yy,F5=7,F6=1*QQ!\r\n", s);
  EXPECT_EQ(s.MissingKeys(5), (std::vector<std::string_view>{"F7", "O6", "Va", "Vb", "Vc"}));
  // B2 and OU never count towards a full read.
  ParseReply("KVs,B2=1,OU=2*QQ!\r\n", s);
  EXPECT_EQ(s.ReceivedCount(), 5);
  std::string all = "KVs";
  for (const auto& k : TableKeys()) all += "," + std::string(k.key) + "=1";
  ParseReply(all + "*QQ!\r\n", s);
  EXPECT_TRUE(s.AllReceived());
  EXPECT_TRUE(s.MissingKeys(5).empty());
  s.ClearReceived();
  EXPECT_EQ(s.ReceivedCount(), 0);
  EXPECT_EQ(s.Text("B0"), "1");  // clearing flags keeps the values
}

TEST(DeviceSettings, ConcurrentParseAndSnapshotStayConsistent) {
  DeviceSettings s;
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i)
      ParseReply("KVs,D1=" + std::string(i % 2 ? 31 : 5, 'a' + i % 26) + ",H2=" + std::to_string(i) + "*QQ!\r\n", s);
  });
  for (int i = 0; i < 2000; ++i) {
    DeviceValues v = s.Snapshot();
    const std::string& d1 = v.Text("D1");
    ASSERT_TRUE(d1.empty() || d1.find_first_not_of(d1[0]) == std::string::npos);
  }
  writer.join();
  EXPECT_EQ(s.Number("H2"), 1999);
}

}  // namespace
}  // namespace zd573
