// The skin's colour arithmetic on its own: the two matrices, the
// composition over white and the banded gradient.
#include "qt_warnings.h"
#include <QtTest>

#include "controls/ColorMath.h"

using namespace zd573::skin;

Q_DECLARE_METATYPE(QRgb)

class ColorMathTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  void matrixPixel_data() {
    QTest::addColumn<bool>("grey");
    QTest::addColumn<QRgb>("in");
    QTest::addColumn<QRgb>("expected");
    // Brightening: c * 1.05 + 12.75, rounded, clamped; alpha kept.
    QTest::newRow("bright mid") << false << qRgba(100, 150, 200, 255) << qRgba(118, 170, 223, 255);
    QTest::newRow("bright black lifts") << false << qRgba(0, 0, 0, 255) << qRgba(13, 13, 13, 255);
    QTest::newRow("bright clamps") << false << qRgba(250, 243, 230, 255) << qRgba(255, 255, 254, 255);
    QTest::newRow("bright keeps alpha") << false << qRgba(100, 150, 200, 77) << qRgba(118, 170, 223, 77);
    // Grey: 0.3 R + 0.59 G + 0.11 B into all three; alpha kept.
    QTest::newRow("grey orange") << true << qRgba(200, 100, 40, 255) << qRgba(123, 123, 123, 255);
    QTest::newRow("grey pure green") << true << qRgba(0, 255, 0, 255) << qRgba(150, 150, 150, 255);
    QTest::newRow("grey pure blue") << true << qRgba(0, 0, 255, 255) << qRgba(28, 28, 28, 255);
    QTest::newRow("grey white stays") << true << qRgba(255, 255, 255, 255) << qRgba(255, 255, 255, 255);
    QTest::newRow("grey keeps alpha") << true << qRgba(12, 34, 56, 9) << qRgba(30, 30, 30, 9);
  }

  void matrixPixel() {
    QFETCH(bool, grey);
    QFETCH(QRgb, in);
    QFETCH(QRgb, expected);
    const QRgb out = ApplyColorMatrix(grey ? kGreyMatrix : kBrighteningMatrix, in);
    QCOMPARE(qRed(out), qRed(expected));
    QCOMPARE(qGreen(out), qGreen(expected));
    QCOMPARE(qBlue(out), qBlue(expected));
    QCOMPARE(qAlpha(out), qAlpha(expected));
  }

  // The matrix acts on the colour itself, not on alpha-weighted values, so a
  // half-transparent pixel gets the same colour as an opaque one.
  void matrixImageUsesUnpremultipliedColour() {
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(100, 150, 200, 255));
    image.setPixel(1, 0, qRgba(100, 150, 200, 128));
    const QImage premultiplied = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage out = ApplyColorMatrix(kBrighteningMatrix, premultiplied);
    QCOMPARE(out.format(), QImage::Format_ARGB32);
    const QRgb opaque = out.pixel(0, 0);
    const QRgb half = out.pixel(1, 0);
    QCOMPARE(qAlpha(half), 128);
    QVERIFY(std::abs(qRed(half) - qRed(opaque)) <= 1);
    QVERIFY(std::abs(qGreen(half) - qGreen(opaque)) <= 1);
    QVERIFY(std::abs(qBlue(half) - qBlue(opaque)) <= 1);
  }

  // The whole-picture path gives every pixel what the one-pixel path gives.
  void matrixImageMatchesPixel_data() {
    QTest::addColumn<bool>("grey");
    QTest::newRow("brightening") << false;
    QTest::newRow("grey") << true;
  }

  void matrixImageMatchesPixel() {
    QFETCH(bool, grey);
    const ColorMatrix& m = grey ? kGreyMatrix : kBrighteningMatrix;
    QImage image(256, 64, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        image.setPixel(x, y, qRgba(x, (x * 7 + y * 13) & 255, (x * 31 + y * 5) & 255, y * 4 + 3));
    const QImage out = ApplyColorMatrix(m, image);
    int differing = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) differing += out.pixel(x, y) != ApplyColorMatrix(m, image.pixel(x, y));
    QCOMPARE(differing, 0);
  }

  void composeOverWhite_data() {
    QTest::addColumn<QRgb>("in");
    QTest::addColumn<QRgb>("expected");
    QTest::newRow("transparent becomes white") << qRgba(0, 0, 0, 0) << qRgb(255, 255, 255);
    QTest::newRow("opaque unchanged") << qRgba(10, 20, 30, 255) << qRgb(10, 20, 30);
    QTest::newRow("half red turns pink") << qRgba(255, 0, 0, 128) << qRgb(255, 127, 127);
  }

  void composeOverWhite() {
    QFETCH(QRgb, in);
    QFETCH(QRgb, expected);
    QImage image(1, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, in);
    const QImage out = ComposeOverWhite(image);
    QVERIFY(!out.hasAlphaChannel());
    const QRgb got = out.pixel(0, 0);
    QVERIFY2(std::abs(qRed(got) - qRed(expected)) <= 1 && std::abs(qGreen(got) - qGreen(expected)) <= 1 &&
                 std::abs(qBlue(got) - qBlue(expected)) <= 1,
             qPrintable(QStringLiteral("got %1 %2 %3").arg(qRed(got)).arg(qGreen(got)).arg(qBlue(got))));
  }

  void gradientBands_data() {
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::addColumn<QRgb>("start");
    QTest::addColumn<QRgb>("end");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("bandWidth");
    QTest::addColumn<QList<int>>("sampleBands");
    QTest::addColumn<QList<int>>("sampleGreys");

    const QRgb black = qRgb(0, 0, 0);
    const QRgb white = qRgb(255, 255, 255);
    // 255 * 256 / 50 = 1305 per band: grey 1305 * i / 256.
    QTest::newRow("50 px black to white") << 0 << 50 << black << white << 50 << 1 << QList<int>{0, 1, 2, 49}
                                          << QList<int>{0, 5, 10, 249};
    // 255 * 256 / 100 = 652 per band, bands 3 px wide.
    QTest::newRow("300 px") << 0 << 300 << black << white << 100 << 3 << QList<int>{0, 1, 99}
                            << QList<int>{0, 2, 252};
    QTest::newRow("white to black truncates up") << 0 << 50 << white << black << 50 << 1 << QList<int>{0, 1, 49}
                                                 << QList<int>{255, 249, 5};
    QTest::newRow("offset rectangle") << 20 << 70 << black << white << 50 << 1 << QList<int>{2}
                                      << QList<int>{10};
    QTest::newRow("one pixel") << 5 << 6 << qRgb(7, 7, 7) << white << 1 << 1 << QList<int>{0} << QList<int>{7};
  }

  void gradientBands() {
    QFETCH(int, left);
    QFETCH(int, right);
    QFETCH(QRgb, start);
    QFETCH(QRgb, end);
    QFETCH(int, count);
    QFETCH(int, bandWidth);
    QFETCH(QList<int>, sampleBands);
    QFETCH(QList<int>, sampleGreys);

    const auto bands = GradientBands(start, end, left, right);
    QCOMPARE(static_cast<int>(bands.size()), count);
    for (int i = 0; i < count; ++i) {
      QCOMPARE(bands[static_cast<std::size_t>(i)].x0, left + i * bandWidth);
      const int x1 = (i == count - 1) ? right : left + (i + 1) * bandWidth;
      QCOMPARE(bands[static_cast<std::size_t>(i)].x1, x1);
    }
    for (int k = 0; k < sampleBands.size(); ++k) {
      const QRgb c = bands[static_cast<std::size_t>(sampleBands[k])].colour;
      QCOMPARE(qRed(c), sampleGreys[k]);
      QCOMPARE(qGreen(c), sampleGreys[k]);
      QCOMPARE(qBlue(c), sampleGreys[k]);
    }
  }

  // Wider than 100 pixels but not a multiple of 100: the last band takes
  // the rest and ends on the right edge.
  void gradientLastBandReachesRight() {
    const auto bands = GradientBands(qRgb(0, 0, 0), qRgb(255, 255, 255), 0, 150);
    QCOMPARE(bands.size(), std::size_t{100});
    QCOMPARE(bands.back().x0, 99);
    QCOMPARE(bands.back().x1, 150);
  }

  void gradientEmptyWidthDrawsNothing_data() {
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::newRow("zero") << 10 << 10;
    QTest::newRow("negative") << 10 << 4;
  }

  void gradientEmptyWidthDrawsNothing() {
    QFETCH(int, left);
    QFETCH(int, right);
    QVERIFY(GradientBands(qRgb(0, 0, 0), qRgb(255, 255, 255), left, right).empty());
  }
};

QTEST_APPLESS_MAIN(ColorMathTest)
#include "tst_colormath.moc"
