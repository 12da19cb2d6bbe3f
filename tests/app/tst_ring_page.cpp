// The ringing and alarm page against the simulated tracker.
#include "qt_warnings.h"
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QTimeEdit>
#include <QtTest>

#include <functional>
#include <map>

#include "device/timing.h"
#include "page_test_support.h"
#include "pages/RingPage.h"

using namespace zd573;
using namespace zd573::test;

namespace {

// A tracker with the values of `seeds` ("KEY=value"), and the record as a full read leaves it.
sim::Simulator* SeededTracker(ShellEnv& env, const QStringList& seeds) {
  sim::Simulator* tracker = env.StartTracker();
  if (!tracker) return nullptr;
  for (const QString& seed : seeds) {
    const auto pair = seed.split('=');
    tracker->SetValue(pair[0].toStdString(), pair[1].toStdString());
  }
  ReadRecordFrom(env, *tracker);
  return tracker;
}

// The melody queries the tracker received.
std::vector<std::string> MelodyQueries(const sim::Simulator& tracker) {
  std::vector<std::string> queries;
  for (const auto& entry : tracker.Journal())
    if (entry.bytes.find("LL(") != std::string::npos) queries.push_back(entry.bytes);
  return queries;
}

bool Shown(QWidget* w) { return !w->isHidden(); }

void CheckDays(RingPage* page, int row, const std::vector<int>& days) {
  for (int k = 0; k < RingPage::kWeekdayCount; ++k) page->Weekday(row, k)->setChecked(false);
  for (int k : days) page->Weekday(row, k)->setChecked(true);
}

// Keys typed into the first alarm's picker as a keyboard user reaches it.
void TypeTime(RingPage* page, const QString& keys) {
  page->activateWindow();
  if (!QTest::qWaitForWindowActive(page->window())) QFAIL("the page's window never became active");
  page->Time(0)->setFocus(Qt::TabFocusReason);
  QTest::keyClicks(page->Time(0), keys);
}

// A record where every ring value is known; each case overrides some.
const QStringList kBase{"FE=2", "F8=1", "FB=2", "OZ=5",     "XC=0", "XB=0", "XD=0", "XA=1",
                        "YC=0", "YB=0", "YD=0", "YA=1", "ZC=0", "ZB=0", "ZD=0", "ZA=1"};

const std::map<QString, std::function<void(RingPage*)>> kEdits = {
    {"none", [](RingPage*) {}},
    // Boxes of a daily alarm are hidden and do not count.
    {"daily boxes", [](RingPage* p) { CheckDays(p, 0, {0, 1, 2, 3, 4, 5, 6}); }},
    {"switch off",
     [](RingPage* p) {
       p->Mode(0)->setCurrentIndex(RingPage::kOff);
       p->Time(0)->setTime(QTime(17, 0));
       p->Melody(0)->setCurrentIndex(4);
       CheckDays(p, 0, {});
     }},
    {"mon sun", [](RingPage* p) { CheckDays(p, 0, {0, 6}); }},
    {"all days", [](RingPage* p) { CheckDays(p, 0, {0, 1, 2, 3, 4, 5, 6}); }},
    {"to recurrence",
     [](RingPage* p) {
       p->Mode(0)->setCurrentIndex(RingPage::kRecurrence);
       p->Weekday(0, 0)->setChecked(false);
     }},
    {"late time", [](RingPage* p) { p->Time(0)->setTime(QTime(23, 59, 59)); }},
    // Typed from where the picker starts (its AM/PM part), in either language.
    {"typed time", [](RingPage* p) { TypeTime(p, QStringLiteral("0745p")); }},
    {"typed time TChinese",
     [](RingPage* p) {
       p->Time(0)->setLocale(QLocale(QStringLiteral("zh_TW")));
       TypeTime(p, QStringLiteral("0745p"));
     }},
};

}  // namespace

