#include "frame/Accessibility.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QWidget>

#include <algorithm>
#include <memory>

#include "controls/CLabel.h"

namespace zd573 {

QString SpokenLabel(const QString& text) {
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
    out += text[i];
  }
  out = out.trimmed();
  while (out.endsWith(QLatin1Char(':')) || out.endsWith(QChar(0xFF1A))) out.chop(1);
  return out.trimmed();
}

namespace {

bool NeedsLabel(const QWidget* w) {
  if (qobject_cast<const QCheckBox*>(w)) return true;
  return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
         qobject_cast<const QAbstractSpinBox*>(w);
}

// Geometry in the view's coordinates.
QRect InView(const QWidget* w, const QWidget* view) {
  return QRect(w->mapTo(view, QPoint(0, 0)), w->size());
}

}  // namespace

void NameControlsFromLabels(QWidget* view) {
  const QList<CLabel*> labels = view->findChildren<CLabel*>();
  for (QWidget* w : view->findChildren<QWidget*>()) {
    if (!NeedsLabel(w) || !w->accessibleName().isEmpty()) continue;
    // A line edit inside a list (an editable combo box) is named by its list.
    if (qobject_cast<QComboBox*>(w->parentWidget())) continue;
    const QRect at = InView(w, view);
    CLabel* best = nullptr;
    int bestGap = 0;
    for (CLabel* label : labels) {
      if (label->isHidden() || SpokenLabel(label->text()).isEmpty()) continue;
      const QRect l = InView(label, view);
      // In the same row: the label's middle lies within the control's height.
      const int middle = l.center().y();
      if (middle < at.top() - 4 || middle > at.bottom() + 4) continue;
      const int gap = at.left() - l.right();
      if (gap < -4 || gap > 60) continue;
      if (!best || gap < bestGap) {
        best = label;
        bestGap = gap;
      }
    }
    if (!best) continue;
    w->setAccessibleName(SpokenLabel(best->text()));
    // The label's mnemonic and a reader's "labelled by" both point here.
    best->setBuddy(w);
  }
}

void NameGridCell(QWidget* control, const QString& heading, int row) {
  control->setAccessibleName(SpokenLabel(heading) + QLatin1Char(' ') + QString::number(row));
}

std::vector<QWidget*> OrderFocusChain(QWidget* view, const std::vector<QWidget*>& last) {
  std::vector<QWidget*> chain;
  for (QWidget* w : view->findChildren<QWidget*>()) {
    if (!(w->focusPolicy() & Qt::TabFocus)) continue;
    if (w->focusProxy()) continue;
    if (std::find(last.begin(), last.end(), w) != last.end()) continue;
    chain.push_back(w);
  }
  // Rows first: controls whose tops lie within 12 pixels share a row.
  std::stable_sort(chain.begin(), chain.end(), [view](QWidget* a, QWidget* b) {
    const QRect ra = InView(a, view), rb = InView(b, view);
    if (std::abs(ra.center().y() - rb.center().y()) > 12) return ra.center().y() < rb.center().y();
    return ra.left() < rb.left();
  });
  chain.insert(chain.end(), last.begin(), last.end());
  for (std::size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
  return chain;
}

void MarkSelectedTab(const std::vector<CLabel*>& tabs, int index) {
  for (std::size_t i = 0; i < tabs.size(); ++i) tabs[i]->setProperty("zd573TabSelected", int(i) == index);
}

namespace {
class TabKeys : public QObject {
 public:
  TabKeys(QObject* parent, std::vector<CLabel*> tabs, std::function<void(int)> select)
      : QObject(parent), tabs_(std::move(tabs)), select_(std::move(select)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Left && key != Qt::Key_Right) return false;
    const auto it = std::find(tabs_.begin(), tabs_.end(), watched);
    if (it == tabs_.end()) return false;
    const int n = static_cast<int>(tabs_.size());
    const int next = (static_cast<int>(it - tabs_.begin()) + (key == Qt::Key_Right ? 1 : n - 1)) % n;
    select_(next);
    tabs_[static_cast<std::size_t>(next)]->setFocus(Qt::TabFocusReason);
    return true;
  }

 private:
  std::vector<CLabel*> tabs_;
  std::function<void(int)> select_;
};
}  // namespace

void MakeTabRow(QWidget* view, const std::vector<CLabel*>& tabs, std::function<void(int)> select,
                std::function<int()> current) {
  auto* keys = new TabKeys(view, tabs, select);
  for (CLabel* tab : tabs) {
    tab->SetAccessibleRole(QAccessible::PageTab);
    tab->installEventFilter(keys);
  }
  const int n = static_cast<int>(tabs.size());
  auto step = [select, current, n](int by) { select((current() + by + n) % n); };
  auto* next = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), view);
  next->setContext(Qt::WidgetWithChildrenShortcut);
  QObject::connect(next, &QShortcut::activated, view, [step] { step(1); });
  auto* previous = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), view);
  previous->setContext(Qt::WidgetWithChildrenShortcut);
  QObject::connect(previous, &QShortcut::activated, view, [step] { step(-1); });
  // Qt names Ctrl+Shift+Tab as Ctrl+Shift+Backtab on some platforms.
  auto* back = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), view);
  back->setContext(Qt::WidgetWithChildrenShortcut);
  QObject::connect(back, &QShortcut::activated, view, [step] { step(-1); });
}

}  // namespace zd573
