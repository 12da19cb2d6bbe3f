#include "pages/BackupLoopSheet.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>

#include <utility>

#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "frame/Messages.h"
#include "frame/SessionHost.h"
#include "frame/Skin.h"
#include "frame/TextConversion.h"
#include "pages/LoopRun.h"

namespace zd573 {

namespace {
constexpr int kStateLine = 1140;
constexpr int kFolderLabel = 1141;
constexpr int kReportLabel = 1142;
constexpr int kPasswordLabel = 1143;
constexpr QSize kSheetSize{802, 602};
// The choices first, the trackers saved under them.
constexpr int kFolderY = 86;
constexpr int kReportY = 120;
constexpr int kPasswordY = 154;
const QRect kSavedAt(20, 192, 762, 340);

CGdipButton* ChooseButton(QWidget* parent, const AppContext& context, int y, const QString& spoken) {
  CGdipButton* button = skin::MakeButton(parent, skin::kTextButtonNormal, skin::kTextButtonPressed, QRect(668, y + 2, 105, 21));
  button->SetCaption(context.Text("STR_PROFILE_CHOOSE", "Choose…"));
  button->SetCaptionPointSize(9);
  button->SetSpokenName(spoken);
  return button;
}
}  // namespace

BackupLoopSheet::BackupLoopSheet(AppContext& context, SessionHost& session)
    : SkinnedDialog(context, nullptr, kSheetSize, skin::kReviewBackground, skin::kSaveIcon), session_(session) {
  CreateControls();
  // Enter starts, Escape or Cancel leaves; while the loop runs Cancel is Stop.
  SetEnterConfirms(true);
  connect(CancelButton(), &QAbstractButton::clicked, this, [this] {
    if (Looping()) Stop();
  });
}

BackupLoopSheet::~BackupLoopSheet() = default;

void BackupLoopSheet::CreateControls() {
  SetTitle(context_.Text("STR_PROFILE_SAVEEACHTITLE", "For each tracker plugged in: save a backup"));
  stateLine_ = AddLabel(kStateLine, QRect(20, 52, 762, 26),
                        context_.Text("STR_BACKUPEACH_INTRO",
                                      "Every value of each tracker plugged in is saved in the folder as IMEI.ini."));
  stateLine_->SetAccessibleRole(QAccessible::StatusBar);

  CLabel* folderLabel = AddLabel(kFolderLabel, QRect(40, kFolderY, 190, 26),
                                 context_.Text("STR_BACKUPEACH_FOLDER", "Folder for the backups:"));
  folder_ = new QLineEdit(this);
  folder_->setGeometry(235, kFolderY, 420, 26);
  folder_->setAccessibleName(PlainCaption(folderLabel->text()));
  chooseFolder_ = ChooseButton(this, context_, kFolderY, context_.Text("STR_BACKUPEACH_CHOOSEFOLDER", "Choose the folder"));
  connect(chooseFolder_, &QAbstractButton::clicked, this, &BackupLoopSheet::ChooseFolder);

  CLabel* reportLabel =
      AddLabel(kReportLabel, QRect(40, kReportY, 190, 26), context_.Text("STR_PROFILE_REPORT", "Report file:"));
  const QString lastReport = context_.ReportFile();
  report_ = new QLineEdit(QDir::toNativeSeparators(
                              lastReport.isEmpty() ? QDir::home().filePath(QStringLiteral("zd573-report.csv")) : lastReport),
                          this);
  report_->setGeometry(235, kReportY, 420, 26);
  report_->setAccessibleName(PlainCaption(reportLabel->text()));
  chooseReport_ = ChooseButton(this, context_, kReportY, context_.Text("STR_PROFILE_CHOOSEREPORT", "Choose the report file"));
  connect(chooseReport_, &QAbstractButton::clicked, this, &BackupLoopSheet::ChooseReport);

  CLabel* passwordLabel = AddLabel(kPasswordLabel, QRect(40, kPasswordY, 190, 26),
                                   context_.Text("STR_PROFILE_PASSWORD", "The trackers' password:"));
  password_ = new QLineEdit(this);
  password_->setGeometry(235, kPasswordY, 200, 26);
  password_->setAccessibleName(PlainCaption(passwordLabel->text()));
  reveal_ = AddRevealBox(QRect(450, kPasswordY, 200, 26), {password_});

  saved_ = MakeTrackerList(context_, this, kSavedAt,
                           {context_.Text("STR_PROFILE_COLRESULT", "Result"),
                            context_.Text("STR_BACKUPEACH_COLFILE", "File")},
                           {150, 140, 300});
  saved_->setAccessibleName(context_.Text("STR_BACKUPEACH_LIST", "Trackers saved"));

  ConfirmCaption()->SetLabelText(context_.Text("STR_BACKUPEACH_START", "Start"));
  CancelCaption()->SetLabelText(context_.Text("STR_GLOBAL_CANCEL", "Cancel"));
}

bool BackupLoopSheet::Looping() const { return run_ && run_->Running(); }

void BackupLoopSheet::ChooseFolder() {
  const QString now = folder_->text().trimmed();
  const QString chosen = context_.AskFolder(this, now.isEmpty() ? context_.FileFolder() : now);
  if (!chosen.isEmpty()) folder_->setText(QDir::toNativeSeparators(chosen));
}

void BackupLoopSheet::ChooseReport() {
  const QString chosen = context_.AskSaveFile(this, QFileInfo(report_->text()).absolutePath(),
                                              context_.Text("STR_PROFILE_REPORTFILTER", "CSV files (*.csv)"),
                                              QStringLiteral("csv"));
  if (!chosen.isEmpty()) report_->setText(QDir::toNativeSeparators(chosen));
}

void BackupLoopSheet::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && Looping()) {
    event->accept();
    Stop();
    return;
  }
  SkinnedDialog::keyPressEvent(event);
}

