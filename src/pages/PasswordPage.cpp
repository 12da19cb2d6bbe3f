#include "pages/PasswordPage.h"

#include <QLineEdit>

#include "controls/CLabel.h"
#include "device/profile_writer.h"
#include "device/transactions.h"
#include "device/user_values.h"
#include "frame/Messages.h"
#include "frame/Skin.h"

namespace zd573 {

PasswordPage::PasswordPage(AppContext& context, QWidget* parent)
    : SkinnedDialog(context, parent, QSize(350, 250), skin::kLoginBackground, skin::kLoginIcon) {
  SetEnterConfirms(true);
  SetTitle(context_.Text("STR_PASSWORDPAGE_STR1", "Change Password"));
  AddLabel(1100, QRect(20, 64, 125, 26), context_.Text("STR_PASSWORDPAGE_STR2", "New Password:"));
  new_ = new QLineEdit(this);
  new_->setObjectName(QStringLiteral("newPassword"));
  new_->setGeometry(150, 64, 170, 26);
  AddLabel(1101, QRect(20, 100, 125, 26), context_.Text("STR_PASSWORDPAGE_STR3", "Comfin Password:"));
  again_ = new QLineEdit(this);
  again_->setObjectName(QStringLiteral("confirmPassword"));
  again_->setGeometry(150, 100, 170, 26);
  CLabel* hint = AddLabel(kHintLabel, QRect(150, 130, 170, 22), context_.Text("STR_PASSWORDPAGE_STR4", "(Max 15 Byte)"));
  hint->SetForeground(skin::kHintColour);
  reveal_ = AddRevealBox(QRect(20, 130, 125, 22), {new_, again_});
  ConfirmCaption()->SetLabelText(context_.Text("STR_PASSWORDPAGE_STR6", "Apply"));
  CancelCaption()->SetLabelText(context_.Text("STR_PASSWORDPAGE_STR5", "Cancel"));
  errorText_ = context_.Text("STR_PASSWORDPAGE_STR7", "Error");
}

void PasswordPage::ApplyPassword() {
  const QString typed = new_->text();
  // "Error" first, as the tracker's utility always said, then which fault it is.
  if (typed != again_->text()) {
    context_.ShowError(this, errorText_ + QStringLiteral("\n\n") +
                                 context_.Text("STR_PASSWORDPAGE_DIFFER", "The two entries differ."));
    return;
  }
  // Too long in the device encoding, not encodable at all, or carrying a
  // character that would break the sentence: all refused alike.
  DeviceValues edited = context_.Settings().Snapshot();
  const QByteArray utf8 = typed.toUtf8();
  if (auto stored = StoreUserValue(edited, "OU", std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
                                     context_.Rules());
      !stored) {
    context_.ShowError(this, errorText_ + QStringLiteral("\n\n") + ErrorText(context_, stored.failure()));
    return;
  }
  if (task_.Running()) return;
  if (auto backup = context_.BackUpBeforeWrite(); !backup) {
    context_.ShowError(this, BackupFailedText(context_, backup.failure()));
    return;
  }
  auto leased = context_.LeasePort();
  if (!leased) {
    context_.ShowFailure(this, leased.failure());
    return;
  }
  std::shared_ptr<DevicePort> port = std::move(leased.value());
  const std::chrono::milliseconds pause = context_.durations.setSentencePause;
  const std::chrono::milliseconds readLimit = context_.durations.fullReadStall;
  DeviceSettings* settings = &context_.Settings();
  task_.Run(
      [port, settings, edited, pause, readLimit](std::stop_token stop, const BackgroundTask::Relay&) mutable {
        // Read back, so the user is told only what the tracker took.
        ProfileWriteResult sent =
            WriteProfilePages(*port, *settings, edited, {Page::Password}, WriteOptions{pause, {}, stop}, readLimit);
        port.reset();
        return sent;
      },
      [this](ProfileWriteResult sent) {
        const QString settingsName = context_.Text("STR_PASSWORDPAGE_SETTINGS");
        if (!sent.status && sent.written.empty()) {
          context_.ShowFailure(this, sent.status.failure());
          return;
        }
        context_.RememberTrackerEncoding();
        if (!sent.status) {
          context_.ShowError(this, FillIn(context_.Text("STR_PROFILE_READBACKFAILED"),
                                          {settingsName, ErrorText(context_, sent.status.failure())}));
          return;
        }
        if (!sent.untaken.empty()) {
          context_.ShowError(this, FillIn(context_.Text("STR_PROFILE_UNTAKEN"), {settingsName, FieldName(context_, "OU")}));
          return;
        }
        context_.ShowMessage(this, context_.Text("STR_PASSWORDPAGE_CHANGED", "Password changed"),
                             MessageIcon::Information);
        accept();
      });
}

}  // namespace zd573
