// The window's session holds the port it identified the tracker on: what is
// written reaches that tracker only, whatever comes behind the port's name
// later; a port another program holds is tried again until it is free.
#include "qt_warnings.h"
#include <QLineEdit>
#include <QtTest>

#include <filesystem>

#include "app/CZD573_UtilityDlg.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "device/device_port.h"
#include "page_test_support.h"
#include "pages/GPRSPage.h"
#include "pages/LoginPage.h"

using namespace zd573;
using namespace zd573::test;
using Dlg = CZD573_UtilityDlg;

namespace {

constexpr int kWait = 30000;
constexpr const char* kOtherImei = "356895037533211";
const QString kBusy = QStringLiteral("The port is busy (another program has it open); retrying ...");

// Points `link` at `target`, as a user's own link to a tracker's port.
void PointLink(const QString& link, const std::string& target) {
  std::error_code ignored;
  std::filesystem::remove(link.toStdString(), ignored);
  std::filesystem::create_symlink(target, link.toStdString());
}

void LogIn(Dlg& w) {
  w.OnLogin();
  auto* sheet = qobject_cast<LoginPage*>(w.OpenSheet());
  QVERIFY(sheet);
  sheet->PasswordEdit()->setText(QStringLiteral("4071"));
  QTest::mouseClick(sheet->ConfirmButton(), Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(w.StatusCode(), int(Dlg::kReadCorrect), kWait);
}

}  // namespace

class TestHeldPort : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  // Tracker C is logged in through a link given as the port (--port LINK);
  // the link is then pointed at tracker D. D gets nothing of C's: an Apply
  // goes to C while C is there; C gone, the session ends and says so, and D
  // is only identified, its password still to be given.
  void swapBehindTheLink_data() {
    QTest::addColumn<bool>("firstStays");
    QTest::newRow("first tracker still there") << true;
    QTest::newRow("first tracker gone") << false;
  }
  void swapBehindTheLink() {
    QFETCH(bool, firstStays);
    ShellEnv env;
    sim::Simulator* first = env.StartTracker(false);
    QVERIFY(first);
    const QString link = env.Path(QStringLiteral("tracker"));
    PointLink(link, first->SlavePath());
    auto w = std::make_unique<Dlg>(env.Context());
    w->SetFixedPort(link.toStdString());
    w->show();
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    LogIn(*w);
    QTest::mouseClick(w->Button(Dlg::kGprsButton), Qt::LeftButton);
    QPointer<GPRSPage> page = qobject_cast<GPRSPage*>(w->OpenPage());
    QVERIFY(page);
    page->Box(0)->setText(QStringLiteral("swap.apn"));

    sim::Simulator second(ShellEnv::FastOptions());
    std::string error;
    QVERIFY(second.Start(&error));
    second.SetValue("B2", kOtherImei);
    if (!firstStays) first->Stop();
    PointLink(link, second.SlavePath());
    if (firstStays) {
      ApplyAndWait(page);
      QVERIFY2(env.messages.empty(), env.messages.empty() ? "" : qPrintable(env.messages[0].text));
      QCOMPARE(first->Value("D1"), std::string("swap.apn"));
      QVERIFY(second.Journal().empty());
      return;
    }
    // The held port hung up: the session ends before anything more is sent.
    QTRY_VERIFY_WITH_TIMEOUT(!page, kWait);
    QCOMPARE(env.messages.size(), std::size_t(1));
    QVERIFY(env.messages[0].text.contains(QStringLiteral("Log in again")));
    // Searching again finds D: identified, not logged in, and nothing written.
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    QCOMPARE(w->StatusLabel()->text(), QStringLiteral("IMEI: %1").arg(QLatin1String(kOtherImei)));
    QVERIFY(!w->Button(Dlg::kLoginButton)->DisabledState());
    QVERIFY(SetSentences(second).empty());
  }

