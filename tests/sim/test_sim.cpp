// The simulated tracker, driven the way the program drives a real one: plain
// POSIX calls on the slave end of its pty. Replies and packets are decoded here
// with code of the test's own.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "log_gen.h"
#include "simulator.h"

namespace {

using namespace std::chrono_literals;
using zd573::sim::Options;
using zd573::sim::Simulator;
using Clock = std::chrono::steady_clock;

const std::string kQuery = "KVC,KestrovinZD-573,";
const std::string kSet = "KVS,KestrovinZD-573,";
const std::string kEnd = "*QQ!\r\n";

class Port {
 public:
  explicit Port(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    ::tcsetattr(fd_, TCSANOW, &tio);
    ::tcflush(fd_, TCIOFLUSH);
  }
  ~Port() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void Write(const std::string& s) const { ASSERT_EQ(::write(fd_, s.data(), s.size()), static_cast<ssize_t>(s.size())); }
  // Collects bytes until `done` holds or the time is up.
  std::string ReadUntil(const std::function<bool(const std::string&)>& done, int timeoutMs) const {
    std::string got;
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(got) && Clock::now() < end) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
        char buf[4096];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
      }
    }
    return got;
  }
  std::string ReadFor(int ms) const {
    return ReadUntil([](const std::string&) { return false; }, ms);
  }

 private:
  int fd_ = -1;
};

std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> out;
  std::istringstream in(s);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Every KEY=value of every reply line in `s`, in arrival order.
std::vector<std::pair<std::string, std::string>> ReplyPairs(const std::string& s, int* replies = nullptr) {
  std::vector<std::pair<std::string, std::string>> pairs;
  if (replies) *replies = 0;
  for (const std::string& line : Lines(s)) {
    size_t start = line.find("KVs,");
    size_t end = line.find("*QQ!\r");
    if (start == std::string::npos || end == std::string::npos) continue;
    if (replies) ++*replies;
    std::istringstream fields(line.substr(start + 4, end - start - 4));
    for (std::string f; std::getline(fields, f, ',');) pairs.emplace_back(f.substr(0, f.find('=')), f.substr(f.find('=') + 1));
  }
  return pairs;
}

struct Stream {
  long count = -1;
  bool marker = false;
  std::string records;           // payloads of packets with a good check byte
  std::vector<int> recordsPer;   // per packet
  std::vector<bool> checkOk;     // per packet
  std::vector<int> seq;
  size_t tail = 0;               // bytes after the last packet
};

Stream ParseStream(const std::string& s) {
  Stream st;
  size_t c = s.find("dataCount=");
  if (c == std::string::npos) return st;
  size_t eol = s.find("\r\n", c);
  if (eol == std::string::npos) return st;
  st.count = std::stol(s.substr(c + 10, eol - c - 10));
  size_t m = s.find("===\r\n", eol);
  st.marker = m != std::string::npos;
  if (!st.marker) {
    st.tail = s.size() - eol - 2;
    return st;
  }
  size_t i = m + 5, lastEnd = i;
  while (i + 8 <= s.size()) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
    size_t len = b(2);
    if (b(0) != 0x02 || b(1) != '$' || len < 8 || i + len > s.size() || b(len - 1) != '!' || b(3) != 0xA1) {
      ++i;
      continue;
    }
    unsigned char x = 0;
    for (size_t k = 2; k + 2 < len; ++k) x ^= b(k);
    st.checkOk.push_back(x == b(len - 2));
    st.recordsPer.push_back(static_cast<int>((len - 8) / 20));
    st.seq.push_back(b(4) * 256 + b(5));
    if (x == b(len - 2)) st.records += s.substr(i + 6, len - 8);
    i += len;
    lastEnd = i;
  }
  st.tail = s.size() - lastEnd;
  return st;
}

std::string Bytes(const std::vector<std::uint8_t>& v) { return {v.begin(), v.end()}; }

