// The device information page against the simulated tracker.
#include "qt_warnings.h"
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

#include "controls/CLabel.h"
#include "device/timing.h"
#include "page_test_support.h"
#include "pages/InfoPage.h"
#include "pages/PasswordPage.h"
#include "settings/paths.h"

using namespace zd573;
using namespace zd573::test;

namespace {

const std::string kImei = "356895037533210";

sim::Simulator* Tracker(ShellEnv& env, const std::string& o6 = "28800") {
  sim::Simulator* tracker = env.StartTracker();
  if (!tracker) return nullptr;
  tracker->SetValue("B2", kImei);
  tracker->SetValue("B0", "1234");
  tracker->SetValue("B1", "0912345678");
  tracker->SetValue("F4", "dd.mm.yy");
  tracker->SetValue("F5", "1");
  tracker->SetValue("F6", "0");
  tracker->SetValue("F7", "1");
  tracker->SetValue("O6", o6);
  ReadRecordFrom(env, *tracker);
  return tracker;
}

}  // namespace

class TestInfoPage : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  void showsEditsAndApplies() {
    ShellEnv env;
    env.Context().durations.setSentencePause = timing::kSetSentencePause;
    sim::Simulator* tracker = Tracker(env);
    QVERIFY(tracker);
    OpenedPage o;
    InfoPage* page = OpenFromButton<InfoPage>(env, o, CZD573_UtilityDlg::kInfoButton);
    QVERIFY(page);
    QCOMPARE(page->TimeZone()->currentText(), QStringLiteral("GMT +8"));
    QCOMPARE(page->TimeFormat()->currentIndex(), 1);
    QCOMPARE(page->DateFormat()->currentText(), QStringLiteral("dd.mm.yy"));
    QCOMPARE(page->PhoneNumber()->text(), QStringLiteral("0912345678"));
    QCOMPARE(page->PinCode()->text(), QStringLiteral("1234"));
    QVERIFY(!page->DaylightSaving()->isChecked() && page->KeyLock()->isChecked());
    QCOMPARE(page->Language()->currentIndex(), -1);
    QCOMPARE(page->Language()->count(), 1);
    QCOMPARE(page->DeviceName()->text(), QStringLiteral("ZD573"));  // no name stored yet
    QVERIFY(!page->Changed());

