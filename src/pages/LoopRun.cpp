#include "pages/LoopRun.h"

#include <QDir>
#include <QFileInfo>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <system_error>
#include <utility>

#include "device/device_job.h"
#include "device/page_table.h"
#include "frame/AppContext.h"
#include "frame/Messages.h"
#include "frame/SessionHost.h"
#include "frame/TextConversion.h"

namespace zd573 {

// The loop's calls, from its thread, are taken up on the window's; none after the run has gone.
class LoopRun::Listener final : public ProvisionListener {
 public:
  explicit Listener(LoopRun& run) : run_(run) {}

  void Stage(LoopStage stage, const TrackerOutcome& tracker) override {
    Post([stage, tracker](LoopRun& r) {
      if (r.calls_.stage) r.calls_.stage(stage, tracker);
    });
  }
  void PortBusy(const std::string&) override {
    Post([](LoopRun& r) {
      if (r.calls_.portBusy) r.calls_.portBusy();
    });
  }
  void Progress(int written, int total) override {
    Post([written, total](LoopRun& r) {
      if (r.calls_.progress) r.calls_.progress(written, total);
    });
  }
  void Done(const TrackerOutcome& outcome, const LoopCounts& counts, const Status& reported) override {
    Post([outcome, counts, reported](LoopRun& r) {
      r.counts_ = counts;
      if (r.calls_.done) r.calls_.done(outcome, counts, reported);
      if (reported) r.TellReportEvents();
    });
  }

