// The skin as shipped: every picture of the catalogue is present at its
// size, and a sample of windows built from it is rendered into
// <build>/screens/ so the look can be inspected.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <set>

#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "controls/SkinCatalogue.h"
#include "gui_test_util.h"

using namespace zd573;

namespace {

// A frameless window of the product: black, with its background picture at
// (1, 1) and further pictures drawn over it.
class PictureWindow : public QWidget {
 public:
  PictureWindow(QSize size, int background, QPoint at = {1, 1}) {
    resize(size);
    if (background) LoadPngAsBitmap(background, background_, this);
    at_ = at;
  }
  void AddPicture(int id, QPoint at, int visibleWidth = -1) {
    QPixmap p;
    CGdiPlusBitmapResource picture(id);
    p = QPixmap::fromImage(picture.Image());
    overlays_.push_back({p, at, visibleWidth});
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), background_.isNull() ? QColor(skin::kPagePanelRgb) : QColor(Qt::black));
    p.drawPixmap(at_, background_);
    for (const auto& o : overlays_) {
      const int w = o.visibleWidth < 0 ? o.pixmap.width() : o.visibleWidth;
      p.drawPixmap(QRect(o.at, QSize(w, o.pixmap.height())), o.pixmap, QRect(0, 0, w, o.pixmap.height()));
    }
  }

 private:
  struct Overlay {
    QPixmap pixmap;
    QPoint at;
    int visibleWidth;
  };
  QPixmap background_;
  QPoint at_;
  std::vector<Overlay> overlays_;
};

CGdipButton* Button(QWidget* parent, QRect geometry, int normal, int pressed = 0, int disabled = 0) {
  auto* b = new CGdipButton(parent);
  b->setGeometry(geometry);
  b->SetNormalImage(normal);
  if (pressed) b->SetPressedImage(pressed);
  if (disabled) b->SetDisabledImage(disabled);
  return b;
}

CLabel* Label(QWidget* parent, QRect geometry, const QString& text, int points = 0, QColor colour = QColor(0x1F, 0x2D, 0x3A)) {
  auto* l = new CLabel(text, parent);
  l->setGeometry(geometry);
  l->SetClearBackground(true);
  l->SetForeground(colour);
  if (points > 0) l->SetPointSize(points);
  return l;
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

QString ScreensDir() {
  QDir().mkpath(QStringLiteral(ZD573_SCREENS_DIR));
  return QStringLiteral(ZD573_SCREENS_DIR);
}

void FrameControls(QWidget* page, const QString& title, const QString& about, int icon, int iconPressed) {
  Button(page, {762, 2, 16, 16}, 176, 177);
  Button(page, {782, 2, 16, 16}, 174, 175);
  Button(page, {1, 500, 65, 50}, 185, 186);
  Button(page, {735, 500, 65, 50}, 183, 184);
  Label(page, {70, 505, 100, 40}, QStringLiteral("Menu"), 20);
  Label(page, {630, 505, 100, 40}, QStringLiteral("Apply"), 20)->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Button(page, {5, 89, 48, 48}, icon, iconPressed);
  Label(page, {60, 89, 500, 40}, title, 16);
  Label(page, {60, 115, 500, 20}, about, 0, QColor(0x4F, 0x64, 0x78));
  Label(page, {600, 89, 500, 40}, QStringLiteral("ZD573"), 16, Qt::white);
  Label(page, {605, 117, 300, 20}, QStringLiteral("IMEI:356938035643809"), 0, Qt::white);
}

}  // namespace

class SkinTest : public QObject {
  Q_OBJECT

 private slots:
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
    QCOMPARE(ids.size(), std::size_t{75});
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

