#pragma once
// Changes the device password: two entries that must agree, at most 15 bytes
// in the device encoding, sent as one "OU=..." set sentence.
#include "frame/BackgroundTask.h"
#include "frame/SkinnedDialog.h"

class QCheckBox;
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
  QCheckBox* RevealBox() const { return reveal_; }

  // The Apply button and Enter: check, send on the session's port and read
  // back (off the window thread), say "Password changed" and close with OK;
  // on any failure the user is told and the sheet stays open with both entries.
  void ApplyPassword();
  bool Busy() const override { return task_.Running(); }

 protected:
  void OnConfirm() override { ApplyPassword(); }

 private:
  BackgroundTask task_{this, [this](const Error& failure) { context_.ShowFailure(this, failure); }};
  QLineEdit* new_ = nullptr;
  QLineEdit* again_ = nullptr;
  QCheckBox* reveal_ = nullptr;
  QString errorText_;
};

}  // namespace zd573
