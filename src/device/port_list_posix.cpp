// The serial ports on Linux: sysfs names each tty with a USB parent.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "device/device_port.h"
#include "device/port_finder.h"

namespace zd573 {
namespace fs = std::filesystem;
namespace {

std::string ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (in) std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) line.pop_back();
  return line;
}

// Walks up from the tty's device to the USB device; the interface string on
// the way stands in when the device has no product string.
std::string UsbDescription(const fs::path& ttyDir) {
  std::error_code ec;
  fs::path dev = fs::canonical(ttyDir / "device", ec);
  if (ec) return {};
  std::string interface;
  for (fs::path p = dev; !p.empty() && p != p.root_path(); p = p.parent_path()) {
    if (interface.empty() && fs::exists(p / "interface", ec)) interface = ReadLine(p / "interface");
    if (fs::exists(p / "idVendor", ec)) {
      std::string product = ReadLine(p / "product");
      return product.empty() ? (interface.empty() ? "USB Serial Device" : interface) : product;
    }
  }
  return {};
}

}  // namespace

std::string SysfsRoot() {
  const char* root = std::getenv("ZD573_SYSFS_ROOT");
  return root && *root ? root : "/sys";
}

std::vector<SerialPortInfo> ListSerialPorts() {
  std::vector<SerialPortInfo> ports;
  std::error_code ec;
  fs::path ttys = fs::path(SysfsRoot()) / "class" / "tty";
  for (fs::directory_iterator it(ttys, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    std::string description = UsbDescription(it->path());
    if (description.empty()) continue;
    SerialPortInfo info;
    info.name = name;
    info.friendlyName = description + " (" + name + ")";
    info.path = PortPath(name);
    std::string matched;
    info.matches = MatchTrackerName(info.friendlyName, &matched) && matched == name;
    ports.push_back(std::move(info));
  }
  std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return ports;
}

}  // namespace zd573
