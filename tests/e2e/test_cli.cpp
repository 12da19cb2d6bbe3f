// The command line end to end against the simulated tracker over a pty.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "device/device_port.h"
#include "device/device_settings.h"
#include "device/profile.h"
#include "device/timing.h"
#include "cli_fixture.h"
#include "journal_timing.h"

namespace zd573 {
namespace {
namespace fs = std::filesystem;
using test::RunProgram;
using test::RunResult;

TEST_F(Cli, ReadPrintsAll85ValuesInTableOrder) {
  StartSim();
  sim_->SetValue("Va", "Mum");
  RunResult r = Zd573({"read", "--password", "4071"});
  ASSERT_EQ(r.rc, 0) << r.err;
  std::string expected;
  std::string secretsShown;
  for (const auto& k : AllKeys()) {
    std::string v = sim_->Value(k.key);
    if (k.kind != FieldKind::Text) v = std::to_string(std::stoi(v));
    secretsShown += std::string(k.key) + "=" + v + "\n";
    // A secret on standard output only says that it is set.
    if (IsSecretKey(k.key) && !v.empty()) v = "(hidden)";
    expected += std::string(k.key) + "=" + v + "\n";
  }
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(Zd573({"read", "--show-secrets", "--password", "4071"}).out, secretsShown);

  RunResult json = Zd573({"read", "--json", "--password", "4071"});
  ASSERT_EQ(json.rc, 0) << json.err;
  EXPECT_NE(json.out.find("\"Va\": \"Mum\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"B2\": \"" + sim_->Value("B2") + "\""), std::string::npos);
}

TEST_F(Cli, PasswordRules) {
  StartSim();
  EXPECT_EQ(Zd573({"read", "--password", "4072"}).rc, 3);
  RunResult none = Zd573({"read"});
  EXPECT_EQ(none.rc, 3);
  EXPECT_NE(none.err.find("--password"), std::string::npos);
  sim_->SetValue("OU", "");
  EXPECT_EQ(Zd573({"read"}).rc, 0);  // no device password: no login needed
}

TEST_F(Cli, IdentifyPrintsImeiAndStoredName) {
  StartSim();
  std::ofstream(dir_ / "system.ini") << "[USERNAME]\n" << sim_->Value("B2") << "=Grandpa's tracker\n";
  RunResult r = Zd573({"identify"});
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.out, "IMEI: " + sim_->Value("B2") + "\nName: Grandpa's tracker\n");
}

struct BadSet {
  std::vector<std::string> args;
  int rc;
  const char* mention;
};

TEST_F(Cli, BadValuesSendNothing) {
  StartSim();
  const std::vector<BadSet> cases = {
      {{"set", "F5=2"}, 5, "F5"},
      {{"set", "O6=46801"}, 5, "O6"},
      {{"set", "E1=8080"}, 5, "E1"},  // read-only
      {{"set", "B2=1"}, 5, "B2"},
      {{"set", "D1=a,b"}, 5, "comma"},
      {{"set", "Va=x*QQ!y"}, 5, "sentence end"},
      {{"set", "OU=1234567890123456"}, 5, "OU"},
      {{"set", "D2=" + std::string(32, 'u')}, 5, "D2"},
      {{"set", "F4=yyyy-mm-dd"}, 5, "F4"},
      {{"set", "H2=70000"}, 5, "H2"},
      {{"set", "O2=abc"}, 5, "(O2) must be a whole number"},  // not O2=1, as a page's empty box would be
      {{"set", "H2=abc"}, 5, "(H2) must be a whole number"},
      {{"set", "OX=1", "O2="}, 5, "(O2) must be a whole number"},
      {{"set", "ZZ=1"}, 5, "ZZ"},
      {{"set", "Vb=\xe4\xb8\xad"}, 5, "Vb"},  // not in the Western code page
      {{"set", "D1=ok", "F5=9"}, 5, "F5"},    // one bad value stops all
      {{"set", "nokey"}, 1, "KEY=VALUE"},
      {{"password", "a=b"}, 5, "equals"},
      {{"melody", "play", "x"}, 5, "melody"},
  };
  for (const auto& c : cases) {
    RunResult r = Zd573(c.args);
    EXPECT_EQ(r.rc, c.rc) << c.args.back() << ": " << r.err;
    EXPECT_NE(r.err.find(c.mention), std::string::npos) << r.err;
  }
  EXPECT_TRUE(sim_->Journal().empty()) << sim_->Journal().front().bytes;
}

TEST_F(Cli, SetWritesWholePagesWithTheRealPause) {
  StartSim();
  sim_->SetValue("D2", "user");
  RunResult r = Zd573({"set", "--password", "4071", "D1=apn.example", "F5=0", "O6=-18000"}, false);
  ASSERT_EQ(r.rc, 0) << r.err;
  auto j = sim_->Journal();
  std::vector<sim::JournalEntry> sets;
  for (const auto& e : j)
    if (e.bytes.rfind("KVS,", 0) == 0) sets.push_back(e);
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].bytes, "KVS,KestrovinZD-573,3,0,F5=0,F7=" + sim_->Value("F7") + ",B0=" + sim_->Value("B0") +
                               ",B1=" + sim_->Value("B1") + ",F6=" + sim_->Value("F6") + ",F4=" +
                               sim_->Value("F4") + ",O6=-18000*QQ!\r\n");
  EXPECT_EQ(sets[1].bytes, "KVS,KestrovinZD-573,3,0,D1=apn.example,D2=user,D3=" + sim_->Value("D3") + ",D4=" +
                               sim_->Value("D4") + ",D5=" + sim_->Value("D5") + "*QQ!\r\n");
  EXPECT_GE(sets[1].ms - sets[0].ms, test::MinJournalGapMs(timing::kSetSentencePause));
}

