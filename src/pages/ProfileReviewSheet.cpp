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
#include "device/blocking_read.h"
#include "frame/FreshValues.h"
#include "frame/Messages.h"
#include "frame/SessionHost.h"
#include "frame/Skin.h"
#include "frame/TextConversion.h"
#include "settings/language.h"
#include "settings/text_encoding.h"

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
  // Unchecked, the file's password stays off every tracker; only a file that gives one offers it.
  withPassword_ = new QCheckBox(context_.Text("STR_PROFILE_WITHPASSWORD", "Send the file's password to each tracker too"),
                                this);
  withPassword_->move(360, 438);
  withPassword_->adjustSize();
  connect(withPassword_, &QCheckBox::toggled, this, [this](bool on) {
    if (on && RefusedForLoop(true)) withPassword_->setChecked(false);
  });
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
  // A backup, or a file of one tracker's own values, is said at once and not taken for the loop.
  if (on && RefusedForLoop(withPassword_->isChecked())) {
    each_->setChecked(false);
    return;
  }
  for (QWidget* w : std::initializer_list<QWidget*>{passwordLabel_, password_, reveal_, reportLabel_, report_, choose_})
    w->setVisible(on);
  withPassword_->setVisible(on && profile_.Find("OU"));
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
  // The pages go out built on what the tracker holds now, to the tracker
  // logged in only: their keys and its IMEI are read again first.
  const std::vector<Page> pages = plan->Pages();
  const std::vector<std::string_view> keys = KeysOfPages(pages);
  auto read = FreshReadOf(context_, keys);
  if (!read) {
    done(FailedWrite(read.failure()), ErrorText(context_, read.failure()));
    return;
  }
  const DeviceValues before = context_.Settings().Snapshot();
  progress_->SetLabelText(QString());
  SetWriting(true);
  written_ = std::move(done);
  writing_ = pages;
  writeCount_ = std::make_shared<WriteCount>();
  task_.Run([read = std::move(*read)](std::stop_token stop, const BackgroundTask::Relay&) { return read(stop); },
            [this, pages, keys, before, ours = plan->target](Expected<DeviceValues> fresh) {
              if (!fresh) {
                EndWrite(FailedWrite(fresh.failure()), ErrorText(context_, fresh.failure()));
                return;
              }
              auto changed = TakeFresh(context_, before, *fresh, keys);
              if (!changed) {
                EndWrite(FailedWrite(changed.failure()), QString::fromStdString(changed.failure().message));
                // Nothing built from this tracker's values may reach the other one.
                if (context_.trackerChanged) context_.trackerChanged();
                return;
              }
              DeviceValues target = ours;
              // The file's values on what the tracker holds now, the changed ones kept if the user says so.
              if (!changed->empty() && KeepTheirs(context_, this, *changed, ours, *fresh)) {
                if (auto again = PlanProfile(context_.Settings().Snapshot(), Chosen())) target = again->target;
                CopyKeys(target, *fresh, *changed);
              }
              WritePages(pages, target);
            });
}

void ProfileReviewSheet::WritePages(const std::vector<Page>& pages, const DeviceValues& target) {
  // Only the tracker logged in, on the port it was identified on.
  auto leased = context_.LeasePort();
  if (!leased) {
    EndWrite(FailedWrite(leased.failure()), ErrorText(context_, leased.failure()));
    return;
  }
  std::shared_ptr<DevicePort> port = std::move(leased.value());
  // Only the pages written: the record may hold more than this tracker's values.
  if (auto backup = context_.BackUpBeforeWrite(KeysOfPages(pages)); !backup) {
    EndWrite(FailedWrite(backup.failure()), BackupFailedText(context_, backup.failure()));
    return;
  }
  const std::chrono::milliseconds pause = context_.durations.setSentencePause;
  const std::chrono::milliseconds readLimit = context_.durations.fullReadStall;
  DeviceSettings* settings = &context_.Settings();
  std::shared_ptr<WriteCount> count = writeCount_;
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
        TrackerOutcome outcome;
        outcome.planned = pages;
        outcome.codePage = context_.CodePage();
        TakeWriteResult(outcome, result, target);
        EndWrite(result, Outcome(outcome));
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
  if (looping_) {
    // The tracker under way is finished as a stop finishes it, and reported.
    closeAfterWrite_ = std::move(closeLater);
    Stop();
    return false;
  }
  if (!task_.Running()) return true;
  if (closeAfterWrite_) return false;  // already finishing, then closing
  if (context_.AskYesNo(this, FillIn(TextWithBreaks(context_, "STR_GLOBAL_CLOSEWHILEWRITING"), {PageTitles(context_, writing_)}))) {
    closeAfterWrite_ = std::move(closeLater);
    return false;
  }
  task_.Stop();
  written_ = nullptr;
  return true;
}

