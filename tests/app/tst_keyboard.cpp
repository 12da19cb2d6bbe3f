// The window for keyboard and screen-reader users: every control a reader can
// reach has a name in the current language, Tab walks each view in order and
// never reaches close, and a whole session works with the keyboard alone.
#include "qt_warnings.h"
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "page_test_support.h"
#include "pages/InfoPage.h"
#include "pages/LoginPage.h"
#include "pages/MsgPage.h"
#include "pages/PageRegistry.h"
#include "pages/PasswordPage.h"
#include "pages/SetupPage.h"
#include "settings/paths.h"

using namespace zd573;
using namespace zd573::test;

namespace {

using Dlg = CZD573_UtilityDlg;

QString Name(QWidget* w) {
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
  return a ? a->text(QAccessible::Name) : QString();
}

QString Describe(QWidget* w) {
  return QStringLiteral("%1 \"%2\" at %3,%4")
      .arg(QString::fromLatin1(w->metaObject()->className()), Name(w))
      .arg(w->mapTo(w->window(), QPoint()).x())
      .arg(w->mapTo(w->window(), QPoint()).y());
}

// Every control of `view` that Tab can reach, and every label, as a reader
// would meet them: a name, without doubled ampersands.
void ExpectNamed(QWidget* view) {
  QList<QWidget*> all = view->findChildren<QWidget*>();
  for (QWidget* w : all) {
    if (!w->isVisibleTo(view->window())) continue;
    const bool reachable = (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && !w->focusProxy();
    const bool label = qobject_cast<CLabel*>(w) && !static_cast<CLabel*>(w)->text().isEmpty();
    if (!reachable && !label) continue;
    // The line edit inside a list speaks through the list.
    if (qobject_cast<QComboBox*>(w->parentWidget())) continue;
    const QString name = Name(w);
    QVERIFY2(!name.trimmed().isEmpty(), qPrintable(QStringLiteral("no name: ") + Describe(w)));
    QVERIFY2(!name.contains(QStringLiteral("&&")), qPrintable(QStringLiteral("doubled ampersand: ") + Describe(w)));
    // "Ringing & Alarm", not "Ringing  Alarm": an ampersand is said once, never dropped.
    QVERIFY2(!name.contains(QStringLiteral("  ")), qPrintable(QStringLiteral("lost ampersand: ") + Describe(w)));
    // A list is named by its label; its selection is its value.
    if (auto* list = qobject_cast<QComboBox*>(w); list && !list->currentText().isEmpty()) {
      QCOMPARE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Value), list->currentText());
      QVERIFY2(name != list->currentText(), qPrintable(QStringLiteral("named by its value: ") + Describe(w)));
    }
  }
  // A picture is a graphic, not a button without a name.
  for (CGdipButton* b : view->findChildren<CGdipButton*>()) {
    if (!b->isVisibleTo(view->window())) continue;
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
    QVERIFY2(a->role() != QAccessible::PushButton || !a->text(QAccessible::Name).trimmed().isEmpty(),
             qPrintable(QStringLiteral("nameless button: ") + Describe(b)));
  }
}

// Presses Tab until the focus comes back where it started; the widgets met.
QList<QWidget*> TabWalk(QWidget* window) {
  QList<QWidget*> met;
  QWidget* start = QApplication::focusWidget();
  if (!start) {
    QTest::keyClick(window, Qt::Key_Tab);
    start = QApplication::focusWidget();
  }
  if (!start) return met;
  met << start;
  for (int i = 0; i < 200; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* now = QApplication::focusWidget();
    if (!now || now == start) break;
    met << now;
  }
  return met;
}

void Activate(QWidget* window) {
  window->show();
  QApplication::setActiveWindow(window);
  QVERIFY(QTest::qWaitForWindowActive(window));
}

}  // namespace

