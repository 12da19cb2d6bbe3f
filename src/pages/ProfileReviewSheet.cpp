#include "pages/ProfileReviewSheet.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <atomic>
#include <memory>
#include <ctime>
#include <set>
#include <utility>

#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "frame/Messages.h"
#include "frame/SessionHost.h"
#include "frame/Skin.h"
#include "frame/TextConversion.h"
#include "settings/language.h"

namespace zd573 {

namespace {
constexpr int kFileLine = 1130;
constexpr int kStateLine = 1131;
constexpr int kPasswordLabel = 1132;
constexpr int kReportLabel = 1133;
constexpr int kProgressLine = 1134;
constexpr QSize kSheetSize{802, 602};

ProfileWriteResult FailedWrite(Error failure) {
  ProfileWriteResult result;
  result.status = std::move(failure);
  return result;
}

QString PageTitle(const AppContext& context, Page page) {
  const PageRow* row = FindPageRow(page);
  return row ? PlainCaption(context.Text(row->titleKey, row->titleDefault)) : QString();
}

QString PageTitles(const AppContext& context, const std::vector<Page>& pages) {
  QStringList titles;
  for (Page page : pages) titles << PageTitle(context, page);
  return titles.join(QStringLiteral(", "));
}

// A value as the review shows it: as its page names it, a secret only whether it is set.
QString Shown(const AppContext& context, std::string_view key, const std::string& bytes) {
  if (bytes.empty()) return context.Text("STR_PROFILE_EMPTY", "(empty)");
  if (IsSecretKey(key)) return context.Text("STR_PROFILE_HIDDEN", "(hidden)");
  return EscapeControls(ValueText(context, key, bytes));
}

// A page's line says in words whether it is checked: a screen reader takes
// the lines of a tree for rows, and would not say it of an unchecked one.
void SayCheck(const AppContext& context, QTreeWidgetItem* page) {
  page->setData(0, Qt::AccessibleDescriptionRole,
                page->checkState(0) == Qt::Checked ? context.Text("STR_PROFILE_CHECKED", "checked")
                                                   : context.Text("STR_PROFILE_NOTCHECKED", "not checked"));
}

QTreeWidget* MakeTree(QWidget* parent, const QStringList& headings, const std::vector<int>& widths) {
  auto* tree = new QTreeWidget(parent);
  tree->setGeometry(20, 104, 762, 326);
  tree->setHeaderLabels(headings);
  for (std::size_t i = 0; i < widths.size(); ++i) tree->setColumnWidth(static_cast<int>(i), widths[i]);
  tree->setRootIsDecorated(true);
  tree->setUniformRowHeights(true);
  tree->setSelectionMode(QAbstractItemView::SingleSelection);
  return tree;
}
}  // namespace

ProfileReviewSheet* ProfileReviewSheet::Load(AppContext& context, SessionHost& session, QWidget* window) {
  const QString path =
      context.AskOpenFile(window, context.FileFolder(), context.Text("STR_PROFILE_FILTER", "Settings files (*.ini)"));
  if (path.isEmpty()) return nullptr;
  context.RememberFileFolder(path);
  return Open(context, session, window, path);
}

ProfileReviewSheet* ProfileReviewSheet::Open(AppContext& context, SessionHost& session, QWidget* window,
                                             const QString& path) {
  const std::string name = ToUtf8(path);
  auto profile = ReadProfile(name);
  if (!profile) {
    // A file that cannot be read is named by its own message.
    const Error& e = profile.failure();
    context.ShowError(window, e.kind == MessageKind::FileUnreadable
                                  ? ErrorText(context, e)
                                  : FillIn(TextWithBreaks(context, "STR_PROFILE_CANTLOAD"), {path, ErrorText(context, e)}));
    return nullptr;
  }
  // Every value is checked as its page would check it before anything can be sent.
  auto values = PrepareProfile(*profile, ValueRules{context.CodePage(), true, true}, name);
  if (!values) {
    const Error& e = values.failure();
    QString why = ErrorText(context, e);
    if (const ProfileLine* line = profile->Find(e.field); line && e.kind != MessageKind::None)
      why = FillIn(context.Text("STR_PROFILE_ATLINE", "Line %1: %2"), {QString::number(line->line), why});
    context.ShowError(window, FillIn(TextWithBreaks(context, "STR_PROFILE_REFUSED"), {path, why}));
    return nullptr;
  }
  const QString imei = context.FromDevice(context.Imei());
  if (profile->hasImei && FromUtf8(profile->imei) != imei &&
      !context.AskYesNo(window,
                        FillIn(context.Text("STR_PROFILE_OTHERIMEI",
                                            "%1 was saved from the tracker with IMEI %2, not from this one (%3). "
                                            "Load it anyway?"),
                               {QFileInfo(path).fileName(), FromUtf8(profile->imei), imei}),
                        true))
    return nullptr;
  if (auto plan = PlanProfile(context.Settings().Snapshot(), *values); !plan) {
    context.ShowFailure(window, plan.failure());
    return nullptr;
  }
  return new ProfileReviewSheet(context, session, path, std::move(*profile), std::move(*values));
}

ProfileReviewSheet::ProfileReviewSheet(AppContext& context, SessionHost& session, const QString& path,
                                       Profile profile, PreparedProfile values)
    : SkinnedDialog(context, nullptr, kSheetSize, skin::kReviewBackground, skin::kLoadIcon),
      session_(session),
      path_(path),
      profile_(std::move(profile)),
      values_(std::move(values)),
      valuesCodePage_(context.CodePage()),
      // A write whose thread could not start ends as a failed one.
      task_(this, [this](const Error& failure) { EndWrite(FailedWrite(failure), ErrorText(context_, failure)); }) {
  CreateControls();
  ShowDifferences();
  ShowEach(false);
  connect(&session_, &SessionHost::changed, this, &ProfileReviewSheet::OnSession);
  // While trackers are being set up, Cancel is Stop; during a single write it
  // stops that write after the sentence under way.
  connect(CancelButton(), &QAbstractButton::clicked, this, [this] {
    if (looping_) {
      Stop();
    } else {
      StopWrite();
    }
  });
}

void ProfileReviewSheet::CreateControls() {
  SetTitle(context_.Text("STR_PROFILE_LOADTITLE", "Load from file"));
  fileLine_ = AddLabel(kFileLine, QRect(20, 52, 762, 24), QString());
  fileLine_->SetLabelText(CaptionOf(fileLine_->fontMetrics().elidedText(
      FillIn(context_.Text("STR_PROFILE_FILE", "File: %1"), {QDir::toNativeSeparators(path_)}), Qt::ElideMiddle,
      fileLine_->width())));
  stateLine_ = AddLabel(kStateLine, QRect(20, 76, 762, 26), QString());
  stateLine_->SetAccessibleRole(QAccessible::StatusBar);

  differences_ = MakeTree(this,
                          {context_.Text("STR_PROFILE_COLFIELD", "Setting"),
                           context_.Text("STR_PROFILE_COLTRACKER", "On the tracker"),
                           context_.Text("STR_PROFILE_COLFILE", "In the file")},
                          {330, 210, 210});
  differences_->setAccessibleName(context_.Text("STR_PROFILE_DIFFERENCES", "Differences, by page"));
  connect(differences_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (column == 0 && !item->parent()) SayCheck(context_, item);
  });
  done_ = MakeTree(this,
                   {context_.Text("STR_PROFILE_COLIMEI", "IMEI"), context_.Text("STR_PROFILE_COLNAME", "Name"),
                    context_.Text("STR_PROFILE_COLRESULT", "Result")},
                   {170, 150, 420});
  done_->setRootIsDecorated(false);
  // A result is read whole: long ones wrap over more lines.
  done_->setUniformRowHeights(false);
  done_->setWordWrap(true);
  done_->setAccessibleName(context_.Text("STR_PROFILE_DONELIST", "Trackers set up"));
  done_->hide();

