#pragma once
// The ringing and alarm page.
#include "pages/PageFrame.h"

namespace zd573 {

class RingPage : public PageFrame {
  Q_OBJECT

 public:
  RingPage(AppContext& context, QWidget* mainWindow);

 protected:
  std::optional<Page> TransactionPage() const override { return Page::Ring; }
};

}  // namespace zd573
