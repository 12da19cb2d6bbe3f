#pragma once
// One focus chain per view and a name for every control a screen reader can
// reach, in the current language.
#include <QString>

#include <functional>
#include <vector>

class QWidget;

namespace zd573 {

class CLabel;

// Names each edit, list, spin box and check box of `view` that has no name
// after the label on its left in the same row ("Time Zone:" names the time
// zone list "Time Zone"); radio buttons and buttons keep their own text.
void NameControlsFromLabels(QWidget* view);

// The view's focus chain in reading order (top to bottom, then left to
// right within a row), with `last` at the end in the given order.
// Returns the chain, first control first.
std::vector<QWidget*> OrderFocusChain(QWidget* view, const std::vector<QWidget*>& last);

// A row of tabs drawn as labels: each is a tab for screen readers, reached
// with Tab; Left and Right on a focused tab, and Ctrl+Tab / Ctrl+Shift+Tab
// anywhere in `view`, switch. `select(i)` shows tab i; `current()` says
// which one shows.
void MakeTabRow(QWidget* view, const std::vector<CLabel*>& tabs, std::function<void(int)> select,
                std::function<int()> current);
// Marks tab `index` of the row as the selected one.
void MarkSelectedTab(const std::vector<CLabel*>& tabs, int index);

// Tiles laid out in rows of `columns`, in reading order: the arrow keys move
// the focus by row and column among them (Tab keeps the view's own order).
void MakeTileGrid(QWidget* view, const std::vector<QWidget*>& tiles, int columns);

// Names a control of a grid after its column heading and its row: "Name 12".
void NameGridCell(QWidget* control, const QString& heading, int row);

// The window, its pages and its sheets as a screen reader should take them:
// a frame, panes named by their title, dialogs named by their title. Once.
void InstallAccessibleRoles();
// Tells assistive tools that a sheet opened or closed.
void AnnounceSheet(QWidget* sheet, bool opened);

// A picture drawn by an image button that does nothing when pressed (a page's
// icon, the logo, a row's badge): a graphic for screen readers, out of the
// focus chain.
void MarkDecorative(QWidget* picture);

// Text as a screen reader should say a caption or a label: "&&" as "&", no
// trailing colon.
QString SpokenLabel(const QString& text);

}  // namespace zd573
