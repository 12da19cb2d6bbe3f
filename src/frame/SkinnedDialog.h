#pragma once
// The small views of the utility (login, password, settings): a sheet drawn
// inside the window at its top-left corner, over the dimmed view beneath (see
// ShowSheet), painted with its picture, with an icon, a title line, and a
// confirm and a cancel button with their captions at the bottom.
#include <QPixmap>
#include <QWidget>

#include <functional>
#include <vector>

#include "controls/CGdiPlusBitmap.h"
#include "frame/AppContext.h"

class QCheckBox;
class QLineEdit;

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

class SkinnedDialog : public QWidget {
  Q_OBJECT

 public:
  enum DialogCode { Rejected = 0, Accepted = 1 };

  // `backgroundId` is the picture painted over the whole sheet, `iconId` the
  // small picture at the top left. `parent` may be none until ShowSheet.
  SkinnedDialog(AppContext& context, QWidget* parent, QSize size, int backgroundId, int iconId);

  // Ends the sheet: hides it and reports `finished`.
  void accept() { done(Accepted); }
  void reject() { done(Rejected); }
  void done(int result);
  // Names its buttons after their captions and its fields after their
  // labels, and orders the focus: fields, confirm, cancel.
  // Returns the control that takes the keyboard first.
  QWidget* PrepareForKeyboard();
  int result() const { return result_; }
  // Whether the sheet goes on when the tracker it was opened for goes away
  // (it sets up one tracker after another).
  virtual bool SpansTrackers() const { return false; }
  // Whether the window may close now (see PageFrame::MayClose): a sheet
  // writing to the tracker asks whether to finish first.
  virtual bool MayClose(std::function<void()> /*closeLater*/) { return true; }

  CGdipButton* ConfirmButton() const { return confirm_; }
  CGdipButton* CancelButton() const { return cancel_; }
  CLabel* ConfirmCaption() const { return confirmCaption_; }
  CLabel* CancelCaption() const { return cancelCaption_; }

 signals:
  void finished(int result);

 protected:
  // The confirm button; the login and password sheets also run it on Enter.
  virtual void OnConfirm() = 0;
  // Work still running that Escape or Cancel must not leave behind.
  virtual bool Busy() const { return false; }
  // Whether Enter anywhere in the window runs OnConfirm().
  void SetEnterConfirms(bool on) { enterConfirms_ = on; }
  void SetTitle(const QString& text);
  // A plain label in the window's text style.
  CLabel* AddLabel(int id, const QRect& at, const QString& text);
  // A box that shows what `edits` hold while checked; they are masked otherwise.
  QCheckBox* AddRevealBox(const QRect& at, const std::vector<QLineEdit*>& edits);

  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

  AppContext& context_;

 private:
  SkinPicture background_;
  bool enterConfirms_ = false;
  int result_ = Rejected;
  CGdipButton* icon_ = nullptr;
  CLabel* title_ = nullptr;
  CGdipButton* confirm_ = nullptr;
  CGdipButton* cancel_ = nullptr;
  CLabel* confirmCaption_ = nullptr;
  CLabel* cancelCaption_ = nullptr;
};

// Deletes `object` once no message box or dialog runs: one may belong to it,
// and the code after it would go on in a deleted view.
void DeleteWhenNoModal(QObject* object);

// Shows `sheet` inside the window that holds `under`, over a dimmed `under`,
// which takes no mouse or keyboard input until the sheet finishes; the sheet
// then goes away and the focus returns where it was. Returns the sheet.
SkinnedDialog* ShowSheet(QWidget* under, SkinnedDialog* sheet);

}  // namespace zd573
