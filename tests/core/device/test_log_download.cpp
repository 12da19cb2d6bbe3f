#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "device/device_port.h"
#include "device/log_download.h"
#include "device/protocol.h"
#include "simulator.h"

namespace zd573 {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Events final : public LogObserver {
 public:
  void LogProgress(Progress p) override {
    std::lock_guard lock(m_);
    progress.push_back(p);
  }
  void LogEnded(int c) override {
    std::lock_guard lock(m_);
    code = c;
    cv_.notify_all();
  }
  int Wait(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_);
    cv_.wait_for(lock, limit, [&] { return code >= 0; });
    return code;
  }
  std::vector<Progress> progress;
  int code = -1;

 private:
  std::mutex m_;
  std::condition_variable cv_;
};

std::vector<std::uint8_t> ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// One data packet of `records` records, numbered from `first`.
std::string Packet(int records, int first, bool goodCheck = true, std::uint8_t type = proto::kLogPacketType) {
  std::string p;
  int len = 8 + 20 * records;
  p += static_cast<char>(proto::kPacketStart);
  p += '$';
  p += static_cast<char>(len);
  p += static_cast<char>(type);
  p += '\0';
  p += static_cast<char>(first);
  for (int r = 0; r < records; ++r) p += std::string(20, static_cast<char>(first + r));
  std::uint8_t check = 0;
  for (std::size_t k = 2; k < p.size(); ++k) check ^= static_cast<std::uint8_t>(p[k]);
  p += static_cast<char>(goodCheck ? check : check ^ 0x55);
  p += '!';
  return p;
}

class Receiver : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zd573-recv-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    raw_ = dir_ / "temp.log";
    fs::remove(raw_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  // Feeds the stream in pieces of the given sizes (cycling), then empty reads.
  void Feed(LogStreamReceiver& r, const std::string& stream, std::vector<std::size_t> pieces = {64}) {
    std::size_t off = 0, k = 0;
    while (off < stream.size() && !r.Ended()) {
      std::size_t n = std::min({pieces[k++ % pieces.size()], r.Room(), stream.size() - off});
      r.Feed(reinterpret_cast<const std::uint8_t*>(stream.data() + off), n);
      off += n;
    }
  }
  fs::path dir_, raw_;
};

TEST_F(Receiver, EverythingInOneReadCompletesAtOnce) {
  Events e;
  LogStreamReceiver r(e, raw_.string());
  std::string stream = "hello\r\ndataCount=2\r\ninfo\r\n===\r\n" + Packet(2, 1);
  ASSERT_LE(stream.size(), 64u * 2);
  Feed(r, stream, {200});
  EXPECT_EQ(e.code, kLogComplete);
  EXPECT_EQ(ReadFile(raw_).size(), 40u);
}

TEST_F(Receiver, CountLineSplitAcrossReads) {
  Events e;
  LogStreamReceiver r(e, raw_.string());
  Feed(r, "junk line\r\nsome more\r\ndata", {64});
  EXPECT_EQ(e.progress.size(), 0u);
  EXPECT_EQ(r.Buffered(), 4u);  // complete lines are gone, "data" waits
  Feed(r, "Count=3", {64});
  EXPECT_EQ(e.progress.size(), 0u);
  Feed(r, "\r\n===\r\n" + Packet(3, 7), {5});
  EXPECT_EQ(e.code, kLogComplete);
  ASSERT_EQ(e.progress.at(0), (Progress{0, 3}));
}

TEST_F(Receiver, ZeroCountLeavesAnEarlierRawFileAlone) {
  std::ofstream(raw_) << "old records";
  Events e;
  LogStreamReceiver r(e, raw_.string());
  Feed(r, "dataCount=0\r\n");
  EXPECT_EQ(e.code, kLogNoData);
  auto bytes = ReadFile(raw_);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old records");
}

TEST_F(Receiver, UncreatableRawFileEndsWithCode2) {
  Events e;
  LogStreamReceiver r(e, (dir_ / "missing" / "temp.log").string());
  Feed(r, "dataCount=5\r\n");
  EXPECT_EQ(e.code, kLogFileFailed);
}

TEST_F(Receiver, ProgressPerPacketAndOvershootingLastPacket) {
  Events e;
  LogStreamReceiver r(e, raw_.string());
  std::string stream = "dataCount=10\r\n===\r\n";
  for (int p = 0; p < 4; ++p) stream += Packet(3, 1 + 3 * p);
  Feed(r, stream, {7, 64, 1});
  EXPECT_EQ(e.code, kLogComplete);
  std::vector<Progress> expected{{0, 10}, {3, 10}, {6, 10}, {9, 10}};
  EXPECT_EQ(e.progress, expected);
  EXPECT_EQ(ReadFile(raw_).size(), 240u);
  EXPECT_EQ(502u * 3 / 10, 150u);  // the page's bar fill for the first notice
}

TEST_F(Receiver, CorruptShortAndForeignPacketsAreSkipped) {
  Events e;
  LogStreamReceiver r(e, raw_.string());
  std::string stream = "dataCount=3\r\n===\r\n";
  stream += Packet(2, 1, false);                  // bad check: not counted
  stream += std::string("\x02$\x03\x02$\x00", 6);  // lengths below 8 describe nothing
  stream += Packet(0, 0);                          // empty packet: accepted, adds nothing
  stream += Packet(1, 9, true, 0xB2);             // another type
  stream += "noise!";
  stream += Packet(3, 20);
  Feed(r, stream, {13});
  EXPECT_EQ(e.code, kLogComplete);
  auto bytes = ReadFile(raw_);
  ASSERT_EQ(bytes.size(), 60u);
  EXPECT_EQ(bytes[0], 20);
  EXPECT_EQ(bytes[59], 22);
}

