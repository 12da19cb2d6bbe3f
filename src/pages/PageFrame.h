#pragma once
// What every configuration page has in common: it opens exactly over the main
// window, has the dark title band with minimise and close, the title,
// subtitle, device name and IMEI lines, Back and Apply at the bottom, and the
// common order of Apply and the leave test of Back. A page adds its own
// controls and values through the hooks below.
#include <QColor>
#include <QDialog>
#include <QPixmap>
#include <QPoint>
#include <QPointer>

#include <optional>
#include <string_view>

#include "common/result.h"
#include "device/transactions.h"
#include "pages/AppContext.h"
#include "pages/BandDrag.h"

namespace zd573 {

class CGdipButton;
class CLabel;

// What distinguishes one page's frame from another's.
struct PageLook {
  int iconId = 217;
  // The title key and its default ("STR_MAINPAGE_STR1", "Device Information").
  std::string_view titleKey;
  std::string_view titleDefault;
  // The page's description text under the title.
  std::string_view aboutKey;
  std::string_view aboutDefault;
  int subtitleWidth = 500;
  QColor panelColour{239, 245, 246};
};

inline const QColor kPagePanelColour{239, 245, 246};
inline const QColor kMessagePanelColour{223, 232, 237};

class PageFrame : public QDialog {
  Q_OBJECT

 public:
  // The drag band, in page coordinates.
  static constexpr QRect kDragBand = BandDrag::kBand;

  PageFrame(AppContext& context, QWidget* mainWindow, PageLook look);
  ~PageFrame() override;

  // Builds the frame and the page, sets the texts and fills the controls
  // from the settings record. Called once, right after construction.
  void Open();

  // Apply: page-local work, then open the port (else "Unable to open
  // COM-port", record unchanged), store, build, write with the pause after
  // each sentence, close. The writes run off the GUI thread.
  void Apply();
  // The leave test: closes when nothing differs or the user says Yes.
  // Returns whether the page closed.
  bool Back();

  CGdipButton* MinimiseButton() const { return minimise_; }
  CGdipButton* CloseButton() const { return close_; }
  CGdipButton* BackButton() const { return back_; }
  CGdipButton* ApplyButton() const { return apply_; }
  CGdipButton* PageIcon() const { return icon_; }
  CLabel* MenuText() const { return menuText_; }
  CLabel* ApplyText() const { return applyText_; }
  CLabel* TitleLine() const { return title_; }
  CLabel* SubtitleLine() const { return subtitle_; }
  CLabel* DeviceNameLine() const { return deviceName_; }
  CLabel* ImeiLine() const { return imei_; }
  bool HasBackground() const { return !background_.isNull(); }
  const PageLook& Look() const { return look_; }
  bool Dragging() const { return drag_.Dragging(); }

 protected:
  // Creates and places the page's own controls.
  virtual void CreatePageControls() {}
  // Sets the page's own texts from the language table.
  virtual void LoadPageTexts() {}
  // Fills the page's controls from the record.
  virtual void FillFromSettings(const DeviceValues& /*values*/) {}
  // Whether any control differs from the record.
  virtual bool HasChanges(const DeviceValues& /*values*/) const { return false; }
  // Work that needs no device, done before the port is opened.
  virtual Status BeforeApply() { return {}; }
  // Copies the controls into `edited`; an error is shown and nothing is sent.
  virtual Status StoreControls(DeviceValues& /*edited*/) { return {}; }
  // The transaction the page's Apply sends; none sends nothing.
  virtual std::optional<Page> TransactionPage() const { return std::nullopt; }

  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

  AppContext& context_;

 private:
  void CreateFrameControls();
  void LoadFrameTexts();
  void MinimiseBoth();

  PageLook look_;
  QPointer<QWidget> main_;
  QPixmap background_;
  BandDrag drag_;
  bool leaving_ = false;
  CGdipButton* minimise_ = nullptr;
  CGdipButton* close_ = nullptr;
  CGdipButton* back_ = nullptr;
  CGdipButton* apply_ = nullptr;
  CGdipButton* icon_ = nullptr;
  CLabel* menuText_ = nullptr;
  CLabel* applyText_ = nullptr;
  CLabel* title_ = nullptr;
  CLabel* subtitle_ = nullptr;
  CLabel* deviceName_ = nullptr;
  CLabel* imei_ = nullptr;
};

}  // namespace zd573