void BackupLoopSheet::Start() {
  if (run_) return;  // one run per sheet
  folderPath_ = QDir::fromNativeSeparators(folder_->text().trimmed());
  if (folderPath_.isEmpty()) {
    context_.ShowError(this, context_.Text("STR_BACKUPEACH_NOFOLDER", "Name the folder for the backups first."));
    folder_->setFocus(Qt::OtherFocusReason);
    return;
  }
  // A folder not there yet is made by the first backup.
  if (const QFileInfo info(folderPath_); info.exists() && !info.isDir()) {
    context_.ShowError(this, FillIn(context_.Text("STR_BACKUPEACH_NOTAFOLDER", "Cannot save backups in %1: it is not a folder."),
                                    {QDir::toNativeSeparators(folderPath_)}));
    folder_->setFocus(Qt::OtherFocusReason);
    return;
  }
  const QString report = report_->text().trimmed();
  if (report.isEmpty()) {
    context_.ShowError(this, context_.Text("STR_PROFILE_NOREPORT", "Name the report file first."));
    report_->setFocus(Qt::OtherFocusReason);
    return;
  }
  LoopRun::Calls calls;
  calls.stage = [this](LoopStage stage, const TrackerOutcome& tracker) { OnStage(stage, tracker); };
  calls.portBusy = [this] { ShowState(context_.Text("STR_MAINPAGE_PORTBUSY", kPortBusyRetrying)); };
  calls.done = [this](const TrackerOutcome& outcome, const LoopCounts&, const Status& reported) {
    OnDone(outcome, reported);
  };
  calls.ended = [this](const LoopResult& result) { OnLoopEnd(result); };
  run_ = std::make_unique<LoopRun>(context_, session_, this, std::move(calls));
  if (!run_->OpenReport(report)) {
    run_.reset();
    return;
  }
  // The next folder dialog starts here.
  context_.RememberFileFolder(QDir(folderPath_).filePath(QStringLiteral(".")));
  ProvisionOptions options = run_->Options(password_->text());
  for (QWidget* w : std::initializer_list<QWidget*>{folder_, report_, password_, reveal_}) w->setEnabled(false);
  chooseFolder_->hide();
  chooseReport_->hide();
  ConfirmButton()->hide();
  ConfirmCaption()->hide();
  CancelCaption()->SetLabelText(context_.Text("STR_PROFILE_STOP", "Stop"));
  CancelButton()->SetSpokenName(CancelCaption()->text());
  CancelButton()->setFocus(Qt::OtherFocusReason);
  run_->Start([&](ProvisionReport& file, ProvisionListener& listener) {
    return std::make_unique<ProvisionLoop>(EachBackup{ToUtf8(folderPath_)}, std::move(options), file, listener);
  });
}