ProfileReviewSheet::~ProfileReviewSheet() {
  // The loop's thread tells the view and the report: both must outlive it.
  if (loopThread_.joinable()) {
    finish_.request_stop();
    loopThread_.request_stop();
    loopThread_.join();
  }
}

QString ProfileReviewSheet::Outcome(const TrackerOutcome& o) const {
  const QString written = PageTitles(context_, o.written);
  const auto withWritten = [&](QString why) {
    if (!o.written.empty())
      why += QLatin1Char('\n') + FillIn(context_.Text("STR_PROFILE_WRITTENBEFORE", "Written before that: %1"), {written});
    return why;
  };
  switch (o.result) {
    case TrackerResult::SetUp: return FillIn(context_.Text("STR_PROFILE_VERIFIED", "Written and verified: %1"), {written});
    case TrackerResult::AlreadyHeld:
      return context_.Text("STR_PROFILE_NOTHING", "Nothing to write: the tracker holds these values.");
    case TrackerResult::AlreadyDone:
      return context_.Text("STR_PROFILE_AGAIN", "Already set up in this run; nothing was sent again.");
    case TrackerResult::PasswordNeeded:
      return context_.Text("STR_PROFILE_NOPASSWORD", "The tracker has a password, and none was given.");
    case TrackerResult::WrongPassword: return context_.Text("STR_MAINPAGE_DEVICE7", "Password Error");
    case TrackerResult::Unplugged: return context_.Text("STR_PROFILE_UNPLUGGED", "Unplugged before it was set up");
    case TrackerResult::NotInRoster: return context_.Text("STR_PROFILE_NOTINROSTER", "Not in the roster");
    case TrackerResult::Saved:
      return FillIn(context_.Text("STR_PROFILE_SAVEDTO", "Saved to %1"), {QDir::toNativeSeparators(FromUtf8(o.backup))});
    case TrackerResult::PortUnusable:
    case TrackerResult::NotIdentified:
    case TrackerResult::ReadFailed:
    case TrackerResult::BadValue:
    case TrackerResult::TemplateRefused:
    case TrackerResult::SaveFailed:
    case TrackerResult::WriteFailed: return withWritten(ErrorText(context_, o.error));
    case TrackerResult::Stopped:
      return withWritten(o.error.message.empty() ? context_.Text("STR_PROFILE_STOPPED", "Stopped before it was finished")
                                                 : ErrorText(context_, o.error));
    case TrackerResult::ReadBackFailed:
      return FillIn(context_.Text("STR_PROFILE_READBACKFAILED", "Written (%1), but reading it back failed: %2"),
                    {written, ErrorText(context_, o.error)});
    case TrackerResult::NotTaken: {
      QStringList fields;
      for (const UntakenValue& v : o.untaken)
        fields << FillIn(context_.Text("STR_PROFILE_UNTAKENFIELD", "%1 (sent %2, it holds %3)"),
                         {FieldName(context_, v.key), Shown(context_, v.key, v.sent), Shown(context_, v.key, v.held)});
      return FillIn(context_.Text("STR_PROFILE_UNTAKEN", "Written (%1), but the tracker did not take: %2"),
                    {written, fields.join(QStringLiteral("; "))});
    }
  }
  return {};
}

void ProfileReviewSheet::SetWriting(bool writing) {
  // Nothing chosen may change under a write, and nothing may start a second one.
  ConfirmButton()->SetDisabledState(writing);
  if (!writing) CancelButton()->SetDisabledState(false);
  differences_->setEnabled(!writing);
  if (!looping_) each_->setEnabled(!writing);
  if (!writing && !looping_) ConfirmButton()->setFocus(Qt::OtherFocusReason);
}

void ProfileReviewSheet::ShowState(const QString& text) {
  QString line = text;
  // The line also counts what is done: trackers, not plug-ins.
  if (counts_.rows > 0)
    line += QStringLiteral("   ") + FillIn(context_.Text("STR_PROFILE_COUNT", "(%1 set up, %2 failed)"),
                                           {QString::number(counts_.setUp), QString::number(counts_.failed)});
  stateLine_->SetLabelText(CaptionOf(line));
}

