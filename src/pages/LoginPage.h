#pragma once
// The login window: the typed text is compared with the device password the
// identification has read; the tracker itself is not asked.
#include <QString>

#include "frame/SkinnedDialog.h"

class QCheckBox;
class QLineEdit;

namespace zd573 {

class LoginPage : public SkinnedDialog {
  Q_OBJECT

 public:
  static constexpr int kPasswordEdit = 1105;
  static constexpr int kPasswordLabel = 1103;
  static constexpr int kHintLabel = 1104;
  static constexpr int kWrongLabel = 1106;
  LoginPage(AppContext& context, QWidget* mainWindow);

  QLineEdit* PasswordEdit() const { return edit_; }
  CLabel* HintLabel() const { return hint_; }

  // The check of the OK button and Enter: keeps the typed text and closes
  // with OK when it opens the tracker; otherwise stays open, says so and
  // selects the text for typing again.
  void Check();
  CLabel* WrongNote() const { return wrong_; }
  QCheckBox* RevealBox() const { return reveal_; }
  // What was typed when OK or Enter was pressed last.
  const QString& Typed() const { return typed_; }

 protected:
  void OnConfirm() override { Check(); }

 private:
  QLineEdit* edit_ = nullptr;
  CLabel* hint_ = nullptr;
  CLabel* wrong_ = nullptr;
  QCheckBox* reveal_ = nullptr;
  QString typed_;
};

}  // namespace zd573
