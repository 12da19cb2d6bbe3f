#pragma once
// "Save to file…": everything the tracker holds (a backup) or the settings
// trackers share (a profile, without the IMEI, password, SIM PIN and own
// number), written whole or not at all. Each choice says which secrets its
// file holds; a file holding one is readable by its owner only.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/SkinnedDialog.h"

class QRadioButton;

namespace zd573 {

class SaveProfileSheet : public SkinnedDialog {
  Q_OBJECT

 public:
  SaveProfileSheet(AppContext& context, QWidget* mainWindow);

  QRadioButton* EverythingChoice() const { return everything_; }
  QRadioButton* SharedChoice() const { return shared_; }

 protected:
  // Asks where, then saves; the sheet stays open when the file could not be written.
  void OnConfirm() override;

 private:
  QRadioButton* everything_ = nullptr;
  // Writes the chosen keys to `path`: what to say of it, or none when it
  // could not be written (the sheet has said why).
  std::optional<QString> SaveTo(const QString& path);

  QRadioButton* shared_ = nullptr;
};

}  // namespace zd573