  each_ = new QCheckBox(context_.Text("STR_PROFILE_EACH", "For each tracker plugged in"), this);
  each_->move(20, 438);
  each_->adjustSize();  // a click beside its text must not toggle it
  connect(each_, &QCheckBox::toggled, this, &ProfileReviewSheet::ShowEach);
  passwordLabel_ = AddLabel(kPasswordLabel, QRect(40, 470, 190, 26),
                            context_.Text("STR_PROFILE_PASSWORD", "The trackers' password:"));
  password_ = new QLineEdit(this);
  password_->setGeometry(235, 470, 200, 26);
  password_->setAccessibleName(PlainCaption(passwordLabel_->text()));
  reveal_ = AddRevealBox(QRect(450, 470, 200, 26), {password_});
  reportLabel_ = AddLabel(kReportLabel, QRect(40, 504, 190, 26), context_.Text("STR_PROFILE_REPORT", "Report file:"));
  const QString lastReport = context_.ReportFile();
  report_ = new QLineEdit(QDir::toNativeSeparators(
                              lastReport.isEmpty() ? QDir::home().filePath(QStringLiteral("zd573-report.csv")) : lastReport),
                          this);
  report_->setGeometry(235, 504, 420, 26);
  report_->setAccessibleName(PlainCaption(reportLabel_->text()));
  choose_ = skin::MakeButton(this, skin::kTextButtonNormal, skin::kTextButtonPressed, QRect(668, 506, 105, 21));
  choose_->SetCaption(context_.Text("STR_PROFILE_CHOOSE", "Choose…"));
  choose_->SetCaptionPointSize(9);
  choose_->SetSpokenName(context_.Text("STR_PROFILE_CHOOSEREPORT", "Choose the report file"));
  connect(choose_, &QAbstractButton::clicked, this, &ProfileReviewSheet::ChooseReport);

