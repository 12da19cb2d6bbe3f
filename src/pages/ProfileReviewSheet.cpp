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
#include "pages/LoopRun.h"
#include "settings/ini_file.h"
#include "settings/language.h"
#include "settings/paths.h"
#include "settings/text_encoding.h"

namespace zd573 {

namespace {
constexpr int kFileLine = 1130;
constexpr int kStateLine = 1131;
constexpr int kPasswordLabel = 1132;
constexpr int kReportLabel = 1133;
constexpr int kProgressLine = 1134;
constexpr int kRosterLabel = 1135;
constexpr QSize kSheetSize{802, 602};
// The review's list, the loop's options under it; while the loop runs its
// lists take the options' place, the report and the roster staying in sight.
const QRect kDifferencesAt(20, 104, 762, 292);
const QRect kDoneAt(20, 104, 762, 358);
const QRect kDoneBesideRosterAt(20, 104, 762, 196);
const QRect kRowValuesAt(20, 308, 470, 154);
const QRect kWaitingAt(500, 308, 282, 154);
constexpr int kEachY = 404;
constexpr int kPasswordY = 436;
constexpr int kReportY = 470;
constexpr int kRosterY = 504;
constexpr int kDoneRowColumn = 2;  // the roster row of each tracker done, shown with a roster

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

// A text of a file with {name} and {imei} that does not do for the tracker
// logged in, with its line.
QString TemplateRefusal(const AppContext& context, const Error& e, const Profile& profile, const std::string& imei) {
  QString why = e.kind == MessageKind::None && !e.field.empty()
                    ? FillIn(context.Text("STR_PROFILE_NONAME", "%1 holds {name}, and the tracker %2 has no name."),
                             {FieldName(context, e.field), FromUtf8(imei)})
                    : ErrorText(context, e);
  if (const ProfileLine* line = profile.Find(e.field))
    why = FillIn(context.Text("STR_PROFILE_ATLINE", "Line %1: %2"), {QString::number(line->line), why});
  return FillIn(TextWithBreaks(context, "STR_PROFILE_TEMPLATEREFUSED"), {why});
}

// The IMEI and the name the window keeps for the tracker logged in, for its templates.
TrackerTexts LoggedInTracker(const AppContext& context) {
  const std::string imei = ToUtf8(context.FromDevice(context.Imei()));
  return TrackerTexts{imei, context.StoredUserName(imei)};
}

// "VA (phone number of contact 1)": a roster's column as its header names it, then the field.
QString ColumnName(const AppContext& context, const std::string& column) {
  const QString name = EscapeControls(FromUtf8(column));
  if (!FindKey(column)) return QLatin1Char('"') + name + QLatin1Char('"');
  return FillIn(context.Text("STR_ROSTER_COLUMN", "%1 (%2)"), {name, FieldName(context, column)});
}
}  // namespace

QString RosterProblemText(const AppContext& context, const RosterProblem& p, const Profile& profile) {
  const QString file = QDir::toNativeSeparators(FromUtf8(p.file));
  const QString row = QString::number(p.row);
  const auto text = [&](const char* key, const char* english, QStringList args) {
    args.prepend(file);
    return FillIn(context.Text(key, english), args);
  };
  switch (p.fault) {
    case RosterFault::None: return {};
    case RosterFault::Unreadable: return ErrorText(context, p.error);
    case RosterFault::NotCsv:
      return text("STR_ROSTER_NOTCSV", "%1, row %2, cell %3: a quote out of place, or a quoted cell that is never closed.",
                  {row, FromUtf8(p.column)});
    case RosterFault::NoImeiColumn:
      return text("STR_ROSTER_NOIMEICOLUMN", "%1: the first column must be IMEI, not \"%2\".",
                  {EscapeControls(FromUtf8(p.column))});
    case RosterFault::UnknownColumn:
      if (p.column.empty()) return text("STR_ROSTER_UNNAMEDCOLUMN", "%1: a column has no name in the header.", {});
      return text("STR_ROSTER_UNKNOWNCOLUMN", "%1: the column %2 is neither IMEI, name nor a setting of the tracker.",
                  {ColumnName(context, p.column)});
    case RosterFault::NotPerTracker:
      return text("STR_ROSTER_NOTPERTRACKER",
                  "%1: the column %2 is not one of a tracker's own values (SIM PIN, own number, contacts, emergency "
                  "and SMS report numbers); a value every tracker shares goes in the profile.",
                  {ColumnName(context, p.column)});
    case RosterFault::ColumnTwice:
      return text("STR_ROSTER_COLUMNTWICE", "%1: the column %2 appears twice.", {ColumnName(context, p.column)});
    case RosterFault::InProfile: {
      const ProfileLine* line = profile.Find(p.column);
      return text("STR_ROSTER_INPROFILE",
                  "%1: the column %2 is also given by the file, on its line %3: which value is meant cannot be known.",
                  {ColumnName(context, p.column), line ? QString::number(line->line) : QStringLiteral("?")});
    }
    case RosterFault::ExtraCells:
      return text("STR_ROSTER_EXTRACELLS", "%1, row %2 has more cells than the header has columns.", {row});
    case RosterFault::NoImei: return text("STR_ROSTER_NOIMEI", "%1, row %2 has values but no IMEI.", {row});
    case RosterFault::BadImei:
      return text("STR_ROSTER_BADIMEI", "%1, row %2: the IMEI \"%3\" is not 15 digits.",
                  {row, EscapeControls(FromUtf8(p.value))});
    case RosterFault::ImeiTwice:
      return text("STR_ROSTER_IMEITWICE", "%1, rows %2 and %3 are for the same tracker, IMEI %4.",
                  {QString::number(p.firstRow), row, FromUtf8(p.value)});
    case RosterFault::BadName:
      return text("STR_ROSTER_BADNAME",
                  "%1, row %2, column name: the name holds a control character or is longer than %3 characters.",
                  {row, QString::number(settings::IniFile::kMaxValueChars)});
    case RosterFault::BadValue:
      return text("STR_ROSTER_BADVALUE", "%1, row %2, column %3: %4",
                  {row, EscapeControls(FromUtf8(p.column)), ErrorText(context, p.error)});
    case RosterFault::NoRows: return text("STR_ROSTER_NOROWS", "%1 holds no tracker: a header and no row.", {});
  }
  return {};
}

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
  // An empty file is a profile for a roster's values alone.
  auto profile = ReadProfileBesideRoster(name);
  if (!profile) {
    // A file that cannot be read is named by its own message.
    const Error& e = profile.failure();
    context.ShowError(window, e.kind == MessageKind::FileUnreadable
                                  ? ErrorText(context, e)
                                  : FillIn(TextWithBreaks(context, "STR_PROFILE_CANTLOAD"), {path, ErrorText(context, e)}));
    return nullptr;
  }
  // Every value is checked as its page would check it before anything can be
  // sent; a text with {name} or {imei}, as far as it is known without them.
  const ValueRules rules{context.CodePage(), true, true};
  auto checked = PrepareProfileTemplates(*profile, rules, name);
  if (!checked) {
    const Error& e = checked.failure();
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
  // The tracker logged in gets its own name and IMEI in the texts. When they
  // do not fit, the review shows the file as it is and its Apply refuses;
  // every other tracker of a loop gets its own.
  bool byTemplate = false;
  auto values = ValuesFor(*profile, name, nullptr, {}, LoggedInTracker(context), rules, &byTemplate);
  std::optional<Error> refused;
  if (!values) {
    if (!byTemplate) {
      context.ShowFailure(window, values.failure());
      return nullptr;
    }
    refused = values.failure();
    values = std::move(checked);
  }
  if (auto plan = PlanProfile(context.Settings().Snapshot(), *values); !plan) {
    context.ShowFailure(window, plan.failure());
    return nullptr;
  }
  return new ProfileReviewSheet(context, session, path, std::move(*profile), std::move(*values), std::move(refused));
}

ProfileReviewSheet::ProfileReviewSheet(AppContext& context, SessionHost& session, const QString& path,
                                       Profile profile, PreparedProfile values, std::optional<Error> refused)
    : SkinnedDialog(context, nullptr, kSheetSize, skin::kReviewBackground, skin::kLoadIcon),
      session_(session),
      path_(path),
      profile_(std::move(profile)),
      values_(std::move(values)),
      valuesCodePage_(context.CodePage()),
      refused_(std::move(refused)),
      // A write whose thread could not start ends as a failed one.
      task_(this, [this](const Error& failure) { EndWrite(FailedWrite(failure), ErrorText(context_, failure)); }) {
  CreateControls();
  ShowDifferences();
  ShowEach(false);
  if (refused_) progress_->SetLabelText(CaptionOf(TemplateRefusal(context_, *refused_, profile_, LoggedInTracker(context_).imei)));
  // While trackers are being set up, Cancel is Stop; during a single write it
  // stops that write after the sentence under way.
  connect(CancelButton(), &QAbstractButton::clicked, this, [this] {
    if (Looping()) {
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

  differences_ = MakeList(this, kDifferencesAt,
                          {context_.Text("STR_PROFILE_COLFIELD", "Setting"),
                           context_.Text("STR_PROFILE_COLTRACKER", "On the tracker"),
                           context_.Text("STR_PROFILE_COLFILE", "In the file")},
                          {330, 210, 210});
  differences_->setAccessibleName(context_.Text("STR_PROFILE_DIFFERENCES", "Differences, by page"));
  connect(differences_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (column == 0 && !item->parent()) SayCheck(context_, item);
  });
  done_ = MakeTrackerList(context_, this, kDoneAt,
                          {context_.Text("STR_PROFILE_COLROW", "Roster row"),
                           context_.Text("STR_PROFILE_COLRESULT", "Result")},
                          {150, 140, 110});
  done_->setAccessibleName(context_.Text("STR_PROFILE_DONELIST", "Trackers set up"));
  done_->hide();
  // With a roster: the row of the tracker under way, and the rows not set up yet.
  rowValues_ = MakeList(this, kRowValuesAt,
                        {context_.Text("STR_PROFILE_COLFIELD", "Setting"),
                         context_.Text("STR_PROFILE_COLROSTER", "In the roster")},
                        {230});
  rowValues_->setAccessibleName(context_.Text("STR_PROFILE_ROWVALUES", "The tracker's roster row"));
  rowValues_->hide();
  waiting_ = MakeList(this, kWaitingAt, {QString()}, {});
  waiting_->setRootIsDecorated(false);
  waiting_->setAccessibleName(context_.Text("STR_PROFILE_WAITINGLIST", "Roster rows still waiting"));
  waiting_->hide();

  each_ = new QCheckBox(context_.Text("STR_PROFILE_EACH", "For each tracker plugged in"), this);
  each_->move(20, kEachY);
  each_->adjustSize();  // a click beside its text must not toggle it
  connect(each_, &QCheckBox::toggled, this, &ProfileReviewSheet::ShowEach);
  // Unchecked, the file's password stays off every tracker; only a file that gives one offers it.
  withPassword_ = new QCheckBox(context_.Text("STR_PROFILE_WITHPASSWORD", "Send the file's password to each tracker too"),
                                this);
  withPassword_->move(360, kEachY);
  withPassword_->adjustSize();
  connect(withPassword_, &QCheckBox::toggled, this, [this](bool on) {
    if (on && RefusedForLoop(true)) withPassword_->setChecked(false);
  });
  passwordLabel_ = AddLabel(kPasswordLabel, QRect(40, kPasswordY, 190, 26),
                            context_.Text("STR_PROFILE_PASSWORD", "The trackers' password:"));
  password_ = new QLineEdit(this);
  password_->setGeometry(235, kPasswordY, 200, 26);
  password_->setAccessibleName(PlainCaption(passwordLabel_->text()));
  reveal_ = AddRevealBox(QRect(450, kPasswordY, 200, 26), {password_});
  reportLabel_ = AddLabel(kReportLabel, QRect(40, kReportY, 190, 26), context_.Text("STR_PROFILE_REPORT", "Report file:"));
  const QString lastReport = context_.ReportFile();
  report_ = new QLineEdit(QDir::toNativeSeparators(
                              lastReport.isEmpty() ? QDir::home().filePath(QStringLiteral("zd573-report.csv")) : lastReport),
                          this);
  report_->setGeometry(235, kReportY, 420, 26);
  report_->setAccessibleName(PlainCaption(reportLabel_->text()));
  choose_ = skin::MakeButton(this, skin::kTextButtonNormal, skin::kTextButtonPressed, QRect(668, kReportY + 2, 105, 21));
  choose_->SetCaption(context_.Text("STR_PROFILE_CHOOSE", "Choose…"));
  choose_->SetCaptionPointSize(9);
  choose_->SetSpokenName(context_.Text("STR_PROFILE_CHOOSEREPORT", "Choose the report file"));
  connect(choose_, &QAbstractButton::clicked, this, &ProfileReviewSheet::ChooseReport);
  // Each tracker's own values: optional.
  rosterLabel_ = AddLabel(kRosterLabel, QRect(40, kRosterY, 190, 26),
                          context_.Text("STR_PROFILE_ROSTER", "Values per tracker…"));
  roster_ = new QLineEdit(this);
  roster_->setGeometry(235, kRosterY, 420, 26);
  roster_->setPlaceholderText(context_.Text("STR_PROFILE_ROSTERHINT", "Optional: a roster (CSV), a row per IMEI"));
  roster_->setAccessibleName(PlainCaption(rosterLabel_->text()));
  roster_->setAccessibleDescription(roster_->placeholderText());
  chooseRoster_ =
      skin::MakeButton(this, skin::kTextButtonNormal, skin::kTextButtonPressed, QRect(668, kRosterY + 2, 105, 21));
  chooseRoster_->SetCaption(context_.Text("STR_PROFILE_CHOOSE", "Choose…"));
  chooseRoster_->SetCaptionPointSize(9);
  chooseRoster_->SetSpokenName(context_.Text("STR_PROFILE_CHOOSEROSTER", "Choose the roster file"));
  connect(chooseRoster_, &QAbstractButton::clicked, this, &ProfileReviewSheet::ChooseRoster);
  // Enter in the loop's fields starts it, as Apply does.
  for (QLineEdit* edit : {password_, report_, roster_}) connect(edit, &QLineEdit::returnPressed, this, &ProfileReviewSheet::Apply);

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
  for (QWidget* w : std::initializer_list<QWidget*>{passwordLabel_, password_, reveal_, reportLabel_, report_, choose_,
                                                   rosterLabel_, roster_, chooseRoster_})
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

void ProfileReviewSheet::ChooseRoster() {
  const QString now = roster_->text().trimmed();
  const QString chosen = context_.AskOpenFile(this, now.isEmpty() ? context_.FileFolder() : QFileInfo(now).absolutePath(),
                                              context_.Text("STR_PROFILE_REPORTFILTER", "CSV files (*.csv)"));
  if (!chosen.isEmpty()) roster_->setText(QDir::toNativeSeparators(chosen));
}

void ProfileReviewSheet::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && (Looping() || task_.Running())) {
    event->accept();
    if (Looping()) {
      Stop();
    } else {
      StopWrite();
    }
    return;
  }
  SkinnedDialog::keyPressEvent(event);
}

void ProfileReviewSheet::Apply() {
  if (task_.Running() || Looping()) return;
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
  // The file's {name} or {imei} do not fit this tracker's: nothing is sent to it.
  if (refused_) {
    context_.ShowError(this, TemplateRefusal(context_, *refused_, profile_, LoggedInTracker(context_).imei));
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
    auto again = ForTracker();
    if (!again) {
      done(FailedWrite(again.failure()), refused_ ? TemplateRefusal(context_, *refused_, profile_, LoggedInTracker(context_).imei)
                                                  : ErrorText(context_, again.failure()));
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
        EndWrite(result, OutcomeWords(context_, outcome));
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
  if (Looping()) {
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

ProfileReviewSheet::~ProfileReviewSheet() = default;

bool ProfileReviewSheet::Looping() const { return run_ && run_->Running(); }

const LoopCounts& ProfileReviewSheet::Counts() const {
  static const LoopCounts none;
  return run_ ? run_->Counts() : none;
}

Expected<PreparedProfile> ProfileReviewSheet::ForTracker() {
  bool byTemplate = false;
  auto values = ValuesFor(profile_, ToUtf8(path_), nullptr, {}, LoggedInTracker(context_),
                          ValueRules{context_.CodePage(), true, true}, &byTemplate);
  refused_.reset();
  if (!values && byTemplate) refused_ = values.failure();
  return values;
}

void ProfileReviewSheet::SetWriting(bool writing) {
  // Nothing chosen may change under a write, and nothing may start a second one.
  ConfirmButton()->SetDisabledState(writing);
  if (!writing) CancelButton()->SetDisabledState(false);
  differences_->setEnabled(!writing);
  if (!Looping()) each_->setEnabled(!writing);
  if (!writing && !Looping()) ConfirmButton()->setFocus(Qt::OtherFocusReason);
}

void ProfileReviewSheet::ShowState(const QString& text) {
  QString line = text;
  // The line also counts what is done: trackers, not plug-ins.
  if (const LoopCounts& n = Counts(); n.rows > 0)
    line += QStringLiteral("   ") + FillIn(context_.Text("STR_PROFILE_COUNT", "(%1 set up, %2 failed)"),
                                           {QString::number(n.setUp), QString::number(n.failed)});
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

bool ProfileReviewSheet::ReadRosterFile(const Profile& profile) {
  rosterFile_.reset();
  const QString path = roster_->text().trimmed();
  if (path.isEmpty()) return true;
  // Read and checked whole, every cell, before any tracker is touched.
  RosterRead read = ReadRoster(ToUtf8(QDir::fromNativeSeparators(path)),
                               RosterRules{context_.CodePage(), context_.TrackerCodePages()});
  RosterProblem problem = read.problem;
  if (problem.ok()) problem = CheckRosterBeside(read.roster, profile, ToUtf8(path_));
  if (!problem.ok()) {
    context_.ShowError(this, FillIn(TextWithBreaks(context_, "STR_ROSTER_REFUSED"),
                                    {RosterProblemText(context_, problem, profile)}));
    roster_->setFocus(Qt::OtherFocusReason);
    return false;
  }
  rosterFile_ = std::move(read.roster);
  return true;
}

void ProfileReviewSheet::KeepName(const std::string& imei, const std::string& name) {
  // On the loop's thread: the settings file is read and written, nothing of the window touched.
  const settings::IniFile ini(settings::SystemIniPath());
  if (settings::HasDeviceUserName(ini, imei) && settings::ReadDeviceUserName(ini, imei) == name) return;
  if (Status s = settings::WriteDeviceUserName(ini, imei, name); !s) {
    // The tracker is set up all the same; only its name is not kept.
    QMetaObject::invokeMethod(
        this,
        [this, s] {
          context_.ShowFailure(
              this, Because(Error{context_.Text("STR_DEVICEPAGE_NAMEFAILED", "The device name could not be saved")
                                      .toStdString(),
                                  ErrorCode::File, s.error()},
                            s.failure()));
        },
        Qt::QueuedConnection);
  }
}

void ProfileReviewSheet::StartLoop() {
  const bool withPassword = withPassword_->isChecked();
  if (RefusedForLoop(withPassword)) return;
  Profile profile = LoopProfile();
  if (!ReadRosterFile(profile)) return;
  if (profile.values.empty() && !rosterFile_) {
    context_.ShowError(this, FillIn(context_.Text("STR_PROFILE_NOTHINGTOLOOP",
                                                  "%1 gives no value to write: name a roster with each tracker's "
                                                  "values (Values per tracker…)."),
                                    {QDir::toNativeSeparators(path_)}));
    roster_->setFocus(Qt::OtherFocusReason);
    return;
  }
  const QString path = report_->text().trimmed();
  if (path.isEmpty()) {
    context_.ShowError(this, context_.Text("STR_PROFILE_NOREPORT", "Name the report file first."));
    report_->setFocus(Qt::OtherFocusReason);
    return;
  }
  LoopRun::Calls calls;
  calls.stage = [this](LoopStage stage, const TrackerOutcome& tracker) { OnStage(stage, tracker); };
  calls.portBusy = [this] { ShowState(context_.Text("STR_MAINPAGE_PORTBUSY", kPortBusyRetrying)); };
  calls.progress = [this](int written, int total) {
    // After the last sentence the pages are read back, which takes a while too.
    progress_->SetLabelText(
        written == total ? FillIn(context_.Text("STR_PROFILE_CHECKING", "Written %1 of %2: reading them back…"),
                                  {QString::number(written), QString::number(total)})
                         : WritingText(context_, written, total));
  };
  calls.done = [this](const TrackerOutcome& outcome, const LoopCounts& counts, const Status& reported) {
    OnDone(outcome, counts, reported);
  };
  calls.ended = [this](const LoopResult& result) { OnLoopEnd(result); };
  run_ = std::make_unique<LoopRun>(context_, session_, this, std::move(calls));
  if (!run_->OpenReport(path)) {
    run_.reset();
    return;
  }
  ProvisionOptions options = run_->Options(password_->text());
  options.withPassword = withPassword;
  if (rosterFile_) {
    options.roster = rosterFile_;
    options.keepName = [this](const std::string& imei, const std::string& name) { KeepName(imei, name); };
  }
  ShowLoop();
  run_->Start([&](ProvisionReport& report, ProvisionListener& listener) {
    return std::make_unique<ProvisionLoop>(std::move(profile), ToUtf8(path_), std::move(options), report, listener);
  });
  ShowRowsWaiting();
}

void ProfileReviewSheet::ShowLoop() {
  const bool roster = rosterFile_.has_value();
  differences_->hide();
  // What was chosen stays in sight; what says nothing while the loop runs goes.
  for (QWidget* w : std::initializer_list<QWidget*>{each_, withPassword_, passwordLabel_, password_, reveal_, choose_,
                                                    chooseRoster_})
    w->hide();
  report_->setEnabled(false);
  roster_->setEnabled(false);
  if (!roster) {
    rosterLabel_->hide();
    roster_->hide();
  }
  done_->setGeometry(roster ? kDoneBesideRosterAt : kDoneAt);
  done_->setColumnHidden(kDoneRowColumn, !roster);
  done_->show();
  rowValues_->setVisible(roster);
  waiting_->setVisible(roster);
  ConfirmButton()->hide();
  ConfirmCaption()->hide();
  CancelCaption()->SetLabelText(context_.Text("STR_PROFILE_STOP", "Stop"));
  CancelButton()->SetSpokenName(CancelCaption()->text());
  CancelButton()->setFocus(Qt::OtherFocusReason);
}

void ProfileReviewSheet::ShowRow(const std::string& imei, const RosterRow* row, const std::string& name) {
  rowValues_->clear();
  if (!row) {
    auto* none = new QTreeWidgetItem(
        rowValues_, {FillIn(context_.Text("STR_PROFILE_ROWNONE", "%1: not in the roster"), {FromUtf8(imei)})});
    none->setFirstColumnSpanned(true);
    return;
  }
  auto* group = new QTreeWidgetItem(
      rowValues_, {FillIn(context_.Text("STR_PROFILE_ROWGROUP", "Roster row %1: %2"),
                          {QString::number(row->row), FromUtf8(imei)})});
  group->setFirstColumnSpanned(true);
  if (!row->name.empty())
    new QTreeWidgetItem(group, {context_.Text("STR_PROFILE_COLNAME", "Name"), EscapeControls(FromUtf8(row->name))});
  for (const ProfileLine& cell : row->values) {
    // As the tracker gets it: {name} and {imei} filled; a secret only said to be there.
    QString value = FromUtf8(cell.value);
    value.replace(QLatin1String(kNameTemplate.data(), kNameTemplate.size()), FromUtf8(name))
        .replace(QLatin1String(kImeiTemplate.data(), kImeiTemplate.size()), FromUtf8(imei));
    new QTreeWidgetItem(group, {FieldName(context_, cell.key), IsSecretKey(cell.key)
                                                                   ? context_.Text("STR_PROFILE_HIDDEN", "(hidden)")
                                                                   : EscapeControls(value)});
  }
  rowValues_->expandAll();
  rowValues_->setCurrentItem(group);
}

void ProfileReviewSheet::ShowRowsWaiting() {
  if (!rosterFile_ || !run_ || !run_->Running()) return;
  const std::vector<int> rows = run_->RowsWaiting();
  waiting_->clear();
  waiting_->setHeaderLabels({FillIn(context_.Text("STR_PROFILE_ROWSWAITING", "Rows still waiting: %1"),
                                    {QString::number(rows.size())})});
  for (int r : rows)
    for (const RosterRow& row : rosterFile_->rows)
      if (row.row == r)
        new QTreeWidgetItem(waiting_, {FillIn(context_.Text("STR_PROFILE_ROWWAITING", "Row %1: %2 %3"),
                                              {QString::number(r), FromUtf8(row.imei), EscapeControls(FromUtf8(row.name))})
                                           .trimmed()});
}

void ProfileReviewSheet::OnStage(LoopStage stage, const TrackerOutcome& tracker) {
  if (run_->Stopping()) return;
  switch (stage) {
    case LoopStage::Waiting:
    case LoopStage::Opening:
      ShowState(context_.Text("STR_PROFILE_WAITING", "Waiting for a tracker: plug in the next one."));
      progress_->SetLabelText(QString());
      return;
    case LoopStage::Reading:
      if (rosterFile_ && tracker.rosterRow > 0) ShowRow(tracker.imei, rosterFile_->Find(tracker.imei), tracker.name);
      [[fallthrough]];
    case LoopStage::Writing:
    case LoopStage::Checking:
    case LoopStage::Saving:
      ShowState(tracker.rosterRow > 0
                    ? FillIn(context_.Text("STR_PROFILE_WORKINGROW", "Setting up the tracker %1, roster row %2…"),
                             {FromUtf8(tracker.imei), QString::number(tracker.rosterRow)})
                    : FillIn(context_.Text("STR_PROFILE_WORKING", "Setting up the tracker %1…"), {FromUtf8(tracker.imei)}));
      return;
    case LoopStage::Unplug:
      ShowState(context_.Text("STR_PROFILE_UNPLUG", "Unplug it and plug in the next tracker."));
      return;
  }
}

void ProfileReviewSheet::OnDone(const TrackerOutcome& outcome, const LoopCounts&, const Status& reported) {
  // The encoding stays with a tracker whose texts were written.
  if (std::any_of(outcome.written.begin(), outcome.written.end(), PageSendsText))
    (void)settings::RememberTrackerCodePage(context_.SystemIni(), outcome.imei, outcome.codePage);
  const bool notInRoster = outcome.result == TrackerResult::NotInRoster;
  if (notInRoster) ShowRow(outcome.imei, nullptr, {});
  const QString row = outcome.rosterRow > 0 ? QString::number(outcome.rosterRow)
                      : notInRoster         ? context_.Text("STR_PROFILE_NOROW", "not in the roster")
                                            : QString();
  ListTracker(context_, done_, outcome, {row, ResultWords(context_, outcome)});
  progress_->SetLabelText(QString());  // that tracker's writing is over
  ShowRowsWaiting();
  // Trackers set up from now on would be missing from the report: the loop has ended.
  if (!reported) context_.ShowFailure(this, reported.failure());  // it names the report and why
}

void ProfileReviewSheet::Stop() {
  if (!Looping() || run_->Stopping()) return;
  // A tracker being written gets the page under way whole, and is reported.
  run_->Stop();
  CancelButton()->SetDisabledState(true);
  ShowState(context_.Text("STR_PROFILE_STOPPING", "Stopping…"));
}

void ProfileReviewSheet::OnLoopEnd(const LoopResult& result) {
  if (result.end == LoopEnd::Refused) {
    if (!result.roster.ok()) {
      context_.ShowError(this, FillIn(TextWithBreaks(context_, "STR_ROSTER_REFUSED"),
                                      {RosterProblemText(context_, result.roster, LoopProfile())}));
    } else if (!result.error.message.empty()) {
      context_.ShowError(this, ErrorText(context_, result.error));
    } else {
      (void)RefusedForLoop(withPassword_->isChecked());
    }
  }
  const LoopCounts& n = result.counts;
  QString summary = FillIn(context_.Text("STR_PROFILE_SUMMARY", "Trackers set up: %1, failed: %2. The report is %3"),
                           {QString::number(n.setUp), QString::number(n.failed),
                            QDir::toNativeSeparators(FromUtf8(run_->Report().Path()))});
  if (n.notInRoster > 0)
    summary += QLatin1Char('\n') + FillIn(context_.Text("STR_PROFILE_SUMMARYNOTINROSTER", "Not in the roster: %1"),
                                          {QString::number(n.notInRoster)});
  if (!result.neverPluggedIn.empty() && rosterFile_) {
    QStringList rows;
    for (int r : result.neverPluggedIn)
      for (const RosterRow& row : rosterFile_->rows)
        if (row.row == r) rows << FillIn(QStringLiteral("%1 (%2)"), {QString::number(r), FromUtf8(row.imei)});
    summary += QLatin1Char('\n') + FillIn(context_.Text("STR_PROFILE_NEVERPLUGGED", "Never plugged in: roster rows %1"),
                                          {rows.join(QStringLiteral(", "))});
  }
  context_.ShowMessage(this, summary,
                       n.failed || n.notInRoster || result.end == LoopEnd::Refused || result.end == LoopEnd::ReportFailed
                           ? MessageIcon::Warning
                           : MessageIcon::Information);
  accept();
  if (closeAfterWrite_) QTimer::singleShot(0, std::exchange(closeAfterWrite_, nullptr));
}

}  // namespace zd573
