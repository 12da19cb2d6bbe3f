#include "pages/InfoPage.h"

namespace zd573 {

InfoPage::InfoPage(AppContext& context, QWidget* mainWindow)
    : PageFrame(context, mainWindow, PageLook{217, "STR_MAINPAGE_STR1", "Device Information", "STR_DEVICEPAGE_ABOUT", "about us \"Device\" information", 300, kPagePanelColour}) {}

}  // namespace zd573
