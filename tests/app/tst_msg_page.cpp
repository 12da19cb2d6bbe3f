// The contacts and messages page against the simulated tracker.
#include "qt_warnings.h"
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

#include <string>
#include <vector>

#include "controls/CLabel.h"
#include "device/timing.h"
#include "page_test_support.h"
#include "pages/MsgPage.h"

using namespace zd573;
using namespace zd573::test;

namespace {

std::string Key(char series, int row) { return std::string{'V', static_cast<char>(series + row)}; }
std::string GKey(int row) { return std::string{'G', static_cast<char>('0' + row)}; }

struct Contact {
  std::string name;
  std::string phone;
};

// Every contact, emergency number and report value of the simulated tracker,
// so none of its factory values leaks into a test.
void SeedTracker(sim::Simulator& tracker, const std::vector<Contact>& contacts, const std::vector<std::string>& emergency,
                 const std::string& f0, const std::string& h2, const std::string& f2) {
  for (int row = 0; row < MsgPage::kContacts; ++row) {
    const bool given = row < static_cast<int>(contacts.size());
    tracker.SetValue(Key('a', row), given ? contacts[static_cast<std::size_t>(row)].name : "");
    tracker.SetValue(Key('A', row), given ? contacts[static_cast<std::size_t>(row)].phone : "");
  }
  for (int k = 0; k < MsgPage::kEmergencyRows; ++k)
    tracker.SetValue(GKey(k), k < static_cast<int>(emergency.size()) ? emergency[static_cast<std::size_t>(k)] : "");
  tracker.SetValue("F0", f0);
  tracker.SetValue("H2", h2);
  tracker.SetValue("F2", f2);
}

// The same, straight into the record, for tests that send nothing.
void SeedRecord(ShellEnv& env, const std::vector<Contact>& contacts, const std::vector<std::string>& emergency) {
  env.Context().Settings().Update([&](DeviceValues& v) {
    v.SetText("B2", "356895037533210");
    for (int row = 0; row < MsgPage::kContacts; ++row) {
      const bool given = row < static_cast<int>(contacts.size());
      v.SetText(Key('a', row), given ? contacts[static_cast<std::size_t>(row)].name : "");
      v.SetText(Key('A', row), given ? contacts[static_cast<std::size_t>(row)].phone : "");
    }
    for (int k = 0; k < MsgPage::kEmergencyRows; ++k)
      v.SetText(GKey(k), k < static_cast<int>(emergency.size()) ? emergency[static_cast<std::size_t>(k)] : "");
    v.SetText("F0", "+15550100199");
    v.SetNumber("H2", 60);
    v.SetNumber("F2", 1);
  });
}

bool MakeActive(QWidget* page) {
  page->window()->show();
  page->window()->activateWindow();
  // The row selection follows the keyboard focus: wait for the window to have it.
  return QTest::qWaitFor([page] { return QApplication::activeWindow() == page->window(); });
}

std::string SetSentence(char part, int index, const std::string& pairs) {
  return "KVS,KestrovinZD-573," + std::string(1, part) + "," + std::to_string(index) + "," + pairs + "*QQ!\r\n";
}

}  // namespace

