// The common page frame, on a page made only for these tests: the frame
// plus one GPRS field, so Apply has something to store and send.
#include "qt_warnings.h"
#include <QButtonGroup>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

#include "app/CZD573_UtilityDlg.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "frame/PageFrame.h"
#include "page_test_support.h"
#include "simulator.h"
#include "shell_test_support.h"

using namespace zd573;
using namespace zd573::test;

namespace {

// The frame's own test page; no such page exists in the program. Its fields
// are declared once: the frame fills, stores and compares them.
class FrameTestPage : public PageFrame {
 public:
  FrameTestPage(AppContext& context, QWidget* window, Page page = Page::Gprs)
      : PageFrame(context, window,
                  PageLook{218, "STR_GPRSPAGE_ABOUT", "about us \"GPRSxxxxx\" information", 300, kPagePanelColour}),
        page_(page) {}
  void Open() { PageFrame::Open(PageIdentity{"STR_MAINPAGE_STR3", "GPRS Parameter", page_}); }
  QLineEdit* apn = nullptr;
  QLineEdit* port = nullptr;
  QLineEdit* name = nullptr;
  QLineEdit* phone = nullptr;
  QLineEdit* interval = nullptr;
  QRadioButton* engineer = nullptr;
  QRadioButton* text = nullptr;
  int beforeApply = 0;

 protected:
  void CreatePageControls() override {
    auto edit = [this](int y) {
      auto* e = new QLineEdit(this);
      e->setGeometry(200, y, 200, 26);
      return e;
    };
    if (page_ == Page::Gprs) {
      apn = edit(200);
      port = edit(240);
      port->setEnabled(false);
      Fields().Bind("D1", apn);
      Fields().BindShown("E1", port);
      return;
    }
    name = edit(200);
    phone = edit(240);
    interval = edit(280);
    engineer = new QRadioButton(QStringLiteral("Engineer"), this);
    text = new QRadioButton(QStringLiteral("Text"), this);
    auto* format = new QButtonGroup(this);
    format->addButton(engineer, 0);
    format->addButton(text, 1);
    Fields().Bind("Va", name);
    Fields().Bind("VA", phone);
    Fields().Bind("H2", interval);
    Fields().BindChoice("F2", format);
  }
  Status BeforeApply() override {
    ++beforeApply;
    return {};
  }

 private:
  Page page_;
};

// The page as a view of a window of its own, as the main window holds it.
struct Hosted {
  std::unique_ptr<QWidget> window;
  QPointer<FrameTestPage> page;
  FrameTestPage* operator->() const { return page; }
};

Hosted OpenInWindow(ShellEnv& env, Page page = Page::Gprs) {
  Hosted h;
  h.window = std::make_unique<QWidget>();
  h.window->setFixedSize(PageFrame::kSize);
  h.page = new FrameTestPage(env.Context(), h.window.get(), page);
  h.page->Open();
  h.window->show();
  return h;
}

void Seed(ShellEnv& env) {
  env.Context().Settings().Update([](DeviceValues& v) {
    v.SetText("B2", "356895037533210");
    v.SetText("D1", "internet");
  });
  env.Context().deviceUserName = "Kestrel";
}

}  // namespace

