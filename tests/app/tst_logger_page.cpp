// The logger page against the simulated tracker: settings, download and
// export, the busy state, the end messages, erase.
#include "qt_warnings.h"
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QtTest>

#include <sys/stat.h>

#include <filesystem>

#include "controls/CLabel.h"
#include "device/timing.h"
#include "logger/log_export.h"
#include "logger/log_record.h"
#include "page_test_support.h"
#include "pages/LoggerPage.h"
#include "pages/TrackPreview.h"

using namespace zd573;
using namespace zd573::test;
using logger::ExportFormat;

namespace {

struct Captioned {
  QString caption, text;
  MessageIcon icon;
};

// The page over a tracker whose log has `records` records; the save dialog
// answers with `exportName` in the test's folder.
struct LoggerEnv {
  explicit LoggerEnv(sim::Options options = ShellEnv::FastOptions()) {
    tracker = env.StartTracker(true, options);
    if (!tracker) return;
    tracker->SetValue("OX", "1");
    tracker->SetValue("O2", "30");
    ReadRecordFrom(env, *tracker);
    env.Context().durations.logSilence = std::chrono::milliseconds(1500);
    env.Context().durations.logStall = std::chrono::milliseconds(1500);
    env.Context().notifier.captioned = [this](QWidget*, const QString& c, const QString& t, MessageIcon i) {
      boxes.push_back({c, t, i});
    };
    env.Context().notifier.saveFile = [this](QWidget*, const QString& folder, const QString& filter,
                                             const QString& suffix) {
      dialogs.push_back({folder, filter, suffix});
      return exportName.isEmpty() ? QString() : env.Path(exportName);
    };
  }
  // The page uses the context: it goes first.
  ~LoggerEnv() { window.reset(); }
  LoggerPage* Open() {
    window = std::make_unique<QWidget>();
    window->setFixedSize(PageFrame::kSize);
    page = MakePage<LoggerPage>(env.Context(), window.get());
    window->show();
    return page;
  }
  bool WaitIdle(int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (page->Busy() && t.elapsed() < ms) QTest::qWait(10);
    return !page->Busy();
  }
  std::string Written() const { return env.ReadFile(exportName).toStdString(); }
  // What the core writer makes of the tracker's log.
  std::string Expected(ExportFormat format, bool dropNoFix) const {
    auto log = logger::RawLog::FromBytes(tracker->LogBytes());
    const std::string path = env.Path(QStringLiteral("expected")).toStdString();
    logger::ExportOptions options;
    options.dropNoFix = dropNoFix;
    if (!log || !logger::WriteExport(format, path, *log, options)) return "(no log)";
    return env.ReadFile(QStringLiteral("expected")).toStdString();
  }

  ShellEnv env;
  sim::Simulator* tracker = nullptr;
  std::unique_ptr<QWidget> window;
  QPointer<LoggerPage> page;
  QString exportName = QStringLiteral("track.csv");
  std::vector<Captioned> boxes;
  std::vector<QStringList> dialogs;
};

sim::Options WithLog(int records) {
  sim::Options o = ShellEnv::FastOptions();
  o.records = records;
  return o;
}

}  // namespace