bool ProfileReviewSheet::RefusedForLoop(bool withPassword) {
  const SharedCheck check = CheckSharedProfile(profile_, withPassword);
  if (check) return false;
  const QString file = QDir::toNativeSeparators(path_);
  if (check.fault == SharedFault::NamesTracker) {
    context_.ShowError(this, FillIn(context_.Text("STR_PROFILE_LOOPBACKUP"), {file, FromUtf8(check.imei)}));
  } else {
    QStringList keys;
    for (const std::string& k : check.keys) keys << FieldName(context_, k);
    context_.ShowError(this, FillIn(context_.Text("STR_PROFILE_LOOPOWNKEYS"), {file, keys.join(QStringLiteral(", "))}));
  }
  return true;
}

Profile ProfileReviewSheet::LoopProfile() const {
  Profile chosen = profile_;
  // A page the user unchecked is left alone on every tracker; the password
  // goes by its own check box.
  std::erase_if(chosen.values, [this](const ProfileLine& line) {
    const std::optional<Page> page = PageOfKey(line.key);
    const QTreeWidgetItem* item = page && page != Page::Password ? PageItem(*page) : nullptr;
    return item && item->checkState(0) != Qt::Checked;
  });
  return chosen;
}

// The loop's calls, from its thread, are taken up on the window's.
class ProfileReviewSheet::LoopView final : public ProvisionListener {
 public:
  explicit LoopView(ProfileReviewSheet& sheet) : sheet_(sheet) {}

  void Stage(LoopStage stage, const TrackerOutcome& tracker) override {
    Post([stage, tracker](ProfileReviewSheet& s) { s.OnStage(stage, tracker); });
  }
  void PortBusy(const std::string&) override {
    Post([](ProfileReviewSheet& s) { s.ShowState(s.context_.Text("STR_MAINPAGE_PORTBUSY", kPortBusyRetrying)); });
  }
  void Progress(int written, int total) override {
    Post([written, total](ProfileReviewSheet& s) {
      // After the last sentence the pages are read back, which takes a while too.
      s.progress_->SetLabelText(
          written == total ? FillIn(s.context_.Text("STR_PROFILE_CHECKING", "Written %1 of %2: reading them back…"),
                                    {QString::number(written), QString::number(total)})
                           : WritingText(s.context_, written, total));
    });
  }
  void Done(const TrackerOutcome& outcome, const LoopCounts& counts, const Status& reported) override {
    Post([outcome, counts, reported](ProfileReviewSheet& s) { s.OnDone(outcome, counts, reported); });
  }

 private:
  void Post(std::function<void(ProfileReviewSheet&)> call) {
    QMetaObject::invokeMethod(&sheet_, [this, call = std::move(call)] { call(sheet_); }, Qt::QueuedConnection);
  }
  ProfileReviewSheet& sheet_;
};

void ProfileReviewSheet::StartLoop() {
  const bool withPassword = withPassword_->isChecked();
  if (RefusedForLoop(withPassword)) return;
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
  Session& session = session_.Get();
  ProvisionOptions options;
  options.port = session.FixedPort();
  // Typed once for every tracker that has a password; none typed: those are reported.
  if (const std::string typed = ToUtf8(password_->text()); !typed.empty()) options.password = typed;
  options.withPassword = withPassword;
  options.codePage = context_.CodePage();
  options.codePageOf = context_.TrackerCodePages();
  options.userName = context_.StoredUserNames();
  options.readLimit = context_.durations.fullReadStall;
  options.pause = context_.durations.setSentencePause;
  options.portMatchPause = context_.durations.portMatchPause;
  options.busyPatience = context_.durations.busyPatience;
  options.busyRetry = context_.durations.busyRetry;
  view_ = std::make_unique<LoopView>(*this);
  loop_ = std::make_unique<ProvisionLoop>(LoopProfile(), ToUtf8(path_), std::move(options), reportFile_, *view_);
  looping_ = true;
  differences_->hide();
  done_->show();
  for (QWidget* w : std::initializer_list<QWidget*>{each_, withPassword_, password_, reveal_, report_})
    w->setEnabled(false);
  choose_->hide();
  ConfirmButton()->hide();
  ConfirmCaption()->hide();
  CancelCaption()->SetLabelText(context_.Text("STR_PROFILE_STOP", "Stop"));
  CancelButton()->SetSpokenName(CancelCaption()->text());
  CancelButton()->setFocus(Qt::OtherFocusReason);
  // The loop opens each tracker's port itself, the one logged in now first:
  // the window's session lets it go and looks for none until the loop ends.
  session.Suspend();
  connect(&session_, &SessionHost::devicesChanged, this, [this] {
    if (loop_) loop_->DeviceChanged();
  });
  try {
    loopThread_ = std::jthread([this](std::stop_token now) {
      const LoopResult result = loop_->Run(finish_.get_token(), std::move(now));
      QMetaObject::invokeMethod(this, [this, result] { OnLoopEnd(result); }, Qt::QueuedConnection);
    });
  } catch (const std::system_error& e) {
    LoopResult failed;
    failed.end = LoopEnd::Refused;
    failed.error = ThreadStartFailure(e);
    OnLoopEnd(failed);
  }
}

