// The port list from sysfs, on a fake tree.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "device/port_finder.h"

namespace zd573 {
namespace {
namespace fs = std::filesystem;

// A fake sysfs tree: class/tty/<name>/device -> a USB interface below a USB device.
class FakeSysfs : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("zd573-sysfs-" + std::to_string(::getpid()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "class" / "tty");
    setenv("ZD573_SYSFS_ROOT", root_.c_str(), 1);
    setenv("ZD573_DEV_ROOT", (root_ / "dev").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("ZD573_SYSFS_ROOT");
    unsetenv("ZD573_DEV_ROOT");
    fs::remove_all(root_);
  }
  void Write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text << "\n";
  }
  // product empty: no product file; interfaceText empty: no interface file.
  void AddUsbTty(const std::string& tty, const std::string& product, const std::string& interfaceText = "") {
    fs::path usb = root_ / "devices" / ("usb-" + tty);
    fs::path intf = usb / "1-1:1.0";
    fs::create_directories(intf);
    Write(usb / "idVendor", "0483");
    if (!product.empty()) Write(usb / "product", product);
    if (!interfaceText.empty()) Write(intf / "interface", interfaceText);
    fs::create_directories(root_ / "class" / "tty" / tty);
    fs::create_directory_symlink(intf, root_ / "class" / "tty" / tty / "device");
  }
  void AddPlainTty(const std::string& tty) { fs::create_directories(root_ / "class" / "tty" / tty); }
  fs::path root_;
};

TEST_F(FakeSysfs, FriendlyNamesFromProductOrInterface) {
  AddUsbTty("ttyACM0", "STM32 Virtual ComPort");
  AddUsbTty("ttyUSB0", "", "CP2102 USB to UART");
  AddPlainTty("tty1");
  auto ports = ListSerialPorts();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].friendlyName, "STM32 Virtual ComPort (ttyACM0)");
  EXPECT_TRUE(ports[0].matches);
  EXPECT_EQ(ports[0].path, (root_ / "dev" / "ttyACM0").string());
  EXPECT_EQ(ports[1].friendlyName, "CP2102 USB to UART (ttyUSB0)");
  EXPECT_FALSE(ports[1].matches);
}

const FindOptions kNoPause{std::chrono::milliseconds(0), {}};

TEST_F(FakeSysfs, LastMatchWinsAndFailedSearchKeepsName) {
  AddUsbTty("ttyACM0", "STM32 Virtual ComPort");
  AddUsbTty("ttyACM1", "STMicro VCP");
  AddUsbTty("ttyACM2", "stm lower case does not match");
  std::string name = "old";
  EXPECT_TRUE(FindDevicePort(name, kNoPause));
  EXPECT_EQ(name, "ttyACM1");
  // A search stopped (the window closing) finds nothing and changes nothing.
  std::stop_source stop;
  stop.request_stop();
  std::string stopped = "old";
  EXPECT_FALSE(FindDevicePort(stopped, {std::chrono::milliseconds(500), stop.get_token()}));
  EXPECT_EQ(stopped, "old");
  fs::remove_all(root_ / "class" / "tty");
  fs::create_directories(root_ / "class" / "tty");
  EXPECT_FALSE(FindDevicePort(name, kNoPause));
  EXPECT_EQ(name, "ttyACM1");
}

TEST_F(FakeSysfs, MissingTreeFindsNothing) {
  fs::remove_all(root_);
  std::string name;
  EXPECT_FALSE(FindDevicePort(name, kNoPause));
  EXPECT_TRUE(ListSerialPorts().empty());
}

TEST_F(FakeSysfs, SearchPausesHalfASecondPerMatch) {
  AddUsbTty("ttyACM0", "STM32 Virtual ComPort");
  AddUsbTty("ttyACM1", "STM32 Virtual ComPort");
  std::string name;
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(FindDevicePort(name));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
}

}  // namespace
}  // namespace zd573
