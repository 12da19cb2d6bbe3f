#pragma once
// The program's settings window: the display language, the device text
// encoding and the archive of downloads (on or off, each tracker's to view or
// delete) on the Options tab, the rights notice on the About tab.
#include <QPixmap>

#include <string>

#include "frame/SkinnedDialog.h"

class QCheckBox;
class QComboBox;

namespace zd573 {

class SetupPage : public SkinnedDialog {
  Q_OBJECT

 public:
  static constexpr int kOptionsTab = 1103;
  static constexpr int kAboutTab = 1104;
  static constexpr int kLanguageList = 1110;
  static constexpr int kFieldLabel = 1111;
  enum class Mode { Options, About };

  SetupPage(AppContext& context, QWidget* mainWindow);

  Mode CurrentMode() const { return mode_; }
  CLabel* OptionsTab() const { return optionsTab_; }
  CLabel* AboutTab() const { return aboutTab_; }
  CLabel* FieldLabel() const { return field_; }
  QComboBox* LanguageList() const { return languages_; }
  QComboBox* CodePageList() const { return codePages_; }
  CLabel* CodePageLabel() const { return codePageLabel_; }
  QCheckBox* ArchiveBox() const { return archiveBox_; }
  QComboBox* ArchiveList() const { return archives_; }
  CGdipButton* ViewArchiveButton() const { return viewArchive_; }
  CGdipButton* DeleteArchiveButton() const { return deleteArchive_; }

  void ShowOptions();
  void ShowAbout();
  // Stores the chosen language and encoding, flags the change, closes.
  void Confirm();
  // Deletes the chosen tracker's archive once the user has said Yes.
  void DeleteArchive();

 signals:
  // A language was confirmed: every view retranslates.
  void languageChanged();
  // View was pressed for a tracker's archive; the sheet has closed.
  void viewArchive(const QString& imei);

 protected:
  void OnConfirm() override { Confirm(); }
  void paintEvent(QPaintEvent* event) override;

 private:
  void SetMode(Mode mode);
  // Shows the encoding the chosen language brings, while none has been picked.
  void FollowLanguage();
  std::string SelectedLanguage() const;
  // The locale the selected language names (the current one while none is selected).
  std::string SelectedLocale() const;
  // The trackers with an archive, by name.
  void ListArchives();

  Mode mode_ = Mode::Options;
  SkinPicture optionsPanel_;
  SkinPicture aboutPanel_;
  CLabel* optionsTab_ = nullptr;
  CLabel* aboutTab_ = nullptr;
  CLabel* field_ = nullptr;
  CLabel* codePageLabel_ = nullptr;
  QComboBox* languages_ = nullptr;
  QComboBox* codePages_ = nullptr;
  QCheckBox* archiveBox_ = nullptr;
  CLabel* archiveLabel_ = nullptr;
  QComboBox* archives_ = nullptr;
  CGdipButton* viewArchive_ = nullptr;
  CGdipButton* deleteArchive_ = nullptr;
  QString languageText_;
  QString aboutText_;
  // system.ini names one, for all or for this tracker: the list no longer follows the language
  bool codePageChosen_ = false;
  int followed_ = 0;  // the encoding the list shows for the language, not picked by the user
};

}  // namespace zd573
