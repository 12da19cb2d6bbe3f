#pragma once
// A test of the command line against its own simulated tracker, settings, cache and data folders.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "run_program.h"
#include "simulator.h"

namespace zd573 {
namespace fs = std::filesystem;
using test::RunProgram;
using test::RunResult;

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zd573-cli-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    sim_.reset();
    fs::remove_all(dir_);
  }
  void StartSim(sim::Options o = {}) {
    // Quicker status lines keep the reads short, yet stay well below the 3.2 KB/s the reader
    // takes (64 bytes per 20 ms pass): a faster talker only piles its replies up behind them.
    o.lineMs = o.lineMs == 100 ? 40 : o.lineMs;
    if (o.records < 0) o.records = 250;
    sim_ = std::make_unique<sim::Simulator>(o);
    std::string err;
    ASSERT_TRUE(sim_->Start(&err)) << err;
  }
  // The settings, cache and data folders of the test's own.
  std::vector<std::string> Env(bool fastPause = true, std::vector<std::string> more = {}) const {
    std::vector<std::string> env{"ZD573_CONFIG_DIR=" + dir_.string(), "XDG_CACHE_HOME=" + (dir_ / "cache").string(),
                                 "XDG_DATA_HOME=" + (dir_ / "data").string()};
    // A short pause still lets the tracker take each sentence before the next one.
    if (fastPause) env.push_back("ZD573_SET_PAUSE_MS=50");
    for (const std::string& m : more) {
      auto same = [&](const std::string& e) { return e.substr(0, e.find('=')) == m.substr(0, m.find('=')); };
      env.erase(std::remove_if(env.begin(), env.end(), same), env.end());
      env.push_back(m);
    }
    return env;
  }
  std::vector<std::string> WithPort(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--port", sim_ ? sim_->SlavePath() : "/nonexistent/ttyACM0"});
    return args;
  }
  RunResult Zd573(std::vector<std::string> args, bool fastPause = true, std::vector<std::string> env = {}) {
    return RunProgram(ZD573_CLI, WithPort(std::move(args)), Env(fastPause, std::move(env)));
  }
  fs::path RawLog() const { return dir_ / "cache" / "zd573" / "temp.log"; }
  fs::path ArchiveDir() const { return dir_ / "data" / "zd573" / "archive"; }
  // Sentences of one kind ("KVS," sets, "KVC," queries) the tracker received.
  static std::vector<std::string> Received(const sim::Simulator& tracker, const std::string& kind) {
    std::vector<std::string> out;
    for (const auto& e : tracker.Journal())
      if (e.bytes.rfind(kind, 0) == 0) out.push_back(e.bytes);
    return out;
  }
  fs::path dir_;
  std::unique_ptr<sim::Simulator> sim_;
};

}  // namespace zd573
