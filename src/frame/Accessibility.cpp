#include "frame/Accessibility.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QRadioButton>
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
#include "controls/Caption.h"

namespace zd573 {

QString SpokenLabel(const QString& text) {
  QString out = PlainCaption(text).trimmed();
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
  // A choice among radio buttons is described by the row's label: "Low", "Ringing Volume".
  for (QRadioButton* radio : view->findChildren<QRadioButton*>()) {
    if (!radio->accessibleDescription().isEmpty()) continue;
    const QRect at = InView(radio, view);
    CLabel* row = nullptr;
    for (CLabel* label : labels) {
      const QRect l = InView(label, view);
      if (label->isHidden() || SpokenLabel(label->text()).isEmpty() || l.right() > at.left() + 4) continue;
      if (l.center().y() < at.top() - 4 || l.center().y() > at.bottom() + 4) continue;
      if (!row || l.right() > InView(row, view).right()) row = label;
    }
    if (row) radio->setAccessibleDescription(SpokenLabel(row->text()));
  }
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
  const QString name = SpokenLabel(heading) + QLatin1Char(' ') + QString::number(row);
  control->setAccessibleName(name);
  if (qobject_cast<QComboBox*>(control)) {
    // On Linux a list is said by its label relation and its value; a grid
    // cell has no label of its own, so it gets one that is never shown.
    auto* label = new QLabel(name, control->parentWidget());
    label->setGeometry(control->geometry().topLeft().x(), control->geometry().topLeft().y(), 0, 0);
    label->setBuddy(control);
    label->hide();
  }
}

namespace {
class ViewAccessible : public QAccessibleWidget {
 public:
  ViewAccessible(QWidget* w, QAccessible::Role role) : QAccessibleWidget(w, role) {}
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) return SpokenLabel(widget()->windowTitle());
    return QAccessibleWidget::text(t);
  }
};

constexpr char kDecorative[] = "zd573Decorative";

// A list named by its label, its selection its value. (Qt's own list says its
// selection as its name on Linux and leaves the label to a relation, which
// readers then skip: "GMT +8" instead of "Time Zone".)
class ListAccessible : public QAccessibleWidget {
 public:
  explicit ListAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::ComboBox) {}
  QComboBox* List() const { return static_cast<QComboBox*>(widget()); }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return List()->currentText();
    return QAccessibleWidget::text(t);
  }
  // The drop-down list, as Qt's own interface offers it.
  int childCount() const override { return List()->view() ? 1 : 0; }
  QAccessibleInterface* child(int index) const override {
    return index == 0 && List()->view() ? QAccessible::queryAccessibleInterface(List()->view()) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child && List()->view() && child->object() == List()->view() ? 0 : -1;
  }
};

QAccessibleInterface* ViewFactory(const QString& className, QObject* object) {
  if (!object || !object->isWidgetType()) return nullptr;
  auto* w = static_cast<QWidget*>(object);
  if (className == QLatin1String("QComboBox") && !static_cast<QComboBox*>(w)->isEditable()) return new ListAccessible(w);
  if (w->property(kDecorative).toBool()) return new QAccessibleWidget(w, QAccessible::Graphic);
  if (className == QLatin1String("zd573::SkinnedDialog")) return new ViewAccessible(w, QAccessible::Dialog);
  if (className == QLatin1String("zd573::PageFrame")) return new ViewAccessible(w, QAccessible::Pane);
  if (className == QLatin1String("zd573::CZD573_UtilityDlg")) return new ViewAccessible(w, QAccessible::Window);
  return nullptr;
}
}  // namespace

void MarkDecorative(QWidget* picture) {
  picture->setProperty(kDecorative, true);
  picture->setFocusPolicy(Qt::NoFocus);
}

void InstallAccessibleRoles() {
  static const bool installed = [] {
    QAccessible::installFactory(&ViewFactory);
    return true;
  }();
  (void)installed;
}

void AnnounceSheet(QWidget* sheet, bool opened) {
  if (!QAccessible::isActive()) return;
  QAccessibleEvent event(sheet, opened ? QAccessible::DialogStart : QAccessible::DialogEnd);
  QAccessible::updateAccessibility(&event);
}

std::vector<QWidget*> OrderFocusChain(QWidget* view, const std::vector<QWidget*>& last) {
  std::vector<QWidget*> chain;
  for (QWidget* w : view->findChildren<QWidget*>()) {
    if (!(w->focusPolicy() & Qt::TabFocus)) continue;
    if (w->focusProxy()) continue;
    // A list's popup is a window of its own; its list is reached through the list.
    if (w->window() != view->window()) continue;
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
  for (std::size_t i = 0; i < tabs.size(); ++i) {
    const bool selected = int(i) == index;
    if (tabs[i]->property("zd573TabSelected").toBool() == selected) continue;
    tabs[i]->setProperty("zd573TabSelected", selected);
    if (QAccessible::isActive()) {
      QAccessible::State changed;
      changed.selected = true;
      QAccessibleStateChangeEvent event(tabs[i], changed);
      QAccessible::updateAccessibility(&event);
    }
  }
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

namespace {
class GridKeys : public QObject {
 public:
  GridKeys(QObject* parent, std::vector<QWidget*> tiles, int columns)
      : QObject(parent), tiles_(std::move(tiles)), columns_(columns) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    const auto it = std::find(tiles_.begin(), tiles_.end(), watched);
    if (it == tiles_.end()) return false;
    const int at = static_cast<int>(it - tiles_.begin());
    int to = at;
    switch (key->key()) {
      case Qt::Key_Left: to = at % columns_ ? at - 1 : at; break;
      case Qt::Key_Right: to = (at + 1) % columns_ ? at + 1 : at; break;
      case Qt::Key_Up: to = at - columns_; break;
      case Qt::Key_Down: to = at + columns_; break;
      default: return false;
    }
    // At an edge the focus stays where it is.
    if (to >= 0 && to < static_cast<int>(tiles_.size())) tiles_[static_cast<std::size_t>(to)]->setFocus(Qt::TabFocusReason);
    return true;
  }

 private:
  std::vector<QWidget*> tiles_;
  int columns_;
};
}  // namespace

void MakeTileGrid(QWidget* view, const std::vector<QWidget*>& tiles, int columns) {
  auto* keys = new GridKeys(view, tiles, columns);
  for (QWidget* tile : tiles) tile->installEventFilter(keys);
}

void MakeTabRow(QWidget* view, const std::vector<CLabel*>& tabs, std::function<void(int)> select,
                std::function<int()> current) {
  auto* keys = new TabKeys(view, tabs, select);
  for (CLabel* tab : tabs) {
    tab->SetAccessibleRole(QAccessible::PageTab);
    tab->installEventFilter(keys);
  }
  const int n = static_cast<int>(tabs.size());
  // The keyboard follows the tab that now shows, so a reader says which it is.
  auto step = [select, current, n, tabs](int by) {
    const int to = (current() + by + n) % n;
    select(to);
    tabs[static_cast<std::size_t>(to)]->setFocus(Qt::TabFocusReason);
  };
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