TEST_F(Cli, BackupRestoreBackupIsIdentical) {
  StartSim();
  sim_->SetValue("Vc", "  Ann Lee ");  // blanks at the ends survive the file
  sim_->SetValue("D3", "\"pw\" x");
  fs::path first = dir_ / "first.ini", second = dir_ / "second.ini";
  RunResult b1 = Zd573({"backup", first.string(), "--password", "4071"});
  ASSERT_EQ(b1.rc, 0) << b1.err;
  // Another tracker state, then restore the file onto it.
  sim_->SetValue("Vc", "changed");
  sim_->SetValue("D3", "");
  sim_->SetValue("XB", "12345");
  sim_->SetValue("OX", "0");
  RunResult rs = Zd573({"restore", first.string(), "--password", "4071"}, false);
  ASSERT_EQ(rs.rc, 0) << rs.err;
  std::vector<sim::JournalEntry> sets;
  for (const auto& e : sim_->Journal())
    if (e.bytes.rfind("KVS,", 0) == 0) sets.push_back(e);
  // Only the pages holding a difference: contacts, GPRS, ringing, logger (10 + 1 + 2 + 1),
  // with the device's full second after each.
  ASSERT_EQ(sets.size(), 14u);
  for (std::size_t i = 1; i < sets.size(); ++i)
    EXPECT_GE(sets[i].ms - sets[i - 1].ms, test::MinJournalGapMs(timing::kSetSentencePause)) << i;
  EXPECT_EQ(sets[0].bytes, "KVS,KestrovinZD-573,1,0,Va=" + sim_->Value("Va") + ",Vb=" + sim_->Value("Vb") + ",Vc=  Ann Lee ,Vd=" +
                               sim_->Value("Vd") + ",Ve=" + sim_->Value("Ve") + "*QQ!\r\n");
  EXPECT_EQ(sets[11].bytes.substr(0, 24), "KVS,KestrovinZD-573,1,0,");  // the ringing pair
  EXPECT_EQ(sets[13].bytes, "KVS,KestrovinZD-573,3,0,O2=" + sim_->Value("O2") + ",OX=1*QQ!\r\n");
  EXPECT_EQ(sim_->Value("Vc"), "  Ann Lee ");
  RunResult b2 = Zd573({"backup", second.string(), "--password", "4071"});
  ASSERT_EQ(b2.rc, 0) << b2.err;
  EXPECT_EQ(test::Slurp(first.string()), test::Slurp(second.string()));
  EXPECT_NE(test::Slurp(first.string()).find("XB="), std::string::npos);
}

