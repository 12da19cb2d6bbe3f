// Every download kept: the logger page merges each kept download into the
// tracker's archive (private to its owner, nothing twice) and shows it in
// the track view; the settings sheet turns archiving off, views a tracker's
// archive and deletes it once the user has said Yes.
#include "qt_warnings.h"
#include <QCheckBox>
#include <QComboBox>
#include <QtTest>

#include <sys/stat.h>

#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "logger/log_archive.h"
#include "page_test_support.h"
#include "pages/LoggerPage.h"
#include "pages/SetupPage.h"
#include "pages/TrackView.h"
#include "settings/language.h"

using namespace zd573;
using namespace zd573::test;
using Dlg = CZD573_UtilityDlg;

namespace {

constexpr const char* kImei = "356895037533210";

qint64 SizeOf(const std::string& path) { return QFileInfo(QString::fromStdString(path)).size(); }

}  // namespace

class TestTrackArchive : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  // A download is kept in the archive, 0600, its records once however often
  // it is downloaded; View shows it, and Back returns to the logger page.
  void downloadIsKeptAndViewed() {
    ShellEnv env;
    sim::Options options = ShellEnv::FastOptions();
    options.records = 300;
    sim::Simulator* tracker = env.StartTracker(true, options);
    QVERIFY(tracker);
    ReadRecordFrom(env, *tracker);
    env.Context().notifier.saveFile = [&env](QWidget*, const QString&, const QString&, const QString&) {
      return env.Path(QStringLiteral("walk.csv"));
    };
    OpenedPage o;
    auto* page = OpenFromButton<LoggerPage>(env, o, Dlg::kLoggerButton);
    QVERIFY(page);
    QVERIFY(!page->ViewButton()->isVisible());
    const std::string archive = logger::ArchivePath(kImei);
    for (const char* added : {"300", "0"}) {
      PressAndWait(page, page->ExportButton());
      QVERIFY(env.messages.empty());
      QCOMPARE(page->ProgressLine()->text(), QStringLiteral("Kept in the archive: %1 new records").arg(added));
      QCOMPARE(SizeOf(archive), 300 * 20);
    }
    struct stat st {};
    QCOMPARE(::stat(archive.c_str(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);

    QVERIFY(page->ViewButton()->isVisible());
    QTest::mouseClick(page->ViewButton(), Qt::LeftButton);
    TrackView* view = o.main->OpenTrack();
    QVERIFY(view);
    QTRY_VERIFY(!view->Figuring());
    QVERIFY(!page->isVisible());
    QCOMPARE(view->FigureValue(TrackView::kPoints)->text(), QStringLiteral("300"));
    QCOMPARE(view->SubtitleLine()->text(), QStringLiteral("walk.csv"));
    QVERIFY(view->ImeiLine()->text().contains(QLatin1String(kImei)));
    QCOMPARE(view->MenuText()->text(), page->Title());
    QTest::mouseClick(view->BackButton(), Qt::LeftButton);
    QTRY_VERIFY(!o.main->OpenTrack());
    QVERIFY(page->isVisible());
    QCOMPARE(QApplication::focusWidget(), page->ViewButton());
  }

  // Archiving off is kept in system.ini; Delete asks first, with No for
  // Enter, and then deletes that tracker's archive alone; View shows one.
  void settingsSwitchViewAndDelete_data() { AddLanguageRows(); }
  void settingsSwitchViewAndDelete() {
    QFETCH(QString, language);
    ShellEnv env;
    const settings::IniFile ini = env.Context().SystemIni();
    QVERIFY(settings::WriteCurrentLanguage(ini, language.toStdString()).ok());
    QVERIFY(ini.Write("USERNAME", kImei, "Grandpa"));
    const logger::RawLog log = logger::GenerateTrack(50, 7);
    for (const char* imei : {kImei, "356895037533211"}) QVERIFY(logger::MergeIntoArchive(logger::ArchivePath(imei), log));

    Dlg main(env.Context());
    main.show();
    QTest::mouseClick(main.Button(Dlg::kSettingsButton), Qt::LeftButton);
    auto* sheet = qobject_cast<SetupPage*>(main.OpenSheet());
    QVERIFY(sheet);
    QVERIFY(sheet->ArchiveBox()->isChecked());
    QCOMPARE(sheet->ArchiveList()->count(), 2);
    QCOMPARE(sheet->ArchiveList()->itemText(0), QStringLiteral("Grandpa (%1)").arg(QLatin1String(kImei)));
    SaveScreen(&main, QStringLiteral("settings-archive-") + language);

    sheet->ArchiveList()->setCurrentIndex(1);
    QTest::mouseClick(sheet->DeleteArchiveButton(), Qt::LeftButton);
    QCOMPARE(env.questions.size(), std::size_t(1));
    QVERIFY(env.noDefaults.back());
    QVERIFY(QFile::exists(QString::fromStdString(logger::ArchivePath("356895037533211"))));
    env.answerYes = true;
    QTest::mouseClick(sheet->DeleteArchiveButton(), Qt::LeftButton);
    QVERIFY(!QFile::exists(QString::fromStdString(logger::ArchivePath("356895037533211"))));
    QVERIFY(QFile::exists(QString::fromStdString(logger::ArchivePath(kImei))));
    QCOMPARE(sheet->ArchiveList()->count(), 1);

    sheet->ArchiveBox()->setChecked(false);
    sheet->Confirm();
    QTRY_VERIFY(!main.OpenSheet());
    QVERIFY(!logger::ArchiveEnabled(ini));

    QTest::mouseClick(main.Button(Dlg::kSettingsButton), Qt::LeftButton);
    sheet = qobject_cast<SetupPage*>(main.OpenSheet());
    QVERIFY(sheet && !sheet->ArchiveBox()->isChecked());
    QTest::mouseClick(sheet->ViewArchiveButton(), Qt::LeftButton);
    QTRY_VERIFY(!main.OpenSheet());
    TrackView* view = main.OpenTrack();
    QVERIFY(view);
    QTRY_VERIFY(!view->Figuring());
    QCOMPARE(view->FigureValue(TrackView::kPoints)->text(), QStringLiteral("50"));
    QCOMPARE(view->DeviceNameLine()->text(), QStringLiteral("Grandpa"));
  }
};

QTEST_MAIN(TestTrackArchive)
#include "tst_track_archive.moc"
