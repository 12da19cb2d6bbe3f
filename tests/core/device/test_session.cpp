// The session with the tracker, without any window: the simulated tracker on
// a pseudo-terminal, found through a private device tree, over a CallQueue.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/owner_thread.h"
#include "demo/DemoTracker.h"
#include "device/session.h"
#include "simulator.h"

namespace zd573 {
namespace {
using namespace std::chrono_literals;
using S = SessionState;
using R = SessionReason;

enum class Act {
  Wait,    // nothing: the session goes on by itself
  Plug,    // the tracker appears (a device change)
  Unplug,  // it goes (a device change)
  Login,   // with the password in `text`
  Logout,
};

struct Step {
  Act act;
  const char* text;
  S state;  // the state entered next
  R reason = R::None;
};

struct Row {
  const char* name;
  bool plugged;  // at the start
  std::vector<Step> steps;
  int lineMs = 45;  // the tracker's own status lines; slower, the full read takes a while
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

// What may be done in each state.
bool LoginAllowed(S state, R reason) {
  return state == S::Identified || (state == S::Failed && reason != R::PortUnusable);
}

class SessionTable : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    std::string folder = (std::filesystem::temp_directory_path() / "zd573-session-XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    folder_ = folder;
    tree_ = std::make_unique<FakeDeviceTree>(folder_);
    tree_->Activate();
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  std::filesystem::path folder_;
  std::unique_ptr<FakeDeviceTree> tree_;
};

TEST_P(SessionTable, States) {
  const Row& row = GetParam();
  sim::Options trackerOptions;
  trackerOptions.lineMs = row.lineMs;
  sim::Simulator tracker(trackerOptions);
  std::string error;
  ASSERT_TRUE(tracker.Start(&error)) << error;
  const auto plug = [&] { ASSERT_TRUE(tree_->Plug("ttyACM0", tracker.SlavePath())); };
  if (row.plugged) plug();

  CallQueue owner;
  DeviceSettings settings;
  SessionOptions options;
  options.searchDelay = 20ms;
  options.portMatchPause = 0ms;
  options.loginPause = 300ms;
  std::vector<SessionNotice> notices;
  Session session(settings, owner, options, [&](const SessionNotice& n) { notices.push_back(n); });
  session.Start();
  EXPECT_EQ(session.State(), S::Searching);
  EXPECT_TRUE(session.SearchPending());

  for (std::size_t i = 0; i < row.steps.size(); ++i) {
    const Step& step = row.steps[i];
    SCOPED_TRACE("step " + std::to_string(i));
    const std::size_t from = notices.size();
    switch (step.act) {
      case Act::Wait: break;
      case Act::Plug: plug(); session.DeviceChange(); break;
      case Act::Unplug: tree_->Unplug("ttyACM0"); session.DeviceChange(); break;
      case Act::Login: session.Login(step.text); break;
      case Act::Logout: session.Logout(); break;
    }
    const auto entered = [&] {
      for (std::size_t n = from; n < notices.size(); ++n)
        if (notices[n].kind == SessionNotice::Kind::Entered && notices[n].state == step.state &&
            notices[n].reason == step.reason)
          return true;
      return false;
    };
    ASSERT_TRUE(owner.RunUntil(entered, 20s)) << "never entered state " << int(step.state) << " reason "
                                              << int(step.reason) << "; now " << int(session.State());
    EXPECT_EQ(session.CanLogin(), LoginAllowed(step.state, step.reason));
    EXPECT_EQ(session.LoggedIn(), step.state == S::Ready);
    EXPECT_EQ(session.ReadRunning(), step.state == S::Reading);
    if (step.state == S::Identified || step.state == S::Ready) {
      EXPECT_EQ(session.Port(), "ttyACM0");
    }
    if (step.state == S::Ready) {
      EXPECT_TRUE(settings.AllReceived());
      // The full read said how far it was, of all 83 keys.
      std::vector<Progress> seen;
      for (const SessionNotice& n : notices)
        if (n.kind == SessionNotice::Kind::Progress) seen.push_back(n.progress);
      ASSERT_FALSE(seen.empty());
      EXPECT_EQ(seen.back().total, 83u);
      for (std::size_t n = 1; n < seen.size(); ++n) EXPECT_LE(seen[n - 1].done, seen[n].done);
    }
    // After a logout or an unplug, the tracker is looked for again.
    if (step.act == Act::Logout || step.reason == R::Unplugged) {
      EXPECT_TRUE(session.SearchPending() || session.Searching());
    }
  }
}

const Step kIdentified{Act::Wait, "", S::Identified};
const Step kLogin{Act::Login, "4071", S::LoggingIn};
const Step kReading{Act::Wait, "", S::Reading};
const Step kReady{Act::Wait, "", S::Ready};
const Step kReplug{Act::Plug, "", S::Identified};
const Step kUnplugUnread{Act::Unplug, "", S::Gone};

INSTANTIATE_TEST_SUITE_P(
    Session, SessionTable,
    ::testing::Values(
        Row{"nothing plugged, then plugged", false, {{Act::Wait, "", S::Gone}, kReplug}},
        Row{"wrong then right password, read, logout, found again",
            true,
            {kIdentified, {Act::Login, "1234", S::Failed, R::WrongPassword}, kLogin, kReading, kReady,
             {Act::Logout, "", S::Gone}, kIdentified}},
        Row{"unplugged when identified", true, {kIdentified, kUnplugUnread, kReplug}},
        Row{"unplugged while logging in", true, {kIdentified, kLogin, kUnplugUnread, kReplug}},
        Row{"unplugged while reading", true, {kIdentified, kLogin, kReading, kUnplugUnread, kReplug}, 60},
        Row{"unplugged when ready", true,
            {kIdentified, kLogin, kReading, kReady, {Act::Unplug, "", S::Gone, R::Unplugged}, kReplug}},
        Row{"login before identified is ignored", false, {{Act::Login, "4071", S::Gone}, kReplug}}),
    [](const auto& info) {
      std::string name;
      for (char c : std::string(info.param.name)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

}  // namespace
}  // namespace zd573
