#include "app/ProfileMenu.h"

#include "controls/CGdipButton.h"
#include "device/write_backup.h"
#include "frame/AppContext.h"
#include "frame/Messages.h"
#include "frame/SessionHost.h"
#include "frame/Skin.h"
#include "frame/TextConversion.h"
#include "pages/BackupLoopSheet.h"
#include "pages/ProfileReviewSheet.h"
#include "pages/SaveProfileSheet.h"

namespace zd573 {

namespace {
// Under Login, in the menu's left column.
const QRect kSaveAt(34, 344, 180, 36);
const QRect kLoadAt(34, 390, 180, 36);
const QRect kUndoAt(34, 436, 180, 36);
const QRect kSaveEachAt(34, 482, 180, 36);
const QColor kCaptionColour{0x0E, 0x7C, 0x86};

CGdipButton* FileButton(QWidget* menu, int normal, int pressed, const QRect& at) {
  CGdipButton* button = skin::MakeButton(menu, normal, pressed, at);
  button->SetCaptionColor(kCaptionColour);
  button->SetCaptionPointSize(11);
  button->SetCaptionOffset(12, 0);
  button->hide();
  return button;
}
}  // namespace

ProfileMenu::ProfileMenu(AppContext& context, SessionHost& session, QWidget* menu, Host host)
    : QObject(menu), context_(context), session_(session), menu_(menu), host_(std::move(host)) {
  save_ = FileButton(menu, skin::kSaveFileNormal, skin::kSaveFilePressed, kSaveAt);
  load_ = FileButton(menu, skin::kLoadFileNormal, skin::kLoadFilePressed, kLoadAt);
  undo_ = FileButton(menu, skin::kUndoWriteNormal, skin::kUndoWritePressed, kUndoAt);
  saveEach_ = FileButton(menu, skin::kSaveFileNormal, skin::kSaveFilePressed, kSaveEachAt);
  connect(save_, &QAbstractButton::clicked, this, &ProfileMenu::OnSave);
  connect(load_, &QAbstractButton::clicked, this, &ProfileMenu::OnLoad);
  connect(undo_, &QAbstractButton::clicked, this, &ProfileMenu::OnUndo);
  connect(saveEach_, &QAbstractButton::clicked, this, &ProfileMenu::OnSaveEach);
}

void ProfileMenu::ApplyTexts() {
  for (auto [button, key, english] : {std::tuple{save_, "STR_PROFILE_SAVE", "Save to file…"},
                                      std::tuple{load_, "STR_PROFILE_LOAD", "Load from file…"},
                                      std::tuple{undo_, "STR_PROFILE_UNDO", "Undo last write"}}) {
    button->SetCaption(context_.Text(key, english));
    button->SetSpokenName(button->Caption());
  }
  // The button has room for a short caption; the whole name is said and shown on hover.
  saveEach_->SetCaption(context_.Text("STR_PROFILE_SAVEEACH", "Back up each…"));
  const QString whole = context_.Text("STR_PROFILE_SAVEEACHTITLE", "For each tracker plugged in: save a backup");
  saveEach_->SetSpokenName(whole);
  saveEach_->setToolTip(whole);
}

void ProfileMenu::Show(bool loggedIn) {
  save_->setVisible(loggedIn);
  load_->setVisible(loggedIn);
  undo_->setVisible(loggedIn);
  saveEach_->setVisible(loggedIn);
}

void ProfileMenu::OnSave() {
  if (save_->isVisible() && host_.free()) host_.show(new SaveProfileSheet(context_, nullptr));
}

void ProfileMenu::OnLoad() {
  if (!load_->isVisible() || !host_.free()) return;
  const std::string imei = context_.Imei();
  // The file is read and checked, and the question about another tracker's file asked, before the sheet opens.
  Review(ProfileReviewSheet::Load(context_, session_, menu_->window()), imei);
}

void ProfileMenu::OnUndo() {
  if (!undo_->isVisible() || !host_.free()) return;
  const std::string imei = context_.Imei();
  auto newest = NewestBackup(imei);
  if (!newest) {
    context_.ShowError(menu_->window(), FillIn(context_.Text("STR_PROFILE_UNDONONE"), {context_.FromDevice(imei)}));
    return;
  }
  ProfileReviewSheet* sheet = ProfileReviewSheet::Open(context_, session_, menu_->window(), FromUtf8(*newest));
  if (sheet) sheet->ShowAsUndo();
  Review(sheet, imei);
}

void ProfileMenu::OnSaveEach() {
  if (saveEach_->isVisible() && host_.free()) host_.show(new BackupLoopSheet(context_, session_));
}

void ProfileMenu::Review(ProfileReviewSheet* sheet, const std::string& imei) {
  if (!sheet) return;
  // Meanwhile the tracker may have gone, and another come: its record would be another's.
  if (!session_.Get().LoggedIn() || context_.Imei() != imei || !host_.free()) {
    delete sheet;
    return;
  }
  host_.show(sheet);
}

}  // namespace zd573
