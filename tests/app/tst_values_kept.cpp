// Values the user did not change go back to the tracker as it gave them, and
// nothing that did not reach it counts as stored: against the simulated tracker.
#include "qt_warnings.h"
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QtTest>

#include "controls/CLabel.h"
#include "page_test_support.h"
#include "pages/InfoPage.h"
#include "pages/MsgPage.h"
#include "pages/SetupPage.h"
#include "settings/paths.h"

using namespace zd573;
using namespace zd573::test;

namespace {

sim::Simulator* Seeded(ShellEnv& env, const std::vector<std::pair<std::string, std::string>>& seeds) {
  sim::Simulator* tracker = env.StartTracker();
  if (!tracker) return nullptr;
  tracker->SetValue("B2", "356895037533210");
  for (const auto& [key, value] : seeds) tracker->SetValue(key, value);
  ReadRecordFrom(env, *tracker);
  return tracker;
}

std::string AllSets(const sim::Simulator& tracker) {
  std::string all;
  for (const auto& s : SetSentences(tracker)) all += s.bytes;
  return all;
}

}  // namespace

class TestValuesKept : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  // An offset the list lacks is shown as it is, counts as unchanged and goes
  // back unchanged; any listed zone can still be picked.
  void timeZoneTheListLacks_data() {
    QTest::addColumn<QString>("o6");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("pick");  // -1: leave it
    QTest::addColumn<QString>("sent");
    QTest::newRow("India") << "19800" << "GMT +5:30" << -1 << "O6=19800";
    QTest::newRow("Nepal") << "20700" << "GMT +5:45" << -1 << "O6=20700";
    QTest::newRow("Newfoundland") << "-12600" << "GMT -3:30" << -1 << "O6=-12600";
    QTest::newRow("Darwin") << "34200" << "GMT +9:30" << -1 << "O6=34200";
    QTest::newRow("a listed zone picked instead") << "19800" << "GMT +5:30" << 20 << "O6=28800";
  }
  void timeZoneTheListLacks() {
    QFETCH(QString, o6);
    QFETCH(QString, shown);
    QFETCH(int, pick);
    QFETCH(QString, sent);
    ShellEnv env;
    sim::Simulator* tracker = Seeded(env, {{"O6", o6.toStdString()}});
    QVERIFY(tracker);
    Standalone<InfoPage> view(env);
    InfoPage& page = *view.page;
    QCOMPARE(page.TimeZone()->currentText(), shown);
    QVERIFY(!page.Changed());
    if (pick >= 0) page.TimeZone()->setCurrentIndex(pick);
    ApplyAndWait(&page);
    QVERIFY2(env.messages.empty(), env.messages.empty() ? "" : qPrintable(env.messages[0].text));
    QVERIFY2(AllSets(*tracker).find("," + sent.toStdString() + "*") != std::string::npos, AllSets(*tracker).c_str());
    QVERIFY(!page.Changed());
  }

  // A name whose bytes the code page cannot show goes back byte for byte
  // while another contact is edited.
  void undecodableNameUntouched() {
    ShellEnv env;
    const std::string gbk = "\x81\x40\xC0\xEE";
    sim::Simulator* tracker = Seeded(env, {{"Vb", gbk}, {"Ve", "Eve"}});
    QVERIFY(tracker);
    Standalone<MsgPage> view(env);
    MsgPage& page = *view.page;
    QVERIFY(page.NameEdit(1)->text().contains(QChar(0xFFFD)));
    QVERIFY(!page.Changed());
    page.NameEdit(4)->setText(QStringLiteral("Evelyn"));
    ApplyAndWait(&page);
    QVERIFY2(env.messages.empty(), env.messages.empty() ? "" : qPrintable(env.messages[0].text));
    const std::string sets = AllSets(*tracker);
    QVERIFY(sets.find(",Vb=" + gbk + ",") != std::string::npos || sets.find(",Vb=" + gbk + "*") != std::string::npos);
    QVERIFY(sets.find("Ve=Evelyn") != std::string::npos);
    QCOMPARE(tracker->Value("Vb"), gbk);
    // Typed over, the same field is checked like any other.
    page.NameEdit(1)->setText(QStringLiteral("王"));
    ApplyAndWait(&page);
    QCOMPARE(env.messages.size(), std::size_t(1));
  }

  // Cut off after 4 of 10 sentences: only what reached the tracker is in the
  // record; the rest stays an edit and Back asks.
  void applyCutShortKeepsTheRestAsEdits() {
    ShellEnv env;
    env.Context().durations.setSentencePause = std::chrono::milliseconds(300);
    sim::Simulator* tracker = Seeded(env, {{"Va", "Ann"}, {"VT", "0920"}});
    QVERIFY(tracker);
    Standalone<MsgPage> view(env);
    MsgPage& page = *view.page;
    page.NameEdit(0)->setText(QStringLiteral("Anna"));
    page.PhoneEdit(19)->setText(QStringLiteral("0929"));
    QTest::mouseClick(page.ApplyButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(SetSentences(*tracker).size() >= 4, 30000);
    tracker->Stop();
    QTRY_VERIFY_WITH_TIMEOUT(!page.Busy(), 10000);
    QCOMPARE(env.messages.size(), std::size_t(1));
    QVERIFY2(env.messages[0].text.contains(QStringLiteral("after 4 of 10")), qPrintable(env.messages[0].text));
    const DeviceValues record = env.Context().Settings().Snapshot();
    QCOMPARE(record.Text("Va"), std::string("Anna"));  // in the first sentence
    QCOMPARE(record.Text("VT"), std::string("0920"));  // in a later one
    QCOMPARE(page.PhoneEdit(19)->text(), QStringLiteral("0929"));
    env.answerYes = false;
    QVERIFY(!page.Back());
    QCOMPARE(env.questions.size(), std::size_t(1));
  }

  // The device name: written only when changed, the placeholder never, and a
  // name that cannot be saved is told while the tracker's settings still go out.
  void deviceName_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("iniIsFolder");
    QTest::addColumn<bool>("written");
    QTest::newRow("placeholder left as it is") << "" << false << false;
    QTest::newRow("a new name") << "Kestrel" << false << true;
    QTest::newRow("cannot be saved") << "Kestrel" << true << false;
  }
  void deviceName() {
    QFETCH(QString, typed);
    QFETCH(bool, iniIsFolder);
    QFETCH(bool, written);
    ShellEnv env;
    if (iniIsFolder) QVERIFY(QDir().mkpath(env.Path(QStringLiteral("system.ini"))));
    sim::Simulator* tracker = Seeded(env, {});
    QVERIFY(tracker);
    Standalone<InfoPage> view(env);
    InfoPage& page = *view.page;
    QCOMPARE(page.DeviceName()->text(), QStringLiteral("ZD573"));
    if (!typed.isEmpty()) page.DeviceName()->setText(typed);
    page.PhoneNumber()->setText(QStringLiteral("0933"));
    ApplyAndWait(&page);
    QCOMPARE(SetSentences(*tracker).size(), std::size_t(1));
    const bool stored = settings::HasDeviceUserName(env.Context().SystemIni(), "356895037533210");
    QCOMPARE(stored, written);
    QCOMPARE(env.messages.size(), std::size_t(iniIsFolder ? 1 : 0));
    if (iniIsFolder) QVERIFY(env.messages[0].text.startsWith(QStringLiteral("The device name could not be saved")));
  }

  void longDeviceNameEndsInEllipsis() {
    ShellEnv env;
    QVERIFY(Seeded(env, {}));
    env.Context().deviceUserName = std::string(60, 'W');
    Standalone<InfoPage> view(env);
    const QString shown = view.page->DeviceNameLine()->text();
    QVERIFY2(shown.endsWith(QChar(0x2026)), qPrintable(shown));
    QVERIFY(view.page->DeviceNameLine()->fontMetrics().horizontalAdvance(shown) <= 802 - 600);
  }

  void codePageThatCannotBeSavedIsTold() {
    ShellEnv env;
    QVERIFY(QDir().mkpath(env.Path(QStringLiteral("system.ini"))));
    SetupPage page(env.Context(), nullptr);
    page.show();
    page.CodePageList()->setCurrentIndex(page.CodePageList()->findData(950));
    QTest::mouseClick(page.ConfirmButton(), Qt::LeftButton);
    QCOMPARE(env.messages.size(), std::size_t(1));
    QVERIFY(env.messages[0].text.startsWith(QStringLiteral("The text encoding could not be saved")));
  }
};

QTEST_MAIN(TestValuesKept)
#include "tst_values_kept.moc"
