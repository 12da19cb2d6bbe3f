// The map's tiles: drawn at the right pixel from a file:// template, a
// missing one said on the map; nothing fetched from a server before the user
// has said Yes to it, then only the tiles in view, at most two at a time,
// with the program's User-Agent, kept by the cache as the server's headers
// say and shown from it when the server is gone.
#include "qt_warnings.h"
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include "controls/CGdipButton.h"
#include "logger/log_import.h"
#include "pages/MapSettingsSheet.h"
#include "pages/TileSource.h"
#include "pages/TrackMap.h"
#include "pages/TrackView.h"
#include "settings/language.h"
#include "shell_test_support.h"

using namespace zd573;
using namespace zd573::test;

namespace {

const QColor kMarker{255, 0, 0};

QImage Solid(const QColor& colour) {
  QImage tile(256, 256, QImage::Format_RGB32);
  tile.fill(colour);
  return tile;
}

// A tile server on the loopback address: every tile is one colour, each
// request is answered after a pause, and it counts what it was asked.
class FakeTileServer : public QObject {
 public:
  explicit FakeTileServer(int answerAfterMs) : answerAfterMs_(answerAfterMs) {
    QVERIFY(server_.listen(QHostAddress::LocalHost));
    connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        ++connections;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
      }
    });
    QBuffer buffer(&png_);
    buffer.open(QIODevice::WriteOnly);
    Solid(QColor(40, 160, 60)).save(&buffer, "PNG");
  }
  quint16 Port() const { return server_.serverPort(); }
  void Close() { server_.close(); }

  int connections = 0;
  int requests = 0;
  int mostAtOnce = 0;
  QStringList paths;
  QStringList agents;

 private:
  void Read(QTcpSocket* socket) {
    buffers_[socket] += socket->readAll();
    QByteArray& in = buffers_[socket];
    while (in.contains("\r\n\r\n")) {
      const QByteArray head = in.left(in.indexOf("\r\n\r\n"));
      in.remove(0, head.size() + 4);
      const QList<QByteArray> lines = head.split('\n');
      paths << QString::fromLatin1(lines[0].split(' ').value(1));
      for (const QByteArray& line : lines)
        if (line.toLower().startsWith("user-agent:")) agents << QString::fromLatin1(line.mid(11).trimmed());
      ++requests;
      mostAtOnce = std::max(mostAtOnce, ++open_);
      QTimer::singleShot(answerAfterMs_, socket, [this, socket] {
        --open_;
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nCache-Control: max-age=86400\r\nContent-Length: " +
                      QByteArray::number(png_.size()) + "\r\n\r\n" + png_);
      });
    }
  }

  QTcpServer server_;
  int answerAfterMs_;
  int open_ = 0;
  QByteArray png_;
  QHash<QTcpSocket*, QByteArray> buffers_;
};

// A short walk in Taipei, and a view of it as the window shows it.
struct ViewEnv {
  ViewEnv() {
    std::vector<logger::LogRecord> records;
    for (int i = 0; i < 20; ++i) {
      logger::LogRecord r;
      r.gpsTime = 733644000 + uint32_t(i) * 10;
      r.latitude = 25033000 + i * 300;
      r.longitude = 121565000 + i * 200;
      r.speed = 500;
      r.status = (2 << 6) | 7;
      records.push_back(r);
    }
    log = logger::RawLog::FromRecords(records);
  }
  TrackView* Open() {
    window = std::make_unique<QWidget>();
    window->setFixedSize(PageFrame::kSize);
    view = new TrackView(env.Context(), window.get());
    window->show();
    view->Show(std::make_shared<TrackSource>(TrackSource{log, QStringLiteral("walk"), {}}));
    [&] { QTRY_VERIFY(!view->Figuring()); }();
    return view;
  }
  void UseServer(quint16 port) {
    QVERIFY(env.Context().SystemIni().Write("MAP", "TileUrl", "http://127.0.0.1:" + std::to_string(port) + "/{z}/{x}/{y}.png"));
  }

  ShellEnv env;
  logger::RawLog log;
  std::unique_ptr<QWidget> window;
  QPointer<TrackView> view;
};

}  // namespace

class TestMapTiles : public QObject {
  Q_OBJECT