class TestRingPage : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  // Shown from the record, applied as two sentences with their pause,
  // refilled, and Back then closes without a question.
  void showsEditsAndApplies() {
    ShellEnv env;
    env.Context().durations.setSentencePause = timing::kSetSentencePause;
    // Alarm 1 at 2000-01-02 01:02:03; alarm 2 at 2024-01-01 07:30:00.
    sim::Simulator* tracker =
        SeededTracker(env, {"FE=3", "F8=2", "FB=3", "OZ=5", "XC=1", "XB=90123", "XA=2", "XD=65", "YC=3",
                            "YB=757409400", "YA=4", "YD=65", "ZC=0", "ZB=757425600", "ZA=5", "ZD=127"});
    QVERIFY(tracker);
    OpenedPage o;
    auto* page = OpenFromButton<RingPage>(env, o, CZD573_UtilityDlg::kRingButton);
    QVERIFY(page);
    QVERIFY(env.messages.empty());

    QCOMPARE(page->RingTone()->count(), 5);
    QCOMPARE(page->RingTone()->currentText(), QStringLiteral("3"));
    QCOMPARE(page->Vibrate()->checkedId(), 2);
    QCOMPARE(page->Volume()->checkedId(), 3);
    QCOMPARE(page->Volume()->button(3)->text(), QStringLiteral("Max"));
    QCOMPARE(page->Mode(0)->currentText(), QStringLiteral("One-time"));
    QCOMPARE(page->Mode(1)->currentText(), QStringLiteral("Recurrence rule"));
    QCOMPARE(page->Mode(2)->currentText(), QStringLiteral("Off"));
    QCOMPARE(page->Time(0)->time(), QTime(1, 2, 3));
    QCOMPARE(page->Time(0)->text(), page->Time(0)->locale().amText() + QStringLiteral(" 01:02"));
    QCOMPARE(page->Melody(0)->currentText(), QStringLiteral("2"));
    QCOMPARE(page->Melody(1)->currentText(), QStringLiteral("4"));
    for (int k = 0; k < RingPage::kWeekdayCount; ++k) {
      QCOMPARE(page->Weekday(1, k)->isChecked(), k == 0 || k == 6);
      QVERIFY(!Shown(page->Weekday(0, k)) && Shown(page->Weekday(1, k)) && !Shown(page->Weekday(2, k)));
    }
    QVERIFY(Shown(page->Time(0)) && Shown(page->Melody(0)));
    QVERIFY(!Shown(page->Time(2)) && !Shown(page->Melody(2)));
    QVERIFY(!page->RecurrenceBand(0) && page->RecurrenceBand(1) && !page->RecurrenceBand(2));

    page->RingTone()->setCurrentIndex(0);
    QTest::mouseClick(page->Vibrate()->button(0), Qt::LeftButton);
    QCOMPARE(page->Vibrate()->checkedId(), 0);
    page->Melody(0)->setCurrentIndex(4);
    page->Time(1)->setTime(QTime(13, 45));  // same day, 2024-01-01
    page->Weekday(1, 1)->setChecked(true);
    QVERIFY(page->Changed());
    ApplyAndWait(page);
    QVERIFY2(env.messages.empty(), env.messages.empty() ? "" : qPrintable(env.messages[0].text));
    const auto sets = SetSentences(*tracker);
    QCOMPARE(sets.size(), std::size_t(2));
    QCOMPARE(sets[0].bytes,
             std::string("KVS,KestrovinZD-573,1,0,FE=1,F8=0,FB=3,XB=90123,XC=1,XD=65,XA=5,YA=4*QQ!\r\n"));
    QCOMPARE(sets[1].bytes,
             std::string("KVS,KestrovinZD-573,2,1,YB=757431900,YC=3,YD=67,ZB=757425600,ZC=0,ZD=127,ZA=5*QQ!\r\n"));
    QVERIFY(PausedBetween(sets, timing::kSetSentencePause));
    QCOMPARE(page->Time(1)->time(), QTime(13, 45));
    QTest::mouseClick(page->BackButton(), Qt::LeftButton);
    QVERIFY(env.questions.empty());
    QTRY_VERIFY(!o.page);
  }

  // What Apply sends for each alarm rule; `seeds` override the base record.
  void applyRules_data() {
    QTest::addColumn<QStringList>("seeds");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    // 90123 is 2000-01-02 01:02:03; -1 is a time in 2136, which no picker
    // date encodes; 0 is midnight on 2000-01-01.
    QTest::newRow("untouched values go back as they came")
        << QStringList{"XC=1", "XB=90123", "XA=2", "XD=65", "YC=3", "YB=-1", "YA=3", "YD=127",
                       "ZC=2", "ZB=0",     "ZA=5", "ZD=5"}
        << "none" << "FE=2,F8=1,FB=2,XB=90123,XC=1,XD=65,XA=2,YA=3"
        << "YB=-1,YC=3,YD=127,ZB=0,ZC=2,ZD=5,ZA=5";
    QTest::newRow("daily sends the tracker's mask")
        << QStringList{"XC=2", "XB=90123", "XD=20"} << "daily boxes" << "FE=2,F8=1,FB=2,XB=90123,XC=2,XD=20,XA=1,YA=1"
        << "YB=0,YC=0,YD=0,ZB=0,ZC=0,ZD=0,ZA=1";
    QTest::newRow("switched off keeps time, melody and mask")
        << QStringList{"XC=3", "XB=90123", "XA=2", "XD=65"} << "switch off"
        << "FE=2,F8=1,FB=2,XB=90123,XC=0,XD=65,XA=2,YA=1" << "YB=0,YC=0,YD=0,ZB=0,ZC=0,ZD=0,ZA=1";
    QTest::newRow("Monday and Sunday") << QStringList{"XC=3", "XD=0"} << "mon sun"
                                       << "FE=2,F8=1,FB=2,XB=0,XC=3,XD=65,XA=1,YA=1"
                                       << "YB=0,YC=0,YD=0,ZB=0,ZC=0,ZD=0,ZA=1";
    QTest::newRow("every day") << QStringList{"XC=3", "XD=0"} << "all days"
                               << "FE=2,F8=1,FB=2,XB=0,XC=3,XD=127,XA=1,YA=1"
                               << "YB=0,YC=0,YD=0,ZB=0,ZC=0,ZD=0,ZA=1";
    QTest::newRow("to recurrence starts from the tracker's mask")
        << QStringList{"XC=1", "XD=65"} << "to recurrence" << "FE=2,F8=1,FB=2,XB=0,XC=3,XD=64,XA=1,YA=1"
        << "YB=0,YC=0,YD=0,ZB=0,ZC=0,ZD=0,ZA=1";
    QTest::newRow("time edited, date kept") << QStringList{"XC=1", "XB=90123"} << "late time"
                                            << "FE=2,F8=1,FB=2,XB=172799,XC=1,XD=0,XA=1,YA=1"
                                            << "YB=0,YC=0,YD=0,ZB=0,ZC=0,ZD=0,ZA=1";
    for (const char* typed : {"typed time", "typed time TChinese"})
      QTest::newRow(typed) << QStringList{"XC=1", "XB=90123"} << typed
                           << "FE=2,F8=1,FB=2,XB=157503,XC=1,XD=0,XA=1,YA=1" << "YB=0,YC=0,YD=0,ZB=0,ZC=0,ZD=0,ZA=1";
    QTest::newRow("no melodies") << QStringList{"OZ=0", "FE=3", "XC=1", "XA=2", "YC=2", "YA=4", "ZA=5"} << "none"
                                 << "FE=3,F8=1,FB=2,XB=0,XC=1,XD=0,XA=2,YA=4"
                                 << "YB=0,YC=2,YD=0,ZB=0,ZC=0,ZD=0,ZA=5";
    // A value out of range goes back as the tracker gave it: a list shows it
    // as an extra item, an unchecked group keeps it.
    QTest::newRow("out of range") << QStringList{"FE=9", "F8=7", "FB=4", "XC=1", "XA=9"} << "none"
                                  << "FE=9,F8=7,FB=4,XB=0,XC=1,XD=0,XA=9,YA=1"
                                  << "YB=0,YC=0,YD=0,ZB=0,ZC=0,ZD=0,ZA=1";
  }
  void applyRules() {
    QFETCH(QStringList, seeds);
    QFETCH(QString, edit);
    QFETCH(QString, first);
    QFETCH(QString, second);
    ShellEnv env;
    sim::Simulator* tracker = SeededTracker(env, kBase + seeds);
    QVERIFY(tracker);
    Standalone<RingPage> view(env);
    RingPage& page = *view.page;
    kEdits.at(edit)(&page);
    ApplyAndWait(&page);
    QVERIFY2(env.messages.empty(), env.messages.empty() ? "" : qPrintable(env.messages[0].text));
    const auto sets = SetSentences(*tracker);
    QCOMPARE(sets.size(), std::size_t(2));
    QCOMPARE(QString::fromStdString(sets[0].bytes), "KVS,KestrovinZD-573,1,0," + first + "*QQ!\r\n");
    QCOMPARE(QString::fromStdString(sets[1].bytes), "KVS,KestrovinZD-573,2,1," + second + "*QQ!\r\n");
    // What was sent is what the record holds: nothing left to ask about.
    QVERIFY(!page.Changed());
  }

  // A value the lists have no item for is shown as its number, selected, and
  // the user can still pick any listed item; a group without the choice checks none.
  void outOfRangeIsShownAndKept() {
    ShellEnv env;
    QVERIFY(SeededTracker(env, kBase + QStringList{"FE=6", "F8=4", "FB=200", "XC=1", "XA=6", "YC=9"}));
    Standalone<RingPage> view(env);
    RingPage& page = *view.page;
    QCOMPARE(page.RingTone()->currentText(), QStringLiteral("6"));
    QCOMPARE(page.RingTone()->count(), 6);
    QCOMPARE(page.Vibrate()->checkedId(), -1);
    QCOMPARE(page.Volume()->checkedId(), -1);
    QCOMPARE(page.Melody(0)->currentText(), QStringLiteral("6"));
    QCOMPARE(page.Mode(1)->currentText(), QStringLiteral("9"));
    QVERIFY(!page.Changed());
    page.RingTone()->setCurrentIndex(1);
    QVERIFY(page.Changed());
    // A mode without an item is not "Off": its time and melody stay reachable.
    QVERIFY(Shown(page.Time(1)) && !Shown(page.Weekday(1, 0)));
  }

  // A record of zeros shows empty lists and every alarm off; a mode change
  // shows and hides the row's controls and changes its band.
  void modeChangesVisibilityAndBand() {
    ShellEnv env;
    QVERIFY(SeededTracker(env, kBase + QStringList{"OZ=0", "FE=0", "F8=0", "FB=0", "XA=0", "YA=0", "ZA=0"}));
    Standalone<RingPage> view(env);
    RingPage& page = *view.page;
    page.show();
    QVERIFY(env.messages.empty());  // every band loaded
    QCOMPARE(page.RingTone()->count(), 0);
    QCOMPARE(page.Melody(1)->count(), 0);
    QCOMPARE(page.Vibrate()->checkedId(), 0);
    QCOMPARE(page.Volume()->checkedId(), 0);
    QCOMPARE(page.Time(0)->time(), QTime(0, 0));
    for (int r = 0; r < RingPage::kAlarmCount; ++r) {
      QCOMPARE(page.Mode(r)->currentIndex(), 0);
      QVERIFY(!Shown(page.Time(r)) && !Shown(page.Melody(r)) && !Shown(page.Weekday(r, 3)));
    }
    // The bands' left edge: row 1 stays plain throughout.
    auto edge = [&page](int r) { return page.grab().toImage().pixel(65, 344 + 54 * r); };
    QCOMPARE(edge(1), edge(0));

    page.Mode(1)->setCurrentIndex(RingPage::kRecurrence);
    QVERIFY(Shown(page.Time(1)) && Shown(page.Melody(1)));
    for (int k = 0; k < RingPage::kWeekdayCount; ++k) QVERIFY(Shown(page.Weekday(1, k)));
    QVERIFY(!Shown(page.Time(0)) && !Shown(page.Weekday(0, 0)));
    QVERIFY(page.RecurrenceBand(1));
    QVERIFY(edge(1) != edge(0));

    page.Mode(1)->setCurrentIndex(RingPage::kDaily);
    QVERIFY(Shown(page.Time(1)) && !Shown(page.Weekday(1, 0)));
    QCOMPARE(edge(1), edge(0));

    page.Mode(1)->setCurrentIndex(RingPage::kOff);
    QVERIFY(!Shown(page.Time(1)) && !Shown(page.Melody(1)) && !Shown(page.Weekday(1, 0)));
    QVERIFY(!page.RecurrenceBand(1));
  }

  // Hidden controls are not edits: the leave test only asks about what is in use.
  void leaveTestIgnoresHiddenControls() {
    ShellEnv env;
    QVERIFY(SeededTracker(env, kBase + QStringList{"XC=2", "XB=90123", "YC=0", "YB=90123", "YA=2"}));
    Standalone<RingPage> view(env);
    RingPage& page = *view.page;
    QVERIFY(!page.Changed());
    CheckDays(&page, 0, {0, 6});
    page.Time(1)->setTime(QTime(9, 0));
    page.Melody(1)->setCurrentIndex(4);
    QVERIFY(!page.Changed());
    page.Time(0)->setTime(QTime(1, 3, 3));
    QVERIFY(page.Changed());
    env.answerYes = false;
    QVERIFY(!page.Back());
    QCOMPARE(env.questions.size(), std::size_t(1));
  }

  // Play sends the selected ring tone, 0 with none; Stop always 0. Neither
  // touches the record.
  void playAndStop() {
    ShellEnv env;
    sim::Simulator* tracker = SeededTracker(env, kBase + QStringList{"FE=0"});
    QVERIFY(tracker);
    Standalone<RingPage> view(env);
    RingPage& page = *view.page;
    PressAndWait(&page, page.PlayButton());
    page.RingTone()->setCurrentIndex(2);
    PressAndWait(&page, page.PlayButton());
    PressAndWait(&page, page.StopButton());
    QVERIFY2(env.messages.empty(), env.messages.empty() ? "" : qPrintable(env.messages[0].text));
    const std::vector<std::string> expected{"KVC,KestrovinZD-573,LL(0)*QQ!\r\n", "KVC,KestrovinZD-573,LL(3)*QQ!\r\n",
                                            "KVC,KestrovinZD-573,LL(0)*QQ!\r\n"};
    QTRY_COMPARE(MelodyQueries(*tracker), expected);
    QVERIFY(SetSentences(*tracker).empty());
    QCOMPARE(env.Context().Settings().Snapshot().Number("FE"), 0);

    // A tracker gone from its port is told, and nothing is sent.
    tracker->Stop();
    PressAndWait(&page, page.PlayButton());
    QCOMPARE(env.messages.size(), std::size_t(1));
    QCOMPARE(env.messages[0].icon, MessageIcon::Error);
    QVERIFY2(env.messages[0].text.startsWith(QStringLiteral("The port")), qPrintable(env.messages[0].text));
    QCOMPARE(MelodyQueries(*tracker).size(), std::size_t(3));
  }

  void screens_data() { AddLanguageRows(); }
  void screens() {
    QFETCH(QString, language);
    ShellEnv env;
    env.Context().SetLanguage(language.toStdString());
    env.Context().Settings().Update([](DeviceValues& v) {
      v.SetText("B2", "356895037533210");
      v.SetNumber("OZ", 16);
      v.SetNumber("FE", 12);
      v.SetNumber("F8", 2);
      v.SetNumber("FB", 3);
      // One-time at 07:30, on weekdays at 18:45, daily at 12:00.
      v.SetNumber("XC", 1), v.SetNumber("XB", 757409400), v.SetNumber("XA", 3);
      v.SetNumber("YC", 3), v.SetNumber("YB", 757449900), v.SetNumber("YA", 16), v.SetNumber("YD", 31);
      v.SetNumber("ZC", 2), v.SetNumber("ZB", 757425600), v.SetNumber("ZA", 7);
    });
    Standalone<RingPage> view(env);
    RingPage& page = *view.page;
    page.show();
    QVERIFY(env.messages.empty());
    SaveScreen(&page, QStringLiteral("ring-page-") + language);
  }
};

QTEST_MAIN(TestRingPage)
#include "tst_ring_page.moc"
