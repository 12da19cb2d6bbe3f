// Each tracker its own values in the window, against simulated trackers:
// the loop with a roster beside the file, a roster refused before anything is
// sent, {name} and {imei} filled for the tracker logged in, and the loop
// that saves a backup of each tracker plugged in.
#include "qt_warnings.h"
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTreeWidget>
#include <QtTest>

#include "app/ProfileMenu.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "frame/Messages.h"
#include "pages/BackupLoopSheet.h"
#include "profile_test_support.h"
#include "settings/paths.h"

using namespace zd573;
using namespace zd573::test;

namespace {

constexpr int kWait = kProfileWait;
const char kFirstImei[] = "356895037533210";  // the simulator's own
const char kOtherImei[] = "356895037533228";

bool PrivateFile(const QString& path) {
  const QFile::Permissions others = QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther;
  return QFileInfo(path).isFile() && !(QFile::permissions(path) & others);
}

// The review with "For each tracker plugged in" chosen, its report and roster named.
ProfileReviewSheet* LoopSheet(ShellEnv& env, CZD573_UtilityDlg& w, const QByteArray& profile, const QByteArray& roster) {
  ProfileReviewSheet* sheet = LoadFile(env, w, profile);
  if (!sheet) return nullptr;
  QTest::mouseClick(sheet->EachTracker(), Qt::LeftButton);
  sheet->PasswordEdit()->setText(QStringLiteral("4071"));
  sheet->ReportEdit()->setText(env.Path(QStringLiteral("report.csv")));
  if (!roster.isEmpty()) {
    env.WriteFile(QStringLiteral("fleet.csv"), roster);
    sheet->RosterEdit()->setText(env.Path(QStringLiteral("fleet.csv")));
  }
  return sheet;
}

}  // namespace

