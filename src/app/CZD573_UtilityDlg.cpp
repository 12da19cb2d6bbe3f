#include "app/CZD573_UtilityDlg.h"

#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <array>
#include <span>

#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "app/ProfileMenu.h"
#include "frame/Accessibility.h"
#include "frame/BandDrag.h"
#include "frame/PageFrame.h"
#include "frame/Skin.h"
#include "logger/log_archive.h"
#include "pages/LoggerPage.h"
#include "pages/LoginPage.h"
#include "pages/PageRegistry.h"
#include "pages/SetupPage.h"
#include "pages/TrackView.h"

namespace zd573 {

namespace {

// The settings button's pictures; the pages' come from their registry.
constexpr PageEntry::Pictures kSettingsPictures{168, 169, 170};

// Page buttons sit in a grid of three columns, as many rows as they need.
constexpr std::size_t kColumns = 3;
constexpr int kGridLeft = 270;
constexpr int kGridTop = 112;
constexpr int kColumnStep = 178;
constexpr int kRowStep = 196;
const QColor kCaptionColour{0x17, 0x24, 0x32};
const QColor kStatusColour{0x1F, 0x31, 0x43};
const QColor kBandTextColour{255, 255, 255};
// In the left column, under Login, or under the file buttons while they show.
constexpr QPoint kTrackAlone{34, 344};
constexpr QPoint kTrackUnderFiles{34, 482};

}  // namespace

CZD573_UtilityDlg::CZD573_UtilityDlg(AppContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), context_(context) {
  // 802 x 602; the window system places it.
  setFixedSize(802, 602);
  // The menu paints the window's picture; a page or a sheet covers it with its own.
  menu_ = skin::MakePictureView(this, skin::kMainBackground);
  menu_->setGeometry(rect());
  CreateControls();
  // The logo button's picture, decoded once for the button and the icon.
  if (const QImage logo = logo_->NormalPicture(); !logo.isNull()) setWindowIcon(QIcon(QPixmap::fromImage(logo)));
  context_.ReadLanguage();
  session_ = new SessionHost(context_, this);
  connect(session_, &SessionHost::changed, this, &CZD573_UtilityDlg::OnSession);
  // The file buttons, after Loginout for the keyboard.
  files_ = new ProfileMenu(context_, *session_, menu_,
                           {[this] { return !OpenSheet() && !page_; }, [this](SkinnedDialog* s) { ShowSheetOver(menu_, s); }});
  QWidget::setTabOrder(logout_, files_->SaveButton());
  QWidget::setTabOrder(files_->SaveButton(), files_->LoadButton());
  QWidget::setTabOrder(files_->LoadButton(), files_->UndoButton());
  QWidget::setTabOrder(files_->UndoButton(), files_->SaveEachButton());
  // After the page buttons: Login is followed by the pages, as ever.
  QWidget::setTabOrder(pageButtons_.back(), track_);
  ShowAbilities();
  status_ = kSearching;
  ApplyTexts();
}

// The session's threads end before the window they report to.
CZD573_UtilityDlg::~CZD573_UtilityDlg() { session_->Get().Stop(); }

std::vector<int> CZD573_UtilityDlg::PageButtonIds() {
  std::vector<int> ids;
  for (const PageEntry& page : ConfigurationPages()) ids.push_back(page.buttonId);
  ids.push_back(kSettingsButton);
  return ids;
}

void CZD573_UtilityDlg::CreateControls() {
  QWidget* const view = menu_;
  appName_ = new CLabel(view);
  appName_->setGeometry(28, 20, 400, 40);
  skin::StyleLabel(appName_, kBandTextColour, 18, true);
  appName_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  minimise_ = skin::MakeButton(view, skin::kMinimiseNormal, skin::kMinimisePressed, QRect(762, 2, 16, 16));
  close_ = skin::MakeButton(view, skin::kCloseNormal, skin::kClosePressed, QRect(782, 2, 16, 16));
  connect(minimise_, &QAbstractButton::clicked, this, &QWidget::showMinimized);
  connect(close_, &QAbstractButton::clicked, this, &QWidget::close);

  logo_ = skin::MakeButton(view, skin::kLogo, skin::kLogo, QRect(76, 140, 96, 96));
  logo_->setCursor(Qt::ArrowCursor);
  MarkDecorative(logo_);

  const std::span<const PageEntry> pages = ConfigurationPages();
  const std::vector<int> ids = PageButtonIds();
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const PageEntry::Pictures look = i < pages.size() ? pages[i].pictures : kSettingsPictures;
    const int id = ids[i];
    const int x = kGridLeft + static_cast<int>(i % kColumns) * kColumnStep;
    const int y = kGridTop + static_cast<int>(i / kColumns) * kRowStep;
    CGdipButton* button = skin::MakeButton(view, look.normal, look.pressed, QRect(x, y, 115, 115));
    button->SetDisabledImage(look.disabled);
    connect(button, &QAbstractButton::clicked, this, [this, id] { OnPageButton(id); });
    pageButtons_.push_back(button);
    auto* caption = new CLabel(view);
    caption->SetControlId(kFirstCaption + static_cast<int>(i));
    caption->setGeometry(x - 30, y + 120, 175, 26);
    skin::StyleLabel(caption, kCaptionColour, skin::kCaptionPoints, true);
    caption->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    captions_.push_back(caption);
  }
  MakeTileGrid(view, {pageButtons_.begin(), pageButtons_.end()}, kColumns);

