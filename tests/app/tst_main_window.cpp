// The main window's states end to end against the simulated tracker on a pty.
#include "qt_warnings.h"
#include <QLineEdit>
#include <QAccessible>
#include <QComboBox>
#include <QSignalSpy>
#include <QtTest>

#include "app/CZD573_UtilityApp.h"
#include "app/CZD573_UtilityDlg.h"
#include "device/device_port.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "pages/InfoPage.h"
#include "pages/LoginPage.h"
#include "pages/PasswordPage.h"
#include "pages/PageRegistry.h"
#include "pages/SetupPage.h"
#include "settings/ini_file.h"
#include "shell_test_support.h"

using namespace zd573;
using namespace zd573::test;
using Dlg = CZD573_UtilityDlg;

namespace {

constexpr const char* kSimImei = "356895037533210";
constexpr int kWait = 30000;

std::unique_ptr<Dlg> MakeWindow(ShellEnv& env) {
  auto window = std::make_unique<Dlg>(env.Context());
  window->WatchDeviceDirectory(QString::fromStdString(env.Tree().DevRoot().string()));
  window->show();
  return window;
}

bool PageButtonsEnabled(const Dlg& w) {
  for (int id : {Dlg::kInfoButton, Dlg::kMsgButton, Dlg::kGprsButton, Dlg::kRingButton, Dlg::kLoggerButton}) {
    if (w.Button(id)->DisabledState()) return false;
  }
  return true;
}

// What the login page was given last.
QString lastTyped;

// Presses Login; when the login page shows, types each entry in turn and
// presses OK (or Enter for the last).
void LoginWith(Dlg& w, QStringList entries, bool enterForLast) {
  QTest::mouseClick(w.Button(Dlg::kLoginButton), Qt::LeftButton);
  auto* page = qobject_cast<LoginPage*>(w.OpenSheet());
  QVERIFY(page);
  QObject::connect(page, &SkinnedDialog::finished, page, [page] { lastTyped = page->Typed(); });
  for (int i = 0; i < entries.size(); ++i) {
    page->PasswordEdit()->setText(entries[i]);
    const bool last = i + 1 == entries.size();
    if (last && enterForLast) {
      QTest::keyClick(page->PasswordEdit(), Qt::Key_Return);
    } else {
      QTest::mouseClick(page->ConfirmButton(), Qt::LeftButton);
    }
    // A wrong entry leaves the page open and silent.
    if (!last) QVERIFY(page->isVisible());
  }
}

// Presses Settings and confirms a language on the sheet.
void ChooseLanguage(Dlg& w, const QString& language) {
  QTest::mouseClick(w.Button(Dlg::kSettingsButton), Qt::LeftButton);
  auto* page = qobject_cast<SetupPage*>(w.OpenSheet());
  QVERIFY(page);
  page->LanguageList()->setCurrentIndex(page->LanguageList()->findData(language));
  QTest::mouseClick(page->ConfirmButton(), Qt::LeftButton);
}

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }


  void startsSearchingWithEverythingDisabled() {
    ShellEnv env;
    auto w = MakeWindow(env);
    QCOMPARE(w->StatusCode(), int(Dlg::kSearching));
    QCOMPARE(w->StatusLabel()->text(), QStringLiteral("Search Device..."));
    QCOMPARE(w->windowTitle(), QStringLiteral("ZD-573 Utility"));
    QCOMPARE(w->size(), QSize(802, 602));
    QVERIFY(w->Button(Dlg::kLoginButton)->isVisibleTo(w.get()));
    QVERIFY(w->Button(Dlg::kLoginButton)->DisabledState());
    QVERIFY(!w->Button(Dlg::kLogoutButton)->isVisibleTo(w.get()));
    QVERIFY(!w->Button(Dlg::kSettingsButton)->DisabledState());
    QVERIFY(!PageButtonsEnabled(*w));
    QCOMPARE(w->Caption(1)->text(), QStringLiteral("Contacts && Message"));
    QVERIFY(w->SearchPending());
    SaveScreen(w.get(), QStringLiteral("main-searching-English"));
  }

  // No tracker -> "No Device"; a tracker appearing -> identified -> login
  // page (wrong, then right password) -> full read -> Loginout -> "No
  // Device" -> identified again.
  void wholeStateTable() {
    ShellEnv env;
    auto w = MakeWindow(env);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kNoDevice), kWait);
    QCOMPARE(w->StatusLabel()->text(), QStringLiteral("No Device"));
    QVERIFY(w->Button(Dlg::kLoginButton)->DisabledState());
    QVERIFY(!w->SearchPending());
    SaveScreen(w.get(), QStringLiteral("main-nodevice-English"));

    QVERIFY(env.StartTracker());
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    QCOMPARE(w->StatusLabel()->text(), QStringLiteral("IMEI: %1").arg(QLatin1String(kSimImei)));
    QVERIFY(!w->Button(Dlg::kLoginButton)->DisabledState());
    QVERIFY(!w->ReadRunning());
    QCOMPARE(env.Context().portName, std::string("ttyACM0"));
    SaveScreen(w.get(), QStringLiteral("main-identified-English"));

    QSignalSpy statuses(w.get(), &Dlg::statusChanged);
    LoginWith(*w, {QStringLiteral("1234"), QStringLiteral("4071")}, true);
    QCOMPARE(lastTyped, QStringLiteral("4071"));
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kReadCorrect), kWait);
    QCOMPARE(statuses.at(0).at(0).toInt(), int(Dlg::kPasswordCorrect));
    QCOMPARE(statuses.at(1).at(0).toInt(), int(Dlg::kReading));
    QCOMPARE(w->StatusLabel()->text(), QStringLiteral("Read Setting Correct"));
    QVERIFY(env.Context().Settings().AllReceived());
    QVERIFY(!w->Button(Dlg::kLoginButton)->isVisibleTo(w.get()));
    QVERIFY(w->Button(Dlg::kLogoutButton)->isVisibleTo(w.get()));
    QVERIFY(PageButtonsEnabled(*w));
    QVERIFY(!w->ReadRunning());
    QVERIFY(env.messages.empty());
    SaveScreen(w.get(), QStringLiteral("main-ready-English"));

    QTest::mouseClick(w->Button(Dlg::kLogoutButton), Qt::LeftButton);
    QCOMPARE(w->StatusCode(), int(Dlg::kNoDevice));
    QVERIFY(w->Button(Dlg::kLoginButton)->isVisibleTo(w.get()));
    QVERIFY(w->Button(Dlg::kLoginButton)->DisabledState());
    QVERIFY(!PageButtonsEnabled(*w));
    QVERIFY(w->SearchPending());
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
  }

  void emptyDevicePasswordLogsInWithoutLoginPage() {
    ShellEnv env;
    env.StartTracker()->SetValue("OU", "");
    auto w = MakeWindow(env);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    w->OnLogin();
    QVERIFY(!w->OpenSheet());
    QCOMPARE(w->StatusCode(), int(Dlg::kPasswordCorrect));
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kReadCorrect), kWait);
  }

  // The sheets lie over the dimmed menu, which takes no input meanwhile;
  // Cancel and Escape leave everything as it was.
  void cancelledSheetsChangeNothing_data() { AddLanguageRows(); }
  void cancelledSheetsChangeNothing() {
    QFETCH(QString, language);
    ShellEnv env;
    QVERIFY(settings::WriteCurrentLanguage(env.Context().SystemIni(), language.toStdString()).ok());
    env.StartTracker();
    auto w = MakeWindow(env);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    w->OnLogin();
    auto* page = qobject_cast<LoginPage*>(w->OpenSheet());
    QVERIFY(page);
    QVERIFY(!w->Menu()->isEnabled());
    SaveScreen(w.get(), QStringLiteral("window-sheet-login-") + language);
    page->PasswordEdit()->setText(QStringLiteral("4071"));
    QTest::mouseClick(page->CancelButton(), Qt::LeftButton);
    QTRY_VERIFY(!w->OpenSheet());
    QVERIFY(w->Menu()->isEnabled());
    QCOMPARE(w->StatusCode(), int(Dlg::kIdentified));
    QVERIFY(!w->Button(Dlg::kLoginButton)->DisabledState());
    QTest::qWait(100);
    QVERIFY(!w->ReadRunning());

    QTest::mouseClick(w->Button(Dlg::kSettingsButton), Qt::LeftButton);
    auto* setup = qobject_cast<SetupPage*>(w->OpenSheet());
    QVERIFY(setup);
    QVERIFY(!w->Menu()->isEnabled());
    SaveScreen(w.get(), QStringLiteral("window-sheet-setup-") + language);
    setup->LanguageList()->setCurrentIndex(setup->LanguageList()->findText(QStringLiteral("Bare")));
    QTest::keyClick(setup, Qt::Key_Escape);
    QTRY_VERIFY(!w->OpenSheet());
    QVERIFY(w->Menu()->isEnabled());
    QCOMPARE(env.Context().Language(), language.toStdString());
  }


  void storedDeviceNameReplacesImei() {
    ShellEnv env;
    env.WriteFile(QStringLiteral("system.ini"),
                  QByteArray("[USERNAME]\n") + kSimImei + "=Kestrel on the bike\n356895037533211=Other\n");
    env.StartTracker();
    auto w = MakeWindow(env);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    QCOMPARE(w->StatusLabel()->text(), QStringLiteral("Kestrel on the bike"));
    QCOMPARE(env.Context().deviceUserName, std::string("Kestrel on the bike"));
  }

  void defaultNameShowsImei() {
    ShellEnv env;
    env.WriteFile(QStringLiteral("system.ini"), QByteArray("[USERNAME]\n") + kSimImei + "=ZD573\n");
    env.StartTracker();
    auto w = MakeWindow(env);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    QCOMPARE(w->StatusLabel()->text(), QStringLiteral("IMEI: %1").arg(QLatin1String(kSimImei)));
    QCOMPARE(env.Context().deviceUserName, std::string("ZD573"));
  }

  // A status text from the language file is a format a user can edit: a
  // stray conversion must not be handed to printf.
  void imeiFormatFromFileIsSubstitutedSafely() {
    ShellEnv env;
    env.WriteFile(QStringLiteral("odd.lng"), "[Odd]\nSTR_MAINPAGE_DEVICE2=%d%n IMEI %s %s\n");
    settings::SetLanguagesPathOverride(std::filesystem::path(env.Path(QStringLiteral("odd.lng")).toStdString()));
    env.WriteFile(QStringLiteral("system.ini"), "[SYSTEM]\nDefaultLanguage=Odd\n");
    env.StartTracker();
    auto w = MakeWindow(env);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    QCOMPARE(w->StatusLabel()->text(), QStringLiteral("%d%n IMEI %1 %s").arg(QLatin1String(kSimImei)));
    // Keys the section lacks show their English texts.
    QCOMPARE(w->Caption(0)->text(), QStringLiteral("Device Information"));
  }

  void languageChangeRetranslatesAtOnce() {
    ShellEnv env;
    env.StartTracker();
    auto w = MakeWindow(env);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    ChooseLanguage(*w, QStringLiteral("TChinese"));
    QCOMPARE(env.Context().Language(), std::string("TChinese"));
    QCOMPARE(w->Caption(0)->text(), QStringLiteral("裝置資訊"));
    QCOMPARE(w->StatusLabel()->text(), QStringLiteral("IMEI：%1").arg(QLatin1String(kSimImei)));
    QCOMPARE(w->windowTitle(), QStringLiteral("ZD-573 工具程式"));
    QCOMPARE(w->Button(Dlg::kLoginButton)->Caption(), QStringLiteral("登入"));
    QCOMPARE(env.Context().leaveQuestion, QStringLiteral("變更尚未套用，確定要放棄變更並離開嗎？"));
    settings::IniFile ini(env.Path(QStringLiteral("system.ini")).toStdString());
    QCOMPARE(ini.Read("SYSTEM", "DefaultLanguage", ""), std::string("TChinese"));
    SaveScreen(w.get(), QStringLiteral("main-identified-TChinese"));
  }

  // The other states in Traditional Chinese, for the screenshots and to see
  // that each status text comes from the language file.
  void chineseStates() {
    ShellEnv env;
    env.WriteFile(QStringLiteral("system.ini"), "[SYSTEM]\nDefaultLanguage=TChinese\n");
    auto w = MakeWindow(env);
    QCOMPARE(w->StatusLabel()->text(), QStringLiteral("正在搜尋裝置..."));
    SaveScreen(w.get(), QStringLiteral("main-searching-TChinese"));
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kNoDevice), kWait);
    QCOMPARE(w->StatusLabel()->text(), QStringLiteral("找不到裝置"));
    SaveScreen(w.get(), QStringLiteral("main-nodevice-TChinese"));
    env.StartTracker();
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    LoginWith(*w, {QStringLiteral("4071")}, false);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kReadCorrect), kWait);
    QCOMPARE(w->StatusLabel()->text(), QStringLiteral("設定讀取成功"));
    QCOMPARE(w->Button(Dlg::kLogoutButton)->Caption(), QStringLiteral("  登出"));
    SaveScreen(w.get(), QStringLiteral("main-ready-TChinese"));
  }

  // A full read that stops getting keys ends with "Read Setting  Failure"
  // and Login usable again, instead of waiting for ever.
  void stalledFullReadFails() {
    ShellEnv env;
    env.Context().durations.fullReadStall = 400ms;
    BarePty device;
    QVERIFY(!device.SlavePath().empty());
    auto w = std::make_unique<Dlg>(env.Context());
    w->SetFixedPort(device.SlavePath());
    w->show();
    QTRY_VERIFY_WITH_TIMEOUT(w->ReadRunning(), kWait);
    QVERIFY(device.Write(std::string("KVs,B2=") + kSimImei + ",OU=*QQ!\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    w->OnLogin();
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kReading), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kReadFailure), kWait);
    // The failure's first line as it always was, then why: the tracker went quiet.
    const QString why = QStringLiteral("The tracker stopped answering during the read: 0 of 83 settings read.");
    QCOMPARE(w->StatusLabel()->text(), QStringLiteral("Read Setting  Failure  ") + why);
    QCOMPARE(int(env.messages.size()), 1);
    QVERIFY2(env.messages[0].text.startsWith(why), qPrintable(env.messages[0].text));
    QVERIFY(!w->Button(Dlg::kLoginButton)->DisabledState());
    QVERIFY(w->Button(Dlg::kLoginButton)->isVisibleTo(w.get()));
    QVERIFY(!PageButtonsEnabled(*w));
    QVERIFY(!w->ReadRunning());
    SaveScreen(w.get(), QStringLiteral("main-readfailure-English"));
  }

  // The tracker unplugged after its identification, then Login: the search
  // finds it gone while the login page is open. Login stays disabled until
  // the tracker is identified again, and the status follows the search.
  void loginAfterUnplug() {
    ShellEnv env;
    env.StartTracker();
    // Not watching the device folder: the test says when the search runs.
    auto w = std::make_unique<Dlg>(env.Context());
    w->show();
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    env.Tree().Unplug("ttyACM0");
    QSignalSpy statuses(w.get(), &Dlg::statusChanged);
    w->OnLogin();
    auto* page = qobject_cast<LoginPage*>(w->OpenSheet());
    QVERIFY(page);
    w->OnSearchTimer();
    QTRY_VERIFY(!w->Searching());
    page->PasswordEdit()->setText(QStringLiteral("4071"));
    QTest::mouseClick(page->ConfirmButton(), Qt::LeftButton);
    // The login does not go on for a tracker that is gone.
    QCOMPARE(statuses.size(), 1);
    QCOMPARE(w->StatusCode(), int(Dlg::kNoDevice));
    QVERIFY(env.messages.empty());
    QVERIFY(w->Button(Dlg::kLoginButton)->DisabledState());
    QVERIFY(!w->ReadRunning());
    QVERIFY(!PageButtonsEnabled(*w));
    env.PlugTracker();
    w->OnDeviceChange();
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    QVERIFY(!w->Button(Dlg::kLoginButton)->DisabledState());
  }

  // A tty coming or going while a read runs changes nothing for the tracker
  // whose port the session holds: the read goes on, nothing is searched.
  void deviceChangeDuringReadKeepsTheTracker() {
    ShellEnv env;
    env.StartTracker()->SetValue("OU", "");
    auto w = MakeWindow(env);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    w->OnLogin();
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kReading), kWait);
    QVERIFY(w->ReadRunning());
    // The status line says how far the read is, so a screen reader says it too.
    QVERIFY(w->StatusLabel()->text().startsWith(QStringLiteral("Reading Setting ...")));
    QTRY_VERIFY(w->StatusLabel()->text().contains(QStringLiteral(" of 83 settings read")));
    QCOMPARE(QAccessible::queryAccessibleInterface(w->StatusLabel())->role(), QAccessible::StatusBar);
    QVERIFY(w->Button(Dlg::kLoginButton)->DisabledState());
    SaveScreen(w.get(), QStringLiteral("main-reading-English"));
    sim::Simulator other(ShellEnv::FastOptions());
    std::string error;
    QVERIFY(other.Start(&error));
    QVERIFY(env.Tree().Plug("ttyUSB0", other.SlavePath(), "FT232R USB UART"));
    QTest::qWait(300);
    QCOMPARE(w->StatusCode(), int(Dlg::kReading));
    QVERIFY(w->ReadRunning());
    QVERIFY(!w->SearchPending() && !w->Searching());
    QVERIFY(env.messages.empty());
  }

  // Once logged in, other devices coming and going change nothing; the
  // tracker's own port going away ends the session, page and all, so no
  // value read from it can be sent to another tracker.
  void deviceChangeAfterLogin_data() {
    QTest::addColumn<bool>("unplug");
    QTest::addColumn<QString>("open");
    QTest::newRow("another device comes") << false << "";
    QTest::newRow("tracker unplugged on the menu") << true << "";
    QTest::newRow("tracker unplugged with a page open") << true << "page";
    QTest::newRow("tracker unplugged with the password sheet open") << true << "password";
  }
  void deviceChangeAfterLogin() {
    QFETCH(bool, unplug);
    QFETCH(QString, open);
    ShellEnv env;
    env.StartTracker();
    auto w = MakeWindow(env);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    LoginWith(*w, {QStringLiteral("4071")}, false);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kReadCorrect), kWait);
    QPointer<PageFrame> page;
    QPointer<PasswordPage> sheet;
    if (open == QLatin1String("page")) {
      QTest::mouseClick(w->Button(Dlg::kGprsButton), Qt::LeftButton);
      page = w->OpenPage();
      QVERIFY(page);
      page->findChild<QLineEdit*>()->setText(QStringLiteral("edited"));
    } else if (open == QLatin1String("password")) {
      QTest::mouseClick(w->Button(Dlg::kInfoButton), Qt::LeftButton);
      auto* info = qobject_cast<InfoPage*>(w->OpenPage());
      QVERIFY(info);
      page = info;
      QTest::mouseClick(info->ChangePassword(), Qt::LeftButton);
      sheet = w->findChild<PasswordPage*>();
      QVERIFY(sheet && w->OpenSheet() == sheet);
    }
    if (unplug) {
      env.Tree().Unplug("ttyACM0");
    } else {
      BarePty other;
      QVERIFY(env.Tree().Plug("ttyACM1", other.SlavePath()));
    }
    if (!unplug) {
      QTest::qWait(300);
      QVERIFY(!w->SearchPending());
      QCOMPARE(w->StatusCode(), int(Dlg::kReadCorrect));
      QVERIFY(env.messages.empty());
      return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kNoDevice), kWait);
    QTRY_VERIFY(!page);
    // A sheet opened over the page goes with it: nothing typed there can reach the next tracker.
    QTRY_VERIFY(!sheet);
    QVERIFY(!w->OpenSheet());
    QVERIFY(w->Menu()->isVisible() && w->Menu()->isEnabled());
    QVERIFY(w->Button(Dlg::kLoginButton)->isVisible());
    QVERIFY(!PageButtonsEnabled(*w));
    QVERIFY(env.questions.empty());
    QCOMPARE(env.messages.size(), std::size_t(1));
    QVERIFY(env.messages[0].text.contains(QStringLiteral("Log in again")));
    // After the box the keyboard goes to Login, once the tracker is back to log in to.
    env.PlugTracker();
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    QCOMPARE(w->focusWidget(), static_cast<QWidget*>(w->Button(Dlg::kLoginButton)));
  }

  // The real pauses, as lower bounds: 5 s before the first search, 500 ms
  // per matching port, 1000 ms of "Password Correct" before the read.
  void realPausesAreKept() {
    ShellEnv env;
    env.Context().durations = Durations{};
    env.StartTracker();
    QElapsedTimer clock;
    clock.start();
    auto w = MakeWindow(env);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), 20000);
    QVERIFY2(clock.elapsed() >= 5000 + 500, qPrintable(QString::number(clock.elapsed())));
    // Measured from before the login: the pause is armed after this starts,
    // so what it measures can only be longer than the pause.
    QElapsedTimer sinceLogin;
    qint64 shown = -1;
    connect(w.get(), &Dlg::statusChanged, this, [&](int code) {
      if (code == Dlg::kReading && shown < 0) shown = sinceLogin.elapsed();
    });
    sinceLogin.start();
    LoginWith(*w, {QStringLiteral("4071")}, true);
    QTRY_VERIFY_WITH_TIMEOUT(shown >= 0, 5000);
    QVERIFY2(shown >= 1000, qPrintable(QString::number(shown)));
  }

  // What a person does with --demo: the simulated tracker is found, 4071
  // logs in, the read completes, the settings switch to TChinese.
  void demoWalkThrough() {
    ShellEnv env;
    DemoTracker demo;
    std::string error;
    QVERIFY2(demo.Start(&error), error.c_str());
    auto w = std::make_unique<Dlg>(env.Context());
    w->WatchDeviceDirectory(QString::fromStdString(DevRoot()));
    w->show();
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    LoginWith(*w, {QStringLiteral("4071")}, false);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kReadCorrect), 30000);
    QVERIFY(PageButtonsEnabled(*w));
    ChooseLanguage(*w, QStringLiteral("TChinese"));
    QCOMPARE(w->StatusLabel()->text(), QStringLiteral("設定讀取成功"));
    w.reset();
    // Nothing holds the tracker's port any more.
    QVERIFY(OpenComPort(DemoTracker::kPortName).ok());
  }

  void arguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("demo");
    QTest::addColumn<QString>("port");
    QTest::newRow("none") << QStringList{} << true << false << "";
    QTest::newRow("demo") << QStringList{"--demo"} << true << true << "";
    QTest::newRow("port") << QStringList{"--port", "/dev/ttyACM3"} << true << false << "/dev/ttyACM3";
    QTest::newRow("port=") << QStringList{"--port=/dev/ttyUSB0"} << true << false << "/dev/ttyUSB0";
    QTest::newRow("port without path") << QStringList{"--port"} << false << false << "";
    QTest::newRow("both") << QStringList{"--demo", "--port", "x"} << false << false << "";
    QTest::newRow("unknown") << QStringList{"--fast"} << false << false << "";
  }
  void arguments() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, ok);
    QFETCH(bool, demo);
    QFETCH(QString, port);
    auto parsed = CZD573_UtilityApp::ParseArguments(arguments);
    QCOMPARE(parsed.ok(), ok);
    if (!ok) return;
    QCOMPARE(parsed->demo, demo);
    QCOMPARE(QString::fromStdString(parsed->port), port);
  }

  void closeButtonEndsProgram() {
    ShellEnv env;
    auto w = MakeWindow(env);
    QTest::mouseClick(w->Button(Dlg::kCloseButton), Qt::LeftButton);
    QCOMPARE(env.exitCodes, std::vector<int>{0});
    QVERIFY(!w->SearchPending());
  }

  // The band hands the move to the window system; nothing sets a position.
  void bandAsksTheWindowSystemToMove_data() {
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("requests");
    QTest::newRow("inside band") << 79 << 1;
    QTest::newRow("below band") << 80 << 0;
  }
  void bandAsksTheWindowSystemToMove() {
    QFETCH(int, y);
    QFETCH(int, requests);
    ShellEnv env;
    int asked = 0;
    env.Context().windowMover = [&asked](QWindow*) { return ++asked, true; };
    auto w = MakeWindow(env);
    const QPoint start = w->pos();
    QTest::mousePress(w.get(), Qt::LeftButton, {}, QPoint(300, y));
    QTest::mouseRelease(w.get(), Qt::LeftButton, {}, QPoint(300, y));
    QCOMPARE(asked, requests);
    QCOMPARE(w->pos(), start);
  }

  // A page takes the menu's place inside the one window: one page at a
  // time, the title names it, Back brings the menu back.
  void pagesReplaceTheMenu_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("language");
    for (const char* language : {"English", "TChinese"})
      for (const PageEntry& e : ConfigurationPages())
        QTest::addRow("%s %s", e.titleKey.data(), language) << e.buttonId << QString::fromLatin1(language);
  }
  void pagesReplaceTheMenu() {
    QFETCH(int, button);
    QFETCH(QString, language);
    ShellEnv env;
    QVERIFY(settings::WriteCurrentLanguage(env.Context().SystemIni(), language.toStdString()).ok());
    env.Context().SetLanguage(language.toStdString());
    const PageEntry* entry = FindPage(button);
    QVERIFY(entry);
    const QString title = PlainCaption(env.Context().Text(entry->titleKey, entry->titleDefault));
    const QString appName = env.Context().Text("STR_MAINPAGE_APPNAME", "ZD-573 Utility");
    env.StartTracker();
    auto w = MakeWindow(env);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    for (int id : Dlg::PageButtonIds()) w->Button(id)->SetDisabledState(false);
    QTest::mouseClick(w->Button(button), Qt::LeftButton);
    QPointer<PageFrame> page = w->OpenPage();
    QVERIFY(page);
    QCOMPARE(page->parentWidget(), w.get());
    QVERIFY(page->isVisible());
    QVERIFY(!w->Menu()->isVisible());
    QCOMPARE(w->windowTitle(), title);
    SaveScreen(w.get(), QStringLiteral("window-page-%1-").arg(button) + language);
    // Nothing of the menu can open a second page or a sheet.
    for (int other : Dlg::PageButtonIds()) w->OnPageButton(other);
    w->OnLogin();
    QCOMPARE(w->OpenPage(), page.data());
    QVERIFY(!w->OpenSheet());
    QTest::keyClick(page, Qt::Key_Escape);
    QTRY_VERIFY(!page);
    QVERIFY(w->Menu()->isVisible());
    QCOMPARE(w->windowTitle(), appName);
    QVERIFY(w->Button(button)->hasFocus() || !w->isActiveWindow());
  }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
