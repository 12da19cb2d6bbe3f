#include "frame/PageFrame.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QTimer>

#include <utility>

#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "device/blocking_read.h"
#include "device/profile.h"
#include "frame/Accessibility.h"
#include "frame/FreshValues.h"
#include "frame/Messages.h"
#include "frame/Skin.h"
#include "frame/SkinnedDialog.h"
#include "frame/TextConversion.h"
#include "settings/language.h"

namespace zd573 {

namespace {
const QColor kTitleColour{0x17, 0x24, 0x32};
const QColor kSubtitleColour{0x4F, 0x64, 0x78};
const QColor kBandTextColour{255, 255, 255};
const QColor kBottomTextColour{0x17, 0x24, 0x32};
}  // namespace

PageFrame::PageFrame(AppContext& context, QWidget* window, PageLook look)
    : QWidget(window), context_(context), binder_(context), look_(look) {
  QPalette panel = palette();
  panel.setColor(QPalette::Window, look_.panelColour);
  panel.setColor(QPalette::Button, look_.panelColour);
  setPalette(panel);
  setGeometry(QRect(QPoint(0, 0), kSize));
}

PageFrame::~PageFrame() = default;

void PageFrame::Open(const PageIdentity& identity) {
  identity_ = identity;
  context_.Refresh();
  CreateFrameControls();
  background_ = SkinPicture(skin::kPageBackground);
  background_.Load(this);
  CreatePageControls();
  LoadFrameTexts();
  Fill(context_.Settings().Snapshot());
  ShowUncleanTexts();
  PrepareForKeyboard();
}

void PageFrame::ShowUncleanTexts() {
  // A text garbled by the wrong encoding must not pass for the tracker's own.
  const std::vector<std::string>& unclean = binder_.UncleanTexts();
  if (unclean.empty()) return;
  const QString field = FieldName(context_, unclean.front());
  const QString encoding = CodePageName(context_, context_.CodePage());
  ShowProgress(unclean.size() == 1 ? FillIn(context_.Text("STR_GLOBAL_NOTCLEAN"), {field, encoding})
                                   : FillIn(context_.Text("STR_GLOBAL_NOTCLEANMORE"),
                                            {field, encoding, QString::number(unclean.size() - 1)}));
}

void PageFrame::PrepareForKeyboard() {
  // Minimise and close stay with the mouse: Tab then Space must never end the program.
  for (CGdipButton* b : {minimise_, close_}) b->setFocusPolicy(Qt::NoFocus);
  minimise_->SetSpokenName(Text("STR_GLOBAL_MINIMISE", "Minimise"));
  close_->SetSpokenName(Text("STR_GLOBAL_CLOSE", "Close"));
  back_->SetSpokenName(menuText_->text());
  apply_->SetSpokenName(applyText_->text());
  icon_->SetSpokenName(title_->text());
  progress_->SetAccessibleRole(QAccessible::StatusBar);
  NameControlsFromLabels(this);
  // The page's fields in reading order, then Apply, then Back.
  std::vector<QWidget*> chain = PageFocusOrder();
  if (chain.empty()) {
    chain = OrderFocusChain(this, {apply_, back_});
  } else {
    chain.push_back(apply_);
    chain.push_back(back_);
    for (std::size_t i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
  }
  firstField_ = chain.empty() ? nullptr : chain.front();
}

void PageFrame::FocusFirstField() {
  QWidget* first = firstField_;
  // A field of a hidden tab cannot take the focus: the next one in the chain can.
  while (first && !(first->isVisible() && first->isEnabled() && (first->focusPolicy() & Qt::TabFocus))) {
    first = first->nextInFocusChain();
    if (first == firstField_ || !isAncestorOf(first)) first = nullptr;
  }
  (first ? first : apply_)->setFocus(Qt::TabFocusReason);
}

CLabel* PageFrame::AddLabel(const QRect& at, std::string_view key, std::string_view english, Qt::Alignment align) {
  auto* label = new CLabel(this);
  label->setGeometry(at);
  skin::StyleLabel(label, kTitleColour, skin::kLabelPoints);
  label->setAlignment(align);
  label->SetLabelText(Text(key, english));
  return label;
}

QLineEdit* PageFrame::AddEdit(const QRect& at) {
  auto* edit = new QLineEdit(this);
  edit->setGeometry(at);
  return edit;
}

QComboBox* PageFrame::AddList(const QRect& at) {
  auto* list = new QComboBox(this);
  list->setGeometry(at);
  // Long items (translated texts) are shown whole in the open list.
  list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  return list;
}

QCheckBox* PageFrame::AddCheck(const QRect& at, const QString& text) {
  auto* box = new QCheckBox(text, this);
  box->setGeometry(at);
  return box;
}

QRadioButton* PageFrame::AddRadio(const QRect& at, const QString& text) {
  auto* button = new QRadioButton(text, this);
  button->setGeometry(at);
  return button;
}

CGdipButton* PageFrame::AddTextButton(const QRect& at, const QString& caption, int points) {
  CGdipButton* button = skin::MakeButton(this, skin::kTextButtonNormal, skin::kTextButtonPressed, at);
  button->SetCaption(caption);
  button->SetCaptionPointSize(points);
  button->SetCaptionColor(skin::kDialogTextColour);
  return button;
}

void PageFrame::Fill(const DeviceValues& values) {
  binder_.Fill(values);
  FillFromSettings(values);
}

Status PageFrame::Store(DeviceValues& edited) const {
  if (Status s = binder_.Store(edited); !s) return s;
  return StoreControls(edited);
}

bool PageFrame::Changed() const {
  const DeviceValues record = context_.Settings().Snapshot();
  DeviceValues edited = record;
  // What cannot be stored has certainly not been applied.
  if (!Store(edited)) return true;
  return edited != record || HasChanges(record);
}

void PageFrame::CreateFrameControls() {
  minimise_ = skin::MakeButton(this, skin::kMinimiseNormal, skin::kMinimisePressed, QRect(762, 2, 16, 16));
  close_ = skin::MakeButton(this, skin::kCloseNormal, skin::kClosePressed, QRect(782, 2, 16, 16));
  back_ = skin::MakeButton(this, skin::kBackNormal, skin::kBackPressed, QRect(1, 500, 65, 50));
  apply_ = skin::MakeButton(this, skin::kConfirmNormal, skin::kConfirmPressed, QRect(735, 500, 65, 50));
  icon_ = skin::MakeButton(this, look_.iconId, look_.pressedIconId ? look_.pressedIconId : look_.iconId,
                           QRect(5, 89, 48, 48));
  icon_->setCursor(Qt::ArrowCursor);
  MarkDecorative(icon_);

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
  // Two lines' room, centred where one line stood: a note may be a sentence long.
  progress_ = label(QRect(180, 500, 440, 50), kSubtitleColour, 10);
  progress_->setAlignment(Qt::AlignCenter);
  progress_->setWordWrap(true);

  connect(minimise_, &QAbstractButton::clicked, this, [this] { window()->showMinimized(); });
  // The close button ends the program at once: no question, nothing written.
  connect(close_, &QAbstractButton::clicked, this, [this] {
    AppContext* context = &context_;
    if (MayClose([context] { context->Exit(0); })) context->Exit(0);
  });
  connect(back_, &QAbstractButton::clicked, this, [this] { Back(); });
  connect(apply_, &QAbstractButton::clicked, this, &PageFrame::Apply);
}

void PageFrame::LoadFrameTexts() {
  title_text_ = context_.Text(identity_.titleKey, identity_.titleDefault);
  title_->SetLabelText(title_text_);
  setWindowTitle(PlainCaption(title_text_));  // what a screen reader calls the page
  subtitle_->SetLabelText(context_.Text(look_.aboutKey, look_.aboutDefault));
  menuText_->SetLabelText(context_.Text("STR_GLOBAL_MENU", "Menu"));
  applyText_->SetLabelText(context_.Text("STR_GLOBAL_APPLY", "Apply"));
  const QString format = context_.Text(settings::kImeiKey, settings::kPageImeiDefault);
  const QString imei = context_.FromDevice(context_.Imei());
  imei_->SetLabelText(FromUtf8(settings::FormatWithText(format.toStdString(), imei.toStdString())));
  ShowDeviceName(context_.deviceUserName);
}

std::function<void(int, int)> PageFrame::ProgressReporter(const BackgroundTask::Relay& relay,
                                                          QPointer<PageFrame> page) {
  return [relay, page](int written, int total) {
    relay.Post([page, written, total] {
      if (page) page->ShowProgress(WritingText(page->context_, written, total));
    });
  };
}

void PageFrame::ShowDeviceName(const std::string& name) {
  // The band ends at the window's edge: a long name ends in "…", never mid-letter.
  const QString full = FromUtf8(name);
  const int room = kSize.width() - deviceName_->x() - 8;
  deviceName_->SetLabelText(deviceName_->fontMetrics().elidedText(full, Qt::ElideRight, room));
  deviceName_->setToolTip(full);
}

void PageFrame::ShowProgress(const QString& text) {
  progress_->SetLabelText(text);
  progress_->setVisible(!text.isEmpty());
}

void PageFrame::SetBusy(bool busy) {
  // The button that started the work gets the keyboard back when it is done.
  // (A button greyed while busy loses the focus to the next field meanwhile.)
  // Restored only once the buttons take input again: a grey button refuses it.
  if (busy) focusBeforeBusy_ = QApplication::focusWidget();
  busy_ = busy;
  // Minimise, close and the band stay usable; nothing may start a second write.
  // No busy cursor: the grey buttons and the progress line say it, and Qt 6.4's
  // Wayland client can crash while animating one.
  for (CGdipButton* b : {back_, apply_}) b->SetDisabledState(busy);
  SetPageBusy(busy);
  if (!busy && closeAfterWork_) {
    // The user chose to finish writing before the window closes: close it now.
    QTimer::singleShot(0, std::exchange(closeAfterWork_, nullptr));
    return;
  }
  if (!busy && focusBeforeBusy_ && (!QApplication::focusWidget() || qobject_cast<CGdipButton*>(focusBeforeBusy_)))
    focusBeforeBusy_->setFocus(Qt::OtherFocusReason);
}

void PageFrame::Apply() {
  if (Busy()) return;
  if (Status local = BeforeApply(); !local) {
    context_.ShowFailure(this, local.failure());
    return;
  }
  DeviceValues edited = context_.Settings().Snapshot();
  if (Status stored = Store(edited); !stored) {
    context_.ShowFailure(this, stored.failure());
    return;
  }
  if (!identity_.sends) return;
  const Page page = *identity_.sends;
  if (Status sendable = CheckPageSendable(page, edited); !sendable) {
    context_.ShowFailure(this, sendable.failure());
    return;
  }
  // The page is sent as the tracker holds it now, to the tracker logged in
  // only: its keys and IMEI are read again on the session's port first.
  const std::vector<std::string_view> keys = KeysOfPages({page});
  auto read = FreshReadOf(context_, keys);
  if (!read) {
    context_.ShowFailure(this, read.failure());
    return;
  }
  const DeviceValues before = context_.Settings().Snapshot();
  ShowProgress({});
  RunDeviceWork([read = std::move(*read)](std::stop_token stop, const BackgroundTask::Relay&) { return read(stop); },
                [this, page, keys, before, edited](Expected<DeviceValues> fresh) mutable {
                  if (!fresh) {
                    context_.ShowFailure(this, fresh.failure());
                    return;
                  }
                  auto changed = TakeFresh(context_, before, *fresh, keys);
                  if (!changed) {
                    context_.ShowError(this, QString::fromStdString(changed.failure().message));
                    // Nothing built from this tracker's values may reach the other one.
                    if (context_.trackerChanged) context_.trackerChanged();
                    return;
                  }
                  if (!changed->empty() && KeepTheirs(context_, this, *changed, edited, *fresh))
                    CopyKeys(edited, *fresh, *changed);
                  WritePage(page, edited);
                });
}

void PageFrame::WritePage(Page page, const DeviceValues& edited) {
  // Only the tracker logged in, on the port it was identified on.
  auto leased = context_.LeasePort();
  if (!leased) {
    context_.ShowFailure(this, leased.failure());
    return;
  }
  std::shared_ptr<DevicePort> port = std::move(leased.value());
  const std::chrono::milliseconds pause = context_.durations.setSentencePause;
  DeviceSettings* settings = &context_.Settings();
  if (auto backup = context_.BackUpBeforeWrite(); !backup) {
    context_.ShowError(this, BackupFailedText(context_, backup.failure()));
    return;
  }
  ShowProgress({});
  RunDeviceWork(
      [port, page, settings, edited, pause, self = QPointer<PageFrame>(this)](
          std::stop_token stop, const BackgroundTask::Relay& relay) mutable {
        WriteOptions options{pause, ProgressReporter(relay, self), stop};
        ApplyResult sent = ApplyPageOn(*port, page, *settings, edited, options);
        port.reset();  // the session has its port back before the page hears the end
        return sent;
      },
      [this, page](ApplyResult sent) {
        // The page rules may have changed what was typed (a report interval
        // of 2 goes out as 3): show what the record now holds. A write cut
        // short leaves the controls as they are: what did not go out is
        // still an edit.
        if (sent.started && sent.status) Fill(sent.stored);
        if (!sent.status) {
          ShowProgress({});
          context_.ShowFailure(this, sent.status.failure());
          return;
        }
        if (PageSendsText(page)) context_.RememberTrackerEncoding();
        ShowProgress(Text("STR_GLOBAL_WRITTEN", "Settings written to the tracker"));
      });
}

void PageFrame::SendDeviceQuery(const Sentence& query, std::function<void()> sent) {
  if (Busy()) return;
  auto leased = context_.LeasePort();
  if (!leased) {
    context_.ShowFailure(this, leased.failure());
    return;
  }
  std::shared_ptr<DevicePort> port = std::move(leased.value());
  const std::chrono::milliseconds pause = context_.durations.setSentencePause;
  RunDeviceWork(
      [port, query, pause](std::stop_token stop, const BackgroundTask::Relay&) mutable {
        Status status = SendQueryOn(*port, query, WriteOptions{pause, {}, stop});
        port.reset();
        return status;
      },
      [this, sent = std::move(sent)](Status status) {
        if (!status) {
          context_.ShowFailure(this, status.failure());
        } else if (sent) {
          sent();
        }
      });
}

bool PageFrame::Back() {
  if (Busy()) return false;
  if (Changed() && !context_.AskYesNo(this, context_.leaveQuestion)) return false;
  Leave();
  return true;
}

bool PageFrame::MayClose(std::function<void()> closeLater) {
  if (!busy_) return true;
  if (closeAfterWork_) return false;  // already finishing, then closing
  const QString question = FillIn(
      TextWithBreaks(context_, "STR_GLOBAL_CLOSEWHILEWRITING"), {Title()});
  if (context_.AskYesNo(this, question)) {
    closeAfterWork_ = std::move(closeLater);
    return false;
  }
  Abandon();
  return true;
}

void PageFrame::Abandon() {
  StopPageWork();
  task_.Stop();
  SetBusy(false);
  Leave();
}

void PageFrame::Leave() {
  if (leaving_) return;
  leaving_ = true;
  emit closed();
  hide();
  DeleteWhenNoModal(this);
}

void PageFrame::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (const QPixmap& picture = background_.For(this); !picture.isNull()) p.drawPixmap(1, 1, picture);
}

void PageFrame::mousePressEvent(QMouseEvent* event) {
  if (!BandDrag::Press(context_, this, event)) QWidget::mousePressEvent(event);
}

void PageFrame::keyPressEvent(QKeyEvent* event) {
  // Escape goes through the leave test instead of dropping the edits.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    Back();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace zd573
