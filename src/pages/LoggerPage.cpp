#include "pages/LoggerPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpressionValidator>


#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "device/sentences.h"
#include "device/transactions.h"
#include "logger/log_archive.h"
#include "logger/log_record.h"
#include "logger/replacing_file.h"
#include "frame/Accessibility.h"
#include "frame/Messages.h"
#include "frame/Skin.h"
#include "pages/TrackPreview.h"
#include "pages/TrackView.h"
#include "settings/language.h"
#include "settings/paths.h"

namespace zd573 {

namespace {

constexpr int kTrackImage = 253;
constexpr int kBarImage = 254;

struct FormatLook {
  logger::ExportFormat format;
  const char* key;
  const char* english;
  const char* filterKey;
  const char* filter;
  const char* suffix;
};
// [SYSTEM] ExportFormat in system.ini: csv, kml or gpx.
constexpr std::string_view kExportFormatKey = "ExportFormat";

constexpr FormatLook kFormats[] = {
    {logger::ExportFormat::Csv, "STR_LOGGERPAGE_FORMAT1", "CSV", "STR_LOGGERPAGE_FILTER1", "Csv file(*.csv)", "csv"},
    {logger::ExportFormat::Kml, "STR_LOGGERPAGE_FORMAT2", "KML", "STR_LOGGERPAGE_FILTER2", "Google file(*.kml)", "kml"},
    {logger::ExportFormat::Gpx, "STR_LOGGERPAGE_FORMAT3", "GPX", "STR_LOGGERPAGE_FILTER3", "GPX file(*.gpx)", "gpx"},
};

}  // namespace

LoggerPage::LoggerPage(AppContext& context, QWidget* mainWindow)
    : PageFrame(context, mainWindow,
                PageLook{219, "STR_LOGGERPAGE_ABOUT", "about us \"Logger\" information",
                         300, kPagePanelColour}),
      relay_(this, LogRelay::Handlers{[this](Progress p) { OnProgress(p); }, [this](int code) { OnEnded(code); }}) {}

// Closing the page (or the program) ends a running download: the reader is
// joined, the session has its port back, and no export is written.
LoggerPage::~LoggerPage() { download_.reset(); }

void LoggerPage::CreatePageControls() {
  AddLabel(QRect(10, 182, 190, 25), "STR_LOGGERPAGE_STR1", "GPS Data Log Interval:");
  interval_ = AddEdit(QRect(205, 182, 55, 25));
  // Seconds, digits only; above 65535 is refused with a message on Apply.
  interval_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,6}")), interval_));
  AddLabel(QRect(265, 182, 40, 25), "STR_LOGGERPAGE_STR2", "Sec.", Qt::AlignLeft | Qt::AlignVCenter);
  logging_ = AddCheck(QRect(310, 182, 90, 25), QStringLiteral("Enable"));
  logging_->setText(Text("STR_GLOBAL_ON", "ON"));
  Fields().BindFlag("OX", logging_);
  logging_->setAccessibleName(SpokenLabel(Text("STR_LOGGERPAGE_STR1", "GPS Data Log Interval:")) + QLatin1Char(' ') +
                              logging_->text());
  connect(logging_, &QAbstractButton::clicked, this, [this](bool on) { interval_->setEnabled(on); });

  AddLabel(QRect(10, 235, 160, 25), "STR_LOGGERPAGE_STR3", "Data log Export to:");
  formats_ = new QButtonGroup(this);
  for (int i = 0; i < 3; ++i) {
    QRadioButton* choice = AddRadio(QRect(175 + 64 * i, 235, 62, 25), Text(kFormats[i].key, kFormats[i].english));
    formats_->addButton(choice, i);
  }
  export_ = AddTextButton(QRect(375, 237, 105, 21), Text("STR_LOGGERPAGE_EXPORT", "Export"));
  connect(export_, &QAbstractButton::clicked, this, &LoggerPage::Export);
  AddLabel(QRect(485, 235, 125, 25), "STR_LOGGERPAGE_STR5", "Drop no-fix data:");
  dropNoFix_ = AddCheck(QRect(615, 235, 90, 25), QStringLiteral("Enable"));
  dropNoFix_->setText(Text("STR_GLOBAL_ON", "ON"));

  // The bar is painted from the skin; this invisible twin tells screen readers its value.
  barValue_ = new QProgressBar(this);
  barValue_->setGeometry(kBar);
  barValue_->setRange(0, kBar.width() - 1);
  barValue_->setValue(0);
  barValue_->setTextVisible(false);
  barValue_->setStyleSheet(QStringLiteral(
      "QProgressBar { background: transparent; border: none; } QProgressBar::chunk { background: transparent; }"));
  barValue_->setAccessibleName(Text("STR_LOGGERPAGE_PROGRESS", "Download progress"));
  barValue_->setAttribute(Qt::WA_TransparentForMouseEvents);
  track_ = SkinPicture(kTrackImage);
  bar_ = SkinPicture(kBarImage);
  track_.Load(this);
  bar_.Load(this);

