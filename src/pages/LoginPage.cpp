#include "pages/LoginPage.h"

#include <QLineEdit>

#include "controls/CLabel.h"
#include "device/login_rule.h"
#include "frame/Skin.h"

namespace zd573 {

LoginPage::LoginPage(AppContext& context, QWidget* mainWindow)
    : SkinnedDialog(context, mainWindow, QSize(350, 250), skin::kLoginBackground, skin::kLoginIcon) {
  SetEnterConfirms(true);
  SetTitle(context_.Text("STR_LOGINPAGE_STR1", "Login"));
  AddLabel(kPasswordLabel, QRect(30, 82, 100, 26), context_.Text("STR_LOGINPAGE_STR2", "Password:"));
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("password"));
  edit_->setGeometry(135, 82, 180, 26);
  hint_ = AddLabel(kHintLabel, QRect(135, 112, 200, 22),
                   context_.Text("STR_LOGINPAGE_STR3", "(Default Password:4071)"));
  hint_->SetForeground(skin::kHintColour);
  reveal_ = AddRevealBox(QRect(135, 136, 200, 22), {edit_});
  // Said where the hint was: the hint has been read by then.
  wrong_ = AddLabel(kWrongLabel, QRect(135, 112, 200, 22), context_.Text("STR_LOGINPAGE_WRONG", "Wrong password"));
  wrong_->SetForeground(skin::kErrorColour);
  wrong_->SetAccessibleRole(QAccessible::StatusBar);
  wrong_->hide();
  ConfirmCaption()->SetLabelText(context_.Text("STR_LOGINPAGE_STR5", "Login"));
  CancelCaption()->SetLabelText(context_.Text("STR_LOGINPAGE_STR4", "Cancel"));
}

void LoginPage::Check() {
  const QString device = context_.FromDevice(context_.Settings().Text("OU"));
  typed_ = edit_->text();
  if (PasswordOpens(typed_.toStdString(), device.toStdString())) {
    accept();
    return;
  }
  hint_->hide();
  wrong_->show();
  edit_->selectAll();
  edit_->setFocus(Qt::OtherFocusReason);
}

}  // namespace zd573