  // Between the buttons, wrapped over up to three lines; a longer text shows whole in its tooltip.
  progress_ = AddLabel(kProgressLine, QRect(150, kSheetSize.height() - 56, 502, 54), QString());
  progress_->SetPointSize(9);
  progress_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  progress_->SetTipWhenCut(true);
  progress_->SetAccessibleRole(QAccessible::StatusBar);
  ConfirmCaption()->SetLabelText(context_.Text("STR_GLOBAL_APPLY", "Apply"));
  CancelCaption()->SetLabelText(context_.Text("STR_GLOBAL_CANCEL", "Cancel"));
}

void ProfileReviewSheet::ShowAsUndo() {
  SetTitle(context_.Text("STR_PROFILE_UNDO", "Undo last write"));
  each_->hide();
}

QTreeWidgetItem* ProfileReviewSheet::PageItem(Page page) const {
  for (int i = 0; i < differences_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = differences_->topLevelItem(i);
    if (item->data(0, Qt::UserRole).toInt() == static_cast<int>(page)) return item;
  }
  return nullptr;
}

void ProfileReviewSheet::ShowDifferences() {
  // A page the user unchecked stays unchecked when the list is shown again.
  std::set<int> unchecked;
  for (int i = 0; i < differences_->topLevelItemCount(); ++i)
    if (differences_->topLevelItem(i)->checkState(0) != Qt::Checked)
      unchecked.insert(differences_->topLevelItem(i)->data(0, Qt::UserRole).toInt());
  differences_->clear();
  auto plan = PlanProfile(context_.Settings().Snapshot(), values_);
  if (!plan) {
    stateLine_->SetLabelText(CaptionOf(ErrorText(context_, plan.failure())));
    return;
  }
  for (const PageChange& change : plan->pages) {
    auto* group = new QTreeWidgetItem(differences_, {PageTitle(context_, change.page)});
    const int id = static_cast<int>(change.page);
    group->setData(0, Qt::UserRole, id);
    group->setFlags(group->flags() | Qt::ItemIsUserCheckable);
    // A new password is sent only when asked for.
    const bool off = change.page == Page::Password || unchecked.count(id);
    group->setCheckState(0, off ? Qt::Unchecked : Qt::Checked);
    SayCheck(context_, group);
    for (const KeyChange& k : change.keys) {
      auto* field = new QTreeWidgetItem(group, {FieldName(context_, k.key), Shown(context_, k.key, k.tracker),
                                                Shown(context_, k.key, k.file)});
      // Read, not toggled: only a page is checked or not.
      field->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
  }
  differences_->expandAll();
  if (differences_->topLevelItemCount() > 0) differences_->setCurrentItem(differences_->topLevelItem(0));
  const QString name = FromUtf8(context_.deviceUserName);
  stateLine_->SetLabelText(CaptionOf(plan->Empty() ? context_.Text("STR_PROFILE_SAME",
                                                         "The tracker already holds every value of this file.")
                                         : FillIn(context_.Text("STR_PROFILE_TRACKER",
                                                                "What the file changes on %1 (IMEI %2):"),
                                                  {name, context_.FromDevice(context_.Imei())})));
}

PreparedProfile ProfileReviewSheet::Chosen() const {
  PreparedProfile chosen;
  for (const auto& value : values_) {
    const std::optional<Page> page = PageOfKey(value.first);
    const QTreeWidgetItem* item = page ? PageItem(*page) : nullptr;
    // An unchecked page is left alone; so is the password unless its line is checked.
    if (item ? item->checkState(0) != Qt::Checked : page == Page::Password) continue;
    chosen.push_back(value);
  }
  return chosen;
}

void ProfileReviewSheet::ShowEach(bool on) {
  for (QWidget* w : std::initializer_list<QWidget*>{passwordLabel_, password_, reveal_, reportLabel_, report_, choose_})
    w->setVisible(on);
  // The password asked for is the trackers': with no password on them it stays empty.
  if (on) password_->setFocus(Qt::TabFocusReason);
}

void ProfileReviewSheet::ChooseReport() {
  const QString chosen = context_.AskSaveFile(this, QFileInfo(report_->text()).absolutePath(),
                                              context_.Text("STR_PROFILE_REPORTFILTER", "CSV files (*.csv)"),
                                              QStringLiteral("csv"));
  if (!chosen.isEmpty()) report_->setText(QDir::toNativeSeparators(chosen));
}

void ProfileReviewSheet::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && (looping_ || task_.Running())) {
    event->accept();
    if (looping_) {
      Stop();
    } else {
      StopWrite();
    }
    return;
  }
  SkinnedDialog::keyPressEvent(event);
}