  // A page goes out built on what the tracker holds now: its keys and IMEI
  // are read again first. A value another program changed since the login
  // is shown, kept or written over as the user says; another tracker
  // answering on the port gets nothing, and the session ends.
  void writesFromFreshValues_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("keepTheirs");
    QTest::newRow("changed, kept") << QStringLiteral("D2") << true;
    QTest::newRow("changed, written over") << QStringLiteral("D2") << false;
    QTest::newRow("another tracker") << QStringLiteral("B2") << false;
  }
  void writesFromFreshValues() {
    QFETCH(QString, change);
    QFETCH(bool, keepTheirs);
    ShellEnv env;
    sim::Simulator* tracker = env.StartTracker();
    auto w = std::make_unique<Dlg>(env.Context());
    w->WatchDeviceDirectory(QString::fromStdString(env.Tree().DevRoot().string()));
    w->show();
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    LogIn(*w);
    const std::string ours = tracker->Value("D2");
    QTest::mouseClick(w->Button(Dlg::kGprsButton), Qt::LeftButton);
    QPointer<GPRSPage> page = qobject_cast<GPRSPage*>(w->OpenPage());
    QVERIFY(page);
    page->Box(0)->setText(QStringLiteral("fresh.apn"));
    tracker->SetValue(change.toStdString(), change == QLatin1String("B2") ? kOtherImei : "theirs");
    env.answerYes = keepTheirs;
    const std::size_t from = tracker->Journal().size();
    if (change == QLatin1String("B2")) {
      QTest::mouseClick(page->ApplyButton(), Qt::LeftButton);
      QTRY_VERIFY_WITH_TIMEOUT(!page, kWait);
      QVERIFY(SetSentences(*tracker, from).empty());
      QVERIFY2(env.messages.at(0).text.contains(QLatin1String(kOtherImei)), qPrintable(env.messages.at(0).text));
      return;
    }
    ApplyAndWait(page);
    QCOMPARE(env.questions.size(), std::size_t(1));
    QVERIFY2(env.questions[0].contains(QStringLiteral("theirs")), qPrintable(env.questions[0]));
    QCOMPARE(tracker->Value("D1"), std::string("fresh.apn"));
    QCOMPARE(tracker->Value("D2"), keepTheirs ? std::string("theirs") : ours);
  }

  // Another program holds the port when the tracker is found: the status
  // line says so while the open is tried again. Freed within the patience,
  // the tracker is identified without a re-plug; held longer, the user is
  // told why and what to do, and the port is still tried now and then.
  void busyPort_data() {
    QTest::addColumn<int>("patienceMs");
    QTest::newRow("freed after 3 s") << 30000;
    QTest::newRow("held beyond the patience") << 1000;
  }
  void busyPort() {
    QFETCH(int, patienceMs);
    ShellEnv env;
    env.StartTracker();
    env.Context().durations.busyRetry = std::chrono::milliseconds(200);
    env.Context().durations.busyPatience = std::chrono::milliseconds(patienceMs);
    auto other = OpenComPort(env.Tracker()->SlavePath());
    QVERIFY(other.ok());
    QElapsedTimer held;
    held.start();
    auto w = std::make_unique<Dlg>(env.Context());
    w->show();
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusLabel()->text(), kBusy, kWait);
    QCOMPARE(w->StatusCode(), int(Dlg::kSearching));
    const bool beyond = patienceMs < 3000;
    if (beyond) {
      QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kNoDevice), kWait);
      QCOMPARE(env.messages.size(), std::size_t(1));
      const Message& shown = env.messages.front();
      QCOMPARE(shown.icon, MessageIcon::Error);
      QVERIFY2(shown.text.startsWith(QStringLiteral("Unable to open COM-port\n\n")), qPrintable(shown.text));
      QVERIFY2(shown.text.contains(QStringLiteral("in use by another program")), qPrintable(shown.text));
      QVERIFY(shown.text.contains(QString::fromUtf8(PortAdvice(ErrorCode::Busy))));
      QCOMPARE(w->StatusLabel()->text(), QStringLiteral("No Device"));
    }
    QTest::qWait(std::max(0, 3000 - int(held.elapsed())));
    other.value()->Close();
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), kWait);
    QCOMPARE(env.messages.size(), std::size_t(beyond ? 1 : 0));
  }
};

QTEST_MAIN(TestHeldPort)
#include "tst_held_port.moc"