  login_ = skin::MakeButton(view, 178, 179, QRect(54, 262, 140, 40));
  login_->SetDisabledImage(180);
  login_->SetCaptionColor(Qt::white);
  login_->SetCaptionPointSize(14);
  logout_ = skin::MakeButton(view, 256, 255, QRect(54, 262, 140, 40));
  logout_->SetDisabledImage(180);
  logout_->SetCaptionColor(Qt::white);
  logout_->SetCaptionPointSize(14);
  logout_->SetCaptionOffset(20, 0);
  // A saved track needs no tracker: the button is always there.
  track_ = skin::MakeButton(view, skin::kTrackFileNormal, skin::kTrackFilePressed, QRect(kTrackAlone, QSize(180, 36)));
  track_->SetCaptionColor(QColor(0x0E, 0x7C, 0x86));
  track_->SetCaptionPointSize(11);
  track_->SetCaptionOffset(12, 0);
  connect(track_, &QAbstractButton::clicked, this, &CZD573_UtilityDlg::OnViewTrack);
  connect(login_, &QAbstractButton::clicked, this, &CZD573_UtilityDlg::OnLogin);
  connect(logout_, &QAbstractButton::clicked, this, &CZD573_UtilityDlg::OnLogout);

  statusLabel_ = new CLabel(view);
  statusLabel_->SetControlId(kStatusLabel);
  statusLabel_->setGeometry(28, 550, 744, 36);
  skin::StyleLabel(statusLabel_, kStatusColour, 13, true);
  statusLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  statusLabel_->SetAccessibleRole(QAccessible::StatusBar);
  statusLine_ = std::make_unique<StatusLine>(context_, statusLabel_, kIdentified, kReading);

  // Minimise and close stay with the mouse: Tab then Space must never end
  // the program. Login first, then the page buttons in reading order.
  minimise_->setFocusPolicy(Qt::NoFocus);
  close_->setFocusPolicy(Qt::NoFocus);
  QWidget::setTabOrder(login_, logout_);
  QWidget* previous = logout_;
  for (CGdipButton* button : pageButtons_) {
    QWidget::setTabOrder(previous, button);
    previous = button;
  }
}

CGdipButton* CZD573_UtilityDlg::Button(int id) const {
  switch (id) {
    case kMinimiseButton: return minimise_;
    case kCloseButton: return close_;
    case kLoginButton: return login_;
    case kLogoutButton: return logout_;
    case kLogo: return logo_;
    case kTrackButton: return track_;
    default: break;
  }
  const std::vector<int> ids = PageButtonIds();
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (ids[i] == id) return pageButtons_[i];
  }
  return nullptr;
}