 private slots:
  void init() { zd573::test::FailOnQtWarnings(); }

  // Tiles of zoom 3 around tile (6, 3), each its own colour, that one with a
  // marker pixel at (100, 60): the marker lands on the pixel its place in
  // the world maps to, its neighbours line up with it, and where a tile is
  // missing the map says so.
  void tilesFromFilesAtTheRightPixel() {
    QTemporaryDir dir;
    for (int x = 5; x <= 7; ++x) {
      QDir().mkpath(dir.filePath(QStringLiteral("3/%1").arg(x)));
      for (int y = 2; y <= 4; ++y) {
        if (x == 7 && y == 2) continue;  // missing
        QImage tile = Solid(QColor(x * 30, y * 40, 200));
        if (x == 6 && y == 3) tile.setPixelColor(100, 60, kMarker);
        QVERIFY(tile.save(dir.filePath(QStringLiteral("3/%1/%2.png").arg(x).arg(y))));
      }
    }
    TileSource tiles;
    tiles.Configure(QUrl::fromLocalFile(dir.path()).toString() + QStringLiteral("/{z}/{x}/{y}.png"), {}, 0);
    TrackMap map;
    map.resize(400, 440);
    map.SetTiles(&tiles, QStringLiteral("Test tiles"));
    // A track far out of view: a map without one fetches nothing.
    const std::vector<TrackPoint> far{{.x = 0.1, .y = 0.1, .fix = true, .startsSegment = true}};
    map.SetPoints(&far);
    // The middle of the marker pixel in the middle of the map.
    map.SetView(3, (6 * 256 + 100 + 0.5) / 2048.0, (3 * 256 + 60 + 0.5) / 2048.0);
    map.show();
    QTRY_VERIFY(!tiles.Busy());
    const QImage shot = map.grab().toImage();
    const QColor here(180, 120, 200), right(210, 120, 200), below(180, 160, 200);
    QCOMPARE(shot.pixelColor(200, 220), kMarker);
    QCOMPARE(shot.pixelColor(199, 220), here);
    QCOMPARE(shot.pixelColor(201, 221), here);
    // Tile (7, 3) begins 156 pixels right of the marker, (6, 4) 196 below it.
    QCOMPARE(shot.pixelColor(200 + 155, 220), here);
    QCOMPARE(shot.pixelColor(200 + 156, 220), right);
    QCOMPARE(shot.pixelColor(220, 220 + 195), here);
    QCOMPARE(shot.pixelColor(220, 220 + 196), below);
    // Tile (7, 2) is missing: it is drawn as such, the window never waited for it.
    QCOMPARE(tiles.StateOf({3, 7, 2}), TileSource::State::Failed);
    QCOMPARE(shot.pixelColor(360, 120), QColor(0xE2, 0xE7, 0xEA));
  }

