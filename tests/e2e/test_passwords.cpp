// Where the command line takes the tracker's password and a new one from:
// the option, a private file, the environment, the terminal (a pseudo-terminal
// here), against the simulated tracker.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "cli_fixture.h"

namespace zd573 {
namespace {

// A terminal for the program's input: what it will type, written ahead.
class Terminal {
 public:
  Terminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) slave_ = ptsname(master_);
  }
  ~Terminal() {
    if (master_ >= 0) close(master_);
  }
  const std::string& Slave() const { return slave_; }
  void Type(const std::string& lines) { EXPECT_EQ(write(master_, lines.data(), lines.size()), ssize_t(lines.size())); }

 private:
  int master_ = -1;
  std::string slave_;
};

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class Passwords : public Cli {
 protected:
  fs::path File(const std::string& name, const std::string& text, fs::perms mode) {
    std::ofstream(dir_ / name) << text;
    fs::permissions(dir_ / name, mode);
    return dir_ / name;
  }
  RunResult OnTerminal(std::vector<std::string> args, const std::string& typed, std::vector<std::string> env = {}) {
    Terminal terminal;
    EXPECT_FALSE(terminal.Slave().empty());
    terminal.Type(typed);
    return test::Spawned(ZD573_CLI, WithPort(std::move(args)), Env(true, std::move(env)), terminal.Slave()).Wait();
  }
};

constexpr auto kPrivate = fs::perms::owner_read | fs::perms::owner_write;
constexpr auto kShared = kPrivate | fs::perms::group_read | fs::perms::others_read;

struct Source {
  const char* name;
  std::vector<std::string> args;  // "FILE" stands for the password file
  std::string variable;           // ZD573_PASSWORD, when set
  std::string fileText;
  fs::perms mode = kPrivate;
  int rc;
  const char* says = "";
};

class PasswordSources : public Passwords, public ::testing::WithParamInterface<Source> {};

TEST_P(PasswordSources, LogInOrRefuseBeforeAnythingIsSent) {
  const Source& s = GetParam();
  StartSim();
  sim_->SetValue("OU", "1234");
  std::vector<std::string> args{"melody", "stop"};
  for (const std::string& a : s.args) args.push_back(a == "FILE" ? File("pw", s.fileText, s.mode).string() : a);
  std::vector<std::string> env;
  if (!s.variable.empty()) env.push_back("ZD573_PASSWORD=" + s.variable);
  RunResult r = Zd573(args, true, env);
  EXPECT_EQ(r.rc, s.rc) << r.err;
  EXPECT_NE(r.err.find(s.says), std::string::npos) << r.err;
  // A refused file is refused before the port is opened.
  if (s.rc == 5) {
    EXPECT_TRUE(sim_->Journal().empty());
  }
  EXPECT_EQ(r.err.find("1234"), std::string::npos) << "the password is never told";
}

INSTANTIATE_TEST_SUITE_P(
    Table, PasswordSources,
    ::testing::Values(Source{"file", {"--password-file", "FILE"}, "", "1234\n", kPrivate, 0, ""},
                      Source{"file_written_on_windows", {"--password-file", "FILE"}, "", "1234\r\nnotes\n", kPrivate, 0, ""},
                      Source{"file_others_may_read",
                             {"--password-file", "FILE"},
                             "",
                             "1234\n",
                             kShared,
                             5,
                             "others may read or change it (mode 0644)"},
                      Source{"variable", {}, "1234", "", kPrivate, 0, ""},
                      Source{"wrong_variable", {}, "9999", "", kPrivate, 3, "Password Error"},
                      // The option, then the file, then the variable.
                      Source{"option_before_variable", {"--password", "1234"}, "9999", "", kPrivate, 0, ""},
                      Source{"file_before_variable", {"--password-file", "FILE"}, "9999", "1234", kPrivate, 0, ""},
                      Source{"none_without_a_terminal", {}, "", "", kPrivate, 3, "--password-file"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Passwords, TheTerminalIsAskedOncePerProvisionRun) {
  const fs::path link = dir_ / "tracker";
  auto plug = [&](const std::string& imei) {
    sim::Options o;
    o.lineMs = 40;
    auto tracker = std::make_unique<sim::Simulator>(o);
    std::string err;
    EXPECT_TRUE(tracker->Start(&err)) << err;
    tracker->SetValue("B2", imei);
    tracker->SetValue("OU", "1234");
    fs::create_symlink(tracker->SlavePath(), link);
    return tracker;
  };
  const fs::path report = dir_ / "report.csv";
  auto rows = [&] {
    const std::string text = test::Slurp(report.string());
    return std::count(text.begin(), text.end(), '\n');
  };
  const fs::path profile = dir_ / "p.ini";
  std::ofstream(profile) << "[DEVICE]\nD1=apn.p\n";
  Terminal terminal;
  ASSERT_FALSE(terminal.Slave().empty());
  terminal.Type("1234\n1234\n");  // enough for a second question, were one asked
  test::Spawned cli(ZD573_CLI,
                    {"--port", link.string(), "provision", profile.string(), "--report", report.string(), "--count", "2"},
                    Env(), terminal.Slave());
  auto first = plug("356000000000001");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (rows() < 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(rows(), 2);
  fs::remove(link);
  first->Stop();
  auto second = plug("356000000000002");
  RunResult r = cli.Wait();
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(Count(r.err, "The trackers' password: "), 1u) << r.err;
  EXPECT_EQ(second->Value("D1"), "apn.p");
  EXPECT_NE(r.err.find("2 trackers set up, 0 failed"), std::string::npos) << r.err;
}

struct NewPassword {
  const char* name;
  std::vector<std::string> args;  // "FILE" stands for the new password's file
  std::string typed;              // on the terminal
  int rc;
  std::string held;               // the tracker's password afterwards
};

class NewPasswords : public Passwords, public ::testing::WithParamInterface<NewPassword> {};

TEST_P(NewPasswords, TypedTwiceOrFromAFile) {
  const NewPassword& n = GetParam();
  StartSim();
  std::vector<std::string> args{"password", "--password", "4071"};
  for (const std::string& a : n.args) args.push_back(a == "FILE" ? File("new", "5678\n", kPrivate).string() : a);
  RunResult r = OnTerminal(args, n.typed);
  EXPECT_EQ(r.rc, n.rc) << r.err;
  EXPECT_EQ(sim_->Value("OU"), n.held);
  if (n.rc != 0) {
    EXPECT_TRUE(Received(*sim_, "KVS,").empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Table, NewPasswords,
                         ::testing::Values(NewPassword{"typed_twice", {}, "5678\n5678\n", 0, "5678"},
                                           NewPassword{"typed_differently", {}, "5678\n5679\n", 5, "4071"},
                                           NewPassword{"from_a_file", {"--new-password-file", "FILE"}, "", 0, "5678"},
                                           NewPassword{"given_twice", {"5678", "--new-password-file", "FILE"}, "", 1, "4071"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zd573