class TestMsgPage : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  // Opened from the main window: shown from the record on Contacts with no
  // row selected; one Apply sends both tabs as ten sentences with the real
  // pause after each, the report interval shows what was sent, and Back then
  // closes without a question.
  void opensShowsAppliesAndRefreshes() {
    ShellEnv env;
    env.Context().durations.setSentencePause = timing::kSetSentencePause;
    sim::Simulator* tracker = env.StartTracker();
    QVERIFY(tracker);
    SeedTracker(*tracker, {{"Anna", "0911222333"}, {"Ben", "0922333444"}, {"Home", "0911222333"}, {"", ""},
                           {"Eve", "+886955"}},
                {"0911222333", "", "999"}, "0933444555", "60", "1");
    tracker->SetValue("Vt", "Tom");
    tracker->SetValue("VT", "110");
    ReadRecordFrom(env, *tracker);
    OpenedPage o;
    MsgPage* page = OpenFromButton<MsgPage>(env, o, CZD573_UtilityDlg::kMsgButton);
    QVERIFY(page);
    QVERIFY(env.messages.empty());
    QVERIFY(MakeActive(page));

    QCOMPARE(page->ActiveTab(), MsgPage::Tab::Contacts);
    QCOMPARE(page->ContactsHeader()->Foreground(), QColor(Qt::black));
    QCOMPARE(page->SmsHeader()->Foreground(), QColor(Qt::white));
    QCOMPARE(page->CurrentRow(), int(MsgPage::kNoRow));
    QVERIFY(page->NameEdit(0)->isVisible() && !page->ReportNumberEdit()->isVisible());
    QCOMPARE(page->NameEdit(2)->text(), QStringLiteral("Home"));
    QCOMPARE(page->PhoneEdit(4)->text(), QStringLiteral("+886955"));
    QCOMPARE(page->NameEdit(19)->text(), QStringLiteral("Tom"));
    for (int row = 0; row < MsgPage::kContacts; ++row) QVERIFY(!page->NameEdit(row)->isReadOnly());

    // The SMS side was filled while the page opened.
    QCOMPARE(page->EmergencyName(0)->text(), QStringLiteral("Anna"));
    QTest::mouseClick(page->SmsHeader(), Qt::LeftButton);
    QCOMPARE(page->ActiveTab(), MsgPage::Tab::Sms);
    QCOMPARE(page->SmsHeader()->Foreground(), QColor(Qt::black));
    QVERIFY(!page->NameEdit(0)->isVisible() && page->ReportNumberEdit()->isVisible());
    QCOMPARE(page->EmergencyPhone(2)->text(), QStringLiteral("999"));
    QCOMPARE(page->ReportNumberEdit()->text(), QStringLiteral("0933444555"));
    QCOMPARE(page->IntervalEdit()->text(), QStringLiteral("60"));
    QVERIFY(page->TextFormat()->isChecked() && !page->EngineerFormat()->isChecked());
    QVERIFY(!page->Changed());

    // Edit both tabs; the row typed into becomes the one editable row.
    QTest::mouseClick(page->ContactsHeader(), Qt::LeftButton);
    QTest::mouseClick(page->NameEdit(1), Qt::LeftButton);
    QCOMPARE(page->CurrentRow(), 1);
    QVERIFY(page->NameEdit(0)->isReadOnly() && page->PhoneEdit(2)->isReadOnly());
    page->NameEdit(1)->selectAll();
    QTest::keyClicks(page->NameEdit(1), QStringLiteral("Bob"));
    QCOMPARE(page->NameEdit(1)->text(), QStringLiteral("Bob"));
    QTest::mouseClick(page->SmsHeader(), Qt::LeftButton);
    page->EmergencyPhone(5)->setText(QStringLiteral("110"));
    page->IntervalEdit()->setText(QStringLiteral("2"));
    QTest::mouseClick(page->EngineerFormat(), Qt::LeftButton);
    QVERIFY(page->Changed());

    ApplyAndWait(page);
    QVERIFY2(env.messages.empty(), env.messages.empty() ? "" : qPrintable(env.messages[0].text));
    const auto sets = SetSentences(*tracker);
    const std::vector<std::string> expected{
        SetSentence('1', 0, "Va=Anna,Vb=Bob,Vc=Home,Vd=,Ve=Eve"),
        SetSentence('0', 1, "Vf=,Vg=,Vh=,Vi=,Vj="),
        SetSentence('0', 2, "Vk=,Vl=,Vm=,Vn=,Vo="),
        SetSentence('0', 3, "Vp=,Vq=,Vr=,Vs=,Vt=Tom"),
        SetSentence('0', 4, "VA=0911222333,VB=0922333444,VC=0911222333,VD=,VE=+886955"),
        SetSentence('0', 5, "VF=,VG=,VH=,VI=,VJ="),
        SetSentence('0', 6, "VK=,VL=,VM=,VN=,VO="),
        SetSentence('0', 7, "VP=,VQ=,VR=,VS=,VT=110"),
        SetSentence('0', 8, "G0=0911222333,G1=,G2=999,G3=,G4=,G5=110"),
        SetSentence('2', 9, "H2=3,F0=0933444555,F2=0"),
    };
    QCOMPARE(sets.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) QCOMPARE(sets[i].bytes, expected[i]);
    QVERIFY(PausedBetween(sets, timing::kSetSentencePause));
    QCOMPARE(page->IntervalEdit()->text(), QStringLiteral("3"));
    QCOMPARE(tracker->Value("H2"), std::string("3"));

    QTest::mouseClick(page->BackButton(), Qt::LeftButton);
    QVERIFY(env.questions.empty());
    QTRY_VERIFY(!o.page);
  }

  // Each emergency row names the first contact whose phone, as edited now,
  // is exactly its number; an empty number names nobody.
  void emergencyNames() {
    ShellEnv env;
    SeedRecord(env,
               {{"Anna", "0911"}, {"Ben", "0922"}, {"Cleo", "0911"}, {"Dan", ""}, {"Eve", "09111"}, {"Fay", "0955"}},
               {"0911", "", "0922", "091", "0955", "0966"});
    Standalone<MsgPage> view(env);
    MsgPage& page = *view.page;
    // Contact 6 takes the last number only after the page opened.
    page.PhoneEdit(5)->setText(QStringLiteral("0966"));
    page.ShowSms();
    const QStringList named{"Anna", "", "Ben", "", "", "Fay"};
    for (int k = 0; k < MsgPage::kEmergencyRows; ++k) QCOMPARE(page.EmergencyName(k)->text(), named[k]);
  }

  void moves_data() {
    QTest::addColumn<QList<int>>("clicked");  // contact rows given the focus, in order
    QTest::addColumn<QString>("presses");     // U for Up, D for Down
    QTest::addColumn<QList<int>>("order");    // contact numbers on the first rows; the rest stay
    QTest::addColumn<int>("current");
    QTest::newRow("Up before any focus") << QList<int>{} << "U" << QList<int>{} << int(MsgPage::kNoRow);
    QTest::newRow("Up on the first row") << QList<int>{0} << "U" << QList<int>{} << 0;
    QTest::newRow("Down on the last row") << QList<int>{19} << "D" << QList<int>{} << 19;
    QTest::newRow("Up twice from the fifth row") << QList<int>{4} << "UU" << QList<int>{1, 2, 5, 3, 4} << 2;
    QTest::newRow("Down from the tenth row into the second column")
        << QList<int>{9} << "D" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 10} << 10;
    QTest::newRow("a read-only row clicked becomes current")
        << QList<int>{2, 7} << "U" << QList<int>{1, 2, 3, 4, 5, 6, 8, 7} << 6;
  }
  void moves() {
    QFETCH(QList<int>, clicked);
    QFETCH(QString, presses);
    QFETCH(QList<int>, order);
    QFETCH(int, current);
    ShellEnv env;
    std::vector<Contact> contacts;
    for (int n = 1; n <= MsgPage::kContacts; ++n) contacts.push_back({std::to_string(n), "09" + std::to_string(n)});
    SeedRecord(env, contacts, {});
    Standalone<MsgPage> view(env);
    MsgPage& page = *view.page;
    QVERIFY(MakeActive(&page));
    QCOMPARE(page.CurrentRow(), int(MsgPage::kNoRow));
    for (int row : clicked) QTest::mouseClick(page.PhoneEdit(row), Qt::LeftButton);
    for (QChar c : presses) QTest::mouseClick(c == 'U' ? page.UpButton() : page.DownButton(), Qt::LeftButton);

    QCOMPARE(page.CurrentRow(), current);
    for (int row = 0; row < MsgPage::kContacts; ++row) {
      const int contact = row < order.size() ? order[row] : row + 1;
      QCOMPARE(page.NameEdit(row)->text(), QString::number(contact));
      QCOMPARE(page.PhoneEdit(row)->text(), QStringLiteral("09") + QString::number(contact));
      const bool editable = current == MsgPage::kNoRow || row == current;
      QCOMPARE(!page.NameEdit(row)->isReadOnly(), editable);
      QCOMPARE(!page.PhoneEdit(row)->isReadOnly(), editable);
    }
    // The typing cursor went along with the contact.
    if (current != MsgPage::kNoRow) QVERIFY(page.PhoneEdit(current)->hasFocus());
    QCOMPARE(page.Changed(), !order.isEmpty());
  }

  // Typed report intervals and what goes out; the edit then shows what was sent.
  void reportInterval_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("sent");
    QTest::newRow("2 is raised") << "2" << "3";
    QTest::newRow("empty is raised") << "" << "3";
    QTest::newRow("negative is raised") << " -7" << "3";
    QTest::newRow("4 stays") << "4" << "4";
    QTest::newRow("letters after the digits") << "12abc" << "12";
    QTest::newRow("too large is refused") << "70000" << "";
  }
  void reportInterval() {
    QFETCH(QString, typed);
    QFETCH(QString, sent);
    ShellEnv env;
    sim::Simulator* tracker = env.StartTracker();
    QVERIFY(tracker);
    ReadRecordFrom(env, *tracker);
    Standalone<MsgPage> view(env);
    MsgPage& page = *view.page;
    page.show();
    page.IntervalEdit()->setText(typed);
    ApplyAndWait(&page);
    const auto sets = SetSentences(*tracker);
    if (sent.isEmpty()) {
      // Not cut to 16 bits behind the user's back: nothing is sent and the edit stays.
      QCOMPARE(env.messages.size(), std::size_t(1));
      QVERIFY2(env.messages[0].text.contains(QStringLiteral("report interval")), qPrintable(env.messages[0].text));
      QVERIFY(sets.empty());
      QCOMPARE(page.IntervalEdit()->text(), typed);
      QVERIFY(page.Changed());
      return;
    }
    QVERIFY(env.messages.empty());
    QCOMPARE(sets.size(), std::size_t(10));
    QVERIFY2(sets[9].bytes.rfind("KVS,KestrovinZD-573,2,9,H2=" + sent.toStdString() + ",", 0) == 0,
             sets[9].bytes.c_str());
    QCOMPARE(page.IntervalEdit()->text(), sent);
    QVERIFY(!page.Changed());
  }

  // Nothing to say still says all of it: ten sentences of empty values.
  void allFieldsEmpty() {
    ShellEnv env;
    sim::Simulator* tracker = env.StartTracker();
    QVERIFY(tracker);
    SeedTracker(*tracker, {}, {}, "", "", "0");
    ReadRecordFrom(env, *tracker);
    Standalone<MsgPage> view(env);
    MsgPage& page = *view.page;
    page.show();
    ApplyAndWait(&page);
    QVERIFY(env.messages.empty());
    const auto sets = SetSentences(*tracker);
    QCOMPARE(sets.size(), std::size_t(10));
    QCOMPARE(sets[0].bytes, SetSentence('1', 0, "Va=,Vb=,Vc=,Vd=,Ve="));
    QCOMPARE(sets[8].bytes, SetSentence('0', 8, "G0=,G1=,G2=,G3=,G4=,G5="));
    QCOMPARE(sets[9].bytes, SetSentence('2', 9, "H2=3,F0=,F2=0"));
  }

  void screens_data() { AddLanguageRows(); }
  void screens() {
    QFETCH(QString, language);
    ShellEnv env;
    env.Context().SetLanguage(language.toStdString());
    SeedRecord(env,
               {{"Anna Lindqvist", "+15550100101"}, {"Home", "+15550100102"}, {"Office", "+15550100103"},
                {"Dr. Okafor", "5550100104"}, {"Ben", "0922333444"}, {"Cleo", "0933444555"}},
               {"+15550100101", "+15550100102", "0933444555", "", "999"});
    env.Context().Settings().Update([](DeviceValues& v) {
      v.SetText("Vk", "Kai");
      v.SetText("VK", "0988777666");
      v.SetText("Vt", "Twentieth Contact");
      v.SetText("VT", "+886912345678");
    });
    Standalone<MsgPage> view(env);
    MsgPage& page = *view.page;
    page.show();
    QVERIFY(env.messages.empty());
    SaveScreen(&page, QStringLiteral("msg-page-contacts-") + language);
    page.ShowSms();
    SaveScreen(&page, QStringLiteral("msg-page-sms-") + language);
  }
};

QTEST_MAIN(TestMsgPage)
#include "tst_msg_page.moc"