void ProfileReviewSheet::Apply() {
  if (task_.Running() || looping_) return;
  if (SetsEmptyPassword(Chosen()) &&
      !context_.AskYesNo(this,
                         context_.Text("STR_PROFILE_EMPTYPASSWORD",
                                       "The file sets an empty password: anyone who plugs the tracker in could read "
                                       "and change its settings. Send it?"),
                         true))
    return;
  if (each_->isChecked()) {
    StartLoop();
    return;
  }
  WriteTracker([this](const ProfileWriteResult& result, const QString& words) {
    progress_->SetLabelText(CaptionOf(words));
    context_.ShowMessage(this, words, result.Verified() ? MessageIcon::Information : MessageIcon::Error);
    ShowDifferences();
  });
}

void ProfileReviewSheet::WriteTracker(std::function<void(const ProfileWriteResult&, const QString&)> done) {
  // A tracker kept in another text encoding gets the file's texts in its own.
  if (context_.CodePage() != valuesCodePage_) {
    auto again = PrepareProfile(profile_, ValueRules{context_.CodePage(), true, true}, ToUtf8(path_));
    if (!again) {
      done(FailedWrite(again.failure()), ErrorText(context_, again.failure()));
      return;
    }
    values_ = std::move(*again);
    valuesCodePage_ = context_.CodePage();
  }
  auto plan = PlanProfile(context_.Settings().Snapshot(), Chosen());
  if (!plan) {
    done(FailedWrite(plan.failure()), ErrorText(context_, plan.failure()));
    return;
  }
  if (plan->Empty()) {
    done(ProfileWriteResult{}, context_.Text("STR_PROFILE_NOTHING", "Nothing to write: the tracker holds these values."));
    return;
  }
  // Only the tracker logged in, on the port it was identified on.
  auto leased = context_.LeasePort();
  if (!leased) {
    done(FailedWrite(leased.failure()), ErrorText(context_, leased.failure()));
    return;
  }
  std::shared_ptr<DevicePort> port = std::move(leased.value());
  const std::vector<Page> pages = plan->Pages();
  // Only the pages written: the record may hold more than this tracker's values.
  if (auto backup = context_.BackUpBeforeWrite(KeysOfPages(pages)); !backup) {
    done(FailedWrite(backup.failure()), BackupFailedText(context_, backup.failure()));
    return;
  }
  const DeviceValues target = plan->target;
  const std::chrono::milliseconds pause = context_.durations.setSentencePause;
  const std::chrono::milliseconds readLimit = context_.durations.fullReadStall;
  DeviceSettings* settings = &context_.Settings();
  progress_->SetLabelText(QString());
  SetWriting(true);
  written_ = std::move(done);
  writing_ = pages;
  auto count = std::make_shared<WriteCount>();
  writeCount_ = count;
  const std::string imei = context_.Imei();
  task_.Run(
      [=, this](std::stop_token stop, const BackgroundTask::Relay& relay) mutable {
        // A stopped task's calls are dropped, and the sheet stops its task before it goes.
        const auto progress = [this, relay, count](int written, int total) {
          if (written == total) count->allSent = true;
          relay.Post([this, written, total] {
            // After the last sentence the pages are read back, which takes a while too.
            progress_->SetLabelText(
                written == total ? FillIn(context_.Text("STR_PROFILE_CHECKING", "Written %1 of %2: reading them back…"),
                                          {QString::number(written), QString::number(total)})
                                 : WritingText(context_, written, total));
          });
        };
        ProfileWriteResult result =
            WriteProfilePages(*port, *settings, target, pages, WriteOptions{pause, progress, stop}, readLimit,
                              [count](Page) { ++count->started; });
        port.reset();  // the session has its port back before the sheet hears the end
        return result;
      },
      [this, pages, target, imei](ProfileWriteResult result) {
        // The encoding stays with the tracker written, not with one that came since.
        if (context_.Imei() == imei && std::any_of(result.written.begin(), result.written.end(), PageSendsText))
          context_.RememberTrackerEncoding();
        EndWrite(result, Outcome(result, target, pages.size()));
      });
}

