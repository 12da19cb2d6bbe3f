#include "demo/DemoTracker.h"

#include <stdlib.h>

#include <fstream>
#include <system_error>

namespace zd573 {

namespace fs = std::filesystem;

namespace {

bool WriteLine(const fs::path& file, const std::string& text) {
  std::ofstream out(file);
  out << text << '\n';
  return static_cast<bool>(out);
}

}  // namespace

FakeDeviceTree::FakeDeviceTree(fs::path root) : root_(std::move(root)) {
  std::error_code ec;
  fs::create_directories(SysfsRoot() / "class" / "tty", ec);
  fs::create_directories(DevRoot(), ec);
}

bool FakeDeviceTree::Plug(const std::string& name, const std::string& target, const std::string& product) {
  std::error_code ec;
  const fs::path usb = SysfsRoot() / "devices" / ("usb-" + name);
  const fs::path interface = usb / "1-1:1.0";
  fs::create_directories(interface, ec);
  if (ec) return false;
  if (!WriteLine(usb / "idVendor", "0483") || !WriteLine(usb / "product", product) ||
      !WriteLine(interface / "interface", "CDC Abstract Control Model")) {
    return false;
  }
  const fs::path tty = SysfsRoot() / "class" / "tty" / name;
  fs::create_directories(tty, ec);
  fs::remove(tty / "device", ec);
  fs::create_directory_symlink(interface, tty / "device", ec);
  if (ec) return false;
  const fs::path node = DevRoot() / name;
  fs::remove(node, ec);
  fs::create_symlink(target, node, ec);
  return !ec;
}

void FakeDeviceTree::Unplug(const std::string& name) {
  std::error_code ec;
  fs::remove(DevRoot() / name, ec);
  fs::remove_all(SysfsRoot() / "class" / "tty" / name, ec);
  fs::remove_all(SysfsRoot() / "devices" / ("usb-" + name), ec);
}

void FakeDeviceTree::Activate() const {
  ::setenv("ZD573_SYSFS_ROOT", SysfsRoot().c_str(), 1);
  ::setenv("ZD573_DEV_ROOT", DevRoot().c_str(), 1);
}

DemoTracker::DemoTracker() = default;

DemoTracker::~DemoTracker() {
  if (sim_) sim_->Stop();
  std::error_code ec;
  if (!folder_.empty()) fs::remove_all(folder_, ec);
}

sim::Options DemoTracker::DemoOptions() {
  sim::Options options;
  // Slow enough for the settings reader to keep up with (about 3 KB/s).
  options.lineMs = 40;
  return options;
}

bool DemoTracker::Start(std::string* error, const sim::Options& options) {
  std::error_code ec;
  std::string pattern = (fs::temp_directory_path(ec) / "zd573-demo-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    if (error) *error = "Cannot create a folder for the simulated tracker";
    return false;
  }
  folder_ = pattern;
  sim_ = std::make_unique<sim::Simulator>(options);
  std::string why;
  if (!sim_->Start(&why)) {
    if (error) *error = "The simulated tracker did not start: " + why;
    return false;
  }
  tree_ = std::make_unique<FakeDeviceTree>(folder_);
  if (!tree_->Plug(kPortName, sim_->SlavePath())) {
    if (error) *error = "Cannot build the device folder of the simulated tracker";
    return false;
  }
  tree_->Activate();
  return true;
}

}  // namespace zd573
