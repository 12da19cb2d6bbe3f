#pragma once
// The GPRS page: the access point, its user name and password and two name
// servers (D1 to D5), and the server address and port (E0, E1), shown only.
#include <array>

#include "frame/PageFrame.h"

class QLineEdit;

namespace zd573 {

class GPRSPage : public PageFrame {
  Q_OBJECT

 public:
  GPRSPage(AppContext& context, QWidget* mainWindow);

  // D1 to D5 in order, then the IP and the port box.
  QLineEdit* Box(int index) const { return boxes_.at(static_cast<std::size_t>(index)); }

 protected:
  void CreatePageControls() override;

 private:
  std::array<QLineEdit*, 7> boxes_{};
};

}  // namespace zd573