TEST_F(Cli, RestoreRefusesABadFileBeforeSending) {
  StartSim();
  fs::path file = dir_ / "backup.ini";
  ASSERT_EQ(Zd573({"backup", file.string(), "--password", "4071"}).rc, 0);
  std::string text = test::Slurp(file.string());
  text.replace(text.find("\nF5="), 5, "\nF5=7");
  std::ofstream(file) << text;
  auto before = sim_->Journal().size();
  RunResult r = Zd573({"restore", file.string(), "--password", "4071"});
  EXPECT_EQ(r.rc, 5);
  EXPECT_EQ(sim_->Journal().size(), before);
  EXPECT_EQ(Zd573({"restore", (dir_ / "missing.ini").string()}).rc, 5);
}

TEST_F(Cli, ValuesTheTrackerWouldNotTakeAreSaidSo) {
  StartSim();
  sim_->SetValue("OX", "0");
  sim_->SetValue("F4", "dd/mm/yy");  // not one of the six, yet the tracker's own
  RunResult r = Zd573({"set", "--password", "4071", "O2=77"});
  EXPECT_EQ(r.rc, 5);
  EXPECT_NE(r.err.find("OX=1"), std::string::npos) << r.err;
  for (const auto& e : sim_->Journal()) EXPECT_NE(e.bytes.rfind("KVS,", 0), 0u) << e.bytes;
  // A backup restores the tracker's own date format.
  fs::path file = dir_ / "backup.ini";
  ASSERT_EQ(Zd573({"backup", file.string(), "--password", "4071"}).rc, 0);
  RunResult rs = Zd573({"restore", file.string(), "--password", "4071"});
  EXPECT_EQ(rs.rc, 0) << rs.err;
  EXPECT_EQ(sim_->Value("F4"), "dd/mm/yy");
  // A contact number the tracker holds but could not take back blocks only
  // its own page, as a bad value naming the field.
  sim_->SetValue("VA", "12=34");
  RunResult h2 = Zd573({"set", "--password", "4071", "H2=-5"});
  EXPECT_EQ(h2.rc, 5) << h2.err;
  EXPECT_NE(h2.err.find("phone number of contact 1 (VA)"), std::string::npos) << h2.err;
  const std::size_t before = sim_->Journal().size();
  RunResult gprs = Zd573({"set", "--password", "4071", "D1=*31#internet"});
  EXPECT_EQ(gprs.rc, 0) << gprs.err;
  EXPECT_EQ(sim_->Value("D1"), "*31#internet");
  int sets = 0;
  for (std::size_t i = before; i < sim_->Journal().size(); ++i) sets += sim_->Journal()[i].bytes.rfind("KVS,", 0) == 0;
  EXPECT_EQ(sets, 1);
  // The report interval rule works on the typed text: -5 goes out as 3.
  sim_->SetValue("VA", "0912");
  RunResult low = Zd573({"set", "--password", "4071", "H2=-5"});
  EXPECT_EQ(low.rc, 0) << low.err;
  EXPECT_EQ(sim_->Value("H2"), "3");
}

TEST_F(Cli, TimeOutsAndMissingPortsAreClear) {
  sim::Options silent;
  silent.silent = true;
  StartSim(silent);
  auto start = std::chrono::steady_clock::now();
  RunResult r = Zd573({"read", "--timeout", "1"});
  EXPECT_EQ(r.rc, 4);
  EXPECT_NE(r.err.find("identification"), std::string::npos) << r.err;
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  sim_.reset();
  RunResult none = Zd573({"read"});
  EXPECT_EQ(none.rc, 2);
  EXPECT_NE(none.err.find("Unable to open COM-port"), std::string::npos) << none.err;
}

