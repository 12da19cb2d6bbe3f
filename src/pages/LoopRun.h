#pragma once
// The core's loop over each tracker plugged in, as the window runs it: on a
// thread of its own, with the window's session suspended (the loop opens each
// tracker's port itself, the one logged in first, and a port coming or going
// wakes it), its calls taken up on the window's thread, into a report whose
// own events are said. The review sheet's "For each tracker plugged in" and
// the backup of each tracker are both views of it.
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <stop_token>
#include <thread>
#include <vector>

#include "device/provision_loop.h"

class QRect;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace zd573 {

class AppContext;
class SessionHost;

class LoopRun : public QObject {
  Q_OBJECT

 public:
  // What the loop tells, on the window's thread. Any may be empty.
  struct Calls {
    std::function<void(LoopStage, const TrackerOutcome&)> stage;
    std::function<void()> portBusy;
    std::function<void(int written, int total)> progress;
    std::function<void(const TrackerOutcome&, const LoopCounts&, const Status& reported)> done;
    // The loop has ended, its thread is joined and the window's session looks for trackers again.
    std::function<void(const LoopResult&)> ended;
  };
  // Messages go over `view`.
  LoopRun(AppContext& context, SessionHost& session, QWidget* view, Calls calls);
  ~LoopRun() override;

  // Opens the report rows are added to; why not is said, and false.
  bool OpenReport(const QString& path);
  const ProvisionReport& Report() const { return report_; }
  // What every loop of the window shares: the session's port, the window's
  // pauses, text encodings and names, and the password typed once (empty: none).
  ProvisionOptions Options(const QString& password) const;

  using Make = std::function<std::unique_ptr<ProvisionLoop>(ProvisionReport&, ProvisionListener&)>;
  // Runs the loop `make` builds until it ends.
  void Start(const Make& make);
  // Ends every wait; a tracker being written gets the page under way whole, and is reported.
  void Stop();
  bool Running() const { return running_; }
  bool Stopping() const { return stopping_; }
  const LoopCounts& Counts() const { return counts_; }
  // With a roster: its rows not done yet.
  std::vector<int> RowsWaiting() const;

 private:
  class Listener;
  void Ended(const LoopResult& result);
  void TellReportEvents();

  AppContext& context_;
  SessionHost& session_;
  QWidget* view_;
  Calls calls_;
  ProvisionReport report_;
  LoopCounts counts_;
  bool running_ = false;
  bool stopping_ = false;
  QMetaObject::Connection devices_;
  std::unique_ptr<Listener> listener_;
  std::unique_ptr<ProvisionLoop> loop_;
  std::stop_source finish_;  // Stop: the page under way is finished first
  std::jthread thread_;      // its own stop ends a write after the sentence; joined before the loop and its listener go
};

// What became of a tracker, in the user's words (lines apart).
QString OutcomeWords(const AppContext& context, const TrackerOutcome& outcome);
// The same as a list line says it: "Done: …", "Failed: …" or "Skipped: …", on one line.
QString ResultWords(const AppContext& context, const TrackerOutcome& outcome);

// A list of columns under `headings` (`widths` each but the last), one line per item.
QTreeWidget* MakeList(QWidget* parent, const QRect& at, const QStringList& headings, const std::vector<int>& widths);
// A list of the trackers a loop has had: IMEI, name, then `more` columns.
QTreeWidget* MakeTrackerList(const AppContext& context, QWidget* parent, const QRect& at, const QStringList& more,
                             const std::vector<int>& widths);
// Adds a tracker's line: its IMEI, name and `cells`; a cell too wide shows whole in its tooltip.
QTreeWidgetItem* ListTracker(const AppContext& context, QTreeWidget* list, const TrackerOutcome& outcome,
                             const QStringList& cells);

}  // namespace zd573