void CZD573_UtilityDlg::ApplyTexts() {
  // The context has the language's texts already: every caller has just set it.
  const QString title = context_.Text("STR_MAINPAGE_APPNAME", "ZD-573 Utility");
  appName_->SetLabelText(title);
  logo_->SetSpokenName(title);
  ShowTitle();
  // A page's button says the page's title; the last is Settings.
  const std::span<const PageEntry> pages = ConfigurationPages();
  for (std::size_t i = 0; i < pages.size(); ++i)
    captions_[i]->SetLabelText(context_.Text(pages[i].titleKey, pages[i].titleDefault));
  captions_.back()->SetLabelText(context_.Text("STR_MAINPAGE_STR6", "Settings"));
  statusLine_->LoadTexts();
  statusLine_->Show(status_);
  minimise_->SetSpokenName(context_.Text("STR_GLOBAL_MINIMISE", "Minimise"));
  close_->SetSpokenName(context_.Text("STR_GLOBAL_CLOSE", "Close"));
  // A page button is named by the caption under it.
  for (std::size_t i = 0; i < pageButtons_.size(); ++i) pageButtons_[i]->SetSpokenName(captions_[i]->text());
  login_->SetCaption(context_.Text("STR_MAINPAGE_CONNECT", "Login"));
  logout_->SetCaption(context_.Text("STR_MAINPAGE_DISCONNECT", "  Loginout"));
  files_->ApplyTexts();
  track_->SetCaption(context_.Text("STR_MAINPAGE_TRACK", "View a track…"));
  track_->SetSpokenName(track_->Caption());
  update();
}

void CZD573_UtilityDlg::ShowTitle() {
  // Task bars and window lists say where the user is.
  const PageFrame* shown = trackView_ ? static_cast<PageFrame*>(trackView_) : page_.data();
  setWindowTitle(PlainCaption(shown ? shown->Title() : context_.Text("STR_MAINPAGE_APPNAME", "ZD-573 Utility")));
}

void CZD573_UtilityDlg::SetStatus(int code) {
  status_ = code;
  statusLine_->Show(status_);
  emit statusChanged(code);
}

void CZD573_UtilityDlg::ShowAbilities() {
  const Session& session = session_->Get();
  login_->setVisible(!session.LoggedIn());
  logout_->setVisible(session.LoggedIn());
  login_->SetDisabledState(!session.CanLogin());
  EnablePageButtons(session.LoggedIn());
  files_->Show(session.LoggedIn());
  track_->move(session.LoggedIn() ? kTrackUnderFiles : kTrackAlone);
}

void CZD573_UtilityDlg::EnablePageButtons(bool on) {
  // The settings button stays usable in every state.
  for (std::size_t i = 0; i < ConfigurationPages().size(); ++i) pageButtons_[i]->SetDisabledState(!on);
}

bool CZD573_UtilityDlg::LoginUsable() const { return login_->isVisible() && !login_->DisabledState(); }

