// Writing a profile's pages on a held port and checking them by reading back,
// against the simulated tracker; and the provisioning report.
#include <gtest/gtest.h>

#include <chrono>
#include <stop_token>
#include <thread>

#include "../settings/temp_dir.h"
#include "device/profile.h"
#include "device/profile_writer.h"
#include "pty_peer.h"
#include "simulator.h"

namespace zd573 {
namespace {
using namespace std::chrono_literals;

// The simulated tracker, its port held open, and its GPRS and contacts values read.
class Writer : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Options o;
    o.lineMs = 40;  // the reader asks after ten lines of the tracker's own
    sim_ = std::make_unique<sim::Simulator>(o);
    std::string err;
    ASSERT_TRUE(sim_->Start(&err)) << err;
    auto port = OpenComPort(sim_->SlavePath());
    ASSERT_TRUE(port) << port.error();
    port_ = std::move(*port);
    const Status read = ReadKeysOn(*port_, KeysOfPages(pages_), settings_, 20s);
    ASSERT_TRUE(read) << Describe(read.failure());
    target_ = settings_.Snapshot();
    target_.SetText("D1", "apn.p");
    target_.SetText("Va", "Mum");
    options_.pause = 10ms;
    mark_ = sim_->Journal().size();
  }
  // What reached the tracker since the read above.
  std::vector<std::string> Since(std::string_view prefix) const {
    std::vector<std::string> got;
    const auto journal = sim_->Journal();
    for (std::size_t i = mark_; i < journal.size(); ++i)
      if (journal[i].bytes.rfind(prefix, 0) == 0) got.push_back(journal[i].bytes);
    return got;
  }
  ProfileWriteResult Write() { return WriteProfilePages(*port_, settings_, target_, pages_, options_, 20s); }

  const std::vector<Page> pages_ = {Page::Gprs, Page::Contacts};  // 1 and 10 sentences
  std::unique_ptr<sim::Simulator> sim_;
  std::unique_ptr<DevicePort> port_;
  DeviceSettings settings_;
  DeviceValues target_;
  WriteOptions options_;
  std::size_t mark_ = 0;
};

TEST_F(Writer, WritesExactlyThePagesThenReadsThemBack) {
  struct Row {
    const char* name;
    const char* altered;  // changed on the tracker after the last sentence: not taken
    std::vector<std::string> untaken;
  };
  const Row rows[] = {{"taken", nullptr, {}}, {"not taken", "D1", {"D1"}}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    mark_ = sim_->Journal().size();
    std::vector<std::string> expected;
    DeviceValues built = target_;
    for (Page page : pages_) {
      auto sentences = BuildPageTransaction(page, built);
      ASSERT_TRUE(sentences);
      expected.insert(expected.end(), sentences->begin(), sentences->end());
    }
    std::vector<std::pair<int, int>> progress;
    options_.progress = [&](int written, int total) {
      progress.emplace_back(written, total);
      if (r.altered && written == total) {
        ASSERT_TRUE(sim_->WaitForSentences(mark_ + static_cast<std::size_t>(total), 2000));
        sim_->SetValue(r.altered, "other");
      }
    };
    const ProfileWriteResult result = Write();
    ASSERT_TRUE(result.status) << Describe(result.status.failure());
    EXPECT_EQ(Since("KVS,"), expected);
    EXPECT_EQ(result.written, pages_);
    ASSERT_EQ(progress.size(), expected.size());
    for (std::size_t i = 0; i < progress.size(); ++i)
      EXPECT_EQ(progress[i], std::make_pair(static_cast<int>(i) + 1, static_cast<int>(expected.size())));
    EXPECT_EQ(result.untaken, r.untaken);
    EXPECT_EQ(result.Verified(), r.untaken.empty());
    EXPECT_EQ(result.readBack.Text("Va"), "Mum");
    EXPECT_EQ(settings_.Text("D1"), target_.Text("D1")) << "the record holds what was sent";
    target_.SetText("D1", "apn.q");  // the next row writes anew
  }
}