  cancel_ = AddTextButton(QRect(468, 310, 105, 21), Text("STR_GLOBAL_CANCEL", "Cancel"));
  cancel_->hide();
  connect(cancel_, &QAbstractButton::clicked, this, &LoggerPage::CancelDownload);

  delete_ = AddTextButton(QRect(71, 350, 105, 21), Text("STR_LOGGERPAGE_DELETEDATALOG", "Delete Date Log"));
  connect(delete_, &QAbstractButton::clicked, this, &LoggerPage::DeleteLog);
  AddLabel(QRect(71, 405, 500, 20), "STR_LOGGERPAGE_STR4",
           "PS:GPS Data Log starts will continue to use of electricity.", Qt::AlignLeft | Qt::AlignVCenter);

  // What the last export wrote, in the free column at the right.
  preview_ = new TrackPreview(this);
  preview_->setGeometry(594, 283, 140, 140);
  preview_->hide();
  written_ = AddLabel(QRect(584, 428, 160, 18), {}, {}, Qt::AlignHCenter | Qt::AlignVCenter);
  writtenFile_ = AddLabel(QRect(584, 446, 160, 18), {}, {}, Qt::AlignHCenter | Qt::AlignVCenter);
  written_->SetPointSize(9);
  // What an export wrote is news: it is read out like a status line.
  written_->SetAccessibleRole(QAccessible::StatusBar);
  writtenFile_->SetPointSize(9);
  writtenFile_->SetForeground(skin::kHintColour);
  view_ = AddTextButton(QRect(612, 467, 105, 21), Text("STR_LOGGERPAGE_VIEW", "View track"));
  view_->hide();
  connect(view_, &QAbstractButton::clicked, this, [this] {
    if (lastTrack_ && !Busy()) emit viewTrack(lastTrack_);
  });
  // The format chosen at the last export, else CSV; not a tracker's value, so
  // it is read once, not at every fill.
  const auto kept = logger::ParseExportFormat(context_.SystemIni().Read(settings::kSystemSection, kExportFormatKey, ""));
  Choice(kept.value_or(logger::ExportFormat::Csv))->setChecked(true);
}

void LoggerPage::FillFromSettings(const DeviceValues& values) {
  // The interval shows whatever logging says; only a click on the box disables it.
  interval_->setText(QString::number(values.Number("O2")));
}

Status LoggerPage::StoreControls(DeviceValues& edited) const {
  // The interval is sent only while logging is on.
  return logging_->isChecked() ? Fields().StoreEdit("O2", interval_, edited) : Status{};
}

QRadioButton* LoggerPage::Choice(logger::ExportFormat format) const {
  for (int i = 0; i < 3; ++i)
    if (kFormats[i].format == format) return static_cast<QRadioButton*>(formats_->button(i));
  return nullptr;
}

namespace {
// The checked choice; CSV if none is (it is checked on every opening).
const FormatLook& ChosenLook(const QButtonGroup* formats) {
  const int id = formats->checkedId();
  return kFormats[id >= 0 && id < 3 ? id : 0];
}
}  // namespace

logger::ExportFormat LoggerPage::ChosenFormat() const { return ChosenLook(formats_).format; }

