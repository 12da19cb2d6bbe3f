// What the window's messages may not hold: a character of a refused secret,
// a file's or a tracker's control bytes as they are, a path named twice.
#include "qt_warnings.h"
#include <QLineEdit>
#include <QtTest>

#include "controls/CGdipButton.h"
#include "device/profile_writer.h"
#include "frame/Messages.h"
#include "frame/SessionHost.h"
#include "pages/PasswordPage.h"
#include "pages/ProfileReviewSheet.h"
#include "settings/text_encoding.h"
#include "shell_test_support.h"

using namespace zd573;
using namespace zd573::test;

class TestMessages : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  void saysNoMoreThanItShould_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("holds");     // what the message must say
    QTest::addColumn<QStringList>("lacks");     // what it may not
    QTest::addColumn<QString>("namedOnce");     // a path (under the test's folder) said exactly once
    QTest::addColumn<QString>("input");         // typed, or the file's text
    for (const char* language : {"English", "TChinese"}) {
      QTest::addRow("password not encodable, %s", language)
          << "password" << language << QStringList{"OU-name"} << QStringList{"Qz", "Kx", QString::fromUtf8("王")}
          << QString() << QStringLiteral("Qz王Kx");
      QTest::addRow("password with a comma, %s", language)
          << "password" << language << QStringList{"OU-name"} << QStringList{"Qz", "Kx"} << QString()
          << QStringLiteral("Qz,Kx");
    }
    QTest::addRow("key with an escape sequence")
        << "load" << "English" << QStringList{"\\x1b[2Jzz"} << QStringList{QStringLiteral("\x1b")} << QString()
        << QStringLiteral("[DEVICE]\n\x1b[2Jzz=1\n");
    QTest::addRow("file that cannot be read")
        << "load" << "English" << QStringList{"No such file or directory"} << QStringList() << "missing.ini" << QString();
    QTest::addRow("report that is a folder")
        << "report" << "English" << QStringList{"Is a directory"} << QStringList() << "adir" << QString();
    QTest::addRow("backup before a write")
        << "backup" << "English" << QStringList{"Not a directory"} << QStringList() << "afile" << QString();
  }
  void saysNoMoreThanItShould() {
    QFETCH(QString, how);
    QFETCH(QString, language);
    QFETCH(QStringList, holds);
    QFETCH(QStringList, lacks);
    QFETCH(QString, namedOnce);
    QFETCH(QString, input);
    ShellEnv env;
    env.Context().SetLanguage(language.toStdString());
    env.WriteFile(QStringLiteral("afile"), "a file where a folder is meant\n");
    QVERIFY(QDir().mkpath(env.Path(QStringLiteral("adir"))));
    QVERIFY(settings::WriteDeviceCodePage(env.Context().SystemIni(), 1252));
    env.Context().Refresh();
    SessionHost session(env.Context(), nullptr);

    if (how == QLatin1String("password") || how == QLatin1String("backup")) {
      if (how == QLatin1String("backup")) {
        qputenv("XDG_DATA_HOME", env.Path(QStringLiteral("afile")).toLocal8Bit());
        env.Context().Settings().Update([](DeviceValues& v) { v.SetText("B2", "356895037533210"); });
        input = QStringLiteral("1234");
      }
      PasswordPage page(env.Context(), nullptr);
      page.show();
      page.NewEdit()->setText(input);
      page.ConfirmEdit()->setText(input);
      QTest::mouseClick(page.ConfirmButton(), Qt::LeftButton);
    } else if (how == QLatin1String("load")) {
      const QString name = namedOnce.isEmpty() ? QStringLiteral("hostile.ini") : namedOnce;
      if (!input.isEmpty()) env.WriteFile(name, input.toUtf8());
      QVERIFY(!ProfileReviewSheet::Open(env.Context(), session, nullptr, env.Path(name)));
    } else if (how == QLatin1String("report")) {
      ProvisionReport report;
      const Status opened = report.Open(env.Path(namedOnce).toStdString());
      QVERIFY(!opened);
      env.Context().ShowFailure(nullptr, opened.failure());
    }

    QCOMPARE(env.messages.size(), std::size_t(1));
    const QString said = env.messages[0].text;
    for (QString part : holds) {
      if (part == QLatin1String("OU-name")) part = FieldName(env.Context(), "OU");
      QVERIFY2(said.contains(part), qPrintable(part + QStringLiteral(" not in:\n") + said));
    }
    for (const QString& part : lacks) QVERIFY2(!said.contains(part), qPrintable(part + QStringLiteral(" in:\n") + said));
    if (!namedOnce.isEmpty()) QCOMPARE(said.count(env.Path(namedOnce)), 1);
  }
};

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"
