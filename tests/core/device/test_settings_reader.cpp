#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "device/device_port.h"
#include "device/settings_reader.h"
#include "pty_peer.h"
#include "simulator.h"

namespace zd573 {
namespace {
using namespace std::chrono_literals;

struct LineCase {
  const char* name;
  std::string input;
  std::vector<std::string> lines;
  std::string pending;
};

class LineAssembly : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineAssembly, Lines) {
  const auto& c = GetParam();
  LineAssembler a;
  std::vector<std::string> got;
  std::size_t off = 0;
  std::string line;
  while (off < c.input.size()) {
    std::size_t n = std::min(a.Room(), c.input.size() - off);
    ASSERT_GT(n, 0u);
    a.Append(reinterpret_cast<const std::uint8_t*>(c.input.data() + off), n);
    off += n;
    while (a.NextLine(line)) got.push_back(line);
  }
  EXPECT_EQ(got, c.lines);
  EXPECT_EQ(a.Pending(), c.pending);
}

const std::string k249(249, 'x');
INSTANTIATE_TEST_SUITE_P(
    Rules, LineAssembly,
    ::testing::Values(
        LineCase{"plain", "ab\r\ncd\r\nef", {"ab\r\n", "cd\r\n"}, "ef"},
        LineCase{"250 without break", std::string(250, 'a'), {std::string(250, 'a') + "\r\n"}, ""},
        LineCase{"lone CR in full buffer", "ab\r" + std::string(247, 'c'), {"ab\r\n"}, std::string(247, 'c')},
        LineCase{"lone LF in full buffer", "ab\n" + std::string(247, 'c'), {"ab\r\n"}, std::string(247, 'c')},
        LineCase{"short lone LF waits", "ab\ncd", {}, "ab\ncd"},
        // The CR fills the buffer and gets its LF at once; the real LF is left over.
        LineCase{"249 then break", k249 + "\r\n", {k249 + "\r\n"}, "\n"}));

TEST(LineAssembly, ReadsAreAtMost64AndStopAt250) {
  LineAssembler a;
  EXPECT_EQ(a.Room(), 64u);
  std::string fill(240, 'z');
  a.Append(reinterpret_cast<const std::uint8_t*>(fill.data()), fill.size());
  EXPECT_EQ(a.Room(), 10u);
}

class Recorder final : public ReadObserver {
 public:
  void Identified(const std::string& imei, const std::string& name) override {
    Note("identified " + imei + " " + name);
  }
  void ReadProgress(Progress p) override {
    std::lock_guard lock(m_);
    progress_.push_back(p);
  }
  void ReadComplete() override { Note("complete"); }
  void ReadFailed(const std::string& why) override { Note("failed " + why); }
  bool WaitFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, limit, [&] { return !events_.empty(); });
  }
  std::vector<std::string> Events() {
    std::lock_guard lock(m_);
    return events_;
  }
  std::vector<Progress> ProgressSeen() {
    std::lock_guard lock(m_);
    return progress_;
  }

 private:
  void Note(std::string e) {
    std::lock_guard lock(m_);
    events_.push_back(std::move(e));
    cv_.notify_all();
  }
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<std::string> events_;
  std::vector<Progress> progress_;
};

std::string StatusLines(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "$GPGSV,1,1,0" + std::to_string(i) + "*44\r\n";
  return s;
}

TEST(Identification, QueriesOnlyAfterMoreThanTenLines) {
  test::PtyPeer peer;
  DeviceSettings settings;
  Recorder rec;
  SettingsReader reader(settings, rec);
  ASSERT_TRUE(reader.StartReadThread(ReadKind::Identify, test::Opened(peer.Path())).ok());
  std::this_thread::sleep_for(200ms);
  peer.Send(StatusLines(10));
  EXPECT_EQ(peer.Receive(1500), "") << "a query went out after only ten lines";
  peer.Send(StatusLines(1));
  EXPECT_EQ(peer.Receive(1500, "\r\n"), "KVC,KestrovinZD-573,L1(B2,OU)*QQ!\r\n");
}

struct IdCase {
  const char* name;
  std::string reply;
  std::string imei;
  std::string password;
};

class IdentificationReplies : public ::testing::TestWithParam<IdCase> {};

