// The port list from SetupAPI and the Win32 serial port's refusals. A test
// machine (or Wine) may have no COM port at all: what is listed must be
// well formed, and ports that cannot be opened must say why.
#include <gtest/gtest.h>

#include "device/device_port.h"
#include "device/port_finder.h"

namespace zd573 {
namespace {

TEST(Win32Ports, ListedPortsHaveComNamesAndDevicePaths) {
  for (const SerialPortInfo& port : ListSerialPorts()) {
    EXPECT_EQ(port.name.rfind("COM", 0), 0u) << port.name;
    EXPECT_LE(port.name.size(), 9u) << port.name;
    EXPECT_EQ(port.path, "\\\\.\\" + port.name);
    EXPECT_FALSE(port.friendlyName.empty()) << port.name;
  }
  EXPECT_EQ(SysfsRoot(), "");
}

TEST(Win32Ports, PortPathUsesTheDeviceNamespace) {
  EXPECT_EQ(PortPath("COM7"), "\\\\.\\COM7");
  EXPECT_EQ(PortPath("COM12"), "\\\\.\\COM12");
  EXPECT_EQ(PortPath("\\\\.\\COM3"), "\\\\.\\COM3");
}

struct OpenCase {
  const char* port;
  ErrorCode code;
  const char* says;
};

TEST(Win32Ports, PortsThatCannotBeOpenedSayWhy) {
  const OpenCase cases[] = {
      {"COM231", ErrorCode::PortOpen, "COM231: "},           // no such port
      {"NUL", ErrorCode::PortOpen, "NUL: not a serial port"},  // a device, but no serial port
  };
  for (const OpenCase& c : cases) {
    auto port = OpenComPort(c.port);
    ASSERT_FALSE(port.ok()) << c.port;
    EXPECT_EQ(port.error(), kOpenPortFailed);
    EXPECT_EQ(port.code(), c.code) << c.port;
    EXPECT_NE(port.failure().detail.find(c.says), std::string::npos) << port.failure().detail;
    EXPECT_FALSE(PortAdvice(port.code()).empty());
  }
}

}  // namespace
}  // namespace zd573