TEST_F(Cli, MelodyAndLogCommands) {
  StartSim();
  ASSERT_EQ(Zd573({"melody", "play", "3", "--password", "4071"}).rc, 0);
  ASSERT_EQ(Zd573({"melody", "stop", "--password", "4071"}).rc, 0);
  fs::path csv = dir_ / "track.csv";
  RunResult d = Zd573({"log", "download", csv.string(), "--password", "4071"});
  ASSERT_EQ(d.rc, 0) << d.err;
  ASSERT_TRUE(fs::exists(RawLog()));
  EXPECT_EQ(fs::file_size(RawLog()), 250u * 20);
  std::string table = test::Slurp(csv.string());
  EXPECT_GT(std::count(table.begin(), table.end(), '\n'), 200);
  fs::path kml = dir_ / "track.kml";
  fs::copy_file(RawLog(), dir_ / "temp.log");
  RunResult c = Zd573({"log", "convert", (dir_ / "temp.log").string(), kml.string(), "--drop-no-fix"});
  ASSERT_EQ(c.rc, 0) << c.err;
  EXPECT_NE(test::Slurp(kml.string()).find("<kml"), std::string::npos);
  EXPECT_EQ(Zd573({"log", "convert", (dir_ / "temp.log").string(), (dir_ / "x.txt").string()}).rc, 1);
  // A read-only export stays as it is unless --force; endless inputs are refused.
  fs::permissions(kml, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string before = test::Slurp(kml.string());
  RunResult ro = Zd573({"log", "convert", (dir_ / "temp.log").string(), kml.string()});
  EXPECT_EQ(ro.rc, 5);
  EXPECT_NE(ro.err.find("read-only"), std::string::npos) << ro.err;
  EXPECT_EQ(test::Slurp(kml.string()), before);
  EXPECT_EQ(Zd573({"log", "convert", (dir_ / "temp.log").string(), kml.string(), "--force"}).rc, 0);
  EXPECT_NE(test::Slurp(kml.string()), before);
  RunResult zero = Zd573({"restore", "/dev/zero"});
  EXPECT_EQ(zero.rc, 5);
  EXPECT_NE(zero.err.find("not a backup"), std::string::npos) << zero.err;
  EXPECT_EQ(Zd573({"log", "erase"}).rc, 1);  // no terminal, no --yes: refuse
  EXPECT_EQ(sim_->ClearCount(), 0);
  ASSERT_EQ(Zd573({"log", "erase", "--yes", "--password", "4071"}).rc, 0);
  EXPECT_EQ(sim_->ClearCount(), 1);
  std::vector<std::string> queries;  // beside the identification's
  for (const auto& e : sim_->Journal())
    if (e.bytes.rfind("KVC,", 0) == 0 && e.bytes.find("L1(B2,OU)") == std::string::npos) queries.push_back(e.bytes);
  EXPECT_EQ(queries, (std::vector<std::string>{"KVC,KestrovinZD-573,LL(3)*QQ!\r\n", "KVC,KestrovinZD-573,LL(0)*QQ!\r\n",
                                               "KVC,KestrovinZD-573,LB*QQ!\r\n", "KVC,KestrovinZD-573,LC*QQ!\r\n"}));
}

// Issue 17 item 4: the command line writes on the port it identified, which
// stays open from the identification to the last sentence. Another tracker
// put on the port in between (here in the pause after the first page) gets
// none of the first one's sentences, and the command says what happened.
TEST_F(Cli, ATrackerSwappedOnThePortGetsNothing) {
  StartSim();
  const fs::path port = dir_ / "ttyACM0";
  fs::create_symlink(sim_->SlavePath(), port);
  std::unique_ptr<sim::Simulator> second;
  test::Spawned cli(ZD573_CLI, {"--port", port.string(), "set", "--password", "4071", "F5=0", "D1=apn.b"}, Env(false));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (Received(*sim_, "KVS,").empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(Received(*sim_, "KVS,").size(), 1u);
  sim_.reset();  // unplugged...
  sim::Options o;
  o.lineMs = 40;
  second = std::make_unique<sim::Simulator>(o);
  std::string err;
  ASSERT_TRUE(second->Start(&err)) << err;
  fs::remove(port);
  fs::create_symlink(second->SlavePath(), port);  // ...and another tracker in its place
  RunResult r = cli.Wait();
  EXPECT_EQ(r.rc, 2) << r.err;
  EXPECT_NE(r.err.find("went away"), std::string::npos) << r.err;
  EXPECT_TRUE(second->Journal().empty()) << second->Journal().front().bytes;
}

// True once another process holds the port's lock (the command line has opened it).
bool HeldElsewhere(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

// The commands that send a query of their own use the port the tracker was
// identified on: the link pointed at another tracker once the command has
// opened it changes nothing, that tracker hears nothing.
TEST_F(Cli, QueriesGoOnThePortIdentifiedOn) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    const char* query;
  };
  const Row rows[] = {
      {"melody", {"melody", "play", "3"}, "KVC,KestrovinZD-573,LL(3)*QQ!\r\n"},
      {"erase", {"log", "erase", "--yes"}, "KVC,KestrovinZD-573,LC*QQ!\r\n"},
      {"download", {"log", "download", (dir_ / "track.csv").string()}, "KVC,KestrovinZD-573,LB*QQ!\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sim::Options slow;
    slow.lineMs = 150;  // eleven lines before the identification: time to swap
    slow.records = 30;
    sim::Simulator first(slow);
    sim::Simulator second(slow);
    std::string err;
    ASSERT_TRUE(first.Start(&err)) << err;
    ASSERT_TRUE(second.Start(&err)) << err;
    const fs::path link = dir_ / "tracker";
    fs::remove(link);
    fs::create_symlink(first.SlavePath(), link);
    std::vector<std::string> args{"--port", link.string(), "--password", "4071"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    test::Spawned cli(ZD573_CLI, args, Env());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!HeldElsewhere(first.SlavePath()) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    fs::remove(link);
    fs::create_symlink(second.SlavePath(), link);
    RunResult r = cli.Wait();
    EXPECT_EQ(r.rc, 0) << r.err;
    const std::vector<std::string> queries = Received(first, "KVC,");
    EXPECT_NE(std::find(queries.begin(), queries.end(), row.query), queries.end());
    EXPECT_TRUE(second.Journal().empty()) << second.Journal().front().bytes;
  }
}

// A port another program holds (a modem manager probing the tracker) is
// tried again every second: freed after 3 s, the command goes on, having said
// once why it waits.
TEST_F(Cli, ABusyPortIsWaitedFor) {
  StartSim();
  auto other = OpenComPort(sim_->SlavePath());
  ASSERT_TRUE(other.ok()) << other.error();
  test::Spawned cli(ZD573_CLI, WithPort({"identify"}), Env());
  std::this_thread::sleep_for(std::chrono::seconds(3));
  other.value()->Close();
  RunResult r = cli.Wait();
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_NE(r.out.find("IMEI: "), std::string::npos) << r.out;
  const std::string busy(kPortBusyRetrying);
  const std::size_t first = r.err.find(busy);
  EXPECT_NE(first, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(busy, first + 1), std::string::npos) << r.err;
}

// A device whose IMEI is no 15 digits is not taken for a tracker: nothing is
// written to it, and its answer reaches no report or terminal as it is.
TEST_F(Cli, AnAnswerThatIsNoImeiIsNoTracker) {
  for (const char* imei : {"=HYPERLINK(1)", "35689503753321", "\x1b[2J356895037533"}) {
    SCOPED_TRACE(imei);
    StartSim();
    sim_->SetValue("B2", imei);
    RunResult r = Zd573({"set", "D1=x", "--password", "4071"});
    EXPECT_NE(r.rc, 0);
    // Control bytes already make the answer unreadable.
    const bool control = std::string_view(imei).find('\x1b') != std::string_view::npos;
    EXPECT_NE(r.err.find(control ? "could not be read" : "is not taken for a tracker"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << "no escape sequence reaches the terminal";
    EXPECT_EQ(sim_->Value("D1"), "internet");
    TearDown();
    SetUp();
  }
}

// Issue 17 item 6 and issue 16 item 5: no file can hang or flood a command.
// system.ini that is not a regular file, or is huge, is not read (the
// command goes on with the defaults and says so); an export or backup target
// that is a pipe or a device is refused before the tracker is asked.
TEST_F(Cli, FilesThatAreNotFilesAreRefused) {
  struct Row {
    const char* name;
    std::function<std::vector<std::string>(const fs::path&)> setUp;  // returns the command
    int rc;
    const char* mention;
  };
  auto fifo = [](const fs::path& p) { EXPECT_EQ(::mkfifo(p.c_str(), 0600), 0); };
  const Row rows[] = {
      {"fifo system.ini", [&](const fs::path& d) { fifo(d / "system.ini"); return std::vector<std::string>{"identify"}; },
       0, "system.ini is not a regular file"},
      {"huge system.ini",
       [](const fs::path& d) {
         std::ofstream(d / "system.ini") << "[SYSTEM]\n" << std::string(2 << 20, ';');
         return std::vector<std::string>{"identify"};
       },
       0, "system.ini is larger than 1 MiB"},
      {"fifo export", [&](const fs::path& d) { fifo(d / "t.csv"); return std::vector<std::string>{"log", "download", (d / "t.csv").string()}; },
       5, "not a regular file"},
      {"device export", [](const fs::path&) { return std::vector<std::string>{"log", "download", "/dev/null", "--format", "gpx"}; },
       5, "not a regular file"},
      {"fifo raw copy",
       [&](const fs::path& d) {
         fifo(d / "raw");
         return std::vector<std::string>{"log", "download", (d / "t.kml").string(), "--raw", (d / "raw").string()};
       },
       5, "not a regular file"},
      {"fifo backup", [&](const fs::path& d) { fifo(d / "b.ini"); return std::vector<std::string>{"backup", (d / "b.ini").string()}; },
       5, "not a regular file"},
  };
  for (const Row& row : rows) {
    StartSim();
    RunResult r = Zd573(row.setUp(dir_));
    EXPECT_EQ(r.rc, row.rc) << row.name << ": " << r.err;
    EXPECT_NE(r.err.find(row.mention), std::string::npos) << row.name << ": " << r.err;
    if (row.rc != 0) {
      EXPECT_TRUE(sim_->Journal().empty()) << row.name << ": " << sim_->Journal().front().bytes;
    }
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
}

// Issue 17 item 7: the raw log goes to the user's cache folder (made private
// as needed), never beside the export or into the working directory; --raw
// keeps a copy where asked, and log convert reads it.
TEST_F(Cli, RawLogGoesToTheCacheFolder) {
  struct Row {
    std::vector<std::string> env;
    const char* cache;  // below the test's folder
  };
  const Row rows[] = {
      {{"XDG_CACHE_HOME=" + (dir_ / "xdg").string()}, "xdg"},
      {{"XDG_CACHE_HOME=", "HOME=" + (dir_ / "home").string()}, "home/.cache"},
  };
  StartSim();
  const fs::path out = dir_ / "out";
  fs::create_directories(out);
  for (const Row& row : rows) {
    const fs::path copy = out / "copy.log";
    test::Spawned cli(ZD573_CLI,
                      WithPort({"log", "download", (out / "t.gpx").string(), "--raw", copy.string(), "--password", "4071"}),
                      Env(true, row.env));
    RunResult r = cli.Wait();
    ASSERT_EQ(r.rc, 0) << r.err;
    const fs::path cache = dir_ / row.cache / "zd573";
    const auto bytes = sim_->LogBytes();
    EXPECT_TRUE(test::Slurp((cache / "temp.log").string()) == std::string(bytes.begin(), bytes.end())) << row.cache;
    EXPECT_EQ(fs::status(cache).permissions() & fs::perms::all, fs::perms::owner_all) << row.cache;
    EXPECT_TRUE(test::Slurp(copy.string()) == test::Slurp((cache / "temp.log").string())) << row.cache;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"copy.log", "t.gpx"})) << "nothing else beside the export";
    RunResult c = Zd573({"log", "convert", copy.string(), (out / "again.gpx").string()});
    ASSERT_EQ(c.rc, 0) << c.err;
    EXPECT_TRUE(test::Slurp((out / "again.gpx").string()) == test::Slurp((out / "t.gpx").string())) << row.cache;
    fs::remove_all(out);
    fs::create_directories(out);
  }
  EXPECT_FALSE(fs::exists("temp.log")) << "nothing in the working directory";
  EXPECT_EQ(Zd573({"log", "convert", "x.log", "y.csv", "--raw", "z.log"}).rc, 1);
}

// Ctrl+C ends a download cleanly: the partial file goes, the port is
// released, and the command says so.
TEST_F(Cli, CtrlCEndsADownloadCleanly) {
  sim::Options slow;
  slow.baud = 115200;  // 3000 records take about five seconds
  slow.records = 3000;
  StartSim(slow);
  test::Spawned cli(ZD573_CLI, WithPort({"log", "download", (dir_ / "t.csv").string(), "--password", "4071"}), Env());
  const fs::path cache = dir_ / "cache" / "zd573";
  auto partial = [&] {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(cache, ec))
      if (e.path().extension() == ".part") return true;
    return false;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!partial() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(partial());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(::kill(cli.pid(), SIGINT), 0);
  RunResult r = cli.Wait();
  EXPECT_EQ(r.rc, 130) << r.err;
  EXPECT_NE(r.err.find("Abort download process."), std::string::npos) << r.err;
  EXPECT_FALSE(partial());
  EXPECT_FALSE(fs::exists(cache / "temp.log"));
  EXPECT_FALSE(fs::exists(dir_ / "t.csv"));
}

// One login rule for every command that talks to the tracker: a password
// that does not open it ends with 3 before anything but the identification
// is sent.
TEST_F(Cli, EveryCommandChecksThePassword) {
  struct Row {
    const char* device;  // the tracker's password
    std::vector<std::string> args;
    int rc;
  };
  const std::string csv = (dir_ / "t.csv").string();
  const Row rows[] = {
      {"4071", {"read", "--password", "9999"}, 3},
      {"4071", {"log", "download", csv, "--password", "9999"}, 3},
      {"4071", {"log", "erase", "--yes", "--password", "9999"}, 3},
      {"4071", {"melody", "play", "3", "--password", "9999"}, 3},
      {"4071", {"melody", "stop", "--password", "9999"}, 3},
      {"4071", {"melody", "stop"}, 3},  // no terminal to ask on
      {"", {"read", "--password", "9999"}, 3},
      {"", {"log", "erase", "--yes", "--password", "9999"}, 3},
      {"", {"melody", "stop", "--password", "4071"}, 0},
      {"", {"melody", "stop", "--password", ""}, 0},
      {"", {"melody", "stop"}, 0},
  };
  StartSim();
  for (const Row& row : rows) {
    std::string line;
    for (const auto& a : row.args) line += a + " ";
    sim_->SetValue("OU", row.device);
    const std::size_t before = sim_->Journal().size();
    RunResult r = Zd573(row.args);
    EXPECT_EQ(r.rc, row.rc) << line << r.err;
    const auto journal = sim_->Journal();
    std::size_t others = 0;
    for (std::size_t i = before; i < journal.size(); ++i) others += journal[i].bytes.find("L1(B2,OU)") == std::string::npos;
    EXPECT_EQ(others, row.rc == 0 ? 1u : 0u) << line;
    if (row.rc == 3) {
      EXPECT_NE(r.err.find(row.args.back() == "9999" ? "Password Error" : "--password"), std::string::npos) << r.err;
    }
  }
  EXPECT_FALSE(fs::exists(csv));
  EXPECT_EQ(sim_->ClearCount(), 0);
}

// A reply that cannot be read is no answer, and says so; it never calls a
// right password wrong.
TEST_F(Cli, UnreadableRepliesAreNoAnswer) {
  for (const char* fault : {"unterminated", "garbage"}) {
    sim::Options o;
    o.replyFault = fault;
    StartSim(o);
    RunResult r = Zd573({"read", "--password", "4071", "--timeout", "2"});
    EXPECT_EQ(r.rc, 4) << fault << r.err;
    EXPECT_NE(r.err.find("no valid reply from the tracker"), std::string::npos) << fault << r.err;
    EXPECT_EQ(r.err.find("Password Error"), std::string::npos) << fault << r.err;
  }
}

// Damaged packets cost only their own records; a count that is wrong either
// way loses nothing that arrived.
TEST_F(Cli, DownloadsKeepWhatArrived) {
  struct Row {
    const char* name;
    std::function<void(sim::Options&)> fault;
    std::vector<std::string> more;
    int rc;
    int exported;  // records in the export, -1: no export
    const char* says;
  };
  const Row rows[] = {
      {"every fourth packet damaged", [](auto& o) { o.badCheckEvery = 4; }, {}, 6, 456,
       "144 records of 600 came in damaged packets and were left out"},
      {"count too small", [](auto& o) { o.countOffset = -100; }, {}, 0, 600,
       "600 records arrived, more than the 500 the tracker announced"},
      {"stops short", [](auto& o) { o.stallAfterRecords = 300; }, {}, 4, -1, "300 of 600 records arrived"},
      {"stops short, kept", [](auto& o) { o.stallAfterRecords = 300; }, {"--keep-partial"}, 4, 300,
       "300 of 600 records arrived"},
  };
  for (const Row& row : rows) {
    sim::Options o;
    o.records = 600;
    row.fault(o);
    StartSim(o);
    const fs::path csv = dir_ / "t.csv";
    fs::remove(csv);
    std::vector<std::string> args{"log", "download", csv.string(), "--password", "4071"};
    args.insert(args.end(), row.more.begin(), row.more.end());
    RunResult r = Zd573(args);
    EXPECT_EQ(r.rc, row.rc) << row.name << r.err;
    EXPECT_NE(r.err.find(row.says), std::string::npos) << row.name << r.err;
    EXPECT_EQ(r.err.find("timeout"), std::string::npos) << row.name << r.err;
    if (row.exported < 0) {
      EXPECT_FALSE(fs::exists(csv)) << row.name;
    } else {
      EXPECT_NE(r.err.find("Wrote " + std::to_string(row.exported) + " records"), std::string::npos) << row.name << r.err;
    }
  }
}

// Two trackers, two downloads at once, one cache folder: each export holds
// its own tracker's log, and temp.log is one of the two logs whole.
TEST_F(Cli, TwoDownloadsAtOnceDoNotMix) {
  std::vector<std::unique_ptr<sim::Simulator>> trackers;
  std::vector<std::unique_ptr<test::Spawned>> runs;
  const int records[] = {1500, 2000};
  for (int i = 0; i < 2; ++i) {
    sim::Options o;
    o.records = records[i];
    o.seed = 7 + i;
    o.baud = 230400;  // both take a few seconds, side by side
    o.lineMs = 40;
    trackers.push_back(std::make_unique<sim::Simulator>(o));
    std::string err;
    ASSERT_TRUE(trackers.back()->Start(&err)) << err;
    runs.push_back(std::make_unique<test::Spawned>(
        ZD573_CLI,
        std::vector<std::string>{"--port", trackers.back()->SlavePath(), "log", "download",
                                 (dir_ / ("t" + std::to_string(i) + ".csv")).string(), "--raw",
                                 (dir_ / ("raw" + std::to_string(i))).string(), "--password", "4071"},
        Env()));
  }
  for (int i = 0; i < 2; ++i) {
    RunResult r = runs[i]->Wait();
    ASSERT_EQ(r.rc, 0) << r.err;
    const auto bytes = trackers[i]->LogBytes();
    EXPECT_TRUE(test::Slurp((dir_ / ("raw" + std::to_string(i))).string()) == std::string(bytes.begin(), bytes.end()))
        << i;
  }
  const std::string raw = test::Slurp(RawLog().string());
  const auto a = trackers[0]->LogBytes(), b = trackers[1]->LogBytes();
  EXPECT_TRUE(raw == std::string(a.begin(), a.end()) || raw == std::string(b.begin(), b.end()));
  for (const auto& e : fs::directory_iterator(RawLog().parent_path()))
    EXPECT_EQ(e.path().filename(), "temp.log") << "left behind";
}

TEST_F(Cli, UsageErrors) {
  EXPECT_EQ(Zd573({}).rc, 1);
  EXPECT_EQ(Zd573({"frobnicate"}).rc, 1);
  EXPECT_EQ(Zd573({"read", "--timeout", "0"}).rc, 1);
  EXPECT_EQ(Zd573({"read", "--timeout", "9223372036"}).rc, 1);
  RunResult help = Zd573({"--help"});
  EXPECT_EQ(help.rc, 0);
  EXPECT_NE(help.out.find("Exit codes"), std::string::npos);
}

}  // namespace
}  // namespace zd573
