#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "device/device_port.h"
#include "device/log_download.h"
#include "device/protocol.h"
#include "pty_peer.h"
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
    // The line goes quiet: a download whose count is reached ends.
    r.Settle();
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
  std::vector<Progress> expected{{0, 10}, {3, 10}, {6, 10}, {9, 10}, {10, 10}};
  EXPECT_EQ(e.progress, expected);
  EXPECT_EQ(ReadFile(raw_).size(), 240u);
  EXPECT_EQ(502u * 3 / 10, 150u);  // the page's bar fill for the first notice
}

TEST_F(Receiver, CorruptShortAndForeignPacketsAreSkipped) {
  Events e;
  LogStreamReceiver r(e, raw_.string());
  std::string stream = "dataCount=3\r\n===\r\n";
  stream += Packet(2, 1, false);                  // bad check: counted as damaged
  stream += std::string("\x02$\x03\x02$\x00", 6);  // lengths below 8 describe nothing
  stream += Packet(0, 0);                          // empty packet: accepted, adds nothing
  stream += Packet(1, 9, true, 0xB2);             // another type
  stream += "noise!";
  stream += Packet(3, 20);
  Feed(r, stream, {13});
  // The damaged packet's two records are lost, and counted.
  EXPECT_EQ(e.code, kLogCompleteWithLosses);
  EXPECT_EQ(r.Damaged(), 2u);
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

// A read that brings nothing while a packet is half here: its records must
// not be lost, however far into it the pause falls (a full packet is 248 bytes).
class PauseInPacket : public Receiver, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(PauseInPacket, KeepsThePacketAndCompletes) {
  Events e;
  LogStreamReceiver r(e, raw_.string());
  const std::string packet = Packet(12, 1);
  Feed(r, "dataCount=24\r\n===\r\n" + Packet(12, 100) + packet.substr(0, GetParam()));
  for (int i = 0; i < 20; ++i) r.Feed(nullptr, 0);  // two seconds of empty reads
  Feed(r, packet.substr(GetParam()));
  EXPECT_EQ(e.code, kLogComplete);
  EXPECT_EQ(ReadFile(raw_).size(), 24u * 20);
}

INSTANTIATE_TEST_SUITE_P(Offsets, PauseInPacket, ::testing::Values(3, 8, 200, 240, 241, 245, 247));

// Bytes that look like the start of a packet longer than what follows them
// must not hold up a whole packet behind them: it may be the log's last.
struct FalseStartCase {
  const char* name;
  std::string before;
  int code;  // a damaged packet before it costs its own records
};

class FalseStart : public Receiver, public ::testing::WithParamInterface<FalseStartCase> {};

TEST_P(FalseStart, DoesNotHoldUpTheLastPacket) {
  Events e;
  LogStreamReceiver r(e, raw_.string());
  Feed(r, "dataCount=1\r\n===\r\n" + GetParam().before + Packet(1, 5));
  r.Feed(nullptr, 0);  // and then nothing more comes
  r.Settle();
  EXPECT_EQ(e.code, GetParam().code);
  EXPECT_EQ(ReadFile(raw_), std::vector<std::uint8_t>(20, 5));
}

// A corrupt packet whose records hold a packet start wanting 68 bytes.
std::string CorruptWithStart() {
  std::string p = Packet(2, 1, false);
  p.replace(20, 3, std::string("\x02$D", 3));
  return p;
}

INSTANTIATE_TEST_SUITE_P(Before, FalseStart,
                         ::testing::Values(FalseStartCase{"stray", std::string("\x02$\xF0", 3), kLogComplete},
                                           FalseStartCase{"corrupt_packet", CorruptWithStart(), kLogCompleteWithLosses},
                                           FalseStartCase{"short_stray", std::string("ab\x02$\x30\xA1", 6),
                                                          kLogComplete}),
                         [](const auto& info) { return std::string(info.param.name); });

// Only a count line or records, received or damaged, move a download on; the time-out counts from them.
struct ProgressCase {
  const char* name;
  std::string bytes;
  bool progress;
};

class ProgressRule : public Receiver, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(ProgressRule, OnlyCountLineAndRecordsCount) {
  Events e;
  LogStreamReceiver r(e, raw_.string());
  Feed(r, "dataCount=50\r\n===\r\n");
  ASSERT_TRUE(r.TakeProgress());  // the count line
  Feed(r, GetParam().bytes);
  EXPECT_EQ(r.TakeProgress(), GetParam().progress);
  EXPECT_EQ(e.code, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Packets, ProgressRule,
    ::testing::Values(ProgressCase{"records", Packet(2, 1), true},
                      ProgressCase{"empty_packets", Packet(0, 0) + Packet(0, 1) + Packet(0, 2), false},
                      ProgressCase{"bad_check", Packet(2, 1, false), true},
                      ProgressCase{"other_type", Packet(2, 1, true, 0xB2), false},
                      ProgressCase{"text", "status line\r\n", false}),
    [](const auto& info) { return std::string(info.param.name); });

// Whole downloads from the simulated tracker over a real pty.
struct DownloadCase {
  const char* name;
  sim::Options sim;
  int code;
  int kept;            // records the download gives, -1: the whole log, which temp.log then equals
  bool rawWritten;     // temp.log was replaced
  std::string detail;  // what the user is told beside the end code's message
};

// Everything in `dir` but the names given: a temporary file left behind.
std::vector<std::string> Leftovers(const fs::path& dir, std::vector<std::string> expected = {"temp.log"}) {
  std::vector<std::string> extra;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (std::find(expected.begin(), expected.end(), name) == expected.end()) extra.push_back(name);
  }
  return extra;
}

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
  ASSERT_TRUE(download.Start(test::Opened(s.SlavePath())).ok());
  EXPECT_EQ(e.Wait(60s), c.code);
  download.Stop();
  EXPECT_FALSE(download.Running());
  EXPECT_EQ(download.EndDetail(), c.detail);
  const auto records = download.Records();
  if (c.kept < 0) {
    EXPECT_EQ(records, s.LogBytes());
    EXPECT_EQ(ReadFile(options.rawPath), s.LogBytes());
  } else {
    EXPECT_EQ(records.size(), 20u * c.kept);
    // An unfinished download leaves nothing: no partial raw file, no temporary file.
    if (c.rawWritten) {
      EXPECT_EQ(ReadFile(options.rawPath), records);
    } else {
      EXPECT_FALSE(fs::exists(options.rawPath));
    }
  }
  EXPECT_EQ(Leftovers(dir), std::vector<std::string>{});
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
    ::testing::Values(
        DownloadCase{"normal", Sim(5000), kLogComplete, -1, true, ""},
        DownloadCase{"noise", Sim(700, [](auto& o) { o.noise = true; }), kLogComplete, -1, true, ""},
        DownloadCase{"fragment", Sim(700, [](auto& o) { o.fragment = true; }), kLogComplete, -1, true, ""},
        // A pause of 0.4 s after byte 245 of every full packet.
        DownloadCase{"pause_in_packet", Sim(100, [](auto& o) { o.pauseInPacket = 245; }), kLogComplete, -1, true,
                     ""},
        DownloadCase{"empty", Sim(0), kLogNoData, 0, false, ""},
        // 50 packets, every 4th damaged: 12 of them, 144 records lost, the rest kept.
        DownloadCase{"badcheck", Sim(600, [](auto& o) { o.badCheckEvery = 4; }), kLogCompleteWithLosses, 456, true,
                     "144 records of 600 came in damaged packets and were left out."},
        DownloadCase{"stall", Sim(600, [](auto& o) { o.stallAfterRecords = 300; }), kLogTimedOut, 300, false,
                     "The tracker went silent before the count it announced was reached: 300 of 600 records "
                     "arrived."},
        DownloadCase{"count_too_large", Sim(600, [](auto& o) { o.countOffset = 40; }), kLogTimedOut, 600, false,
                     "The tracker stopped sending records before the count it announced was reached: 600 of 640 "
                     "records arrived."},
        DownloadCase{"count_too_small", Sim(600, [](auto& o) { o.countOffset = -100; }), kLogComplete, -1, true,
                     "600 records arrived, more than the 500 the tracker announced; all were kept."}),
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
  ASSERT_TRUE(download.Start(test::Opened(s.SlavePath())).ok());
  std::this_thread::sleep_for(1000ms);
  s.Stop();
  EXPECT_EQ(e.Wait(10s), kLogAborted);
  download.Stop();
  EXPECT_FALSE(fs::exists(raw)) << "a partial raw file was left";
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
  ASSERT_TRUE(download.Start(test::Opened(s.SlavePath())).ok());
  std::this_thread::sleep_for(500ms);
  download.Cancel();
  EXPECT_EQ(e.Wait(10s), kLogAborted);
  download.Stop();
  EXPECT_TRUE(OpenComPort(s.SlavePath()).ok());
  fs::remove(raw);
}

