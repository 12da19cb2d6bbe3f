// The track view: a saved track opened from the menu without a tracker, its
// figures, the chart's point picked by keyboard with its time and speed,
// jumps left out on request, a file that is no track, and its look in both
// languages.
#include "qt_warnings.h"
#include <QAccessible>
#include <QCheckBox>
#include <QToolButton>
#include <QComboBox>
#include <QListWidget>
#include <QtTest>

#include <cstdlib>

#include "app/CZD573_UtilityDlg.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "logger/log_export.h"
#include "logger/log_import.h"
#include "pages/TrackChart.h"
#include "pages/TrackMap.h"
#include "pages/TrackView.h"
#include "settings/language.h"
#include "shell_test_support.h"

using namespace zd573;
using namespace zd573::test;
using Dlg = CZD573_UtilityDlg;

namespace {

// 2023-04-01 10:00:00 UTC.
const uint32_t kStart = *logger::DateTimeToSeconds({2023, 4, 1, 10, 0, 0});

logger::LogRecord Fix(uint32_t time, double lat, double lon, uint16_t speed) {
  logger::LogRecord r;
  r.gpsTime = time;
  r.latitude = int32_t(std::lround(lat * 1e6));
  r.longitude = int32_t(std::lround(lon * 1e6));
  r.altitude = 120;
  r.speed = speed;
  r.status = (2 << 6) | 8;  // 3D, 8 satellites
  r.hdop = 12;
  r.battery = 80;
  return r;
}

// North along a meridian at 36 km/h, one fix every 10 s (100 m), then a
// stop of ten minutes, then on again; with `jump`, one fix a degree away.
logger::RawLog Walk(bool jump = false) {
  std::vector<logger::LogRecord> records;
  double lat = 25.0;
  uint32_t t = kStart;
  for (int i = 0; i < 30; ++i, t += 10, lat += 0.0009) records.push_back(Fix(t, lat, 121.5, 3600));
  for (int i = 0; i < 61; ++i, t += 10) records.push_back(Fix(t, lat, 121.5, 0));
  for (int i = 0; i < 30; ++i, t += 10, lat += 0.0009) {
    records.push_back(Fix(t, lat, 121.5, 3600));
    if (jump && i == 10) records.push_back(Fix(t + 5, lat + 1.0, 121.5, 3600));
  }
  return logger::RawLog::FromRecords(records);
}

struct Opened {
  std::unique_ptr<Dlg> main;
  QPointer<TrackView> view;
};

// The menu's "View a track…" on `path`, the view once it has its figures.
void OpenFromMenu(ShellEnv& env, Opened& o, const QString& path) {
  env.Context().notifier.openFile = [path](QWidget*, const QString&, const QString&) { return path; };
  env.Context().notifier.captioned = nullptr;  // told as messages
  o.main = std::make_unique<Dlg>(env.Context());
  o.main->show();
  QTest::mouseClick(o.main->Button(Dlg::kTrackButton), Qt::LeftButton);
  o.view = o.main->OpenTrack();
  QVERIFY(o.view);
  QTRY_VERIFY_WITH_TIMEOUT(!o.view || !o.view->Figuring(), 10000);
}

}  // namespace

