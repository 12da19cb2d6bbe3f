// Pictures from resources, the off-screen surface and the image button,
// checked on grabbed pixels.
#include "qt_warnings.h"
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/CMemDC.h"
#include "gui_test_util.h"

using namespace zd573;
using guitest::Backdrop;
using guitest::Near;

Q_DECLARE_METATYPE(QRgb)
Q_DECLARE_METATYPE(zd573::CGdipButton::Face)

namespace {

// Test pictures (tests/gui/data): 9001 is 20 x 20, transparent but for an
// opaque square of kSquare at (4..9, 4..9); 9002 is 20 x 20 opaque kBlue;
// 9003 is 4 x 2 with a transparent, an opaque and a half-transparent pixel;
// 9004 is not a PNG; 9005 is empty.
constexpr int kSquareId = 9001;
constexpr int kBlueId = 9002;
constexpr int kMixedId = 9003;
constexpr int kCorruptId = 9004;
constexpr int kEmptyId = 9005;
constexpr int kMissingId = 4242;
const QRgb kSquare = qRgb(200, 100, 40);
const QRgb kSquareBright = qRgb(223, 118, 55);
const QRgb kSquareGrey = qRgb(123, 123, 123);
const QRgb kBlue = qRgb(30, 60, 200);
const QPoint kButtonPos(30, 40);

}  // namespace

class ControlsTest : public QObject {
  Q_OBJECT

 private:
  // A shown parent with the pattern and one button at kButtonPos.
  struct Scene {
    Backdrop parent;
    CGdipButton* button;
    Scene() : button(new CGdipButton(&parent)) { button->setGeometry(QRect(kButtonPos, QSize(20, 20))); }
    void Show() {
      parent.show();
      QVERIFY(QTest::qWaitForWindowExposed(&parent));
      QTRY_VERIFY(button->FacesReady());
    }
    // What the screen shows of the button now.
    QImage Shown() { return parent.grab(button->geometry()).toImage(); }
    static QRgb Under(QPoint p) { return Backdrop::PatternAt(kButtonPos.x() + p.x(), kButtonPos.y() + p.y()); }
  };

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  // Only PNG is read: no image format plugin is loaded to be asked about the
  // bytes, not even for bytes that are no PNG. First, before anything else
  // of the test could load one.
  void readsWithoutImagePlugins() {
#ifdef Q_OS_LINUX
    for (const int id : {kSquareId, kCorruptId, kEmptyId}) CGdiPlusBitmapResource picture(id);
    QFile maps(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QVERIFY(!maps.readAll().contains("/imageformats/"));
#else
    QSKIP("reads the loaded libraries from /proc");
#endif
  }

  void loadFromResource_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QSize>("size");
    QTest::newRow("picture") << kSquareId << true << QSize(20, 20);
    QTest::newRow("small picture") << kMixedId << true << QSize(4, 2);
    QTest::newRow("missing") << kMissingId << false << QSize();
    QTest::newRow("not a png") << kCorruptId << false << QSize();
    QTest::newRow("empty resource") << kEmptyId << false << QSize();
  }

  void loadFromResource() {
    QFETCH(int, id);
    QFETCH(bool, ok);
    QFETCH(QSize, size);
    CGdiPlusBitmapResource picture;
    QCOMPARE(picture.LoadFromResource(id), ok);
    QCOMPARE(picture.HasImage(), ok);
    if (ok) QCOMPARE(picture.Image().size(), size);
  }

  void loadEmptiesTheObjectFirst() {
    CGdiPlusBitmapResource picture(kSquareId);
    QVERIFY(picture.HasImage());
    QVERIFY(!picture.LoadFromResource(kCorruptId));
    QVERIFY(!picture.HasImage());
    QVERIFY(picture.LoadFromResource(kMixedId));
    QCOMPARE(picture.Image().size(), QSize(4, 2));
  }

