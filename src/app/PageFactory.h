#pragma once
// The configuration page behind each page button of the main window.
class QWidget;

namespace zd573 {

class AppContext;
class PageFrame;

// A new page for the button, or nothing for a button without one.
PageFrame* MakeConfigurationPage(int buttonId, AppContext& context, QWidget* mainWindow);

}  // namespace zd573
