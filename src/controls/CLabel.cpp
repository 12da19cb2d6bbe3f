#include "controls/CLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDesktopServices>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QTextLayout>

#include "controls/CMemDC.h"
#include "controls/Caption.h"
#include "controls/FocusRing.h"

namespace zd573 {

namespace {

CLabel::ShellOpener& Opener() {
  static CLabel::ShellOpener opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  return opener;
}

}  // namespace

CLabel::ShellOpener CLabel::SetShellOpener(ShellOpener opener) {
  ShellOpener previous = Opener();
  if (opener) {
    Opener() = std::move(opener);
  } else {
    Opener() = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  }
  return previous;
}

CLabel::CLabel(QWidget* parent) : QLabel(parent) { Init(); }

CLabel::CLabel(const QString& text, QWidget* parent) : QLabel(text, parent) { Init(); }

CLabel::~CLabel() = default;

namespace {

// A screen reader says the text as it shows.
QString SpokenText(const QString& text) { return PlainCaption(text).trimmed(); }

// A label as a screen reader sees it: static text, a status line or a tab,
// by the role its owner gave it.
class LabelAccessible : public QAccessibleWidget {
 public:
  explicit LabelAccessible(CLabel* label) : QAccessibleWidget(label, label->AccessibleRole()) {}
  // Read each time: the owner may give the role after the reader first asked.
  QAccessible::Role role() const override { return static_cast<CLabel*>(widget())->AccessibleRole(); }
  QString text(QAccessible::Text t) const override {
    auto* label = static_cast<CLabel*>(widget());
    if (t == QAccessible::Name) return label->accessibleName().isEmpty() ? SpokenText(label->text()) : label->accessibleName();
    return QAccessibleWidget::text(t);
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    auto* label = static_cast<CLabel*>(widget());
    // An empty label says nothing: readers pass it by.
    if (label->text().trimmed().isEmpty() && label->accessibleName().isEmpty()) s.invisible = true;
    if (label->AccessibleRole() == QAccessible::PageTab) {
      s.selectable = true;
      s.selected = label->property("zd573TabSelected").toBool();
    }
    return s;
  }
  QStringList actionNames() const override {
    auto* label = static_cast<CLabel*>(widget());
    return label->Link() != CLabel::LinkKind::None ? QStringList{pressAction()} : QStringList{};
  }
  void doAction(const QString& name) override {
    if (name == pressAction()) static_cast<CLabel*>(widget())->Activate();
  }
};

QAccessibleInterface* LabelFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("zd573::CLabel") && object && object->isWidgetType())
    return new LabelAccessible(static_cast<CLabel*>(object));
  return nullptr;
}

}  // namespace

void CLabel::SetAccessibleRole(QAccessible::Role role) {
  role_ = role;
  if (role == QAccessible::PageTab || Link() != LinkKind::None) setFocusPolicy(Qt::TabFocus);
}

void CLabel::Activate() {
  if (linkKind_ == LinkKind::None) return;
  FollowLink();
  emit clicked();
}

void CLabel::FollowLink() {
  if (notifyParent_) {
    emit notify(controlId_, kNotifyCode);
  } else {
    const QUrl url = LinkUrl();
    if (url.isValid() && !url.isEmpty()) Opener()(url);
  }
}

void CLabel::keyPressEvent(QKeyEvent* event) {
  // A link or a tab is pressed with Enter or Space, as a button is.
  const int key = event->key();
  if (linkKind_ != LinkKind::None && focusPolicy() != Qt::NoFocus &&
      (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
    event->accept();
    Activate();
    return;
  }
  QLabel::keyPressEvent(event);
}

void CLabel::Init() {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(&LabelFactory);
    return true;
  }();
  (void)factoryInstalled;
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  textColour_ = palette().color(QPalette::WindowText);
  defaultColour_ = palette().color(QPalette::Button);
  fontDescription_ = font();
  labelFont_ = fontDescription_;
  setAttribute(Qt::WA_OpaquePaintEvent, true);
  UpdateMouseHandling();
}

// Paints the label now, and the parent under it, so a clear label's old
// text disappears under the freshly painted parent.
void CLabel::Redraw() {
  if (!isVisible()) {
    update();
    return;
  }
  if (QWidget* parent = parentWidget()) {
    parent->repaint(geometry());
  } else {
    repaint();
  }
}

void CLabel::Rebuild() { labelFont_ = fontDescription_; }

void CLabel::SetBackground(const QColor& colour) {
  backgroundColour_ = colour;
  hasBackgroundBrush_ = true;
  Redraw();
}

void CLabel::SetForeground(const QColor& colour) {
  textColour_ = colour;
  Redraw();
}

void CLabel::SetLabelText(const QString& text) {
  // setText tells assistive tools of the new name; a status line's changes
  // are read out from there.
  setText(text);
  if (tipWhenCut_) {
    QTextLayout layout;
    setToolTip(WholeLines(layout, contentsRect()) < layout.lineCount() ? PlainCaption(text) : QString());
  }
  Redraw();
}

