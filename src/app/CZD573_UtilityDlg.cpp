#include "app/CZD573_UtilityDlg.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <span>

#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "frame/Accessibility.h"
#include "device/device_port.h"
#include "device/port_finder.h"
#include "frame/PageFrame.h"
#include "frame/Skin.h"
#include "pages/LoginPage.h"
#include "pages/PageRegistry.h"
#include "pages/SetupPage.h"
#include "settings/language.h"

namespace zd573 {

namespace {

// The settings button's pictures; the pages' come from their registry.
constexpr PageEntry::Pictures kSettingsPictures{168, 169, 170};

constexpr std::array<std::string_view, 8> kStatusDefaults{
    "Search Device...",     "IMEI: %s",         "Reading Setting ...", "Read Setting Correct",
    "Read Setting  Failure", "Password Correct", "Password Error",      "No Device"};

// Page buttons sit in a grid of three columns and two rows.
constexpr int kGridLeft = 270;
constexpr int kGridTop = 112;
constexpr int kColumnStep = 178;
constexpr int kRowStep = 196;

const QColor kCaptionColour{0x17, 0x24, 0x32};
const QColor kStatusColour{0x1F, 0x31, 0x43};
const QColor kBandTextColour{255, 255, 255};

// The menu's view paints the window's picture itself: its image buttons take
// their background from it.
class PictureView : public QWidget {
 public:
  PictureView(QWidget* parent, int id) : QWidget(parent), picture_(id) {
    // At the screen's pixel density; a missing picture is told once and the menu works without it.
    picture_.Load(this);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    picture_.Draw(p, {1, 1}, event->rect(), this);
  }

 private:
  SkinPicture picture_;
};

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

CZD573_UtilityDlg::CZD573_UtilityDlg(AppContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      context_(context),
      readNotices_(this, ReadRelay::Handlers{
                             .identified = [this](const std::string&, const std::string&) { OnIdentified(); },
                             .progress = [this](Progress p) { OnReadProgress(p); },
                             .complete = [this] { OnReadComplete(); },
                             .failed = [this](const std::string&) { OnReadFailed(); },
                         }) {
  ReadOptions options;
  options.fullReadStall = context_.durations.fullReadStall;
  reader_ = std::make_unique<SettingsReader>(context_.Settings(), readNotices_, options);

  // 802 x 602; the window system places it.
  setFixedSize(802, 602);
  // The menu paints the window's picture; a page or a sheet covers it with its own.
  menu_ = new PictureView(this, skin::kMainBackground);
  menu_->setGeometry(rect());
  CreateControls();
  // The logo button's picture, decoded once for the button and the icon.
  if (const QImage logo = logo_->NormalPicture(); !logo.isNull()) setWindowIcon(QIcon(QPixmap::fromImage(logo)));

  ShowLoginButton(true);
  EnableLogin(false);
  EnablePageButtons(false);

  // Coarse timers may fire a little early; the tracker's pauses are minimums.
  searchTimer_.setTimerType(Qt::PreciseTimer);
  loginTimer_.setTimerType(Qt::PreciseTimer);
  searchTimer_.setSingleShot(true);
  searchTimer_.setInterval(context_.durations.searchDelay);
  connect(&searchTimer_, &QTimer::timeout, this, &CZD573_UtilityDlg::OnSearchTimer);
  loginTimer_.setSingleShot(true);
  loginTimer_.setInterval(context_.durations.loginPause);
  connect(&loginTimer_, &QTimer::timeout, this, &CZD573_UtilityDlg::StartFullRead);
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
    const QStringList now = TtyNames();
    if (now != ttys_) {
      ttys_ = now;
      OnDeviceChange();
    }
  });

