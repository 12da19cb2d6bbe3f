// The skin on high-density screens. CMake runs this file once per scale a
// desktop may use (QT_SCALE_FACTOR 1.25, 1.5 and 2): the pictures, the
// button faces and the text get the screen's own pixels, and nothing is cut.
#include "qt_warnings.h"
#include <QDir>
#include <QtTest>

#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "controls/ColorMath.h"
#include "controls/SkinCatalogue.h"
#include "gui_test_util.h"

using namespace zd573;

namespace {

// The configuration page background, as the page frame loads it.
constexpr int kPageBackgroundId = 234;

QSize Device(QSize units, qreal ratio) { return {qRound(units.width() * ratio), qRound(units.height() * ratio)}; }

// The fine picture as the screen should get it, read straight from the
// resource: itself at 2, smoothly resampled at other ratios.
QImage Expected(int id, qreal ratio, QSize units) {
  QImage fine(CGdiPlusBitmapResource::HighDensityPath(id));
  if (fine.isNull()) return {};
  fine = fine.convertToFormat(QImage::Format_ARGB32);
  if (ratio == 2.0) return fine;
  return fine.scaled(Device(units, ratio), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
      .convertToFormat(QImage::Format_ARGB32);
}

// Pixels where `picture` is opaque but `shown` differs from it by more than
// `tolerance` in a channel.
int Mismatches(const QImage& shown, const QImage& picture, QPoint offset = {}, int tolerance = 1) {
  int n = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb p = picture.pixel(x, y);
      if (qAlpha(p) == 255 && !guitest::Near(shown.pixel(offset + QPoint(x, y)), p, tolerance)) ++n;
    }
  return n;
}

// A window like a page: frameless, black, its background picture at (1, 1).
class PageLike : public QWidget {
 public:
  PageLike() : QWidget(nullptr, Qt::FramelessWindowHint) {
    setFixedSize(802, 602);
    ok_ = LoadPngAsBitmap(kPageBackgroundId, background_, this);
  }
  bool Loaded() const { return ok_; }
  const QPixmap& Background() const { return background_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.drawPixmap(1, 1, background_);
  }

 private:
  QPixmap background_;
  bool ok_ = false;
};

QImage Shown(QWidget& w) {
  w.show();
  if (!QTest::qWaitForWindowExposed(&w)) return {};
  QCoreApplication::processEvents();
  return w.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

// Among the 2 x 2 blocks of device pixels that hold ink, the share that is
// not one colour: 0 for text drawn at one pixel per unit and scaled up.
double SplitBlockShare(const QImage& image, const std::function<bool(QRgb)>& ink) {
  int inked = 0, split = 0;
  for (int y = 0; y + 1 < image.height(); y += 2)
    for (int x = 0; x + 1 < image.width(); x += 2) {
      const QRgb a = image.pixel(x, y), b = image.pixel(x + 1, y), c = image.pixel(x, y + 1),
                 d = image.pixel(x + 1, y + 1);
      if (!ink(a) && !ink(b) && !ink(c) && !ink(d)) continue;
      ++inked;
      if (a != b || a != c || a != d) ++split;
    }
  return inked ? static_cast<double>(split) / inked : 0.0;
}

}  // namespace

class HiDpiTest : public QObject {
  Q_OBJECT

  qreal ratio_ = 1;

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  void initTestCase() {
    ratio_ = qApp->devicePixelRatio();
    QVERIFY2(ratio_ > 1.0, "run with QT_SCALE_FACTOR above 1");
  }

  // Every picture is made for the screen and covers the same place in
  // window units as on an ordinary screen.
  void picturesFollowTheScreen_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("size");
    for (const auto& p : skin::kCatalogue) QTest::newRow(qPrintable(QString::number(p.id))) << p.id << QSize(p.width, p.height);
  }

  void picturesFollowTheScreen() {
    QFETCH(int, id);
    QFETCH(QSize, size);
    const CGdiPlusBitmapResource picture(id);
    QVERIFY(picture.HasImage());
    QCOMPARE(picture.Image().devicePixelRatio(), ratio_);
    QCOMPARE(picture.Image().size(), Device(size, ratio_));
    QCOMPARE(picture.Size(), size);
    QCOMPARE(Mismatches(picture.Image(), Expected(id, ratio_, size), {}, 0), 0);
  }

  // A window moved to a screen of another density draws its pictures with
  // that screen's pixels from the next paint on; a picture that failed is
  // told once, not at every paint.
  void pagePicturesFollowAMoveToAnotherScreen() {
    SkinPicture picture(kPageBackgroundId);
    const QSize units = picture.At(1.0).size();
    for (const qreal ratio : {2.0, ratio_, 1.0}) {
      QCOMPARE(picture.At(ratio).devicePixelRatio(), ratio);
      QCOMPARE(picture.At(ratio).size(), Device(units, ratio));
    }
    QStringList told;
    auto previous = SetImageFailureNotifier([&told](QWidget*, const QString& text) { told << text; });
    QWidget page;
    SkinPicture missing(9999);
    QVERIFY(!missing.Load(&page));
    QVERIFY(missing.For(&page).isNull());
    QVERIFY(missing.At(2.0).isNull());
    SetImageFailureNotifier(previous);
    QCOMPARE(told.size(), 1);
  }

