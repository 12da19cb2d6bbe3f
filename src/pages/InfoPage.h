#pragma once
// The device information page.
#include "pages/PageFrame.h"

namespace zd573 {

class InfoPage : public PageFrame {
  Q_OBJECT

 public:
  InfoPage(AppContext& context, QWidget* mainWindow);

 protected:
  std::optional<Page> TransactionPage() const override { return Page::Info; }
};

}  // namespace zd573
