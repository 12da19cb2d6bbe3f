// The login, password and settings windows through their buttons and Enter.
#include "qt_warnings.h"
#include <QCheckBox>
#include <QSignalSpy>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "device/device_port.h"
#include "journal_timing.h"
#include "device/session.h"
#include "pages/LoginPage.h"
#include "pages/PasswordPage.h"
#include "pages/SetupPage.h"
#include "settings/ini_file.h"
#include "settings/text_encoding.h"
#include "shell_test_support.h"

using namespace zd573;
using namespace zd573::test;

namespace {

std::string PasswordSentence(const std::string& password) {
  return "KVS,KestrovinZD-573,3,0,OU=" + password + "*QQ!\r\n";
}

// The tracker identified on ttyACM0, as a login leaves it: a write needs its IMEI for the backup first.
void Identified(ShellEnv& env, const std::string& imei = "356895037533210") {
  env.Context().portName = "ttyACM0";
  env.Context().Settings().Update([&](DeviceValues& v) { v.SetText("B2", imei); });
}

}  // namespace

class TestDialogs : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  void loginMatches_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("opens");
    QTest::newRow("exact") << "Secret1" << "Secret1" << true;
    QTest::newRow("letter case differs") << "secret1" << "Secret1" << false;
    QTest::newRow("default, device has none") << "4071" << "" << true;
    QTest::newRow("default, device has one") << "4071" << "1234" << false;
    QTest::newRow("empty, device has none") << "" << "" << true;
    QTest::newRow("other, device has none") << "0000" << "" << false;
    QTest::newRow("trailing blank") << "1234 " << "1234" << false;
  }
  void loginMatches() {
    QFETCH(QString, typed);
    QFETCH(QString, device);
    QFETCH(bool, opens);
    QCOMPARE(PasswordOpens(typed.toStdString(), device.toStdString()), opens);
  }

  void loginThroughButtonsAndEnter() {
    ShellEnv env;
    env.Context().Settings().Update([](DeviceValues& v) { v.SetText("OU", "Kx9"); });
    LoginPage page(env.Context(), nullptr);
    page.show();
    QCOMPARE(page.size(), QSize(350, 250));
    QCOMPARE(page.windowTitle(), QStringLiteral("Login"));
    QCOMPARE(page.HintLabel()->text(), QStringLiteral("(Default Password:4071)"));
    // Masked, and shown while the box says so.
    QCOMPARE(page.PasswordEdit()->echoMode(), QLineEdit::Password);
    QCOMPARE(page.RevealBox()->text(), QStringLiteral("Show password"));
    page.RevealBox()->click();
    QCOMPARE(page.PasswordEdit()->echoMode(), QLineEdit::Normal);
    page.RevealBox()->click();
    QCOMPARE(page.PasswordEdit()->echoMode(), QLineEdit::Password);
    QVERIFY(page.WrongNote()->isHidden());
    page.PasswordEdit()->setText(QStringLiteral("kx9"));
    QTest::mouseClick(page.ConfirmButton(), Qt::LeftButton);
    // A wrong password: the sheet stays, says so and offers the text for retyping.
    QVERIFY(page.isVisible());
    QCOMPARE(page.result(), 0);
    QCOMPARE(page.Typed(), QStringLiteral("kx9"));
    QVERIFY(env.messages.empty());
    QVERIFY(page.WrongNote()->isVisible());
    QCOMPARE(page.WrongNote()->text(), QStringLiteral("Wrong password"));
    QCOMPARE(page.PasswordEdit()->selectedText(), QStringLiteral("kx9"));
    SaveScreen(&page, QStringLiteral("login-English"));
    page.PasswordEdit()->setText(QStringLiteral("Kx9"));
    QTest::keyClick(page.PasswordEdit(), Qt::Key_Enter);
    QVERIFY(!page.isVisible());
    QCOMPARE(page.result(), int(SkinnedDialog::Accepted));
    QCOMPARE(page.Typed(), QStringLiteral("Kx9"));
  }

  void loginCancel() {
    ShellEnv env;
    env.Context().Settings().Update([](DeviceValues& v) { v.SetText("OU", "4071"); });
    LoginPage page(env.Context(), nullptr);
    page.show();
    page.PasswordEdit()->setText(QStringLiteral("4071"));
    QTest::mouseClick(page.CancelButton(), Qt::LeftButton);
    QCOMPARE(page.result(), int(SkinnedDialog::Rejected));
  }

  void loginChinese() {
    ShellEnv env;
    env.Context().SetLanguage("TChinese");
    LoginPage page(env.Context(), nullptr);
    page.show();
    QCOMPARE(page.ConfirmCaption()->text(), QStringLiteral("登入"));
    SaveScreen(&page, QStringLiteral("login-TChinese"));
  }

  // Entries the window refuses with its error box, sending nothing.
  void passwordRefused_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("again");
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QString>("why");
    QTest::newRow("entries differ") << "abc" << "abd" << 1252 << "The two entries differ.";
    QTest::newRow("letter case differs") << "abc" << "ABC" << 1252 << "The two entries differ.";
    QTest::newRow("16 characters") << "0123456789abcdef" << "0123456789abcdef" << 1252 << "too long: 16 bytes";
    QTest::newRow("8 Big5 characters = 16 bytes") << "密碼密碼密碼密碼" << "密碼密碼密碼密碼" << 950 << "too long: 16 bytes";
    QTest::newRow("not in the code page") << "密碼" << "密碼" << 1252 << "cannot write";
    QTest::newRow("comma breaks the sentence") << "ab,cd" << "ab,cd" << 1252 << "a comma";
    QTest::newRow("asterisk breaks the sentence") << "ab*QQ!" << "ab*QQ!" << 1252 << "sentence end";
  }
  void passwordRefused() {
    QFETCH(QString, entry);
    QFETCH(QString, again);
    QFETCH(int, codePage);
    QFETCH(QString, why);
    ShellEnv env;
    QVERIFY(settings::WriteDeviceCodePage(env.Context().SystemIni(), codePage));
    sim::Simulator* tracker = env.StartTracker();
    env.HoldTrackerPort();
    env.Context().Settings().Update([](DeviceValues& v) { v.SetText("OU", "4071"); });
    PasswordPage page(env.Context(), nullptr);
    page.show();
    page.NewEdit()->setText(entry);
    page.ConfirmEdit()->setText(again);
    QTest::mouseClick(page.ConfirmButton(), Qt::LeftButton);
    QCOMPARE(env.messages.size(), std::size_t(1));
    // The first line as it always was, then the reason.
    QVERIFY2(env.messages[0].text.startsWith(QStringLiteral("Error\n\n")) && env.messages[0].text.contains(why),
             qPrintable(env.messages[0].text));
    QCOMPARE(env.messages[0].icon, MessageIcon::Error);
    QVERIFY(page.isVisible());
    QCOMPARE(page.NewEdit()->text(), entry);
    QCOMPARE(page.ConfirmEdit()->text(), again);
    QCOMPARE(env.Context().Settings().Text("OU"), std::string("4071"));
    QTest::qWait(100);
    QVERIFY(tracker->Journal().empty());
  }

  void passwordSent_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("15 characters") << "0123456789abcde" << 1252 << QByteArray("0123456789abcde");
    QTest::newRow("empty") << "" << 1252 << QByteArray();
    QTest::newRow("7 Big5 characters") << "密碼密碼密碼密" << 950
                                       << QByteArray("\xB1\x4B\xBD\x58\xB1\x4B\xBD\x58\xB1\x4B\xBD\x58\xB1\x4B");
  }
  void passwordSent() {
    QFETCH(QString, entry);
    QFETCH(int, codePage);
    QFETCH(QByteArray, bytes);
    ShellEnv env;
    QVERIFY(settings::WriteDeviceCodePage(env.Context().SystemIni(), codePage));
    sim::Simulator* tracker = env.StartTracker();
    env.HoldTrackerPort();
    Identified(env, tracker->Value("B2"));
    PasswordPage page(env.Context(), nullptr);
    page.show();
    page.NewEdit()->setText(entry);
    page.ConfirmEdit()->setText(entry);
    QTest::keyClick(page.ConfirmEdit(), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!page.Busy(), 15000);
    // Read back and taken: the user is told.
    QCOMPARE(env.messages.size(), std::size_t(1));
    QCOMPARE(env.messages[0].text, QStringLiteral("Password changed"));
    QCOMPARE(env.messages[0].icon, MessageIcon::Information);
    QCOMPARE(page.result(), int(SkinnedDialog::Accepted));
    const std::string expected = PasswordSentence(bytes.toStdString());
    QVERIFY(tracker->WaitForSentences(1, 3000));
    QCOMPARE(tracker->Journal().front().bytes, expected);
    QCOMPARE(env.Context().Settings().Text("OU"), bytes.toStdString());
    QCOMPARE(tracker->Value("OU"), bytes.toStdString());
  }

  void passwordWithoutPort() {
    ShellEnv env;
    Identified(env);
    env.Context().Settings().Update([](DeviceValues& v) { v.SetText("OU", "4071"); });
    PasswordPage page(env.Context(), nullptr);
    page.show();
    page.NewEdit()->setText(QStringLiteral("9999"));
    page.ConfirmEdit()->setText(QStringLiteral("9999"));
    QTest::mouseClick(page.ConfirmButton(), Qt::LeftButton);
    QTRY_VERIFY(!page.Busy());
    QCOMPARE(env.messages.size(), std::size_t(1));
    QVERIFY(env.messages[0].text.startsWith(QStringLiteral("The port is not open\n\n")));
    QCOMPARE(env.messages[0].icon, MessageIcon::Error);
    QVERIFY(page.isVisible());
    QCOMPARE(env.Context().Settings().Text("OU"), std::string("4071"));
  }

  // The real pause after the sentence: the port stays quiet for at least
  // 1000 ms after "OU=..." before anything else can reach the tracker.
  void passwordPauseIsKept() {
    ShellEnv env;
    env.Context().durations.setSentencePause = timing::kSetSentencePause;
    sim::Simulator* tracker = env.StartTracker();
    env.HoldTrackerPort();
    Identified(env, tracker->Value("B2"));
    PasswordPage page(env.Context(), nullptr);
    page.show();
    page.NewEdit()->setText(QStringLiteral("7777"));
    page.ConfirmEdit()->setText(QStringLiteral("7777"));
    QTest::mouseClick(page.ConfirmButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!page.Busy(), 15000);
    QCOMPARE(page.result(), int(SkinnedDialog::Accepted));
    // The read-back's query comes after the pause; so does anything else.
    auto port = env.Context().LeasePort();
    QVERIFY(port.ok());
    QVERIFY((*port)->Write("KVC,KestrovinZD-573,L1(B2,OU)*QQ!\r\n").ok());
    QVERIFY(tracker->WaitForSentences(2, 3000));
    const auto journal = tracker->Journal();
    QCOMPARE(journal[0].bytes, PasswordSentence("7777"));
    QVERIFY2(journal[1].ms - journal[0].ms >= test::MinJournalGapMs(timing::kSetSentencePause),
             qPrintable(QString::number(journal[1].ms - journal[0].ms)));
  }

  void passwordScreens_data() {
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << "English";
    QTest::newRow("TChinese") << "TChinese";
  }
  void passwordScreens() {
    QFETCH(QString, language);
    ShellEnv env;
    env.Context().SetLanguage(language.toStdString());
    PasswordPage page(env.Context(), nullptr);
    page.show();
    page.NewEdit()->setText(QStringLiteral("new1"));
    SaveScreen(&page, QStringLiteral("password-") + language);
    QCOMPARE(page.windowTitle(), language == QLatin1String("English") ? QStringLiteral("Change Password")
                                                                       : env.Context().Text("STR_PASSWORDPAGE_STR1"));
  }

  void setupListsLanguagesSorted() {
    ShellEnv env;
    env.WriteFile(QStringLiteral("lang.lng"), "[TChinese]\nSTR_SETUPPAGE_OPTIONS=X\n[English]\n[german]\n");
    settings::SetLanguagesPathOverride(std::filesystem::path(env.Path(QStringLiteral("lang.lng")).toStdString()));
    env.Context().SetLanguage("TChinese");
    SetupPage page(env.Context(), nullptr);
    QStringList items;
    for (int i = 0; i < page.LanguageList()->count(); ++i) items << page.LanguageList()->itemText(i);
    QCOMPARE(items, (QStringList{"English", "german", "TChinese"}));
    QCOMPARE(page.LanguageList()->currentText(), QStringLiteral("TChinese"));
    QCOMPARE(page.CurrentMode(), SetupPage::Mode::Options);
  }

  void setupWithoutMatchingLanguage() {
    ShellEnv env;
    env.Context().SetLanguage("Klingon");
    SetupPage page(env.Context(), nullptr);
    QCOMPARE(page.LanguageList()->currentIndex(), -1);
  }

  void setupTabs() {
    ShellEnv env;
    env.WriteFile(QStringLiteral("lang.lng"), "[English]\nSTR_GLOBAL_ABOUT=First line.\\nSecond line.\\r\n");
    settings::SetLanguagesPathOverride(std::filesystem::path(env.Path(QStringLiteral("lang.lng")).toStdString()));
    SetupPage page(env.Context(), nullptr);
    page.show();
    QCOMPARE(page.size(), QSize(450, 360));
    QCOMPARE(page.OptionsTab()->Foreground(), QColor(0, 0, 0));
    QCOMPARE(page.AboutTab()->Foreground(), QColor(255, 255, 255));
    QCOMPARE(page.FieldLabel()->text(), QStringLiteral("Language:"));
    QTest::mouseClick(page.AboutTab(), Qt::LeftButton);
    QCOMPARE(page.CurrentMode(), SetupPage::Mode::About);
    QCOMPARE(page.FieldLabel()->text(), QStringLiteral("First line.\nSecond line.\r\n\nVersion " ZD573_VERSION));
    QCOMPARE(page.OptionsTab()->Foreground(), QColor(255, 255, 255));
    QCOMPARE(page.AboutTab()->Foreground(), QColor(0, 0, 0));
    QVERIFY(!page.LanguageList()->isVisible());
    QVERIFY(!page.ConfirmButton()->isVisible());
    QVERIFY(!page.ConfirmCaption()->isVisible());
    QVERIFY(page.CancelButton()->isVisible());
    QTest::mouseClick(page.OptionsTab(), Qt::LeftButton);
    QCOMPARE(page.CurrentMode(), SetupPage::Mode::Options);
    QVERIFY(page.LanguageList()->isVisible());
    QVERIFY(page.ConfirmButton()->isVisible());
  }

  void setupConfirmAndCancel_data() {
    QTest::addColumn<bool>("confirm");
    QTest::newRow("confirm") << true;
    QTest::newRow("cancel after switching tabs") << false;
  }
  void setupConfirmAndCancel() {
    QFETCH(bool, confirm);
    ShellEnv env;
    SetupPage page(env.Context(), nullptr);
    QSignalSpy languageChanged(&page, &SetupPage::languageChanged);
    page.show();
    page.LanguageList()->setCurrentIndex(page.LanguageList()->findData(QStringLiteral("TChinese")));
    // The language brings its encoding; a pick other than that one is stored.
    QCOMPARE(page.CodePageList()->currentData().toInt(), 950);
    const int western = page.CodePageList()->findData(1252);
    QVERIFY(western >= 0);
    page.CodePageList()->setCurrentIndex(western);
    page.ShowAbout();
    page.ShowOptions();
    QTest::mouseClick(confirm ? page.ConfirmButton() : page.CancelButton(), Qt::LeftButton);
    QCOMPARE(page.result(), int(confirm ? SkinnedDialog::Accepted : SkinnedDialog::Rejected));
    QCOMPARE(languageChanged.size(), confirm ? 1 : 0);
    const settings::IniFile ini = env.Context().SystemIni();
    QCOMPARE(ini.Read("SYSTEM", "DefaultLanguage", "none"), std::string(confirm ? "TChinese" : "none"));
    QCOMPARE(env.Context().Language(), std::string(confirm ? "TChinese" : "English"));
    QCOMPARE(settings::ChosenDeviceCodePage(ini) == 1252, confirm);
    if (confirm) QCOMPARE(env.Context().CodePage(), 1252);
  }

  void setupTabsShowTheirControls_data() {
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << "English";
    QTest::newRow("TChinese") << "TChinese";
  }
  void setupTabsShowTheirControls() {
    QFETCH(QString, language);
    ShellEnv env;
    env.Context().SetLanguage(language.toStdString());
    SetupPage page(env.Context(), nullptr);
    page.show();
    // Options: the lists and OK; About: the notice alone, with Cancel to leave.
    QVERIFY(page.LanguageList()->isVisible() && page.CodePageList()->isVisible());
    QVERIFY(page.ConfirmButton()->isVisible());
    SaveScreen(&page, QStringLiteral("setup-options-") + language);
    page.ShowAbout();
    QVERIFY(!page.LanguageList()->isVisible() && !page.CodePageList()->isVisible());
    QVERIFY(!page.ConfirmButton()->isVisible() && page.CancelButton()->isVisible());
    SaveScreen(&page, QStringLiteral("setup-about-") + language);
  }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
