// A refused password, SIM PIN or GPRS password is named by its field alone:
// no character of it, nor which character was refused, reaches a message.
#include <gtest/gtest.h>

#include "device/user_values.h"

namespace zd573 {
namespace {

struct Refused {
  const char* key;
  std::string value;  // "Qz" + what is refused + "Kx"
  bool fromFile;
  MessageKind kind;
};

class SecretRefusal : public ::testing::TestWithParam<Refused> {};

TEST_P(SecretRefusal, NamesTheFieldOnly) {
  const Refused& r = GetParam();
  auto p = PrepareValue(r.key, r.value, ValueRules{1252, false, true, r.fromFile});
  ASSERT_FALSE(p.ok());
  const Error& e = p.failure();
  EXPECT_EQ(e.kind, r.kind);
  EXPECT_EQ(e.field, r.key);
  std::string all = Describe(e);
  for (const std::string& a : e.args) all += "|" + a;
  EXPECT_NE(all.find(std::string("(") + r.key + ")"), std::string::npos) << all;
  const std::string refused = r.value.substr(2, r.value.size() - 4);
  for (const std::string& part : {std::string("Qz"), std::string("Kx"), refused})
    EXPECT_EQ(all.find(part), std::string::npos) << part << " in " << all;
  // Which character it was is not told either: every one reads the same.
  if (r.kind == MessageKind::BadCharacter) {
    EXPECT_EQ(e.message, PrepareValue(r.key, "Qz,Kx", ValueRules{1252}).error());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SecretRefusal,
    ::testing::Values(Refused{"OU", "Qz\xE7\x8E\x8BKx", false, MessageKind::NotEncodable},
                      Refused{"D3", "Qz\xE7\x8E\x8BKx", true, MessageKind::NotEncodable},
                      Refused{"OU", "Qz\xFFKx", true, MessageKind::NotUtf8},
                      Refused{"OU", "Qz=Kx", false, MessageKind::BadCharacter},
                      Refused{"D3", "Qz*QQ!Kx", false, MessageKind::BadCharacter},
                      Refused{"B0", "Qz\rKx", false, MessageKind::BadCharacter}),
    [](const auto& info) { return std::string(info.param.key) + "_" + std::to_string(info.index); });

}  // namespace
}  // namespace zd573