  void loadPngAsBitmapComposesOverWhite() {
    QStringList told;
    auto previous = SetImageFailureNotifier([&told](QWidget*, const QString& text) { told << text; });
    QPixmap bitmap;
    QVERIFY(LoadPngAsBitmap(kMixedId, bitmap));
    SetImageFailureNotifier(previous);
    QVERIFY(told.isEmpty());
    const QImage img = bitmap.toImage();
    QCOMPARE(img.size(), QSize(4, 2));
    QVERIFY(Near(img.pixel(0, 0), qRgb(255, 255, 255), 0));
    QVERIFY(Near(img.pixel(1, 0), qRgb(10, 20, 30), 0));
    QVERIFY2(Near(img.pixel(2, 0), qRgb(255, 127, 127)), qPrintable(guitest::Describe(img.pixel(2, 0))));
    QCOMPARE(qAlpha(img.pixel(0, 0)), 255);
  }

  void loadPngAsBitmapFailureTellsAndEmpties_data() {
    QTest::addColumn<int>("id");
    QTest::newRow("missing") << kMissingId;
    QTest::newRow("not a png") << kCorruptId;
  }

  void loadPngAsBitmapFailureTellsAndEmpties() {
    QFETCH(int, id);
    QStringList told;
    auto previous = SetImageFailureNotifier([&told](QWidget*, const QString& text) { told << text; });
    QPixmap bitmap(8, 8);
    bitmap.fill(Qt::red);
    QVERIFY(!LoadPngAsBitmap(id, bitmap));
    SetImageFailureNotifier(previous);
    QVERIFY(bitmap.isNull());
    QCOMPARE(told, QStringList{QStringLiteral("Failure loading image")});
  }

