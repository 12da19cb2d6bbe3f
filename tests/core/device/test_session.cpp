// The session with the tracker, without any window: the simulated tracker on
// a pseudo-terminal, found through a private device tree, over a CallQueue.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/owner_thread.h"
#include "demo/DemoTracker.h"
#include "device/device_port.h"
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
  HangUp,  // the tracker goes away without a device change (its line hangs up)
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
  int busyMs = 0;  // another program holds the port this long from the start
  std::chrono::milliseconds busyPatience{30000};
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
  // Another program (a modem manager probing the tracker) has the port for a while.
  std::unique_ptr<DevicePort> other;
  if (row.busyMs > 0) {
    auto held = OpenComPort(tracker.SlavePath());
    ASSERT_TRUE(held.ok()) << held.error();
    other = std::move(held.value());
    owner.PostAfter(std::chrono::milliseconds(row.busyMs), [&] { other.reset(); });
  }
  const auto start = std::chrono::steady_clock::now();
  DeviceSettings settings;
  SessionOptions options;
  options.searchDelay = 20ms;
  options.portMatchPause = 0ms;
  options.loginPause = 300ms;
  options.busyRetry = 200ms;
  options.busyPatience = row.busyPatience;
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
      case Act::HangUp: tracker.Stop(); break;
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
      EXPECT_TRUE(session.HoldsPort());
    }
    if (step.state == S::Gone) {
      EXPECT_FALSE(session.HoldsPort());
    }
    // The port was busy: that was said while it was tried again, and it was
    // tried for the whole patience (or until it was free) before anything else.
    if (row.busyMs > 0 && i == 0) {
      EXPECT_TRUE(std::any_of(notices.begin(), notices.end(),
                              [](const SessionNotice& n) { return n.kind == SessionNotice::Kind::PortBusy; }));
      EXPECT_GE(std::chrono::steady_clock::now() - start,
                std::min(row.busyPatience, std::chrono::milliseconds(row.busyMs)));
    }
    if (step.reason == R::PortUnusable) {
      ASSERT_TRUE(notices.back().error.has_value());
      EXPECT_EQ(notices.back().error->code, ErrorCode::Busy) << Describe(*notices.back().error);
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
    // After a logout or an unplug, and for a busy port, the tracker is looked for again.
    if (step.act == Act::Logout || step.reason == R::Unplugged || step.reason == R::PortUnusable) {
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
        Row{"login before identified is ignored", false, {{Act::Login, "4071", S::Gone}, kReplug}},
        // The held port's watch sees the line hang up: no device change is needed.
        Row{"hang-up when identified", true, {kIdentified, {Act::HangUp, "", S::Gone}}},
        Row{"hang-up when ready", true,
            {kIdentified, kLogin, kReading, kReady, {Act::HangUp, "", S::Gone, R::Unplugged}}},
        // A port another program holds is tried again without a re-plug.
        Row{"busy port freed after 3 s", true, {kIdentified}, 45, 3000},
        Row{"busy port held beyond the patience", true,
            {{Act::Wait, "", S::Gone, R::PortUnusable}, kIdentified}, 45, 3000, 1000ms}),
    [](const auto& info) {
      std::string name;
      for (char c : std::string(info.param.name)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

}  // namespace
}  // namespace zd573