TEST_P(IdentificationReplies, EitherKeyIdentifies) {
  const auto& c = GetParam();
  test::PtyPeer peer;
  DeviceSettings settings;
  Recorder rec;
  ReadOptions options;
  options.userName = [](const std::string& imei) { return imei == "111" ? std::string("Grandpa") : std::string(); };
  SettingsReader reader(settings, rec, options);
  ASSERT_TRUE(reader.StartReadThread(ReadKind::Identify, test::Opened(peer.Path())).ok());
  std::this_thread::sleep_for(100ms);
  peer.Send(StatusLines(11));
  ASSERT_NE(peer.Receive(2000, "\r\n"), "");
  peer.Send(c.reply);
  ASSERT_TRUE(rec.WaitFor(3s));
  EXPECT_EQ(rec.Events().at(0), "identified " + c.imei + (c.imei == "111" ? " Grandpa" : " "));
  EXPECT_EQ(settings.Text("OU"), c.password);
  // The worker closed the port when it was done: it opens again at once.
  EXPECT_TRUE(OpenComPort(peer.Path()).ok());
}

INSTANTIATE_TEST_SUITE_P(Replies, IdentificationReplies,
                         ::testing::Values(IdCase{"imei only", "KVs,B2=111*QQ!\r\n", "111", ""},
                                           IdCase{"password only", "KVs,OU=99*QQ!\r\n", "", "99"},
                                           IdCase{"both", "KVs,B2=222,OU=4071*QQ!\r\n", "222", "4071"},
                                           IdCase{"both reversed", "xx KVs,OU=1,B2=111*QQ!\r\n", "111", "1"}));

TEST(FullRead, AsksFiveMissingKeysAtATimeAndCompletes) {
  sim::Options o;
  o.lineMs = 40;  // well below what the reader takes in, so replies do not queue up
  sim::Simulator s(o);
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  s.SetValue("F5", "2");  // out of range: dropped, yet received
  s.SetValue("D1", "apn.example");
  DeviceSettings settings;
  settings.Update([](DeviceValues& v) { v.SetNumber("F5", 1); });
  Recorder rec;
  SettingsReader reader(settings, rec);
  ASSERT_TRUE(reader.StartReadThread(ReadKind::FullRead, test::Opened(s.SlavePath())).ok());
  ASSERT_TRUE(rec.WaitFor(60s));
  EXPECT_EQ(rec.Events().at(0), "complete");
  std::vector<std::string> queries;
  for (const auto& e : s.Journal())
    if (e.bytes.find("L1(") != std::string::npos) queries.push_back(e.bytes);
  ASSERT_GE(queries.size(), 2u);
  EXPECT_EQ(queries[0], "KVC,KestrovinZD-573,L1(B0,B1,F4,F5,F6,)*QQ!\r\n");
  EXPECT_EQ(queries[1], "KVC,KestrovinZD-573,L1(F7,O6,Va,Vb,Vc,)*QQ!\r\n");
  EXPECT_TRUE(settings.AllReceived());
  EXPECT_EQ(settings.Number("F5"), 1);
  EXPECT_EQ(settings.Text("D1"), "apn.example");
  EXPECT_EQ(settings.Number("OZ"), std::stoi(s.Value("OZ")));
  // Keys done of all the table's keys, rising.
  const auto progress = rec.ProgressSeen();
  ASSERT_GE(progress.size(), 2u);
  EXPECT_EQ(progress.front(), (Progress{0, kTableKeyCount}));
  for (std::size_t i = 1; i < progress.size(); ++i) {
    EXPECT_EQ(progress[i].total, std::uint32_t{kTableKeyCount});
    EXPECT_GT(progress[i].done, progress[i - 1].done);
  }
}

TEST(FullRead, EndsAtTheLineThatCompletesTheTable) {
  test::PtyPeer peer;
  DeviceSettings settings;
  Recorder rec;
  SettingsReader reader(settings, rec);
  ASSERT_TRUE(reader.StartReadThread(ReadKind::FullRead, test::Opened(peer.Path())).ok());
  std::this_thread::sleep_for(100ms);
  // One burst of replies (each short enough for one line), the last completing
  // the table, then a line that would change D1.
  std::string burst;
  for (std::size_t i = 0; i < TableKeys().size(); i += 20) {
    burst += "KVs";
    for (std::size_t k = i; k < std::min(i + 20, TableKeys().size()); ++k)
      burst += "," + std::string(TableKeys()[k].key) + "=1";
    burst += "*QQ!\r\n";
  }
  peer.Send(burst + "KVs,D1=late*QQ!\r\n");
  ASSERT_TRUE(rec.WaitFor(3s));
  EXPECT_EQ(rec.Events().at(0), "complete");
  EXPECT_EQ(settings.Text("D1"), "1");
}

