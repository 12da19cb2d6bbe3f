// The text label: background fills, text layout, blinking, transparency and
// links, checked on grabbed pixels away from glyph details.
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include "controls/CLabel.h"
#include "gui_test_util.h"

using namespace zd573;
using guitest::Backdrop;

class LabelTest : public QObject {
  Q_OBJECT

 private:
  // A label on a white parent, shown.
  struct Scene {
    Backdrop parent{QColor(255, 255, 255)};
    CLabel* label;
    explicit Scene(QRect geometry, const QString& text = QString()) : label(new CLabel(text, &parent)) {
      parent.resize(400, 200);
      label->setGeometry(geometry);
      label->SetForeground(QColor(0, 0, 0));
    }
    bool Show() {
      parent.show();
      return QTest::qWaitForWindowExposed(&parent);
    }
    QImage Shown() { return parent.grab(label->geometry()).toImage(); }
  };

 private slots:
  void gradientBands_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<QList<int>>("xs");
    QTest::addColumn<QList<int>>("greys");
    QTest::newRow("50 px") << 50 << QList<int>{0, 1, 2, 49} << QList<int>{0, 5, 10, 249};
    QTest::newRow("300 px") << 300 << QList<int>{0, 2, 3, 5, 6, 299} << QList<int>{0, 0, 2, 2, 5, 252};
  }

  void gradientBands() {
    QFETCH(int, width);
    QFETCH(QList<int>, xs);
    QFETCH(QList<int>, greys);
    Scene s(QRect(10, 10, width, 20));
    s.label->SetBackground(QColor(0, 0, 0), QColor(255, 255, 255), true);
    QVERIFY(s.Show());
    const QImage img = s.Shown();
    for (int k = 0; k < xs.size(); ++k) {
      const QRgb c = img.pixel(xs[k], 10);
      QCOMPARE(qRed(c), greys[k]);
      QCOMPARE(qBlue(c), greys[k]);
    }
  }

  // 300 pixels give 100 runs of 3 equal pixels.
  void gradientHundredBandsOfThree() {
    Scene s(QRect(10, 10, 300, 20));
    s.label->SetBackground(QColor(0, 0, 0), QColor(255, 255, 255), true);
    QVERIFY(s.Show());
    const QImage img = s.Shown();
    QList<int> runs;
    int run = 1;
    for (int x = 1; x < 300; ++x) {
      if (img.pixel(x, 5) == img.pixel(x - 1, 5)) {
        ++run;
      } else {
        runs << run;
        run = 1;
      }
    }
    runs << run;
    QCOMPARE(runs.size(), 100);
    for (int r : runs) QCOMPARE(r, 3);
  }

  void solidAndDefaultBackground() {
    Scene s(QRect(10, 10, 60, 20));
    QVERIFY(s.Show());
    const QColor buttonFace = s.label->palette().color(QPalette::Button);
    QCOMPARE(s.Shown().pixel(1, 1), buttonFace.rgb());
    s.label->SetBackground(QColor(20, 120, 200));
    QCOMPARE(s.Shown().pixel(1, 1), qRgb(20, 120, 200));
  }

  // A clear label whose text shrinks leaves nothing of the longer text.
  void clearLabelLeavesNoRemnant() {
    Scene s(QRect(10, 10, 300, 40), QStringLiteral("WWWWWWWWWWWWWWWWWWWW"));
    s.parent.SetSolid(QColor(40, 50, 60));
    s.label->SetForeground(QColor(255, 255, 0));
    s.label->SetPointSize(16);
    s.label->SetClearBackground(true);
    QVERIFY(s.Show());
    auto yellow = [](QRgb c) { return qRed(c) > 150 && qGreen(c) > 150 && qBlue(c) < 120; };
    const QImage before = s.Shown();
    QVERIFY(guitest::InkBox(before, yellow).right() > 150);
    // The parent shows through around the text.
    QCOMPARE(before.pixel(299, 39), qRgb(40, 50, 60));

    s.label->SetLabelText(QStringLiteral("W"));
    const QImage after = s.Shown();
    const QRect ink = guitest::InkBox(after, yellow);
    QVERIFY(!ink.isEmpty());
    QVERIFY(ink.right() < 60);
    for (int y = 0; y < after.height(); ++y)
      for (int x = 60; x < after.width(); ++x) QCOMPARE(after.pixel(x, y), qRgb(40, 50, 60));
  }

  // Where the text lands for each alignment and the centre-image rule.
  void layout_data() {
    QTest::addColumn<int>("alignment");
    QTest::addColumn<bool>("wordWrap");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("horizontal");  // left, centre, right
    QTest::addColumn<bool>("vcentred");
    QTest::addColumn<int>("lines");
    const int left = Qt::AlignLeft, centre = Qt::AlignHCenter, right = Qt::AlignRight;
    const int vc = Qt::AlignVCenter;
    QTest::newRow("left top") << left << false << "Abc" << "left" << false << 1;
    QTest::newRow("centre wraps") << centre << false << "Abc Abc Abc Abc Abc Abc Abc Abc Abc" << "centre" << false
                                  << 2;
    QTest::newRow("right") << right << false << "Abc" << "right" << false << 1;
    QTest::newRow("left no wrap stays one line") << left << false << "Abc Abc Abc Abc Abc Abc Abc Abc Abc"
                                                 << "left" << false << 1;
    QTest::newRow("left wrap") << left << true << "Abc Abc Abc Abc Abc Abc Abc Abc Abc" << "left" << false << 2;
    QTest::newRow("vertical centre") << (left | vc) << false << "Abc" << "left" << true << 1;
    QTest::newRow("vertical centre refused by CRLF") << (centre | vc) << false << "Abc\r\nAbc" << "centre" << false
                                                     << 2;
  }

  void layout() {
    QFETCH(int, alignment);
    QFETCH(bool, wordWrap);
    QFETCH(QString, text);
    QFETCH(QString, horizontal);
    QFETCH(bool, vcentred);
    QFETCH(int, lines);
    Scene s(QRect(10, 10, 200, 120), text);
    s.label->SetBackground(QColor(255, 255, 255));
    s.label->setAlignment(Qt::Alignment(alignment));
    s.label->setWordWrap(wordWrap);
    QVERIFY(s.Show());
    const QRect ink = guitest::InkBox(s.Shown(), guitest::IsDark);
    QVERIFY(!ink.isEmpty());
    const int lineHeight = QFontMetrics(s.label->FontDescription()).height();

    if (horizontal == QLatin1String("left")) QVERIFY(ink.left() < 6);
    if (horizontal == QLatin1String("right")) QVERIFY(ink.right() > 193);
    if (horizontal == QLatin1String("centre")) QVERIFY(std::abs(ink.left() - (199 - ink.right())) <= 6);
    if (vcentred) {
      QVERIFY(std::abs(ink.center().y() - 60) <= 6);
    } else {
      QVERIFY(ink.top() < lineHeight);
    }
    if (lines == 1) {
      QVERIFY(ink.height() <= lineHeight);
    } else {
      QVERIFY(ink.height() > lineHeight);
    }
  }

  void embossAddsSecondCopy() {
    Scene s(QRect(10, 10, 120, 40), QStringLiteral("Emboss"));
    s.label->SetBackground(QColor(255, 255, 255));
    s.label->SetEmbossColor(QColor(255, 0, 0));
    QVERIFY(s.Show());
    auto red = [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 90 && qBlue(c) < 90; };
    QCOMPARE(guitest::Count(s.Shown(), red), 0);
    s.label->SetEmbossed(true, true);
    const QImage down = s.Shown();
    QVERIFY(guitest::Count(down, red) > 0);
    // Down and right: the red copy reaches one pixel further than the text.
    QCOMPARE(guitest::InkBox(down, red).bottom(), guitest::InkBox(down, guitest::IsDark).bottom() + 1);
  }

  void rotatedTextRunsUpFromCentre() {
    Scene s(QRect(10, 10, 160, 160), QStringLiteral("Rotated text"));
    s.label->SetBackground(QColor(255, 255, 255));
    s.label->SetAngle(90);
    QVERIFY(s.Show());
    const QRect ink = guitest::InkBox(s.Shown(), guitest::IsDark);
    QVERIFY(!ink.isEmpty());
    QVERIFY(ink.height() > 2 * ink.width());
    QVERIFY(ink.bottom() <= 82);
  }

  void fontOperations() {
    CLabel label;
    label.SetBold(true);
    QCOMPARE(label.FontDescription().weight(), QFont::Bold);
    label.SetItalic(true);
    label.SetUnderlined(true);
    label.SetPointSize(20);
    QVERIFY(label.FontDescription().italic());
    QVERIFY(label.FontDescription().underline());
    QCOMPARE(label.FontDescription().pointSize(), 20);
    QVERIFY(label.SetFace(QStringLiteral("DejaVu Sans")));
    QCOMPARE(label.FontDescription().family(), QStringLiteral("DejaVu Sans"));
    // A face name that does not fit the 31-character field is refused.
    QVERIFY(!label.SetFace(QString(32, QLatin1Char('x'))));
    QCOMPARE(label.FontDescription().family(), QStringLiteral("DejaVu Sans"));
  }

  void blinkingTextHidesThenShows() {
    Scene s(QRect(10, 10, 120, 30), QStringLiteral("Blink"));
    s.label->SetBackground(QColor(255, 255, 255));
    QVERIFY(s.Show());
    QVERIFY(guitest::Count(s.Shown(), guitest::IsDark) > 0);
    QElapsedTimer clock;
    clock.start();
    s.label->BlinkText(true);
    QCOMPARE(guitest::Count(s.Shown(), guitest::IsDark), 0);
    QTRY_VERIFY_WITH_TIMEOUT(s.label->BlinkPhase(), 5000);
    QVERIFY(clock.elapsed() >= 450);
    QVERIFY(guitest::Count(s.Shown(), guitest::IsDark) > 0);
    s.label->BlinkText(false);
    QCOMPARE(s.label->Blink(), CLabel::BlinkMode::None);
  }

  // A press on a link opens its target, its text, or a mail to its text;
  // with notify-parent it only tells the parent.
  void linkAction_data() {
    QTest::addColumn<int>("kind");  // 0 none, 1 document, 2 mail
    QTest::addColumn<bool>("notifyParent");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("opened");
    QTest::newRow("document opens text") << 1 << false << "https://example.org/help" << "" << "https://example.org/help";
    QTest::newRow("document opens target") << 1 << false << "Help" << "https://example.org/manual"
                                           << "https://example.org/manual";
    QTest::newRow("mail") << 2 << false << "someone@example.org" << "" << "mailto:someone@example.org";
    QTest::newRow("notify instead of open") << 1 << true << "https://example.org/help" << "" << "";
    QTest::newRow("mail notify") << 2 << true << "someone@example.org" << "" << "";
    QTest::newRow("not a link") << 0 << false << "https://example.org/help" << "" << "";
  }

  void linkAction() {
    QFETCH(int, kind);
    QFETCH(bool, notifyParent);
    QFETCH(QString, text);
    QFETCH(QString, target);
    QFETCH(QString, opened);
    QList<QUrl> urls;
    auto previous = CLabel::SetShellOpener([&urls](const QUrl& url) { urls << url; });
    Scene s(QRect(10, 10, 200, 30), text);
    s.label->SetControlId(1103);
    if (kind == 1) s.label->MakeLink(true, notifyParent);
    if (kind == 2) s.label->MakeMailLink(true, notifyParent);
    s.label->SetLinkTarget(target);
    QSignalSpy notified(s.label, &CLabel::notify);
    QSignalSpy clicked(s.label, &CLabel::clicked);
    QVERIFY(s.Show());

    QTest::mousePress(s.parent.windowHandle(), Qt::LeftButton, {}, QPoint(20, 20));
    // The action happens on the press, before any release.
    QCOMPARE(urls.size(), opened.isEmpty() ? 0 : 1);
    if (!opened.isEmpty()) QCOMPARE(urls.first().toString(), opened);
    QCOMPARE(notified.count(), notifyParent ? 1 : 0);
    if (notifyParent) {
      QCOMPARE(notified.first().at(0).toInt(), 1103);
      QCOMPARE(notified.first().at(1).toUInt(), CLabel::kNotifyCode);
    }
    QTest::mouseRelease(s.parent.windowHandle(), Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(clicked.count(), kind == 0 ? 0 : 1);
    CLabel::SetShellOpener(previous);
  }

  // A plain label lets the press through to the window under it.
  void plainLabelPassesMouseToParent() {
    struct Catcher : Backdrop {
      int presses = 0;
      Catcher() : Backdrop(QColor(255, 255, 255)) {}
      void mousePressEvent(QMouseEvent*) override { ++presses; }
    } parent;
    auto* label = new CLabel(QStringLiteral("Title"), &parent);
    label->setGeometry(0, 0, 100, 30);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QTest::mousePress(parent.windowHandle(), Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(parent.presses, 1);
    label->MakeLink(true, true);
    QTest::mousePress(parent.windowHandle(), Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(parent.presses, 1);
  }
};

QTEST_MAIN(LabelTest)
#include "tst_label.moc"
