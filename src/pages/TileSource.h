#pragma once
// The map's raster tiles. They come from a URL template ({z}/{x}/{y}; http,
// https or file://) through Qt's network access manager and its disk cache in
// the cache folder, politely: a User-Agent that names the program and its
// version, at most two requests at a time, the server's cache headers
// honoured, and only the tiles a frame shows (each frame's wishes replace the
// queue; nothing is fetched ahead). A tile that cannot be had is marked
// failed and tried again only after a while; offline, a tile in the cache is
// shown even when it is stale. Nothing here ever waits.
#include <QCache>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QUrl>

#include <deque>
#include <vector>

#include "common/result.h"
#include "settings/ini_file.h"

class QNetworkAccessManager;
class QNetworkDiskCache;
class QNetworkReply;

namespace zd573 {

inline constexpr char kDefaultTileUrl[] = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
inline constexpr char kDefaultAttribution[] = "© OpenStreetMap contributors";
inline constexpr int kDefaultTileCacheMegabytes = 200;

// Where the map's tiles come from and what the map says about them, kept in
// system.ini's [MAP] section.
struct MapSettings {
  QString urlTemplate = QString::fromUtf8(kDefaultTileUrl);
  QString attribution = QString::fromUtf8(kDefaultAttribution);
  int cacheMegabytes = kDefaultTileCacheMegabytes;
  // The user turned the map on.
  bool shown = false;
  // The server the user agreed may learn the track's area (the question is
  // asked again for another one).
  QString agreedServer;

  static MapSettings Read(const settings::IniFile& ini);
  Status Write(const settings::IniFile& ini) const;
  // Who learns what area is looked at: the template's host (and port), or
  // empty for tiles from a folder of this computer.
  QString Server() const;
  // Turning the map on needs the user's yes first.
  bool NeedsConsent() const { return !Server().isEmpty() && Server() != agreedServer; }
};

// http, https or file, with {z}, {x} and {y}.
bool IsTileTemplate(const QString& urlTemplate);
// The template's server for a question ("tile.openstreetmap.org"); empty for file://.
QString TileServer(const QString& urlTemplate);

struct TileKey {
  int z = 0;
  int x = 0;
  int y = 0;
  quint64 Id() const { return (quint64(z) << 48) | (quint64(x) << 24) | quint64(y); }
  bool operator==(const TileKey&) const = default;
};

class TileSource : public QObject {
  Q_OBJECT

 public:
  static constexpr int kMaxRequests = 2;
  // A tile that could not be had is asked for again after this long.
  static constexpr qint64 kRetryMs = 60000;
  enum class State { Unknown, Loading, Ready, Failed };

  explicit TileSource(QObject* parent = nullptr);
  ~TileSource() override;

  // Tiles from `urlTemplate`, kept on disk in `cacheFolder` (none when empty)
  // up to `cacheBytes`. Forgets every tile of the template before.
  void Configure(const QString& urlTemplate, const QString& cacheFolder, qint64 cacheBytes);
  // The tiles a frame shows, the most wanted first: those not yet had are
  // fetched; what an earlier frame wanted and this one does not is dropped.
  void Want(const std::vector<TileKey>& tiles);
  // The tile's picture when it is in memory; null otherwise.
  QPixmap* Tile(const TileKey& key);
  State StateOf(const TileKey& key) const;
  // Requests that may have reached the server, for tests and benchmarks.
  int RequestsSent() const { return sent_; }
  // Tiles of the visible area still coming.
  bool Busy() const { return running_ > 0 || !queue_.empty(); }

  static QUrl TileUrl(const QString& urlTemplate, const TileKey& key);
  // "zd573-utility/<version>": who is asking, for the servers' logs.
  static QByteArray UserAgent();

 signals:
  // A tile arrived or failed: the map draws again.
  void tileChanged();

 private:
  void Pump();
  void Start(const TileKey& key, bool cacheOnly);
  void Finished(QNetworkReply* reply, const TileKey& key, bool cacheOnly, int generation);

  QNetworkAccessManager* manager_ = nullptr;
  QNetworkDiskCache* disk_ = nullptr;
  QString template_;
  bool fromFiles_ = false;
  int generation_ = 0;  // a reply for another template is dropped
  int running_ = 0;
  int sent_ = 0;
  std::deque<TileKey> queue_;
  QHash<quint64, bool> loading_;
  QHash<quint64, qint64> failed_;  // when each failed, ms since the epoch
  QCache<quint64, QPixmap> tiles_;
};

}  // namespace zd573