// What lies at temp.log before a download: the download writes a new file in
// its place when it completes and never opens the old one, so a link's target
// is never written and a pipe never blocks it.
struct InPlaceCase {
  const char* name;
  std::function<void(const fs::path& raw, const fs::path& victim)> make;
  int stallAfter;  // -1: the download completes
};

class RawFileInPlace : public ::testing::TestWithParam<InPlaceCase> {};

TEST_P(RawFileInPlace, IsReplacedOnlyByACompleteDownload) {
  const auto& c = GetParam();
  fs::path dir = fs::temp_directory_path() / ("zd573-inplace-" + std::to_string(::getpid()) + "-" + c.name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path raw = dir / "temp.log";
  const fs::path victim = dir / "victim";
  std::ofstream(victim) << "precious";
  c.make(raw, victim);
  const auto before = fs::symlink_status(raw).type();

  sim::Simulator s(Sim(100, [&](auto& o) { o.stallAfterRecords = c.stallAfter; }));
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  Events e;
  LogDownloadOptions options;
  options.rawPath = raw.string();
  options.stallLimit = 1s;
  LogDownload download(e, options);
  ASSERT_TRUE(download.Start(test::Opened(s.SlavePath())).ok());
  const int code = e.Wait(30s);
  download.Stop();

  auto bytes = ReadFile(victim);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "precious");
  if (c.stallAfter < 0) {
    EXPECT_EQ(code, kLogComplete);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(raw)));
    EXPECT_EQ(ReadFile(raw), s.LogBytes());
  } else {
    EXPECT_EQ(code, kLogTimedOut);
    EXPECT_EQ(fs::symlink_status(raw).type(), before);
  }
  EXPECT_EQ(Leftovers(dir, {"temp.log", "victim"}), std::vector<std::string>{});
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RawFileInPlace,
    ::testing::Values(
        InPlaceCase{"link", [](const fs::path& raw, const fs::path& victim) { fs::create_symlink(victim, raw); }, -1},
        InPlaceCase{"link_stalled",
                    [](const fs::path& raw, const fs::path& victim) { fs::create_symlink(victim, raw); }, 50},
        InPlaceCase{"dangling_link",
                    [](const fs::path& raw, const fs::path& victim) { fs::create_symlink(victim.string() + "2", raw); },
                    -1},
        InPlaceCase{"pipe", [](const fs::path& raw, const fs::path&) { ::mkfifo(raw.c_str(), 0600); }, -1},
        InPlaceCase{"old_file_stalled",
                    [](const fs::path& raw, const fs::path&) { std::ofstream(raw) << "old records"; }, 50}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RawFile, FolderInItsPlaceFailsAtTheCountLine) {
  fs::path dir = fs::temp_directory_path() / ("zd573-dirraw-" + std::to_string(::getpid()));
  fs::create_directories(dir / "temp.log");
  sim::Simulator s(Sim(100));
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  Events e;
  LogDownloadOptions options;
  options.rawPath = (dir / "temp.log").string();
  LogDownload download(e, options);
  ASSERT_TRUE(download.Start(test::Opened(s.SlavePath())).ok());
  EXPECT_EQ(e.Wait(30s), kLogFileFailed);
  download.Stop();
  EXPECT_EQ(download.EndDetail(), "Cannot create " + options.rawPath + ": Is a directory");
  EXPECT_EQ(Leftovers(dir), std::vector<std::string>{});
  fs::remove_all(dir);
}