void LoggerPage::Export() {
  if (Busy()) return;
  const FormatLook& look = ChosenLook(formats_);
  const QString path = context_.AskSaveFile(this, context_.FileFolder(), Text(look.filterKey, look.filter),
                                            QString::fromLatin1(look.suffix));
  if (path.isEmpty()) return;  // Cancel: nothing is sent
  const QFileInfo target(path);
  context_.RememberFileFolder(path);
  // Kept for next time; a system.ini that cannot be written costs only that.
  (void)context_.SystemIni().Write(settings::kSystemSection, kExportFormatKey, logger::ExportFormatName(look.format));
  if (!logger::CheckExportTarget(path.toStdString())) {
    // Writing to a pipe or a device would wait for a reader forever.
    context_.ShowCaptioned(this, context_.Text("STR_GLOBAL_ERROR"),
                           context_.Text("STR_LOGGERPAGE_CANTGENERATE") + QStringLiteral("\n\n") +
                               Text("STR_LOGGERPAGE_NOTAFILE", "%s is not a regular file.").replace(QStringLiteral("%s"), path),
                           MessageIcon::Error);
    return;
  }
  if (logger::IsReadOnlyFile(path.toStdString())) {
    context_.ShowCaptioned(this, context_.Text("STR_GLOBAL_ERROR"),
                           context_.Text("STR_LOGGERPAGE_CANTGENERATE") + QStringLiteral("\n\n") +
                               context_.Text("STR_LOGGERPAGE_READONLY").replace(QStringLiteral("%s"), path),
                           MessageIcon::Error);
    return;
  }
  // The download has the session's port until it ends.
  auto leased = context_.LeasePort();
  if (!leased) {
    context_.ShowFailure(this, leased.failure());
    return;
  }
  exportPath_ = path;
  imei_ = context_.Imei();
  LogDownloadOptions options;  // no rawPath: the core's, temp.log in the user's cache folder
  options.silenceLimit = context_.durations.logSilence;
  options.stallLimit = context_.durations.logStall;
  download_ = std::make_unique<LogDownload>(relay_, options);
  if (Status started = download_->Start(std::move(leased.value())); !started) {
    download_.reset();
    context_.ShowFailure(this, started.failure());
    return;
  }
  rawPath_ = download_->RawPath();
  downloadClock_.start();
  barValue_->setValue(0);
  preview_->hide();
  view_->hide();
  written_->SetLabelText({});
  writtenFile_->SetLabelText({});
  ShowProgress({});
  update(kBar);
  SetDownloading(true);
}

int LoggerPage::BarFill() const { return barValue_->value(); }

void LoggerPage::CancelDownload() {
  if (!download_) return;
  download_->Stop();
  OfferPartialExport({});
  EndDownload();
  ShowProgress(Text("STR_LOGGERPAGE_CANCELLED", "Download cancelled"));
}

bool LoggerPage::OfferPartialExport(const QString& why) {
  // The records that arrived before the download ended early are kept: the
  // user may export them, marked as part of the log.
  std::vector<std::uint8_t> records = download_ ? download_->Records() : std::vector<std::uint8_t>{};
  const std::size_t count = records.size() / logger::kLogRecordSize;
  if (count == 0) return false;
  const LogDownload::Tally tally = download_->EndTally();
  QString question = FillIn(Text("STR_LOGGERPAGE_EXPORTPART",
                                 "Export the %1 records that arrived? The file will hold only part of the log."),
                            {QString::number(count)});
  if (!why.isEmpty()) question = why + QStringLiteral("\n\n") + question;
  if (!context_.AskYesNo(this, question)) return true;
  const QString total = tally.counted ? QString::number(tally.total) : QStringLiteral("?");
  WriteExport(std::move(records),
              FillIn(Text("STR_LOGGERPAGE_PARTIAL", "Only part of the log was exported: %1 of %2 records."),
                     {QString::number(count), total}));
  return true;
}

void LoggerPage::EndDownload() {
  // The reader is joined and the session has its port back; an unfinished raw file is
  // dropped and every earlier file stays as it was.
  download_.reset();
  barValue_->setValue(0);
  update(kBar);
  SetDownloading(false);
}

void LoggerPage::SetDownloading(bool busy) {
  // The drop-no-fix box, minimise and close stay usable while the log comes in.
  // Image buttons show their grey face while they cannot be pressed.
  // The frame's own work (an export being written) keeps them grey too.
  for (CGdipButton* b : {BackButton(), ApplyButton(), export_, delete_}) b->SetDisabledState(busy || Busy());
  for (CGdipButton* b : {export_, delete_}) b->SetCaptionColor(busy ? skin::kHintColour : skin::kDialogTextColour);
  for (QWidget* w : std::initializer_list<QWidget*>{interval_, logging_}) w->setEnabled(!busy);
  for (QAbstractButton* choice : formats_->buttons()) choice->setEnabled(!busy);
  // The keyboard goes back to Export, which started the download, never on to
  // Delete when Cancel disappears.
  if (!busy && window()->focusWidget() == cancel_) export_->setFocus(Qt::OtherFocusReason);
  cancel_->setVisible(busy);
  if (busy) cancel_->setFocus(Qt::OtherFocusReason);
}

void LoggerPage::StopPageWork() {
  // The reader is joined and the session has its port back; what it still reports is dropped.
  download_.reset();
}

void LoggerPage::SetPageBusy(bool busy) {
  // Writing the export or sending a sentence: nothing else may start meanwhile.
  for (CGdipButton* b : {export_, delete_}) b->SetDisabledState(busy || download_);
}

