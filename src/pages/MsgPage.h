#pragma once
// The contacts and messages page.
#include "pages/PageFrame.h"

namespace zd573 {

class MsgPage : public PageFrame {
  Q_OBJECT

 public:
  MsgPage(AppContext& context, QWidget* mainWindow);

 protected:
  std::optional<Page> TransactionPage() const override { return Page::Contacts; }
};

}  // namespace zd573