  // The real notice: a plain OK box without an icon. A timer answers it.
  void defaultFailureNoticeIsPlainBox() {
    SetImageFailureNotifier({});
    QString text;
    QMessageBox::Icon icon = QMessageBox::Critical;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        text = box->text();
        icon = box->icon();
        box->accept();
      }
    });
    answer.start(20);
    QPixmap bitmap;
    QVERIFY(!LoadPngAsBitmap(kMissingId, bitmap));
    QCOMPARE(text, QStringLiteral("Failure loading image"));
    QCOMPARE(icon, QMessageBox::NoIcon);
  }

  void memDcCopiesOnlyWhenItEnds_data() {
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QRect>("expectRed");
    QTest::newRow("part") << QRect(2, 3, 4, 5) << QRect(2, 3, 4, 5);
    QTest::newRow("whole device") << QRect() << QRect(0, 0, 10, 10);
  }

  void memDcCopiesOnlyWhenItEnds() {
    QFETCH(QRect, rect);
    QFETCH(QRect, expectRed);
    QImage target(10, 10, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::blue);
    {
      QPainter p(&target);
      {
        CMemDC memory(&p, rect);
        QVERIFY(memory.IsOffScreen());
        QCOMPARE(memory.Rect(), expectRed);
        memory->fillRect(QRect(0, 0, 10, 10), Qt::red);
        // Nothing reaches the target before the surface ends.
        QCOMPARE(target.pixel(expectRed.topLeft()), QColor(Qt::blue).rgb());
      }
    }
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10; ++x)
        QCOMPARE(target.pixel(x, y), QColor(expectRed.contains(x, y) ? Qt::red : Qt::blue).rgb());
  }

  // Each face is the parent's pixels under the button with the picture on
  // top; derived faces follow the normal picture.
  void derivedFaces_data() {
    QTest::addColumn<CGdipButton::Face>("face");
    QTest::addColumn<QPoint>("probe");
    QTest::addColumn<QRgb>("expected");  // 0 means: the parent's pixel
    using F = CGdipButton::Face;
    QTest::newRow("normal picture") << F::Normal << QPoint(4, 4) << kSquare;
    QTest::newRow("normal background") << F::Normal << QPoint(3, 3) << QRgb(0);
    QTest::newRow("normal background far") << F::Normal << QPoint(19, 19) << QRgb(0);
    QTest::newRow("pressed moved off top left") << F::Pressed << QPoint(4, 4) << QRgb(0);
    QTest::newRow("pressed moved onto") << F::Pressed << QPoint(10, 10) << kSquare;
    QTest::newRow("pressed inside") << F::Pressed << QPoint(5, 5) << kSquare;
    QTest::newRow("hover brightened") << F::Hover << QPoint(6, 6) << kSquareBright;
    QTest::newRow("hover background untouched") << F::Hover << QPoint(1, 15) << QRgb(0);
    QTest::newRow("disabled grey") << F::Disabled << QPoint(9, 9) << kSquareGrey;
    QTest::newRow("disabled background untouched") << F::Disabled << QPoint(15, 1) << QRgb(0);
  }

  void derivedFaces() {
    QFETCH(CGdipButton::Face, face);
    QFETCH(QPoint, probe);
    QFETCH(QRgb, expected);
    Scene s;
    QVERIFY(s.button->SetNormalImage(kSquareId));
    s.Show();
    const QRgb want = expected ? expected : Scene::Under(probe);
    const QRgb got = s.button->FaceImage(face).pixel(probe);
    QVERIFY2(Near(got, want), qPrintable(guitest::Describe(got) + " != " + guitest::Describe(want)));
  }

  // The face on screen follows the state: disabled, then pressed, then
  // hover, then normal.
  void shownFaceFollowsState_data() {
    QTest::addColumn<bool>("disabled");
    QTest::addColumn<bool>("down");
    QTest::addColumn<bool>("hover");
    QTest::addColumn<CGdipButton::Face>("face");
    QTest::addColumn<QRgb>("atSixSix");
    using F = CGdipButton::Face;
    QTest::newRow("normal") << false << false << false << F::Normal << kSquare;
    QTest::newRow("hover") << false << false << true << F::Hover << kSquareBright;
    QTest::newRow("pressed") << false << true << false << F::Pressed << kSquare;
    QTest::newRow("pressed beats hover") << false << true << true << F::Pressed << kSquare;
    QTest::newRow("disabled") << true << false << false << F::Disabled << kSquareGrey;
    QTest::newRow("disabled beats hover") << true << false << true << F::Disabled << kSquareGrey;
  }

  void shownFaceFollowsState() {
    QFETCH(bool, disabled);
    QFETCH(bool, down);
    QFETCH(bool, hover);
    QFETCH(CGdipButton::Face, face);
    QFETCH(QRgb, atSixSix);
    Scene s;
    s.button->SetNormalImage(kSquareId);
    s.Show();
    if (hover) {
      QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), s.button->mapToGlobal(QPointF(5, 5)));
      QApplication::sendEvent(s.button, &enter);
    }
    s.button->setDown(down);
    s.button->SetDisabledState(disabled);
    QCOMPARE(s.button->CurrentFace(), face);
    QCOMPARE(s.button->isEnabled(), !disabled);
    const QImage shown = s.Shown();
    QVERIFY2(Near(shown.pixel(6, 6), atSixSix), qPrintable(guitest::Describe(shown.pixel(6, 6))));
    // The pressed face shows the picture one pixel right and down.
    const bool shifted = face == CGdipButton::Face::Pressed;
    QCOMPARE(Near(shown.pixel(4, 4), Scene::Under({4, 4})), shifted);
    QCOMPARE(Near(shown.pixel(10, 10), Scene::Under({10, 10})), !shifted);
  }

  void disabledStateClearedRestoresNormal() {
    Scene s;
    s.button->SetNormalImage(kSquareId);
    s.Show();
    s.button->SetDisabledState(true);
    QVERIFY(Near(s.Shown().pixel(6, 6), kSquareGrey));
    s.button->SetDisabledState(false);
    QVERIFY(s.button->isEnabled());
    QVERIFY(Near(s.Shown().pixel(6, 6), kSquare));
  }

  void hoverAndLeaveSwitchFaces() {
    Scene s;
    s.button->SetNormalImage(kSquareId);
    s.Show();
    QWindow* window = s.parent.windowHandle();
    QTest::mouseMove(window, QPoint(5, 5));
    QVERIFY(!s.button->Hovering());
    QTest::mouseMove(window, kButtonPos + QPoint(6, 6));
    QTRY_VERIFY(s.button->Hovering());
    QVERIFY(Near(s.Shown().pixel(6, 6), kSquareBright));
    QTest::mouseMove(window, QPoint(190, 110));
    QTRY_VERIFY(!s.button->Hovering());
    QVERIFY(Near(s.Shown().pixel(6, 6), kSquare));
  }

  void separatePictures() {
    Scene s;
    s.button->SetNormalImage(kSquareId);
    QVERIFY(s.button->SetPressedImage(kBlueId));
    QVERIFY(s.button->SetHoverImage(kBlueId));
    // A separate picture that does not load leaves the bare background.
    QVERIFY(!s.button->SetDisabledImage(kMissingId));
    s.Show();
    using F = CGdipButton::Face;
    QVERIFY(Near(s.button->FaceImage(F::Pressed).pixel(0, 0), kBlue));
    QVERIFY(Near(s.button->FaceImage(F::Hover).pixel(6, 6), kBlue));
    QVERIFY(Near(s.button->FaceImage(F::Disabled).pixel(6, 6), Scene::Under({6, 6})));
    QVERIFY(Near(s.button->FaceImage(F::Normal).pixel(6, 6), kSquare));
  }

  // Faces are built once: later pictures or a changed parent do not show.
  void facesAreNeverRebuilt() {
    Scene s;
    s.button->SetNormalImage(kSquareId);
    s.Show();
    s.parent.SetSolid(QColor(9, 9, 9));
    QVERIFY(s.button->SetNormalImage(kBlueId));
    s.button->update();
    QTest::qWait(50);
    const QImage shown = s.Shown();
    QVERIFY2(Near(shown.pixel(6, 6), kSquare), qPrintable(guitest::Describe(shown.pixel(6, 6))));
    QVERIFY2(Near(shown.pixel(15, 15), Scene::Under({15, 15})), qPrintable(guitest::Describe(shown.pixel(15, 15))));
  }

  void withoutNormalPictureOnlyTheCaption() {
    Backdrop parent(QColor(255, 255, 255));
    auto* button = new CGdipButton(&parent);
    button->setGeometry(10, 10, 120, 40);
    button->SetCaption(QStringLiteral("Play"));
    button->SetCaptionColor(QColor(0, 0, 0));
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QVERIFY(!button->FacesReady());
    const QImage shown = parent.grab(button->geometry()).toImage();
    QVERIFY(guitest::Count(shown, guitest::IsDark) > 0);
  }

  void caption() {
    Backdrop parent(QColor(255, 255, 255));
    auto* button = new CGdipButton(&parent);
    button->setGeometry(10, 10, 160, 40);
    button->SetNormalImage(kSquareId);
    button->SetCaptionPointSize(14);
    QCOMPARE(button->font().pointSize(), 14);
    button->SetCaptionColor(QColor(255, 0, 255));
    button->SetCaption(QStringLiteral("Loginout"));
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    auto magenta = [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) > 200; };
    auto grab = [&] { return parent.grab(button->geometry()).toImage(); };

    const QRect centred = guitest::InkBox(grab(), magenta);
    QVERIFY(!centred.isEmpty());
    // Centred: about as much room on the left as on the right.
    QVERIFY(std::abs(centred.left() - (160 - 1 - centred.right())) <= 4);

    button->SetCaptionOffset(20, 0);
    const QRect moved = guitest::InkBox(grab(), magenta);
    QVERIFY(std::abs(moved.left() - centred.left() - 10) <= 2);

    button->SetCaption(QString());
    QVERIFY(!button->HasCaption());
    QCOMPARE(button->Caption(), QStringLiteral("Loginout"));
    QCOMPARE(guitest::Count(grab(), magenta), 0);
  }

  void doubleClickGivesTwoPresses() {
    Backdrop parent;
    auto* button = new CGdipButton(&parent);
    button->setGeometry(10, 10, 40, 30);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QSignalSpy pressed(button, &QAbstractButton::pressed);
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    const QPointF at(5, 5);
    const QPointF global = button->mapToGlobal(at);
    auto send = [&](QEvent::Type type, Qt::MouseButtons buttons) {
      QMouseEvent e(type, at, global, Qt::LeftButton, buttons, Qt::NoModifier);
      QApplication::sendEvent(button, &e);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::NoButton);
    send(QEvent::MouseButtonDblClick, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::NoButton);
    QCOMPARE(pressed.count(), 2);
    QCOMPARE(clicked.count(), 2);
  }
};

QTEST_MAIN(ControlsTest)
#include "tst_controls.moc"
