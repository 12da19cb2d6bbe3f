// The serial link against the simulated tracker over a real pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "device/device_port.h"
#include "device/sentences.h"
#include "device/transactions.h"
#include "journal_timing.h"
#include "simulator.h"

namespace zd573 {
namespace {
using namespace std::chrono_literals;

std::string ReadFor(DevicePort& port, std::chrono::milliseconds span) {
  std::string got;
  auto end = std::chrono::steady_clock::now() + span;
  std::uint8_t buf[64];
  while (std::chrono::steady_clock::now() < end) {
    int n = port.Read(buf, sizeof buf);
    if (n < 0) break;
    got.append(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n));
  }
  return got;
}

TEST(Link, OpenDiscardsStaleBytesThenCarriesLinesBothWays) {
  sim::Options o;
  o.lineMs = 20;
  sim::Simulator s(o);
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  std::this_thread::sleep_for(1000ms);  // about 50 status lines pile up unread

  auto port = OpenComPort(s.SlavePath());
  ASSERT_TRUE(port.ok()) << port.error();
  std::string fresh = ReadFor(**port, 30ms);
  EXPECT_LT(fresh.size(), 300u) << "stale lines were not discarded on open";
  std::string later = ReadFor(**port, 300ms);
  EXPECT_NE(later.find("\r\n"), std::string::npos);  // the device keeps talking

  const std::string sentence = *BuildGprsSentence({"internet", "", "", "8.8.8.8", ""});
  ASSERT_TRUE((*port)->Write(sentence).ok());
  ASSERT_TRUE(s.WaitForSentences(1, 2000));
  EXPECT_EQ(s.Journal().at(0).bytes, sentence);
  EXPECT_EQ(s.Value("D1"), "internet");
  EXPECT_EQ(s.Value("D4"), "8.8.8.8");

  ASSERT_TRUE((*port)->Write(BuildKeysQuery({"B2", "OZ"})).ok());
  std::string reply = ReadFor(**port, 500ms);
  EXPECT_NE(reply.find("B2=" + s.Value("B2")), std::string::npos) << reply;
}

TEST(Link, SilentDeviceReadWaitsAtLeast100ms) {
  sim::Options o;
  o.silent = true;
  sim::Simulator s(o);
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  auto port = OpenComPort(s.SlavePath());
  ASSERT_TRUE(port.ok());
  std::uint8_t buf[64];
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ((*port)->Read(buf, sizeof buf), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
}

TEST(Link, PortIsExclusiveAndHangUpIsAFailure) {
  sim::Simulator s({});
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  auto first = OpenComPort(s.SlavePath());
  ASSERT_TRUE(first.ok());
  auto second = OpenComPort(s.SlavePath());
  EXPECT_FALSE(second.ok());
  (*first)->Close();
  EXPECT_TRUE(OpenComPort(s.SlavePath()).ok()) << "closing must release the port";

  auto port = OpenComPort(s.SlavePath());
  ASSERT_TRUE(port.ok());
  s.Stop();
  std::uint8_t buf[64];
  int n = 0;
  for (int i = 0; i < 50 && n >= 0; ++i) n = (*port)->Read(buf, sizeof buf);
  EXPECT_EQ(n, -1);
}

TEST(Link, MissingPortSaysWhy) {
  auto port = OpenComPort("/nonexistent/ttyACM9");
  ASSERT_FALSE(port.ok());
  EXPECT_NE(port.failure().detail.find("No such file"), std::string::npos) << Describe(port.failure());
  EXPECT_EQ(port.code(), ErrorCode::PortOpen);
  EXPECT_EQ(port.error(), "Unable to open COM-port");
}

TEST(Link, PortErrorsSayWhatKindAndWhatToDo) {
  // A port node this user may not open.
  char dir[] = "/tmp/zd573-perm-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string node = std::string(dir) + "/ttyACM0";
  ASSERT_EQ(mkfifo(node.c_str(), 0000), 0);
  auto denied = OpenComPort(node);
  if (geteuid() != 0) {  // root opens anything
    ASSERT_FALSE(denied.ok());
    EXPECT_EQ(denied.code(), ErrorCode::Permission);
  }
  EXPECT_NE(PortAdvice(ErrorCode::Permission).find("dialout"), std::string_view::npos);
  unlink(node.c_str());
  rmdir(dir);
  // A port held by another copy of the program.
  sim::Simulator s({});
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  auto first = OpenComPort(s.SlavePath());
  ASSERT_TRUE(first.ok()) << first.error();
  auto second = OpenComPort(s.SlavePath());
  ASSERT_FALSE(second.ok());
  EXPECT_EQ(second.code(), ErrorCode::Busy);
  EXPECT_NE(PortAdvice(ErrorCode::Busy).find("ModemManager"), std::string_view::npos);
}

// The real port, with the time each write was handed over and returned.
class RecordingPort final : public DevicePort {
 public:
  explicit RecordingPort(DevicePort& port) : port_(port) {}
  struct Call {
    std::chrono::steady_clock::time_point start, end;
  };
  Status Open(const std::string& portName) override { return port_.Open(portName); }
  bool IsOpen() const override { return port_.IsOpen(); }
  int Read(std::uint8_t* buffer, std::size_t max) override { return port_.Read(buffer, max); }
  Status WriteBytes(std::string_view bytes, const std::stop_token& stop) override {
    Call c{std::chrono::steady_clock::now(), {}};
    Status s = port_.Write(bytes, stop);
    c.end = std::chrono::steady_clock::now();
    writes.push_back(c);
    return s;
  }
  void Purge() override { port_.Purge(); }
  void Close() override { port_.Close(); }
  std::vector<Call> writes;

 private:
  DevicePort& port_;
};

TEST(Link, TransactionPausesAtLeastOneSecondAfterEachSentence) {
  sim::Simulator s({});
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  auto port = OpenComPort(s.SlavePath());
  ASSERT_TRUE(port.ok()) << port.error();
  DeviceValues v;
  v.SetNumber("FE", 2);
  auto sentences = BuildPageTransaction(Page::Ring, v);
  ASSERT_TRUE(sentences.ok());
  ASSERT_EQ(sentences->size(), 2u);
  RecordingPort recorder(**port);
  ASSERT_TRUE(WriteTransaction(recorder, *sentences).status.ok());
  const auto done = std::chrono::steady_clock::now();
  // Measured on the program's side, the pause is exact: sleep_for never returns early.
  ASSERT_EQ(recorder.writes.size(), 2u);
  EXPECT_GE(recorder.writes[1].start - recorder.writes[0].end, timing::kSetSentencePause);
  EXPECT_GE(done - recorder.writes[1].end, timing::kSetSentencePause);
  ASSERT_TRUE(s.WaitForSentences(2, 2000));
  EXPECT_EQ(s.Journal()[1].bytes, (*sentences)[1]);
}

// The tracker pulled out in the middle of a page: the result says how many
// sentences reached it rather than "nothing was written".
TEST(Link, AHalfWrittenPageSaysHowFarItGot) {
  sim::Simulator s({});
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  DeviceSettings settings;
  auto port = OpenComPort(s.SlavePath());
  ASSERT_TRUE(port.ok()) << port.error();
  ApplyResult r;
  std::thread apply([&] {
    r = ApplyPageOn(**port, Page::Contacts, settings, DeviceValues{}, {std::chrono::milliseconds(300), {}, {}});
  });
  ASSERT_TRUE(s.WaitForSentences(3, 5000));
  s.Stop();
  apply.join();
  ASSERT_FALSE(r.status.ok());
  EXPECT_TRUE(r.started);
  EXPECT_EQ(r.total, 10);
  EXPECT_GE(r.written, 3);
  EXPECT_LT(r.written, 10);
  EXPECT_NE(r.status.error().find("of 10 sentences"), std::string::npos) << r.status.error();
  EXPECT_NE(r.status.error().find("contacts and messages"), std::string::npos) << r.status.error();
}

TEST(Link, ApplyPageWritesWithTheRealPause) {
  sim::Simulator s({});
  std::string err;
  ASSERT_TRUE(s.Start(&err)) << err;
  DeviceSettings settings;
  DeviceValues v;
  v.SetNumber("FE", 2);
  v.SetNumber("YA", 5);
  auto port = OpenComPort(s.SlavePath());
  ASSERT_TRUE(port.ok()) << port.error();
  ApplyResult r = ApplyPageOn(**port, Page::Ring, settings, v);
  ASSERT_TRUE(r.status.ok()) << r.status.error();
  EXPECT_EQ(r.written, 2);
  EXPECT_EQ(r.stored.Number("YA"), 5);
  auto j = s.Journal();
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0].bytes.rfind("KVS,KestrovinZD-573,1,0,FE=2,", 0), 0u) << j[0].bytes;
  EXPECT_GE(j[1].ms - j[0].ms, test::MinJournalGapMs(timing::kSetSentencePause));
  EXPECT_EQ(s.Value("YA"), "5");
  EXPECT_EQ(settings.Number("FE"), 2);  // the record holds what was sent
}

}  // namespace
}  // namespace zd573
