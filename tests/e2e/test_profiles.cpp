// Settings files onto trackers: diff, apply, restore's guards, shared profiles,
// secrets kept private, and the provisioning loop, against the simulated tracker.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "cli_fixture.h"
#include "device/device_settings.h"
#include "device/page_table.h"
#include "device/timing.h"
#include "journal_timing.h"

namespace zd573 {
namespace {

using Clock = std::chrono::steady_clock;

// The keys the tracker was asked for by key queries ("L1(k,k,)"), the
// identification's "L1(B2,OU)" aside.
std::set<std::string> QueriedKeys(const sim::Simulator& tracker) {
  std::set<std::string> keys;
  for (const auto& e : tracker.Journal()) {
    const auto open = e.bytes.find(",L1("), close = e.bytes.find(",)");
    if (e.bytes.rfind("KVC,", 0) != 0 || open == std::string::npos || close == std::string::npos) continue;
    for (std::size_t k = open + 4; k < close; k += 3) keys.insert(e.bytes.substr(k, 2));
  }
  return keys;
}

std::set<std::string> KeysOf(std::initializer_list<Page> pages) {
  std::set<std::string> keys;
  for (const KeyInfo& k : TableKeys())
    for (Page p : pages)
      if (PageOfKey(k.key) == p) keys.insert(std::string(k.key));
  return keys;
}

class Profiles : public Cli {
 protected:
  fs::path File(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name) << text;
    return dir_ / name;
  }
  std::size_t Sets() const { return Received(*sim_, "KVS,").size(); }
};

TEST_F(Profiles, ApplyWritesOnlyThePagesThatDifferAndVerifies) {
  StartSim();
  sim_->SetValue("F5", "1");
  const fs::path profile = File("p.ini", "[DEVICE]\nD1=apn.p\nD2=user.p\nF5=0\n");
  RunResult diff = Zd573({"diff", profile.string(), "--password", "4071"});
  EXPECT_EQ(diff.rc, 10) << diff.err;
  EXPECT_NE(diff.out.find("D1  GPRS APN: \"internet\" -> \"apn.p\""), std::string::npos) << diff.out;
  EXPECT_EQ(Sets(), 0u);
  // A comparison asks for the file's keys alone.
  EXPECT_EQ(QueriedKeys(*sim_), (std::set<std::string>{"D1", "D2", "F5"}));

  RunResult r = Zd573({"apply", profile.string(), "--password", "4071"});
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_NE(r.err.find("2 pages written, verified"), std::string::npos) << r.err;
  auto sets = Received(*sim_, "KVS,");
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_NE(sets[0].find(",F5=0,"), std::string::npos) << sets[0];
  EXPECT_NE(sets[1].find(",D1=apn.p,D2=user.p,"), std::string::npos) << sets[1];
  // Only the two pages' keys were read, before and after the writing.
  EXPECT_EQ(QueriedKeys(*sim_), KeysOf({Page::Info, Page::Gprs}));

  // The same file again: nothing to send, nothing to show.
  RunResult again = Zd573({"apply", profile.string(), "--password", "4071"});
  EXPECT_EQ(again.rc, 0) << again.err;
  EXPECT_NE(again.err.find("nothing was sent"), std::string::npos) << again.err;
  RunResult same = Zd573({"diff", profile.string(), "--password", "4071"});
  EXPECT_EQ(same.rc, 0) << same.err;
  EXPECT_EQ(same.out, "");
  EXPECT_EQ(Sets(), 2u);
}

// A value kept as a number reads as its page shows it, the stored number
// after it; the GPRS password is a secret like the device password.
TEST_F(Profiles, DiffSaysValuesInThePagesWordsAndHidesSecrets) {
  StartSim();
  sim_->SetValue("D3", "old.secret");
  const fs::path profile = File("p.ini", "[DEVICE]\nFB=2\nYC=2\nXB=757412100\nYD=0\nD3=new.secret\n");
  struct Row {
    std::vector<std::string> options;
    std::vector<std::string> lines;
  };
  const Row rows[] = {
      {{},
       {"FB  ringing volume: Medium (1) -> High (2)", "YC  alarm 2 mode: Off (0) -> Daily (2)",
        "XB  alarm 1 time: AM 07:30 (757409400) -> AM 08:15 (757412100)", "D3  GPRS password: (hidden) -> (hidden)"}},
      {{"--show-secrets"}, {"D3  GPRS password: \"old.secret\" -> \"new.secret\""}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args{"diff", profile.string(), "--password", "4071"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    RunResult r = Zd573(args);
    EXPECT_EQ(r.rc, 10) << r.err;
    for (const std::string& line : row.lines) EXPECT_NE(r.out.find(line), std::string::npos) << line << " in\n" << r.out;
    EXPECT_EQ(r.out.find("secret") == std::string::npos, row.options.empty()) << r.out;
    EXPECT_EQ(r.err.find("secret"), std::string::npos) << r.err;
  }
}

TEST_F(Profiles, SetReadsOnlyItsPage) {
  StartSim();
  RunResult r = Zd573({"set", "D1=x", "--password", "4071"});
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(QueriedKeys(*sim_), KeysOf({Page::Gprs}));
  EXPECT_EQ(sim_->Value("D1"), "x");
}

struct Refused {
  const char* name;
  std::vector<std::string> args;  // FILE stands for the file below
  std::string file;               // empty: a backup of the tracker, altered by `edit`
  std::function<void(std::string&)> edit;
  int rc;
  const char* mention;
};

TEST_F(Profiles, FilesThatCannotBeMeantSendNothing) {
  // Every occurrence: IMEI= and B2= both name the tracker.
  auto replace = [](const std::string& from, const std::string& to) {
    return [=](std::string& text) {
      for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    };
  };
  const Refused rows[] = {
      {"a value a page refuses", {"apply", "FILE"}, "[DEVICE]\nD1=ok\nF5=7\n", {}, 5, "line 3"},
      {"a text that breaks a sentence", {"apply", "FILE"}, "[DEVICE]\nVa=a,b\n", {}, 5, "comma"},
      {"another tracker's backup", {"restore", "FILE"}, "", replace("356895037533210", "356000000000009"), 5,
       "--any-tracker"},
      {"a key twice", {"restore", "FILE", "--with-password"}, "", replace("OU=4071\n", "OU=9999\nOU=4071\n"), 5,
       "OU appears twice, on lines"},
      {"the section twice", {"restore", "FILE"}, "", [](std::string& t) { t += "[DEVICE]\n"; }, 5,
       "section [DEVICE] appears twice"},
      {"a missing value", {"restore", "FILE"}, "[DEVICE]\nD1=x\n", {}, 5, "is missing"},
      {"an empty password", {"apply", "FILE", "--with-password"}, "[DEVICE]\nOU=\n", {}, 1, "--yes"},
      {"password \"\"", {"password", ""}, "", {}, 1, "An empty password lets anyone"},
  };
  StartSim();
  const fs::path backup = dir_ / "backup.ini";
  ASSERT_EQ(Zd573({"backup", backup.string(), "--password", "4071"}).rc, 0);
  const std::string saved = test::Slurp(backup.string());
  for (const Refused& row : rows) {
    std::string text = row.file.empty() ? saved : row.file;
    if (row.edit) row.edit(text);
    const fs::path file = File("f.ini", text);
    std::vector<std::string> args = row.args;
    for (auto& a : args)
      if (a == "FILE") a = file.string();
    args.insert(args.end(), {"--password", "4071"});
    RunResult r = Zd573(args);
    EXPECT_EQ(r.rc, row.rc) << row.name << ": " << r.err;
    EXPECT_NE(r.err.find(row.mention), std::string::npos) << row.name << ": " << r.err;
  }
  EXPECT_EQ(Sets(), 0u);
  EXPECT_EQ(sim_->Value("OU"), "4071");
}

TEST_F(Profiles, PasswordGoesOutOnlyWhenAsked) {
  StartSim();
  const fs::path backup = dir_ / "backup.ini";
  ASSERT_EQ(Zd573({"backup", backup.string(), "--password", "4071"}).rc, 0);
  std::string text = test::Slurp(backup.string());
  text.replace(text.find("OU=4071"), 7, "OU=1234");
  for (auto at = text.find("356895037533210"); at != std::string::npos; at = text.find("356895037533210"))
    text.replace(at, 15, "356000000000009");
  const fs::path other = File("other.ini", text);
  RunResult r = Zd573({"restore", other.string(), "--any-tracker", "--password", "4071"});
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_NE(r.err.find("--with-password"), std::string::npos) << r.err;
  EXPECT_EQ(sim_->Value("OU"), "4071");
  EXPECT_EQ(Sets(), 0u);  // all else equal
  RunResult with = Zd573({"restore", other.string(), "--any-tracker", "--with-password", "--password", "4071"});
  EXPECT_EQ(with.rc, 0) << with.err;
  EXPECT_NE(with.err.find("1 page written, verified"), std::string::npos) << with.err;
  EXPECT_EQ(sim_->Value("OU"), "1234");
}

TEST_F(Profiles, SharedProfilesLeaveTheTrackersOwnValuesOutAndSecretsArePrivate) {
  struct Row {
    std::vector<std::string> options;
    std::vector<std::string> present, absent;
    bool ownerOnly;
  };
  const Row rows[] = {
      {{}, {"IMEI=", "\nOU=", "\nB0=", "\nB1=", "\nD1="}, {}, true},
      // A profile holds the GPRS password.
      {{"--profile"}, {"\nD1=", "\nD3=", "\nVa=", "\nOX="}, {"IMEI=", "\nB2=", "\nOU=", "\nB0=", "\nB1=", "\nE1="}, true},
      {{"--keys", "D1,OU"}, {"\nD1=", "\nOU="}, {"\nD2=", "IMEI="}, true},
      {{"--keys", "D1,D3"}, {"\nD1=", "\nD3="}, {"\nD2="}, true},
      {{"--without", "OU,B0,D3"}, {"IMEI=", "\nB1=", "\nD1="}, {"\nOU=", "\nB0=", "\nD3="}, false},
  };
  StartSim();
  for (const Row& row : rows) {
    const fs::path file = dir_ / "saved.ini";
    std::ofstream(file) << "old\n";
    ::chmod(file.c_str(), 0644);  // a replaced file does not lend its mode to a secret
    std::vector<std::string> args{"backup", file.string(), "--password", "4071"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    RunResult r = Zd573(args);
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::string text = test::Slurp(file.string());
    for (const auto& p : row.present) EXPECT_NE(text.find(p), std::string::npos) << p << " in\n" << text;
    for (const auto& a : row.absent) EXPECT_EQ(text.find(a), std::string::npos) << a << " in\n" << text;
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    if (row.ownerOnly) {
      EXPECT_EQ(st.st_mode & 0777, 0600u) << text;
    } else {
      EXPECT_EQ(st.st_mode & 0777, 0644u) << "a file without secrets keeps its mode";
    }
  }
  EXPECT_EQ(Zd573({"backup", (dir_ / "x.ini").string(), "--keys", "D1,ZZ"}).rc, 1);
}

// What a loop writes to every tracker plugged in: shared values only, the
// password only when asked for. A refused file sends nothing and starts no report.
TEST_F(Profiles, TheLoopTakesSharedValuesOnly) {
  struct Row {
    const char* name;
    std::string file;
    std::vector<std::string> options;
    int rc;
    const char* says;
    const char* password;  // the tracker's after
  };
  const Row rows[] = {
      {"a backup", "[DEVICE]\nIMEI=356895037533210\nD1=apn.b\n", {}, 5, "zd573 backup FILE --profile", "4071"},
      {"the own number", "[DEVICE]\nD1=apn.b\nB1=+15550100\n", {}, 5, "device phone number (B1)", "4071"},
      {"the password, not asked for", "[DEVICE]\nD1=apn.c\nOU=1234\n", {}, 0, "--with-password", "4071"},
      {"the password, asked for", "[DEVICE]\nD1=apn.d\nOU=1234\n", {"--with-password"}, 0, "2 pages written, verified",
       "1234"},
  };
  StartSim();
  for (const Row& row : rows) {
    const fs::path report = dir_ / "report.csv";
    fs::remove(report);
    const std::size_t before = Sets();
    std::vector<std::string> args{"provision", File("f.ini", row.file).string(), "--report", report.string(),
                                  "--count", "1", "--password", "4071"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    RunResult r = Zd573(args);
    EXPECT_EQ(r.rc, row.rc) << row.name << ": " << r.err;
    EXPECT_NE(r.err.find(row.says), std::string::npos) << row.name << ": " << r.err;
    EXPECT_EQ(sim_->Value("OU"), row.password) << row.name;
    EXPECT_EQ(Sets() == before, row.rc != 0) << row.name;
    EXPECT_EQ(fs::exists(report), row.rc == 0) << row.name;
  }
}

// The stages share one count of the tracker's lines, yet every sentence keeps
// its full second, the last one too before the read-back asks.
TEST_F(Profiles, EverySentenceKeepsItsSecond) {
  StartSim();
  RunResult r = Zd573({"apply", File("p.ini", "[DEVICE]\nF5=0\nD1=apn.s\n").string(), "--password", "4071"}, false);
  ASSERT_EQ(r.rc, 0) << r.err;
  std::vector<sim::JournalEntry> sets, after;
  for (const auto& e : sim_->Journal()) {
    if (e.bytes.rfind("KVS,", 0) == 0) sets.push_back(e);
    if (e.bytes.rfind("KVC,", 0) == 0 && !sets.empty()) after.push_back(e);
  }
  ASSERT_EQ(sets.size(), 2u);
  ASSERT_FALSE(after.empty());
  EXPECT_GE(sets[1].ms - sets[0].ms, test::MinJournalGapMs(timing::kSetSentencePause));
  EXPECT_GE(after.front().ms - sets[1].ms, test::MinJournalGapMs(timing::kSetSentencePause));
}

// Trackers plugged in one after another on a fake USB tree: each is found,
// written once and reported; one plugged in again is not written again and
// does not count; one unplugged midway is reported as failed and not confused
// with the next one, which takes its port name at once.
TEST_F(Profiles, ProvisionSetsUpEachTrackerPluggedIn) {
  const fs::path sys = dir_ / "sys", dev = dir_ / "dev";
  fs::create_directories(sys / "class" / "tty");
  fs::create_directories(dev);
  auto plug = [&](const std::string& imei) {
    sim::Options o;
    o.lineMs = 40;
    auto tracker = std::make_unique<sim::Simulator>(o);
    std::string err;
    EXPECT_TRUE(tracker->Start(&err)) << err;
    tracker->SetValue("B2", imei);
    const fs::path usb = sys / "devices" / "usb1", intf = usb / "1-1:1.0";
    fs::create_directories(intf);
    std::ofstream(usb / "idVendor") << "0483\n";
    std::ofstream(usb / "product") << "STM32 Virtual ComPort\n";
    fs::create_directories(sys / "class" / "tty" / "ttyACM0");
    fs::create_directory_symlink(intf, sys / "class" / "tty" / "ttyACM0" / "device");
    fs::create_symlink(tracker->SlavePath(), dev / "ttyACM0");
    return tracker;
  };
  auto unplug = [&](std::unique_ptr<sim::Simulator>& tracker) {
    fs::remove_all(sys / "class" / "tty" / "ttyACM0");
    fs::remove(dev / "ttyACM0");
    tracker->Stop();
  };
  const fs::path report = dir_ / "report.csv";
  auto rows = [&] {
    const std::string text = test::Slurp(report.string());
    return std::count(text.begin(), text.end(), '\n');
  };
  auto waitFor = [&](const std::function<bool()>& done) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!done() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
  };
  // Contacts (10 sentences) and GPRS (1); two distinct trackers set up end it.
  const fs::path profile = File("p.ini", "[DEVICE]\nVa=Mum\nD1=apn.p\n");
  test::Spawned cli(ZD573_CLI, {"provision", profile.string(), "--report", report.string(), "--count", "2",
                                "--password", "4071", "--timeout", "30"},
                    Env(true, {"ZD573_SYSFS_ROOT=" + sys.string(), "ZD573_DEV_ROOT=" + dev.string()}));
  auto first = plug("356000000000001");
  ASSERT_TRUE(waitFor([&] { return rows() == 2; }));
  unplug(first);
  auto again = plug("356000000000001");  // the same tracker plugged in again
  ASSERT_TRUE(waitFor([&] { return rows() == 3; }));
  unplug(again);
  auto second = plug("356000000000002");
  ASSERT_TRUE(waitFor([&] { return Received(*second, "KVS,").size() >= 2; }));
  unplug(second);
  auto third = plug("356000000000003");
  RunResult r = cli.Wait();
  EXPECT_EQ(r.rc, 11) << r.err;
  EXPECT_EQ(Received(*first, "KVS,").size(), 11u);
  EXPECT_EQ(Received(*again, "KVS,").size(), 0u);
  EXPECT_LT(Received(*second, "KVS,").size(), 11u);
  EXPECT_EQ(Received(*third, "KVS,").size(), 11u);
  EXPECT_EQ(third->Value("Va"), "Mum");
  EXPECT_NE(r.err.find("2 trackers set up, 1 failed, 1 plugged in again"), std::string::npos) << r.err;
  std::ifstream in(report);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u) << r.err;
  EXPECT_EQ(lines[0], "time_utc,imei,name,pages_written,result,reason,roster_row");
  // Each row that wrote names the backup of what the tracker held before.
  const std::string expected[] = {",356000000000001,,2,ok,\"2 pages written, verified; the values it held before are saved in ",
                                  ",356000000000001,,0,skipped,Already set up in this run; nothing was sent again",
                                  ",356000000000002,,0,failed,", ",356000000000003,,2,ok,"};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(lines[i + 1].find(expected[i]), 20u) << lines[i + 1];
  EXPECT_NE(lines[3].find("went away"), std::string::npos) << lines[3];
  EXPECT_NE(lines[1].find("backups/356000000000001/"), std::string::npos) << lines[1];
  EXPECT_EQ(test::Slurp(report.string()).find("4071"), std::string::npos) << "no password in the report";
}

}  // namespace
}  // namespace zd573