void CZD573_UtilityDlg::OnSession(const SessionNotice& notice) {
  switch (notice.kind) {
    case SessionNotice::Kind::Progress: statusLine_->ShowProgress(notice.progress); return;
    case SessionNotice::Kind::LoginShut: ShowAbilities(); return;
    case SessionNotice::Kind::PortBusy: statusLine_->ShowBusy(); return;
    case SessionNotice::Kind::Entered: break;
  }
  const bool unplugged = notice.reason == SessionReason::Unplugged;
  // A sheet setting up one tracker after another reports what becomes of each itself.
  const bool spanning = OpenSheet() && OpenSheet()->SpansTrackers();
  if (unplugged) {
    // Nothing typed or built from this tracker's values can reach the next one.
    if (SkinnedDialog* sheet = OpenSheet(); sheet && !spanning) sheet->reject();
    if (page_) page_->Abandon();
  }
  ShowAbilities();
  // The keyboard goes back where Login was (greyed, it lost the focus during the read).
  if (notice.state == SessionState::Ready && menu_->isVisible() && !OpenSheet())
    logout_->setFocus(Qt::OtherFocusReason);
  // The status of each state, in the order of SessionState.
  constexpr std::array<int, 7> kStatusOf{kSearching, kIdentified, kPasswordCorrect, kReading,
                                         kReadCorrect, kNoDevice,   kReadFailure};
  SetStatus(notice.reason == SessionReason::WrongPassword ? kPasswordError
                                                          : kStatusOf.at(static_cast<std::size_t>(notice.state)));
  // The state is shown first: a message box runs its own event loop.
  if (notice.error && !spanning) statusLine_->Fail(this, *notice.error);
  if (unplugged && !spanning) {
    context_.ShowMessage(this,
                         context_.Text("STR_MAINPAGE_DEVICEGONE",
                                       "The tracker was unplugged or changed. Log in again to go on."),
                         MessageIcon::Warning);
    // What the user does next is log in again.
    focusLogin_ = true;
  }
  FocusLoginWhenUsable();
}

void CZD573_UtilityDlg::FocusLoginWhenUsable() {
  // Greyed until the tracker is identified again, Login cannot take the keyboard before.
  if (!focusLogin_ || !LoginUsable() || OpenSheet() || page_ || trackView_ || !menu_->isVisible()) return;
  focusLogin_ = false;
  login_->setFocus(Qt::OtherFocusReason);
}

SkinnedDialog* CZD573_UtilityDlg::OpenSheet() const {
  // A finished sheet's overlay is hidden at once, before either is deleted.
  for (SkinnedDialog* sheet : findChildren<SkinnedDialog*>())
    if (sheet->isVisibleTo(this)) return sheet;
  return nullptr;
}

void CZD573_UtilityDlg::ShowSheetOver(QWidget* under, SkinnedDialog* sheet) {
  ShowSheet(under, sheet);
  connect(sheet, &SkinnedDialog::finished, sheet, [sheet] { DeleteWhenNoModal(sheet); });
}

void CZD573_UtilityDlg::OnLogin() {
  if (!LoginUsable() || OpenSheet() || page_) return;
  focusLogin_ = false;
  if (!session_->Get().AsksPassword()) {
    session_->Get().Login({});
    return;
  }
  auto* sheet = new LoginPage(context_, nullptr);
  connect(sheet, &SkinnedDialog::finished, this, [this, sheet](int result) {
    // The search may have run while the sheet was open and found no tracker:
    // the session then ignores the login.
    if (result == SkinnedDialog::Accepted) session_->Get().Login(sheet->Typed().toStdString());
  });
  ShowSheetOver(menu_, sheet);
}

void CZD573_UtilityDlg::OnLogout() {
  if (!OpenSheet() && !page_) session_->Get().Logout();
}

void CZD573_UtilityDlg::OnSettings() {
  if (OpenSheet() || page_ || trackView_) return;
  auto* sheet = new SetupPage(context_, nullptr);
  connect(sheet, &SetupPage::languageChanged, this, &CZD573_UtilityDlg::ApplyTexts);
  connect(sheet, &SetupPage::viewArchive, this, [this](const QString& imei) {
    const std::string id = imei.toStdString();
    const std::string name = context_.StoredUserName(id);
    if (TrackView* view = OpenTrackView())
      view->OpenPath(QString::fromStdString(logger::ArchivePath(id)), id,
                     QString::fromStdString(name.empty() ? id : name));
  });
  ShowSheetOver(menu_, sheet);
}

void CZD573_UtilityDlg::OnViewTrack() {
  if (OpenSheet() || page_ || trackView_) return;
  const QString path = context_.AskOpenFile(
      this, context_.FileFolder(), context_.Text("STR_TRACKVIEW_FILTER", "Tracks (*.log *.csv *.gpx);;All files (*)"));
  if (path.isEmpty()) return;
  context_.RememberFileFolder(path);
  if (TrackView* view = OpenTrackView()) view->OpenPath(path);
}

