// The window in Traditional Chinese: every message and view in the language's
// words (never an English default the language has a text for, never a
// field's key), Qt's own buttons and dialogs with it, and the device text
// encoding following the language until the user picks one.
#include "qt_warnings.h"
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimeEdit>
#include <QtTest>

#include <sys/stat.h>

#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "frame/Messages.h"
#include "page_test_support.h"
#include "pages/GPRSPage.h"
#include "pages/InfoPage.h"
#include "pages/LoggerPage.h"
#include "pages/LoginPage.h"
#include "pages/MsgPage.h"
#include "pages/PasswordPage.h"
#include "pages/RingPage.h"
#include "pages/SetupPage.h"
#include "settings/ini_file.h"
#include "settings/language.h"
#include "settings/text_encoding.h"

using namespace zd573;
using namespace zd573::test;

namespace {

const QString kChinese = QStringLiteral("TChinese");

bool HasCjk(const QString& text) {
  for (QChar c : text)
    if (c.unicode() >= 0x3400 && c.unicode() <= 0x9FFF) return true;
  return false;
}

// The English built-in texts the Chinese section has a text of its own for,
// cut at their placeholders: none of these pieces may show in Chinese.
QStringList EnglishPieces() {
  const settings::IniFile lng(ZD573_SOURCE_LANGUAGES);
  QStringList pieces;
  static const QRegularExpression placeholder(QStringLiteral("%[sd1-9]"));
  for (const settings::TextEntry& e : settings::TextTable()) {
    const std::string zh = lng.Read("TChinese", e.key, "");
    if (zh.empty() || zh == e.english) continue;
    for (QString piece : QString::fromUtf8(e.english.data(), qsizetype(e.english.size())).split(placeholder)) {
      piece = piece.trimmed().replace(QStringLiteral("&&"), QStringLiteral("&"));
      if (piece.count(QRegularExpression(QStringLiteral("[A-Za-z]"))) >= 4 && !pieces.contains(piece)) pieces << piece;
    }
  }
  return pieces;
}

// What a Chinese text may not hold: an English default, a field's key, an
// English sentence (three words in a row).
QString Fault(const QString& text) {
  static const QStringList pieces = EnglishPieces();
  for (const QString& piece : pieces)
    if (text.contains(piece)) return QStringLiteral("English default \"%1\"").arg(piece);
  static const QRegularExpression key(QStringLiteral(
      "(?<![A-Za-z0-9])(V[a-tA-T]|G[0-5]|D[1-5]|E[0-3]|F[024-8BE]|H2|O[26UXZ]|[XYZ][A-D]|B[0-2])(?![A-Za-z0-9-])"));
  if (const auto m = key.match(text); m.hasMatch()) return QStringLiteral("key \"%1\"").arg(m.captured());
  static const QRegularExpression words(QStringLiteral("[A-Za-z]{2,}(?:[ ,']+[A-Za-z]{2,}){2,}"));
  if (const auto m = words.match(text); m.hasMatch()) return QStringLiteral("English \"%1\"").arg(m.captured());
  return {};
}

struct ShownBox {
  QString caption, text;
  QStringList buttons;
};

// Answers every message box the window opens: keeps what it said, saves its
// picture while it is shown, then closes it (No for a question, else OK).
class BoxWatcher : public QObject {
 public:
  BoxWatcher(QString name, QString language) : name_(std::move(name)), language_(std::move(language)) {
    connect(&timer_, &QTimer::timeout, this, &BoxWatcher::Poll);
    timer_.start(10);
  }
  std::vector<ShownBox> boxes;

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (busy_ || !box || !box->isVisible()) return;
    busy_ = true;
    ShownBox shown{box->windowTitle(), box->text(), {}};
    for (QAbstractButton* b : box->buttons()) shown.buttons << b->text();
    SaveScreen(box, QStringLiteral("message-%1-%2-%3").arg(name_).arg(boxes.size() + 1).arg(language_));
    boxes.push_back(shown);
    box->done(box->button(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok);
    busy_ = false;
  }
  QString name_;
  QString language_;
  QTimer timer_;
  bool busy_ = false;
};

// A world in a language (Chinese unless said) with the real message boxes
// and a tracker whose record has been read.
struct ChineseEnv {
  explicit ChineseEnv(sim::Options options = ShellEnv::FastOptions(), bool iniIsFolder = false,
                      const QString& language = kChinese) {
    if (iniIsFolder) QDir().mkpath(env.Path(QStringLiteral("system.ini")));
    env.Context().SetLanguage(language.toStdString());
    env.Context().notifier = env.Context().MessageBoxes();
    env.Context().notifier.saveFile = [this](QWidget*, const QString&, const QString&, const QString&) {
      return env.Path(exportName);
    };
    env.Context().durations.logSilence = std::chrono::milliseconds(1500);
    env.Context().durations.logStall = std::chrono::milliseconds(1500);
    tracker = env.StartTracker(true, options);
    if (!tracker) return;
    tracker->SetValue("B2", "356895037533210");
    tracker->SetValue("OX", "1");
    ReadRecordFrom(env, *tracker);
  }
  ShellEnv env;
  sim::Simulator* tracker = nullptr;
  QString exportName = QStringLiteral("track.csv");
};

template <class P>
struct View {
  explicit View(ShellEnv& env) : window(std::make_unique<QWidget>()) {
    window->setFixedSize(PageFrame::kSize);
    page = MakePage<P>(env.Context(), window.get());
    window->show();
  }
  ~View() { window.reset(); }
  std::unique_ptr<QWidget> window;
  QPointer<P> page;
};

bool WaitIdle(PageFrame* page, int ms = 20000) {
  QElapsedTimer t;
  t.start();
  while (page->Busy() && t.elapsed() < ms) QTest::qWait(10);
  return !page->Busy();
}

// Every text a view shows but the values in its edits and the languages
// (which are named in their own words).
QStringList ShownTexts(QWidget* view) {
  QStringList texts{view->windowTitle()};
  for (QWidget* w : view->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(view) || w->objectName() == QLatin1String("languages")) continue;
    if (auto* label = qobject_cast<QLabel*>(w)) texts << label->text();
    if (auto* image = qobject_cast<CGdipButton*>(w)) texts << image->Caption();
    else if (auto* button = qobject_cast<QAbstractButton*>(w)) texts << button->text();
    if (auto* list = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
    if (auto* time = qobject_cast<QTimeEdit*>(w)) texts << time->text();
  }
  texts.removeAll(QString());
  return texts;
}

}  // namespace

