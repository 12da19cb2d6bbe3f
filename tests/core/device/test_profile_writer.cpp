// Writing a profile's pages on a held port and checking them by reading back,
// against the simulated tracker; and the provisioning report.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <filesystem>
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
  const std::string header = "time_utc,imei,name,pages_written,result,reason,roster_row\n";
  const ProvisionRow ok{"356000000000001", "Ann", 2, true, "2 pages written, verified"};
  ProvisionRow odd{"356000000000002", "Bo \"B\"", 0, false, "line one\nline two"};
  odd.rosterRow = 7;
  EXPECT_EQ(FormatReportRow(ok, 86400), "1970-01-02T00:00:00Z,356000000000001,Ann,2,ok,\"2 pages written, verified\",\n");
  EXPECT_EQ(FormatReportRow(odd, 0), "1970-01-01T00:00:00Z,356000000000002,\"Bo \"\"B\"\"\",0,failed,\"line one line two\",7\n");

  struct Row {
    const char* name;
    const char* before;  // nullptr: no file yet
    std::string after;
  };
  const Row rows[] = {
      {"new file", nullptr, header + FormatReportRow(ok, 0) + FormatReportRow(odd, 0)},
      {"empty file", "", header + FormatReportRow(ok, 0) + FormatReportRow(odd, 0)},
      {"a report of before", "old row\n", "old row\n" + FormatReportRow(ok, 0) + FormatReportRow(odd, 0)},
      {"half a row of before", "old,ro", "old,ro\n" + FormatReportRow(ok, 0) + FormatReportRow(odd, 0)},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const auto path = dir / (std::string(r.name) + ".csv");
    if (r.before) settings::testing::WriteFile(path, r.before);
    ProvisionReport report;
    ASSERT_TRUE(report.Open(files::PathToUtf8(path)));
    EXPECT_EQ(report.TakeEvents().size(), std::string_view(r.name) == "half a row of before" ? 1u : 0u);
    ASSERT_TRUE(report.Append(ok, 0));
    ASSERT_TRUE(report.Append(odd, 0));
    EXPECT_EQ(settings::testing::ReadFile(path), r.after);
  }

  // Cells a spreadsheet would run, or a terminal would obey, are defused.
  const ProvisionRow hostile{"=HYPERLINK(\"http://x\")", "\x1b[31mRed", 0, false, "-1+1"};
  EXPECT_EQ(FormatReportRow(hostile, 0),
            "1970-01-01T00:00:00Z,\"'=HYPERLINK(\"\"http://x\"\")\",\\x1b[31mRed,0,failed,\"'-1+1\",\n");
  EXPECT_EQ(FormatReportRow(ProvisionRow{"", "", 0, false, "x"}, 0), "1970-01-01T00:00:00Z,(no IMEI),,0,failed,x,\n");

  ProvisionReport folder;
  const Status refused = folder.Open(files::PathToUtf8(dir.path()));
  ASSERT_FALSE(refused);
  EXPECT_NE(Describe(refused.failure()).find("directory"), std::string::npos) << Describe(refused.failure());
  EXPECT_FALSE(folder.Append(ok, 0)) << "nothing reaches a report that is not open";
}

// A report deleted or saved over by another program mid-run, and a disk too
// full for a row: no row is lost without a word, none is left torn.
TEST(ProvisionReport, SurvivesItsFileGoingAwayAndAFullDisk) {
  settings::testing::TempDir dir;
  const std::string header = "time_utc,imei,name,pages_written,result,reason,roster_row\n";
  const ProvisionRow one{"356000000000001", "Ann", 1, true, "1 page written, verified"};
  const ProvisionRow two{"356000000000002", "Bo", 1, true, "1 page written, verified"};
  for (const char* how : {"deleted", "saved over"}) {
    SCOPED_TRACE(how);
    const auto path = dir / (std::string(how) + ".csv");
    ProvisionReport report;
    ASSERT_TRUE(report.Open(files::PathToUtf8(path)));
    ASSERT_TRUE(report.Append(one, 0));
    std::filesystem::remove(path);
    if (std::string_view(how) == "saved over") {
      settings::testing::WriteFile(dir / "spreadsheet.tmp", "edited\n");
      std::filesystem::rename(dir / "spreadsheet.tmp", path);
    }
    ASSERT_TRUE(report.Append(two, 0));
    const auto events = report.TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, ReportEvent::Kind::ContinuedElsewhere);
    EXPECT_EQ(events[0].was, files::PathToUtf8(path));
    EXPECT_EQ(report.Path(), events[0].path);
    EXPECT_NE(report.Path(), files::PathToUtf8(path));
    EXPECT_EQ(settings::testing::ReadFile(files::PathFromUtf8(report.Path())), header + FormatReportRow(two, 0));
    if (std::string_view(how) == "saved over") {
      EXPECT_EQ(settings::testing::ReadFile(path), "edited\n");
    }
  }

  // The file may grow by a few bytes only: the row does not fit, and nothing of it stays.
  const auto full = dir / "full.csv";
  ProvisionReport report;
  ASSERT_TRUE(report.Open(files::PathToUtf8(full)));
  ASSERT_TRUE(report.Append(one, 0));
  const std::string before = settings::testing::ReadFile(full);
  rlimit was{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &was), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = was;
  small.rlim_cur = before.size() + 10;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const Status failed = report.Append(two, 0);
  ::setrlimit(RLIMIT_FSIZE, &was);
  std::signal(SIGXFSZ, oldHandler);
  ASSERT_FALSE(failed);
  EXPECT_NE(Describe(failed.failure()).find("full.csv"), std::string::npos) << Describe(failed.failure());
  EXPECT_EQ(settings::testing::ReadFile(full), before);
  ASSERT_TRUE(report.Append(two, 0)) << "room again: the next row goes in whole";
  EXPECT_EQ(settings::testing::ReadFile(full), before + FormatReportRow(two, 0));
}

}  // namespace
}  // namespace zd573