    page->TimeZone()->setCurrentIndex(17);  // GMT +5
    page->DaylightSaving()->setChecked(true);
    page->KeyLock()->setChecked(false);
    page->DateFormat()->setCurrentIndex(0);
    page->PinCode()->setText(QStringLiteral("0000"));
    page->DeviceName()->setText(QStringLiteral("Kestrel"));
    ApplyAndWait(page);
    QVERIFY2(env.messages.empty(), env.messages.empty() ? "" : qPrintable(env.messages[0].text));
    const auto sets = SetSentences(*tracker);
    QCOMPARE(sets.size(), std::size_t(1));
    QCOMPARE(sets[0].bytes,
             std::string("KVS,KestrovinZD-573,3,0,F5=1,F7=0,B0=0000,B1=0912345678,F6=1,F4=mm-dd-yy,O6=18000*QQ!\r\n"));
    // The name is this program's: saved for the IMEI, shown in the frame, never sent.
    QCOMPARE(settings::ReadDeviceUserName(env.Context().SystemIni(), kImei), std::string("Kestrel"));
    QCOMPARE(page->DeviceNameLine()->text(), QStringLiteral("Kestrel"));
    QTest::mouseClick(page->BackButton(), Qt::LeftButton);
    QVERIFY(env.questions.empty());
    QTRY_VERIFY(!o.page);
  }

  // What the leave question sees, case by case.
  void leaveTest_data() {
    QTest::addColumn<QString>("o6");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("asks");
    QTest::newRow("whole hours") << "-43200" << "GMT -12" << false;
    QTest::newRow("GMT +13") << "46800" << "GMT +13" << false;
    QTest::newRow("half an hour is shown and kept") << "1800" << "GMT +0:30" << false;
  }
  void leaveTest() {
    QFETCH(QString, o6);
    QFETCH(QString, shown);
    QFETCH(bool, asks);
    ShellEnv env;
    QVERIFY(Tracker(env, o6.toStdString()));
    Standalone<InfoPage> view(env);
    InfoPage& page = *view.page;
    QCOMPARE(page.TimeZone()->currentText(), shown);
    QCOMPARE(page.Changed(), asks);
  }

  // An empty name keeps the stored one; like every field, the name box then
  // shows what is kept, so nothing is left to ask about.
  void emptyNameKeepsTheStoredOne() {
    ShellEnv env;
    sim::Simulator* tracker = Tracker(env);
    QVERIFY(tracker);
    QVERIFY(settings::WriteDeviceUserName(env.Context().SystemIni(), kImei, "Kestrel").ok());
    env.Context().deviceUserName = "Kestrel";
    Standalone<InfoPage> view(env);
    InfoPage& page = *view.page;
    page.show();
    page.DeviceName()->clear();
    ApplyAndWait(&page);
    QCOMPARE(settings::ReadDeviceUserName(env.Context().SystemIni(), kImei), std::string("Kestrel"));
    QCOMPARE(SetSentences(*tracker).size(), std::size_t(1));
    QCOMPARE(page.DeviceName()->text(), QStringLiteral("Kestrel"));
    QVERIFY(!page.Changed());
  }

  // A translated date format is shown translated and sent as the tracker's text.
  void translatedDateFormatIsSentAsBuiltIn() {
    ShellEnv env;
    env.WriteFile(QStringLiteral("lang.lng"), QByteArray("[Test]\nSTR_DEVICEPAGE_DATEFORMAT5=TT.MM.JJ\n"));
    settings::SetLanguagesPathOverride(std::filesystem::path(env.Path(QStringLiteral("lang.lng")).toStdString()));
    env.Context().SetLanguage("Test");
    sim::Simulator* tracker = Tracker(env);
    QVERIFY(tracker);
    Standalone<InfoPage> view(env);
    InfoPage& page = *view.page;
    page.show();
    QCOMPARE(page.DateFormat()->currentText(), QStringLiteral("TT.MM.JJ"));
    page.PhoneNumber()->setText(QStringLiteral("0911"));
    ApplyAndWait(&page);
    const auto sets = SetSentences(*tracker);
    QCOMPARE(sets.size(), std::size_t(1));
    QVERIFY2(sets[0].bytes.find(",F4=dd.mm.yy,") != std::string::npos, sets[0].bytes.c_str());
  }

  void changePasswordOpensThePasswordPage() {
    ShellEnv env;
    QVERIFY(Tracker(env));
    Standalone<InfoPage> view(env);
    InfoPage& page = *view.page;
    QTest::mouseClick(page.ChangePassword(), Qt::LeftButton);
    // The password sheet lies over the page, which waits for it.
    PasswordPage* sheet = view.window->findChild<PasswordPage*>();
    QVERIFY(sheet && sheet->isVisible());
    QVERIFY(!page.isEnabled());
    QTest::keyClick(sheet, Qt::Key_Escape);
    QVERIFY(!sheet->isVisible());
    QVERIFY(page.isEnabled());
    QVERIFY(!page.Changed());
  }

  void screens_data() { AddLanguageRows(); }
  void screens() {
    QFETCH(QString, language);
    ShellEnv env;
    env.Context().SetLanguage(language.toStdString());
    QVERIFY(Tracker(env));
    env.Context().deviceUserName = "Kestrel";
    Standalone<InfoPage> view(env);
    InfoPage& page = *view.page;
    page.show();
    QVERIFY(env.messages.empty());
    SaveScreen(&page, QStringLiteral("info-page-") + language);
  }
};

QTEST_MAIN(TestInfoPage)
#include "tst_info_page.moc"
