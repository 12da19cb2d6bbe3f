#pragma once
// Changes the device password: two entries that must agree, at most 15 bytes
// in the device encoding, sent as one "OU=..." set sentence.
#include "pages/SkinnedDialog.h"

class QLineEdit;

namespace zd573 {

class PasswordPage : public SkinnedDialog {
  Q_OBJECT

 public:
  static constexpr int kNewEdit = 1106;
  static constexpr int kConfirmEdit = 1107;
  static constexpr int kHintLabel = 1105;

  PasswordPage(AppContext& context, QWidget* parent);

  QLineEdit* NewEdit() const { return new_; }
  QLineEdit* ConfirmEdit() const { return again_; }

  // The Apply button and Enter: check, send, close with OK; on any failure
  // the user is told and the window stays open with both entries.
  void ApplyPassword();

 protected:
  void OnConfirm() override { ApplyPassword(); }

 private:
  QLineEdit* new_ = nullptr;
  QLineEdit* again_ = nullptr;
  QString errorText_;
};

}  // namespace zd573