  // The map stays off, and no request reaches the server, until the user
  // says Yes to the question naming it; the answer is kept, so the next view
  // shows the map without asking. Only the tiles in view are asked for, at
  // most two at a time, with the program's name and version; the cache keeps
  // them as the server said, and shows them when the server is gone.
  void nothingFetchedBeforeYes() {
    ViewEnv t;
    FakeTileServer server(150);
    t.UseServer(server.Port());
    const QString name = QStringLiteral("127.0.0.1:%1").arg(server.Port());
    TrackView* view = t.Open();
    QVERIFY(!view->MapBox()->isChecked());
    QTest::qWait(1000);
    QCOMPARE(server.connections, 0);

    t.env.answerYes = false;
    view->MapBox()->click();
    QCOMPARE(t.env.questions.size(), std::size_t(1));
    QVERIFY2(t.env.questions[0].contains(name), qPrintable(t.env.questions[0]));
    QVERIFY(!view->MapBox()->isChecked());
    QTest::qWait(1000);
    QCOMPARE(server.connections, 0);

    t.env.answerYes = true;
    view->MapBox()->click();
    QCOMPARE(t.env.questions.size(), std::size_t(2));
    QVERIFY(view->MapBox()->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(server.requests > 0 && !view->Tiles()->Busy(), 20000);
    const int inView = server.requests;
    // The map is 522 x 230: at most three tiles across and two down.
    QVERIFY2(inView >= 2 && inView <= 6, qPrintable(server.paths.join(QLatin1Char(' '))));
    QVERIFY(server.mostAtOnce <= TileSource::kMaxRequests);
    for (const QString& agent : server.agents) QCOMPARE(agent, QStringLiteral("zd573-utility/" ZD573_VERSION));
    QCOMPARE(t.env.Context().SystemIni().Read("MAP", "AgreedServer", ""), name.toStdString());
    const QImage shot = view->Map()->grab().toImage();
    QCOMPARE(shot.pixelColor(480, 150), QColor(40, 160, 60));
    SaveScreen(t.window.get(), QStringLiteral("track-view-map-English"));

    // The next view: no question, the tiles from the cache, the server not asked again.
    view = t.Open();
    QVERIFY(view->MapBox()->isChecked());
    QTRY_VERIFY(!view->Tiles()->Busy());
    QCOMPARE(t.env.questions.size(), std::size_t(2));
    QVERIFY2(server.requests == inView, qPrintable(server.paths.join(QLatin1Char(' '))));
    // With the server gone, what the cache holds still shows.
    server.Close();
    view = t.Open();
    QTRY_VERIFY(!view->Tiles()->Busy());
    QCOMPARE(view->Map()->grab().toImage().pixelColor(480, 150), QColor(40, 160, 60));

    // Turned off, the map stays off in the next view.
    view->MapBox()->click();
    QVERIFY(!t.Open()->MapBox()->isChecked());
  }

  // The question names the server of the default tiles; the map settings
  // sheet refuses an address without {z}, {x} and {y}; a new server is asked
  // about before a tile comes from it. (Only the loopback address is used.)
  void newServerIsAskedAbout_data() { AddLanguageRows(); }
  void newServerIsAskedAbout() {
    QFETCH(QString, language);
    ViewEnv t;
    QVERIFY(settings::WriteCurrentLanguage(t.env.Context().SystemIni(), language.toStdString()).ok());
    t.env.Context().ReadLanguage();
    TrackView* view = t.Open();
    view->MapBox()->click();
    QCOMPARE(t.env.questions.size(), std::size_t(1));
    QVERIFY(t.env.questions[0].contains(QLatin1String("tile.openstreetmap.org")));
    QVERIFY(!view->MapBox()->isChecked());

    auto settingsSheet = [&] {
      QTest::mouseClick(view->MapSettingsButton(), Qt::LeftButton);
      return t.window->findChild<MapSettingsSheet*>();
    };
    MapSettingsSheet* sheet = settingsSheet();
    QVERIFY(sheet && sheet->isVisible());
    SaveScreen(t.window.get(), QStringLiteral("map-settings-") + language);
    sheet->AddressEdit()->setText(QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
    sheet->Confirm();
    QVERIFY(!sheet->isVisible());
    QCOMPARE(t.env.questions.size(), std::size_t(1));  // the map is off: nothing to ask
    t.env.answerYes = true;
    view->MapBox()->click();
    QCOMPARE(t.env.questions.size(), std::size_t(2));
    QVERIFY(view->MapBox()->isChecked());
    QTRY_VERIFY(view->Tiles()->RequestsSent() > 0 && !view->Tiles()->Busy());
    const int sent = view->Tiles()->RequestsSent();

    QTRY_VERIFY(!t.window->findChild<MapSettingsSheet*>());
    sheet = settingsSheet();
    QVERIFY(sheet);
    sheet->AddressEdit()->setText(QStringLiteral("http://localhost:9/tiles.png"));
    sheet->Confirm();
    QCOMPARE(t.env.messages.size(), std::size_t(1));
    QVERIFY(sheet->isVisible());
    t.env.answerYes = false;
    sheet->AddressEdit()->setText(QStringLiteral("http://localhost:9/{z}/{x}/{y}.png"));
    sheet->Confirm();
    QVERIFY(!sheet->isVisible());
    QCOMPARE(t.env.questions.size(), std::size_t(3));
    QVERIFY(t.env.questions[2].contains(QLatin1String("localhost:9")));
    QVERIFY(!view->MapBox()->isChecked());
    QTest::qWait(500);
    QCOMPARE(view->Tiles()->RequestsSent(), sent);
  }
};

QTEST_MAIN(TestMapTiles)
#include "tst_map_tiles.moc"
