#pragma once
// Every configuration page of the window: its main-window button and
// pictures, the core's row of the page (its name, title and what its Apply
// sends) and how its class is made. The main window, the page factory and the
// tests all read this table.
#include <optional>
#include <span>
#include <string_view>

#include "device/page_table.h"

class QWidget;
struct QMetaObject;

namespace zd573 {

class AppContext;
class PageFrame;

struct PageEntry {
  using Maker = PageFrame* (*)(AppContext& context, QWidget* window);
  struct Pictures {
    int normal, pressed, disabled;
  };
  PageEntry(int button, Pictures faces, Page page, Maker maker, const QMetaObject* pageClass);

  int buttonId;  // the main window's button (and the page's id)
  Pictures pictures;
  // From the core's row: the page's title and its button's caption, and the transaction its Apply sends.
  std::string_view titleKey;
  std::string_view titleDefault;
  std::optional<Page> sends;
  Maker make;
  const QMetaObject* type;  // the page's class
};

// The five pages in the order of their buttons.
std::span<const PageEntry> ConfigurationPages();
// The entry of a button, or none.
const PageEntry* FindPage(int buttonId);
// A new page for the button, built and filled, a view of `window`; none for
// a button without a page.
PageFrame* MakePage(int buttonId, AppContext& context, QWidget* window);
// The entry of a page class.
const PageEntry* FindPage(const QMetaObject& type);

// A new page of class P, as MakePage builds it.
template <class P>
P* MakePage(AppContext& context, QWidget* window) {
  const PageEntry* entry = FindPage(P::staticMetaObject);
  return entry ? static_cast<P*>(MakePage(entry->buttonId, context, window)) : nullptr;
}

}  // namespace zd573
