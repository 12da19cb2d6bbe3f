#include "pages/GPRSPage.h"

#include <QLineEdit>

#include "settings/language.h"

namespace zd573 {

GPRSPage::GPRSPage(AppContext& context, QWidget* mainWindow)
    : PageFrame(context, mainWindow,
                PageLook{218, "STR_GPRSPAGE_ABOUT",
                         "about us \"GPRSxxxxx\" information", 300, kPagePanelColour}) {}

void GPRSPage::CreatePageControls() {
  struct Row {
    const char* key;
    int y;
    const char* english;
  };
  // The access point group, then the two name servers after a gap.
  static constexpr Row kRows[] = {{"D1", 175, "GPRS APN:"},  {"D2", 210, "GPRS User Name:"},
                                  {"D3", 245, "GPRS Password:"}, {"D4", 300, "DNS 1:"},
                                  {"D5", 335, "DNS 2:"}};
  for (int i = 0; i < 5; ++i) {
    const Row& row = kRows[i];
    AddLabel(QRect(10, row.y, 155, 20), settings::FamilyKey("STR_GPRSPAGE_STR%d", i + 1), row.english);
    QLineEdit* box = AddEdit(QRect(175, row.y, 165, 20));
    Fields().Bind(row.key, box);  // the password is shown in clear, as the tracker keeps it
    boxes_[static_cast<std::size_t>(i)] = box;
  }
  AddLabel(QRect(60, 375, 300, 20), "STR_GPRSPAGE_STR8", "Host/Port Settings:", Qt::AlignLeft | Qt::AlignVCenter);
  AddLabel(QRect(90, 405, 145, 20), "STR_GPRSPAGE_STR6", "IP:");
  // The port box sits 20 pixels right of its old place so a translated
  // caption ("連接埠：") fits between the two boxes.
  AddLabel(QRect(414, 405, 66, 20), "STR_GPRSPAGE_STR7", "Port:");
  boxes_[5] = AddEdit(QRect(245, 405, 165, 20));
  boxes_[6] = AddEdit(QRect(485, 405, 165, 20));
  // The server is set by other means; the page shows it and never sends it.
  for (std::size_t i = 5; i < 7; ++i) {
    boxes_[i]->setEnabled(false);
    boxes_[i]->setFocusPolicy(Qt::NoFocus);
  }
  Fields().BindShown("E0", boxes_[5]);
  Fields().BindShown("E1", boxes_[6]);
}

}  // namespace zd573
