#include "pages/TileSource.h"

#include <QDir>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace zd573 {

namespace {

constexpr std::string_view kMapSection = "MAP";
constexpr std::string_view kTileUrlKey = "TileUrl";
constexpr std::string_view kAttributionKey = "Attribution";
constexpr std::string_view kCacheKey = "CacheMB";
constexpr std::string_view kShownKey = "Shown";
constexpr std::string_view kAgreedKey = "AgreedServer";
constexpr int kTimeoutMs = 20000;
// Decoded tiles kept in memory, in KiB: a few screens' worth.
constexpr int kMemoryKiB = 48 * 1024;

QString Read(const settings::IniFile& ini, std::string_view key, const QString& fallback) {
  return QString::fromStdString(ini.Read(kMapSection, key, fallback.toStdString()));
}

}  // namespace

bool IsTileTemplate(const QString& t) {
  const QUrl url(t);
  const QString scheme = url.scheme().toLower();
  if (scheme != QLatin1String("http") && scheme != QLatin1String("https") && scheme != QLatin1String("file"))
    return false;
  if (scheme != QLatin1String("file") && url.host().isEmpty()) return false;
  return t.contains(QLatin1String("{z}")) && t.contains(QLatin1String("{x}")) && t.contains(QLatin1String("{y}"));
}

QString TileServer(const QString& t) {
  const QUrl url(t);
  if (url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) == 0) return {};
  return url.port() < 0 ? url.host() : QStringLiteral("%1:%2").arg(url.host()).arg(url.port());
}

MapSettings MapSettings::Read(const settings::IniFile& ini) {
  MapSettings s;
  const QString url = zd573::Read(ini, kTileUrlKey, s.urlTemplate);
  if (IsTileTemplate(url)) s.urlTemplate = url;
  s.attribution = zd573::Read(ini, kAttributionKey, s.attribution);
  bool ok = false;
  const int mb = zd573::Read(ini, kCacheKey, QString::number(s.cacheMegabytes)).toInt(&ok);
  if (ok && mb >= 0) s.cacheMegabytes = mb;
  s.shown = zd573::Read(ini, kShownKey, QStringLiteral("0")) == QLatin1String("1");
  s.agreedServer = zd573::Read(ini, kAgreedKey, {});
  return s;
}

Status MapSettings::Write(const settings::IniFile& ini) const {
  const std::pair<std::string_view, QString> values[] = {
      {kTileUrlKey, urlTemplate},
      {kAttributionKey, attribution},
      {kCacheKey, QString::number(cacheMegabytes)},
      {kShownKey, shown ? QStringLiteral("1") : QStringLiteral("0")},
      {kAgreedKey, agreedServer},
  };
  for (const auto& [key, value] : values)
    if (Status s = ini.Write(kMapSection, key, value.toStdString()); !s) return s;
  return {};
}

QString MapSettings::Server() const { return TileServer(urlTemplate); }

TileSource::TileSource(QObject* parent) : QObject(parent), manager_(new QNetworkAccessManager(this)) {
  tiles_.setMaxCost(kMemoryKiB);
}

TileSource::~TileSource() = default;

QByteArray TileSource::UserAgent() { return QByteArrayLiteral("zd573-utility/" ZD573_VERSION); }

QUrl TileSource::TileUrl(const QString& t, const TileKey& k) {
  QString url = t;
  url.replace(QLatin1String("{z}"), QString::number(k.z))
      .replace(QLatin1String("{x}"), QString::number(k.x))
      .replace(QLatin1String("{y}"), QString::number(k.y));
  return QUrl(url);
}

void TileSource::Configure(const QString& urlTemplate, const QString& cacheFolder, qint64 cacheBytes) {
  ++generation_;
  template_ = urlTemplate;
  fromFiles_ = QUrl(urlTemplate).isLocalFile();
  queue_.clear();
  loading_.clear();
  failed_.clear();
  tiles_.clear();
  running_ = 0;
  // The replies of the template before finish unseen (their generation is old).
  if (!cacheFolder.isEmpty() && cacheBytes > 0) {
    if (!disk_) {
      disk_ = new QNetworkDiskCache(this);
      manager_->setCache(disk_);  // the manager owns it now
    }
    // Private like the rest of the cache folder: it shows where tracks were looked at.
    QDir().mkpath(cacheFolder);
    QFile::setPermissions(cacheFolder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    disk_->setCacheDirectory(cacheFolder);
    disk_->setMaximumCacheSize(cacheBytes);
  } else if (disk_) {
    disk_->setMaximumCacheSize(0);
  }
}

void TileSource::Want(const std::vector<TileKey>& tiles) {
  queue_.clear();
  if (template_.isEmpty()) return;
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  for (const TileKey& k : tiles) {
    const quint64 id = k.Id();
    if (tiles_.contains(id) || loading_.contains(id)) continue;
    if (auto f = failed_.constFind(id); f != failed_.constEnd()) {
      if (now - f.value() < kRetryMs) continue;
      failed_.erase(f);
    }
    queue_.push_back(k);
  }
  Pump();
}

QPixmap* TileSource::Tile(const TileKey& key) { return tiles_.object(key.Id()); }

TileSource::State TileSource::StateOf(const TileKey& key) const {
  const quint64 id = key.Id();
  if (tiles_.contains(id)) return State::Ready;
  if (loading_.contains(id)) return State::Loading;
  if (failed_.contains(id)) return State::Failed;
  return State::Unknown;
}

void TileSource::Pump() {
  while (running_ < kMaxRequests && !queue_.empty()) {
    const TileKey k = queue_.front();
    queue_.pop_front();
    Start(k, false);
  }
}

void TileSource::Start(const TileKey& key, bool cacheOnly) {
  QNetworkRequest request(TileUrl(template_, key));
  request.setHeader(QNetworkRequest::UserAgentHeader, UserAgent());
  // PreferNetwork serves a fresh tile from the cache and asks the server about
  // a stale one, as its cache headers say; AlwaysCache is the offline fallback.
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                       cacheOnly ? QNetworkRequest::AlwaysCache : QNetworkRequest::PreferNetwork);
  request.setTransferTimeout(kTimeoutMs);
  ++running_;
  if (!cacheOnly) ++sent_;
  loading_.insert(key.Id(), true);
  QNetworkReply* reply = manager_->get(request);
  const int generation = generation_;
  connect(reply, &QNetworkReply::finished, this,
          [this, reply, key, cacheOnly, generation] { Finished(reply, key, cacheOnly, generation); });
}

void TileSource::Finished(QNetworkReply* reply, const TileKey& key, bool cacheOnly, int generation) {
  reply->deleteLater();
  if (generation != generation_) return;
  --running_;
  loading_.remove(key.Id());
  QImage image;
  if (reply->error() == QNetworkReply::NoError && image.loadFromData(reply->readAll()) && !image.isNull()) {
    auto* pixmap = new QPixmap(QPixmap::fromImage(std::move(image)));
    tiles_.insert(key.Id(), pixmap, std::max(1, int(pixmap->width() * pixmap->height() * 4 / 1024)));
  } else if (!cacheOnly && !fromFiles_) {
    // The server cannot be reached (or refused): a tile kept earlier still shows.
    Start(key, true);
    return;
  } else {
    failed_.insert(key.Id(), QDateTime::currentMSecsSinceEpoch());
  }
  emit tileChanged();
  Pump();
}

}  // namespace zd573
