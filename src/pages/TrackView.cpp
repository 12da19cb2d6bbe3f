#include "pages/TrackView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFileInfo>
#include <QListWidget>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <utility>

#include "common/files.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"
#include "frame/Accessibility.h"
#include "frame/Messages.h"
#include "frame/Skin.h"
#include "frame/TextConversion.h"
#include "logger/log_archive.h"
#include "logger/log_import.h"
#include "pages/MapSettingsSheet.h"
#include "pages/TrackChart.h"
#include "pages/TrackMap.h"
#include "settings/language.h"
#include "settings/paths.h"

namespace zd573 {

namespace {

constexpr int kColumn = 544;  // the right column: figures, stops, choices
constexpr int kColumnWidth = 248;
constexpr int kNoDay = -1;

struct FigureLook {
  const char* key;
  const char* english;
};
constexpr FigureLook kFigures[TrackView::kFigureCount] = {
    {"STR_TRACKVIEW_POINTS", "Points:"},
    {"STR_TRACKVIEW_FIXES", "Fixes:"},
    {"STR_TRACKVIEW_DISTANCE", "Distance:"},
    {"STR_TRACKVIEW_MOVINGTIME", "Moving time:"},
    {"STR_TRACKVIEW_AVERAGE", "Average moving speed:"},
    {"STR_TRACKVIEW_MAXSPEED", "Maximum speed:"},
    {"STR_TRACKVIEW_STOPS", "Stops:"},
};

QString Whole(std::size_t n) { return QLocale().toString(qulonglong(n)); }
QString Decimal(double v, int decimals) { return QLocale().toString(v, 'f', decimals); }
QString Two(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

// The day an item of the day list stands for; none is all days.
qlonglong DayOf(const QVariant& item) { return item.isValid() ? item.toLongLong() : kNoDay; }

QString TilesFolder() {
  const std::filesystem::path cache = settings::CacheDir();
  return cache.empty() ? QString() : QString::fromStdString(files::PathToUtf8(cache / "tiles"));
}

}  // namespace

struct TrackView::Figured {
  Status status;
  std::shared_ptr<const TrackSource> source;
  std::shared_ptr<const TrackData> data;
};

TrackView::TrackView(AppContext& context, QWidget* window)
    : PageFrame(context, window,
                PageLook{skin::kTrackIcon, "STR_TRACKVIEW_ABOUT", "Where the tracker has been", 300,
                         kPagePanelColour}) {
  Open(PageIdentity{"STR_TRACKVIEW_TITLE", "Track", std::nullopt});
  // Nothing here is written to a tracker: the view has no Apply.
  ApplyButton()->hide();
  ApplyText()->hide();
  ProgressLine()->setGeometry(172, 500, 284, 50);
  ShowTracker({});
  SubtitleLine()->SetLabelText({});
}

TrackView::~TrackView() { figuring_.Stop(); }

void TrackView::CreatePageControls() {
  // The days split where the exports split them.
  offset_ = logger::LocalStandardOffsetSeconds();
  tiles_ = new TileSource(this);

  map_ = new TrackMap(this);
  map_->setGeometry(10, 156, 522, 230);
  map_->setAccessibleName(Text("STR_TRACKVIEW_MAP", "Map"));
  map_->setAccessibleDescription(
      Text("STR_TRACKVIEW_MAPKEYS", "Plus and minus zoom, the arrow keys move the map, 0 fits the track."));
  TrackMap::Texts mapTexts;
  mapTexts.speed = Text("STR_TRACKVIEW_SPEED", "Speed");
  mapTexts.kmh = Text("STR_TRACKVIEW_KMH", "%1 km/h");
  mapTexts.metres = Text("STR_TRACKVIEW_METRES", "%1 m");
  mapTexts.kilometres = Text("STR_TRACKVIEW_KM", "%1 km");
  mapTexts.start = Text("STR_TRACKVIEW_START", "Start");
  mapTexts.end = Text("STR_TRACKVIEW_END", "End");
  mapTexts.tileMissing = Text("STR_TRACKVIEW_NOTILE", "No map here");
  mapTexts.mapOff = Text("STR_TRACKVIEW_MAPOFF", "Map off");
  mapTexts.zoomIn = Text("STR_TRACKVIEW_ZOOMIN", "Zoom in");
  mapTexts.zoomOut = Text("STR_TRACKVIEW_ZOOMOUT", "Zoom out");
  mapTexts.fit = Text("STR_TRACKVIEW_FIT", "Fit to track");
  map_->SetTexts(mapTexts);

  chart_ = new TrackChart(this);
  chart_->setGeometry(10, 392, 522, 96);
  chart_->setAccessibleName(Text("STR_TRACKVIEW_CHARTNAME", "Chart"));
  TrackChart::Texts chartTexts;
  chartTexts.kmh = mapTexts.kmh;
  chartTexts.metres = mapTexts.metres;
  chartTexts.percent = Text("STR_TRACKVIEW_PERCENT", "%1 %");
  chartTexts.empty = Text("STR_TRACKVIEW_NOPOINTS", "No points to show");
  chart_->SetTexts(chartTexts);

  AddLabel(QRect(kColumn, 156, 60, 24), "STR_TRACKVIEW_DAY", "Day:", Qt::AlignLeft | Qt::AlignVCenter);
  days_ = AddList(QRect(kColumn + 62, 156, kColumnWidth - 62, 24));
  for (int i = 0; i < kFigureCount; ++i) {
    names_[i] = AddLabel(QRect(kColumn, 186 + 18 * i, 150, 18), kFigures[i].key, kFigures[i].english,
                         Qt::AlignLeft | Qt::AlignVCenter);
    values_[i] = AddLabel(QRect(kColumn + 150, 186 + 18 * i, kColumnWidth - 150, 18), {}, {},
                          Qt::AlignRight | Qt::AlignVCenter);
    names_[i]->SetPointSize(9);
    values_[i]->SetPointSize(9);
    values_[i]->SetBold(true);
  }
  stops_ = new QListWidget(this);
  stops_->setGeometry(kColumn, 316, kColumnWidth, 78);
  stops_->setAccessibleName(Text("STR_TRACKVIEW_STOPLIST", "Stops"));
  QFont listFont = stops_->font();
  listFont.setPointSize(9);
  stops_->setFont(listFont);
  stops_->setWordWrap(true);

  AddLabel(QRect(kColumn, 400, 60, 24), "STR_TRACKVIEW_CHART", "Chart:", Qt::AlignLeft | Qt::AlignVCenter);
  series_ = AddList(QRect(kColumn + 62, 400, kColumnWidth - 62, 24));
  series_->addItem(Text("STR_TRACKVIEW_SPEED", "Speed"));
  series_->addItem(Text("STR_TRACKVIEW_ALTITUDE", "Altitude"));
  series_->addItem(Text("STR_TRACKVIEW_BATTERY", "Battery"));
  chart_->setAccessibleName(Text("STR_TRACKVIEW_CHARTNAME", "Chart") + QStringLiteral(": ") + series_->currentText());
  jumps_ = AddCheck(QRect(kColumn, 430, kColumnWidth, 22), Text("STR_TRACKVIEW_JUMPS", "Leave out jumps"));
  jumps_->setToolTip(Text("STR_TRACKVIEW_JUMPSTIP", "Fixes more than 300 km/h away from the one before, or with an HDOP over 10"));
  leftOut_ = AddLabel(QRect(kColumn, 452, kColumnWidth, 34), {}, {}, Qt::AlignLeft | Qt::AlignTop);
  leftOut_->setWordWrap(true);
  leftOut_->SetPointSize(9);
  leftOut_->SetForeground(skin::kHintColour);
  leftOut_->SetAccessibleRole(QAccessible::StatusBar);

  mapOn_ = AddCheck(QRect(462, 513, 116, 24), Text("STR_TRACKVIEW_MAPON", "Show the map"));
  mapSettings_ = AddTextButton(QRect(582, 514, 105, 21), Text("STR_TRACKVIEW_MAPSETTINGS", "Map settings…"));
  open_ = AddTextButton(QRect(692, 514, 105, 21), Text("STR_TRACKVIEW_OPEN", "Open file…"));

  connect(map_, &TrackMap::pointPicked, this, &TrackView::Pick);
  connect(chart_, &TrackChart::pointPicked, this, &TrackView::Pick);
  connect(days_, &QComboBox::currentIndexChanged, this, [this] { ShowDay(); });
  connect(series_, &QComboBox::currentIndexChanged, this, [this](int i) {
    chart_->SetSeries(TrackChart::Series(std::clamp(i, 0, 2)));
    Pick(chart_->Picked() >= 0 ? chart_->Picked() : map_->Picked());
    chart_->setAccessibleName(Text("STR_TRACKVIEW_CHARTNAME", "Chart") + QStringLiteral(": ") + series_->currentText());
  });
  connect(stops_, &QListWidget::currentRowChanged, this, &TrackView::PickStop);
  connect(jumps_, &QCheckBox::toggled, this, [this] { Refigure(); });
  connect(mapOn_, &QCheckBox::clicked, this, &TrackView::SetMapShown);
  connect(mapSettings_, &QAbstractButton::clicked, this, &TrackView::OpenMapSettings);
  connect(open_, &QAbstractButton::clicked, this, &TrackView::OpenFile);

  UseMapSettings(MapSettings::Read(context_.SystemIni()));
  ShowDay();
}

std::vector<QWidget*> TrackView::PageFocusOrder() const {
  return {map_,    map_->ZoomInButton(), map_->ZoomOutButton(), map_->FitButton(), chart_, days_, stops_,
          series_, jumps_, mapOn_, static_cast<QWidget*>(mapSettings_), static_cast<QWidget*>(open_)};
}

void TrackView::SetBackCaption(const QString& caption) {
  MenuText()->SetLabelText(caption);
  BackButton()->SetSpokenName(caption);
}

void TrackView::ShowTracker(const std::string& imei) {
  if (imei.empty()) {
    // A file of an unknown tracker: the band says when the track is from.
    const logger::TrackFigures* all = data_ ? &data_->stats.total : nullptr;
    if (!all || !all->first) {
      ShowDeviceName({});
      ImeiLine()->SetLabelText({});
      return;
    }
    const QString from = LocalTime(*all->first, true), to = LocalTime(*all->last, true);
    ShowDeviceName((from.left(10) == to.left(10) ? from.left(10) : from.left(10) + QStringLiteral(" – ") + to.mid(5, 5))
                       .toStdString());
    ImeiLine()->SetLabelText(from.mid(11, 5) + QStringLiteral(" – ") + to.mid(11, 5));
    return;
  }
  const std::string name = context_.StoredUserName(imei);
  ShowDeviceName(name.empty() ? std::string(settings::kNoDeviceUserName) : name);
  const QString format = context_.Text(settings::kImeiKey, settings::kPageImeiDefault);
  ImeiLine()->SetLabelText(FromUtf8(settings::FormatWithText(format.toStdString(), imei)));
}

void TrackView::Show(std::shared_ptr<const TrackSource> source) {
  if (source) Figure(std::move(source));
}

void TrackView::OpenFile() {
  const QString path = context_.AskOpenFile(
      this, context_.FileFolder(), Text("STR_TRACKVIEW_FILTER", "Tracks (*.log *.csv *.gpx);;All files (*)"));
  if (path.isEmpty()) return;
  context_.RememberFileFolder(path);
  OpenPath(path);
}

void TrackView::OpenPath(const QString& path, std::string imei, QString name) {
  // An archive is named after its tracker.
  if (imei.empty() && QFileInfo(path).absolutePath() ==
                          QFileInfo(QString::fromStdString(files::PathToUtf8(logger::ArchiveFolder()))).absoluteFilePath()) {
    const std::string base = QFileInfo(path).completeBaseName().toStdString();
    if (logger::IsArchiveName(base)) imei = base;
  }
  if (name.isEmpty()) name = QFileInfo(path).fileName();
  ShowProgress(FillIn(Text("STR_TRACKVIEW_READING", "Reading %1…"), {name}));
  Figure(nullptr, path.toStdString(), std::move(imei), std::move(name));
}

void TrackView::Refigure() {
  // Figures still being made are not waited for: the track is figured again once they are in.
  if (figuring_.Running()) {
    refigure_ = true;
    return;
  }
  if (source_) Figure(source_);
}

void TrackView::Figure(std::shared_ptr<const TrackSource> source, std::string path, std::string imei, QString name) {
  logger::TrackFilterOptions filter;
  filter.dropJumps = jumps_->isChecked();
  if (source) ShowProgress(Text("STR_TRACKVIEW_FIGURING", "Figuring the track…"));
  pointsShown_ = false;
  figuring_.Run(
      [this, source = std::move(source), path = std::move(path), imei = std::move(imei), name = std::move(name),
       filter, offset = offset_](std::stop_token, const BackgroundTask::Relay& relay) mutable {
        Figured out;
        if (!source) {
          auto log = logger::LoadTrackFile(path);
          if (!log) {
            out.status = log.failure();
            return out;
          }
          source = std::make_shared<TrackSource>(TrackSource{std::move(*log), std::move(name), std::move(imei)});
        }
        out.data = std::make_shared<TrackData>(BuildTrackData(source->log, filter, offset, [&](const TrackData& points) {
          relay.Post([this, source, points = std::make_shared<const TrackData>(points)] { TakePoints(source, points); });
        }));
        out.source = std::move(source);
        return out;
      },
      [this](Figured figured) { TakeFigures(std::move(figured)); });
}

void TrackView::TakePoints(std::shared_ptr<const TrackSource> source, std::shared_ptr<const TrackData> points) {
  const bool sameTrack = source_ == source;
  source_ = std::move(source);
  data_ = std::move(points);
  pointsShown_ = true;
  SubtitleLine()->SetLabelText(
      SubtitleLine()->fontMetrics().elidedText(source_->name, Qt::ElideMiddle, SubtitleLine()->width()));
  SubtitleLine()->setToolTip(source_->name);
  // A track of its own starts with all its days; the same one figured again keeps the day shown.
  if (!sameTrack) {
    const QSignalBlocker quiet(days_);
    days_->clear();
  }
  ShowTracker(source_->imei);
  ShowDay();
  ShowProgress(Text("STR_TRACKVIEW_FIGURING", "Figuring the track…"));
}

void TrackView::TakeFigures(Figured figured) {
  ShowProgress({});
  const bool again = std::exchange(refigure_, false);
  if (!figured.status) {
    context_.ShowCaptioned(this, context_.Text("STR_GLOBAL_ERROR"), ErrorText(context_, figured.status.failure()),
                           MessageIcon::Error);
    // A view opened for a file it cannot show has nothing to show.
    if (!data_) Back();
    return;
  }
  if (again) {
    source_ = std::move(figured.source);
    Refigure();
    return;
  }
  const QVariant day = days_->currentData();
  source_ = std::move(figured.source);
  data_ = std::move(figured.data);
  ShowTracker(source_->imei);
  ListDays();
  if (pointsShown_ && DayOf(days_->currentData()) == DayOf(day)) {
    // The map and the chart show these points already: the view stays where the user put it.
    ShowFigures();
    ShowStops();
  } else {
    ShowDay();
  }
  pointsShown_ = false;
}

void TrackView::ListDays() {
  const QVariant chosen = days_->currentData();
  const QSignalBlocker quiet(days_);
  days_->clear();
  days_->addItem(FillIn(Text("STR_TRACKVIEW_ALLDAYS", "All days (%1)"), {Whole(data_->stats.days.size())}), kNoDay);
  const QLocale& locale = context_.Locale();
  for (const logger::DayFigures& day : data_->stats.days) {
    const QDate date(day.date.year, day.date.month, day.date.day);
    days_->addItem(locale.toString(date, QLocale::ShortFormat) + QLatin1Char(' ') +
                       locale.dayName(date.dayOfWeek(), QLocale::ShortFormat),
                   qlonglong(day.day));
  }
  const int at = days_->findData(chosen);
  days_->setCurrentIndex(at >= 0 ? at : 0);
}

void TrackView::ShowDay() {
  std::optional<uint32_t> day;
  if (data_ && DayOf(days_->currentData()) != kNoDay) day = uint32_t(days_->currentData().toLongLong());
  shown_ = data_ ? PointsOfDay(data_->points, day, offset_) : std::vector<TrackPoint>{};
  map_->SetPoints(&shown_);
  chart_->SetPoints(&shown_, offset_);
  ShowFigures();
  ShowStops();
}

void TrackView::ShowFigures() {
  logger::TrackFigures figures;
  const bool figured = data_ && data_->figured;
  if (figured) {
    figures = data_->stats.total;
    const qlonglong day = DayOf(days_->currentData());
    for (const logger::DayFigures& d : data_->stats.days)
      if (qlonglong(d.day) == day) figures = d;
  }
  const QString kmh = Text("STR_TRACKVIEW_KMH", "%1 km/h");
  const uint32_t moving = uint32_t(std::llround(figures.movingSeconds));
  const QString texts[kFigureCount] = {
      Whole(figures.records),
      Whole(figures.fixes),
      Distance(figures.distanceMetres),
      QStringLiteral("%1:%2:%3").arg(moving / 3600).arg(Two(int(moving / 60 % 60))).arg(Two(int(moving % 60))),
      FillIn(kmh, {Decimal(figures.AverageMovingSpeedKmh(), 1)}),
      FillIn(kmh, {Decimal(figures.MaxSpeedKmh(), 1)}),
      Whole(figures.stops),
  };
  for (int i = 0; i < kFigureCount; ++i) {
    values_[i]->SetLabelText(figured ? texts[i] : QString());
    // Read as one: "Distance 12.3 km".
    values_[i]->setAccessibleName(SpokenLabel(names_[i]->text()) + QLatin1Char(' ') + values_[i]->text());
  }
  QString note;
  if (data_ && jumps_->isChecked()) {
    const std::size_t jumps = data_->stats.leftOut.jumps;
    note = jumps == 0 ? Text("STR_TRACKVIEW_NOJUMPS", "No jumps found.")
                      : FillIn(Text("STR_TRACKVIEW_JUMPSLEFT", "Left out as jumps: %1"), {Whole(jumps)});
  }
  leftOut_->SetLabelText(note);
}

void TrackView::ShowStops() {
  const qlonglong day = DayOf(days_->currentData());
  shownStops_.clear();
  if (data_)
    for (const logger::TrackStop& stop : data_->stats.stops)
      if (day == kNoDay || qlonglong(logger::LocalDay(stop.start, offset_)) == day) shownStops_.push_back(stop);
  const QSignalBlocker quiet(stops_);
  stops_->clear();
  const bool manyDays = data_ && data_->stats.days.size() > 1 && day == kNoDay;
  for (const logger::TrackStop& stop : shownStops_) {
    const logger::LogDateTime a = logger::SecondsToDateTime(stop.start, offset_);
    const logger::LogDateTime b = logger::SecondsToDateTime(stop.end, offset_);
    QString when = QStringLiteral("%1:%2–%3:%4").arg(Two(a.hour), Two(a.minute), Two(b.hour), Two(b.minute));
    if (manyDays) when = QStringLiteral("%1-%2 ").arg(Two(a.month), Two(a.day)) + when;
    const QString place = QStringLiteral("%1, %2").arg(stop.latitude / 1e6, 0, 'f', 5).arg(stop.longitude / 1e6, 0, 'f', 5);
    auto* item = new QListWidgetItem(when + QStringLiteral("  ") + Minutes(stop.Seconds()) + QLatin1Char('\n') + place);
    // Two lines of whichever font draws them (a CJK fallback stands taller).
    const QFontMetrics fm(stops_->font());
    item->setSizeHint(QSize(stops_->viewport()->width(),
                            2 * std::max(fm.lineSpacing(), fm.boundingRect(item->text().section(QLatin1Char('\n'), 0, 0)).height()) + 8));
    stops_->addItem(item);
  }
  stops_->setEnabled(!shownStops_.empty());
}

QString TrackView::LocalTime(uint32_t gpsTime, bool withDate) const {
  const logger::LogDateTime t = logger::SecondsToDateTime(gpsTime, offset_);
  const QString time = QStringLiteral("%1:%2:%3").arg(Two(t.hour), Two(t.minute), Two(t.second));
  return withDate ? QStringLiteral("%1-%2-%3 ").arg(t.year).arg(Two(t.month), Two(t.day)) + time : time;
}

QString TrackView::Distance(double metres) const {
  if (metres < 1000) return FillIn(Text("STR_TRACKVIEW_METRES", "%1 m"), {Decimal(metres, 0)});
  return FillIn(Text("STR_TRACKVIEW_KM", "%1 km"), {Decimal(metres / 1000, metres < 10000 ? 2 : 1)});
}

QString TrackView::Minutes(uint32_t seconds) const {
  const uint32_t minutes = (seconds + 30) / 60;
  if (minutes < 60) return FillIn(Text("STR_TRACKVIEW_MINUTES", "%1 min"), {QString::number(minutes)});
  return FillIn(Text("STR_TRACKVIEW_HOURS", "%1 h %2 min"), {QString::number(minutes / 60), Two(int(minutes % 60))});
}

void TrackView::Pick(int index) {
  if (index < 0 || index >= int(shown_.size())) {
    chart_->SetPicked(-1, {});
    map_->SetPicked(-1, {});
    return;
  }
  const TrackPoint& t = shown_[std::size_t(index)];
  const QString time = LocalTime(t.time, true);
  QStringList place;
  QStringList quality;
  if (t.fix) {
    place << FillIn(Text("STR_TRACKVIEW_KMH", "%1 km/h"), {Decimal(t.speed / 100.0, 1)})
          << FillIn(Text("STR_TRACKVIEW_METRES", "%1 m"), {QString::number(t.altitude)});
    quality << FillIn(Text("STR_TRACKVIEW_SATELLITES", "%1 satellites"), {QString::number(t.satellites)})
            << FillIn(Text("STR_TRACKVIEW_HDOP", "HDOP %1"), {Decimal(t.hdop / 10.0, 1)});
  } else {
    place << Text("STR_TRACKVIEW_NOFIX", "no fix");
  }
  if (chart_->CurrentSeries() == TrackChart::Series::Battery)
    quality << FillIn(Text("STR_TRACKVIEW_BATTERYIS", "battery %1 %"), {QString::number(t.battery)});
  const QString dot = QStringLiteral(" · ");
  chart_->SetPicked(index, QStringList{time, place.join(dot), quality.join(dot)}.join(dot));
  map_->SetPicked(t.fix ? index : -1, {time, place.join(dot), quality.join(dot)});
}

void TrackView::PickStop(int row) {
  if (row < 0 || row >= int(shownStops_.size())) return;
  const uint32_t start = shownStops_[std::size_t(row)].start;
  for (std::size_t i = 0; i < shown_.size(); ++i)
    if (shown_[i].fix && shown_[i].time == start) {
      Pick(int(i));
      const TrackPoint& t = shown_[i];
      map_->SetView(std::max(map_->Zoom(), 15), t.x, t.y);
      return;
    }
}

void TrackView::SetMapShown(bool on) {
  const settings::IniFile ini = context_.SystemIni();
  MapSettings settings = MapSettings::Read(ini);
  if (on && settings.NeedsConsent()) {
    // A track is a person's whereabouts: the server learns the area looked at.
    if (context_.AskYesNo(this, FillIn(Text("STR_TRACKVIEW_MAPASK",
                                            "Show a map under the track? Its pictures come from %1, which then "
                                            "learns which area you look at. Nothing is fetched unless you say Yes."),
                                       {settings.Server()}))) {
      settings.agreedServer = settings.Server();
    } else {
      on = false;
    }
  }
  settings.shown = on;
  // A system.ini that cannot be written costs only the memory of the choice.
  (void)settings.Write(ini);
  UseMapSettings(settings);
}

void TrackView::UseMapSettings(const MapSettings& settings) {
  const bool on = settings.shown && !settings.NeedsConsent();
  {
    const QSignalBlocker quiet(mapOn_);
    mapOn_->setChecked(on);
  }
  if (!on) {
    tiles_->Want({});
    map_->SetTiles(nullptr, {});
    return;
  }
  const QString folder = TilesFolder();
  const QString configuration = settings.urlTemplate + QLatin1Char('\n') + folder + QLatin1Char('\n') +
                                QString::number(settings.cacheMegabytes);
  if (configuration != configured_) {
    tiles_->Configure(settings.urlTemplate, folder, qint64(settings.cacheMegabytes) << 20);
    configured_ = configuration;
  }
  map_->SetTiles(tiles_, settings.attribution);
}

void TrackView::OpenMapSettings() {
  auto* sheet = new MapSettingsSheet(context_, nullptr);
  connect(sheet, &SkinnedDialog::finished, this, [this, sheet](int result) {
    DeleteWhenNoModal(sheet);
    if (result != SkinnedDialog::Accepted) return;
    const MapSettings settings = MapSettings::Read(context_.SystemIni());
    // Another server is asked about before it is used.
    if (settings.shown && settings.NeedsConsent()) {
      SetMapShown(true);
    } else {
      UseMapSettings(settings);
    }
  });
  ShowSheet(this, sheet);
}

}  // namespace zd573