void ProfileReviewSheet::StopWrite() {
  if (!task_.Running()) return;
  // The write ends after the sentence under way and says how far it got;
  // nothing more can be stopped meanwhile.
  task_.RequestStop();
  CancelButton()->SetDisabledState(true);
}

void ProfileReviewSheet::EndWrite(const ProfileWriteResult& result, const QString& words) {
  SetWriting(false);
  if (auto done = std::exchange(written_, nullptr)) done(result, words);
  // The user chose to finish writing before the window closes: close it now.
  if (closeAfterWrite_) QTimer::singleShot(0, std::exchange(closeAfterWrite_, nullptr));
}

int ProfileReviewSheet::PagesWhole() const {
  if (!writeCount_) return 0;
  // The page under way when the write stopped went out in part.
  return writeCount_->allSent ? static_cast<int>(writing_.size()) : std::max(writeCount_->started.load() - 1, 0);
}

bool ProfileReviewSheet::MayClose(std::function<void()> closeLater) {
  if (!task_.Running()) return true;
  if (closeAfterWrite_) return false;  // already finishing, then closing
  if (context_.AskYesNo(this, FillIn(TextWithBreaks(context_, "STR_GLOBAL_CLOSEWHILEWRITING"), {PageTitles(context_, writing_)}))) {
    closeAfterWrite_ = std::move(closeLater);
    return false;
  }
  task_.Stop();
  written_ = nullptr;
  if (looping_) ReportStopped();
  return true;
}

QString ProfileReviewSheet::Outcome(const ProfileWriteResult& result, const DeviceValues& sent,
                                    std::size_t pages) const {
  const QString written = PageTitles(context_, result.written);
  if (!result.status) {
    const QString why = ErrorText(context_, result.status.failure());
    if (result.written.size() == pages)
      return FillIn(context_.Text("STR_PROFILE_READBACKFAILED", "Written (%1), but reading it back failed: %2"),
                    {written, why});
    if (result.written.empty()) return why;
    return why + QLatin1Char('\n') +
           FillIn(context_.Text("STR_PROFILE_WRITTENBEFORE", "Written before that: %1"), {written});
  }
  if (!result.untaken.empty()) {
    QStringList fields;
    for (const std::string& k : result.untaken)
      fields << FillIn(context_.Text("STR_PROFILE_UNTAKENFIELD", "%1 (sent %2, it holds %3)"),
                       {FieldName(context_, k), Shown(context_, k, sent.Format(k)),
                        Shown(context_, k, result.readBack.Format(k))});
    return FillIn(context_.Text("STR_PROFILE_UNTAKEN", "Written (%1), but the tracker did not take: %2"),
                  {written, fields.join(QStringLiteral("; "))});
  }
  return FillIn(context_.Text("STR_PROFILE_VERIFIED", "Written and verified: %1"), {written});
}