class TestTrackView : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // Local days and times as the exports' offset rule gives them.
    qputenv("TZ", "UTC");
  }
  void init() { zd573::test::FailOnQtWarnings(); }

  // Each kind of saved file shows the same track: its figures, and the
  // chart's points picked with the arrow keys, their time and speed on the
  // chart and the map. Back returns to the menu, on the button.
  void opensEachSavedFile_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("raw log") << "walk.log";
    QTest::newRow("CSV export") << "walk.csv";
    QTest::newRow("GPX export") << "walk.gpx";
  }
  void opensEachSavedFile() {
    QFETCH(QString, name);
    ShellEnv env;
    const logger::RawLog log = Walk();
    const std::string path = env.Path(name).toStdString();
    if (name.endsWith(QLatin1String(".log"))) {
      env.WriteFile(name, QByteArray(reinterpret_cast<const char*>(log.data()), qsizetype(log.bytes().size())));
    } else {
      QVERIFY(logger::WriteExport(*logger::ExportFormatFromPath(path), path, log));
    }
    Opened o;
    OpenFromMenu(env, o, env.Path(name));
    TrackView* view = o.view;
    QVERIFY(!o.main->Menu()->isVisible());
    QVERIFY(env.messages.empty());
    QCOMPARE(view->SubtitleLine()->text(), name);
    QCOMPARE(view->FigureValue(TrackView::kPoints)->text(), QStringLiteral("121"));
    QCOMPARE(view->FigureValue(TrackView::kFixes)->text(), QStringLiteral("121"));
    // 59 steps of 0.0009° north at 25°: 5.88 km; the stop's ten minutes do not move.
    QCOMPARE(view->FigureValue(TrackView::kDistance)->text(), QStringLiteral("5.88 km"));
    QCOMPARE(view->FigureValue(TrackView::kMovingTime)->text(), QStringLiteral("0:09:40"));
    QCOMPARE(view->FigureValue(TrackView::kMaxSpeed)->text(), QStringLiteral("36.0 km/h"));
    QCOMPARE(view->FigureValue(TrackView::kStops)->text(), QStringLiteral("1"));
    QCOMPARE(view->StopList()->count(), 1);

    TrackChart* chart = view->Chart();
    chart->setFocus(Qt::TabFocusReason);
    QTest::keyClick(chart, Qt::Key_Right);
    QCOMPARE(chart->Picked(), 0);
    QVERIFY2(chart->PickedDetails().startsWith(QStringLiteral("2023-04-01 10:00:00 · 36.0 km/h · 120 m · 8 satellites")),
             qPrintable(chart->PickedDetails()));
    for (int i = 0; i < 35; ++i) QTest::keyClick(chart, Qt::Key_Right);
    QCOMPARE(chart->Picked(), 35);
    QVERIFY2(chart->PickedDetails().startsWith(QStringLiteral("2023-04-01 10:05:50 · 0.0 km/h")),
             qPrintable(chart->PickedDetails()));
    QVERIFY(chart->PickedDetails().contains(QStringLiteral("HDOP 1.2")));
    QCOMPARE(view->Map()->Picked(), 35);
    QTest::keyClick(chart, Qt::Key_End);
    QTest::keyClick(chart, Qt::Key_Left);
    QCOMPARE(chart->Picked(), 119);

    QTest::keyClick(view, Qt::Key_Escape);
    QTRY_VERIFY(!o.main->OpenTrack());
    QVERIFY(o.main->Menu()->isVisible());
    QCOMPARE(QApplication::focusWidget(), o.main->Button(Dlg::kTrackButton));
  }

  // "Leave out jumps" figures the track again without the wild fix and says
  // how many were left out; clearing it brings the fix back.
  void jumpsAreLeftOutAndSaid() {
    ShellEnv env;
    const logger::RawLog log = Walk(true);
    env.WriteFile(QStringLiteral("jump.log"),
                  QByteArray(reinterpret_cast<const char*>(log.data()), qsizetype(log.bytes().size())));
    Opened o;
    OpenFromMenu(env, o, env.Path(QStringLiteral("jump.log")));
    TrackView* view = o.view;
    QCOMPARE(view->FigureValue(TrackView::kFixes)->text(), QStringLiteral("122"));
    QVERIFY(view->LeftOutLine()->text().isEmpty());
    QTest::mouseClick(view->JumpsBox(), Qt::LeftButton, {}, QPoint(6, view->JumpsBox()->height() / 2));
    QVERIFY(view->JumpsBox()->isChecked());
    QTRY_VERIFY(!view->Figuring());
    QCOMPARE(view->FigureValue(TrackView::kFixes)->text(), QStringLiteral("121"));
    QCOMPARE(view->FigureValue(TrackView::kDistance)->text(), QStringLiteral("5.88 km"));
    QCOMPARE(view->LeftOutLine()->text(), QStringLiteral("Left out as jumps: 1"));
    view->JumpsBox()->click();
    QTRY_VERIFY(!view->Figuring());
    QCOMPARE(view->FigureValue(TrackView::kFixes)->text(), QStringLiteral("122"));
    QVERIFY(view->LeftOutLine()->text().isEmpty());
  }

  // A file that is no track is told, and the menu comes back.
  void fileThatIsNoTrackIsTold() {
    ShellEnv env;
    env.WriteFile(QStringLiteral("notes.txt"), "not a log");
    Opened o;
    OpenFromMenu(env, o, env.Path(QStringLiteral("notes.txt")));
    QCOMPARE(env.messages.size(), std::size_t(1));
    QCOMPARE(env.messages[0].text, QStringLiteral("Error data in raw file."));
    QTRY_VERIFY(!o.main->OpenTrack());
    QVERIFY(o.main->Menu()->isVisible());
  }

  // The view with a point picked, the map off, in each language.
  void looksRight_data() { AddLanguageRows(); }
  void looksRight() {
    QFETCH(QString, language);
    ShellEnv env;
    QVERIFY(settings::WriteCurrentLanguage(env.Context().SystemIni(), language.toStdString()).ok());
    const logger::RawLog log = Walk(true);
    QVERIFY(logger::WriteExport(logger::ExportFormat::Csv, env.Path(QStringLiteral("walk.csv")).toStdString(), log));
    Opened o;
    OpenFromMenu(env, o, env.Path(QStringLiteral("walk.csv")));
    o.view->JumpsBox()->click();
    QTRY_VERIFY(!o.view->Figuring());
    o.view->Chart()->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 20; ++i) QTest::keyClick(o.view->Chart(), Qt::Key_Right);
    SaveScreen(o.main.get(), QStringLiteral("track-view-") + language);
    QCOMPARE(o.main->windowTitle(), o.view->Title());

    // Tab walks the view's controls, each named for a screen reader (a list
    // by its label, never by its value), and comes back round.
    QWidget* start = o.view->Map();
    start->setFocus(Qt::TabFocusReason);
    QList<QWidget*> walk;
    for (QWidget* at = start; walk.size() < 40;) {
      walk << at;
      QTest::keyClick(at, Qt::Key_Tab);
      at = QApplication::focusWidget();
      if (at == start) break;
    }
    QCOMPARE(QApplication::focusWidget(), start);
    for (QWidget* w : std::initializer_list<QWidget*>{o.view->Chart(), o.view->DayList(), o.view->StopList(),
                                                      o.view->SeriesList(), o.view->JumpsBox(), o.view->MapBox(),
                                                      o.view->MapSettingsButton(), o.view->OpenButton(),
                                                      o.view->BackButton(), o.view->Map()->FitButton()})
      QVERIFY(walk.contains(w));
    for (QWidget* w : walk) {
      QVERIFY(o.view->isAncestorOf(w));
      const QString name = QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
      QVERIFY2(!name.trimmed().isEmpty(), w->metaObject()->className());
      if (auto* list = qobject_cast<QComboBox*>(w)) QVERIFY(name != list->currentText());
    }
  }
};

QTEST_MAIN(TestTrackView)
#include "tst_track_view.moc"
