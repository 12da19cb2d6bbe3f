#include "app/PageFactory.h"

#include "app/CZD573_UtilityDlg.h"
#include "pages/GPRSPage.h"
#include "pages/InfoPage.h"
#include "pages/LoggerPage.h"
#include "pages/MsgPage.h"
#include "pages/RingPage.h"

namespace zd573 {

PageFrame* MakeConfigurationPage(int buttonId, AppContext& context, QWidget* mainWindow) {
  switch (buttonId) {
    case CZD573_UtilityDlg::kInfoButton: return new InfoPage(context, mainWindow);
    case CZD573_UtilityDlg::kMsgButton: return new MsgPage(context, mainWindow);
    case CZD573_UtilityDlg::kGprsButton: return new GPRSPage(context, mainWindow);
    case CZD573_UtilityDlg::kRingButton: return new RingPage(context, mainWindow);
    case CZD573_UtilityDlg::kLoggerButton: return new LoggerPage(context, mainWindow);
    default: return nullptr;
  }
}

}  // namespace zd573
