#pragma once
// "For each tracker plugged in: save a backup": every value of each tracker
// plugged in, one after another, saved as FOLDER/IMEI.ini (one there before is
// kept as IMEI.ini.1), with a report row and a list line each. The core's loop
// does it on its own thread with the window's session suspended, as the
// review sheet's loop does (LoopRun).
#include <functional>
#include <memory>

#include "device/provision_loop.h"
#include "frame/SkinnedDialog.h"

class QCheckBox;
class QLineEdit;
class QTreeWidget;

namespace zd573 {

class LoopRun;
class SessionHost;

class BackupLoopSheet : public SkinnedDialog {
  Q_OBJECT

 public:
  BackupLoopSheet(AppContext& context, SessionHost& session);
  ~BackupLoopSheet() override;

  QLineEdit* FolderEdit() const { return folder_; }
  QLineEdit* ReportEdit() const { return report_; }
  QLineEdit* PasswordEdit() const { return password_; }
  QTreeWidget* TrackersSaved() const { return saved_; }
  CLabel* StateLine() const { return stateLine_; }
  bool Looping() const;
  bool Busy() const override { return Looping(); }
  bool SpansTrackers() const override { return Looping(); }
  // While the loop runs: it is stopped, then `closeLater`.
  bool MayClose(std::function<void()> closeLater) override;

  // Starts the loop, once the folder and the report are named.
  void Start();
  // Ends the loop: the tracker under way is reported, then the sheet says what was saved and closes.
  void Stop();

 protected:
  void OnConfirm() override { Start(); }
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void CreateControls();
  void ChooseFolder();
  void ChooseReport();
  void ShowState(const QString& text);
  void OnStage(LoopStage stage, const TrackerOutcome& tracker);
  void OnDone(const TrackerOutcome& outcome, const Status& reported);
  void OnLoopEnd(const LoopResult& result);

  SessionHost& session_;
  std::unique_ptr<LoopRun> run_;
  QString folderPath_;  // the folder the run saves in
  std::function<void()> closeAfterRun_;

  CLabel* stateLine_ = nullptr;
  QLineEdit* folder_ = nullptr;
  CGdipButton* chooseFolder_ = nullptr;
  QLineEdit* report_ = nullptr;
  CGdipButton* chooseReport_ = nullptr;
  QLineEdit* password_ = nullptr;
  QCheckBox* reveal_ = nullptr;
  QTreeWidget* saved_ = nullptr;
};

}  // namespace zd573