 private:
  void Post(std::function<void(LoopRun&)> call) {
    LoopRun* run = &run_;
    QMetaObject::invokeMethod(run, [run, call = std::move(call)] { call(*run); }, Qt::QueuedConnection);
  }
  LoopRun& run_;
};

LoopRun::LoopRun(AppContext& context, SessionHost& session, QWidget* view, Calls calls)
    : QObject(nullptr), context_(context), session_(session), view_(view), calls_(std::move(calls)) {}

LoopRun::~LoopRun() {
  // The loop's thread tells the listener and the report: both must outlive it.
  if (thread_.joinable()) {
    finish_.request_stop();
    thread_.request_stop();
    thread_.join();
  }
}

bool LoopRun::OpenReport(const QString& path) {
  if (Status s = report_.Open(ToUtf8(QDir::fromNativeSeparators(path))); !s) {
    context_.ShowFailure(view_, s.failure());  // it names the report and why
    return false;
  }
  context_.RememberReportFile(path);
  TellReportEvents();
  return true;
}

ProvisionOptions LoopRun::Options(const QString& password) const {
  ProvisionOptions options;
  options.port = session_.Get().FixedPort();
  // Typed once for every tracker that has a password; none typed: those are reported.
  if (const std::string typed = ToUtf8(password); !typed.empty()) options.password = typed;
  options.codePage = context_.CodePage();
  options.codePageOf = context_.TrackerCodePages();
  options.userName = context_.StoredUserNames();
  options.readLimit = context_.durations.fullReadStall;
  options.pause = context_.durations.setSentencePause;
  options.portMatchPause = context_.durations.portMatchPause;
  options.busyPatience = context_.durations.busyPatience;
  options.busyRetry = context_.durations.busyRetry;
  return options;
}

void LoopRun::Start(const Make& make) {
  if (running_) return;
  listener_ = std::make_unique<Listener>(*this);
  loop_ = make(report_, *listener_);
  running_ = true;
  // The loop opens each tracker's port itself, the one logged in now first:
  // the window's session lets it go and looks for none until the loop ends.
  session_.Get().Suspend();
  devices_ = connect(&session_, &SessionHost::devicesChanged, this, [this] {
    if (loop_) loop_->DeviceChanged();
  });
  try {
    thread_ = std::jthread([this](std::stop_token now) {
      const LoopResult result = loop_->Run(finish_.get_token(), std::move(now));
      QMetaObject::invokeMethod(this, [this, result] { Ended(result); }, Qt::QueuedConnection);
    });
  } catch (const std::system_error& e) {
    LoopResult failed;
    failed.end = LoopEnd::Refused;
    failed.error = ThreadStartFailure(e);
    Ended(failed);
  }
}

void LoopRun::Stop() {
  if (!running_ || stopping_) return;
  stopping_ = true;
  finish_.request_stop();
}

std::vector<int> LoopRun::RowsWaiting() const { return loop_ ? loop_->RowsWaiting() : std::vector<int>{}; }

void LoopRun::Ended(const LoopResult& result) {
  if (thread_.joinable()) thread_.join();
  loop_.reset();
  listener_.reset();
  disconnect(devices_);
  running_ = false;
  session_.Get().Resume();
  if (calls_.ended) calls_.ended(result);
}

void LoopRun::TellReportEvents() {
  for (const ReportEvent& e : report_.TakeEvents()) {
    if (e.kind == ReportEvent::Kind::EndedTornRow)
      context_.ShowMessage(view_, FillIn(context_.Text("STR_PROFILE_REPORTTORN"), {FromUtf8(e.path)}),
                           MessageIcon::Warning);
    else
      context_.ShowMessage(view_, FillIn(context_.Text("STR_PROFILE_REPORTMOVED"), {FromUtf8(e.was), FromUtf8(e.path)}),
                           MessageIcon::Warning);
  }
}

namespace {
QString PageTitles(const AppContext& context, const std::vector<Page>& pages) {
  QStringList titles;
  for (Page page : pages)
    if (const PageRow* row = FindPageRow(page)) titles << PlainCaption(context.Text(row->titleKey, row->titleDefault));
  return titles.join(QStringLiteral(", "));
}

QString Shown(const AppContext& context, std::string_view key, const std::string& bytes) {
  if (bytes.empty()) return context.Text("STR_PROFILE_EMPTY", "(empty)");
  if (IsSecretKey(key)) return context.Text("STR_PROFILE_HIDDEN", "(hidden)");
  return EscapeControls(ValueText(context, key, bytes));
}
}  // namespace

QString OutcomeWords(const AppContext& context, const TrackerOutcome& o) {
  const QString written = PageTitles(context, o.written);
  const auto withWritten = [&](QString why) {
    if (!o.written.empty())
      why += QLatin1Char('\n') + FillIn(context.Text("STR_PROFILE_WRITTENBEFORE", "Written before that: %1"), {written});
    return why;
  };
  switch (o.result) {
    case TrackerResult::SetUp: return FillIn(context.Text("STR_PROFILE_VERIFIED", "Written and verified: %1"), {written});
    case TrackerResult::AlreadyHeld:
      return context.Text("STR_PROFILE_NOTHING", "Nothing to write: the tracker holds these values.");
    case TrackerResult::AlreadyDone:
      return o.job == LoopJob::BackUp
                 ? context.Text("STR_PROFILE_SAVEDAGAIN", "Already saved in this run; it was not read again.")
                 : context.Text("STR_PROFILE_AGAIN", "Already set up in this run; nothing was sent again.");
    case TrackerResult::PasswordNeeded:
      return context.Text("STR_PROFILE_NOPASSWORD", "The tracker has a password, and none was given.");
    case TrackerResult::WrongPassword: return context.Text("STR_MAINPAGE_DEVICE7", "Password Error");
    case TrackerResult::Unplugged:
      return o.job == LoopJob::BackUp ? context.Text("STR_PROFILE_UNPLUGGEDSAVE", "Unplugged before it was saved")
                                      : context.Text("STR_PROFILE_UNPLUGGED", "Unplugged before it was set up");
    case TrackerResult::NotInRoster: return context.Text("STR_PROFILE_NOTINROSTER", "Not in the roster");
    case TrackerResult::Saved:
      return o.kept.empty() ? context.Text("STR_PROFILE_SAVEDONE", "Saved")
                            : FillIn(context.Text("STR_PROFILE_SAVEDKEPT", "Saved; the one before is kept as %1"),
                                     {QFileInfo(FromUtf8(o.kept)).fileName()});
    case TrackerResult::TemplateRefused:
      // {name} with no name to stand for: the core's words name no field.
      if (o.error.kind == MessageKind::None && !o.error.field.empty())
        return FillIn(context.Text("STR_PROFILE_NONAME", "%1 holds {name}, and the tracker %2 has no name."),
                      {FieldName(context, o.error.field), FromUtf8(o.imei)});
      return ErrorText(context, o.error);
    case TrackerResult::PortUnusable:
    case TrackerResult::NotIdentified:
    case TrackerResult::ReadFailed:
    case TrackerResult::BadValue:
    case TrackerResult::SaveFailed:
    case TrackerResult::WriteFailed: return withWritten(ErrorText(context, o.error));
    case TrackerResult::Stopped:
      return withWritten(o.error.message.empty() ? context.Text("STR_PROFILE_STOPPED", "Stopped before it was finished")
                                                 : ErrorText(context, o.error));
    case TrackerResult::ReadBackFailed:
      return FillIn(context.Text("STR_PROFILE_READBACKFAILED", "Written (%1), but reading it back failed: %2"),
                    {written, ErrorText(context, o.error)});
    case TrackerResult::NotTaken: {
      QStringList fields;
      for (const UntakenValue& v : o.untaken)
        fields << FillIn(context.Text("STR_PROFILE_UNTAKENFIELD", "%1 (sent %2, it holds %3)"),
                         {FieldName(context, v.key), Shown(context, v.key, v.sent), Shown(context, v.key, v.held)});
      return FillIn(context.Text("STR_PROFILE_UNTAKEN", "Written (%1), but the tracker did not take: %2"),
                    {written, fields.join(QStringLiteral("; "))});
    }
  }
  return {};
}

QString ResultWords(const AppContext& context, const TrackerOutcome& outcome) {
  const ProvisionRow row = ReportRowOf(outcome);
  return FillIn(row.skipped ? context.Text("STR_PROFILE_SKIPPED", "Skipped: %1")
                : row.ok    ? context.Text("STR_PROFILE_DONE", "Done: %1")
                            : context.Text("STR_PROFILE_FAILED", "Failed: %1"),
                {OutcomeWords(context, outcome).replace(QLatin1Char('\n'), QLatin1Char(' '))});
}

QTreeWidget* MakeList(QWidget* parent, const QRect& at, const QStringList& headings, const std::vector<int>& widths) {
  auto* list = new QTreeWidget(parent);
  list->setGeometry(at);
  list->setHeaderLabels(headings);
  for (std::size_t i = 0; i < widths.size(); ++i) list->setColumnWidth(static_cast<int>(i), widths[i]);
  list->setRootIsDecorated(true);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  return list;
}

namespace {
// Long texts wrap over more lines: the view asks its delegate for a row's
// height without the column's width, which wrapping needs.
class WrappingDelegate final : public QStyledItemDelegate {
 public:
  explicit WrappingDelegate(QTreeView* view) : QStyledItemDelegate(view), view_(view) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem within = option;
    within.rect = QRect(0, 0, view_->columnWidth(index.column()), QWIDGETSIZE_MAX);
    return QStyledItemDelegate::sizeHint(within, index);
  }