TEST_F(Writer, AStopEndsTheWritingWithoutAReadBack) {
  struct Row {
    const char* name;
    int stopAfter;  // sentences on the line when the stop comes
    std::vector<Page> written;
  };
  const Row rows[] = {{"within the second page", 3, {Page::Gprs}}, {"after the last sentence", 11, pages_}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    mark_ = sim_->Journal().size();
    std::stop_source stop;
    options_.stop = stop.get_token();
    options_.progress = [&](int written, int) {
      if (written == r.stopAfter) stop.request_stop();
    };
    const ProfileWriteResult result = Write();
    EXPECT_EQ(result.status.code(), ErrorCode::Stopped) << Describe(result.status.failure());
    EXPECT_EQ(result.written, r.written);
    std::this_thread::sleep_for(300ms);  // the tracker has taken in what was sent
    EXPECT_EQ(Since("KVS,").size(), static_cast<std::size_t>(r.stopAfter));
    EXPECT_TRUE(Since("KVC,").empty());
    EXPECT_TRUE(result.untaken.empty());
    target_.SetText("D1", "apn.q");
  }
}

TEST(ReadKeysOn, ATrackerThatSaysNothingIsWaitedForUntilTheLimitOrAStop) {
  test::PtyPeer silent;
  auto port = OpenComPort(silent.Path());
  ASSERT_TRUE(port) << port.error();
  DeviceSettings into;
  const Status limited = ReadKeysOn(**port, {"D1", "D2"}, into, 300ms);
  EXPECT_EQ(limited.code(), ErrorCode::TimedOut);
  EXPECT_EQ(limited.error(), "The settings read did not complete within 300 ms; 2 keys did not arrive: D1,D2");

  std::stop_source stop;
  std::jthread stopper([&] {
    std::this_thread::sleep_for(200ms);
    stop.request_stop();
  });
  const Status stopped = ReadKeysOn(**port, {"D1"}, into, 60s, stop.get_token());
  EXPECT_EQ(stopped.code(), ErrorCode::Stopped) << stopped.error();
}

TEST(ProvisionReport, OneHeaderQuotedRowsAndOnlyRegularFiles) {
  settings::testing::TempDir dir;
  const std::string header = "time_utc,imei,name,pages_written,result,reason\n";
  const ProvisionRow ok{"356000000000001", "Ann", 2, true, "2 pages written, verified"};
  const ProvisionRow odd{"356000000000002", "Bo \"B\"", 0, false, "line one\nline two"};
  EXPECT_EQ(FormatReportRow(ok, 86400), "1970-01-02T00:00:00Z,356000000000001,Ann,2,ok,\"2 pages written, verified\"\n");
  EXPECT_EQ(FormatReportRow(odd, 0), "1970-01-01T00:00:00Z,356000000000002,\"Bo \"\"B\"\"\",0,failed,\"line one line two\"\n");

  struct Row {
    const char* name;
    const char* before;  // nullptr: no file yet
    std::string after;
  };
  const Row rows[] = {
      {"new file", nullptr, header + FormatReportRow(ok, 0) + FormatReportRow(odd, 0)},
      {"empty file", "", header + FormatReportRow(ok, 0) + FormatReportRow(odd, 0)},
      {"a report of before", "old row\n", "old row\n" + FormatReportRow(ok, 0) + FormatReportRow(odd, 0)},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const auto path = dir / (std::string(r.name) + ".csv");
    if (r.before) settings::testing::WriteFile(path, r.before);
    ProvisionReport report;
    ASSERT_TRUE(report.Open(files::PathToUtf8(path)));
    ASSERT_TRUE(report.Append(ok, 0));
    ASSERT_TRUE(report.Append(odd, 0));
    EXPECT_EQ(settings::testing::ReadFile(path), r.after);
  }

  ProvisionReport folder;
  const Status refused = folder.Open(files::PathToUtf8(dir.path()));
  ASSERT_FALSE(refused);
  EXPECT_NE(Describe(refused.failure()).find("directory"), std::string::npos) << Describe(refused.failure());
  EXPECT_FALSE(folder.Append(ok, 0)) << "nothing reaches a report that is not open";
}

}  // namespace
}  // namespace zd573