class TestPageFrame : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  void opensOverMainWindowWithFrameControls_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("minimise") << "minimise" << QRect(762, 2, 16, 16);
    QTest::newRow("close") << "close" << QRect(782, 2, 16, 16);
    QTest::newRow("back") << "back" << QRect(1, 500, 65, 50);
    QTest::newRow("apply") << "apply" << QRect(735, 500, 65, 50);
    QTest::newRow("menu text") << "menu" << QRect(70, 505, 100, 40);
    QTest::newRow("apply text") << "applyText" << QRect(630, 505, 100, 40);
    QTest::newRow("icon") << "icon" << QRect(5, 89, 48, 48);
    QTest::newRow("title") << "title" << QRect(60, 89, 500, 40);
    QTest::newRow("subtitle") << "subtitle" << QRect(60, 115, 300, 20);
    QTest::newRow("device name") << "name" << QRect(600, 89, 500, 40);
    QTest::newRow("imei") << "imei" << QRect(605, 117, 300, 20);
  }
  void opensOverMainWindowWithFrameControls() {
    QFETCH(QString, control);
    QFETCH(QRect, rect);
    ShellEnv env;
    Seed(env);
    Hosted h = OpenInWindow(env);
    FrameTestPage& p = *h.page;
    QCOMPARE(p.geometry(), h.window->rect());
    const std::map<QString, QWidget*> controls{
        {"minimise", p.MinimiseButton()}, {"close", p.CloseButton()},  {"back", p.BackButton()},
        {"apply", p.ApplyButton()},       {"menu", p.MenuText()},      {"applyText", p.ApplyText()},
        {"icon", p.PageIcon()},           {"title", p.TitleLine()},    {"subtitle", p.SubtitleLine()},
        {"name", p.DeviceNameLine()},     {"imei", p.ImeiLine()}};
    QCOMPARE(controls.at(control)->geometry(), rect);
  }

  void texts_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("imei");
    QTest::newRow("English") << "English" << "Menu" << "IMEI: 356895037533210";
    QTest::newRow("TChinese") << "TChinese" << "選單" << "IMEI：356895037533210";
    QTest::newRow("section without the keys") << "Bare" << "Menu" << "IMEI:356895037533210";
  }
  void texts() {
    QFETCH(QString, language);
    QFETCH(QString, menu);
    QFETCH(QString, imei);
    ShellEnv env;
    env.WriteFile(QStringLiteral("lang.lng"), QByteArray("[Bare]\nSTR_GLOBAL_APPLY=Send\n"));
    if (language == QLatin1String("Bare")) {
      settings::SetLanguagesPathOverride(std::filesystem::path(env.Path(QStringLiteral("lang.lng")).toStdString()));
    }
    env.Context().SetLanguage(language.toStdString());
    Seed(env);
    Hosted h = OpenInWindow(env);
    FrameTestPage& page = *h.page;
    QCOMPARE(page.MenuText()->text(), menu);
    QCOMPARE(page.ImeiLine()->text(), imei);
    QCOMPARE(page.DeviceNameLine()->text(), QStringLiteral("Kestrel"));
    QCOMPARE(page.DeviceNameLine()->Foreground(), QColor(Qt::white));
    QCOMPARE(page.ImeiLine()->Foreground(), QColor(Qt::white));
    QCOMPARE(page.Title(), page.TitleLine()->text());
    QCOMPARE(page.palette().color(QPalette::Button), QColor(239, 245, 246));
    QVERIFY(page.HasBackground());
    QVERIFY(env.messages.empty());
    QCOMPARE(page.apn->text(), QStringLiteral("internet"));
    SaveScreen(h.window.get(), QStringLiteral("frame-test-page-") + language);
  }

  // No tracker logged in, no port to write on: the port message, the record
  // unchanged, and Back still asks.
  void applyWithoutTracker() {
    ShellEnv env;
    Seed(env);
    env.Context().portName = "ttyACM0";
    Hosted h = OpenInWindow(env);
    FrameTestPage& page = *h.page;
    page.apn->setText(QStringLiteral("web.example"));
    QTest::mouseClick(page.ApplyButton(), Qt::LeftButton);
    QCOMPARE(page.beforeApply, 1);
    QTRY_VERIFY(!page.Busy());
    QCOMPARE(env.messages.size(), std::size_t(1));
    QVERIFY2(env.messages[0].text.startsWith(QStringLiteral("The port is not open\n\n")),
             qPrintable(env.messages[0].text));
    QVERIFY(env.messages[0].text.contains(QStringLiteral("plugged in")));
    QCOMPARE(env.messages[0].icon, MessageIcon::Error);
    QCOMPARE(env.Context().Settings().Text("D1"), std::string("internet"));
    env.answerYes = false;
    QTest::mouseClick(page.BackButton(), Qt::LeftButton);
    QCOMPARE(env.questions.size(), std::size_t(1));
    QCOMPARE(env.questions[0], env.Context().leaveQuestion);
    QVERIFY(page.isVisible());
    QCOMPARE(page.apn->text(), QStringLiteral("web.example"));
    env.answerYes = true;
    QVERIFY(page.Back());
    QVERIFY(!page.isVisible());
    QTRY_VERIFY(!h.page);
    QCOMPARE(env.Context().Settings().Text("D1"), std::string("internet"));
  }

  // With the tracker: stored, sent, then Back closes without a question.
  void applyThenBack() {
    ShellEnv env;
    Seed(env);
    sim::Simulator* tracker = env.StartTracker();
    env.HoldTrackerPort();
    Hosted h = OpenInWindow(env);
    FrameTestPage& page = *h.page;
    page.apn->setText(QStringLiteral("web.example"));
    QTest::mouseClick(page.ApplyButton(), Qt::LeftButton);
    // The window is not blocked while the sentence goes out, and says what it does.
    QVERIFY(page.Busy());
    QVERIFY(page.BackButton()->DisabledState());
    QTRY_VERIFY(!page.Busy());
    QVERIFY(env.messages.empty());
    QCOMPARE(page.ProgressLine()->text(), QStringLiteral("Settings written to the tracker"));
    QCOMPARE(env.Context().Settings().Text("D1"), std::string("web.example"));
    QTRY_VERIFY_WITH_TIMEOUT(!SetSentences(*tracker).empty(), 3000);
    QVERIFY(SetSentences(*tracker).back().bytes.starts_with("KVS,KestrovinZD-573,3,0,D1=web.example,"));
    QCOMPARE(tracker->Value("D1"), std::string("web.example"));
    QTest::mouseClick(page.BackButton(), Qt::LeftButton);
    QVERIFY(env.questions.empty());
    QVERIFY(!page.isVisible());
  }

  // The bound fields: filled from the record, compared through a stored copy,
  // refilled with what the page rules made of them once the port opened.
  void bindingFillsComparesAndRefreshes() {
    ShellEnv env;
    Seed(env);
    env.Context().Settings().Update([](DeviceValues& v) {
      v.SetText("Va", "Ann");
      v.SetText("VA", "0912");
      v.SetNumber("H2", 60);
      v.SetNumber("F2", 1);
    });
    sim::Simulator* tracker = env.StartTracker();
    env.HoldTrackerPort();
    Hosted h = OpenInWindow(env, Page::Contacts);
    FrameTestPage& page = *h.page;
    QCOMPARE(page.name->text(), QStringLiteral("Ann"));
    QCOMPARE(page.phone->text(), QStringLiteral("0912"));
    QCOMPARE(page.interval->text(), QStringLiteral("60"));
    QVERIFY(page.text->isChecked() && !page.engineer->isChecked());
    QVERIFY(!page.Changed());
    page.engineer->setChecked(true);
    QVERIFY(page.Changed());
    page.text->setChecked(true);
    QVERIFY(!page.Changed());
    page.phone->setText(QStringLiteral("*31#0912"));
    page.interval->setText(QStringLiteral("2"));
    QVERIFY(page.Changed());
    QTest::mouseClick(page.ApplyButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!page.Busy(), 5000);
    QVERIFY2(env.messages.empty(), env.messages.empty() ? "" : qPrintable(env.messages[0].text));
    QTRY_VERIFY_WITH_TIMEOUT(SetSentences(*tracker).size() >= 10, 30000);
    const auto sets = SetSentences(*tracker);
    QVERIFY(sets[4].bytes.starts_with("KVS,KestrovinZD-573,0,4,VA=*31#0912,"));
    QCOMPARE(sets[9].bytes, std::string("KVS,KestrovinZD-573,2,9,H2=3,F0=,F2=1*QQ!\r\n"));
    QCOMPARE(page.interval->text(), QStringLiteral("3"));
    QVERIFY(!page.Changed());
    QTest::mouseClick(page.BackButton(), Qt::LeftButton);
    QVERIFY(env.questions.empty());
  }

  // A text edit takes no more bytes than its field holds in the device
  // encoding, and never half a character.
  void textEditsStopAtTheFieldsCapacity() {
    ShellEnv env;
    env.WriteFile(QStringLiteral("system.ini"), QByteArray("[SYSTEM]\nDeviceCodePage=950\n"));
    Hosted h = OpenInWindow(env, Page::Contacts);
    FrameTestPage& page = *h.page;
    QTest::keyClicks(page.phone, QString(25, QLatin1Char('1')));
    QCOMPARE(page.phone->text(), QString(19, QLatin1Char('1')));
    // Twelve Big5 characters are 24 bytes; a name holds 23.
    page.name->setFocus();
    page.name->insert(QString(12, QChar(0x738B)));
    QCOMPARE(page.name->text(), QString(11, QChar(0x738B)));
    // Typed into the middle of a full field: refused.
    page.name->setCursorPosition(3);
    QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(0x738B)));
    QApplication::sendEvent(page.name, &typed);
    QCOMPARE(page.name->text(), QString(11, QChar(0x738B)));
  }

  // A value the tracker holds but could not take back: no false leave
  // question, and Apply refuses it naming the field, sending nothing.
  void trackerValueThatCannotBeSentIsNamed() {
    ShellEnv env;
    Seed(env);
    env.Context().Settings().Update([](DeviceValues& v) { v.SetText("VA", "12=34"); });
    sim::Simulator* tracker = env.StartTracker();
    env.HoldTrackerPort();
    Hosted h = OpenInWindow(env, Page::Contacts);
    FrameTestPage& page = *h.page;
    QVERIFY(!page.Changed());
    QTest::mouseClick(page.ApplyButton(), Qt::LeftButton);
    QTRY_VERIFY(!page.Busy());
    QCOMPARE(env.messages.size(), std::size_t(1));
    // Named as the user knows it; the key is the command line's.
    QVERIFY2(env.messages[0].text.startsWith(QStringLiteral("The phone number of contact 1 contains an equals sign")),
             qPrintable(env.messages[0].text));
    QVERIFY2(!env.messages[0].text.contains(QStringLiteral("VA")), qPrintable(env.messages[0].text));
    QTest::qWait(200);
    QVERIFY(tracker->Journal().empty());
  }

  void closeButtonEndsProgramWithCodeZero() {
    ShellEnv env;
    Seed(env);
    Hosted h = OpenInWindow(env);
    FrameTestPage& page = *h.page;
    page.apn->setText(QStringLiteral("unsent"));
    QTest::mouseClick(page.CloseButton(), Qt::LeftButton);
    QCOMPARE(env.exitCodes, std::vector<int>{0});
    QVERIFY(env.questions.empty());
  }

  // Closing while the contacts' ten sentences are being written asks, naming
  // the page: finishing (Yes) writes them all, then ends; stopping (No) ends
  // at once. Either way the program ends with 0.
  void closingWhileWritingAsks_data() {
    QTest::addColumn<bool>("finish");
    QTest::newRow("finish writing") << true;
    QTest::newRow("stop now") << false;
  }
  void closingWhileWritingAsks() {
    QFETCH(bool, finish);
    ShellEnv env;
    Seed(env);
    env.Context().durations.setSentencePause = std::chrono::milliseconds(300);
    sim::Simulator* tracker = env.StartTracker();
    env.HoldTrackerPort();
    Hosted h = OpenInWindow(env, Page::Contacts);
    FrameTestPage& page = *h.page;
    page.interval->setText(QStringLiteral("2"));
    QTest::mouseClick(page.ApplyButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!SetSentences(*tracker).empty(), 30000);
    env.answerYes = finish;
    QTest::mouseClick(page.CloseButton(), Qt::LeftButton);
    QCOMPARE(env.questions.size(), std::size_t(1));
    QVERIFY2(env.questions[0].contains(page.Title()), qPrintable(env.questions[0]));
    QTRY_COMPARE_WITH_TIMEOUT(env.exitCodes, std::vector<int>{0}, 10000);
    QTest::qWait(400);
    const std::size_t written = SetSentences(*tracker).size();
    if (finish) {
      QCOMPARE(written, std::size_t(10));
    } else {
      QVERIFY2(written < 10, qPrintable(QString::number(written)));
    }
    QCOMPARE(env.exitCodes, std::vector<int>{0});
  }

  void minimiseMinimisesTheWindow() {
    ShellEnv env;
    Seed(env);
    Hosted h = OpenInWindow(env);
    QTest::mouseClick(h->MinimiseButton(), Qt::LeftButton);
    QVERIFY(h.window->isMinimized());
  }

  // The band hands the move to the window system; nothing sets a position.
  void bandAsksTheWindowSystemToMove_data() {
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("requests");
    QTest::newRow("y = 79 moves") << 79 << 1;
    QTest::newRow("y = 80 does not") << 80 << 0;
  }
  void bandAsksTheWindowSystemToMove() {
    QFETCH(int, y);
    QFETCH(int, requests);
    ShellEnv env;
    Seed(env);
    std::vector<QWindow*> asked;
    env.Context().windowMover = [&asked](QWindow* w) {
      asked.push_back(w);
      return true;
    };
    Hosted h = OpenInWindow(env);
    const QPoint start = h.window->pos();
    QTest::mousePress(h.page.data(), Qt::LeftButton, {}, QPoint(300, y));
    QTest::mouseRelease(h.page.data(), Qt::LeftButton, {}, QPoint(300, y));
    QCOMPARE(int(asked.size()), requests);
    if (requests) QCOMPARE(asked.front(), h.window->windowHandle());
    QCOMPARE(h.window->pos(), start);
  }
};

QTEST_MAIN(TestPageFrame)
#include "tst_page_frame.moc"