  searchTimer_.start();
  context_.ReadLanguage();
  status_ = kSearching;
  ApplyTexts();
}

CZD573_UtilityDlg::~CZD573_UtilityDlg() {
  // The worker must be gone before the window it reports to.
  reader_->Stop();
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
  for (std::size_t i = 0; i < kPageButtons.size(); ++i) {
    const bool settings = i == pages.size();
    const PageEntry::Pictures look = settings ? kSettingsPictures : pages[i].pictures;
    const int id = settings ? kSettingsButton : pages[i].buttonId;
    const int x = kGridLeft + static_cast<int>(i % 3) * kColumnStep;
    const int y = kGridTop + static_cast<int>(i / 3) * kRowStep;
    CGdipButton* button = skin::MakeButton(view, look.normal, look.pressed, QRect(x, y, 115, 115));
    button->SetDisabledImage(look.disabled);
    connect(button, &QAbstractButton::clicked, this, [this, id] { OnPageButton(id); });
    pageButtons_[i] = button;
    auto* caption = new CLabel(view);
    caption->SetControlId(kFirstCaption + static_cast<int>(i));
    caption->setGeometry(x - 30, y + 120, 175, 26);
    skin::StyleLabel(caption, kCaptionColour, skin::kCaptionPoints, true);
    caption->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    captions_[i] = caption;
  }

  login_ = skin::MakeButton(view, 178, 179, QRect(54, 262, 140, 40));
  login_->SetDisabledImage(180);
  login_->SetCaptionColor(Qt::white);
  login_->SetCaptionPointSize(14);
  logout_ = skin::MakeButton(view, 256, 255, QRect(54, 262, 140, 40));
  logout_->SetDisabledImage(180);
  logout_->SetCaptionColor(Qt::white);
  logout_->SetCaptionPointSize(14);
  logout_->SetCaptionOffset(20, 0);
  connect(login_, &QAbstractButton::clicked, this, &CZD573_UtilityDlg::OnLogin);
  connect(logout_, &QAbstractButton::clicked, this, &CZD573_UtilityDlg::OnLogout);

  statusLabel_ = new CLabel(view);
  statusLabel_->SetControlId(kStatusLabel);
  statusLabel_->setGeometry(28, 550, 744, 36);
  skin::StyleLabel(statusLabel_, kStatusColour, 13, true);
  statusLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  statusLabel_->SetAccessibleRole(QAccessible::StatusBar);

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
    default: break;
  }
  for (std::size_t i = 0; i < kPageButtons.size(); ++i) {
    if (kPageButtons[i] == id) return pageButtons_[i];
  }
  return nullptr;
}

void CZD573_UtilityDlg::WatchDeviceDirectory(const QString& dir) {
  if (!watchedDir_.isEmpty()) watcher_.removePath(watchedDir_);
  watchedDir_ = dir;
  ttys_ = TtyNames();
  watcher_.addPath(dir);
}

