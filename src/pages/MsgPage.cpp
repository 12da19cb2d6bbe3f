#include "pages/MsgPage.h"

namespace zd573 {

MsgPage::MsgPage(AppContext& context, QWidget* mainWindow)
    : PageFrame(context, mainWindow, PageLook{220, "STR_MAINPAGE_STR2", "Contacts && Message", "STR_MSGPAGE_ABOUT", "about us \"Contacts && Send Message Setting\" information", 500, kMessagePanelColour, 218}) {}

}  // namespace zd573