// A disk that fills up mid-download (here: the file size limit) ends with the
// system's reason, and the partial file does not stay to fill the disk.
TEST(RawFile, FullDiskEndsWithTheReasonAndRemovesThePartialFile) {
  fs::path dir = fs::temp_directory_path() / ("zd573-full-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "temp.log") << "old records";
  sim::Simulator s(Sim(600));
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  Events e;
  LogDownloadOptions options;
  options.rawPath = (dir / "temp.log").string();
  LogDownload download(e, options);
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 5000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  ASSERT_TRUE(download.Start(test::Opened(s.SlavePath())).ok());
  const int code = e.Wait(30s);
  download.Stop();
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(code, kLogFileFailed);
  EXPECT_EQ(download.EndDetail(), "Cannot write " + options.rawPath + ": File too large");
  auto bytes = ReadFile(dir / "temp.log");
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old records");
  EXPECT_EQ(Leftovers(dir), std::vector<std::string>{});
  fs::remove_all(dir);
}

// A tracker that keeps sending packets without records is stalled all the same.
TEST(DownloadStall, EmptyPacketsTimeOut) {
  test::PtyPeer peer;
  Events e;
  LogDownloadOptions options;
  fs::path dir = fs::temp_directory_path() / ("zd573-emptypk-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  options.rawPath = (dir / "temp.log").string();
  options.stallLimit = 1000ms;
  LogDownload download(e, options);
  ASSERT_TRUE(download.Start(test::Opened(peer.Path())).ok());
  const auto start = std::chrono::steady_clock::now();
  peer.Send("dataCount=5\r\n===\r\n" + Packet(2, 1));
  std::atomic<bool> done{false};
  std::thread sender([&] {
    for (int i = 0; i < 500 && !done; ++i) {
      peer.Send(Packet(0, i));
      std::this_thread::sleep_for(20ms);
    }
  });
  const int code = e.Wait(8s);
  done = true;
  sender.join();
  download.Stop();
  EXPECT_EQ(code, kLogTimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1000ms);
  EXPECT_EQ(download.EndDetail(),
            "The tracker stopped sending records before the count it announced was reached: 2 of 5 records arrived.");
  EXPECT_EQ(Leftovers(dir, {}), std::vector<std::string>{});
  fs::remove_all(dir);
}

// A line that takes nothing holds the writer only until it is told to stop,
// not for the whole write time-out.
TEST(StuckLine, AWriteEndsOnAStopRequest) {
  test::PtyPeer peer;
  auto port = OpenComPort(peer.Path());
  ASSERT_TRUE(port.ok());
  peer.HoldLine();
  std::stop_source stop;
  std::jthread stopper([&] {
    std::this_thread::sleep_for(300ms);
    stop.request_stop();
  });
  Status written = port.value()->Write("LB\r\n", stop.get_token());
  ASSERT_FALSE(written.ok());
  EXPECT_EQ(written.code(), ErrorCode::Stopped) << written.error();
  port.value()->Close();
}

// The request is sent by the reader; a line that fails it ends the download
// with the request's own message and reason.
TEST(StuckLine, ARequestThatCannotBeSentEndsTheDownload) {
  test::PtyPeer peer;
  peer.HoldLine();
  fs::path raw = fs::temp_directory_path() / ("zd573-request-" + std::to_string(::getpid()) + ".log");
  Events e;
  LogDownloadOptions options;
  options.rawPath = raw.string();
  LogDownload download(e, options);
  ASSERT_TRUE(download.Start(test::Opened(peer.Path())).ok());
  std::this_thread::sleep_for(300ms);  // the request is waiting for the line now
  peer.HangUp();
  EXPECT_EQ(e.Wait(10s), kLogRequestFailed);
  download.Stop();
  auto failure = download.RequestFailure();
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->kind, MessageKind::DownloadRequestFailed);
  EXPECT_EQ(failure->code, ErrorCode::Disconnected) << failure->detail;
  EXPECT_FALSE(fs::exists(raw));
}

}  // namespace
}  // namespace zd573