 private:
  QTreeView* view_;
};
}  // namespace

QTreeWidget* MakeTrackerList(const AppContext& context, QWidget* parent, const QRect& at, const QStringList& more,
                             const std::vector<int>& widths) {
  QTreeWidget* list = MakeList(
      parent, at,
      QStringList{context.Text("STR_PROFILE_COLIMEI", "IMEI"), context.Text("STR_PROFILE_COLNAME", "Name")} + more,
      widths);
  list->setRootIsDecorated(false);
  // A result is read whole: long ones wrap over more lines.
  list->setUniformRowHeights(false);
  list->setWordWrap(true);
  list->setItemDelegate(new WrappingDelegate(list));
  return list;
}

QTreeWidgetItem* ListTracker(const AppContext& context, QTreeWidget* list, const TrackerOutcome& outcome,
                             const QStringList& cells) {
  const QString imei = outcome.imei.empty() ? context.Text("STR_PROFILE_NOIMEI", "(no IMEI)") : FromUtf8(outcome.imei);
  auto* item = new QTreeWidgetItem(list, QStringList{imei, EscapeControls(FromUtf8(outcome.name))} + cells);
  for (int c = 2; c < item->columnCount(); ++c) {
    item->setToolTip(c, item->text(c));
    item->setData(c, Qt::AccessibleDescriptionRole, item->text(c));
  }
  list->setCurrentItem(item);
  list->scrollToItem(item);
  return item;
}

}  // namespace zd573
