#pragma once
// The small modal windows of the utility (login, password, settings): a
// frameless dialog at the main window's top-left corner, painted with its
// picture, with an icon, a title line, and a confirm and a cancel button with
// their captions at the bottom.
#include <QDialog>
#include <QPixmap>

#include "pages/AppContext.h"

namespace zd573 {

class CGdipButton;
class CLabel;

// Control ids of the small windows.
namespace dialog_id {
inline constexpr int kConfirm = 1075;
inline constexpr int kCancel = 1076;
inline constexpr int kConfirmCaption = 1100;
inline constexpr int kCancelCaption = 1101;
inline constexpr int kTitle = 1102;
inline constexpr int kIcon = 1108;
}  // namespace dialog_id

class SkinnedDialog : public QDialog {
  Q_OBJECT

 public:
  // `backgroundId` is the picture painted over the whole window, `iconId` the
  // small picture at the top left.
  SkinnedDialog(AppContext& context, QWidget* mainWindow, QSize size, int backgroundId, int iconId);

  CGdipButton* ConfirmButton() const { return confirm_; }
  CGdipButton* CancelButton() const { return cancel_; }
  CLabel* ConfirmCaption() const { return confirmCaption_; }
  CLabel* CancelCaption() const { return cancelCaption_; }
  CLabel* TitleLabel() const { return title_; }
  CGdipButton* IconButton() const { return icon_; }

 protected:
  // The confirm button; the login and password windows also run it on Enter.
  virtual void OnConfirm() = 0;
  // Whether Enter anywhere in the window runs OnConfirm().
  void SetEnterConfirms(bool on) { enterConfirms_ = on; }
  void SetTitle(const QString& text);
  // A plain label in the window's text style.
  CLabel* AddLabel(int id, const QRect& at, const QString& text);

  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

  AppContext& context_;

 private:
  QPixmap background_;
  bool enterConfirms_ = false;
  CGdipButton* icon_ = nullptr;
  CLabel* title_ = nullptr;
  CGdipButton* confirm_ = nullptr;
  CGdipButton* cancel_ = nullptr;
  CLabel* confirmCaption_ = nullptr;
  CLabel* cancelCaption_ = nullptr;
};

}  // namespace zd573
