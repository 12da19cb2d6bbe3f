#pragma once
// "Load from file…": the file's differences from the logged-in tracker,
// grouped by page with a check box each (the password's unchecked), and
// Apply, which writes the checked pages that differ, reads them back and
// says what the tracker took. With "For each tracker plugged in" it becomes
// a view of the provisioning loop, which runs on its own thread with the
// window's session suspended: the password typed once, every tracker plugged
// in logged in, read, written and checked, one report row and one list line each.
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <stop_token>
#include <thread>
#include <vector>

#include "device/profile.h"
#include "device/profile_writer.h"
#include "device/provision_loop.h"
#include "device/session.h"
#include "frame/BackgroundTask.h"
#include "frame/SkinnedDialog.h"

class QCheckBox;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace zd573 {

class LoopRun;
class SessionHost;

// A roster's problem in the user's words, naming its file, row and column.
QString RosterProblemText(const AppContext& context, const RosterProblem& problem, const Profile& profile);

class ProfileReviewSheet : public SkinnedDialog {
  Q_OBJECT

 public:
  // Asks for a file, then Open.
  static ProfileReviewSheet* Load(AppContext& context, SessionHost& session, QWidget* window);
  // Reads and checks `path` against the logged-in tracker: a file that cannot
  // be read, a value a page would refuse (named, with its line) or another
  // tracker's file the user does not want is said, and no sheet is made.
  static ProfileReviewSheet* Open(AppContext& context, SessionHost& session, QWidget* window, const QString& path);

  // Offers a backup of the tracker to take its last write back: titled so,
  // and not for other trackers.
  void ShowAsUndo();

  QTreeWidget* Differences() const { return differences_; }
  // The check box of a page's group, or none when the page does not differ.
  QTreeWidgetItem* PageItem(Page page) const;
  QCheckBox* EachTracker() const { return each_; }
  // Whether the file's password goes to every tracker too (unchecked at first).
  QCheckBox* WithPassword() const { return withPassword_; }
  QLineEdit* PasswordEdit() const { return password_; }
  QLineEdit* ReportEdit() const { return report_; }
  // The roster file ("Values per tracker…"); empty: the file's values alone.
  QLineEdit* RosterEdit() const { return roster_; }
  QTreeWidget* TrackersDone() const { return done_; }
  // While the loop runs with a roster: the row of the tracker under way, and the rows not set up yet.
  QTreeWidget* RowValues() const { return rowValues_; }
  QTreeWidget* RowsWaiting() const { return waiting_; }
  CLabel* ProgressLine() const { return progress_; }
  CLabel* StateLine() const { return stateLine_; }
  bool Looping() const;
  bool Busy() const override { return task_.Running() || Looping(); }
  // Counted by tracker, as the report has them.
  const LoopCounts& Counts() const;
  bool SpansTrackers() const override { return Looping(); }
  // While a write runs: Yes finishes it, then `closeLater`; No stops it now.
  bool MayClose(std::function<void()> closeLater) override;
  ~ProfileReviewSheet() override;

  // Apply, or the start of the loop.
  void Apply();
  // Ends the loop: work under way is stopped and reported, then the sheet
  // says what was done and closes.
  void Stop();
  // Cancel during a single write: it ends after the sentence under way and
  // is reported as any write (what reached the tracker is named).
  void StopWrite();

 protected:
  void OnConfirm() override { Apply(); }
  void keyPressEvent(QKeyEvent* event) override;

 private:
  ProfileReviewSheet(AppContext& context, SessionHost& session, const QString& path, Profile profile,
                     PreparedProfile values, std::optional<Error> refused);
  void CreateControls();
  // The differences with the tracker's record, grouped by page.
  void ShowDifferences();
  // The file's values of the pages the user left checked.
  PreparedProfile Chosen() const;
  // Writes what differs to the tracker the session holds; `done` gets the outcome's words.
  void WriteTracker(std::function<void(const ProfileWriteResult&, const QString&)> done);
  // Writes `pages` of `target` (their values read again just before).
  void WritePages(const std::vector<Page>& pages, const DeviceValues& target);
  // A write ended: the controls wake and the caller of WriteTracker hears how.
  void EndWrite(const ProfileWriteResult& result, const QString& words);
  // The file's values for the tracker logged in, its {name} and {imei} filled;
  // a text that does not do once filled is kept in `refused_`.
  Expected<PreparedProfile> ForTracker();
  void ShowEach(bool on);
  void ChooseReport();
  void ChooseRoster();
  // Reads and checks the roster named, if any, beside the loop's profile: false when it is refused (said).
  bool ReadRosterFile(const Profile& profile);
  // Says why the file (with the password or not) cannot go to every tracker: true then.
  bool RefusedForLoop(bool withPassword);
  // The file's lines of the pages left checked, for the loop.
  Profile LoopProfile() const;
  void StartLoop();
  // The controls while the loop runs, and its lists.
  void ShowLoop();
  void OnStage(LoopStage stage, const TrackerOutcome& tracker);
  void OnDone(const TrackerOutcome& outcome, const LoopCounts& counts, const Status& reported);
  void OnLoopEnd(const LoopResult& result);
  // The roster row's values of the tracker with `imei` (none: not in the roster).
  void ShowRow(const std::string& imei, const RosterRow* row, const std::string& name);
  void ShowRowsWaiting();
  // Keeps a roster's name for a tracker set up (on the loop's thread).
  void KeepName(const std::string& imei, const std::string& name);
  // Pages of the running or stopped write that reached the tracker whole.
  int PagesWhole() const;
  // The loop's state line, with the counts so far.
  void ShowState(const QString& text);
  // The controls while a write runs.
  void SetWriting(bool writing);


  SessionHost& session_;
  QString path_;
  Profile profile_;
  PreparedProfile values_;
  int valuesCodePage_;  // the text encoding `values_` were prepared in
  std::optional<Error> refused_;  // why the file's templates do not do for the tracker logged in
  BackgroundTask task_;
  std::function<void(const ProfileWriteResult&, const QString&)> written_;  // the running write's caller
  std::vector<Page> writing_;                // its pages
  // How far it got, counted on the writing thread.
  struct WriteCount {
    std::atomic<int> started{0};
    std::atomic<bool> allSent{false};
  };
  std::shared_ptr<WriteCount> writeCount_;
  std::function<void()> closeAfterWrite_;  // set while the write is finished before a close
  std::unique_ptr<LoopRun> run_;
  std::optional<Roster> rosterFile_;  // the roster the loop runs with

  CLabel* fileLine_ = nullptr;
  CLabel* stateLine_ = nullptr;
  QTreeWidget* differences_ = nullptr;
  QTreeWidget* done_ = nullptr;
  QCheckBox* each_ = nullptr;
  QCheckBox* withPassword_ = nullptr;
  CLabel* passwordLabel_ = nullptr;
  QLineEdit* password_ = nullptr;
  QCheckBox* reveal_ = nullptr;
  CLabel* reportLabel_ = nullptr;
  QLineEdit* report_ = nullptr;
  CGdipButton* choose_ = nullptr;
  CLabel* rosterLabel_ = nullptr;
  QLineEdit* roster_ = nullptr;
  CGdipButton* chooseRoster_ = nullptr;
  QTreeWidget* rowValues_ = nullptr;
  QTreeWidget* waiting_ = nullptr;
  CLabel* progress_ = nullptr;
};

}  // namespace zd573