  void sampleRendering() {
    const QString dir = ScreensDir();
    std::vector<QImage> parts;
    for (int id : {233, 234}) {
      CGdiPlusBitmapResource background(id);
      QVERIFY(background.Image().save(dir + QStringLiteral("/background_%1.png").arg(id)));
    }

    // Main window, buttons in the states of a connected device.
    {
      PictureWindow main({802, 602}, 233);
      Button(&main, {762, 2, 16, 16}, 176, 177);
      Button(&main, {782, 2, 16, 16}, 174, 175);
      Label(&main, {28, 20, 400, 40}, QStringLiteral("ZD-573 Utility"), 18, Qt::white)->SetBold(true);
      Button(&main, {76, 140, 96, 96}, 225);
      const int ids[6] = {171, 150, 153, 156, 159, 168};
      const char* captions[6] = {"Device Information", "Contacts && Message", "GPRS Parameter",
                                 "Ringing && Alarm", "Logger", "Settings"};
      for (int i = 0; i < 6; ++i) {
        const int x = 270 + (i % 3) * 178;
        const int y = 112 + (i / 3) * 196;
        Button(&main, {x, y, 115, 115}, ids[i], ids[i] + 1, ids[i] + 2);
        auto* caption = Label(&main, {x - 30, y + 120, 175, 26}, QString::fromLatin1(captions[i]), 11);
        caption->SetBold(true);
        caption->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
      }
      auto* status = Label(&main, {28, 550, 744, 36}, QStringLiteral("Read Setting Correct"), 13);
      status->SetBold(true);
      status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      auto* logout = Button(&main, {54, 262, 140, 40}, 256, 255, 180);
      logout->SetCaption(QStringLiteral("  Loginout"));
      logout->SetCaptionPointSize(14);
      logout->SetCaptionColor(Qt::white);
      logout->SetCaptionOffset(20, 0);
      const QImage shot = Render(main);
      QVERIFY(!shot.isNull());
      QVERIFY(shot.save(dir + QStringLiteral("/main_window.png")));
      parts.push_back(shot);
    }

    // Main window while searching: page buttons and Login disabled.
    {
      PictureWindow main({802, 602}, 233);
      Button(&main, {762, 2, 16, 16}, 176, 177);
      Button(&main, {782, 2, 16, 16}, 174, 175);
      Label(&main, {28, 20, 400, 40}, QStringLiteral("ZD-573 Utility"), 18, Qt::white)->SetBold(true);
      Button(&main, {76, 140, 96, 96}, 225);
      const int ids[6] = {171, 150, 153, 156, 159, 168};
      const char* captions[6] = {"Device Information", "Contacts && Message", "GPRS Parameter",
                                 "Ringing && Alarm", "Logger", "Settings"};
      for (int i = 0; i < 6; ++i) {
        const int x = 270 + (i % 3) * 178;
        const int y = 112 + (i / 3) * 196;
        auto* caption = Label(&main, {x - 30, y + 120, 175, 26}, QString::fromLatin1(captions[i]), 11);
        caption->SetBold(true);
        caption->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        auto* b = Button(&main, {x, y, 115, 115}, ids[i], ids[i] + 1, ids[i] + 2);
        b->SetDisabledState(i != 5);
        if (i == 5) Hover(b);
      }
      auto* status = Label(&main, {28, 550, 744, 36}, QStringLiteral("Search Device..."), 13);
      status->SetBold(true);
      status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      auto* login = Button(&main, {54, 262, 140, 40}, 178, 179, 180);
      login->SetCaption(QStringLiteral("Login"));
      login->SetCaptionPointSize(14);
      login->SetCaptionColor(Qt::white);
      login->SetDisabledState(true);
      const QImage shot = Render(main);
      QVERIFY(shot.save(dir + QStringLiteral("/main_window_searching.png")));
      parts.push_back(shot);
    }

    // Device information page with a logger-style progress bar.
    {
      PictureWindow page({802, 602}, 234);
      page.AddPicture(253, {71, 409});
      page.AddPicture(254, {71, 409}, 300);
      FrameControls(&page, QStringLiteral("Device Information"), QStringLiteral("about us \"Device\" information"),
                    217, 217);
      const char* fields[4] = {"Time Format:", "Time Zone:", "Phone Number:", "Device Name:"};
      for (int i = 0; i < 4; ++i) {
        Label(&page, {90, 180 + i * 40, 200, 24}, QString::fromLatin1(fields[i]))
            ->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        auto* edit = new QLineEdit(&page);
        edit->setGeometry(300, 180 + i * 40, 200, 24);
        edit->setText(i == 3 ? QStringLiteral("Tracker of Anna") : QStringLiteral("24 h"));
      }
      auto* change = Button(&page, {520, 340, 105, 21}, 193, 194);
      change->SetCaption(QStringLiteral("Change Password"));
      change->SetCaptionPointSize(8);
      auto* pressed = Button(&page, {640, 340, 105, 21}, 193, 194);
      pressed->SetCaption(QStringLiteral("Export"));
      pressed->SetCaptionPointSize(8);
      pressed->setDown(true);
      Label(&page, {71, 385, 300, 20}, QStringLiteral("Downloading log: 60 %"));
      const QImage shot = Render(page);
      QVERIFY(shot.save(dir + QStringLiteral("/page_device.png")));
      parts.push_back(shot);
    }

    // Contacts page: the tab panel, badges, Up and Down.
    {
      PictureWindow page({802, 602}, 234);
      page.AddPicture(247, {64, 158});
      FrameControls(&page, QStringLiteral("Contacts && Message"),
                    QStringLiteral("about us \"Contacts && Send Message Setting\" information"), 220, 218);
      auto* tab1 = Label(&page, {64, 158, 118, 32}, QStringLiteral("Contacts"), 11, Qt::black);
      tab1->setAlignment(Qt::AlignCenter);
      auto* tab2 = Label(&page, {186, 158, 118, 32}, QStringLiteral("SMS Message"), 11, Qt::white);
      tab2->setAlignment(Qt::AlignCenter);
      for (int n = 0; n < 20; ++n) {
        const int x = 84 + (n / 10) * 300;
        const int y = 222 + (n % 10) * 25;
        if (n < 4) {
          Button(&page, {x, y + 1, 20, 20}, 249 + n, 249 + n);
        } else {
          Label(&page, {x, y, 20, 23}, QString::number(n + 1))->setAlignment(Qt::AlignCenter);
        }
        auto* name = new QLineEdit(&page);
        name->setGeometry(x + 26, y, 120, 23);
        if (n < 3) name->setText(QStringList{"Anna", "Ben", "Home"}[n]);
        auto* phone = new QLineEdit(&page);
        phone->setGeometry(x + 150, y, 120, 23);
      }
      Label(&page, {110, 198, 120, 20}, QStringLiteral("Name"));
      Label(&page, {260, 198, 120, 20}, QStringLiteral("Phone Numbers"));
      Button(&page, {676, 250, 47, 47}, 203, 204);
      auto* down = Button(&page, {676, 310, 47, 47}, 201, 202);
      down->setDown(true);
      const QImage shot = Render(page);
      QVERIFY(shot.save(dir + QStringLiteral("/page_contacts.png")));
      parts.push_back(shot);
    }

    // Ringing page: the alarm table bands, Play and Stop.
    {
      PictureWindow page({802, 602}, 234);
      page.AddPicture(238, {64, 281});
      page.AddPicture(240, {64, 317});
      page.AddPicture(239, {64, 371});
      page.AddPicture(240, {64, 426});
      FrameControls(&page, QStringLiteral("Ringing && Alarm"), QStringLiteral("about us \"Ringing\" information"), 222,
                    222);
      const char* heads[4] = {"Alarm", "Mode", "Time", "Weekdays"};
      const int hx[4] = {80, 160, 300, 480};
      for (int i = 0; i < 4; ++i)
        Label(&page, {hx[i], 281, 150, 36}, QString::fromLatin1(heads[i]))->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      for (int r = 0; r < 3; ++r) {
        const int y = r == 2 ? 426 : 317 + r * 54;
        Label(&page, {80, y, 60, 54}, QStringLiteral("Alarm %1").arg(r + 1))->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        auto* mode = new QComboBox(&page);
        mode->addItem(r == 1 ? QStringLiteral("Recurrence rule") : QStringLiteral("Off"));
        mode->setGeometry(160, y + 15, 120, 24);
        if (r == 1) {
          for (int k = 0; k < 7; ++k) {
            auto* day = new QCheckBox(QStringList{"Mo", "Tu", "We", "Th", "Fr", "Sa", "Su"}[k], &page);
            day->setGeometry(474 + k * 36, y + 17, 36, 20);
            day->setChecked(k < 5);
          }
        }
      }
      Label(&page, {80, 200, 120, 24}, QStringLiteral("Ring Tone:"))->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      auto* play = Button(&page, {300, 202, 105, 21}, 193, 194);
      play->SetCaption(QStringLiteral("Play"));
      play->SetCaptionPointSize(8);
      auto* stop = Button(&page, {420, 202, 105, 21}, 193, 194);
      stop->SetCaption(QStringLiteral("Stop"));
      stop->SetCaptionPointSize(8);
      Hover(stop);
      const QImage shot = Render(page);
      QVERIFY(shot.save(dir + QStringLiteral("/page_ringing.png")));
      parts.push_back(shot);
    }

    // Login and settings windows side by side.
    QImage dialogs(802, 602, QImage::Format_RGB32);
    dialogs.fill(QColor(0x55, 0x60, 0x6B));
    {
      PictureWindow login({350, 250}, 246, {0, 0});
      Button(&login, {10, 12, 24, 24}, 215, 215);
      Label(&login, {42, 8, 250, 34}, QStringLiteral("Login"), 16)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      Label(&login, {30, 80, 100, 24}, QStringLiteral("Password:"))->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      auto* edit = new QLineEdit(&login);
      edit->setGeometry(130, 80, 180, 24);
      Label(&login, {130, 110, 200, 20}, QStringLiteral("(Default Password:4071)"), 0, QColor(128, 128, 128));
      Button(&login, {8, 194, 65, 50}, 213, 214);
      Label(&login, {76, 206, 100, 26}, QStringLiteral("Cancel"), 12)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      Button(&login, {277, 194, 65, 50}, 183, 184);
      Label(&login, {170, 206, 104, 26}, QStringLiteral("Login"), 12)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      const QImage shot = Render(login);
      QVERIFY(shot.save(dir + QStringLiteral("/dialog_login.png")));
      QPainter(&dialogs).drawImage(20, 20, shot);
    }
    {
      PictureWindow setup({450, 360}, 245, {0, 0});
      setup.AddPicture(243, {10, 50});
      Button(&setup, {10, 12, 24, 24}, 223, 223);
      Label(&setup, {42, 8, 250, 34}, QStringLiteral("Settings"), 16)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      Label(&setup, {10, 50, 104, 30}, QStringLiteral("Options"), 11, Qt::black)->setAlignment(Qt::AlignCenter);
      Label(&setup, {118, 50, 104, 30}, QStringLiteral("About"), 11, Qt::white)->setAlignment(Qt::AlignCenter);
      Label(&setup, {40, 110, 100, 24}, QStringLiteral("Language:"))->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      auto* list = new QComboBox(&setup);
      list->addItem(QStringLiteral("English"));
      list->setGeometry(140, 110, 200, 24);
      Button(&setup, {8, 306, 65, 50}, 213, 214);
      Label(&setup, {76, 318, 100, 26}, QStringLiteral("Cancel"), 12)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      Button(&setup, {377, 306, 65, 50}, 183, 184);
      Label(&setup, {270, 318, 104, 26}, QStringLiteral("Confirm"), 12)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      const QImage shot = Render(setup);
      QVERIFY(shot.save(dir + QStringLiteral("/dialog_setup.png")));
      QPainter(&dialogs).drawImage(20, 290, shot);
    }
    parts.push_back(dialogs);

    // Every button picture in its four faces: normal, pressed, hover, disabled.
    {
      PictureWindow sheet({802, 602}, 0);
      struct Row {
        int normal, pressed, disabled;
        QSize size;
        const char* caption;
      };
      const Row rows[] = {
          {171, 172, 173, {115, 115}, nullptr}, {150, 151, 152, {115, 115}, nullptr},
          {178, 179, 180, {140, 40}, "Login"},  {256, 255, 180, {140, 40}, "  Loginout"},
          {185, 186, 0, {65, 50}, nullptr},     {183, 184, 0, {65, 50}, nullptr},
          {213, 214, 0, {65, 50}, nullptr},     {193, 194, 0, {105, 21}, "Play"},
          {203, 204, 0, {47, 47}, nullptr},     {174, 175, 0, {16, 16}, nullptr},
      };
      int x = 20, y = 50, rowHeight = 0;
      std::vector<CGdipButton*> checked;
      for (const Row& row : rows) {
        const int w = row.size.width() * 4 + 30;
        if (x + w > 790) {
          x = 20;
          y += rowHeight + 14;
          rowHeight = 0;
        }
        for (int f = 0; f < 4; ++f) {
          auto* b = Button(&sheet, {QPoint(x + f * (row.size.width() + 10), y), row.size}, row.normal, row.pressed,
                           row.disabled);
          if (row.caption) {
            b->SetCaption(QString::fromLatin1(row.caption));
            b->SetCaptionPointSize(row.size.height() < 30 ? 8 : 14);
            if (row.size.height() >= 30) b->SetCaptionColor(Qt::white);
            if (row.normal == 256) b->SetCaptionOffset(20, 0);
          }
          if (f == 1) b->setDown(true);
          if (f == 2) Hover(b);
          if (f == 3) b->SetDisabledState(true);
          if (row.normal == 171) checked.push_back(b);
        }
        x += w + 20;
        rowHeight = std::max(rowHeight, row.size.height());
      }
      Label(&sheet, {20, 14, 700, 24}, QStringLiteral("Faces: normal, pressed, hover, disabled"), 12);
      const QImage shot = Render(sheet);
      QVERIFY(shot.save(dir + QStringLiteral("/faces.png")));
      parts.push_back(shot);
      // The four faces of one button all look different.
      QCOMPARE(checked.size(), std::size_t{4});
      std::set<QRgb> centres;
      for (auto* b : checked) centres.insert(shot.pixel(b->geometry().center()));
      QCOMPARE(centres.size(), std::size_t{4});
    }

    // One sheet with everything, two windows wide.
    QImage sample(802 * 2 + 10, static_cast<int>((parts.size() + 1) / 2) * 612, QImage::Format_RGB32);
    sample.fill(QColor(0x30, 0x36, 0x3D));
    QPainter p(&sample);
    for (std::size_t i = 0; i < parts.size(); ++i)
      p.drawImage(static_cast<int>(i % 2) * 812, static_cast<int>(i / 2) * 612, parts[i]);
    p.end();
    const QString path = dir + QStringLiteral("/skin_sample.png");
    QVERIFY(sample.save(path));
    QCOMPARE(QImage(path).size(), sample.size());
  }
};

QTEST_MAIN(SkinTest)
#include "tst_skin.moc"
