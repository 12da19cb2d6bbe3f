#include <gtest/gtest.h>

#include "device/port_finder.h"

namespace zd573 {
namespace {

struct NameCase {
  const char* friendly;
  bool matches;
  const char* port;
};

class TrackerNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(TrackerNames, MatchRule) {
  std::string port = "unchanged";
  EXPECT_EQ(MatchTrackerName(GetParam().friendly, &port), GetParam().matches);
  EXPECT_EQ(port, GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Names, TrackerNames,
    ::testing::Values(NameCase{"STM32 Virtual ComPort (ttyACM0)", true, "ttyACM0"},
                      NameCase{"STMicroelectronics Virtual COM Port (COM7)", true, "COM7"},
                      NameCase{"STM device without port", false, "unchanged"},
                      NameCase{"STM (ttyACM0", false, "unchanged"},
                      NameCase{"STM (ttyACM1234)", false, "unchanged"},   // 10 characters
                      NameCase{"STM (ttyUSB123)", true, "ttyUSB123"},     // 9 characters
                      NameCase{"Stm32 (ttyACM0)", false, "unchanged"},
                      NameCase{"STM32 (VCP) (ttyACM3)", true, "ttyACM3"},
                      NameCase{"STM32 (ttyACM3) x", true, "ttyACM3"}));

}  // namespace
}  // namespace zd573
