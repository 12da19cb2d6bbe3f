// The provisioning loop in the core: the words of its report rows, which both
// front ends write, and a stop that reaches it while a tracker says nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "../settings/temp_dir.h"
#include "device/provision_loop.h"
#include "simulator.h"

namespace zd573 {
namespace {
using namespace std::chrono_literals;

struct Worded {
  const char* name;
  TrackerOutcome outcome;
  const char* result;
  std::string reason;
};

TrackerOutcome Outcome(TrackerResult result, std::vector<Page> written = {}, Error error = {}) {
  TrackerOutcome o;
  o.result = result;
  o.file = "care.ini";
  o.port = "/dev/pts/9";
  o.imei = "356000000000001";
  o.written = std::move(written);
  o.error = std::move(error);
  return o;
}

TEST(ProvisionLoop, RowsSayWhatHappenedInOneWording) {
  TrackerOutcome untaken = Outcome(TrackerResult::NotTaken, {Page::Gprs});
  untaken.untaken = {{"D1", "apn.p", "internet"}, {"B0", "1234", ""}};
  const Worded rows[] = {
      {"set up", Outcome(TrackerResult::SetUp, {Page::Gprs, Page::Contacts}), "ok", "2 pages written, verified"},
      {"again", Outcome(TrackerResult::AlreadyDone), "skipped", "Already set up in this run; nothing was sent again"},
      {"held", Outcome(TrackerResult::AlreadyHeld), "ok",
       "The tracker already holds every value of care.ini; nothing was sent"},
      {"gone midway",
       Outcome(TrackerResult::WriteFailed, {Page::Gprs},
               Error{"Writing the logger settings failed after 0 of 1 sentence", ErrorCode::Disconnected,
                     "The tracker was disconnected"}),
       "failed",
       "Writing the logger settings failed after 0 of 1 sentence: The tracker was disconnected; the tracker "
       "identified on /dev/pts/9 went away, and nothing more is sent to whatever is there now; written before: GPRS"},
      {"a sentence before", Outcome(TrackerResult::WriteFailed, {Page::Gprs}, Error{"The port is busy."}), "failed",
       "The port is busy. Written before: GPRS"},
      {"not taken", untaken, "failed",
       "1 page written; the tracker did not take GPRS APN (D1): sent \"apn.p\", it holds \"internet\"; SIM card PIN "
       "code (B0): sent (hidden), it holds (empty)"},
      {"stopped", Outcome(TrackerResult::Stopped), "failed", "Stopped before it was finished"},
  };
  for (const Worded& row : rows) {
    const ProvisionRow r = ReportRowOf(row.outcome);
    EXPECT_EQ(r.reason, row.reason) << row.name;
    const std::string line = FormatReportRow(r, 0);
    EXPECT_NE(line.find(std::string(",") + row.result + ","), std::string::npos) << row.name << ": " << line;
    EXPECT_EQ(line.find("1234"), std::string::npos) << row.name << ": no secret in a report";
  }
}

// Records what the loop says, from its thread.
class Heard final : public ProvisionListener {
 public:
  void Stage(LoopStage stage, const TrackerOutcome&) override {
    std::lock_guard lock(mutex_);
    stages_.push_back(stage);
  }
  void Done(const TrackerOutcome&, const LoopCounts&, const Status&) override {
    std::lock_guard lock(mutex_);
    ++rows_;
  }
  bool Saw(LoopStage stage) {
    std::lock_guard lock(mutex_);
    return std::find(stages_.begin(), stages_.end(), stage) != stages_.end();
  }
  int Rows() {
    std::lock_guard lock(mutex_);
    return rows_;
  }

 private:
  std::mutex mutex_;
  std::vector<LoopStage> stages_;
  int rows_ = 0;
};

// A tracker that never identifies itself holds the loop only until a stop.
TEST(ProvisionLoop, AStopEndsTheWaitForASilentTracker) {
  sim::Options o;
  o.silent = true;
  sim::Simulator tracker(o);
  std::string err;
  ASSERT_TRUE(tracker.Start(&err)) << err;
  settings::testing::TempDir dir;
  ProvisionReport report;
  ASSERT_TRUE(report.Open((dir / "report.csv").string()));
  auto profile = ParseProfile("[DEVICE]\nD1=apn.p\n", "p.ini");
  ASSERT_TRUE(profile);
  ProvisionOptions options;
  options.port = tracker.SlavePath();
  options.password = "4071";
  Heard heard;
  ProvisionLoop loop(*profile, "p.ini", options, report, heard);
  std::stop_source stop;
  LoopResult result;
  std::thread run([&] { result = loop.Run(stop.get_token()); });
  for (int i = 0; i < 500 && !heard.Saw(LoopStage::Opening); ++i) std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(300ms);  // into the identification
  stop.request_stop();
  run.join();
  EXPECT_TRUE(heard.Saw(LoopStage::Opening));
  EXPECT_EQ(result.end, LoopEnd::Stopped);
  EXPECT_EQ(heard.Rows(), 0) << "a tracker that never said who it is has no row";
  EXPECT_TRUE(tracker.Journal().empty() || tracker.Journal().back().bytes.find("KVS,") == std::string::npos);
}

}  // namespace
}  // namespace zd573
