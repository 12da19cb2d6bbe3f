// The track view with a long track, offscreen: the time from handing it the
// records to its first frame, and to the frame with every tile in view from
// the disk cache; then the map dragged for five seconds while tiles come from
// a tile server on the loopback address, with the longest time the window's
// loop was busy (a 1 ms timer's longest gap) and the longest move (its event
// and the frame after it). Prints one line of figures per run.
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "frame/AppContext.h"
#include "logger/log_record.h"
#include "pages/TrackMap.h"
#include "pages/TrackView.h"
#include "settings/paths.h"

using namespace zd573;

namespace {

// A tile like a street map's: a ground, blocks, roads and a label; about the
// size of one (tens of KB as PNG).
QByteArray TilePng() {
  QImage tile(256, 256, QImage::Format_RGB32);
  tile.fill(QColor(242, 239, 233));
  QPainter p(&tile);
  p.setRenderHint(QPainter::Antialiasing);
  QRandomGenerator random(7);
  for (int i = 0; i < 40; ++i) {
    p.fillRect(QRect(random.bounded(256), random.bounded(256), 10 + random.bounded(40), 10 + random.bounded(40)),
               QColor(220 + random.bounded(20), 210 + random.bounded(20), 200 + random.bounded(20)));
  }
  for (int i = 0; i < 30; ++i) {
    p.setPen(QPen(i % 5 ? QColor(255, 255, 255) : QColor(247, 200, 120), 2 + random.bounded(5)));
    p.drawLine(random.bounded(256), random.bounded(256), random.bounded(256), random.bounded(256));
  }
  p.setPen(Qt::darkGray);
  p.drawText(QRect(0, 100, 256, 40), Qt::AlignCenter, QStringLiteral("Main Street"));
  p.end();
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  tile.save(&buffer, "PNG");
  return png;
}

// Answers every GET with the tile, cacheable for a day.
class LocalTileServer : public QObject {
 public:
  LocalTileServer() : png_(TilePng()) {
    server_.listen(QHostAddress::LocalHost);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection())
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          in_[socket] += socket->readAll();
          while (in_[socket].contains("\r\n\r\n")) {
            in_[socket].remove(0, in_[socket].indexOf("\r\n\r\n") + 4);
            ++requests;
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nCache-Control: max-age=86400\r\n"
                          "Content-Length: " + QByteArray::number(png_.size()) + "\r\n\r\n" + png_);
          }
        });
    });
  }
  quint16 Port() const { return server_.serverPort(); }
  int PngBytes() const { return int(png_.size()); }
  int requests = 0;

 private:
  QTcpServer server_;
  QByteArray png_;
  QHash<QTcpSocket*, QByteArray> in_;
};

void Until(const std::function<bool()>& done) {
  while (!done()) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

double Ms(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir dir;
  qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toLocal8Bit());
  settings::SetSystemIniPathOverride(std::filesystem::path(dir.filePath(QStringLiteral("system.ini")).toStdString()));
  QApplication app(argc, argv);
  const std::size_t points = argc > 1 ? std::size_t(std::atol(argv[1])) : 100000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;

  LocalTileServer server;
  const std::string host = "127.0.0.1:" + std::to_string(server.Port());
  const settings::IniFile ini(settings::SystemIniPath());
  (void)ini.Write("MAP", "TileUrl", "http://" + host + "/{z}/{x}/{y}.png");
  (void)ini.Write("MAP", "Shown", "1");
  (void)ini.Write("MAP", "AgreedServer", host);
  AppContext context;
  auto source = std::make_shared<TrackSource>(TrackSource{logger::GenerateTrack(points, 1), QStringLiteral("bench"), {}});

  auto open = [&](QWidget& window) {
    window.setFixedSize(PageFrame::kSize);
    auto* view = new TrackView(context, &window);
    window.show();
    QApplication::processEvents();
    return view;
  };
  {
    // The cache is filled once: the tiles of the fitted view.
    QWidget window;
    TrackView* view = open(window);
    view->Show(source);
    Until([view] { return view->HasTrack() && !view->Tiles()->Busy(); });
  }
  std::printf("%zu points, tile %d bytes; ms to the first frame, to every tile from the cache, to the figures\n",
              points, server.PngBytes());
  const int fetched = server.requests;
  for (int run = 0; run < runs; ++run) {
    QWidget window;
    TrackView* view = open(window);
    QElapsedTimer clock;
    clock.start();
    view->Show(source);
    Until([view] { return view->HasTrack(); });
    view->Map()->repaint();
    const double first = Ms(clock);
    Until([view] { return !view->Tiles()->Busy(); });
    view->Map()->repaint();
    const double tiles = Ms(clock);
    Until([view] { return !view->Figuring(); });
    std::printf("open %d: %.1f %.1f %.1f\n", run + 1, first, tiles, Ms(clock));
  }
  std::printf("tiles asked of the server while opening: %d\n", server.requests - fetched);

  // Dragging: 60 moves a second for five seconds, in circles drifting
  // sideways two zoom levels in, so that new tiles keep coming from the server.
  QWidget window;
  TrackView* view = open(window);
  view->Show(source);
  Until([view] { return view->HasTrack() && !view->Tiles()->Busy(); });
  TrackMap* map = view->Map();
  map->ZoomBy(2);
  Until([view] { return !view->Tiles()->Busy(); });
  QElapsedTimer gapClock;
  double longestGap = 0;
  QTimer beat;
  beat.setInterval(1);
  gapClock.start();
  QObject::connect(&beat, &QTimer::timeout, [&] {
    longestGap = std::max(longestGap, Ms(gapClock));
    gapClock.restart();
  });
  const QPointF middle(map->width() / 2.0, map->height() / 2.0);
  QPointF at = middle;
  auto send = [&](QEvent::Type type, QPointF where) {
    QMouseEvent event(type, where, map->mapToGlobal(where), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(map, &event);
  };
  send(QEvent::MouseButtonPress, at);
  double longestMove = 0;
  int moves = 0;
  const int before = server.requests;
  QTimer mover;
  mover.setInterval(16);
  QObject::connect(&mover, &QTimer::timeout, [&] {
    ++moves;
    const double angle = moves * 0.02;
    at = middle + QPointF(std::cos(angle) * 120, std::sin(angle) * 80) + QPointF(moves * 2.0, 0);
    QElapsedTimer one;
    one.start();
    send(QEvent::MouseMove, at);
    map->repaint();
    longestMove = std::max(longestMove, Ms(one));
    if (moves == 300) {
      mover.stop();
      beat.stop();
      QApplication::quit();
    }
  });
  gapClock.restart();
  beat.start();
  mover.start();
  QApplication::exec();
  send(QEvent::MouseButtonRelease, at);
  std::printf("drag: %d moves, longest move %.1f ms, longest the loop was busy %.1f ms, %d tiles fetched meanwhile\n",
              moves, longestMove, longestGap, server.requests - before);
  settings::SetSystemIniPathOverride(std::nullopt);
  return 0;
}