  // A button's faces are built at the screen's ratio from the fine picture:
  // where the picture is opaque the face is the picture (brightened on
  // hover), up to its last device pixel.
  void buttonFacesUseTheFinePicture_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("size");
    QTest::newRow("page tile") << 171 << QSize(115, 115);
    QTest::newRow("alarm row band, opaque to its edges") << 240 << QSize(670, 54);
    QTest::newRow("close button, pressed") << 175 << QSize(16, 16);
  }

  void buttonFacesUseTheFinePicture() {
    QFETCH(int, id);
    QFETCH(QSize, size);
    guitest::Backdrop parent{QColor(Qt::magenta)};
    parent.resize(700, 200);
    auto* button = new CGdipButton(&parent);
    button->setGeometry(QRect(QPoint(10, 10), size));
    QVERIFY(button->SetNormalImage(id));
    QCOMPARE(button->sizeHint(), size);
    QVERIFY(!Shown(parent).isNull());
    QVERIFY(button->FacesReady());
    QCOMPARE(button->FacesRatio(), ratio_);
    const QImage face = button->FaceImage(CGdipButton::Face::Normal).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(face.size(), Device(size, ratio_));
    const QImage expected = Expected(id, ratio_, size);
    QCOMPARE(expected.size(), face.size());
    QCOMPARE(Mismatches(face, expected), 0);
    const QImage hover = button->FaceImage(CGdipButton::Face::Hover).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(Mismatches(hover, skin::ApplyColorMatrix(skin::kBrighteningMatrix, expected)), 0);
  }

  // The page background as the pages load and draw it: the screen's pixels,
  // from the black frame to the picture's last row and column.
  void pageBackgroundIsDrawnFromTheFinePicture() {
    PageLike page;
    QVERIFY(page.Loaded());
    QCOMPARE(page.Background().devicePixelRatio(), ratio_);
    const QImage shot = Shown(page);
    QCOMPARE(shot.size(), Device({802, 602}, ratio_));
    const QImage expected = Expected(kPageBackgroundId, ratio_, {800, 600});
    if (ratio_ == 2.0) {
      QCOMPARE(Mismatches(shot, expected, {2, 2}), 0);
    } else {
      // At a fractional ratio the picture starts between two device pixels;
      // check its far corner and the frame around it.
      const QPoint last(qFloor(801 * ratio_) - 1, qFloor(601 * ratio_) - 1);
      QVERIFY2(guitest::Near(shot.pixel(last), expected.pixel(expected.width() - 1, expected.height() - 1), 3),
               qPrintable(guitest::Describe(shot.pixel(last))));
      QCOMPARE(shot.pixel(0, 0), qRgb(0, 0, 0));
      QCOMPARE(shot.pixel(shot.width() - 1, shot.height() - 1), qRgb(0, 0, 0));
    }
    QDir().mkpath(QStringLiteral(ZD573_SCREENS_DIR));
    QVERIFY(shot.save(QStringLiteral(ZD573_SCREENS_DIR "/hidpi_page_background_x%1.png").arg(ratio_)));
  }

  // Labels and captions draw text with the screen's pixels, not text drawn
  // at one pixel per unit and scaled up.
  void textIsDrawnAtTheScreensPixels() {
    if (ratio_ != 2.0) QSKIP("measured on whole device pixels per unit");
    guitest::Backdrop parent{QColor(Qt::white)};
    parent.resize(400, 120);
    auto* label = new CLabel(QStringLiteral("Device Information 0123"), &parent);
    label->setGeometry(10, 10, 300, 30);
    label->SetBackground(Qt::white);
    label->SetForeground(Qt::black);
    label->SetPointSize(14);
    auto* button = new CGdipButton(&parent);
    button->setGeometry(10, 60, 140, 40);
    button->SetNormalImage(193);
    button->SetCaption(QStringLiteral("Change Password"));
    button->SetCaptionColor(Qt::black);
    const QImage shot = Shown(parent);
    QVERIFY(!shot.isNull());
    const double labelShare = SplitBlockShare(shot.copy(QRect(QPoint(20, 20), QSize(600, 60))), guitest::IsDark);
    const double captionShare = SplitBlockShare(shot.copy(QRect(QPoint(20, 120), QSize(280, 80))), guitest::IsDark);
    QVERIFY2(labelShare > 0.3, qPrintable(QString::number(labelShare)));
    QVERIFY2(captionShare > 0.3, qPrintable(QString::number(captionShare)));
  }
};

QTEST_MAIN(HiDpiTest)
#include "tst_hidpi.moc"
