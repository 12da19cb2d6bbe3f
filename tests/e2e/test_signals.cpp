// Signals during the command line's work: a write finishes its page under
// way (a second signal: its sentence), says what reached the tracker and ends
// with 130; waits end at once; no temporary file is left.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "cli_fixture.h"

namespace zd573 {
namespace {

using Clock = std::chrono::steady_clock;

bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (!done() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return done();
}

struct SignalRow {
  const char* name;
  int signal;
  bool twice;  // a second signal right after the first
  const char* command;
};

class Signals : public Cli, public ::testing::WithParamInterface<SignalRow> {};

// The device information page (1 sentence), contacts and messages (10) and
// GPRS (1); the signal comes after the fourth sentence, in the second page.
TEST_P(Signals, AWriteEndsOnAPageOrSentenceAndSaysWhatWasWritten) {
  const SignalRow& row = GetParam();
  StartSim();
  std::ofstream(dir_ / "p.ini") << "[DEVICE]\nF5=0\nVa=Mum\nD1=apn.p\n";
  const fs::path report = dir_ / "report.csv";
  std::vector<std::string> args{row.command, (dir_ / "p.ini").string(), "--password", "4071"};
  if (args[0] == "set") args = {"set", "F5=0", "Va=Mum", "D1=apn.p", "--password", "4071"};
  if (args[0] == "provision") args.insert(args.end(), {"--report", report.string()});
  test::Spawned cli(ZD573_CLI, WithPort(args), Env(true, {"ZD573_SET_PAUSE_MS=200"}));
  ASSERT_TRUE(WaitFor([&] { return Received(*sim_, "KVS,").size() >= 4; }));
  ASSERT_EQ(::kill(cli.pid(), row.signal), 0);
  if (row.twice) {
    ASSERT_EQ(::kill(cli.pid(), SIGINT), 0);
  }
  RunResult r = cli.Wait();
  EXPECT_EQ(r.rc, 130) << r.err;
  const std::size_t sent = Received(*sim_, "KVS,").size();
  std::string said;
  if (row.twice) {
    // Whole sentences only, as many as it says went out.
    EXPECT_LT(sent, 11u);
    said = "stopped after page 1 of 3; written whole: device information; cut short: the contacts and messages page, "
           "its first " + std::to_string(sent - 1) + " of 10 sentences sent; not written: GPRS";
  } else {
    EXPECT_EQ(sent, 11u) << "the contacts page whole, GPRS not begun";
    EXPECT_EQ(sim_->Value("Va"), "Mum");
    said = "stopped after page 2 of 3; written whole: device information, contacts and messages; not written: GPRS";
  }
  EXPECT_EQ(sim_->Value("D1"), "internet");
  EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
  if (args[0] == "provision") {
    const std::string rows = test::Slurp(report.string());
    EXPECT_NE(rows.find(",356895037533210,," + std::to_string(sent == 11u ? 2 : 1) + ",failed,\"" + said), std::string::npos)
        << rows;
    EXPECT_EQ(r.err.find("Unplug it"), std::string::npos) << r.err;
  }
}

INSTANTIATE_TEST_SUITE_P(Each, Signals,
                         ::testing::Values(SignalRow{"Int", SIGINT, false, "apply"},
                                           SignalRow{"Term", SIGTERM, false, "provision"},
                                           SignalRow{"Hup", SIGHUP, false, "set"},
                                           SignalRow{"Twice", SIGTERM, true, "provision"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A tracker that never answers: Ctrl+C ends the identification, well before
// its limit would.
TEST_F(Cli, CtrlCEndsASilentIdentification) {
  sim::Options silent;
  silent.silent = true;
  StartSim(silent);
  test::Spawned cli(ZD573_CLI, WithPort({"identify", "--timeout", "300"}), Env());
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  ASSERT_EQ(::kill(cli.pid(), SIGINT), 0);
  RunResult r = cli.Wait();
  EXPECT_EQ(r.rc, 130) << r.err;
  EXPECT_NE(r.err.find("Stopped before the tracker was identified"), std::string::npos) << r.err;
}

// The backup's temporary file, made before the read, goes with a signal.
TEST_F(Cli, ASignalDuringABackupLeavesNoTemporaryFile) {
  StartSim();
  const fs::path folder = dir_ / "out";
  fs::create_directories(folder);
  test::Spawned cli(ZD573_CLI, WithPort({"backup", (folder / "b.ini").string(), "--password", "4071"}), Env());
  auto temporary = [&] {
    for (const auto& e : fs::directory_iterator(folder))
      if (e.path().extension() == ".tmp") return true;
    return false;
  };
  ASSERT_TRUE(WaitFor(temporary));
  ASSERT_TRUE(WaitFor([&] { return !Received(*sim_, "KVC,").empty(); }));
  ASSERT_EQ(::kill(cli.pid(), SIGTERM), 0);
  RunResult r = cli.Wait();
  EXPECT_EQ(r.rc, 130) << r.err;
  EXPECT_TRUE(fs::is_empty(folder)) << fs::directory_iterator(folder)->path();
}

}  // namespace
}  // namespace zd573