void ProfileReviewSheet::OnStage(LoopStage stage, const TrackerOutcome& tracker) {
  if (stopping_) return;
  switch (stage) {
    case LoopStage::Waiting:
    case LoopStage::Opening:
      ShowState(context_.Text("STR_PROFILE_WAITING", "Waiting for a tracker: plug in the next one."));
      progress_->SetLabelText(QString());
      return;
    case LoopStage::Reading:
    case LoopStage::Writing:
    case LoopStage::Checking:
    case LoopStage::Saving:
      ShowState(FillIn(context_.Text("STR_PROFILE_WORKING", "Setting up the tracker %1…"), {FromUtf8(tracker.imei)}));
      return;
    case LoopStage::Unplug:
      ShowState(context_.Text("STR_PROFILE_UNPLUG", "Unplug it and plug in the next tracker."));
      return;
  }
}

void ProfileReviewSheet::OnDone(const TrackerOutcome& outcome, const LoopCounts& counts, const Status& reported) {
  counts_ = counts;
  // The encoding stays with a tracker whose texts were written.
  if (std::any_of(outcome.written.begin(), outcome.written.end(), PageSendsText))
    (void)settings::RememberTrackerCodePage(context_.SystemIni(), outcome.imei, outcome.codePage);
  const ProvisionRow row = ReportRowOf(outcome);
  const QString words = Outcome(outcome);
  const QString result = FillIn(row.skipped ? context_.Text("STR_PROFILE_SKIPPED", "Skipped: %1")
                                : row.ok    ? context_.Text("STR_PROFILE_DONE", "Done: %1")
                                            : context_.Text("STR_PROFILE_FAILED", "Failed: %1"),
                                {QString(words).replace(QLatin1Char('\n'), QLatin1Char(' '))});
  const QString imei = outcome.imei.empty() ? context_.Text("STR_PROFILE_NOIMEI", "(no IMEI)") : FromUtf8(outcome.imei);
  auto* item = new QTreeWidgetItem(done_, {imei, FromUtf8(outcome.name), result});
  item->setToolTip(2, result);
  item->setData(2, Qt::AccessibleDescriptionRole, result);
  done_->setCurrentItem(item);
  done_->scrollToItem(item);
  if (!reported) {
    // Trackers set up from now on would be missing from the report: the loop has ended.
    context_.ShowFailure(this, reported.failure());  // it names the report and why
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
  if (!looping_ || stopping_) return;
  stopping_ = true;
  // A tracker being written gets the page under way whole, and is reported.
  finish_.request_stop();
  CancelButton()->SetDisabledState(true);
  ShowState(context_.Text("STR_PROFILE_STOPPING", "Stopping…"));
}

void ProfileReviewSheet::OnLoopEnd(const LoopResult& result) {
  if (loopThread_.joinable()) loopThread_.join();
  loop_.reset();
  view_.reset();
  looping_ = false;
  session_.Get().Resume();
  if (result.end == LoopEnd::Refused) {
    if (!result.error.message.empty()) context_.ShowError(this, ErrorText(context_, result.error));
    else (void)RefusedForLoop(withPassword_->isChecked());
  }
  const LoopCounts& n = result.counts;
  context_.ShowMessage(this,
                       FillIn(context_.Text("STR_PROFILE_SUMMARY", "Trackers set up: %1, failed: %2. The report is %3"),
                              {QString::number(n.setUp), QString::number(n.failed),
                               QDir::toNativeSeparators(FromUtf8(reportFile_.Path()))}),
                       n.failed || result.end == LoopEnd::Refused || result.end == LoopEnd::ReportFailed
                           ? MessageIcon::Warning
                           : MessageIcon::Information);
  accept();
  if (closeAfterWrite_) QTimer::singleShot(0, std::exchange(closeAfterWrite_, nullptr));
}

}  // namespace zd573
