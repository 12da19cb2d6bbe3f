#include "pages/PageRegistry.h"

#include "pages/GPRSPage.h"
#include "pages/InfoPage.h"
#include "pages/LoggerPage.h"
#include "pages/MsgPage.h"
#include "pages/RingPage.h"

namespace zd573 {

namespace {

template <class P>
PageFrame* Make(AppContext& context, QWidget* window) {
  return new P(context, window);
}

std::span<const PageEntry> Entries() {
  static const PageEntry kPages[] = {
      {1002, {171, 172, 173}, Page::Info, &Make<InfoPage>, &InfoPage::staticMetaObject},
      {1005, {150, 151, 152}, Page::Contacts, &Make<MsgPage>, &MsgPage::staticMetaObject},
      {1006, {153, 154, 155}, Page::Gprs, &Make<GPRSPage>, &GPRSPage::staticMetaObject},
      {1007, {156, 157, 158}, Page::Ring, &Make<RingPage>, &RingPage::staticMetaObject},
      {1008, {159, 160, 161}, Page::Logger, &Make<LoggerPage>, &LoggerPage::staticMetaObject},
  };
  return kPages;
}

}  // namespace

PageEntry::PageEntry(int button, Pictures faces, Page page, Maker maker, const QMetaObject* pageClass)
    : buttonId(button),
      pictures(faces),
      titleKey(FindPageRow(page)->titleKey),
      titleDefault(FindPageRow(page)->titleDefault),
      sends(page),
      make(maker),
      type(pageClass) {}

std::span<const PageEntry> ConfigurationPages() { return Entries(); }

const PageEntry* FindPage(int buttonId) {
  for (const PageEntry& e : Entries())
    if (e.buttonId == buttonId) return &e;
  return nullptr;
}

const PageEntry* FindPage(const QMetaObject& type) {
  for (const PageEntry& e : Entries())
    if (e.type == &type) return &e;
  return nullptr;
}

PageFrame* MakePage(int buttonId, AppContext& context, QWidget* window) {
  const PageEntry* entry = FindPage(buttonId);
  if (!entry) return nullptr;
  PageFrame* page = entry->make(context, window);
  page->Open(PageIdentity{entry->titleKey, entry->titleDefault, entry->sends});
  return page;
}

}  // namespace zd573
