// The encoding of a tracker's texts stays with the tracker: names written in
// Big5 from the Chinese interface read back after a switch to English and a
// restart; a text the encoding in use does not decode is named on its page;
// the user's choice for all still wins.
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

#include "controls/CLabel.h"
#include "frame/Messages.h"
#include "page_test_support.h"
#include "pages/MsgPage.h"
#include "pages/SetupPage.h"
#include "settings/ini_file.h"
#include "settings/text_encoding.h"

using namespace zd573;
using namespace zd573::test;

namespace {
const std::string kImei = "356895037533210";
// 王大明 in Big5.
const std::string kBig5Name = "\xA4\xFD\xA4\x6A\xA9\xFA";
// A Western name in 1252 that is not Big5.
const std::string kWesternName = "Caf\xE9 ok";
}  // namespace

class TestTrackerEncoding : public QObject {
  Q_OBJECT

 private slots:
  void big5NamesReadBackAfterEnglishAndARestart() {
    ShellEnv env;
    env.WriteFile(QStringLiteral("system.ini"), "[SYSTEM]\nDefaultLanguage=TChinese\n");
    env.Context().ReadLanguage();
    sim::Simulator* tracker = env.StartTracker();
    QVERIFY(tracker);
    tracker->SetValue("B2", kImei);
    {
      ReadRecordFrom(env, *tracker);
      OpenedPage o;
      auto* page = OpenFromButton<MsgPage>(env, o, CZD573_UtilityDlg::kMsgButton);
      QVERIFY(page);
      page->NameEdit(2)->setText(QStringLiteral("王大明"));
      ApplyAndWait(page);
      QVERIFY2(env.messages.empty(), env.messages.empty() ? "" : qPrintable(env.messages[0].text));
      QCOMPARE(tracker->Value("Vc"), kBig5Name);
    }
    // The interface turns English, and the program starts afresh: nothing
    // read yet, so until the tracker is identified the language's encoding is in use.
    env.Context().Settings().Update([](DeviceValues& v) { v = DeviceValues{}; });
    QVERIFY(settings::WriteCurrentLanguage(env.Context().SystemIni(), "English"));
    env.Context().ReadLanguage();
    QCOMPARE(env.Context().CodePage(), settings::DefaultDeviceCodePage("en_US"));

    ReadRecordFrom(env, *tracker);
    OpenedPage o;
    auto* page = OpenFromButton<MsgPage>(env, o, CZD573_UtilityDlg::kMsgButton);
    QVERIFY(page);
    QCOMPARE(env.Context().CodePage(), 950);
    QCOMPARE(page->NameEdit(2)->text(), QStringLiteral("王大明"));
    QVERIFY2(page->ProgressLine()->text().isEmpty(), qPrintable(page->ProgressLine()->text()));
    // An edit made now goes out in Big5 as well.
    page->NameEdit(3)->setText(QStringLiteral("陳美"));
    ApplyAndWait(page);
    QCOMPARE(tracker->Value("Vd"), *settings::EncodeDeviceText("陳美", 950));
    QVERIFY(!settings::ChosenDeviceCodePage(env.Context().SystemIni()));
  }

  // The settings show the tracker's encoding; a change of language alone
  // neither moves it nor turns it into a choice for all trackers.
  void settingsKeepTheTrackersEncodingAcrossLanguages() {
    ShellEnv env;
    env.WriteFile(QStringLiteral("system.ini"),
                  "[SYSTEM]\nDefaultLanguage=TChinese\n[ENCODING]\n" + QByteArray::fromStdString(kImei) + "=1252\n");
    env.Context().ReadLanguage();
    env.Context().Settings().Update([](DeviceValues& v) { v.SetText("B2", kImei); });
    env.Context().FollowTracker();
    QCOMPARE(env.Context().CodePage(), 1252);
    SetupPage setup(env.Context(), nullptr);
    QCOMPARE(setup.CodePageList()->currentData().toInt(), 1252);
    setup.LanguageList()->setCurrentIndex(setup.LanguageList()->findData(QStringLiteral("English")));
    setup.LanguageList()->setCurrentIndex(setup.LanguageList()->findData(QStringLiteral("TChinese")));
    QCOMPARE(setup.CodePageList()->currentData().toInt(), 1252);
    setup.Confirm();
    QCOMPARE(env.Context().CodePage(), 1252);
    QVERIFY(!settings::ChosenDeviceCodePage(env.Context().SystemIni()));
  }

