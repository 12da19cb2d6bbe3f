// Settings files in the window, against the simulated tracker: saving a
// backup or a profile, loading one, its review, Apply and the check after
// it, undoing the last write, and setting up trackers one after another.
#include "qt_warnings.h"
#include <QAccessible>
#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>

#include "app/CZD573_UtilityDlg.h"
#include "app/ProfileMenu.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "frame/Messages.h"
#include "frame/SessionHost.h"
#include "page_test_support.h"
#include "profile_test_support.h"
#include "pages/GPRSPage.h"
#include "pages/LoginPage.h"
#include "pages/ProfileReviewSheet.h"
#include "pages/SaveProfileSheet.h"

using namespace zd573;
using namespace zd573::test;
using Dlg = CZD573_UtilityDlg;

namespace {

constexpr int kWait = kProfileWait;

std::vector<std::string> SentKeys(const std::vector<sim::JournalEntry>& sets) {
  std::vector<std::string> keys;
  for (const auto& s : sets)
    for (const std::string& k : SentenceKeys(Sentence{s.bytes})) keys.push_back(k);
  return keys;
}

}  // namespace

class TestProfiles : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  // A profile leaves the tracker's own values out and may be shared; a
  // backup keeps them. Both hold the GPRS password, say so, and are their
  // owner's alone. Save suggests a name, Enter saves, and the next file
  // dialog starts where this file went.
  void savesWhatWasChosen_data() {
    QTest::addColumn<bool>("everything");
    QTest::newRow("shared settings") << false;
    QTest::newRow("everything, with Enter") << true;
  }
  void savesWhatWasChosen() {
    QFETCH(bool, everything);
    ShellEnv env;
    env.StartTracker();
    auto w = LoggedIn(env);
    const QString path = env.Path(QStringLiteral("saved.ini"));
    QString offered;
    env.Context().notifier.saveFile = [&](QWidget*, const QString& folder, const QString&, const QString&) {
      offered = folder;
      return path;
    };
    QTest::mouseClick(w->Files()->SaveButton(), Qt::LeftButton);
    auto* sheet = qobject_cast<SaveProfileSheet*>(w->OpenSheet());
    QVERIFY(sheet);
    QVERIFY(sheet->SharedChoice()->isChecked());
    for (QRadioButton* choice : {sheet->SharedChoice(), sheet->EverythingChoice()})
      QVERIFY(choice->accessibleDescription().contains(FieldName(env.Context(), "D3")));
    if (everything) {
      QTest::mouseClick(sheet->EverythingChoice(), Qt::LeftButton);
      sheet->EverythingChoice()->setFocus();
      QTest::keyClick(sheet->EverythingChoice(), Qt::Key_Return);
    } else {
      QTest::mouseClick(sheet->ConfirmButton(), Qt::LeftButton);
    }
    QTRY_VERIFY(!w->OpenSheet());
    QCOMPARE(offered, QDir(QDir::homePath()).filePath(QStringLiteral("356895037533210-") +
                                                      QDate::currentDate().toString(Qt::ISODate) + QStringLiteral(".ini")));
    const QByteArray text = env.ReadFile(QStringLiteral("saved.ini"));
    QVERIFY(text.startsWith("[DEVICE]"));
    QVERIFY(text.contains("\nD1=") && text.contains("\nD3="));
    for (const char* own : {"\nOU=", "\nB0=", "\nB1=", "IMEI="}) QCOMPARE(text.contains(own), everything);
    const QFile::Permissions others = QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther;
    QVERIFY(!(QFile::permissions(path) & others));
    QVERIFY(env.messages.back().text.contains(QStringLiteral("saved to")));
    QCOMPARE(env.Context().FileFolder(), QFileInfo(path).absolutePath());
  }

  // The review names a value kept as a number as its page does, in the
  // user's language; the GPRS password is hidden. A screen reader hears
  // whether a page is checked; a field's line is no check box.
  void reviewSaysValuesAsThePagesDo_data() { AddLanguageRows(); }
  void reviewSaysValuesAsThePagesDo() {
    QFETCH(QString, language);
    ShellEnv env;
    QVERIFY(settings::WriteCurrentLanguage(env.Context().SystemIni(), language.toStdString()).ok());
    sim::Simulator* tracker = env.StartTracker();
    tracker->SetValue("D3", "old.secret");
    auto w = LoggedIn(env);
    env.Context().RememberReportFile(env.Path(QStringLiteral("last.csv")));
    ProfileReviewSheet* sheet = LoadFile(env, *w, "[DEVICE]\nFB=2\nXB=757412100\nD3=new.secret\nOU=9999\n");
    QVERIFY(sheet);
    AppContext& c = env.Context();
    QCOMPARE(c.Language(), language.toStdString());
    QTreeWidgetItem* ring = sheet->PageItem(Page::Ring);
    QVERIFY(ring && ring->childCount() == 2);
    QCOMPARE(ring->child(0)->text(1), c.Text("STR_RINGPAGE_VOL2") + QStringLiteral(" (1)"));
    QCOMPARE(ring->child(0)->text(2), c.Text("STR_RINGPAGE_VOL3") + QStringLiteral(" (2)"));
    QCOMPARE(ring->child(1)->text(2), c.Locale().toString(QTime(8, 15), QStringLiteral("AP hh:mm")) +
                                          QStringLiteral(" (757412100)"));
    QTreeWidgetItem* gprs = sheet->PageItem(Page::Gprs);
    QCOMPARE(gprs->child(0)->text(1), c.Text("STR_PROFILE_HIDDEN"));
    QCOMPARE(gprs->child(0)->text(2), c.Text("STR_PROFILE_HIDDEN"));

    // The cells as a screen reader gets them, by their names.
    QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(sheet->Differences());
    const auto cell = [tree](const QString& name) -> QAccessibleInterface* {
      for (int i = 0; i < tree->childCount(); ++i)
        if (tree->child(i)->text(QAccessible::Name) == name) return tree->child(i);
      return nullptr;
    };
    QTreeWidgetItem* password = sheet->PageItem(Page::Password);
    QAccessibleInterface* page = cell(password->text(0));
    QVERIFY(page && page->state().checkable && !page->state().checked);
    QCOMPARE(page->text(QAccessible::Description), c.Text("STR_PROFILE_NOTCHECKED"));
    password->setCheckState(0, Qt::Checked);
    QCOMPARE(page->text(QAccessible::Description), c.Text("STR_PROFILE_CHECKED"));
    QAccessibleInterface* field = cell(FieldName(c, "FB"));
    QVERIFY(field && !field->state().checkable && field->text(QAccessible::Description).isEmpty());
    QVERIFY(!(ring->child(0)->flags() & Qt::ItemIsUserCheckable));

    // The report named last is offered again; a footer too long for its place shows whole in its tooltip.
    QCOMPARE(sheet->ReportEdit()->text(), QDir::toNativeSeparators(env.Path(QStringLiteral("last.csv"))));
    const QString longer =
        FillIn(c.Text("STR_PROFILE_UNTAKEN"), {ring->text(0), (FieldName(c, "FB") + QStringLiteral("; ")).repeated(30)});
    sheet->ProgressLine()->SetLabelText(CaptionOf(longer));
    QCOMPARE(sheet->ProgressLine()->toolTip(), longer);
    SaveScreen(w.get(), QStringLiteral("profile-review-words-") + language);
  }

  // The review shows each differing page with its fields named as the page
  // names them; Apply writes the checked pages only, then checks them.
  void loadReviewApplyVerified() {
    ShellEnv env;
    sim::Simulator* tracker = env.StartTracker();
    auto w = LoggedIn(env);
    const QByteArray same = "F5=" + QByteArray::fromStdString(tracker->Value("F5")) + "\n";
    ProfileReviewSheet* sheet =
        LoadFile(env, *w, "[DEVICE]\nD1=care.apn\n" + same + "Va=Care desk\nOU=9999\n");
    QVERIFY(sheet);
    QTreeWidgetItem* gprs = sheet->PageItem(Page::Gprs);
    QVERIFY(gprs && sheet->PageItem(Page::Contacts));
    QVERIFY(!sheet->PageItem(Page::Info));  // F5 is as the tracker has it
    QCOMPARE(sheet->PageItem(Page::Password)->checkState(0), Qt::Unchecked);
    QCOMPARE(gprs->checkState(0), Qt::Checked);
    QCOMPARE(gprs->childCount(), 1);
    QCOMPARE(gprs->child(0)->text(0), FieldName(env.Context(), "D1"));
    QCOMPARE(gprs->child(0)->text(1), QString::fromStdString(tracker->Value("D1")));
    QCOMPARE(gprs->child(0)->text(2), QStringLiteral("care.apn"));
    QCOMPARE(sheet->PageItem(Page::Password)->child(0)->text(2), QStringLiteral("(hidden)"));
    // Space on a page's line unchecks it and checks it again, as a mouse click would.
    QTreeWidgetItem* contacts = sheet->PageItem(Page::Contacts);
    sheet->Differences()->setFocus();
    sheet->Differences()->setCurrentItem(contacts);
    QTest::keyClick(sheet->Differences(), Qt::Key_Space);
    QCOMPARE(contacts->checkState(0), Qt::Unchecked);
    QTest::keyClick(sheet->Differences(), Qt::Key_Space);
    QCOMPARE(contacts->checkState(0), Qt::Checked);
    SaveScreen(w.get(), QStringLiteral("profile-review-English"));

    const std::size_t from = tracker->Journal().size();
    QTest::mouseClick(sheet->ConfirmButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!sheet->Busy(), kWait);
    const std::vector<std::string> keys = SentKeys(SetSentences(*tracker, from));
    QVERIFY(!keys.empty());
    for (const std::string& k : keys) {
      const std::optional<Page> page = PageOfKey(k);
      QVERIFY2(page == Page::Gprs || page == Page::Contacts, k.c_str());
    }
    QCOMPARE(tracker->Value("D1"), std::string("care.apn"));
    QCOMPARE(tracker->Value("Va"), std::string("Care desk"));
    QCOMPARE(tracker->Value("OU"), std::string("4071"));
    QVERIFY2(env.messages.back().text.startsWith(QStringLiteral("Written and verified")),
             qPrintable(env.messages.back().text));
    // What is left differing is the password, still unchecked.
    QCOMPARE(sheet->Differences()->topLevelItemCount(), 1);
    QVERIFY(sheet->PageItem(Page::Password));
  }

  // A file that is no settings file is told in the user's language.
  void fileFaultsInTheUsersLanguage_data() { AddLanguageRows(); }
  void fileFaultsInTheUsersLanguage() {
    QFETCH(QString, language);
    ShellEnv env;
    env.Context().SetLanguage(language.toStdString());
    SessionHost session(env.Context(), nullptr);
    env.WriteFile(QStringLiteral("odd.ini"), "[DEVICE]\nXQ=1\n");
    QVERIFY(!ProfileReviewSheet::Open(env.Context(), session, nullptr, env.Path(QStringLiteral("odd.ini"))));
    const QString said = env.messages.back().text;
    QVERIFY2(said.contains(FillIn(env.Context().Text("STR_PROFILE_UNKNOWNKEY"), {QStringLiteral("2"), QStringLiteral("XQ")})),
             qPrintable(said));
    QCOMPARE(said.contains(QStringLiteral("is not a setting")), language == QLatin1String("English"));
    // A name saved in another encoding than UTF-8, with its line.
    env.WriteFile(QStringLiteral("big5.ini"), "[DEVICE]\nVa=\xA4\xA4\xA4\xE5\n");
    QVERIFY(!ProfileReviewSheet::Open(env.Context(), session, nullptr, env.Path(QStringLiteral("big5.ini"))));
    QVERIFY(env.messages.back().text.contains(FillIn(env.Context().Text("STR_PROFILE_ATLINE"),
                                                     {QStringLiteral("2"), FillIn(env.Context().Text("STR_GLOBAL_NOTUTF8"),
                                                                                  {FieldName(env.Context(), "Va")})})));
    // A key named with an escape sequence is shown escaped; a file that cannot be read is named once.
    env.WriteFile(QStringLiteral("hostile.ini"), "[DEVICE]\n\x1b[2Jzz=1\n");
    QVERIFY(!ProfileReviewSheet::Open(env.Context(), session, nullptr, env.Path(QStringLiteral("hostile.ini"))));
    QVERIFY2(env.messages.back().text.contains(QStringLiteral("\\x1b[2Jzz")) &&
                 !env.messages.back().text.contains(QChar(0x1b)),
             qPrintable(env.messages.back().text));
    QVERIFY(!ProfileReviewSheet::Open(env.Context(), session, nullptr, env.Path(QStringLiteral("missing.ini"))));
    QCOMPARE(env.messages.back().text.count(env.Path(QStringLiteral("missing.ini"))), 1);
  }

  // Closing the window while the file is being written asks; Yes finishes
  // the write, then closes.
  void closingWhileWritingFinishesFirst() {
    ShellEnv env;
    sim::Simulator* tracker = env.StartTracker();
    auto w = LoggedIn(env);
    ProfileReviewSheet* sheet = LoadFile(env, *w, "[DEVICE]\nD1=care.apn\n");
    QVERIFY(sheet);
    QTest::mouseClick(sheet->ConfirmButton(), Qt::LeftButton);
    QVERIFY(sheet->Busy());
    env.answerYes = true;
    w->close();
    QCOMPARE(env.questions.size(), std::size_t(1));
    QVERIFY(w->isVisible() && env.exitCodes.empty());
    QTRY_COMPARE_WITH_TIMEOUT(env.exitCodes.size(), std::size_t(1), kWait);
    QCOMPARE(tracker->Value("D1"), std::string("care.apn"));
  }

  // Cancel during a single write stops it after the sentence under way and
  // says how far it got; there is nothing more to stop until it has.
  void cancelStopsASingleWrite() {
    ShellEnv env;
    env.Context().durations.setSentencePause = std::chrono::milliseconds(300);
    sim::Simulator* tracker = env.StartTracker();
    auto w = LoggedIn(env);
    ProfileReviewSheet* sheet = LoadFile(env, *w, "[DEVICE]\nVa=Care desk\n");  // the contacts' ten sentences
    QVERIFY(sheet);
    const std::size_t from = tracker->Journal().size();
    QTest::mouseClick(sheet->ConfirmButton(), Qt::LeftButton);
    QVERIFY(sheet->Busy());
    QVERIFY(!sheet->CancelButton()->DisabledState());
    QTRY_VERIFY_WITH_TIMEOUT(SetSentences(*tracker, from).size() >= 2, kWait);
    const std::size_t atCancel = SetSentences(*tracker, from).size();
    QTest::mouseClick(sheet->CancelButton(), Qt::LeftButton);
    QVERIFY(sheet->CancelButton()->DisabledState());
    QTRY_VERIFY_WITH_TIMEOUT(!sheet->Busy(), kWait);
    QVERIFY(sheet->isVisible());
    QVERIFY(!sheet->CancelButton()->DisabledState());
    QTest::qWait(600);
    const std::size_t sent = SetSentences(*tracker, from).size();
    QVERIFY2(sent <= atCancel + 1 && sent < 10, qPrintable(QString::number(sent)));
    QVERIFY2(env.messages.back().text.contains(QStringLiteral("Stopped before every sentence was written")),
             qPrintable(env.messages.back().text));
    QCOMPARE(env.messages.back().icon, MessageIcon::Error);
  }

  // A value a page would refuse is named, with its line, and nothing is sent.
  void refusedValueIsNamedBeforeAnythingIsSent() {
    ShellEnv env;
    sim::Simulator* tracker = env.StartTracker();
    auto w = LoggedIn(env);
    const std::size_t from = tracker->Journal().size();
    QVERIFY(!LoadFile(env, *w, "[DEVICE]\nD1=care.apn\nVA=12,34\n"));
    QVERIFY(!w->OpenSheet());
    const QString said = env.messages.back().text;
    QVERIFY2(said.contains(FieldName(env.Context(), "VA")) && said.contains(QStringLiteral("Line 3")), qPrintable(said));
    QVERIFY(said.contains(QLatin1Char('\n')) && !said.contains(QStringLiteral("\\n")));
    QVERIFY(SetSentences(*tracker, from).empty());

    // Another tracker's file opens only when the user says so, No being the default.
    const QByteArray other = "[DEVICE]\nIMEI=356895037533228\nD1=care.apn\n";
    QVERIFY(!LoadFile(env, *w, other));
    QCOMPARE(env.questions.size(), std::size_t(1));
    QVERIFY(env.questions[0].contains(QStringLiteral("356895037533228")) && env.noDefaults[0]);
    env.answerYes = true;
    QVERIFY(LoadFile(env, *w, other));
  }

  // A page's Apply first saves what the tracker held; "Undo last write"
  // reviews that backup, and its Apply puts the old value back.
  void undoLastWriteReviewsTheBackup() {
    ShellEnv env;
    sim::Simulator* tracker = env.StartTracker();
    const std::string old = tracker->Value("D1");
    auto w = LoggedIn(env);
    QTest::mouseClick(w->Files()->UndoButton(), Qt::LeftButton);
    QVERIFY(!w->OpenSheet());
    QVERIFY2(env.messages.back().text.contains(QStringLiteral("no backup")), qPrintable(env.messages.back().text));

    QTest::mouseClick(w->Button(Dlg::kGprsButton), Qt::LeftButton);
    auto* page = qobject_cast<GPRSPage*>(w->OpenPage());
    QVERIFY(page);
    page->Box(0)->setText(QStringLiteral("new.apn"));
    ApplyAndWait(page);
    QCOMPARE(tracker->Value("D1"), std::string("new.apn"));
    const QDir folder(env.Path(QStringLiteral("data/zd573/backups/")) + QString::fromStdString(tracker->Value("B2")));
    const QStringList backups = folder.entryList(QDir::Files);
    QCOMPARE(backups.size(), 1);
    const QString backup = folder.filePath(backups[0]);
    const QFile::Permissions others = QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther;
    QVERIFY(!(QFile::permissions(backup) & others));
    QVERIFY(page->Back());
    QTRY_VERIFY(!w->OpenPage());

    QTest::mouseClick(w->Files()->UndoButton(), Qt::LeftButton);
    auto* sheet = qobject_cast<ProfileReviewSheet*>(w->OpenSheet());
    QVERIFY(sheet);
    QCOMPARE(sheet->windowTitle(), QStringLiteral("Undo last write"));
    QVERIFY(!sheet->EachTracker()->isVisible());
    QTreeWidgetItem* gprs = sheet->PageItem(Page::Gprs);
    QVERIFY(gprs);
    QCOMPARE(sheet->Differences()->topLevelItemCount(), 1);
    QCOMPARE(gprs->child(0)->text(1), QStringLiteral("new.apn"));
    QCOMPARE(gprs->child(0)->text(2), QString::fromStdString(old));
    QTest::mouseClick(sheet->ConfirmButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!sheet->Busy(), kWait);
    QCOMPARE(tracker->Value("D1"), old);
    QCOMPARE(folder.entryList(QDir::Files).size(), 2);  // the undo saved what it replaced
  }

  // A file of one tracker's own values is not taken for every tracker
  // plugged in: said when the loop is chosen, and the loop stays off.
  void loopRefusesOneTrackersValues_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("said");
    QTest::newRow("backup") << QByteArray("IMEI=%1\nD1=care.apn\n") << QStringLiteral("is a backup of the tracker");
    QTest::newRow("own number") << QByteArray("B1=0912345678\nD1=care.apn\n") << QStringLiteral("holds values of one tracker alone");
  }
  void loopRefusesOneTrackersValues() {
    QFETCH(QByteArray, file);
    QFETCH(QString, said);
    ShellEnv env;
    sim::Simulator* tracker = env.StartTracker();
    auto w = LoggedIn(env);
    ProfileReviewSheet* sheet =
        LoadFile(env, *w, "[DEVICE]\n" + file.replace("%1", QByteArray::fromStdString(tracker->Value("B2"))));
    QVERIFY(sheet);
    QTest::mouseClick(sheet->EachTracker(), Qt::LeftButton);
    QVERIFY(!sheet->EachTracker()->isChecked());
    QVERIFY(!sheet->ReportEdit()->isVisible());
    QVERIFY2(env.messages.back().text.contains(said), qPrintable(env.messages.back().text));
    QCOMPARE(env.messages.back().icon, MessageIcon::Error);
  }

  // "For each tracker plugged in": the logged-in tracker first, then each
  // one plugged in, logged in with the password typed once; one with another
  // password, and one unplugged during its read, are reported and never
  // taken for the next.
  void setsUpTrackersInARow() {
    ShellEnv env;
    sim::Simulator* first = env.StartTracker();
    auto w = LoggedIn(env);
    ProfileReviewSheet* sheet = LoadFile(env, *w, "[DEVICE]\nD1=fleet.apn\nOU=2468\n");
    QVERIFY(sheet);
    QTest::mouseClick(sheet->EachTracker(), Qt::LeftButton);
    QVERIFY(sheet->PasswordEdit()->isVisible());
    // The file's password goes out only when asked for.
    QVERIFY(sheet->WithPassword()->isVisible() && !sheet->WithPassword()->isChecked());
    sheet->PasswordEdit()->setText(QStringLiteral("4071"));
    const QString report = env.Path(QStringLiteral("report.csv"));
    sheet->ReportEdit()->setText(report);
    QTest::mouseClick(sheet->ConfirmButton(), Qt::LeftButton);
    QVERIFY(sheet->Looping());
    QCOMPARE(env.Context().ReportFile(), QDir::toNativeSeparators(report));  // offered again next time
    QTRY_COMPARE_WITH_TIMEOUT(sheet->TrackersDone()->topLevelItemCount(), 1, kWait);
    QCOMPARE(first->Value("D1"), std::string("fleet.apn"));
    QCOMPARE(first->Value("OU"), std::string("4071"));

    // Unplugged, a tracker is gone from the tree and its line hangs up.
    sim::Simulator* plugged = first;
    const auto unplug = [&] {
      env.Tree().Unplug("ttyACM0");
      plugged->Stop();
    };
    const auto next = [&](const char* imei, const char* password = "4071", sim::Options options = ShellEnv::FastOptions()) {
      return PlugNext(env, plugged, imei, password, options);
    };
    auto second = next("356895037533228");
    QTRY_COMPARE_WITH_TIMEOUT(sheet->TrackersDone()->topLevelItemCount(), 2, kWait);
    QCOMPARE(second->Value("D1"), std::string("fleet.apn"));
    auto locked = next("356895037533244", "1357");
    QTRY_COMPARE_WITH_TIMEOUT(sheet->TrackersDone()->topLevelItemCount(), 3, kWait);
    QVERIFY(SetSentences(*locked).empty());
    // Identified, then silent: it is unplugged while its keys are read.
    sim::Options mute = ShellEnv::FastOptions();
    mute.answerQueries = 1;
    auto third = next("356895037533236", "4071", mute);
    const auto queries = [&] {
      const auto journal = third->Journal();
      return std::count_if(journal.begin(), journal.end(), [](const auto& e) { return e.bytes.rfind("KVC,", 0) == 0; });
    };
    QTRY_VERIFY_WITH_TIMEOUT(queries() >= 2, kWait);
    unplug();
    QTRY_COMPARE_WITH_TIMEOUT(sheet->TrackersDone()->topLevelItemCount(), 4, kWait);
    QVERIFY(SetSentences(*third).empty());
    QVERIFY(sheet->isVisible());
    SaveScreen(w.get(), QStringLiteral("profile-provisioning-English"));

    QTest::mouseClick(sheet->CancelButton(), Qt::LeftButton);  // Stop
    QTRY_VERIFY_WITH_TIMEOUT(!w->OpenSheet(), kWait);
    // Trackers, not plug-ins: the one with another password failed, and so did the one unplugged.
    QVERIFY2(env.messages.back().text.startsWith(QStringLiteral("Trackers set up: 2, failed: 2.")),
             qPrintable(env.messages.back().text));
    // The window's session looks for trackers again.
    sim::Simulator after(ShellEnv::FastOptions());
    QVERIFY(after.Start(nullptr));
    QVERIFY(env.Tree().Plug("ttyACM0", after.SlavePath()));
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    const QList<QByteArray> rows = env.ReadFile(QStringLiteral("report.csv")).trimmed().split('\n');
    QCOMPARE(rows.size(), 5);
    QVERIFY(rows[0].startsWith("time_utc,imei,"));
    QVERIFY(rows[1].contains(",ok,") && rows[2].contains(",356895037533228,") && rows[2].contains(",ok,"));
    QVERIFY(rows[3].contains(",356895037533244,") && rows[3].contains(",failed,Password Error"));
    QVERIFY(rows[4].contains(",356895037533236,") && rows[4].contains(",failed,"));
    for (const QByteArray& row : rows) QVERIFY(!row.contains("4071"));
  }
};

QTEST_MAIN(TestProfiles)
#include "tst_profiles.moc"