class TestLoggerPage : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  // Each choice exports what the core writer makes of the same records, with
  // the dialog of that choice, and the preview shows what was written.
  void exportsEachFormat_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("filter");
    QTest::newRow("CSV") << int(ExportFormat::Csv) << "track.csv" << "Csv file(*.csv)";
    QTest::newRow("KML") << int(ExportFormat::Kml) << "track.kml" << "Google file(*.kml)";
    QTest::newRow("GPX") << int(ExportFormat::Gpx) << "track.gpx" << "GPX file(*.gpx)";
  }
  void exportsEachFormat() {
    QFETCH(int, format);
    QFETCH(QString, name);
    QFETCH(QString, filter);
    LoggerEnv t(WithLog(300));
    QVERIFY(t.tracker);
    LoggerPage* page = t.Open();
    QVERIFY(page->Choice(ExportFormat::Csv)->isChecked());  // CSV until a format has been used
    page->Choice(ExportFormat(format))->click();
    t.exportName = name;
    page->Export();
    QVERIFY(t.WaitIdle());
    QCOMPARE(t.dialogs.size(), std::size_t(1));
    QCOMPARE(t.dialogs[0][1], filter);
    QVERIFY2(t.boxes.empty(), t.boxes.empty() ? "" : qPrintable(t.boxes[0].text));
    QVERIFY(t.Written() == t.Expected(ExportFormat(format), false));
    // The raw log goes to the user's cache folder (the core's RawLogPath), not beside the export.
    QVERIFY(!QFile::exists(t.env.Path(QStringLiteral("temp.log"))));
    QVERIFY(QFile::exists(QString::fromStdString(settings::RawLogPath().value())));
    QVERIFY(page->Preview()->isVisible());
    QVERIFY(!page->Preview()->Points().empty());
    QCOMPARE(page->WrittenLine()->text(), QStringLiteral("300 records written to"));
    QCOMPARE(page->BarFill(), 0);
    // The next dialog starts where this export went.
    page->Export();
    QVERIFY(t.WaitIdle());
    QCOMPARE(t.dialogs.back()[0], QFileInfo(t.env.Path(name)).absolutePath());
    // The next opening offers the format used last.
    page = t.Open();
    QVERIFY(page->Choice(ExportFormat(format))->isChecked());
  }

  // Damaged packets cost only their own records: the rest is exported, and
  // the page says how many were left out.
  void damagedPacketsAreLeftOutAndSaid() {
    sim::Options o = WithLog(600);
    o.badCheckEvery = 4;
    LoggerEnv t(o);
    QVERIFY(t.tracker);
    LoggerPage* page = t.Open();
    t.exportName = QStringLiteral("damaged.csv");
    page->Export();
    QTRY_VERIFY_WITH_TIMEOUT(!t.boxes.empty(), 20000);
    QVERIFY(t.WaitIdle());
    QCOMPARE(t.boxes.size(), std::size_t(1));
    QCOMPARE(t.boxes[0].text, QStringLiteral("144 of 600 records came in damaged packets and were left out."));
    QCOMPARE(page->WrittenLine()->text(), QStringLiteral("456 records written to"));
  }

  // A download at the real line rate: the bar fills in steps while the page
  // is busy, with exactly the listed controls disabled; the drop-no-fix box
  // stays usable and its state at the end decides the file.
  void busyStateAndProgress() {
    sim::Options slow = WithLog(1200);
    slow.baud = 115200;  // about 26 KB: two seconds on the line
    LoggerEnv t(slow);
    QVERIFY(t.tracker);
    LoggerPage* page = t.Open();
    page->Export();
    QVERIFY(page->Busy());
    for (QWidget* w : std::initializer_list<QWidget*>{page->BackButton(), page->ApplyButton(), page->Interval(),
                                                      page->ExportButton(), page->DeleteButton(), page->Logging(),
                                                      page->Choice(ExportFormat::Csv), page->Choice(ExportFormat::Kml)})
      QVERIFY(!w->isEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{page->DropNoFix(), page->MinimiseButton(), page->CloseButton()})
      QVERIFY(w->isEnabled());
    // Escape is Back, which is grey: the download goes on.
    QTest::keyClick(page->CancelButton(), Qt::Key_Escape);
    QVERIFY(page->Busy() && !page->isHidden());
    std::vector<int> fills;
    QStringList lines;
    QElapsedTimer clock;
    clock.start();
    while (page->Busy() && clock.elapsed() < 20000) {
      if (fills.empty() || fills.back() != page->BarFill()) fills.push_back(page->BarFill());
      const QString line = page->ProgressLine()->text();
      if (lines.empty() || lines.back() != line) lines.push_back(line);
      // A screen reader reads the bar's value as it is drawn.
      QCOMPARE(page->findChild<QProgressBar*>()->value(), page->BarFill());
      if (page->BarFill() > 250 && !page->DropNoFix()->isChecked()) {
        SaveScreen(page, QStringLiteral("logger-page-busy-English"));
        page->DropNoFix()->setChecked(true);
      }
      QTest::qWait(5);
    }
    QVERIFY(!page->Busy());
    QVERIFY2(fills.size() >= 4, qPrintable(QString::number(fills.size())));
    QVERIFY(std::is_sorted(fills.begin(), fills.end() - 1));
    QVERIFY(*std::max_element(fills.begin(), fills.end()) <= 501);
    // The line under the bar counts records of the tracker's total and, once it
    // can, says how long is left.
    QVERIFY2(!lines.filter(QRegularExpression(QStringLiteral("^[1-9][\\d,]* of 1,200 records$"))).isEmpty(),
             qPrintable(lines.join(QLatin1Char('|'))));
    QVERIFY2(!lines.filter(QRegularExpression(QStringLiteral("of 1,200 records  about \\d+:\\d\\d left$"))).isEmpty(),
             qPrintable(lines.join(QLatin1Char('|'))));
    QCOMPARE(page->BarFill(), 0);
    QVERIFY(t.Written() == t.Expected(ExportFormat::Csv, true));
    QVERIFY(page->Interval()->isEnabled() && page->ExportButton()->isEnabled() && page->BackButton()->isEnabled());
  }

  // Every way a download can end without a file, with its message; the old
  // export stays as it was.
  void endMessages_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::newRow("empty log") << "empty" << "Info" << "No data in device." << int(MessageIcon::Information);
    QTest::newRow("stalled") << "stall" << "Error"
                             << "The tracker went silent before the count it announced was reached.\n\n"
                                "24 of 600 records arrived."
                              << int(MessageIcon::Error);
    QTest::newRow("unplugged") << "unplug" << "Error" << "Abort download process." << int(MessageIcon::Error);
  }
  void endMessages() {
    QFETCH(QString, how);
    QFETCH(QString, caption);
    QFETCH(QString, text);
    QFETCH(int, icon);
    sim::Options o = WithLog(how == QLatin1String("empty") ? 0 : 600);
    if (how == QLatin1String("stall")) o.stallAfterRecords = 24;
    if (how == QLatin1String("unplug")) o.baud = 115200;
    LoggerEnv t(o);
    QVERIFY(t.tracker);
    t.env.WriteFile(t.exportName, "old export");
    LoggerPage* page = t.Open();
    page->Export();
    if (how == QLatin1String("unplug")) {
      QTRY_VERIFY_WITH_TIMEOUT(page->BarFill() > 0, 10000);
      t.tracker->Stop();
    }
    QVERIFY(t.WaitIdle());
    if (t.env.questions.empty()) {
      QCOMPARE(t.boxes.size(), std::size_t(1));
      QCOMPARE(t.boxes[0].caption, caption);
      QCOMPARE(t.boxes[0].text, text);
      QCOMPARE(int(t.boxes[0].icon), icon);
    } else {
      // Records had arrived: the reason comes with the offer to export them (declined here).
      QVERIFY(t.boxes.empty());
      QVERIFY2(t.env.questions[0].startsWith(text + QStringLiteral("\n\nExport the ")), qPrintable(t.env.questions[0]));
    }
    QCOMPARE(t.env.ReadFile(t.exportName), QByteArray("old export"));
    QVERIFY(!page->Preview()->isVisible());
    // An unfinished download leaves no raw file and no temporary file behind.
    const QStringList left = QDir(t.env.Path(QStringLiteral("."))).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : left) QVERIFY2(!name.contains(QStringLiteral("temp.log")), qPrintable(name));
  }

  // A download the tracker broke off at record 3,000 of 5,000 exports the
  // 3,000 records on request, and says the file holds only part of the log.
  void partOfABrokenOffDownloadIsExported() {
    sim::Options o = WithLog(5000);
    o.stallAfterRecords = 3000;
    LoggerEnv t(o);
    QVERIFY(t.tracker);
    t.env.answerYes = true;
    LoggerPage* page = t.Open();
    page->Export();
    QVERIFY(t.WaitIdle(30000));
    QCOMPARE(t.env.questions.size(), std::size_t(1));
    QVERIFY2(t.env.questions[0].contains(QStringLiteral("Export the 3000 records")), qPrintable(t.env.questions[0]));
    QTRY_COMPARE(t.boxes.size(), std::size_t(1));
    QCOMPARE(t.boxes[0].text, QStringLiteral("Only part of the log was exported: 3000 of 5000 records."));
    QCOMPARE(page->WrittenLine()->text(), QStringLiteral("3000 records written to"));
    // The file holds the first 3,000 records, as the core writer makes them.
    const std::vector<std::uint8_t> bytes = t.tracker->LogBytes();
    QCOMPARE(bytes.size(), std::size_t(5000 * logger::kLogRecordSize));
    const std::vector<std::uint8_t> part(bytes.begin(), bytes.begin() + 3000 * logger::kLogRecordSize);
    auto log = logger::RawLog::FromBytes(part);
    QVERIFY(log.ok());
    const std::string expected = t.env.Path(QStringLiteral("expected")).toStdString();
    QVERIFY(logger::WriteExport(ExportFormat::Csv, expected, *log, {}).ok());
    QCOMPARE(t.env.ReadFile(t.exportName), t.env.ReadFile(QStringLiteral("expected")));
  }

  // Closing the page, pressing Cancel or the session ending (the tracker
  // gone) mid-download stops it and releases the port; nothing is exported,
  // the old file stays and no late message shows.
  void stoppingADownload_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("page closed") << "close";
    QTest::newRow("Cancel pressed") << "cancel";
    QTest::newRow("session ended") << "abandon";
  }
  void stoppingADownload() {
    QFETCH(QString, how);
    sim::Options slow = WithLog(600);
    slow.baud = 115200;
    LoggerEnv t(slow);
    QVERIFY(t.tracker);
    t.env.WriteFile(t.exportName, "old export");
    LoggerPage* page = t.Open();
    QVERIFY(!page->CancelButton()->isVisible());
    page->Export();
    QVERIFY(page->CancelButton()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(page->BarFill() > 0, 10000);
    if (how == QLatin1String("cancel")) {
      QTest::mouseClick(page->CancelButton(), Qt::LeftButton);
      QVERIFY(!page->Busy());
      QVERIFY(!page->CancelButton()->isVisible());
      QCOMPARE(page->ProgressLine()->text(), QStringLiteral("Download cancelled"));
    } else if (how == QLatin1String("abandon")) {
      page->Abandon();
    } else {
      delete page;
    }
    // The download gave the held port back.
    auto port = t.env.Context().LeasePort();
    QVERIFY2(port.ok(), port.ok() ? "" : port.error().c_str());
    QTest::qWait(100);
    QCOMPARE(t.env.ReadFile(t.exportName), QByteArray("old export"));
    QVERIFY(t.boxes.empty());
  }

  // Cancel in the dialog, a read-only target and a missing port send nothing.
  void nothingSentWithoutATarget() {
    LoggerEnv t;
    QVERIFY(t.tracker);
    LoggerPage* page = t.Open();
    t.exportName.clear();
    page->Export();
    t.exportName = QStringLiteral("kept.csv");
    t.env.WriteFile(t.exportName, "kept");
    QFile::setPermissions(t.env.Path(t.exportName), QFileDevice::ReadOwner);
    page->Export();
    QCOMPARE(t.boxes.size(), std::size_t(1));
    QVERIFY(t.boxes[0].text.contains(QStringLiteral("read-only")));
    // A pipe or a device is no place for an export: refused before anything
    // is sent, instead of a window that waits for a reader forever.
    t.exportName = QStringLiteral("pipe.csv");
    QCOMPARE(::mkfifo(t.env.Path(t.exportName).toLocal8Bit().constData(), 0600), 0);
    page->Export();
    QCOMPARE(t.boxes.size(), std::size_t(2));
    QVERIFY2(t.boxes[1].text.contains(QStringLiteral("not a regular file")), qPrintable(t.boxes[1].text));
    QVERIFY(!page->Busy());
    QTest::qWait(100);
    for (const auto& e : t.tracker->Journal()) QVERIFY2(e.bytes.rfind("KVC,", 0) != 0, e.bytes.c_str());
  }

  // Apply by the logging box, the interval rule and the refreshed box; Delete
  // asks, then sends one "LC"; the leave test counts the interval only while logging.
  void applyAndDelete() {
    LoggerEnv t;
    QVERIFY(t.tracker);
    t.env.Context().durations.setSentencePause = timing::kSetSentencePause;
    LoggerPage* page = t.Open();
    QVERIFY(page->Logging()->isChecked());
    QCOMPARE(page->Interval()->text(), QStringLiteral("30"));
    page->Interval()->setText(QStringLiteral("0"));
    ApplyAndWait(page);
    QCOMPARE(page->Interval()->text(), QStringLiteral("1"));
    page->Logging()->click();
    QVERIFY(!page->Interval()->isEnabled());
    page->Interval()->setText(QStringLiteral("99"));
    QVERIFY(page->Changed());
    ApplyAndWait(page);
    QCOMPARE(page->Interval()->text(), QStringLiteral("1"));  // untouched while logging is off, and refilled
    QVERIFY(!page->Changed());
    // Delete asks first, No by default: No sends nothing, Yes sends one "LC" and says so.
    PressAndWait(page, page->DeleteButton());
    QCOMPARE(t.env.questions.size(), std::size_t(1));
    QVERIFY(t.env.questions[0].contains(QStringLiteral("cannot be recovered")));
    QCOMPARE(t.env.noDefaults[0], true);
    QTest::qWait(200);
    QCOMPARE(t.tracker->ClearCount(), 0);
    t.env.answerYes = true;
    PressAndWait(page, page->DeleteButton());
    QTRY_COMPARE(t.env.messages.size(), std::size_t(1));
    QVERIFY(t.env.messages[0].text.contains(QStringLiteral("delete its GPS data log")));
    t.env.answerYes = false;
    const auto sets = SetSentences(*t.tracker);
    QCOMPARE(sets.size(), std::size_t(2));
    QCOMPARE(sets[0].bytes, std::string("KVS,KestrovinZD-573,3,0,O2=1,OX=1*QQ!\r\n"));
    QCOMPARE(sets[1].bytes, std::string("KVS,KestrovinZD-573,3,0,OX=0*QQ!\r\n"));
    QVERIFY(PausedBetween(sets, timing::kSetSentencePause));
    QCOMPARE(t.tracker->ClearCount(), 1);
    QVERIFY(page->Back());
  }

  void screens_data() { AddLanguageRows(); }
  void screens() {
    QFETCH(QString, language);
    LoggerEnv t(WithLog(400));
    QVERIFY(t.tracker);
    t.env.Context().SetLanguage(language.toStdString());
    t.env.Context().Settings().Update([](DeviceValues& v) { v.SetText("B2", "356895037533210"); });
    LoggerPage* page = t.Open();
    SaveScreen(page, QStringLiteral("logger-page-idle-") + language);
    t.exportName = QStringLiteral("afternoon-walk.kml");
    page->Choice(ExportFormat::Kml)->click();
    page->Export();
    QVERIFY(t.WaitIdle());
    QVERIFY(t.boxes.empty());
    SaveScreen(page, QStringLiteral("logger-page-exported-") + language);
  }
};

QTEST_MAIN(TestLoggerPage)
#include "tst_logger_page.moc"