TEST(FullRead, SilentDeviceGivesUpAfterTheStallLimit) {
  test::PtyPeer peer;
  DeviceSettings settings;
  Recorder rec;
  ReadOptions options;
  options.fullReadStall = 1000ms;
  SettingsReader reader(settings, rec, options);
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(reader.StartReadThread(ReadKind::FullRead, test::Opened(peer.Path())).ok());
  ASSERT_TRUE(rec.WaitFor(5s));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1000ms);
  EXPECT_EQ(rec.Events().at(0).rfind("failed", 0), 0u);
  EXPECT_TRUE(OpenComPort(peer.Path()).ok());
}

// A tracker that keeps talking but never answers: the stall counts from the
// last new key, not from each query, so the read still ends; and it never
// ends before the tracker was asked at least once, however slowly it talks.
struct TalkerCase {
  const char* name;
  std::chrono::milliseconds lineEvery;
};

class TalkerThatNeverAnswers : public ::testing::TestWithParam<TalkerCase> {};

TEST_P(TalkerThatNeverAnswers, IsAskedThenGivenUpOn) {
  test::PtyPeer peer;
  DeviceSettings settings;
  Recorder rec;
  ReadOptions options;
  options.fullReadStall = 1000ms;
  SettingsReader reader(settings, rec, options);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(reader.StartReadThread(ReadKind::FullRead, test::Opened(peer.Path())).ok());
  std::atomic<bool> done{false};
  std::thread talker([&] {
    for (int i = 0; i < 1000 && !done; ++i) {
      peer.Send(StatusLines(1));
      std::this_thread::sleep_for(GetParam().lineEvery);
    }
  });
  // Eleven lines of its own, then the first query.
  const std::string query = peer.Receive(8000, ")*QQ!\r\n");
  EXPECT_NE(query.find("L1(B0,B1,F4,F5,F6,)"), std::string::npos);
  const bool ended = rec.WaitFor(10s);
  const auto failedAt = std::chrono::steady_clock::now();
  done = true;
  talker.join();
  ASSERT_TRUE(ended) << "a talker that never answers kept the read going";
  EXPECT_EQ(rec.Events().at(0), "failed No new setting arrived for 1 s");
  // The eleventh line went out no sooner than ten intervals after the start;
  // the query follows it, and the stall limit runs from the query.
  EXPECT_GE(failedAt - start, 10 * GetParam().lineEvery + 1000ms);
  EXPECT_TRUE(OpenComPort(peer.Path()).ok());
}

INSTANTIATE_TEST_SUITE_P(Talkers, TalkerThatNeverAnswers,
                         ::testing::Values(TalkerCase{"fast", 20ms}, TalkerCase{"slow", 150ms}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Reader, RestartOrStopNeverLeavesThePortOpen) {
  test::PtyPeer peer;
  DeviceSettings settings;
  Recorder rec;
  SettingsReader reader(settings, rec);
  ASSERT_TRUE(reader.StartReadThread(ReadKind::Identify, test::Opened(peer.Path())).ok());
  EXPECT_FALSE(OpenComPort(peer.Path()).ok()) << "the running read holds the port";
  // Started again: the first read's port is closed before the second runs.
  ASSERT_TRUE(reader.StartReadThread(ReadKind::Identify, std::make_unique<SerialPort>()).ok());
  EXPECT_TRUE(OpenComPort(peer.Path()).ok());
  ASSERT_TRUE(reader.StartReadThread(ReadKind::Identify, test::Opened(peer.Path())).ok());
  EXPECT_TRUE(reader.Running());
  reader.Stop();
  EXPECT_FALSE(reader.Running());
  EXPECT_TRUE(OpenComPort(peer.Path()).ok());
  EXPECT_TRUE(rec.Events().empty());
}

// The tracker pulled out mid identification (before its eleventh line) or
// mid read: the read ends at once, says so, and holds no port.
class UnpluggedTracker : public ::testing::TestWithParam<ReadKind> {};

TEST_P(UnpluggedTracker, EndsTheRead) {
  sim::Simulator s({});
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  DeviceSettings settings;
  Recorder rec;
  ReadOptions options;
  options.fullReadStall = 0ms;
  SettingsReader reader(settings, rec, options);
  ASSERT_TRUE(reader.StartReadThread(GetParam(), test::Opened(s.SlavePath())).ok());
  std::this_thread::sleep_for(200ms);
  s.Stop();
  ASSERT_TRUE(rec.WaitFor(5s));
  EXPECT_EQ(rec.Events().at(0), "failed The tracker was disconnected");
  reader.Stop();
  EXPECT_FALSE(reader.Running());
}

INSTANTIATE_TEST_SUITE_P(Stages, UnpluggedTracker, ::testing::Values(ReadKind::Identify, ReadKind::FullRead),
                         [](const auto& info) {
                           return std::string(info.param == ReadKind::Identify ? "identification" : "full_read");
                         });

}  // namespace
}  // namespace zd573
