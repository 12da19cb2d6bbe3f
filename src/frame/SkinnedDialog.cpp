#include "frame/SkinnedDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "frame/Accessibility.h"
#include "frame/Skin.h"

namespace zd573 {

SkinnedDialog::SkinnedDialog(AppContext& context, QWidget* parent, QSize size, int backgroundId, int iconId)
    : QWidget(parent), context_(context) {
  context_.Refresh();
  setFixedSize(size);
  setAutoFillBackground(false);
  background_ = SkinPicture(backgroundId, SkinPicture::Backing::Transparent);

  icon_ = skin::MakeButton(this, iconId, iconId, QRect(12, 14, 24, 24));
  MarkDecorative(icon_);
  icon_->setCursor(Qt::ArrowCursor);
  title_ = new CLabel(this);
  title_->SetControlId(dialog_id::kTitle);
  title_->setGeometry(44, 10, size.width() - 54, 32);
  skin::StyleLabel(title_, skin::kDialogTitleColour, skin::kTitlePoints, true);
  title_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  const int buttonY = size.height() - 58;
  cancel_ = skin::MakeButton(this, skin::kCancelNormal, skin::kCancelPressed, QRect(10, buttonY, 65, 50));
  confirm_ = skin::MakeButton(this, skin::kConfirmNormal, skin::kConfirmPressed,
                              QRect(size.width() - 75, buttonY, 65, 50));
  cancelCaption_ = new CLabel(this);
  cancelCaption_->SetControlId(dialog_id::kCancelCaption);
  cancelCaption_->setGeometry(80, buttonY + 13, 110, 24);
  skin::StyleLabel(cancelCaption_, skin::kDialogTextColour, skin::kCaptionPoints);
  cancelCaption_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  confirmCaption_ = new CLabel(this);
  confirmCaption_->SetControlId(dialog_id::kConfirmCaption);
  confirmCaption_->setGeometry(size.width() - 190, buttonY + 13, 110, 24);
  skin::StyleLabel(confirmCaption_, skin::kDialogTextColour, skin::kCaptionPoints);
  confirmCaption_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  connect(cancel_, &QAbstractButton::clicked, this, [this] {
    if (!Busy()) reject();
  });
  connect(confirm_, &QAbstractButton::clicked, this, [this] { OnConfirm(); });
}

void SkinnedDialog::done(int result) {
  result_ = result;
  hide();
  emit finished(result);
}

void SkinnedDialog::SetTitle(const QString& text) {
  title_->SetLabelText(text);
  setWindowTitle(PlainCaption(text));
}

CLabel* SkinnedDialog::AddLabel(int id, const QRect& at, const QString& text) {
  auto* label = new CLabel(this);
  label->SetControlId(id);
  label->setGeometry(at);
  skin::StyleLabel(label, skin::kDialogTextColour, skin::kLabelPoints);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label->SetLabelText(text);
  return label;
}

QCheckBox* SkinnedDialog::AddRevealBox(const QRect& at, const std::vector<QLineEdit*>& edits) {
  auto* box = new QCheckBox(context_.Text("STR_GLOBAL_SHOWPASSWORD", "Show password"), this);
  box->setGeometry(at);
  for (QLineEdit* edit : edits) edit->setEchoMode(QLineEdit::Password);
  connect(box, &QCheckBox::toggled, this, [edits](bool shown) {
    for (QLineEdit* edit : edits) edit->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
  });
  return box;
}

void SkinnedDialog::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), skin::kDialogFallbackColour);
  if (const QPixmap& picture = background_.For(this); !picture.isNull()) p.drawPixmap(0, 0, picture);
}

void SkinnedDialog::keyPressEvent(QKeyEvent* event) {
  if (enterConfirms_ && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    event->accept();
    if (!Busy()) OnConfirm();
    return;
  }
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    if (!Busy()) reject();
    return;
  }
  QWidget::keyPressEvent(event);
}

namespace {
// Dims the view under a sheet and takes the mouse clicks meant for it.
class SheetOverlay : public QWidget {
 public:
  explicit SheetOverlay(QWidget* window) : QWidget(window) {
    setGeometry(window->rect());
    setAttribute(Qt::WA_NoMousePropagation);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(0x10, 0x1A, 0x24, 120));
  }
  void mousePressEvent(QMouseEvent* event) override { event->accept(); }
};
}  // namespace

QWidget* SkinnedDialog::PrepareForKeyboard() {
  icon_->SetSpokenName(title_->text());
  confirm_->SetSpokenName(confirmCaption_->text());
  cancel_->SetSpokenName(cancelCaption_->text());
  NameControlsFromLabels(this);
  const std::vector<QWidget*> chain = OrderFocusChain(this, {confirm_, cancel_});
  for (QWidget* w : chain)
    if (w->isVisibleTo(this) && w->isEnabled()) return w;
  return confirm_;
}

void DeleteWhenNoModal(QObject* object) {
  if (!QApplication::activeModalWidget()) {
    object->deleteLater();
    return;
  }
  QTimer::singleShot(50, object, [object] { DeleteWhenNoModal(object); });
}

SkinnedDialog* ShowSheet(QWidget* under, SkinnedDialog* sheet) {
  QWidget* first = sheet->PrepareForKeyboard();
  QWidget* window = under->window();
  auto* overlay = new SheetOverlay(window);
  QPointer<QWidget> focus = window->focusWidget();
  QPointer<QWidget> view = under;
  under->setEnabled(false);
  sheet->setParent(overlay);
  sheet->move(0, 0);
  QObject::connect(sheet, &SkinnedDialog::finished, overlay, [overlay, view, focus] {
    if (view) view->setEnabled(true);
    if (focus) focus->setFocus(Qt::OtherFocusReason);
    overlay->hide();
    DeleteWhenNoModal(overlay);  // the sheet is its child
  });
  overlay->show();
  overlay->raise();
  sheet->show();
  AnnounceSheet(sheet, true);
  QObject::connect(sheet, &SkinnedDialog::finished, sheet, [sheet] { AnnounceSheet(sheet, false); });
  // The first field, or the confirm button, takes the keyboard.
  first->setFocus(Qt::TabFocusReason);
  return sheet;
}

}  // namespace zd573