void ProfileReviewSheet::SetWriting(bool writing) {
  // Nothing chosen may change under a write, and nothing may start a second one.
  ConfirmButton()->SetDisabledState(writing);
  if (!writing) CancelButton()->SetDisabledState(false);
  differences_->setEnabled(!writing);
  if (!looping_) each_->setEnabled(!writing);
  if (!writing && !looping_) ConfirmButton()->setFocus(Qt::OtherFocusReason);
}

void ProfileReviewSheet::SetStep(Step step) {
  step_ = step;
  QString text;
  switch (step) {
    case Step::Waiting: text = context_.Text("STR_PROFILE_WAITING", "Waiting for a tracker: plug in the next one."); break;
    case Step::Reading:
    case Step::Writing:
      text = FillIn(context_.Text("STR_PROFILE_WORKING", "Setting up the tracker %1…"), {FromUtf8(imei_)});
      break;
    case Step::Unplug: text = context_.Text("STR_PROFILE_UNPLUG", "Unplug it and plug in the next tracker."); break;
  }
  // The line also counts what is done.
  if (trackers_ > 0)
    text += QStringLiteral("   ") + FillIn(context_.Text("STR_PROFILE_COUNT", "(%1 set up, %2 failed)"),
                                           {QString::number(trackers_ - failed_), QString::number(failed_)});
  stateLine_->SetLabelText(CaptionOf(text));
  progress_->SetLabelText(QString());
}

void ProfileReviewSheet::StartLoop() {
  const QString path = report_->text().trimmed();
  if (path.isEmpty()) {
    context_.ShowError(this, context_.Text("STR_PROFILE_NOREPORT", "Name the report file first."));
    report_->setFocus(Qt::OtherFocusReason);
    return;
  }
  if (Status s = reportFile_.Open(ToUtf8(QDir::fromNativeSeparators(path))); !s) {
    context_.ShowFailure(this, s.failure());  // it names the report and why
    return;
  }
  context_.RememberReportFile(path);
  TellReportEvents();
  password_typed_ = ToUtf8(password_->text());
  looping_ = true;
  differences_->hide();
  done_->show();
  for (QWidget* w : std::initializer_list<QWidget*>{each_, password_, reveal_, report_}) w->setEnabled(false);
  choose_->hide();
  ConfirmButton()->hide();
  ConfirmCaption()->hide();
  CancelCaption()->SetLabelText(context_.Text("STR_PROFILE_STOP", "Stop"));
  CancelButton()->SetSpokenName(CancelCaption()->text());
  CancelButton()->setFocus(Qt::OtherFocusReason);
  const Session& session = session_.Get();
  if (session.State() == SessionState::Ready) {
    // The tracker logged in now is the first.
    SetUpTracker();
  } else if (session.CanLogin()) {
    SetStep(Step::Waiting);
    OnSession(SessionNotice{SessionNotice::Kind::Entered, SessionState::Identified});
  } else {
    SetStep(Step::Waiting);
  }
}

void ProfileReviewSheet::OnSession(const SessionNotice& notice) {
  if (!looping_ || notice.kind != SessionNotice::Kind::Entered) return;
  Session& session = session_.Get();
  switch (notice.state) {
    case SessionState::Identified: {
      // The session comes back here without passing through Gone when a
      // device change stops its read, or when a tracker that was not logged
      // in (a wrong password) gives way to the next.
      const bool other = ImeiNow() != imei_;
      if (step_ == Step::Reading && other)
        ReportUnplugged();
      if (step_ == Step::Reading || (step_ == Step::Unplug && other)) SetStep(Step::Waiting);
      if (step_ != Step::Waiting || !session.CanLogin()) return;
      Take();
      SetStep(Step::Reading);
      session.Login(session.AsksPassword() ? password_typed_ : std::string());
      return;
    }
    case SessionState::Ready:
      if (step_ == Step::Reading) SetUpTracker();
      return;
    case SessionState::Failed:
      if (step_ != Step::Reading) return;
      Report(false, 0,
             notice.reason == SessionReason::WrongPassword ? context_.Text("STR_MAINPAGE_DEVICE7", "Password Error")
             : notice.error ? ErrorText(context_, *notice.error)
                            : context_.Text("STR_MAINPAGE_DEVICE5", "Read Setting  Failure"));
      SetStep(Step::Unplug);
      return;
    case SessionState::Gone:
    case SessionState::Searching:
      // A write under way fails on its own and is reported then.
      if (step_ == Step::Writing) return;
      if (step_ == Step::Reading)
        ReportUnplugged();
      SetStep(Step::Waiting);
      return;
    case SessionState::LoggingIn:
    case SessionState::Reading: return;
  }
}