TrackView* CZD573_UtilityDlg::OpenTrackView() {
  if (trackView_ || OpenSheet()) return nullptr;
  auto* view = new TrackView(context_, this);
  trackView_ = view;
  // Back returns to what the view was opened over, as its caption says.
  view->SetBackCaption(page_ ? page_->Title() : context_.Text("STR_GLOBAL_MENU", "Menu"));
  connect(view, &PageFrame::closed, this, &CZD573_UtilityDlg::OnTrackViewClosed);
  (page_ ? static_cast<QWidget*>(page_) : menu_)->hide();
  view->show();
  view->raise();
  view->FocusFirstField();
  ShowTitle();
  return view;
}

void CZD573_UtilityDlg::OnTrackViewClosed() {
  trackView_ = nullptr;
  if (page_) {
    page_->show();
    if (auto* logger = qobject_cast<LoggerPage*>(page_.data())) logger->ViewButton()->setFocus(Qt::OtherFocusReason);
  } else {
    menu_->show();
    track_->setFocus(Qt::OtherFocusReason);
    FocusLoginWhenUsable();
  }
  ShowTitle();
}

void CZD573_UtilityDlg::OnPageButton(int id) {
  if (id == kSettingsButton) {
    OnSettings();
    return;
  }
  // One page at a time, and none over a sheet.
  if (page_ || OpenSheet() || trackView_) return;
  CGdipButton* button = Button(id);
  if (!button || button->DisabledState()) return;
  PageFrame* page = MakePage(id, context_, this);
  if (!page) return;
  page_ = page;
  connect(page, &PageFrame::closed, this, [this, id] { OnPageClosed(id); });
  if (auto* logger = qobject_cast<LoggerPage*>(page))
    connect(logger, &LoggerPage::viewTrack, this, [this](const std::shared_ptr<const TrackSource>& track) {
      if (TrackView* view = OpenTrackView()) view->Show(track);
    });
  // The page takes the menu's place; nothing of the menu can be reached.
  menu_->hide();
  page->show();
  page->raise();
  page->FocusFirstField();
  ShowTitle();
}

void CZD573_UtilityDlg::OnPageClosed(int buttonId) {
  page_ = nullptr;
  // A track view opened over the page stays (it needs no tracker) and returns to the menu.
  if (trackView_) {
    trackView_->SetBackCaption(context_.Text("STR_GLOBAL_MENU", "Menu"));
    return;
  }
  menu_->show();
  ShowTitle();
  // Back where the user left the menu.
  if (CGdipButton* button = Button(buttonId)) button->setFocus(Qt::OtherFocusReason);
}

void CZD573_UtilityDlg::mousePressEvent(QMouseEvent* event) {
  if (!BandDrag::Press(context_, this, event)) QWidget::mousePressEvent(event);
}

void CZD573_UtilityDlg::keyPressEvent(QKeyEvent* event) {
  // Escape with nothing of the page focused still leaves it.
  if (event->key() == Qt::Key_Escape && (trackView_ || page_) && !OpenSheet()) {
    event->accept();
    trackView_ ? trackView_->Back() : page_->Back();
    return;
  }
  QWidget::keyPressEvent(event);
}

void CZD573_UtilityDlg::closeEvent(QCloseEvent* event) {
  // A close request from the desktop leaves an open page through its leave
  // test; the band's close button ends the program without one. Sentences
  // still being written are finished first, or stopped, as the user says.
  const auto closeLater = [window = QPointer<QWidget>(this)] {
    if (window) window->close();
  };
  if (SkinnedDialog* sheet = OpenSheet(); sheet && !sheet->MayClose(closeLater)) {
    event->ignore();
    return;
  }
  if (page_ && (!page_->MayClose(closeLater) || !page_->Back())) {
    event->ignore();
    return;
  }
  session_->Get().Stop();
  QWidget::closeEvent(event);
  context_.Exit(0);
}

}  // namespace zd573
