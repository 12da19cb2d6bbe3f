// The GPRS page against the simulated tracker.
#include "qt_warnings.h"
#include <QLineEdit>
#include <QtTest>

#include "device/timing.h"
#include "page_test_support.h"
#include "pages/GPRSPage.h"

using namespace zd573;
using namespace zd573::test;

class TestGprsPage : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  // Shown from the record, applied as one sentence with its pause, refilled,
  // and Back then closes without a question.
  void showsEditsAndApplies() {
    ShellEnv env;
    env.Context().durations.setSentencePause = timing::kSetSentencePause;
    sim::Simulator* tracker = env.StartTracker();
    QVERIFY(tracker);
    tracker->SetValue("D1", "internet");
    tracker->SetValue("D2", "user");
    tracker->SetValue("D3", "s3cret");
    tracker->SetValue("D4", "8.8.8.8");
    tracker->SetValue("D5", "");
    tracker->SetValue("E0", "203.0.113.9");
    tracker->SetValue("E1", "5055");
    ReadRecordFrom(env, *tracker);
    OpenedPage o;
    GPRSPage* page = OpenFromButton<GPRSPage>(env, o, CZD573_UtilityDlg::kGprsButton);
    QVERIFY(page);
    const QStringList shown{"internet", "user", "s3cret", "8.8.8.8", "", "203.0.113.9", "5055"};
    for (int i = 0; i < 7; ++i) QCOMPARE(page->Box(i)->text(), shown[i]);
    QCOMPARE(page->Box(2)->echoMode(), QLineEdit::Normal);  // the password in clear
    QVERIFY(!page->Box(5)->isEnabled() && !page->Box(6)->isEnabled());

    page->Box(2)->setText(QStringLiteral("n3w"));
    page->Box(4)->setText(QStringLiteral("*1#"));
    ApplyAndWait(page);
    QVERIFY2(env.messages.empty(), env.messages.empty() ? "" : qPrintable(env.messages[0].text));
    const auto sets = SetSentences(*tracker);
    QCOMPARE(sets.size(), std::size_t(1));
    QCOMPARE(sets[0].bytes, std::string("KVS,KestrovinZD-573,3,0,D1=internet,D2=user,D3=n3w,D4=8.8.8.8,D5=*1#*QQ!\r\n"));
    QCOMPARE(tracker->Value("E0"), std::string("203.0.113.9"));
    QTest::mouseClick(page->BackButton(), Qt::LeftButton);
    QVERIFY(env.questions.empty());
    QTRY_VERIFY(!o.page);
  }

  // Only an edit counts for the leave question; all boxes empty send empty values.
  void leaveTestAndEmptyValues() {
    ShellEnv env;
    sim::Simulator* tracker = env.StartTracker();
    QVERIFY(tracker);
    tracker->SetValue("D3", "pw");
    ReadRecordFrom(env, *tracker);
    OpenedPage o;
    GPRSPage* page = OpenFromButton<GPRSPage>(env, o, CZD573_UtilityDlg::kGprsButton);
    QVERIFY(page);
    page->Box(2)->setText(QStringLiteral("other"));
    env.answerYes = false;
    QVERIFY(!page->Back());
    QCOMPARE(env.questions.size(), std::size_t(1));
    for (int i = 0; i < 5; ++i) page->Box(i)->clear();
    ApplyAndWait(page);
    const auto sets = SetSentences(*tracker);
    QCOMPARE(sets.size(), std::size_t(1));
    QCOMPARE(sets[0].bytes, std::string("KVS,KestrovinZD-573,3,0,D1=,D2=,D3=,D4=,D5=*QQ!\r\n"));
    QVERIFY(page->Back());
    QCOMPARE(env.questions.size(), std::size_t(1));
  }

  void screens_data() { AddLanguageRows(); }
  void screens() {
    QFETCH(QString, language);
    ShellEnv env;
    env.Context().SetLanguage(language.toStdString());
    env.Context().Settings().Update([](DeviceValues& v) {
      v.SetText("B2", "356895037533210");
      v.SetText("D1", "internet.example");
      v.SetText("D2", "guest");
      v.SetText("D3", "guest");
      v.SetText("D4", "1.1.1.1");
      v.SetText("D5", "9.9.9.9");
      v.SetText("E0", "203.0.113.9");
      v.SetNumber("E1", 5055);
    });
    Standalone<GPRSPage> view(env);
    GPRSPage& page = *view.page;
    page.show();
    QVERIFY(env.messages.empty());
    SaveScreen(&page, QStringLiteral("gprs-page-") + language);
  }
};

QTEST_MAIN(TestGprsPage)
#include "tst_gprs_page.moc"