void CLabel::SetBold(bool on) {
  fontDescription_.setWeight(on ? QFont::Bold : QFont::Normal);
  Rebuild();
  Redraw();
}

void CLabel::SetPointSize(int points) {
  if (points > 0) fontDescription_.setPointSize(points);
  Rebuild();
  Redraw();
}

void CLabel::SetClearBackground(bool on) {
  transparent_ = on;
  setAttribute(Qt::WA_OpaquePaintEvent, !on);
  Redraw();
}

void CLabel::UpdateMouseHandling() {
  // Plain text lets the mouse through to the window under it (so a label in
  // a title band does not stop dragging); links take the mouse.
  setAttribute(Qt::WA_TransparentForMouseEvents, linkKind_ == LinkKind::None);
}

void CLabel::MakeLink(bool on, bool notifyParent) {
  linkKind_ = on ? LinkKind::Document : LinkKind::None;
  notifyParent_ = notifyParent;
  UpdateMouseHandling();
}

QUrl CLabel::LinkUrl() const {
  switch (linkKind_) {
    case LinkKind::Document:
      return QUrl::fromUserInput(text());
    case LinkKind::None:
      break;
  }
  return {};
}

void CLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || linkKind_ == LinkKind::None) {
    QLabel::mousePressEvent(event);
    return;
  }
  pressedInside_ = true;
  FollowLink();
  event->accept();
}

void CLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressedInside_ && event->button() == Qt::LeftButton &&
                     rect().contains(event->position().toPoint());
  pressedInside_ = false;
  if (click && linkKind_ != LinkKind::None) {
    event->accept();
    emit clicked();
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

void CLabel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) {
    defaultColour_ = palette().color(QPalette::Button);
    Redraw();
  }
  QLabel::changeEvent(event);
}

int CLabel::TextFlags(const QString& text) const {
  int flags = Qt::TextShowMnemonic;
  const Qt::Alignment a = alignment();
  if (a & Qt::AlignHCenter) {
    flags |= Qt::AlignHCenter | Qt::TextWordWrap;
  } else if (a & Qt::AlignRight) {
    flags |= Qt::AlignRight | Qt::TextWordWrap;
  } else if (!wordWrap()) {
    flags |= Qt::AlignLeft;
  } else {
    flags |= Qt::AlignLeft | Qt::TextWordWrap;
  }
  if (text.contains(QLatin1Char('\t'))) flags |= Qt::TextExpandTabs;
  if ((a & Qt::AlignVCenter) && !text.contains(QLatin1String("\r\n"))) {
    flags &= ~Qt::TextWordWrap;
    flags |= Qt::AlignVCenter | Qt::TextSingleLine;
  } else {
    flags |= Qt::AlignTop;
  }
  return flags;
}

int CLabel::WholeLines(QTextLayout& layout, const QRect& client) const {
  QString plain = PlainCaption(text());
  plain.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator)).replace(QLatin1Char('\n'), QChar::LineSeparator);
  layout.setText(plain);
  layout.setFont(labelFont_);
  QTextOption option(alignment() & Qt::AlignHorizontal_Mask);
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  qreal y = 0;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(client.width());
    line.setPosition(QPointF(0, y));
    y += line.height();
  }
  layout.endLayout();
  int whole = 0;
  while (whole < layout.lineCount() && layout.lineAt(whole).rect().bottom() <= client.height()) ++whole;
  return whole;
}

void CLabel::DrawWholeLines(QPainter& p, const QRect& client) {
  QTextLayout layout;
  const int whole = WholeLines(layout, client);
  p.setPen(textColour_);
  for (int i = 0; i < whole; ++i) {
    const QTextLine line = layout.lineAt(i);
    if (i + 1 == whole && whole < layout.lineCount()) {
      // The last line that fits says that more follows.
      const QString rest = layout.text().mid(line.textStart()).simplified();
      const QRectF at(client.left(), client.top() + line.y(), client.width(), line.height());
      p.setFont(labelFont_);
      p.drawText(at, static_cast<int>(alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignTop,
                 QFontMetrics(labelFont_).elidedText(rest, Qt::ElideRight, client.width()));
    } else {
      line.draw(&p, client.topLeft());
    }
  }
}

void CLabel::Draw(QPainter& p, const QRect& client) {
  if (!transparent_) p.fillRect(client, hasBackgroundBrush_ ? backgroundColour_ : defaultColour_);
  if (tipWhenCut_) {
    DrawWholeLines(p, client);
    return;
  }

  QString shown = text();
  const int flags = TextFlags(shown);
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));

  p.setFont(labelFont_);
  p.setPen(textColour_);
  p.drawText(client, flags, shown);
}

void CLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  drawFrame(&p);
  const QRect client = contentsRect();
  if (transparent_) {
    Draw(p, client);
  } else {
    CMemDC memory(&p, client);
    Draw(*memory, client);
  }
  // A focused tab or link is outlined like a focused image button.
  if (hasFocus() && focusPolicy() != Qt::NoFocus) DrawFocusRing(p, rect(), 5);
}

}  // namespace zd573
