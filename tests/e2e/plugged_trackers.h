#pragma once
// Simulated trackers plugged in one after another as the USB port ttyACM0 of
// a fake device tree, for the command line's loops (provision, backup --each).
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "demo/DemoTracker.h"
#include "simulator.h"

namespace zd573::test {

class PluggedTrackers {
 public:
  explicit PluggedTrackers(const std::filesystem::path& root) : tree_(root) {}
  ~PluggedTrackers() {
    for (auto& t : trackers_) t->Stop();
  }

  // The environment that points the command line's port search at the tree.
  std::vector<std::string> Env() const {
    return {"ZD573_SYSFS_ROOT=" + tree_.SysfsRoot().string(), "ZD573_DEV_ROOT=" + tree_.DevRoot().string()};
  }
  // A tracker with this IMEI (and these values) plugged in.
  sim::Simulator& Plug(const std::string& imei, const std::map<std::string, std::string>& values = {}) {
    sim::Options o;
    o.lineMs = 40;
    trackers_.push_back(std::make_unique<sim::Simulator>(o));
    sim::Simulator& tracker = *trackers_.back();
    std::string err;
    EXPECT_TRUE(tracker.Start(&err)) << err;
    tracker.SetValue("B2", imei);
    for (const auto& [key, value] : values) tracker.SetValue(key, value);
    EXPECT_TRUE(tree_.Plug("ttyACM0", tracker.SlavePath()));
    return tracker;
  }
  // The tracker plugged in last goes away.
  void Unplug() {
    tree_.Unplug("ttyACM0");
    trackers_.back()->Stop();
  }

 private:
  FakeDeviceTree tree_;
  std::vector<std::unique_ptr<sim::Simulator>> trackers_;
};

// Waits at most a minute for `done`.
inline bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return done();
}

// The sentences of one kind ("KVS," sets) a tracker received.
inline std::vector<std::string> SentencesOf(const sim::Simulator& tracker, const std::string& kind) {
  std::vector<std::string> out;
  for (const auto& e : tracker.Journal())
    if (e.bytes.rfind(kind, 0) == 0) out.push_back(e.bytes);
  return out;
}

// The lines of a text file.
inline std::vector<std::string> LinesOf(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace zd573::test
