#pragma once
// A simulated tracker for people without one: the simulator on a
// pseudo-terminal, dressed up as a USB serial port in a private device tree
// so that the ordinary port search finds it.
#include <filesystem>
#include <memory>
#include <string>

#include "simulator.h"

namespace zd573 {

// A fake sysfs and device folder: class/tty/<name>/device leads to a USB
// interface whose device has a vendor id and the product string, and the
// device folder holds <name> as a link to the real node.
class FakeDeviceTree {
 public:
  static constexpr const char* kProduct = "STM32 Virtual ComPort";

  // Creates `root`/sys and `root`/dev.
  explicit FakeDeviceTree(std::filesystem::path root);
  std::filesystem::path SysfsRoot() const { return root_ / "sys"; }
  std::filesystem::path DevRoot() const { return root_ / "dev"; }

  // Adds a USB serial port `name` whose node is `target`; false on failure.
  bool Plug(const std::string& name, const std::string& target, const std::string& product = kProduct);
  void Unplug(const std::string& name);
  // Points the port search at this tree (ZD573_SYSFS_ROOT, ZD573_DEV_ROOT).
  void Activate() const;

 private:
  std::filesystem::path root_;
};

class DemoTracker {
 public:
  static constexpr const char* kPortName = "ttyACM0";

  DemoTracker();
  ~DemoTracker();
  DemoTracker(const DemoTracker&) = delete;
  DemoTracker& operator=(const DemoTracker&) = delete;

  // Starts the simulator, builds the tree in a fresh temporary folder and
  // activates it. Must run before any port search.
  bool Start(std::string* error, const sim::Options& options = DemoOptions());
  sim::Simulator* Simulator() const { return sim_.get(); }
  const FakeDeviceTree* Tree() const { return tree_.get(); }

  // Status lines a little faster than the default, so the demo reads quickly.
  static sim::Options DemoOptions();

 private:
  std::filesystem::path folder_;
  std::unique_ptr<sim::Simulator> sim_;
  std::unique_ptr<FakeDeviceTree> tree_;
};

}  // namespace zd573