std::string ProfileReviewSheet::ImeiNow() const { return ToUtf8(context_.FromDevice(context_.Imei())); }

void ProfileReviewSheet::Take() {
  imei_ = ImeiNow();
  name_ = context_.deviceUserName;
}

void ProfileReviewSheet::SetUpTracker() {
  Take();
  SetStep(Step::Writing);
  WriteTracker([this](const ProfileWriteResult& result, const QString& words) {
    Report(result.Verified(), static_cast<int>(result.written.size()), words);
    // Still there: it has to go before the next one is taken. Another one
    // identified while this one was written is taken now.
    const SessionState state = session_.Get().State();
    const bool present = state != SessionState::Gone && state != SessionState::Searching;
    SetStep(present && ImeiNow() == imei_ ? Step::Unplug : Step::Waiting);
    if (step_ == Step::Waiting && state == SessionState::Identified)
      OnSession(SessionNotice{SessionNotice::Kind::Entered, SessionState::Identified});
  });
}

void ProfileReviewSheet::ReportUnplugged() {
  Report(false, 0, context_.Text("STR_PROFILE_UNPLUGGED", "Unplugged before it was set up"));
}

void ProfileReviewSheet::ReportStopped() {
  Report(false, PagesWhole(), context_.Text("STR_PROFILE_STOPPED", "Stopped before it was finished"));
}

void ProfileReviewSheet::Report(bool ok, int pages, const QString& reason) {
  ++trackers_;
  failed_ += ok ? 0 : 1;
  const QString name = FromUtf8(name_);
  const QString result = FillIn(ok ? context_.Text("STR_PROFILE_DONE", "Done: %1")
                                   : context_.Text("STR_PROFILE_FAILED", "Failed: %1"),
                                {QString(reason).replace(QLatin1Char('\n'), QLatin1Char(' '))});
  auto* item = new QTreeWidgetItem(done_, {FromUtf8(imei_), name, result});
  item->setToolTip(2, result);
  done_->setCurrentItem(item);
  done_->scrollToItem(item);
  const ProvisionRow row{imei_, name_, pages, ok, ToUtf8(reason)};
  if (Status s = reportFile_.Append(row, std::time(nullptr)); !s) {
    context_.ShowFailure(this, s.failure());  // it names the report and why
    // Trackers set up from now on would be missing from the report: the loop ends here.
    if (looping_) QMetaObject::invokeMethod(this, [this] { Stop(); }, Qt::QueuedConnection);
    return;
  }
  TellReportEvents();
}

void ProfileReviewSheet::TellReportEvents() {
  for (const ReportEvent& e : reportFile_.TakeEvents()) {
    if (e.kind == ReportEvent::Kind::EndedTornRow)
      context_.ShowMessage(this, FillIn(context_.Text("STR_PROFILE_REPORTTORN"), {FromUtf8(e.path)}),
                           MessageIcon::Warning);
    else
      context_.ShowMessage(this, FillIn(context_.Text("STR_PROFILE_REPORTMOVED"), {FromUtf8(e.was), FromUtf8(e.path)}),
                           MessageIcon::Warning);
  }
}

void ProfileReviewSheet::Stop() {
  if (!looping_) return;
  if (task_.Running()) {
    task_.Stop();
    written_ = nullptr;
    ReportStopped();
  }
  looping_ = false;
  context_.ShowMessage(this,
                       FillIn(context_.Text("STR_PROFILE_SUMMARY", "Trackers set up: %1, failed: %2. The report is %3"),
                              {QString::number(trackers_ - failed_), QString::number(failed_),
                               QDir::toNativeSeparators(FromUtf8(reportFile_.Path()))}),
                       failed_ ? MessageIcon::Warning : MessageIcon::Information);
  accept();
}

}  // namespace zd573
