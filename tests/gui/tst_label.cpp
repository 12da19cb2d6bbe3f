// The text label: background fills, text layout, blinking, transparency and
// links, checked on grabbed pixels away from glyph details.
#include "qt_warnings.h"
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
  void init() { zd573::test::FailOnQtWarnings(); }

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

  void fontOperations() {
    CLabel label;
    label.SetBold(true);
    QCOMPARE(label.FontDescription().weight(), QFont::Bold);
    label.SetPointSize(20);
    QCOMPARE(label.FontDescription().pointSize(), 20);
  }

  // A press on a link opens its text; with notify-parent it only tells the parent.
  void linkAction_data() {
    QTest::addColumn<int>("kind");  // 0 none, 1 document
    QTest::addColumn<bool>("notifyParent");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("opened");
    QTest::newRow("document opens text") << 1 << false << "https://example.org/help" << "https://example.org/help";
    QTest::newRow("notify instead of open") << 1 << true << "https://example.org/help" << "";
    QTest::newRow("not a link") << 0 << false << "https://example.org/help" << "";
  }

  void linkAction() {
    QFETCH(int, kind);
    QFETCH(bool, notifyParent);
    QFETCH(QString, text);
    QFETCH(QString, opened);
    QList<QUrl> urls;
    auto previous = CLabel::SetShellOpener([&urls](const QUrl& url) { urls << url; });
    Scene s(QRect(10, 10, 200, 30), text);
    s.label->SetControlId(1103);
    if (kind == 1) s.label->MakeLink(true, notifyParent);
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
