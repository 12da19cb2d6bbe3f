#pragma once
// The one window of the utility: its menu shows the session with the tracker
// (searching, identified, logging in, reading, ready) on a one-line status,
// forwards Login and Loginout to it, and opens the pages. Pages replace the
// menu inside the window, one at a time; the login and settings sheets are
// drawn over the dimmed menu.
#include <QString>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frame/AppContext.h"
#include "frame/PageFrame.h"
#include "frame/SessionHost.h"
#include "frame/SkinnedDialog.h"
#include "frame/StatusLine.h"
#include "pages/TrackView.h"

namespace zd573 {

class CGdipButton;
class CLabel;
class ProfileMenu;

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
  static constexpr int kFirstCaption = 1099;  // one under each page button, in order
  static constexpr int kLogo = 1202;
  static constexpr int kTrackButton = 1018;  // "View a track…", under the file buttons
  // The menu's buttons in caption order: one per registered page, then Settings.
  static std::vector<int> PageButtonIds();

  explicit CZD573_UtilityDlg(AppContext& context, QWidget* parent = nullptr);
  ~CZD573_UtilityDlg() override;

  // A port given by the user: the search then only checks nothing and uses it.
  void SetFixedPort(std::string port) { session_->Get().SetFixedPort(std::move(port)); }
  // Watches `dir` for tty nodes coming and going (the device-change notice).
  void WatchDeviceDirectory(const QString& dir) { session_->WatchDeviceDirectory(dir); }

  // Reloads every text from the language table.
  void ApplyTexts();

  int StatusCode() const { return status_; }
  QString StatusText() const { return statusLine_->Text(status_); }
  CGdipButton* Button(int id) const;
  CLabel* StatusLabel() const { return statusLabel_; }
  CLabel* Caption(int index) const { return captions_.at(static_cast<std::size_t>(index)); }
  bool SearchPending() const { return session_->Get().SearchPending(); }
  bool ReadRunning() const { return session_->Get().ReadRunning(); }
  bool Searching() const { return session_->Get().Searching(); }
  // The page shown in the menu's place, or none.
  PageFrame* OpenPage() const { return page_; }
  // The track view, over the menu or the page it was opened from, or none.
  TrackView* OpenTrack() const { return trackView_; }
  // The sheet showing, whoever opened it (the window, or a page over itself).
  SkinnedDialog* OpenSheet() const;
  // The view that holds the menu's controls.
  QWidget* Menu() const { return menu_; }
  ProfileMenu* Files() const { return files_; }

  // The handlers of the buttons and notices, callable directly.
  void OnLogin();
  void OnLogout();
  void OnSettings();
  void OnPageButton(int id);
  // "View a track…": the open dialog, then the track view on the file.
  void OnViewTrack();
  void OnDeviceChange() { session_->DeviceChange(); }
  void OnSearchTimer() { session_->Get().SearchNow(); }

 signals:
  void statusChanged(int code);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void OnSession(const SessionNotice& notice);
  void OnPageClosed(int buttonId);
  // The track view over what shows now, which it hides until it closes.
  TrackView* OpenTrackView();
  void OnTrackViewClosed();
  void ShowSheetOver(QWidget* under, SkinnedDialog* sheet);
  void ShowTitle();
  void SetStatus(int code);
  // Login or Loginout, and which buttons work, as the session allows.
  void ShowAbilities();
  // Gives the keyboard to Login once it can be pressed and nothing lies over the menu.
  void FocusLoginWhenUsable();
  void EnablePageButtons(bool on);
  bool LoginUsable() const;

  AppContext& context_;
  SessionHost* session_ = nullptr;
  int status_ = kSearching;
  std::unique_ptr<StatusLine> statusLine_;
  QPointer<PageFrame> page_;
  QWidget* menu_ = nullptr;

  CLabel* appName_ = nullptr;
  CGdipButton* logo_ = nullptr;
  CGdipButton* minimise_ = nullptr;
  CGdipButton* close_ = nullptr;
  CGdipButton* login_ = nullptr;
  CGdipButton* logout_ = nullptr;
  ProfileMenu* files_ = nullptr;  // Save to file, Load from file
  CGdipButton* track_ = nullptr;  // View a track…
  QPointer<TrackView> trackView_;
  // One per entry of PageButtonIds().
  std::vector<CGdipButton*> pageButtons_;
  std::vector<CLabel*> captions_;
  CLabel* statusLabel_ = nullptr;
  // The tracker went away: the keyboard goes to Login as soon as it can be pressed.
  bool focusLogin_ = false;
};

}  // namespace zd573
