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

constexpr PageEntry kPages[] = {
    {1002, {171, 172, 173}, "STR_MAINPAGE_STR1", "Device Information", Page::Info, &Make<InfoPage>, &InfoPage::staticMetaObject},
    {1005, {150, 151, 152}, "STR_MAINPAGE_STR2", "Contacts && Message", Page::Contacts, &Make<MsgPage>, &MsgPage::staticMetaObject},
    {1006, {153, 154, 155}, "STR_MAINPAGE_STR3", "GPRS Parameter", Page::Gprs, &Make<GPRSPage>, &GPRSPage::staticMetaObject},
    {1007, {156, 157, 158}, "STR_MAINPAGE_STR4", "Ringing && Alarm", Page::Ring, &Make<RingPage>, &RingPage::staticMetaObject},
    {1008, {159, 160, 161}, "STR_MAINPAGE_STR5", "Logger", Page::Logger, &Make<LoggerPage>, &LoggerPage::staticMetaObject},
};

}  // namespace

std::span<const PageEntry> ConfigurationPages() { return kPages; }

const PageEntry* FindPage(int buttonId) {
  for (const PageEntry& e : kPages)
    if (e.buttonId == buttonId) return &e;
  return nullptr;
}

const PageEntry* FindPage(const QMetaObject& type) {
  for (const PageEntry& e : kPages)
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