TEST_F(Receiver, PacketWhoseBangArrivesAloneIsAccepted) {
  Events e;
  LogStreamReceiver r(e, raw_.string());
  std::string p = Packet(1, 5);
  Feed(r, "dataCount=1\r\n===\r\n" + p.substr(0, p.size() - 1), {64});
  EXPECT_EQ(e.code, -1);
  Feed(r, "!");
  EXPECT_EQ(e.code, kLogComplete);
}

TEST_F(Receiver, FullBufferWithoutMarkerDropsOldestBytesOnEmptyReads) {
  Events e;
  LogStreamReceiver r(e, raw_.string());
  Feed(r, "dataCount=1\r\n" + std::string(256, 'x'));
  EXPECT_EQ(r.Room(), 0u);
  r.Feed(nullptr, 0);
  EXPECT_EQ(r.Buffered(), 240u);
  r.Feed(nullptr, 0);
  EXPECT_EQ(r.Buffered(), 240u);  // only above 240
  Feed(r, "===\r\n" + Packet(1, 3));
  EXPECT_EQ(e.code, kLogComplete);
}

// Whole downloads from the simulated tracker over a real pty.
struct DownloadCase {
  const char* name;
  sim::Options sim;
  int code;
  bool identical;  // temp.log equals the simulator's log
};

class Download : public ::testing::TestWithParam<DownloadCase> {};

TEST_P(Download, EndsWithItsCode) {
  const auto& c = GetParam();
  sim::Simulator s(c.sim);
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  fs::path dir = fs::temp_directory_path() / ("zd573-dl-" + std::to_string(::getpid()) + "-" + c.name);
  fs::create_directories(dir);
  Events e;
  LogDownloadOptions options;
  options.rawPath = (dir / "temp.log").string();
  options.stallLimit = 2s;
  options.silenceLimit = 2s;
  LogDownload download(e, options);
  ASSERT_TRUE(download.Start(s.SlavePath()).ok());
  EXPECT_EQ(e.Wait(60s), c.code);
  download.Stop();
  EXPECT_FALSE(download.Running());
  if (c.identical) {
    EXPECT_EQ(ReadFile(options.rawPath), s.LogBytes());
  }
  if (c.code == kLogTimedOut) {
    EXPECT_LT(ReadFile(options.rawPath).size(), s.LogBytes().size());
  }
  EXPECT_TRUE(OpenComPort(s.SlavePath()).ok()) << "the port was left open";
  fs::remove_all(dir);
}

sim::Options Sim(int records, std::function<void(sim::Options&)> change = {}) {
  sim::Options o;
  o.records = records;
  o.lineMs = 50;
  if (change) change(o);
  return o;
}

INSTANTIATE_TEST_SUITE_P(
    Streams, Download,
    ::testing::Values(DownloadCase{"normal", Sim(5000), kLogComplete, true},
                      DownloadCase{"noise", Sim(700, [](auto& o) { o.noise = true; }), kLogComplete, true},
                      DownloadCase{"fragment", Sim(700, [](auto& o) { o.fragment = true; }), kLogComplete, true},
                      DownloadCase{"empty", Sim(0), kLogNoData, false},
                      DownloadCase{"badcheck", Sim(600, [](auto& o) { o.badCheckEvery = 7; }), kLogTimedOut, false},
                      DownloadCase{"stall", Sim(600, [](auto& o) { o.stallAfterRecords = 300; }), kLogTimedOut,
                                   false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DownloadAbort, TrackerVanishingMidDownloadAborts) {
  sim::Options o;
  o.records = 20000;
  o.baud = 115200;  // slow enough to pull the plug half-way
  sim::Simulator s(o);
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  fs::path raw = fs::temp_directory_path() / ("zd573-abort-" + std::to_string(::getpid()) + ".log");
  Events e;
  LogDownloadOptions options;
  options.rawPath = raw.string();
  LogDownload download(e, options);
  ASSERT_TRUE(download.Start(s.SlavePath()).ok());
  std::this_thread::sleep_for(1000ms);
  s.Stop();
  EXPECT_EQ(e.Wait(10s), kLogAborted);
  download.Stop();
  fs::remove(raw);
}

TEST(DownloadAbort, UserCancelReportsAbort) {
  sim::Options o;
  o.records = 20000;
  o.baud = 115200;
  sim::Simulator s(o);
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  fs::path raw = fs::temp_directory_path() / ("zd573-cancel-" + std::to_string(::getpid()) + ".log");
  Events e;
  LogDownloadOptions options;
  options.rawPath = raw.string();
  LogDownload download(e, options);
  ASSERT_TRUE(download.Start(s.SlavePath()).ok());
  std::this_thread::sleep_for(500ms);
  download.Cancel();
  EXPECT_EQ(e.Wait(10s), kLogAborted);
  download.Stop();
  EXPECT_TRUE(OpenComPort(s.SlavePath()).ok());
  fs::remove(raw);
}

}  // namespace
}  // namespace zd573