void LoggerPage::OnProgress(Progress progress) {
  if (progress.total == 0) return;
  // The count comes from the tracker's own header; the time left once the
  // rate has settled a little.
  QString line = FillIn(Text("STR_LOGGERPAGE_COUNT", "%1 of %2 records"),
                        {QLocale().toString(qulonglong{progress.done}), QLocale().toString(qulonglong{progress.total})});
  const qint64 elapsed = downloadClock_.elapsed();
  if (progress.done > 0 && progress.done < progress.total && elapsed >= kEstimateAfterMs) {
    const qint64 left = elapsed * qint64(progress.total - progress.done) / qint64(progress.done) / 1000 + 1;
    line += QStringLiteral("  ") +
            FillIn(Text("STR_LOGGERPAGE_TIMELEFT", "about %1 left"),
                   {QStringLiteral("%1:%2").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'))});
  }
  ShowProgress(line);
  barValue_->setValue(static_cast<int>(
      std::min<std::uint64_t>(std::uint64_t{progress.done} * kBar.width() / progress.total, kBar.width() - 1)));
  update(kBar);
}

void LoggerPage::OnEnded(int code) {
  // The reader has ended; join it and give the port back before anything else.
  if (download_) download_->Stop();
  ShowProgress({});
  const QString errorCaption = context_.Text("STR_GLOBAL_ERROR");
  switch (code) {
    case kLogComplete:
    case kLogCompleteWithLosses:
      WriteExport(download_ ? download_->Records() : std::vector<std::uint8_t>{}, CompleteNote());
      break;
    case kLogNoData:
      context_.ShowCaptioned(this, context_.Text("STR_GLOBAL_INFO"), context_.Text("STR_LOGGERPAGE_NODATA"),
                             MessageIcon::Information);
      break;
    case kLogAborted:
      if (!OfferPartialExport(context_.Text("STR_LOGGERPAGE_ABORT")))
        context_.ShowCaptioned(this, errorCaption, context_.Text("STR_LOGGERPAGE_ABORT"), MessageIcon::Error);
      break;
    case kLogRequestFailed:
      if (auto failure = download_ ? download_->RequestFailure() : std::nullopt) context_.ShowFailure(this, *failure);
      break;
    case kLogTimedOut: {
      // The cause, and how many records came: a stalled tracker is told from a bad line.
      const LogDownload::Tally tally = download_ ? download_->EndTally() : LogDownload::Tally{};
      QString text = context_.Text("STR_LOGGERPAGE_NOCOUNT");
      if (tally.counted) {
        text = context_.Text(tally.silent ? "STR_LOGGERPAGE_WENTSILENT" : "STR_LOGGERPAGE_STOPPED") +
               QStringLiteral("\n\n") +
               FillIn(context_.Text("STR_LOGGERPAGE_ARRIVED"),
                      {QString::number(tally.received), QString::number(tally.total)});
        if (tally.damaged > 0)
          text += QLatin1Char('\n') + FillIn(context_.Text("STR_LOGGERPAGE_DAMAGED"),
                                             {QString::number(tally.damaged), QString::number(tally.total)});
      }
      if (!OfferPartialExport(text)) context_.ShowCaptioned(this, errorCaption, text, MessageIcon::Error);
      break;
    }
    case kLogFileFailed: {
      // "Cannot write <raw file>: <the system's reason>": the reason in the language's words.
      const std::string detail = download_ ? download_->EndDetail() : std::string();
      const std::string place = rawPath_ + ": ";
      const std::size_t at = detail.find(place);
      const QString raw = QString::fromStdString(rawPath_);
      context_.ShowCaptioned(
          this, errorCaption,
          at == std::string::npos
              ? context_.Text("STR_LOGGERPAGE_RAWFAILED").replace(QStringLiteral("%s"), raw)
              : FillIn(context_.Text("STR_GLOBAL_CANNOTWRITE"), {raw, SystemWords(context_, detail.substr(at + place.size()))}),
          MessageIcon::Error);
      break;
    }
    default: break;
  }
  EndDownload();
}

namespace {
struct ExportOutcome {
  Status status;
  logger::RawLog log;
  std::size_t count = 0;
  // The merge into the tracker's archive.
  Status archive;
  bool archived = false;
  std::size_t added = 0;
};
}  // namespace

QString LoggerPage::CompleteNote() const {
  const LogDownload::Tally tally = download_ ? download_->EndTally() : LogDownload::Tally{};
  QStringList lines;
  if (tally.damaged > 0)
    lines << FillIn(context_.Text("STR_LOGGERPAGE_DAMAGED"),
                    {QString::number(tally.damaged), QString::number(tally.total)});
  if (tally.received > tally.total)
    lines << FillIn(context_.Text("STR_LOGGERPAGE_SURPLUS"),
                    {QString::number(tally.received), QString::number(tally.total)});
  return lines.join(QLatin1Char('\n'));
}

void LoggerPage::WriteExport(std::vector<std::uint8_t> records, QString note) {
  logger::ExportOptions options;
  // The box is read now: a change during the download counts.
  options.dropNoFix = dropNoFix_->isChecked();
  // A large log takes a moment to convert: off the window thread.
  RunDeviceWork(
      // The download's own records, not temp.log: another download may be replacing it.
      [records = std::move(records), path = exportPath_.toStdString(), format = ChosenFormat(), options,
       ini = context_.SystemIni(), imei = imei_](std::stop_token stop, const BackgroundTask::Relay&) mutable {
        ExportOutcome out;
        options.stop = std::move(stop);
        auto log = logger::RawLog::FromBytes(std::move(records));
        if (!log) {
          out.status = log.failure();
          return out;
        }
        // Kept before the export is written: an erase after it must lose nothing.
        if (auto merged = logger::ArchiveDownload(ini, imei, *log); merged) {
          out.archived = merged->archived;
          out.added = merged->added;
        } else {
          out.archive = merged.failure();
        }
        out.status = logger::WriteExport(format, path, *log, options);
        out.count = log->size();
        if (options.dropNoFix) {
          out.count = 0;
          for (std::size_t i = 0; i < log->size(); ++i) out.count += (*log)[i].FixCode() != 0;
        }
        out.log = std::move(*log);
        return out;
      },
      [this, note](ExportOutcome out) {
        if (!out.archive) {
          const Error& failure = out.archive.failure();
          context_.ShowCaptioned(this, context_.Text("STR_GLOBAL_ERROR"),
                                 FillIn(Text("STR_LOGGERPAGE_ARCHIVEFAILED",
                                             "The download could not be kept in the archive: %1"),
                                        {SystemWords(context_, failure.detail)}),
                                 MessageIcon::Warning);
        }
        if (!out.status) {
          context_.ShowCaptioned(this, context_.Text("STR_GLOBAL_ERROR"), ErrorText(context_, out.status.failure()),
                                 MessageIcon::Error);
          return;
        }
        written_->SetLabelText(QString::fromStdString(settings::FormatWithNumber(
            Text("STR_LOGGERPAGE_WRITTEN", "%d records written to").toStdString(), static_cast<long long>(out.count))));
        writtenFile_->SetLabelText(writtenFile_->fontMetrics().elidedText(QFileInfo(exportPath_).fileName(),
                                                                         Qt::ElideMiddle, writtenFile_->width()));
        preview_->SetTrack(out.log);
        preview_->show();
        if (out.archived)
          ShowProgress(FillIn(Text("STR_LOGGERPAGE_ARCHIVED", "Kept in the archive: %1 new records"),
                              {QString::number(out.added)}));
        lastTrack_ = std::make_shared<TrackSource>(TrackSource{std::move(out.log), QFileInfo(exportPath_).fileName(), imei_});
        view_->show();
        if (!note.isEmpty())
          context_.ShowCaptioned(this, context_.Text("STR_GLOBAL_INFO"), note, MessageIcon::Warning);
      });
}

void LoggerPage::DeleteLog() {
  if (Busy() || download_) return;
  // The erase cannot be undone: ask, with No as what Enter means.
  if (!context_.AskYesNo(this,
                         Text("STR_LOGGERPAGE_DELETEASK", "Delete every record of the GPS data log in the tracker? "
                                                          "They cannot be recovered."),
                         true))
    return;
  SendDeviceQuery(BuildLogEraseQuery(), [this] {
    context_.ShowMessage(this, Text("STR_LOGGERPAGE_DELETESENT", "The tracker was told to delete its GPS data log."),
                         MessageIcon::Information);
  });
}

void LoggerPage::paintEvent(QPaintEvent* event) {
  PageFrame::paintEvent(event);
  QPainter p(this);
  // Source rectangles count the picture's own pixels, which are finer on a
  // high-density screen.
  auto draw = [&p](const QPixmap& picture, int width) {
    const qreal ratio = picture.devicePixelRatio();
    p.drawPixmap(QRectF(kBar.x(), kBar.y(), width, kBar.height()), picture,
                 QRectF(0, 0, width * ratio, kBar.height() * ratio));
  };
  if (const QPixmap& track = track_.For(this); !track.isNull()) draw(track, kBar.width());
  if (const QPixmap& bar = bar_.For(this); !bar.isNull() && BarFill() > 0) draw(bar, BarFill());
}

}  // namespace zd573