QStringList CZD573_UtilityDlg::TtyNames() const {
  if (watchedDir_.isEmpty()) return {};
  // Compared by hand: a name filter would build a regular expression engine for one prefix.
  QStringList names = QDir(watchedDir_).entryList(QDir::System | QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
  names.removeIf([](const QString& name) { return !name.startsWith(QLatin1String("tty"), Qt::CaseInsensitive); });
  names.sort();
  return names;
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
  for (int i = 0; i < kStatusCount; ++i) {
    statusTexts_[static_cast<std::size_t>(i)] =
        context_.Text(settings::FamilyKey("STR_MAINPAGE_DEVICE%d", i + 1), kStatusDefaults[static_cast<std::size_t>(i)]);
  }
  ShowStatus();
  minimise_->SetSpokenName(context_.Text("STR_GLOBAL_MINIMISE", "Minimise"));
  close_->SetSpokenName(context_.Text("STR_GLOBAL_CLOSE", "Close"));
  // A page button is named by the caption under it.
  for (std::size_t i = 0; i < pageButtons_.size(); ++i) pageButtons_[i]->SetSpokenName(captions_[i]->text());
  login_->SetCaption(context_.Text("STR_MAINPAGE_CONNECT", "Login"));
  logout_->SetCaption(context_.Text("STR_MAINPAGE_DISCONNECT", "  Loginout"));
  update();
}

void CZD573_UtilityDlg::ShowTitle() {
  // Task bars and window lists say where the user is.
  setWindowTitle(page_ ? PlainCaption(page_->Title())
                       : PlainCaption(context_.Text("STR_MAINPAGE_APPNAME", "ZD-573 Utility")));
}

QString CZD573_UtilityDlg::StatusText() const {
  if (status_ != kIdentified) return statusTexts_[static_cast<std::size_t>(status_)];
  const std::string imei = context_.Imei();
  // The name the user gave this device replaces the IMEI line.
  const std::string name = context_.StoredUserName(imei);
  if (!name.empty()) return Utf8(name);
  const std::string format = statusTexts_[kIdentified].toStdString();
  return Utf8(settings::FormatWithText(format, context_.FromDevice(imei).toStdString()));
}

void CZD573_UtilityDlg::SetStatus(int code) {
  status_ = code;
  ShowStatus();
  emit statusChanged(code);
}

void CZD573_UtilityDlg::ShowStatus() {
  if (status_ == kIdentified) {
    const std::string name = context_.StoredUserName(context_.Imei());
    context_.deviceUserName = name.empty() ? std::string(settings::kNoDeviceUserName) : name;
  }
  statusLabel_->SetLabelText(StatusText());
}

void CZD573_UtilityDlg::ShowLoginButton(bool loginVisible) {
  login_->setVisible(loginVisible);
  logout_->setVisible(!loginVisible);
}

void CZD573_UtilityDlg::EnableLogin(bool on) { login_->SetDisabledState(!on); }

void CZD573_UtilityDlg::EnablePageButtons(bool on) {
  // The settings button stays usable in every state.
  for (std::size_t i = 0; i < 5; ++i) pageButtons_[i]->SetDisabledState(!on);
}

void CZD573_UtilityDlg::RestartSearch() {
  searchTimer_.stop();
  searchTimer_.start(context_.durations.searchDelay);
}

void CZD573_UtilityDlg::StopRead() {
  // Stopping retires the read's notices at once, so one already queued is dropped.
  reader_->Stop();
  readKind_.reset();
}

void CZD573_UtilityDlg::ToNoDevice() {
  EnableLogin(false);
  ShowLoginButton(true);
  EnablePageButtons(false);
  SetStatus(kNoDevice);
}

void CZD573_UtilityDlg::OnSearchTimer() {
  searchTimer_.stop();
  if (!fixedPort_.empty()) {
    OnSearchDone(true, fixedPort_);
    return;
  }
  // The search pauses for each matching port; it runs off the window thread.
  search_.Run(
      [pause = context_.durations.portMatchPause, port = context_.portName](std::stop_token stop,
                                                                            const BackgroundTask::Relay&) mutable {
        const bool found = FindDevicePort(port, FindOptions{pause, std::move(stop)});
        return std::pair<bool, std::string>(found, port);
      },
      [this](std::pair<bool, std::string> result) { OnSearchDone(result.first, result.second); });
}

void CZD573_UtilityDlg::OnSearchDone(bool found, const std::string& port) {
  if (!found) {
    ToNoDevice();
    return;
  }
  context_.portName = port;
  // Identifying: the state stays as it is until the device answers.
  if (Status started = StartRead(ReadKind::Identify); !started) {
    // The port is there but will not open (no permission, another program
    // holds it): searching again at once would only fail again. Say why and
    // what to do, and look again when a device comes or goes. The state is
    // set first: the message box runs its own event loop.
    ToNoDevice();
    context_.ShowFailure(this, started.failure());
  }
}

Status CZD573_UtilityDlg::StartRead(ReadKind kind) {
  StopRead();
  Status started = reader_->StartReadThread(kind, context_.portName);
  if (started) readKind_ = kind;
  return started;
}

void CZD573_UtilityDlg::OnIdentified() {
  StopRead();
  EnableLogin(true);
  SetStatus(kIdentified);
}

bool CZD573_UtilityDlg::LoginUsable() const { return login_->isVisible() && !login_->DisabledState(); }

SkinnedDialog* CZD573_UtilityDlg::OpenSheet() const {
  // A finished sheet's overlay is hidden at once, before either is deleted.
  for (SkinnedDialog* sheet : findChildren<SkinnedDialog*>())
    if (sheet->isVisibleTo(this)) return sheet;
  return nullptr;
}

void CZD573_UtilityDlg::ShowSheetOver(QWidget* under, SkinnedDialog* sheet) {
  ShowSheet(under, sheet);
  connect(sheet, &SkinnedDialog::finished, sheet, &QObject::deleteLater);
}

void CZD573_UtilityDlg::OnLogin() {
  if (!LoginUsable() || OpenSheet() || page_) return;
  if (!context_.FromDevice(context_.Settings().Text("OU")).isEmpty()) {
    auto* sheet = new LoginPage(context_, nullptr);
    connect(sheet, &SkinnedDialog::finished, this, &CZD573_UtilityDlg::OnLoginSheetDone);
    ShowSheetOver(menu_, sheet);
    return;
  }
  OnLoginSheetDone(SkinnedDialog::Accepted);
}

void CZD573_UtilityDlg::OnLoginSheetDone(int result) {
  if (result != SkinnedDialog::Accepted) return;
  // The search may have run while the sheet was open and found no tracker:
  // there is nothing left to log in to.
  if (!LoginUsable()) return;
  const QString device = context_.FromDevice(context_.Settings().Text("OU"));
  if (!device.isEmpty() && context_.typedPassword != device) {
    SetStatus(kPasswordError);
    return;
  }
  SetStatus(kPasswordCorrect);
  EnableLogin(false);
  // "Password Correct" stays for a moment before the read starts.
  loginTimer_.start(context_.durations.loginPause);
}

void CZD573_UtilityDlg::StartFullRead() {
  if (Status started = StartRead(ReadKind::FullRead); !started) {
    // Nothing is being read, and pressing Login again would only fail again
    // (the tracker was unplugged, or another program took its port). Login
    // stays disabled until the search identifies the tracker anew; the
    // search shows what it finds. The state is set before the message box,
    // which runs its own event loop.
    SetStatus(kReadFailure);
    EnableLogin(false);
    RestartSearch();
    context_.ShowFailure(this, started.failure());
    return;
  }
  SetStatus(kReading);
}

void CZD573_UtilityDlg::OnReadProgress(Progress progress) {
  if (status_ != kReading || progress.total == 0) return;
  // How far the full read is, on the status line, so a screen reader says it too.
  std::string line = context_.Text("STR_MAINPAGE_READPROGRESS", "%d of %d settings read").toStdString();
  line = settings::FormatWithNumber(settings::FormatWithNumber(line, progress.done), progress.total);
  statusLabel_->SetLabelText(statusTexts_[kReading] + QStringLiteral("  ") + Utf8(line));
}

void CZD573_UtilityDlg::OnReadComplete() {
  StopRead();
  ShowLoginButton(false);
  // The keyboard goes back where Login was (greyed, it lost the focus during the read).
  if (menu_->isVisible() && !OpenSheet()) logout_->setFocus(Qt::OtherFocusReason);
  EnableLogin(false);
  EnablePageButtons(true);
  SetStatus(kReadCorrect);
}

void CZD573_UtilityDlg::OnReadFailed() {
  const std::optional<ReadKind> kind = readKind_;
  StopRead();
  if (kind == ReadKind::FullRead) {
    // The device stopped giving settings: the login can be tried again.
    SetStatus(kReadFailure);
    EnableLogin(true);
    return;
  }
  // The tracker went away while it was being identified: look again.
  ToNoDevice();
  RestartSearch();
}

void CZD573_UtilityDlg::OnLogout() {
  if (OpenSheet() || page_) return;
  StopRead();
  loginTimer_.stop();
  ToNoDevice();
  RestartSearch();
}

void CZD573_UtilityDlg::OnDeviceChange() {
  if (!login_->isVisible()) {
    // Logged in: what was read belongs to the tracker on that port. Other
    // devices may come and go; if that port went away, the session ends, so
    // nothing built from this tracker's values can reach another one.
    if (QFileInfo::exists(QString::fromStdString(PortPath(context_.portName)))) return;
    EndSession();
    return;
  }
  // No port may stay open: a read still running ends before the new search.
  StopRead();
  if (loginTimer_.isActive()) {
    loginTimer_.stop();
    EnableLogin(false);
  }
  RestartSearch();
}

void CZD573_UtilityDlg::EndSession() {
  if (SkinnedDialog* sheet = OpenSheet()) sheet->reject();
  if (page_) page_->Abandon();
  StopRead();
  loginTimer_.stop();
  ToNoDevice();
  RestartSearch();
  context_.ShowMessage(this,
                       context_.Text("STR_MAINPAGE_DEVICEGONE",
                                     "The tracker was unplugged or changed. Log in again to go on."),
                       MessageIcon::Warning);
}

void CZD573_UtilityDlg::OnSettings() {
  if (OpenSheet() || page_) return;
  auto* sheet = new SetupPage(context_, nullptr);
  connect(sheet, &SkinnedDialog::finished, this, [this] {
    if (context_.languageChanged) {
      context_.languageChanged = false;
      ApplyTexts();
    }
  });
  ShowSheetOver(menu_, sheet);
}

void CZD573_UtilityDlg::OnPageButton(int id) {
  if (id == kSettingsButton) {
    OnSettings();
    return;
  }
  // One page at a time, and none over a sheet.
  if (page_ || OpenSheet()) return;
  CGdipButton* button = Button(id);
  if (!button || button->DisabledState()) return;
  PageFrame* page = MakePage(id, context_, this);
  if (!page) return;
  page_ = page;
  connect(page, &PageFrame::closed, this, [this, id] { OnPageClosed(id); });
  // The page takes the menu's place; nothing of the menu can be reached.
  menu_->hide();
  page->show();
  page->raise();
  page->FocusFirstField();
  ShowTitle();
}

void CZD573_UtilityDlg::OnPageClosed(int buttonId) {
  page_ = nullptr;
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
  if (event->key() == Qt::Key_Escape && page_ && !OpenSheet()) {
    event->accept();
    page_->Back();
    return;
  }
  QWidget::keyPressEvent(event);
}

void CZD573_UtilityDlg::closeEvent(QCloseEvent* event) {
  // A close request from the desktop leaves an open page through its leave
  // test; the band's close button ends the program without one. Sentences
  // still being written are finished first, or stopped, as the user says.
  if (page_ && !page_->MayClose([window = QPointer<QWidget>(this)] {
        if (window) window->close();
      })) {
    event->ignore();
    return;
  }
  if (page_ && !page_->Back()) {
    event->ignore();
    return;
  }
  searchTimer_.stop();
  search_.Stop();
  loginTimer_.stop();
  StopRead();
  QWidget::closeEvent(event);
  context_.Exit(0);
}

}  // namespace zd573
