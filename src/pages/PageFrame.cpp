#include "pages/PageFrame.h"

#include <algorithm>
#include <memory>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>

#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "pages/Skin.h"
#include "device/user_values.h"
#include "settings/language.h"
#include "settings/text_encoding.h"

namespace zd573 {

namespace {
const QColor kTitleColour{0x17, 0x24, 0x32};
const QColor kSubtitleColour{0x4F, 0x64, 0x78};
const QColor kBandTextColour{255, 255, 255};
const QColor kBottomTextColour{0x17, 0x24, 0x32};

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }
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
  context_.Refresh();
  drag_ = {};
  CreateFrameControls();
  if (!LoadPngAsBitmap(skin::kPageBackground, background_, this)) background_ = QPixmap();
  CreatePageControls();
  LoadFrameTexts();
  LoadPageTexts();
  Fill(context_.Settings().Snapshot());
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

void PageFrame::Bind(std::string_view key, QLineEdit* edit) {
  bindings_.push_back({std::string(key), BindKind::Edit, edit, nullptr, 0, std::nullopt});
  const KeyInfo* k = FindKey(key);
  if (k && k->kind == FieldKind::Text) LimitToCapacity(edit, key);
}

void PageFrame::BindFlag(std::string_view key, QAbstractButton* box) {
  bindings_.push_back({std::string(key), BindKind::Flag, box, nullptr, 0, std::nullopt});
}

void PageFrame::BindChoice(std::string_view key, QComboBox* list, int first, std::optional<int> none) {
  bindings_.push_back({std::string(key), BindKind::List, list, nullptr, first, none});
}

void PageFrame::BindChoice(std::string_view key, QButtonGroup* group) {
  bindings_.push_back({std::string(key), BindKind::Group, nullptr, group, 0, std::nullopt});
}

void PageFrame::BindShown(std::string_view key, QLineEdit* edit) {
  bindings_.push_back({std::string(key), BindKind::Shown, edit, nullptr, 0, std::nullopt});
}

void PageFrame::LimitToCapacity(QLineEdit* edit, std::string_view key) {
  const KeyInfo* k = FindKey(key);
  const auto capacity = static_cast<std::size_t>(k->capacity);
  // What was last accepted, so an edit that would overflow the field can be refused.
  auto accepted = std::make_shared<QString>();
  connect(edit, &QLineEdit::textChanged, this, [this, edit, capacity, accepted](const QString& text) {
    auto bytes = context_.ToDevice(text);
    // A character the device encoding lacks is refused, with the field's name, on Apply.
    if (!bytes || bytes->size() <= capacity) {
      *accepted = text;
      return;
    }
    const int cursor = edit->cursorPosition();
    if (text.startsWith(*accepted)) {
      // Typed or pasted at the end: keep what fits, never half a character.
      const std::string_view fits = settings::CutToCharBoundary(*bytes, capacity, context_.CodePage());
      edit->setText(context_.FromDevice(std::string(fits)));
    } else {
      // Typed in the middle of a full field: the typing is refused.
      const auto grown = text.size() - accepted->size();
      edit->setText(*accepted);
      edit->setCursorPosition(std::max(0, cursor - static_cast<int>(grown)));
    }
  });
}

void PageFrame::Fill(const DeviceValues& values) {
  for (const Binding& b : bindings_) FillBinding(b, values);
  FillFromSettings(values);
}

void PageFrame::FillBinding(const Binding& b, const DeviceValues& values) {
  const KeyInfo* k = FindKey(b.key);
  const bool text = k && k->kind == FieldKind::Text;
  const std::int32_t number = values.Number(b.key);
  switch (b.kind) {
    case BindKind::Edit:
    case BindKind::Shown:
      static_cast<QLineEdit*>(b.control)
          ->setText(text ? FromDevice(values.Text(b.key)) : QString::number(number));
      break;
    case BindKind::Flag: static_cast<QAbstractButton*>(b.control)->setChecked(number != 0); break;
    case BindKind::List: {
      auto* list = static_cast<QComboBox*>(b.control);
      const std::int64_t index = std::int64_t{number} - b.first;
      list->setCurrentIndex(index >= 0 && index < list->count() ? static_cast<int>(index) : -1);
      break;
    }
    case BindKind::Group: {
      // A value without a button checks none, which an exclusive group refuses.
      b.group->setExclusive(false);
      for (QAbstractButton* button : b.group->buttons()) button->setChecked(b.group->id(button) == number);
      b.group->setExclusive(true);
      break;
    }
  }
}

Status PageFrame::Store(DeviceValues& edited) const {
  for (const Binding& b : bindings_)
    if (Status s = StoreBinding(b, edited); !s) return s;
  return StoreControls(edited);
}

Status PageFrame::StoreBinding(const Binding& b, DeviceValues& edited) const {
  switch (b.kind) {
    case BindKind::Shown: return {};
    case BindKind::Edit: return StoreEdit(b.key, static_cast<QLineEdit*>(b.control), edited);
    case BindKind::Flag:
      return StoreUserNumber(edited, b.key, static_cast<QAbstractButton*>(b.control)->isChecked() ? 1 : 0);
    case BindKind::List: {
      const int index = static_cast<QComboBox*>(b.control)->currentIndex();
      if (index >= 0) return StoreUserNumber(edited, b.key, std::int64_t{index} + b.first);
      return b.none ? StoreUserNumber(edited, b.key, *b.none) : Status{};
    }
    case BindKind::Group: {
      const int id = b.group->checkedId();
      return id >= 0 ? StoreUserNumber(edited, b.key, id) : Status{};
    }
  }
  return {};
}

Status PageFrame::StoreEdit(std::string_view key, const QLineEdit* edit, DeviceValues& edited) const {
  const QString shown = edit->text();
  const KeyInfo* k = FindKey(key);
  // A value left as the tracker gave it stays as it is, even one that
  // could not be typed (the transaction refuses it if it cannot be sent)
  // or one a page rule would change (a report interval of 0).
  if (k && k->kind == FieldKind::Text) {
    auto bytes = context_.ToDevice(shown);
    if (bytes && *bytes == edited.Text(key)) return {};
  } else if (ConvertDecimal(Utf8(shown)) == edited.Number(key)) {
    return {};
  }
  auto stored = StoreUserValue(edited, key, Utf8(shown), context_.Rules());
  return stored ? Status{} : Status{stored.failure()};
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
    context_.ShowFailure(this, local.failure());
    return;
  }
  DeviceValues edited = context_.Settings().Snapshot();
  if (Status stored = Store(edited); !stored) {
    context_.ShowFailure(this, stored.failure());
    return;
  }
  const std::optional<Page> page = TransactionPage();
  if (!page) return;
  ApplyResult sent;
  const std::string port = context_.portName;
  const WriteOptions options{context_.durations.setSentencePause};
  RunWithBusyWindows([&] { sent = ApplyPage(port, *page, context_.Settings(), edited, options); });
  // The page rules may have changed what was typed (a report interval of 2
  // goes out as 3): show what the record now holds.
  if (sent.portOpened) Fill(sent.stored);
  if (!sent.status) context_.ShowFailure(this, sent.status.failure());
}

bool PageFrame::Back() {
  if (Changed() && !context_.AskYesNo(this, context_.leaveQuestion)) return false;
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
