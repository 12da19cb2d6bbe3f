#pragma once
// Every configuration page, named once: its main-window button and pictures,
// its title, the transaction its Apply sends and how it is made. The main
// window, the page factory and the tests all read this table.
#include <optional>
#include <span>
#include <string_view>

#include "device/device_settings.h"

class QWidget;
struct QMetaObject;

namespace zd573 {

class AppContext;
class PageFrame;

struct PageEntry {
  int buttonId;  // the main window's button (and the page's id)
  struct Pictures {
    int normal, pressed, disabled;
  } pictures;
  std::string_view titleKey;  // the page's title and its button's caption
  std::string_view titleDefault;
  std::optional<Page> sends;
  PageFrame* (*make)(AppContext& context, QWidget* window);
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