class TestKeyboard : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  void everyViewIsNamedAndWalksInOrder_data() {
    QTest::addColumn<QString>("view");
    QTest::addColumn<QString>("language");
    QStringList views{"menu", "login", "setup", "password"};
    for (const PageEntry& e : ConfigurationPages()) views << QString::number(e.buttonId);
    views << QStringLiteral("sms");
    for (const char* language : {"English", "TChinese"})
      for (const QString& v : views)
        QTest::addRow("%s %s", qPrintable(v), language) << v << QString::fromLatin1(language);
  }
  void everyViewIsNamedAndWalksInOrder() {
    QFETCH(QString, view);
    QFETCH(QString, language);
    ShellEnv env;
    QVERIFY(settings::WriteCurrentLanguage(env.Context().SystemIni(), language.toStdString()).ok());
    sim::Simulator* tracker = env.StartTracker();
    QVERIFY(tracker);
    auto w = std::make_unique<Dlg>(env.Context());
    Activate(w.get());
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), 10000);
    ReadRecordFrom(env, *tracker, false);
    for (int id : Dlg::PageButtonIds()) w->Button(id)->SetDisabledState(false);

    QWidget* shown = w->Menu();
    QWidget* confirm = nullptr;
    QWidget* cancel = nullptr;
    if (view == QLatin1String("login")) {
      w->OnLogin();
      auto* sheet = w->OpenSheet();
      QVERIFY(sheet);
      shown = sheet;
      confirm = sheet->ConfirmButton();
      cancel = sheet->CancelButton();
    } else if (view == QLatin1String("setup")) {
      w->OnSettings();
      auto* sheet = w->OpenSheet();
      QVERIFY(sheet);
      shown = sheet;
      confirm = sheet->ConfirmButton();
      cancel = sheet->CancelButton();
    } else if (view == QLatin1String("password")) {
      w->OnPageButton(Dlg::kInfoButton);
      auto* info = qobject_cast<InfoPage*>(w->OpenPage());
      QVERIFY(info);
      QTest::mouseClick(info->ChangePassword(), Qt::LeftButton);
      auto* sheet = w->findChild<PasswordPage*>();
      QVERIFY(sheet);
      shown = sheet;
      confirm = sheet->ConfirmButton();
      cancel = sheet->CancelButton();
    } else if (view != QLatin1String("menu")) {
      const int button = view == QLatin1String("sms") ? int(Dlg::kMsgButton) : view.toInt();
      w->OnPageButton(button);
      QVERIFY(w->OpenPage());
      shown = w->OpenPage();
      if (view == QLatin1String("sms")) qobject_cast<MsgPage*>(shown)->ShowSms();
      confirm = w->OpenPage()->ApplyButton();
      cancel = w->OpenPage()->BackButton();
    }
    ExpectNamed(shown);
    // A sheet is a dialog and a page a pane, each named by its title.
    QAccessibleInterface* self = QAccessible::queryAccessibleInterface(shown);
    if (view != QLatin1String("menu")) {
      QCOMPARE(self->role(), qobject_cast<PageFrame*>(shown) ? QAccessible::Pane : QAccessible::Dialog);
      QVERIFY(!self->text(QAccessible::Name).isEmpty());
    }

    const QList<QWidget*> walk = TabWalk(w.get());
    QVERIFY(walk.size() >= 2);
    QStringList met;
    for (QWidget* x : walk) met << Describe(x);
    for (QWidget* x : walk) {
      // Tab stays in the view that shows, and never reaches minimise or close.
      QVERIFY2(shown->isAncestorOf(x), qPrintable(met.join(QStringLiteral("\n"))));
      auto* b = qobject_cast<CGdipButton*>(x);
      QVERIFY2(!b || (b->accessibleName() != env.Context().Text("STR_GLOBAL_CLOSE", "Close") &&
                      b->accessibleName() != env.Context().Text("STR_GLOBAL_MINIMISE", "Minimise")),
               qPrintable(met.join(QStringLiteral("\n"))));
    }
    if (view == QLatin1String("menu")) {
      // Login first, then the six page buttons in reading order.
      const int login = walk.indexOf(w->Button(Dlg::kLoginButton));
      QVERIFY2(login >= 0, qPrintable(met.join(QStringLiteral("\n"))));
      for (int i = 0; i < 6; ++i)
        QCOMPARE(walk.at((login + 1 + i) % walk.size()), w->Button(Dlg::PageButtonIds()[static_cast<std::size_t>(i)]));
      // The arrows move by the grid of three columns; at an edge the focus stays.
      const std::vector<int> ids = Dlg::PageButtonIds();
      auto tile = [&](std::size_t i) { return w->Button(ids.at(i)); };
      tile(0)->setFocus(Qt::TabFocusReason);
      const struct {
        Qt::Key key;
        std::size_t to;
      } moves[] = {{Qt::Key_Right, 1}, {Qt::Key_Down, 4}, {Qt::Key_Down, 4}, {Qt::Key_Right, 5},
                   {Qt::Key_Right, 5}, {Qt::Key_Up, 2},   {Qt::Key_Left, 1},  {Qt::Key_Left, 0},
                   {Qt::Key_Left, 0},  {Qt::Key_Up, 0},   {Qt::Key_Down, 3}};
      for (const auto& move : moves) {
        QTest::keyClick(QApplication::focusWidget(), move.key);
        QCOMPARE(QApplication::focusWidget(), tile(move.to));
      }
    } else {
      // The fields in reading order, then confirm (Apply), then cancel (Back).
      const int at = walk.indexOf(confirm);
      QVERIFY2(at >= 0, qPrintable(met.join(QStringLiteral("\n"))));
      QCOMPARE(walk.at((at + 1) % walk.size()), cancel);
      QWidget* first = walk.at((at + 2) % walk.size());
      QVERIFY2(first != confirm && first != cancel, qPrintable(met.join(QStringLiteral("\n"))));
      if (auto* sms = qobject_cast<MsgPage*>(shown); sms && view == QLatin1String("sms")) {
        // The emergency rows down the left block, then the report block.
        const qsizetype first = walk.indexOf(sms->EmergencyPhone(0));
        QVERIFY(first >= 0);
        for (int k = 1; k < MsgPage::kEmergencyRows; ++k) QCOMPARE(walk.value(first + k), sms->EmergencyPhone(k));
        QCOMPARE(walk.value(first + MsgPage::kEmergencyRows), sms->ReportNumberEdit());
        return;
      }
      if (auto* contacts = qobject_cast<MsgPage*>(shown); contacts && view != QLatin1String("sms")) {
        // The contacts read in their numbers' order, down one column, then the next.
        const qsizetype tenth = walk.indexOf(contacts->PhoneEdit(9));
        QVERIFY(tenth >= 0);
        QCOMPARE(walk.value(tenth + 1), contacts->NameEdit(10));
        QCOMPARE(walk.value(walk.indexOf(contacts->NameEdit(0)) + 1), contacts->PhoneEdit(0));
        return;
      }
      for (qsizetype i = 1; i < walk.size(); ++i) {
        if (walk[i] == confirm || walk[i] == cancel || walk[i - 1] == confirm || walk[i - 1] == cancel) continue;
        const QRect a(walk[i - 1]->mapTo(shown, QPoint()), walk[i - 1]->size());
        const QRect b(walk[i]->mapTo(shown, QPoint()), walk[i]->size());
        QVERIFY2(b.center().y() > a.center().y() - 12, qPrintable(met.join(QStringLiteral("\n"))));
      }
    }
  }

  // A keyboard-only session: the focus ring shows where the keys go, and the
  // journal shows what Apply sent.
  void keyboardOnlySession() {
    ShellEnv env;
    sim::Simulator* tracker = env.StartTracker();
    QVERIFY(tracker);
    auto w = std::make_unique<Dlg>(env.Context());
    Activate(w.get());
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kIdentified), 10000);

    auto tabTo = [&](QWidget* target) {
      for (int i = 0; i < 60 && QApplication::focusWidget() != target; ++i)
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w.get(), Qt::Key_Tab);
      return QApplication::focusWidget() == target;
    };
    QVERIFY(tabTo(w->Button(Dlg::kLoginButton)));
    QVERIFY(w->Button(Dlg::kLoginButton)->FocusRingShown());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(w->OpenSheet());
    auto* login = qobject_cast<LoginPage*>(w->OpenSheet());
    QVERIFY(login);
    QTRY_COMPARE(QApplication::focusWidget(), login->PasswordEdit());
    QTest::keyClicks(login->PasswordEdit(), QStringLiteral("4071"));
    QTest::keyClick(login->PasswordEdit(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(w->StatusCode(), int(Dlg::kReadCorrect), 20000);

    QVERIFY(tabTo(w->Button(Dlg::kGprsButton)));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(w->OpenPage());
    PageFrame* page = w->OpenPage();
    // The first field has the keyboard: the APN.
    auto* apn = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(apn);
    apn->selectAll();
    QTest::keyClicks(apn, QStringLiteral("web.example"));
    QVERIFY(tabTo(page->ApplyButton()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!SetSentences(*tracker).empty(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!page->Busy(), 5000);
    QVERIFY(SetSentences(*tracker).back().bytes.find("D1=web.example,") != std::string::npos);
    // The keyboard is back on Apply, not on whatever took it while Apply was grey.
    QCOMPARE(QApplication::focusWidget(), page->ApplyButton());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!w->OpenPage());
    QVERIFY(w->Menu()->isVisible());
    QCOMPARE(QApplication::focusWidget(), w->Button(Dlg::kGprsButton));
    SaveScreen(w.get(), QStringLiteral("keyboard-focus-ring"));
  }

  // Ctrl+Tab and the arrows on a focused tab switch the tab rows.
  void tabRowsSwitchFromTheKeyboard() {
    ShellEnv env;
    auto window = std::make_unique<QWidget>();
    window->setFixedSize(PageFrame::kSize);
    auto* page = MakePage<MsgPage>(env.Context(), window.get());
    Activate(window.get());
    page->NameEdit(0)->setFocus();
    QCOMPARE(page->ActiveTab(), MsgPage::Tab::Contacts);
    // Alt+Down moves the contact being edited, as the Down button does.
    page->NameEdit(0)->setText(QStringLiteral("Ann"));
    QTest::keyClick(page->NameEdit(0), Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(page->NameEdit(1)->text(), QStringLiteral("Ann"));
    QCOMPARE(QApplication::focusWidget(), page->NameEdit(1));
    QTest::keyClick(page->NameEdit(1), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(page->ActiveTab(), MsgPage::Tab::Sms);
    // The keyboard follows to the tab that now shows.
    QCOMPARE(QApplication::focusWidget(), page->SmsHeader());
    page->SmsHeader()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(page->SmsHeader(), Qt::Key_Left);
    QCOMPARE(page->ActiveTab(), MsgPage::Tab::Contacts);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QCOMPARE(page->ActiveTab(), MsgPage::Tab::Sms);
    QAccessibleInterface* tab = QAccessible::queryAccessibleInterface(page->SmsHeader());
    QCOMPARE(tab->role(), QAccessible::PageTab);
    QVERIFY(tab->state().selected);
  }
};

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
