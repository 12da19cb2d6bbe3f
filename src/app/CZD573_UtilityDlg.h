#pragma once
// The one window of the utility: its menu watches for the tracker, identifies
// it, logs in, starts the full settings read, shows a one-line status and
// opens the pages. Pages replace the menu inside the window, one at a time;
// the login and settings sheets are drawn over the dimmed menu.
#include <QFileSystemWatcher>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "device/settings_reader.h"
#include "frame/AppContext.h"
#include "frame/BackgroundTask.h"
#include "frame/BandDrag.h"
#include "frame/JobRelay.h"
#include "frame/PageFrame.h"
#include "frame/SkinnedDialog.h"

namespace zd573 {

class CGdipButton;
class CLabel;
class PageFrame;
class SkinnedDialog;

class CZD573_UtilityDlg : public QWidget {
  Q_OBJECT

 public:
  // Status codes: the index of the status text shown.
  enum StatusCode {
    kSearching = 0,
    kIdentified = 1,
    kReading = 2,
    kReadCorrect = 3,
    kReadFailure = 4,
    kPasswordCorrect = 5,
    kPasswordError = 6,
    kNoDevice = 7,
  };
  static constexpr int kStatusCount = 8;

  // Control ids.
  static constexpr int kInfoButton = 1002;
  static constexpr int kMinimiseButton = 1003;
  static constexpr int kCloseButton = 1004;
  static constexpr int kMsgButton = 1005;
  static constexpr int kGprsButton = 1006;
  static constexpr int kRingButton = 1007;
  static constexpr int kLoggerButton = 1008;
  static constexpr int kSettingsButton = 1011;
  static constexpr int kLoginButton = 1012;
  static constexpr int kLogoutButton = 1013;
  static constexpr int kStatusLabel = 1017;
  static constexpr int kFirstCaption = 1099;  // to 1104, one under each page button
  static constexpr int kLogo = 1202;
  // The six page buttons in caption order; the first five open pages.
  static constexpr std::array<int, 6> kPageButtons{kInfoButton, kMsgButton, kGprsButton,
                                                   kRingButton, kLoggerButton, kSettingsButton};

  explicit CZD573_UtilityDlg(AppContext& context, QWidget* parent = nullptr);
  ~CZD573_UtilityDlg() override;

  // A port given by the user: the search then only checks nothing and uses it.
  void SetFixedPort(std::string port) { fixedPort_ = std::move(port); }
  // Watches `dir` for tty nodes coming and going (the device-change notice).
  void WatchDeviceDirectory(const QString& dir);

  // Reloads every text from the language table.
  void ApplyTexts();

  int StatusCode() const { return status_; }
  QString StatusText() const;
  CGdipButton* Button(int id) const;
  CLabel* StatusLabel() const { return statusLabel_; }
  CLabel* Caption(int index) const { return captions_.at(static_cast<std::size_t>(index)); }
  bool SearchPending() const { return searchTimer_.isActive(); }
  bool ReadRunning() const { return reader_->Running(); }
  bool Searching() const { return search_.Running(); }
  // The page shown in the menu's place, or none.
  PageFrame* OpenPage() const { return page_; }
  // The sheet shown over the menu or the page, or none.
  // The sheet showing, whoever opened it (the window, or a page over itself).
  SkinnedDialog* OpenSheet() const;
  // The view that holds the menu's controls.
  QWidget* Menu() const { return menu_; }

  // The handlers of the buttons and notices, callable directly.
  void OnLogin();
  void OnLogout();
  void OnSettings();
  void OnPageButton(int id);
  void OnDeviceChange();
  void OnSearchTimer();

 signals:
  void statusChanged(int code);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void OnSearchDone(bool found, const std::string& port);
  void OnLoginSheetDone(int result);
  void OnPageClosed(int buttonId);
  void ShowSheetOver(QWidget* under, SkinnedDialog* sheet);
  void ShowTitle();
  void EndSession();
  void SetStatus(int code);
  void ShowStatus();
  void ShowLoginButton(bool loginVisible);
  void EnableLogin(bool on);
  bool LoginUsable() const;
  void EnablePageButtons(bool on);
  void RestartSearch();
  void ToNoDevice();
  void StopRead();
  Status StartRead(ReadKind kind);
  void StartFullRead();
  void OnIdentified();
  void OnReadComplete();
  void OnReadProgress(Progress progress);
  void OnReadFailed();
  QStringList TtyNames() const;

  AppContext& context_;
  std::string fixedPort_;
  // The reader's notices reach the window as queued calls; a stopped read's are dropped.
  ReadRelay readNotices_;
  std::unique_ptr<SettingsReader> reader_;
  std::optional<ReadKind> readKind_;

  int status_ = kSearching;
  std::array<QString, kStatusCount> statusTexts_;
  QTimer searchTimer_;
  QTimer loginTimer_;
  QFileSystemWatcher watcher_;
  QString watchedDir_;
  QStringList ttys_;
  QPointer<PageFrame> page_;
  // The port search pauses per matching port: it runs off the window thread.
  BackgroundTask search_{this};
  QWidget* menu_ = nullptr;

  CLabel* appName_ = nullptr;
  CGdipButton* logo_ = nullptr;
  CGdipButton* minimise_ = nullptr;
  CGdipButton* close_ = nullptr;
  CGdipButton* login_ = nullptr;
  CGdipButton* logout_ = nullptr;
  std::array<CGdipButton*, 6> pageButtons_{};
  std::array<CLabel*, 6> captions_{};
  CLabel* statusLabel_ = nullptr;
};

}  // namespace zd573