void BackupLoopSheet::ShowState(const QString& text) {
  QString line = text;
  // Trackers, not plug-ins.
  if (const LoopCounts& n = run_->Counts(); n.rows > 0)
    line += QStringLiteral("   ") + FillIn(context_.Text("STR_BACKUPEACH_COUNT", "(%1 saved, %2 failed)"),
                                           {QString::number(n.setUp), QString::number(n.failed)});
  stateLine_->SetLabelText(CaptionOf(line));
}

void BackupLoopSheet::OnStage(LoopStage stage, const TrackerOutcome& tracker) {
  if (run_->Stopping()) return;
  switch (stage) {
    case LoopStage::Waiting:
    case LoopStage::Opening:
      ShowState(context_.Text("STR_PROFILE_WAITING", "Waiting for a tracker: plug in the next one."));
      return;
    case LoopStage::Reading:
    case LoopStage::Writing:
    case LoopStage::Checking:
    case LoopStage::Saving:
      ShowState(FillIn(context_.Text("STR_BACKUPEACH_WORKING", "Saving the tracker %1…"), {FromUtf8(tracker.imei)}));
      return;
    case LoopStage::Unplug:
      ShowState(context_.Text("STR_PROFILE_UNPLUG", "Unplug it and plug in the next tracker."));
      return;
  }
}

void BackupLoopSheet::OnDone(const TrackerOutcome& outcome, const Status& reported) {
  const QString file = outcome.result == TrackerResult::Saved ? QDir::toNativeSeparators(FromUtf8(outcome.backup)) : QString();
  QTreeWidgetItem* line =
      ListTracker(context_, saved_, outcome, {ResultWords(context_, outcome), QFileInfo(file).fileName()});
  line->setToolTip(3, file);
  line->setData(3, Qt::AccessibleDescriptionRole, file);
  // Trackers saved from now on would be missing from the report: the loop has ended.
  if (!reported) context_.ShowFailure(this, reported.failure());  // it names the report and why
}

void BackupLoopSheet::Stop() {
  if (!Looping() || run_->Stopping()) return;
  run_->Stop();
  CancelButton()->SetDisabledState(true);
  ShowState(context_.Text("STR_PROFILE_STOPPING", "Stopping…"));
}

bool BackupLoopSheet::MayClose(std::function<void()> closeLater) {
  if (!Looping()) return true;
  // The tracker under way is reported, then the window closes.
  closeAfterRun_ = std::move(closeLater);
  Stop();
  return false;
}

void BackupLoopSheet::OnLoopEnd(const LoopResult& result) {
  if (result.end == LoopEnd::Refused && !result.error.message.empty())
    context_.ShowError(this, ErrorText(context_, result.error));
  const LoopCounts& n = result.counts;
  context_.ShowMessage(this,
                       FillIn(context_.Text("STR_BACKUPEACH_SUMMARY",
                                            "Trackers saved: %1, failed: %2. The backups are in %3; the report is %4"),
                              {QString::number(n.setUp), QString::number(n.failed),
                               QDir::toNativeSeparators(folderPath_),
                               QDir::toNativeSeparators(FromUtf8(run_->Report().Path()))}),
                       n.failed || result.end == LoopEnd::Refused || result.end == LoopEnd::ReportFailed
                           ? MessageIcon::Warning
                           : MessageIcon::Information);
  accept();
  if (closeAfterRun_) QTimer::singleShot(0, std::exchange(closeAfterRun_, nullptr));
}

}  // namespace zd573
