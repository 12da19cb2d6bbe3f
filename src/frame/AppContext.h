#pragma once
// What the windows of the utility share: the settings record, the port, the
// texts of the current language, the pauses the tracker needs, and how the
// user is told things. One object, handed to every window, instead of globals.
#include <QLocale>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "controls/Caption.h"
#include "device/device_port.h"
#include "device/device_settings.h"
#include "device/log_download.h"
#include "device/timing.h"
#include "device/user_values.h"
#include "settings/ini_file.h"
#include "settings/language.h"
#include "settings/paths.h"

class QWidget;
class QWindow;

namespace zd573 {

// Every pause of the shell. The defaults are the tracker's; tests shorten them.
struct Durations {
  std::chrono::milliseconds searchDelay = timing::kSearchDelay;
  std::chrono::milliseconds portMatchPause = timing::kPortMatchPause;
  std::chrono::milliseconds loginPause = timing::kLoginPause;
  std::chrono::milliseconds setSentencePause = timing::kSetSentencePause;
  // A full read that gets no new key for this long gives up.
  std::chrono::milliseconds fullReadStall{30000};
  // A log download with no byte, or no record, for this long has timed out.
  std::chrono::milliseconds logSilence = LogDownloadOptions{}.silenceLimit;
  std::chrono::milliseconds logStall = LogDownloadOptions{}.stallLimit;
  // A port another program holds is tried again this often, for this long.
  std::chrono::milliseconds busyRetry = timing::kBusyPortRetry;
  std::chrono::milliseconds busyPatience = timing::kBusyPortPatience;
};

enum class MessageIcon { None, Error, Warning, Information };

// How the user is told things. The defaults show message boxes; tests
// install their own so nothing blocks.
struct Notifier {
  std::function<void(QWidget* parent, const QString& text, MessageIcon icon)> message;
  // A Yes/No question with a warning icon; true for Yes. `noByDefault` makes
  // No the button Enter presses (an act that cannot be undone).
  std::function<bool(QWidget* parent, const QString& text, bool noByDefault)> askYesNo;
  // A message box with a caption of its own ("Error", "Info"); unset, `message` is used.
  std::function<void(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon)> captioned;
  // The save dialog, in `folder` or, given a file's path, in its folder with
  // its name suggested: the chosen path, or empty for Cancel. It asks before
  // overwriting and adds `suffix` to a name typed without one.
  std::function<QString(QWidget* parent, const QString& folder, const QString& filter, const QString& suffix)>
      saveFile;
  // The open dialog: the chosen existing file, or empty for Cancel.
  std::function<QString(QWidget* parent, const QString& folder, const QString& filter)> openFile;
  // The folder dialog, starting in `folder`: the chosen folder, or empty for Cancel.
  std::function<QString(QWidget* parent, const QString& folder)> chooseFolder;
};
// Message boxes captioned with `programName()` (the program's name in the
// current language); unset, with the built-in name.
Notifier MessageBoxNotifier(std::function<QString()> programName = {});


class AppContext {
 public:
  AppContext();
  AppContext(const AppContext&) = delete;
  AppContext& operator=(const AppContext&) = delete;

  DeviceSettings& Settings() { return settings_; }

