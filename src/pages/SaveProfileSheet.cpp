#include "pages/SaveProfileSheet.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QRadioButton>

#include "controls/CLabel.h"
#include "device/profile.h"
#include "frame/Messages.h"
#include "frame/Skin.h"
#include "frame/TextConversion.h"
#include "logger/log_export.h"
#include "logger/replacing_file.h"

namespace zd573 {

namespace {
constexpr int kWhatLabel = 1120;
constexpr int kEverythingNote = 1121;
constexpr int kSharedNote = 1122;
}  // namespace

SaveProfileSheet::SaveProfileSheet(AppContext& context, QWidget* mainWindow)
    : SkinnedDialog(context, mainWindow, QSize(450, 360), skin::kSetupBackground, skin::kSaveIcon) {
  SetTitle(context_.Text("STR_PROFILE_SAVETITLE", "Save to file"));
  AddLabel(kWhatLabel, QRect(28, 60, 400, 26), context_.Text("STR_PROFILE_SAVEWHAT", "What to save:"));
  const auto choice = [this](int y, std::string_view key, std::string_view english, int noteId,
                             std::string_view noteKey, std::string_view noteEnglish, bool everything) {
    auto* radio = new QRadioButton(context_.Text(key, english), this);
    radio->move(28, y);
    radio->adjustSize();
    // What the file will hold that is secret, by the fields' names.
    QStringList secrets;
    for (std::string_view k : SecretKeysIn(KeysToSave(everything))) secrets << FieldName(context_, k);
    QString text = context_.Text(noteKey, noteEnglish);
    if (!secrets.isEmpty())
      text += QLatin1Char('\n') + FillIn(context_.Text("STR_PROFILE_SAVESECRETS",
                                                      "It holds secrets (%1): only you can read the file."),
                                        {secrets.join(QStringLiteral(", "))});
    CLabel* note = AddLabel(noteId, QRect(52, y + 26, 388, 66), text);
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    note->SetForeground(skin::kHintColour);
    // Said with the choice, as it is read.
    radio->setAccessibleDescription(note->text());
    return radio;
  };
  shared_ = choice(94, "STR_PROFILE_SAVESHARED", "The shared settings: a profile for other trackers", kSharedNote,
                   "STR_PROFILE_SAVESHAREDNOTE",
                   "Without the IMEI, the password, the SIM PIN and the tracker's own phone number.", false);
  everything_ = choice(192, "STR_PROFILE_SAVEALL", "Everything: a backup of this tracker", kEverythingNote,
                       "STR_PROFILE_SAVEALLNOTE", "With its IMEI, password, SIM PIN and phone number.", true);
  // The tracker's own values stay out unless asked for.
  shared_->setChecked(true);
  // Enter saves, as in a save dialog.
  SetEnterConfirms(true);
  ConfirmCaption()->SetLabelText(context_.Text("STR_PROFILE_SAVEBUTTON", "Save"));
  CancelCaption()->SetLabelText(context_.Text("STR_GLOBAL_CANCEL", "Cancel"));
}

void SaveProfileSheet::OnConfirm() {
  const QDate today = QDate::currentDate();
  const QString suggested = FromUtf8(SettingsFileName(context_.deviceUserName, ToUtf8(context_.FromDevice(context_.Imei())),
                                                      today.year(), today.month(), today.day()));
  const QString path = context_.AskSaveFile(this, QDir(context_.FileFolder()).filePath(suggested),
                                            context_.Text("STR_PROFILE_FILTER", "Settings files (*.ini)"),
                                            QStringLiteral("ini"));
  // The tracker went away meanwhile and the sheet with it: its record is no longer one tracker's.
  if (path.isEmpty() || !isVisible()) return;
  context_.RememberFileFolder(path);
  const std::optional<QString> saved = SaveTo(path);
  if (!saved) return;
  // Said over the menu, once the sheet has gone.
  QWidget* window = this->window();
  accept();
  context_.ShowMessage(window, *saved, MessageIcon::Information);
}

std::optional<QString> SaveProfileSheet::SaveTo(const QString& path) {
  const auto refuse = [&](const QString& reason) -> std::optional<QString> {
    context_.ShowError(this, FillIn(context_.Text("STR_PROFILE_CANTWRITE", "Cannot write %1: %2"), {path, reason}));
    return std::nullopt;
  };
  const std::string target = ToUtf8(path);
  if (Status s = logger::CheckExportTarget(target); !s) return refuse(SystemWords(context_, s.failure().detail));
  if (logger::IsReadOnlyFile(target) &&
      !context_.AskYesNo(this, FillIn(context_.Text("STR_PROFILE_REPLACEREADONLY", "%1 is read-only. Replace it?"),
                                      {path}),
                         true))
    return std::nullopt;
  const std::vector<std::string_view> keys = KeysToSave(everything_->isChecked());
  // A file holding a secret is its owner's alone; a failure keeps an older file whole.
  const bool secret = !SecretKeysIn(keys).empty();
  std::vector<std::string> notes;
  std::vector<std::string> escaped;
  const std::string text = FormatProfile(context_.Settings().Snapshot(), keys, context_.CodePage(), &notes, &escaped);
  logger::ReplacingFile out;
  if (!out.Open(target, secret) || !out.Write(text.data(), text.size()) || !out.Commit())
    return refuse(SystemWords(context_, out.Reason()));
  QString said = FillIn(context_.Text("STR_PROFILE_SAVED", "%1 settings saved to %2"),
                        {QString::number(keys.size()), QDir::toNativeSeparators(path)});
  if (notes.size() > escaped.size())
    said += QStringLiteral("\n\n") + context_.Text("STR_PROFILE_LINEBREAKS",
                                                   "A line break cannot be kept in the file: it was saved as a blank.");
  if (!escaped.empty()) {
    QStringList fields;
    for (const std::string& k : escaped) fields << FieldName(context_, k);
    said += QStringLiteral("\n\n") +
            FillIn(context_.Text("STR_PROFILE_ESCAPED"), {QString::number(context_.CodePage()), fields.join(QStringLiteral(", "))});
  }
  return said;
}

}  // namespace zd573
