#include "pages/PageFrame.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "pages/Skin.h"
#include "settings/language.h"

namespace zd573 {

namespace {
const QColor kTitleColour{0x17, 0x24, 0x32};
const QColor kSubtitleColour{0x4F, 0x64, 0x78};
const QColor kBandTextColour{255, 255, 255};
const QColor kBottomTextColour{0x17, 0x24, 0x32};
}  // namespace

PageFrame::PageFrame(AppContext& context, QWidget* mainWindow, PageLook look)
    : QDialog(mainWindow, Qt::Dialog | Qt::FramelessWindowHint), context_(context), look_(look), main_(mainWindow) {
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  QPalette panel = palette();
  panel.setColor(QPalette::Window, look_.panelColour);
  panel.setColor(QPalette::Button, look_.panelColour);
  setPalette(panel);
}

PageFrame::~PageFrame() = default;

void PageFrame::Open() {
  // Exactly over the main window.
  if (main_) {
    setGeometry(main_->geometry());
  } else {
    resize(802, 602);
  }
  setFixedSize(size());
  drag_ = {};
  CreateFrameControls();
  if (!LoadPngAsBitmap(skin::kPageBackground, background_, this)) background_ = QPixmap();
  CreatePageControls();
  LoadFrameTexts();
  LoadPageTexts();
  FillFromSettings(context_.Settings().Snapshot());
}

void PageFrame::CreateFrameControls() {
  minimise_ = skin::MakeButton(this, skin::kMinimiseNormal, skin::kMinimisePressed, QRect(762, 2, 16, 16));
  close_ = skin::MakeButton(this, skin::kCloseNormal, skin::kClosePressed, QRect(782, 2, 16, 16));
  back_ = skin::MakeButton(this, skin::kBackNormal, skin::kBackPressed, QRect(1, 500, 65, 50));
  apply_ = skin::MakeButton(this, skin::kConfirmNormal, skin::kConfirmPressed, QRect(735, 500, 65, 50));
  icon_ = skin::MakeButton(this, look_.iconId, look_.iconId, QRect(5, 89, 48, 48));
  icon_->setCursor(Qt::ArrowCursor);
  icon_->setFocusPolicy(Qt::NoFocus);

  auto label = [this](const QRect& at, const QColor& colour, int points, bool bold = false) {
    auto* l = new CLabel(this);
    l->setGeometry(at);
    skin::StyleLabel(l, colour, points, bold);
    return l;
  };
  menuText_ = label(QRect(70, 505, 100, 40), kBottomTextColour, 16, true);
  menuText_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  applyText_ = label(QRect(630, 505, 100, 40), kBottomTextColour, 16, true);
  applyText_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  title_ = label(QRect(60, 89, 500, 40), kTitleColour, 16, true);
  subtitle_ = label(QRect(60, 115, look_.subtitleWidth, 20), kSubtitleColour, 9);
  deviceName_ = label(QRect(600, 89, 500, 40), kBandTextColour, 16, true);
  imei_ = label(QRect(605, 117, 300, 20), kBandTextColour, 9);

  connect(minimise_, &QAbstractButton::clicked, this, &PageFrame::MinimiseBoth);
  // The close button ends the program at once: no question, nothing written.
  connect(close_, &QAbstractButton::clicked, this, [this] { context_.Exit(1); });
  connect(back_, &QAbstractButton::clicked, this, [this] { Back(); });
  connect(apply_, &QAbstractButton::clicked, this, &PageFrame::Apply);
}

void PageFrame::LoadFrameTexts() {
  const QString title = context_.Text(look_.titleKey, look_.titleDefault);
  setWindowTitle(PlainCaption(title));
  title_->SetLabelText(title);
  subtitle_->SetLabelText(context_.Text(look_.aboutKey, look_.aboutDefault));
  menuText_->SetLabelText(context_.Text("STR_GLOBAL_MENU", "Menu"));
  applyText_->SetLabelText(context_.Text("STR_GLOBAL_APPLY", "Apply"));
  const QString format = context_.Text(settings::kImeiKey, settings::kPageImeiDefault);
  const QString imei = context_.FromDevice(context_.Imei());
  imei_->SetLabelText(QString::fromStdString(settings::FormatWithText(format.toStdString(), imei.toStdString())));
  deviceName_->SetLabelText(QString::fromStdString(context_.deviceUserName));
}

void PageFrame::Apply() {
  if (Status local = BeforeApply(); !local) {
    context_.ShowError(this, QString::fromStdString(local.error()));
    return;
  }
  DeviceValues edited = context_.Settings().Snapshot();
  if (Status stored = StoreControls(edited); !stored) {
    context_.ShowError(this, QString::fromStdString(stored.error()));
    return;
  }
  const std::optional<Page> page = TransactionPage();
  if (!page) return;
  Status sent;
  const std::string port = context_.portName;
  const WriteOptions options{context_.durations.setSentencePause};
  RunWithBusyWindows([&] { sent = ApplyPage(port, *page, context_.Settings(), edited, options); });
  if (!sent) context_.ShowError(this, QString::fromStdString(sent.error()));
}

bool PageFrame::Back() {
  if (HasChanges(context_.Settings().Snapshot()) && !context_.AskYesNo(this, context_.leaveQuestion)) return false;
  leaving_ = true;
  close();
  return true;
}

void PageFrame::MinimiseBoth() {
  showMinimized();
  if (main_) main_->showMinimized();
}

void PageFrame::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (!background_.isNull()) p.drawPixmap(1, 1, background_);
}

void PageFrame::mousePressEvent(QMouseEvent* event) {
  if (!drag_.Press(this, event)) QDialog::mousePressEvent(event);
}

void PageFrame::mouseMoveEvent(QMouseEvent* event) {
  auto topLeft = drag_.Move(event);
  if (!topLeft) {
    QDialog::mouseMoveEvent(event);
    return;
  }
  // The page and the main window beneath it move together.
  move(*topLeft);
  if (main_) main_->move(*topLeft);
}

void PageFrame::mouseReleaseEvent(QMouseEvent* event) {
  if (!drag_.Release(this, event)) QDialog::mouseReleaseEvent(event);
}

void PageFrame::keyPressEvent(QKeyEvent* event) {
  // Escape goes through the leave test instead of dropping the edits.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    Back();
    return;
  }
  // Enter does not close a page.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void PageFrame::closeEvent(QCloseEvent* event) {
  // Only Back (or the program's end) closes a page; a close request from the
  // desktop runs the leave test first.
  if (!leaving_ && isVisible()) {
    event->ignore();
    Back();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace zd573