bool StreamDone(const std::string& s, size_t wantRecords) {
  Stream st = ParseStream(s);
  return st.count == 0 || (st.marker && st.records.size() >= wantRecords * 20);
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/test_sim.XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A started simulator with quiet defaults: no status lines unless asked.
struct Running {
  explicit Running(Options o) : sim(std::move(o)) {
    std::string error;
    started = sim.Start(&error);
    EXPECT_TRUE(started) << error;
  }
  Simulator sim;
  bool started = false;
};

Options Quiet() {
  Options o;
  o.lineMs = 0;
  return o;
}

// ---------------------------------------------------------------------------

struct QueryCase {
  std::string list;
  std::vector<std::string> answered;
};

void PrintTo(const QueryCase& c, std::ostream* os) { *os << "L1(" << c.list << ")"; }

class QueryTest : public ::testing::TestWithParam<QueryCase> {};

TEST_P(QueryTest, AnswersEveryKnownKeyAsked) {
  Running r(Quiet());
  Port port(r.sim.SlavePath());
  ASSERT_TRUE(port.ok());
  port.Write(kQuery + "L1(" + GetParam().list + ")" + kEnd);
  std::string got = port.ReadUntil([](const std::string& s) { return s.find("*QQ!\r\n") != std::string::npos; }, 2000);
  auto pairs = ReplyPairs(got);
  ASSERT_EQ(pairs.size(), GetParam().answered.size()) << got;
  for (size_t i = 0; i < pairs.size(); ++i) {
    EXPECT_EQ(pairs[i].first, GetParam().answered[i]);
    EXPECT_EQ(pairs[i].second, r.sim.Value(pairs[i].first));
  }
  EXPECT_EQ(got.substr(0, 4), "KVs,");
}

INSTANTIATE_TEST_SUITE_P(Lists, QueryTest,
                         ::testing::Values(QueryCase{"B2,OU", {"B2", "OU"}},
                                           QueryCase{"B0,B1,F4,F5,F6,", {"B0", "B1", "F4", "F5", "F6"}},
                                           QueryCase{"Va,VA,Vt,VT", {"Va", "VA", "Vt", "VT"}},
                                           QueryCase{"OZ,ZZ,E1", {"OZ", "E1"}}));

TEST(Defaults, AreThoseOfAFreshTracker) {
  Simulator sim(Quiet());
  const std::string imei = sim.Value("B2");
  EXPECT_EQ(imei, "356895037533210");
  EXPECT_EQ(sim.Value("OU"), "4071");
  EXPECT_EQ(sim.Value("OZ"), "10");
  EXPECT_EQ(sim.Value("F4"), "mm-dd-yy");
  EXPECT_EQ(sim.Value("O6"), "28800");
  EXPECT_EQ(sim.Value("E1"), "8080");
  EXPECT_EQ(sim.Value("D2"), "");
  EXPECT_EQ(sim.Value("ZZ"), "");
}

struct BadCase {
  const char* name;
  std::string sentence;
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

class MalformedTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(MalformedTest, IsJournaledAndChangesNothing) {
  Running r(Quiet());
  Port port(r.sim.SlavePath());
  const std::string bad = GetParam().sentence;
  const std::string good = kQuery + "L1(B1)" + kEnd;
  port.Write(bad);
  port.Write(good);
  std::string got = port.ReadUntil([](const std::string& s) { return s.find("*QQ!\r\n") != std::string::npos; }, 2000);
  auto pairs = ReplyPairs(got);
  ASSERT_EQ(pairs.size(), 1u) << got;
  EXPECT_EQ(pairs[0].first, "B1");
  EXPECT_EQ(r.sim.Value("OU"), "4071");
  ASSERT_TRUE(r.sim.WaitForSentences(2, 2000));
  auto journal = r.sim.Journal();
  EXPECT_EQ(journal[0].bytes + journal[1].bytes, bad + good);
}

INSTANTIATE_TEST_SUITE_P(
    Sentences, MalformedTest,
    ::testing::Values(BadCase{"TrailingComma", kSet + "3,0,OU=9999,*QQ!\r\n"},
                      BadCase{"NoCarriageReturn", kSet + "3,0,OU=9999*QQ!\n"},
                      BadCase{"NoTerminator", kSet + "3,0,OU=9999\r\n"},
                      BadCase{"WrongToken", "KVS,KestrovinZD-574,3,0,OU=9999*QQ!\r\n"},
                      BadCase{"BadPartKind", kSet + "7,0,OU=9999*QQ!\r\n"},
                      BadCase{"FieldWithoutEquals", kSet + "3,0,OU9999*QQ!\r\n"},
                      BadCase{"QueryWithoutParenthesis", kQuery + "L1(OU" + kEnd},
                      BadCase{"BinaryGarbage", std::string("\x01\xff\x02$x\r\n", 7)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SetSentence, ChangesStateAndIsJournaledInOrder) {
  TempDir dir;
  Options o = Quiet();
  o.journalPath = dir / "journal.txt";
  Running r(o);
  Port port(r.sim.SlavePath());
  const std::string first = kSet + "1,0,D1=apn.example,D2=,D3=a=b*QQ!\r\n";
  const std::string second = kSet + "2,1,O2=30,OX=0*QQ!\r\n";
  port.Write(first);
  ASSERT_TRUE(r.sim.WaitForSentences(1, 2000));
  std::this_thread::sleep_for(150ms);
  port.Write(second);
  ASSERT_TRUE(r.sim.WaitForSentences(2, 2000));

  EXPECT_EQ(r.sim.Value("D1"), "apn.example");
  EXPECT_EQ(r.sim.Value("D2"), "");
  EXPECT_EQ(r.sim.Value("D3"), "a=b");
  EXPECT_EQ(r.sim.Value("O2"), "30");
  EXPECT_EQ(r.sim.Value("OX"), "0");
  auto journal = r.sim.Journal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[0].bytes, first);
  EXPECT_EQ(journal[1].bytes, second);
  EXPECT_GE(journal[0].ms, 0);
  EXPECT_GE(journal[1].ms - journal[0].ms, 150);

  r.sim.Stop();
  auto lines = Lines(ReadFile(o.journalPath));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::to_string(journal[0].ms) + " KVS,KestrovinZD-573,1,0,D1=apn.example,D2=,D3=a=b*QQ!\\r\\n");
  EXPECT_EQ(lines[1], std::to_string(journal[1].ms) + " KVS,KestrovinZD-573,2,1,O2=30,OX=0*QQ!\\r\\n");
}

TEST(Journal, EscapesBytesAndKeepsALineWithoutLineFeed) {
  TempDir dir;
  Options o = Quiet();
  o.journalPath = dir / "journal.txt";
  Running r(o);
  Port port(r.sim.SlavePath());
  port.Write(std::string("a\\b\x01\xfe\r", 6));
  ASSERT_TRUE(r.sim.WaitForSentences(1, 3000));
  EXPECT_EQ(r.sim.Journal()[0].bytes, std::string("a\\b\x01\xfe\r", 6));
  r.sim.Stop();
  std::string line = ReadFile(o.journalPath);
  EXPECT_EQ(line.substr(line.find(' ')), " a\\\\b\\x01\\xFE\\r\n");
}

TEST(State, IsSavedOnChangeAndLoadedAtStart) {
  TempDir dir;
  Options o = Quiet();
  o.statePath = dir / "state.ini";
  {
    Running r(o);
    std::string fresh = ReadFile(o.statePath);
    EXPECT_EQ(fresh.substr(0, 9), "[DEVICE]\n");
    EXPECT_EQ(Lines(fresh).size(), 86u);
    Port port(r.sim.SlavePath());
    port.Write(kSet + "3,0,OU=5555*QQ!\r\n");
    ASSERT_TRUE(r.sim.WaitForSentences(1, 2000));
    EXPECT_NE(ReadFile(o.statePath).find("\nOU=5555\n"), std::string::npos);
    r.sim.SetValue("B1", " C:\\x y ");
    r.sim.SetValue("NO", "ignored");
  }
  Running again(o);
  EXPECT_EQ(again.sim.Value("OU"), "5555");
  EXPECT_EQ(again.sim.Value("B1"), " C:\\x y ");
  EXPECT_EQ(again.sim.Value("B2"), "356895037533210");
}

TEST(State, BadFileIsRefusedAndLeftAlone) {
  TempDir dir;
  Options o = Quiet();
  o.statePath = dir / "state.ini";
  const std::string text = "[DEVICE]\nOU=1\nQQ=2\n";
  std::ofstream(o.statePath) << text;
  Simulator sim(o);
  std::string error;
  EXPECT_FALSE(sim.Start(&error));
  EXPECT_NE(error.find(":3:"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(o.statePath), text);
}

struct StreamCase {
  const char* name;
  int records;
  bool fragment;
  bool noise;
  int baud;
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class LogStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(LogStreamTest, ParsesIntoExactlyTheLog) {
  const StreamCase& c = GetParam();
  Options o = Quiet();
  o.records = c.records;
  o.fragment = c.fragment;
  o.noise = c.noise;
  o.baud = c.baud;
  o.seed = 7;
  Running r(o);
  Port port(r.sim.SlavePath());
  auto start = Clock::now();
  port.Write(kQuery + "LB" + kEnd);
  std::string got = port.ReadUntil([&](const std::string& s) { return StreamDone(s, static_cast<size_t>(c.records)); }, 5000);
  auto elapsed = Clock::now() - start;
  got += port.ReadFor(100);

  Stream st = ParseStream(got);
  EXPECT_EQ(st.count, c.records);
  EXPECT_EQ(st.records, Bytes(r.sim.LogBytes()));
  EXPECT_EQ(r.sim.LogBytes().size(), static_cast<size_t>(c.records) * 20);
  EXPECT_EQ(st.tail, 0u) << "bytes after the stream";
  for (size_t i = 0; i < st.checkOk.size(); ++i) {
    EXPECT_TRUE(st.checkOk[i]) << "packet " << i;
    EXPECT_EQ(st.seq[i], static_cast<int>(i));
    EXPECT_EQ(st.recordsPer[i], std::min(12, c.records - 12 * static_cast<int>(i)));
  }
  if (c.records == 0) {
    EXPECT_FALSE(st.marker);
    EXPECT_EQ(got.substr(got.size() - 13), "dataCount=0\r\n");
  }
  if (c.baud > 0) {
    // 11520 bytes per second at most.
    EXPECT_GE(elapsed, std::chrono::microseconds(static_cast<long long>(got.size() - 300) * 1'000'000 / (c.baud / 10)));
  }
}

INSTANTIATE_TEST_SUITE_P(Logs, LogStreamTest,
                         ::testing::Values(StreamCase{"Empty", 0, false, false, 0},
                                           StreamCase{"OneRecord", 1, false, false, 0},
                                           StreamCase{"WholePackets", 24, false, false, 0},
                                           StreamCase{"PartialLastPacket", 30, false, false, 0},
                                           StreamCase{"Fragmented", 30, true, false, 0},
                                           StreamCase{"Noisy", 60, false, true, 0},
                                           StreamCase{"LineRate", 60, false, false, 115200}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LogStream, BadCheckEveryCorruptsExactlyThoseTheOptionNames) {
  Options o = Quiet();
  o.records = 60;
  o.badCheckEvery = 2;
  Running r(o);
  Port port(r.sim.SlavePath());
  port.Write(kQuery + "LB" + kEnd);
  std::string got = port.ReadUntil([](const std::string& s) { return ParseStream(s).checkOk.size() >= 5; }, 5000);
  Stream st = ParseStream(got);
  EXPECT_EQ(st.checkOk, (std::vector<bool>{true, false, true, false, true}));
  std::string log = Bytes(r.sim.LogBytes());
  EXPECT_EQ(st.records, log.substr(0, 240) + log.substr(480, 240) + log.substr(960));
}

TEST(LogStream, StallsAfterTheGivenRecordsAndWakesOnTheNextSentence) {
  Options o;
  o.lineMs = 20;
  o.records = 60;
  o.stallAfterRecords = 30;
  Running r(o);
  Port port(r.sim.SlavePath());
  port.Write(kQuery + "LB" + kEnd);
  std::string got = port.ReadUntil([](const std::string& s) { return StreamDone(s, 30); }, 5000);
  got += port.ReadFor(300);
  Stream st = ParseStream(got);
  EXPECT_EQ(st.count, 60);
  EXPECT_EQ(st.records, Bytes(r.sim.LogBytes()).substr(0, 600));
  EXPECT_EQ(st.tail, 0u) << "nothing after the stall, not even a status line";
  port.Write(kQuery + "L1(OU)" + kEnd);
  std::string more = port.ReadUntil([](const std::string& s) { return s.find("KVs,OU=") != std::string::npos; }, 2000);
  EXPECT_NE(more.find("KVs,OU=4071*QQ!\r\n"), std::string::npos);
}

TEST(LogStream, PausesInsideEachPacketAfterTheGivenBytes) {
  Options o = Quiet();
  o.records = 24;  // two full packets of 248 bytes
  o.pauseInPacket = 245;
  o.pauseMs = 1000;
  Running r(o);
  Port port(r.sim.SlavePath());
  port.Write(kQuery + "LB" + kEnd);
  // Up to byte 245 of the first packet, then nothing for the pause.
  auto intoPacket = [](const std::string& s) {
    size_t m = s.find("===\r\n");
    return m == std::string::npos ? 0 : s.size() - m - 5;
  };
  std::string got = port.ReadUntil([&](const std::string& s) { return intoPacket(s) >= 245; }, 5000);
  ASSERT_EQ(intoPacket(got), 245u);
  auto before = Clock::now();
  got += port.ReadUntil([](const std::string& s) { return !s.empty(); }, 5000);
  EXPECT_GE(Clock::now() - before, 500ms);
  got += port.ReadUntil([&](const std::string& s) { return StreamDone(got + s, 24); }, 5000);
  Stream st = ParseStream(got);
  EXPECT_EQ(st.records, Bytes(r.sim.LogBytes()));
  EXPECT_EQ(st.checkOk, (std::vector<bool>{true, true}));
}

TEST(LogFile, IsServedAsLoadedAndARaggedFileIsRefused) {
  TempDir dir;
  const std::string raw(60, '\x5a');
  std::ofstream(dir / "raw.log", std::ios::binary) << raw;
  std::ofstream(dir / "ragged.log", std::ios::binary) << raw << 'x';
  Options o = Quiet();
  o.logPath = dir / "raw.log";
  Running r(o);
  EXPECT_EQ(Bytes(r.sim.LogBytes()), raw);

  o.logPath = dir / "ragged.log";
  Simulator bad(o);
  std::string error;
  EXPECT_FALSE(bad.Start(&error));
  EXPECT_NE(error.find("61 bytes"), std::string::npos) << error;
}

TEST(Commands, EraseEmptiesTheLogAndMelodyIsRemembered) {
  Options o = Quiet();
  o.records = 5;
  Running r(o);
  Port port(r.sim.SlavePath());
  port.Write(kQuery + "LC" + kEnd);
  port.Write(kQuery + "LL(7)" + kEnd);
  port.Write(kQuery + "LB" + kEnd);
  std::string got = port.ReadUntil([](const std::string& s) { return StreamDone(s, 0); }, 2000);
  EXPECT_EQ(ParseStream(got).count, 0);
  EXPECT_EQ(r.sim.ClearCount(), 1);
  EXPECT_TRUE(r.sim.LogBytes().empty());
  EXPECT_EQ(r.sim.LastMelody(), 7);
  port.Write(kQuery + "LL(0)" + kEnd);
  ASSERT_TRUE(r.sim.WaitForSentences(4, 2000));
  EXPECT_EQ(r.sim.LastMelody(), 0);
}

TEST(SplitReplies, StillDeliverEveryKeyBetweenStatusLines) {
  Options o = Quiet();
  o.splitReplies = true;
  Running r(o);
  Port port(r.sim.SlavePath());
  const std::vector<std::string> keys = {"B0", "B1", "F4", "F5", "F6", "F7", "O6", "Va", "Vb", "Vc"};
  std::string list;
  for (const auto& k : keys) list += k + ",";
  port.Write(kQuery + "L1(" + list + ")" + kEnd);
  int replies = 0;
  std::string got = port.ReadUntil([&](const std::string& s) { return ReplyPairs(s).size() >= keys.size(); }, 2000);
  auto pairs = ReplyPairs(got, &replies);
  ASSERT_EQ(pairs.size(), keys.size());
  for (size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(pairs[i], std::make_pair(keys[i], r.sim.Value(keys[i])));
  EXPECT_GE(replies, 4);
  EXPECT_NE(got.find("\r\n$GP"), std::string::npos);
}

TEST(Silent, SendsNothingButStillListens) {
  Options o;
  o.lineMs = 10;
  o.silent = true;
  Running r(o);
  Port port(r.sim.SlavePath());
  port.Write(kQuery + "L1(B2,OU)" + kEnd);
  port.Write(kQuery + "LB" + kEnd);
  EXPECT_EQ(port.ReadFor(300), "");
  EXPECT_EQ(r.sim.Journal().size(), 2u);
}

TEST(StatusLines, ComeOnTheirOwnWithValidChecksums) {
  Options o;
  o.lineMs = 10;
  Running r(o);
  Port port(r.sim.SlavePath());
  std::string got = port.ReadUntil([](const std::string& s) { return Lines(s).size() >= 6; }, 3000);
  auto lines = Lines(got);
  ASSERT_GE(lines.size(), 6u);
  lines.pop_back();  // may be cut short
  for (const std::string& line : lines) {
    ASSERT_GE(line.size(), 7u);
    EXPECT_EQ(line.substr(0, 3), "$GP");
    EXPECT_EQ(line.back(), '\r');
    EXPECT_EQ(line.find("KVs"), std::string::npos);
    unsigned char sum = 0;
    size_t star = line.rfind('*');
    for (size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(line[i]);
    EXPECT_EQ(std::stoi(line.substr(star + 1, 2), nullptr, 16), sum) << line;
  }
}

TEST(Pty, SurvivesTheProgramsClosesAndHangsUpOnStop) {
  Running r(Quiet());
  { Port first(r.sim.SlavePath()); }
  Port port(r.sim.SlavePath());
  ASSERT_TRUE(port.ok());
  port.Write(kQuery + "L1(OU)" + kEnd);
  EXPECT_NE(port.ReadUntil([](const std::string& s) { return s.find('\n') != std::string::npos; }, 2000).find("OU=4071"),
            std::string::npos);
  r.sim.Stop();
  pollfd p{port.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 2000), 1);
  EXPECT_TRUE(p.revents & POLLHUP);
  char c;
  EXPECT_LE(::read(port.fd(), &c, 1), 0);
}

TEST(Pty, AnExclusiveOpenDoesNotOutliveItsClose) {
  Running r(Quiet());
  const std::string path = r.sim.SlavePath();
  {
    Port port(path);
    ASSERT_EQ(::ioctl(port.fd(), TIOCEXCL), 0);
  }
  std::this_thread::sleep_for(100ms);
  // Root may open an exclusive tty anyway, so try as an ordinary user.
  if (::geteuid() == 0) {
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  }
  pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    ::_exit(fd >= 0 ? 0 : errno == EBUSY ? 1 : 2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1 = EBUSY, 2 = other open error, 3 = cannot drop root";
}

TEST(GeneratedLog, IsAPlausibleRepeatableTrack) {
  auto log = zd573::sim::GenerateLog(200, 3);
  ASSERT_EQ(log.size(), 4000u);
  EXPECT_EQ(log, zd573::sim::GenerateLog(200, 3));
  EXPECT_NE(log, zd573::sim::GenerateLog(200, 4));
  auto u32 = [&](size_t at) { return log[at] | log[at + 1] << 8 | log[at + 2] << 16 | static_cast<std::uint32_t>(log[at + 3]) << 24; };
  std::map<int, int> fixCodes;
  for (size_t r = 0; r < 200; ++r) {
    if (r > 0) {
      EXPECT_GT(u32(r * 20), u32(r * 20 - 20));
    }
    auto lat = static_cast<std::int32_t>(u32(r * 20 + 4));
    EXPECT_TRUE(lat > 47'000'000 && lat < 48'000'000) << lat;
    ++fixCodes[log[r * 20 + 16] >> 6];
  }
  EXPECT_GT(fixCodes[0], 0);
  EXPECT_GT(fixCodes[1] + fixCodes[2] + fixCodes[3], 150);
}

// The thin program: path on the first line, link, clean exit on SIGTERM.
TEST(Program, PrintsThePathServesAndExitsCleanlyOnSigterm) {
  TempDir dir;
  const std::string link = dir / "tracker";
  const std::string state = dir / "state.ini";
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  pid_t child = ::fork();
  if (child == 0) {
    ::dup2(out[1], 1);
    ::execl(ZD573_SIM_EXE, "zd573-sim", "--line-ms", "0", "--state", state.c_str(), "--link", link.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  std::string first;
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') first += c;
  ::close(out[0]);
  EXPECT_EQ(first.substr(0, 9), "/dev/pts/");
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), first);
  {
    Port port(link);
    port.Write(kSet + "3,0,OU=2468*QQ!\r\n");
    port.Write(kQuery + "L1(OU)" + kEnd);
    EXPECT_NE(port.ReadUntil([](const std::string& s) { return s.find('\n') != std::string::npos; }, 2000).find("OU=2468"),
              std::string::npos);
  }
  ::kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_NE(ReadFile(state).find("\nOU=2468\n"), std::string::npos);
}

TEST(Program, WritesALogAndRefusesContradictoryOptions) {
  TempDir dir;
  const std::string log = dir / "raw.log";
  const std::string cmd = std::string(ZD573_SIM_EXE) + " --write-log " + log + " --records 25 --seed 9";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(ReadFile(log), Bytes(zd573::sim::GenerateLog(25, 9)));
  const std::string both = std::string(ZD573_SIM_EXE) + " --log " + log + " --records 3 2>/dev/null";
  int status = std::system(both.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
  // A packet is at most 255 bytes long.
  const std::string pause = std::string(ZD573_SIM_EXE) + " --pause-in-packet 256 2>/dev/null";
  status = std::system(pause.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
}

}  // namespace