class TestLanguage : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  // Each message the window can show, brought about for real in Chinese.
  void messagesSpeakTheLanguage_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("says");  // what the message must hold
    const struct {
      const char* how;
      const char* chinese;
      const char* english;
    } rows[] = {
        {"comma-in-apn", "GPRS APN含有逗號", "The GPRS APN contains a comma"},
        {"character-the-encoding-lacks", "聯絡人 6 的姓名含有「王」", "The name of contact 6 contains \"王\""},
        {"interval-too-large", "記錄間隔太大：999999", "The logging interval is too large: 999999"},
        {"port-gone", "連接埠未開啟", "The port is not open"},
        {"port-in-use", "：正被其他程式使用", ": in use by another program"},
        {"write-cut-short", "共 10 句指令，只寫入了 4 句", "failed after 4 of 10 sentences"},
        {"log-empty", "裝置中沒有資料", "No data in device."},
        {"log-timeout", "已收到 24 筆記錄，共 600 筆", "24 of 600 records arrived."},
        {"log-aborted", "下載已中止", "Abort download process."},
        {"export-read-only", "是唯讀檔案", "is read-only."},
        {"export-not-a-file", "不是一般檔案", "is not a regular file."},
        {"name-not-saved", "無法儲存裝置名稱", "The device name could not be saved"},
        {"encoding-not-saved", "無法儲存文字編碼", "The text encoding could not be saved"},
        {"leave-question", "確定要放棄變更", "Discard them and leave the page?"},
        {"passwords-differ", "兩次輸入的密碼不同", "The two entries differ."},
        {"password-too-long", "太長", "too long"},
        // Which character of a password was refused is not said.
        {"password-not-encodable", "含有裝置文字編碼", "holds a character the device text encoding"},
    };
    for (const auto& row : rows) {
      QTest::addRow("%s", row.how) << row.how << kChinese << QString::fromUtf8(row.chinese);
      QTest::addRow("%s English", row.how) << row.how << "English" << QString::fromUtf8(row.english);
    }
  }
  void messagesSpeakTheLanguage() {
    QFETCH(QString, how);
    QFETCH(QString, language);
    QFETCH(QString, says);
    sim::Options options = ShellEnv::FastOptions();
    options.records = how == QLatin1String("log-empty") ? 0 : 600;
    if (how == QLatin1String("log-timeout")) options.stallAfterRecords = 24;
    if (how == QLatin1String("log-aborted")) options.baud = 115200;
    const bool iniIsFolder = how.endsWith(QLatin1String("not-saved"));
    ChineseEnv t(options, iniIsFolder, language);
    QVERIFY(t.tracker);
    ShellEnv& env = t.env;
    BoxWatcher watcher(how, language);

    if (how == QLatin1String("port-in-use")) {
      // The port the record was read on is held: the window's own search
      // finds it busy, and gives up after its patience.
      env.Context().durations.busyRetry = std::chrono::milliseconds(200);
      env.Context().durations.busyPatience = std::chrono::milliseconds(1000);
      QVERIFY(settings::WriteCurrentLanguage(env.Context().SystemIni(), language.toStdString()).ok());
      CZD573_UtilityDlg main(env.Context());
      main.show();
      QTRY_VERIFY_WITH_TIMEOUT(!watcher.boxes.empty(), 10000);
    } else if (how == QLatin1String("comma-in-apn") || how == QLatin1String("port-gone") ||
               how == QLatin1String("leave-question")) {
      View<GPRSPage> v(env);
      if (how == QLatin1String("comma-in-apn")) v.page->Box(0)->setText(QStringLiteral("inter,net"));
      if (how == QLatin1String("port-gone")) {
        // The tracker leaves the port it was read on.
        t.tracker->Stop();
        QTRY_VERIFY(!env.Context().LeasePort().ok());
      }
      if (how == QLatin1String("leave-question")) {
        v.page->Box(1)->setText(QStringLiteral("someone"));
        QVERIFY(!v.page->Back());
      } else {
        ApplyAndWait(v.page);
      }
      if (how == QLatin1String("comma-in-apn")) QVERIFY(SetSentences(*t.tracker).empty());
    } else if (how == QLatin1String("character-the-encoding-lacks") || how == QLatin1String("write-cut-short")) {
      if (how == QLatin1String("character-the-encoding-lacks")) {
        QVERIFY(settings::WriteDeviceCodePage(env.Context().SystemIni(), 1252));
        env.Context().Refresh();
      }
      env.Context().durations.setSentencePause = std::chrono::milliseconds(300);
      View<MsgPage> v(env);
      if (how == QLatin1String("character-the-encoding-lacks")) {
        v.page->NameEdit(5)->setText(QStringLiteral("王"));
        ApplyAndWait(v.page);
      } else {
        v.page->NameEdit(0)->setText(QStringLiteral("Anna"));
        QTest::mouseClick(v.page->ApplyButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(SetSentences(*t.tracker).size() >= 4, 30000);
        t.tracker->Stop();
        QVERIFY(WaitIdle(v.page));
      }
    } else if (how == QLatin1String("interval-too-large")) {
      View<LoggerPage> v(env);
      QVERIFY(v.page->Logging()->isChecked());
      v.page->Interval()->setText(QStringLiteral("999999"));
      ApplyAndWait(v.page);
    } else if (how.startsWith(QLatin1String("log-")) || how.startsWith(QLatin1String("export-"))) {
      View<LoggerPage> v(env);
      if (how == QLatin1String("export-read-only")) {
        env.WriteFile(t.exportName, "kept");
        QFile::setPermissions(env.Path(t.exportName), QFileDevice::ReadOwner);
      }
      if (how == QLatin1String("export-not-a-file")) {
        t.exportName = QStringLiteral("pipe.csv");
        QCOMPARE(::mkfifo(env.Path(t.exportName).toLocal8Bit().constData(), 0600), 0);
      }
      v.page->Export();
      if (how == QLatin1String("log-aborted")) {
        QTRY_VERIFY_WITH_TIMEOUT(v.page->BarFill() > 0, 10000);
        t.tracker->Stop();
      }
      QVERIFY(WaitIdle(v.page));
    } else if (how == QLatin1String("name-not-saved")) {
      View<InfoPage> v(env);
      v.page->DeviceName()->setText(QStringLiteral("王大明的手錶"));
      ApplyAndWait(v.page);
    } else if (how == QLatin1String("encoding-not-saved")) {
      SetupPage page(env.Context(), nullptr);
      page.show();
      // An encoding other than the one in force is a pick to be saved.
      const int pick = env.Context().CodePage() == 1252 ? 950 : 1252;
      page.CodePageList()->setCurrentIndex(page.CodePageList()->findData(pick));
      QTest::mouseClick(page.ConfirmButton(), Qt::LeftButton);
    } else if (how.startsWith(QLatin1String("password"))) {
      if (how == QLatin1String("password-not-encodable")) {
        QVERIFY(settings::WriteDeviceCodePage(env.Context().SystemIni(), 1252));
        env.Context().Refresh();
      }
      PasswordPage page(env.Context(), nullptr);
      page.show();
      const QString typed = how == QLatin1String("passwords-differ")         ? QStringLiteral("1234")
                            : how == QLatin1String("password-not-encodable") ? QStringLiteral("Qz王Kx")
                                                                              : QStringLiteral("1234567890123456");
      page.NewEdit()->setText(typed);
      page.ConfirmEdit()->setText(how == QLatin1String("passwords-differ") ? QStringLiteral("4321") : typed);
      QTest::mouseClick(page.ConfirmButton(), Qt::LeftButton);
    }

    QCOMPARE(watcher.boxes.size(), std::size_t(1));
    const ShownBox& box = watcher.boxes[0];
    const QString all = box.caption + QLatin1Char('\n') + box.text + QLatin1Char('\n') + box.buttons.join(QLatin1Char(' '));
    QVERIFY2(box.text.contains(says), qPrintable(all));
    QVERIFY2(!box.text.contains(QStringLiteral("Qz")), qPrintable(all));
    if (language == kChinese) {
      QVERIFY2(HasCjk(box.text) && HasCjk(box.caption), qPrintable(all));
      QVERIFY2(Fault(all).isEmpty(), qPrintable(Fault(all) + QStringLiteral(" in:\n") + all));
      for (const QString& b : box.buttons) QVERIFY2(HasCjk(b), qPrintable(all));
    } else {
      // English messages begin with a capital (or a path) and name no key either.
      QVERIFY2(box.text[0].isUpper() || box.text[0] == QLatin1Char('/'), qPrintable(all));
      QVERIFY2(!box.caption.isEmpty() && !HasCjk(box.caption + box.buttons.join(QString())), qPrintable(all));
      static const QRegularExpression key(QStringLiteral("\\((V[a-tA-T]|G[0-5]|D[1-5]|O2)\\)"));
      QVERIFY2(!key.match(box.text).hasMatch(), qPrintable(all));
    }
  }

  // Every view, in Chinese: the menu, the five pages, the three sheets, the
  // logger page after an export.
  void viewsSpeakTheLanguage() {
    sim::Options options = ShellEnv::FastOptions();
    options.records = 300;
    ChineseEnv t(options);
    QVERIFY(t.tracker);
    ShellEnv& env = t.env;
    BoxWatcher watcher(QStringLiteral("views"), kChinese);
    QVERIFY(env.Context().SystemIni().Write("SYSTEM", "DefaultLanguage", "TChinese"));
    std::vector<std::pair<QString, QStringList>> views;
    {
      CZD573_UtilityDlg main(env.Context());
      main.show();
      views.emplace_back(QStringLiteral("menu"), ShownTexts(&main));
    }
    auto page = [&]<class P>(const char* name, P*) {
      View<P> v(env);
      views.emplace_back(QString::fromLatin1(name), ShownTexts(v.page));
    };
    page("info", static_cast<InfoPage*>(nullptr));
    page("contacts", static_cast<MsgPage*>(nullptr));
    page("gprs", static_cast<GPRSPage*>(nullptr));
    page("ringing", static_cast<RingPage*>(nullptr));
    {
      View<LoggerPage> v(env);
      v.page->Export();
      QVERIFY(WaitIdle(v.page));
      QVERIFY(v.page->WrittenLine()->isVisible());
      views.emplace_back(QStringLiteral("logger"), ShownTexts(v.page));
    }
    LoginPage login(env.Context(), nullptr);
    PasswordPage password(env.Context(), nullptr);
    SetupPage setup(env.Context(), nullptr);
    for (auto [name, sheet] : {std::pair<const char*, QWidget*>{"login", &login}, {"password", &password},
                               {"settings", &setup}}) {
      sheet->show();
      views.emplace_back(QString::fromLatin1(name), ShownTexts(sheet));
    }
    QVERIFY(watcher.boxes.empty());
    for (const auto& [name, texts] : views) {
      QVERIFY2(texts.size() > 3, qPrintable(name));
      for (const QString& text : texts) {
        const QString fault = Fault(text);
        QVERIFY2(fault.isEmpty(), qPrintable(name + QStringLiteral(": ") + fault + QStringLiteral(" in ") + text));
      }
    }
  }

  // Qt's own texts and the time picker follow the language, there and back.
  void qtTextsFollowTheLanguage() {
    ShellEnv env;
    for (const QString& language : {kChinese, QStringLiteral("English"), kChinese, QStringLiteral("English")}) {
      env.Context().SetLanguage(language.toStdString());
      const bool chinese = language == kChinese;
      QMessageBox box;
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      for (QAbstractButton* b : box.buttons()) QVERIFY2(HasCjk(b->text()) == chinese, qPrintable(b->text()));
      if (!chinese) QCOMPARE(box.button(QMessageBox::Ok)->text().remove(QLatin1Char('&')), QStringLiteral("OK"));
      QFileDialog save(nullptr, QString(), env.Path(QString()), QStringLiteral("*.csv"));
      save.setOption(QFileDialog::DontUseNativeDialog);
      save.setAcceptMode(QFileDialog::AcceptSave);
      QVERIFY2(HasCjk(save.labelText(QFileDialog::Accept)) == chinese, qPrintable(save.labelText(QFileDialog::Accept)));
      QVERIFY2(HasCjk(save.labelText(QFileDialog::FileName)) == chinese,
               qPrintable(save.labelText(QFileDialog::FileName)));
      if (chinese) {
        save.show();
        SaveScreen(&save, QStringLiteral("save-dialog-TChinese"));
        save.hide();
      }
      View<RingPage> ring(env);
      const QString time = ring.page->Time(0)->text();
      QVERIFY2((time.contains(QStringLiteral("上午")) || time.contains(QStringLiteral("下午"))) == chinese, qPrintable(time));
      QVERIFY2((time.contains(QStringLiteral("AM")) || time.contains(QStringLiteral("PM"))) == !chinese, qPrintable(time));
    }
  }

  // Until the user picks an encoding it is the language's own (Big5 for
  // Traditional Chinese, the system's for English); a pick stays. The
  // settings show it, and follow a change of language in their list.
  void deviceTextFollowsTheLanguage_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("picked");    // 0: none in system.ini
    QTest::addColumn<int>("expected");  // -1: the system's
    QTest::addColumn<int>("otherShows");
    QTest::newRow("Chinese, none picked") << kChinese << 0 << 950 << -1;
    QTest::newRow("Chinese, Western picked") << kChinese << 1252 << 1252 << 1252;
    QTest::newRow("English, none picked") << "English" << 0 << -1 << 950;
    QTest::newRow("English, Big5 picked") << "English" << 950 << 950 << 950;
  }
  void deviceTextFollowsTheLanguage() {
    QFETCH(QString, language);
    QFETCH(int, picked);
    QFETCH(int, expected);
    QFETCH(int, otherShows);
    const int system = settings::DefaultDeviceCodePage();
    if (expected < 0) expected = system;
    if (otherShows < 0) otherShows = system;
    ShellEnv env;
    QByteArray ini = "[SYSTEM]\nDefaultLanguage=" + language.toUtf8() + "\n";
    if (picked) ini += "DeviceCodePage=" + QByteArray::number(picked) + "\n";
    env.WriteFile(QStringLiteral("system.ini"), ini);
    CZD573_UtilityDlg main(env.Context());
    QCOMPARE(env.Context().Language(), language.toStdString());
    QCOMPARE(env.Context().CodePage(), expected);
    SetupPage setup(env.Context(), nullptr);
    QCOMPARE(setup.CodePageList()->currentData().toInt(), expected);
    const QString other = language == kChinese ? QStringLiteral("English") : kChinese;
    setup.LanguageList()->setCurrentIndex(setup.LanguageList()->findData(other));
    QCOMPARE(setup.CodePageList()->currentData().toInt(), otherShows);
    setup.Confirm();
    QCOMPARE(env.Context().CodePage(), otherShows);
    // What was not picked stays unwritten and goes on following the language.
    const auto stored = settings::ChosenDeviceCodePage(env.Context().SystemIni());
    QCOMPARE(stored.value_or(0), picked);
  }

  // From a fresh configuration in Chinese, a Chinese name reaches the tracker.
  void chineseNameFromAFreshStart() {
    ShellEnv env;
    env.WriteFile(QStringLiteral("system.ini"), "[SYSTEM]\nDefaultLanguage=TChinese\n");
    sim::Simulator* tracker = env.StartTracker();
    QVERIFY(tracker);
    ReadRecordFrom(env, *tracker);
    OpenedPage o;
    auto* page = OpenFromButton<MsgPage>(env, o, CZD573_UtilityDlg::kMsgButton);
    QVERIFY(page);
    page->NameEdit(0)->setText(QStringLiteral("王大明"));
    page->NameEdit(1)->setText(QStringLiteral("Anna"));
    ApplyAndWait(page);
    SaveScreen(o.main.get(), QStringLiteral("window-chinese-name-TChinese"));
    QVERIFY2(env.messages.empty(), env.messages.empty() ? "" : qPrintable(env.messages[0].text));
    const auto big5 = settings::EncodeDeviceText("王大明", 950);
    QVERIFY(big5.ok());
    QCOMPARE(tracker->Value("Va"), *big5);
    QCOMPARE(page->NameEdit(0)->text(), QStringLiteral("王大明"));
    QVERIFY(!settings::ChosenDeviceCodePage(env.Context().SystemIni()));
  }
};

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