  // The tracker's port name ("ttyACM0" or a path); empty until found. Shown
  // and searched from; nothing opens it: operations lease the session's port.
  std::string portName;
  // The port of the tracker logged in, for one operation (Session::LeasePort);
  // the session's host provides it.
  std::function<Expected<std::unique_ptr<DevicePort>>()> portLeaser;
  // Ends the session when another tracker answers on its port (the host provides it).
  std::function<void()> trackerChanged;
  // The leased port, or why there is none (no tracker logged in: PortNotOpen).
  Expected<std::unique_ptr<DevicePort>> LeasePort() const;
  // The name stored for the connected device, "ZD573" when none.
  std::string deviceUserName{settings::kNoDeviceUserName};
  // The leave question of the pages ("STR_GLOBAL_CHANGE").
  QString leaveQuestion{QStringLiteral("Change")};
  // Where a file dialog starts: the folder of the last file saved or opened
  // (kept in system.ini across runs), at first the home folder.
  QString FileFolder() const;
  void RememberFileFolder(const QString& file) const;
  // The provisioning report named last (kept in system.ini); empty at first.
  QString ReportFile() const;
  void RememberReportFile(const QString& path) const;
  Durations durations;
  Notifier notifier;  // MessageBoxes() unless a test replaces it
  // Message boxes captioned with the program's name in the current language: the default notifier.
  Notifier MessageBoxes();
  // Ends the program with an exit code; the default leaves the event loop.
  std::function<void(int code)> exitProgram;
  // Hands a move of the window to the window system (QWindow::startSystemMove);
  // tests record the request instead, since an offscreen window cannot move.
  std::function<bool(QWindow* window)> windowMover;

  // The current language, as read from system.ini or set by the settings page.
  const std::string& Language() const { return language_; }
  void SetLanguage(std::string language);
  void ReadLanguage();
  // Takes the texts of the current language and the device code page once;
  // a window calls this when it opens, and the language change calls it.
  void Refresh();
  // The language's locale (dates, times, Qt's own texts follow it).
  const QLocale& Locale() const { return locale_; }
  // The locale's name as the language file gives it ("zh_TW").
  std::string LocaleName() const;

  settings::IniFile SystemIni() const;
  const settings::TextLookup& Lookup() const { return lookup_; }
  // Texts of the current language; the one-argument form uses the built-in default.
  QString Text(std::string_view key) const;
  QString Text(std::string_view key, std::string_view english) const;
  QString FamilyText(std::string_view family, int index) const;

  // The device text encoding and conversions to and from it.
  int CodePage() const { return codePage_; }
  // Takes the encoding that applies to the identified tracker (Imei()).
  void FollowTracker();
  // Texts were written to the tracker: its encoding stays with it.
  void RememberTrackerEncoding() const;
  // How typed values become device values.
  ValueRules Rules() const { return ValueRules{codePage_, false}; }
  QString FromDevice(const std::string& bytes) const;
  Expected<std::string> ToDevice(const QString& text) const;

  // Before a write: `keys` of the record (every one when none are named)
  // saved as the tracker's newest backup. The file, or why it could not be
  // saved (BackupFailedText words it): then nothing may be sent.
  Expected<std::string> BackUpBeforeWrite(const std::vector<std::string_view>& keys = {}) const;

  // The device's IMEI and the name stored for it (empty when none).
  std::string Imei() const { return settings_.Text("B2"); }
  std::string StoredUserName(const std::string& imei) const;
  // For a worker thread: the same by IMEI, and the text encoding that
  // applies to a tracker (as FollowTracker takes it), each read when asked.
  std::function<std::string(const std::string& imei)> StoredUserNames() const;
  std::function<int(const std::string& imei)> TrackerCodePages() const;

  void ShowMessage(QWidget* parent, const QString& text, MessageIcon icon) const;
  void ShowError(QWidget* parent, const QString& text) const { ShowMessage(parent, text, MessageIcon::Error); }
  void ShowCaptioned(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon) const;
  QString AskSaveFile(QWidget* parent, const QString& folder, const QString& filter, const QString& suffix) const;
  QString AskOpenFile(QWidget* parent, const QString& folder, const QString& filter) const;
  QString AskFolder(QWidget* parent, const QString& folder) const;
  // The error's message, the system's reason and, for a port, what to do about it.
  void ShowFailure(QWidget* parent, const Error& error) const;
  bool AskYesNo(QWidget* parent, const QString& text, bool noByDefault = false) const;
  void Exit(int code) const;
  bool StartWindowMove(QWidget* window) const;

 private:
  DeviceSettings settings_;
  std::string language_{settings::kDefaultLanguage};
  settings::TextLookup lookup_;
  int codePage_ = DeviceValues::kSingleByteCodePage;
  QLocale locale_{QLocale::English, QLocale::UnitedStates};
};

}  // namespace zd573
