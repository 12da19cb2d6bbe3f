#include "pages/RingPage.h"

namespace zd573 {

RingPage::RingPage(AppContext& context, QWidget* mainWindow)
    : PageFrame(context, mainWindow, PageLook{222, "STR_MAINPAGE_STR4", "Ringing && Alarm", "STR_RINGPAGE_ABOUT", "about us \"Ring tone && Clock Alarm\" information", 300, kPagePanelColour}) {}

}  // namespace zd573
