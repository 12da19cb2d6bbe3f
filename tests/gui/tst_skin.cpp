// The skin as shipped: every picture of the catalogue is present at its
// size, and a sample of windows built from it is rendered into
// <build>/screens/ so the look can be inspected.
#include "qt_warnings.h"
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <set>

#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/SkinCatalogue.h"
#include "gui_test_util.h"

using namespace zd573;

namespace {

CGdipButton* Button(QWidget* parent, QRect geometry, int normal, int pressed = 0, int disabled = 0) {
  auto* b = new CGdipButton(parent);
  b->setGeometry(geometry);
  b->SetNormalImage(normal);
  if (pressed) b->SetPressedImage(pressed);
  if (disabled) b->SetDisabledImage(disabled);
  return b;
}

void Hover(CGdipButton* b) {
  QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), b->mapToGlobal(QPointF(2, 2)));
  QApplication::sendEvent(b, &enter);
}

// Shows, lets every button build its faces, and grabs the window.
QImage Render(QWidget& w) {
  w.show();
  if (!QTest::qWaitForWindowExposed(&w)) return {};
  QCoreApplication::processEvents();
  return w.grab().toImage();
}

}  // namespace

class SkinTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  // A background drawn from its distinct rows is the picture, pixel for
  // pixel, over the whole window and over a part of it.
  void backgroundDrawnByRowsIsThePicture_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QRect>("area");
    QTest::newRow("main, whole") << 233 << QRect(0, 0, 802, 602);
    QTest::newRow("main, status line") << 233 << QRect(28, 550, 744, 36);
    QTest::newRow("page, a button") << 234 << QRect(270, 112, 115, 115);
  }

  void backgroundDrawnByRowsIsThePicture() {
    QFETCH(int, id);
    QFETCH(QRect, area);
    QWidget window;
    SkinPicture rows(id);
    SkinPicture whole(id);
    QImage drawn(802, 602, QImage::Format_RGB32);
    QImage expected(802, 602, QImage::Format_RGB32);
    for (QImage* image : {&drawn, &expected}) image->fill(Qt::black);
    {
      QPainter p(&drawn);
      rows.Draw(p, {1, 1}, area, &window);
      QPainter q(&expected);
      q.setClipRect(area);
      q.drawPixmap(1, 1, whole.For(&window));
    }
    QCOMPARE(drawn, expected);
  }

  void catalogueHasUniqueIds() {
    std::set<int> ids;
    for (const auto& p : skin::kCatalogue) QVERIFY2(ids.insert(p.id).second, qPrintable(QString::number(p.id)));
    QCOMPARE(ids.size(), std::size_t{87});
  }

  void everyPictureExistsAtItsSize_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("size");
    for (const auto& p : skin::kCatalogue)
      QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(p.id).arg(QString::fromLatin1(p.role))))
          << p.id << QSize(p.width, p.height);
  }

  // ... and with twice the pixels for high-density screens, covering the
  // same place in window units.
  void everyPictureExistsAtItsSize() {
    QFETCH(int, id);
    QFETCH(QSize, size);
    CGdiPlusBitmapResource picture;
    QVERIFY(picture.LoadFromResource(id, 1.0));
    QCOMPARE(picture.Image().size(), size);
    CGdiPlusBitmapResource fine;
    QVERIFY(fine.LoadFromResource(id, 2.0));
    QCOMPARE(fine.Image().size(), size * 2);
    QCOMPARE(fine.Image().devicePixelRatio(), 2.0);
    QCOMPARE(fine.Size(), size);
  }

  // Where controls sit, the page pictures carry exactly the panel colours
  // the pages paint their controls with.
  void panelColoursMatchThePages_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<int>("rgb");
    QTest::newRow("page body") << 234 << QPoint(300, 300) << skin::kPagePanelRgb;
    QTest::newRow("contacts panel body") << 247 << QPoint(300, 200) << skin::kMessagePanelRgb;
    QTest::newRow("sms panel body") << 248 << QPoint(300, 200) << skin::kMessagePanelRgb;
    QTest::newRow("alarm row") << 240 << QPoint(200, 27) << skin::kPagePanelRgb;
    QTest::newRow("recurring alarm row") << 239 << QPoint(500, 27) << skin::kPagePanelRgb;
  }

  void panelColoursMatchThePages() {
    QFETCH(int, id);
    QFETCH(QPoint, at);
    QFETCH(int, rgb);
    for (const int scale : {1, 2}) {
      CGdiPlusBitmapResource picture(id, scale);
      QCOMPARE(picture.Image().pixel(at * scale) & 0xFFFFFF, static_cast<QRgb>(rgb));
    }
  }

  // The title band is dark and the panel under it light, on both windows.
  void backgroundsHaveDarkBandAndLightPanel_data() {
    QTest::addColumn<int>("id");
    QTest::newRow("main") << 233;
    QTest::newRow("page") << 234;
  }

  void backgroundsHaveDarkBandAndLightPanel() {
    QFETCH(int, id);
    CGdiPlusBitmapResource picture(id);
    auto lightness = [&](int x, int y) { return QColor(picture.Image().pixel(x, y)).lightness(); };
    for (int x : {10, 200, 400})
      for (int y : {5, 40, 75}) QVERIFY2(lightness(x, y) < 80, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    for (int x : {10, 200, 400}) QVERIFY(lightness(x, 300) > 220);
  }

  // The committed pictures are what the generator draws now: nobody changed
  // a recipe without regenerating, or a picture by hand. A few pixels may
  // differ where a newer rasteriser rounds text edges differently.
  void committedPicturesAreTheGeneratorsOutput() {
    QTemporaryDir out;
    QVERIFY(out.isValid());
    QProcess generator;
    generator.start(QStringLiteral(ZD573_SKIN_GEN), {out.path()});
    QVERIFY(generator.waitForFinished(60000));
    QCOMPARE(generator.exitCode(), 0);
    for (const auto& p : skin::kCatalogue) {
      for (const int scale : {1, 2}) {
        const QString name = scale == 1 ? QStringLiteral("%1.png").arg(p.id) : QStringLiteral("%1@2x.png").arg(p.id);
        const QImage fresh = QImage(out.filePath(name)).convertToFormat(QImage::Format_ARGB32);
        const CGdiPlusBitmapResource picture(p.id, scale);
        const QImage& committed = picture.Image();
        QCOMPARE(fresh.size(), committed.size());
        int differing = 0;
        for (int y = 0; y < fresh.height(); ++y)
          for (int x = 0; x < fresh.width(); ++x) {
            const QRgb a = fresh.pixel(x, y);
            const QRgb b = committed.pixel(x, y);
            if (!guitest::Near(a, b, 2) || std::abs(qAlpha(a) - qAlpha(b)) > 2) ++differing;
          }
        QVERIFY2(differing * 200 <= fresh.width() * fresh.height(),
                 qPrintable(QStringLiteral("picture %1: %2 pixels differ").arg(name).arg(differing)));
      }
    }
  }
  // The four faces of a button (normal, pressed, hover, disabled) all look different.
  void buttonFacesDiffer() {
    QWidget sheet;
    sheet.resize(520, 140);
    std::vector<CGdipButton*> faces;
    for (int f = 0; f < 4; ++f) {
      CGdipButton* b = Button(&sheet, {10 + f * 125, 10, 115, 115}, 171, 172, 173);
      if (f == 1) b->setDown(true);
      if (f == 2) Hover(b);
      if (f == 3) b->SetDisabledState(true);
      faces.push_back(b);
    }
    const QImage shot = Render(sheet);
    QVERIFY(!shot.isNull());
    std::set<QRgb> centres;
    for (CGdipButton* b : faces) centres.insert(shot.pixel(b->geometry().center()));
    QCOMPARE(centres.size(), std::size_t{4});
  }
};

QTEST_MAIN(SkinTest)
#include "tst_skin.moc"