  // What the page says of the names read, by what system.ini holds.
  void uncleanTextIsNamed_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QByteArray>("contact3");
    QTest::addColumn<QByteArray>("contact5");
    QTest::addColumn<int>("inUse");
    QTest::addColumn<int>("unclean");  // how many names the note counts
    const QByteArray big5ForAll = "DeviceCodePage=950\n";
    const QByteArray rememberedBig5 = "[ENCODING]\n" + QByteArray::fromStdString(kImei) + "=950\n";
    const QByteArray western = QByteArray::fromStdString(kWesternName);
    const QByteArray big5 = QByteArray::fromStdString(kBig5Name);
    for (const QString& language : {QStringLiteral("English"), QStringLiteral("TChinese")}) {
      const QByteArray system = "[SYSTEM]\nDefaultLanguage=" + language.toUtf8() + "\n";
      QTest::addRow("%s, Western name read as Big5 chosen for all", qPrintable(language))
          << language << system + big5ForAll << western << big5 << 950 << 1;
      QTest::addRow("%s, Western name read as the tracker's Big5", qPrintable(language))
          << language << system + rememberedBig5 << western << big5 << 950 << 1;
      QTest::addRow("%s, two Western names", qPrintable(language))
          << language << system + rememberedBig5 << western << western << 950 << 2;
      QTest::addRow("%s, Western chosen for all wins over the tracker's Big5", qPrintable(language))
          << language << system + "DeviceCodePage=1252\n" + rememberedBig5 << western << western << 1252 << 0;
      QTest::addRow("%s, Big5 names in Big5", qPrintable(language))
          << language << system + rememberedBig5 << big5 << big5 << 950 << 0;
    }
  }
  void uncleanTextIsNamed() {
    QFETCH(QString, language);
    QFETCH(QByteArray, ini);
    QFETCH(QByteArray, contact3);
    QFETCH(QByteArray, contact5);
    QFETCH(int, inUse);
    QFETCH(int, unclean);
    ShellEnv env;
    env.WriteFile(QStringLiteral("system.ini"), ini);
    env.Context().ReadLanguage();
    env.Context().Settings().Update([&](DeviceValues& v) {
      v.SetText("B2", kImei);
      v.SetText("Vc", contact3.toStdString());
      v.SetText("Ve", contact5.toStdString());
    });
    env.Context().FollowTracker();
    QCOMPARE(env.Context().CodePage(), inUse);
    Standalone<MsgPage> view(env);
    const QString note = view.page->ProgressLine()->text();
    QCOMPARE(view.page->NameEdit(2)->text(), env.Context().FromDevice(contact3.toStdString()));
    if (unclean == 0) {
      QVERIFY2(note.isEmpty(), qPrintable(note));
      return;
    }
    const QString field = FieldName(env.Context(), "Vc");  // the first one named
    QVERIFY2(note.contains(field), qPrintable(note));
    QVERIFY2(note.contains(CodePageName(env.Context(), inUse)), qPrintable(note));
    if (unclean > 1) QVERIFY2(note.contains(QStringLiteral(" %1 ").arg(unclean - 1)), qPrintable(note));
    QVERIFY2(note.contains(language == QStringLiteral("English") ? QStringLiteral("Settings") : QStringLiteral("設定")),
             qPrintable(note));
    QVERIFY(view.page->ProgressLine()->isVisible());
  }
};

QTEST_MAIN(TestTrackerEncoding)
#include "tst_tracker_encoding.moc"
