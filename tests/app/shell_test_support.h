#pragma once
// What the shell's tests share: a private settings folder, a fake device
// tree with the simulated tracker on a pty, a context with short pauses and
// a notifier that records instead of blocking, and screenshots.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "demo/DemoTracker.h"
#include "controls/CGdiPlusBitmap.h"
#include "device/held_port.h"
#include "frame/AppContext.h"
#include "settings/paths.h"
#include "simulator.h"

namespace zd573::test {

using namespace std::chrono_literals;

struct Message {
  QString text;
  MessageIcon icon;
};

// A private world for one test: system.ini and a device tree in a temporary
// folder, the program's language file, short pauses.
class ShellEnv {
 public:
  ShellEnv() : tree_(dir_.path().toStdString()) {
    settings::SetSystemIniPathOverride(std::filesystem::path(dir_.path().toStdString()) / "system.ini");
    settings::SetLanguagesPathOverride(std::filesystem::path(ZD573_SOURCE_LANGUAGES));
    // The raw log goes to the cache folder: the test's own, not the user's.
    qputenv("XDG_CACHE_HOME", dir_.filePath(QStringLiteral("cache")).toLocal8Bit());
    // So do the backups made before each write.
    qputenv("XDG_DATA_HOME", dir_.filePath(QStringLiteral("data")).toLocal8Bit());
    tree_.Activate();
    context_.durations.searchDelay = 40ms;
    context_.durations.portMatchPause = 0ms;
    context_.durations.loginPause = 20ms;
    context_.durations.setSentencePause = 10ms;
    context_.durations.fullReadStall = 10000ms;
    context_.notifier.message = [this](QWidget*, const QString& text, MessageIcon icon) {
      messages.push_back({text, icon});
    };
    context_.notifier.askYesNo = [this](QWidget*, const QString& text, bool noByDefault) {
      questions.push_back(text);
      noDefaults.push_back(noByDefault);
      return answerYes;
    };
    context_.exitProgram = [this](int code) { exitCodes.push_back(code); };
    SetImageFailureNotifier([this](QWidget*, const QString& text) { messages.push_back({text, MessageIcon::None}); });
  }
  ~ShellEnv() {
    context_.portLeaser = nullptr;
    held_.reset();
    SetImageFailureNotifier({});
    settings::SetSystemIniPathOverride(std::nullopt);
    settings::SetLanguagesPathOverride(std::nullopt);
  }

  AppContext& Context() { return context_; }
  FakeDeviceTree& Tree() { return tree_; }
  QString Path(const QString& name) const { return dir_.filePath(name); }
  void WriteFile(const QString& name, const QByteArray& bytes) const {
    QFile f(Path(name));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }
  QByteArray ReadFile(const QString& name) const {
    QFile f(Path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  // Starts the simulated tracker; `plug` also makes it appear as ttyACM0.
  sim::Simulator* StartTracker(bool plug = true, sim::Options options = FastOptions()) {
    tracker_ = std::make_unique<sim::Simulator>(options);
    std::string error;
    if (!tracker_->Start(&error)) {
      qWarning("simulator: %s", error.c_str());
      return nullptr;
    }
    if (plug) PlugTracker();
    return tracker_.get();
  }
  void PlugTracker() { QVERIFY(tree_.Plug("ttyACM0", tracker_->SlavePath())); }
  sim::Simulator* Tracker() const { return tracker_.get(); }

  // The tracker's port held open as a session holds it after a login, for
  // pages opened without one: their operations lease it.
  void HoldTrackerPort() {
    context_.portLeaser = nullptr;
    held_.reset();
    QVERIFY(tracker_);
    // As if the record's settings had been read from it (its IMEI and password
    // are its own): a write reads its keys again first.
    const DeviceValues record = context_.Settings().Snapshot();
    for (const KeyInfo& k : TableKeys()) tracker_->SetValue(k.key, record.Format(k.key));
    auto port = OpenComPort(tracker_->SlavePath());
    QVERIFY2(port.ok(), port.ok() ? "" : port.error().c_str());
    held_ = HeldPort::Hold(std::move(port.value()));
    QVERIFY(held_->Watch({}).ok());
    LeaseHeldPort();
  }
  // Operations lease the port held by HoldTrackerPort (again, after a
  // window's session host took the context's leaser).
  void LeaseHeldPort() {
    context_.portLeaser = [held = std::weak_ptr<HeldPort>(held_)]() -> Expected<std::unique_ptr<DevicePort>> {
      if (auto port = held.lock()) return port->Lease();
      return PortNotHeld();
    };
  }

  static sim::Options FastOptions() {
    sim::Options options;
    // The settings reader takes about 3 KB/s; a tracker that talks faster
    // buries the replies under its own lines.
    options.lineMs = 45;
    return options;
  }

  std::vector<Message> messages;
  std::vector<QString> questions;
  std::vector<bool> noDefaults;  // per question: No was the default
  std::vector<int> exitCodes;
  bool answerYes = false;

 private:
  QTemporaryDir dir_;
  FakeDeviceTree tree_;
  AppContext context_;
  std::unique_ptr<sim::Simulator> tracker_;
  std::shared_ptr<HeldPort> held_;
};

// The rows of a test run once per shipped language: a QString column "language".
inline void AddLanguageRows() {
  QTest::addColumn<QString>("language");
  QTest::newRow("English") << QStringLiteral("English");
  QTest::newRow("TChinese") << QStringLiteral("TChinese");
}

// Saves what `widget` shows under the build's screens folder.
inline void SaveScreen(QWidget* widget, const QString& name) {
  QDir().mkpath(QStringLiteral(ZD573_SCREENS_DIR));
  QApplication::processEvents();
  const QPixmap shot = widget->grab();
  // A run at another scale keeps its own pictures beside the others.
  const qreal ratio = widget->devicePixelRatioF();
  const QString suffix = ratio == 1.0 ? QString() : QStringLiteral("@%1x").arg(ratio);
  QVERIFY2(shot.save(QStringLiteral(ZD573_SCREENS_DIR "/") + name + suffix + QStringLiteral(".png")), qPrintable(name));
}

// The other end of a bare pseudo-terminal: a device that says only what the
// test writes.
class BarePty {
 public:
  BarePty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) slave_ = ::ptsname(master_);
  }
  ~BarePty() {
    if (master_ >= 0) ::close(master_);
  }
  const std::string& SlavePath() const { return slave_; }
  bool Write(const std::string& text) const {
    return master_ >= 0 && ::write(master_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }

 private:
  int master_ = -1;
  std::string slave_;
};

}  // namespace zd573::test