class TestRosterWindow : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  // A roster over two trackers: the one in it gets its row's values (its
  // secret hidden in the view, its name kept), the one not in it gets
  // nothing and says so; the rows still waiting shrink, and the summary
  // names the row never plugged in.
  void loopGivesEachTrackerItsRow_data() { AddLanguageRows(); }
  void loopGivesEachTrackerItsRow() {
    QFETCH(QString, language);
    ShellEnv env;
    QVERIFY(settings::WriteCurrentLanguage(env.Context().SystemIni(), language.toStdString()).ok());
    sim::Simulator* first = env.StartTracker();
    auto w = LoggedIn(env);
    const AppContext& c = env.Context();
    ProfileReviewSheet* sheet = LoopSheet(env, *w, "[DEVICE]\nD1=fleet.apn\n",
                                          "IMEI,name,Va,VA,B0\n"
                                          "356895037533210,Ann,Son {imei},+15550000001,1111\n"
                                          "356895037533244,Eve,Daughter,+15550000002,\n");
    QVERIFY(sheet);
    QVERIFY(sheet->RosterEdit()->isVisible() && !sheet->RosterEdit()->accessibleName().isEmpty());
    QTest::keyClick(sheet->RosterEdit(), Qt::Key_Return);
    QVERIFY(sheet->Looping());
    QTRY_COMPARE_WITH_TIMEOUT(sheet->TrackersDone()->topLevelItemCount(), 1, kWait);
    QCOMPARE(first->Value("D1"), std::string("fleet.apn"));
    QCOMPARE(first->Value("Va"), std::string("Son 356895037533210"));
    QCOMPARE(first->Value("VA"), std::string("+15550000001"));
    QCOMPARE(first->Value("B0"), std::string("1111"));
    QCOMPARE(sheet->TrackersDone()->topLevelItem(0)->text(2), QStringLiteral("2"));
    QTreeWidgetItem* row = sheet->RowValues()->topLevelItem(0);
    QVERIFY(row && row->text(0).contains(QStringLiteral("2")) && row->text(0).contains(kFirstImei));
    QCOMPARE(row->childCount(), 4);
    QCOMPARE(row->child(0)->text(1), QStringLiteral("Ann"));
    QCOMPARE(row->child(1)->text(1), QStringLiteral("Son 356895037533210"));
    QCOMPARE(row->child(3)->text(0), FieldName(c, "B0"));
    QCOMPARE(row->child(3)->text(1), c.Text("STR_PROFILE_HIDDEN"));
    QTRY_COMPARE(sheet->RowsWaiting()->topLevelItemCount(), 1);
    QVERIFY(sheet->RowsWaiting()->topLevelItem(0)->text(0).contains(QStringLiteral("356895037533244")));
    QCOMPARE(c.StoredUserName(kFirstImei), std::string("Ann"));
    SaveScreen(w.get(), QStringLiteral("roster-loop-row-") + language);

    sim::Simulator* plugged = first;
    auto other = PlugNext(env, plugged, kOtherImei);
    QTRY_COMPARE_WITH_TIMEOUT(sheet->TrackersDone()->topLevelItemCount(), 2, kWait);
    QVERIFY(SetSentences(*other).empty());
    QCOMPARE(sheet->TrackersDone()->topLevelItem(1)->text(2), c.Text("STR_PROFILE_NOROW"));
    QCOMPARE(sheet->RowValues()->topLevelItem(0)->text(0),
             FillIn(c.Text("STR_PROFILE_ROWNONE"), {QString::fromLatin1(kOtherImei)}));
    QCOMPARE(sheet->RowsWaiting()->topLevelItemCount(), 1);
    SaveScreen(w.get(), QStringLiteral("roster-loop-") + language);

    QTest::mouseClick(sheet->CancelButton(), Qt::LeftButton);  // Stop
    QTRY_VERIFY_WITH_TIMEOUT(!w->OpenSheet(), kWait);
    const QString summary = env.messages.back().text;
    QVERIFY2(summary.contains(FillIn(c.Text("STR_PROFILE_NEVERPLUGGED"), {QStringLiteral("3 (356895037533244)")})),
             qPrintable(summary));
    QVERIFY2(summary.contains(FillIn(c.Text("STR_PROFILE_SUMMARYNOTINROSTER"), {QStringLiteral("1")})),
             qPrintable(summary));
    const QList<QByteArray> rows = env.ReadFile(QStringLiteral("report.csv")).trimmed().split('\n');
    QCOMPARE(rows.size(), 3);
    QVERIFY(rows[0].endsWith(",roster_row"));
    QVERIFY2(rows[1].contains(",ok,") && rows[1].endsWith(",2"), rows[1].constData());
    QVERIFY2(rows[2].contains(kOtherImei) && rows[2].contains(",skipped,not in the roster"), rows[2].constData());
    for (const QByteArray& r : rows) QVERIFY(!r.contains("1111"));
  }

  // A roster a page or the file would refuse is said, naming its file, row
  // and column, before any tracker is touched; an empty file asks for one.
  void refusedRosterIsNamed_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<QByteArray>("roster");
    QTest::addColumn<QString>("said");
    const QByteArray shared = "[DEVICE]\nD1=fleet.apn\n";
    const QByteArray badValue = "IMEI,VA\n356895037533210,+1555\n356895037533228,\"12,34\"\n";
    QTest::newRow("bad value") << "English" << shared << badValue << "fleet.csv, row 3, column VA:";
    QTest::newRow("bad value, TChinese") << "TChinese" << shared << badValue << "fleet.csv 第 3 列 VA 欄：";
    QTest::newRow("IMEI twice") << "English" << shared << QByteArray("IMEI\n356895037533210\n356895037533210\n")
                                << "fleet.csv, rows 2 and 3 are for the same tracker";
    QTest::newRow("also in the file") << "English" << QByteArray("[DEVICE]\nD1=fleet.apn\nVa=Desk\n")
                                      << QByteArray("IMEI,Va\n356895037533210,Bo\n")
                                      << "the column Va (name of contact 1) is also given by the file, on its line 3";
    QTest::newRow("no roster, empty file") << "TChinese" << QByteArray() << QByteArray() << "沒有要寫入的值";
  }
  void refusedRosterIsNamed() {
    QFETCH(QString, language);
    QFETCH(QByteArray, profile);
    QFETCH(QByteArray, roster);
    QFETCH(QString, said);
    ShellEnv env;
    QVERIFY(settings::WriteCurrentLanguage(env.Context().SystemIni(), language.toStdString()).ok());
    sim::Simulator* tracker = env.StartTracker();
    auto w = LoggedIn(env);
    ProfileReviewSheet* sheet = LoopSheet(env, *w, profile, roster);
    QVERIFY(sheet);
    const std::size_t from = tracker->Journal().size();
    QTest::mouseClick(sheet->ConfirmButton(), Qt::LeftButton);
    QVERIFY(!sheet->Looping());
    QCOMPARE(env.messages.back().icon, MessageIcon::Error);
    QVERIFY2(env.messages.back().text.contains(said), qPrintable(env.messages.back().text));
    QVERIFY(SetSentences(*tracker, from).empty());
    QVERIFY(!QFile::exists(env.Path(QStringLiteral("report.csv"))));
    QVERIFY(sheet->RosterEdit()->hasFocus());
    SaveScreen(w.get(), QStringLiteral("roster-refused-") + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-'));
  }

  // Apply fills {name} and {imei} with the tracker logged in's own, and
  // refuses, sending nothing, a text that does not fit its page once filled.
  void applyFillsTemplates_data() {
    QTest::addColumn<QByteArray>("storedName");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("sent");  // D2 as the tracker then holds it; empty: refused
    QTest::addColumn<QString>("said");
    QTest::newRow("filled") << QByteArray("Ann") << QByteArray("D2=care-{imei}\nD4={name}\n")
                            << "care-356895037533210" << "";
    QTest::newRow("too long once filled") << QByteArray("Annabelle Wilhelmina Grandmother")
                                          << QByteArray("D2=care-{imei}\nVa=SOS {name}\n") << "" << "Line 3";
    QTest::newRow("no name") << QByteArray() << QByteArray("D2=care-{imei}\nVa={name}\n") << ""
                             << "holds {name}, and the tracker 356895037533210 has no name";
  }
  void applyFillsTemplates() {
    QFETCH(QByteArray, storedName);
    QFETCH(QByteArray, file);
    QFETCH(QString, sent);
    QFETCH(QString, said);
    ShellEnv env;
    if (!storedName.isEmpty())
      QVERIFY(settings::WriteDeviceUserName(env.Context().SystemIni(), kFirstImei, storedName.toStdString()).ok());
    sim::Simulator* tracker = env.StartTracker();
    auto w = LoggedIn(env);
    ProfileReviewSheet* sheet = LoadFile(env, *w, "[DEVICE]\n" + file);
    QVERIFY(sheet);
    const std::size_t from = tracker->Journal().size();
    QTest::mouseClick(sheet->ConfirmButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!sheet->Busy(), kWait);
    const QString told = env.messages.back().text;
    if (sent.isEmpty()) {
      QVERIFY2(told.contains(said) && told.contains(FieldName(env.Context(), "Va")), qPrintable(told));
      QCOMPARE(env.messages.back().icon, MessageIcon::Error);
      QVERIFY(SetSentences(*tracker, from).empty());
    } else {
      QVERIFY2(told.startsWith(QStringLiteral("Written and verified")), qPrintable(told));
      QCOMPARE(QString::fromStdString(tracker->Value("D2")), sent);
      QCOMPARE(tracker->Value("D4"), storedName.toStdString());
    }
  }

  // "For each tracker plugged in: save a backup" from the menu: each tracker
  // saved as FOLDER/IMEI.ini, its owner's alone, a line and a report row each;
  // Escape stops and the summary says how many.
  void savesEachTrackerPluggedIn_data() { AddLanguageRows(); }
  void savesEachTrackerPluggedIn() {
    QFETCH(QString, language);
    ShellEnv env;
    QVERIFY(settings::WriteCurrentLanguage(env.Context().SystemIni(), language.toStdString()).ok());
    sim::Simulator* first = env.StartTracker();
    auto w = LoggedIn(env);
    const AppContext& c = env.Context();
    CGdipButton* button = w->Files()->SaveEachButton();
    QVERIFY(button->isVisible());
    QCOMPARE(button->accessibleName(), c.Text("STR_PROFILE_SAVEEACHTITLE"));
    SaveScreen(w.get(), QStringLiteral("menu-files-") + language);
    QTest::mouseClick(button, Qt::LeftButton);
    auto* sheet = qobject_cast<BackupLoopSheet*>(w->OpenSheet());
    QVERIFY(sheet);
    QVERIFY(sheet->FolderEdit()->hasFocus());
    QVERIFY(!sheet->FolderEdit()->accessibleName().isEmpty() && !sheet->TrackersSaved()->accessibleName().isEmpty());
    // Enter with no folder named asks for one.
    QTest::keyClick(sheet->FolderEdit(), Qt::Key_Return);
    QVERIFY(!sheet->Looping());
    QCOMPARE(env.messages.back().text, c.Text("STR_BACKUPEACH_NOFOLDER"));
    const QString folder = env.Path(QStringLiteral("fleet"));
    sheet->FolderEdit()->setText(folder);
    sheet->ReportEdit()->setText(env.Path(QStringLiteral("saved.csv")));
    sheet->PasswordEdit()->setText(QStringLiteral("4071"));
    SaveScreen(w.get(), QStringLiteral("backup-each-options-") + language);
    QTest::keyClick(sheet->FolderEdit(), Qt::Key_Return);
    QVERIFY(sheet->Looping());
    QTRY_COMPARE_WITH_TIMEOUT(sheet->TrackersSaved()->topLevelItemCount(), 1, kWait);
    sim::Simulator* plugged = first;
    auto other = PlugNext(env, plugged, kOtherImei);
    QTRY_COMPARE_WITH_TIMEOUT(sheet->TrackersSaved()->topLevelItemCount(), 2, kWait);
    QCOMPARE(sheet->TrackersSaved()->topLevelItem(1)->text(3), QStringLiteral("356895037533228.ini"));
    SaveScreen(w.get(), QStringLiteral("backup-each-") + language);
    QTest::keyClick(sheet, Qt::Key_Escape);  // Stop
    QTRY_VERIFY_WITH_TIMEOUT(!w->OpenSheet(), kWait);
    QVERIFY2(env.messages.back().text.startsWith(
                 FillIn(c.Text("STR_BACKUPEACH_SUMMARY"), {QStringLiteral("2"), QStringLiteral("0")}).section('%', 0, 0)),
             qPrintable(env.messages.back().text));
    for (const char* imei : {kFirstImei, kOtherImei}) {
      const QString path = QDir(folder).filePath(QString::fromLatin1(imei) + QStringLiteral(".ini"));
      QVERIFY2(PrivateFile(path), qPrintable(path));
      QFile f(path);
      QVERIFY(f.open(QIODevice::ReadOnly) && f.readAll().contains("IMEI=" + QByteArray(imei)));
    }
    const QList<QByteArray> rows = env.ReadFile(QStringLiteral("saved.csv")).trimmed().split('\n');
    QCOMPARE(rows.size(), 3);
    QVERIFY(rows[1].contains(kFirstImei) && rows[2].contains(kOtherImei) && rows[2].contains(",ok,Saved in "));
    // The window's session looks for trackers again.
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(CZD573_UtilityDlg::kIdentified), kWait);
  }
};

QTEST_MAIN(TestRosterWindow)
#include "tst_roster_window.moc"
