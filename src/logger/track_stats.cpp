#include "logger/track_stats.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace zd573::logger {
namespace {

void SeeTime(TrackFigures& f, uint32_t t) {
  f.first = f.first ? std::min(*f.first, t) : t;
  f.last = f.last ? std::max(*f.last, t) : t;
}

// Climb and descent with a hysteresis: small ups and downs (GPS noise) do not
// count; a real change of direction counts in full once it is confirmed.
class ClimbCounter {
 public:
  void Reset() { have_ = false; }
  // The altitude of the next fix; returns the climb (positive) or descent
  // (negative) it adds.
  long Add(long altitude) {
    if (!have_) {
      have_ = true, ref_ = altitude, direction_ = 0;
      return 0;
    }
    const long change = altitude - ref_;
    const bool onward = (direction_ > 0 && change > 0) || (direction_ < 0 && change < 0);
    if (onward || change >= kClimbHysteresisMetres || -change >= kClimbHysteresisMetres) {
      ref_ = altitude;
      direction_ = change > 0 ? 1 : -1;
      return change;
    }
    return 0;
  }

 private:
  bool have_ = false;
  long ref_ = 0;
  int direction_ = 0;
};

class StatsBuilder {
 public:
  explicit StatsBuilder(int32_t offset) { stats_.localOffset = offset; }

  void Record(const LogRecord& r) {
    DayFigures& day = Day(r.gpsTime);
    ++stats_.total.records, ++day.records;
    SeeTime(stats_.total, r.gpsTime);
    SeeTime(day, r.gpsTime);
    if (r.FixCode() == 0) return;
    ++stats_.total.fixes, ++day.fixes;
    stats_.total.maxSpeed = std::max(stats_.total.maxSpeed, r.speed);
    day.maxSpeed = std::max(day.maxSpeed, r.speed);

    if (previous_ && !StartsNewSegment(previous_->gpsTime, r.gpsTime)) {
      Interval(*previous_, r);
    } else {
      EndStillStretch();
      ++stats_.segments;
      climb_.Reset();
    }
    if (r.FixCode() >= 2) {
      if (const long change = climb_.Add(r.altitude); change != 0) {
        (change > 0 ? stats_.total.climbMetres : stats_.total.descentMetres) += std::labs(change);
        (change > 0 ? day.climbMetres : day.descentMetres) += std::labs(change);
      }
    }
    previous_ = r;
  }

  TrackStats Finish(const LeftOut& leftOut) {
    EndStillStretch();
    stats_.leftOut = leftOut;
    for (auto& [number, day] : days_) stats_.days.push_back(day);
    return std::move(stats_);
  }

 private:
  DayFigures& Day(uint32_t gpsTime) {
    const uint32_t number = LocalDay(gpsTime, stats_.localOffset);
    auto [it, added] = days_.try_emplace(number);
    if (added) {
      it->second.day = number;
      it->second.date = SecondsToDateTime(number * 86400 - static_cast<uint32_t>(stats_.localOffset),
                                          stats_.localOffset);
    }
    return it->second;
  }

  // Adds `metres` and, when moving, the seconds, to the days the interval
  // from `a` to `b` (at most an hour, so one midnight at most) lies in.
  void Share(const LogRecord& a, const LogRecord& b, double metres, bool moving) {
    const double seconds = b.gpsTime - a.gpsTime;
    auto add = [&](TrackFigures& f, double part) {
      f.distanceMetres += metres * part;
      if (moving) f.movingSeconds += seconds * part, f.movingMetres += metres * part;
    };
    add(stats_.total, 1.0);
    const uint32_t dayA = LocalDay(a.gpsTime, stats_.localOffset);
    const uint32_t dayB = LocalDay(b.gpsTime, stats_.localOffset);
    if (dayA == dayB) {
      add(Day(b.gpsTime), 1.0);
      return;
    }
    const uint32_t midnight = dayB * 86400 - static_cast<uint32_t>(stats_.localOffset);
    const double before = (midnight - a.gpsTime) / seconds;
    add(Day(a.gpsTime), before);
    add(Day(b.gpsTime), 1.0 - before);
  }

  void Interval(const LogRecord& a, const LogRecord& b) {
    const double metres = DistanceMetres(a, b);
    const bool moving = b.gpsTime - a.gpsTime <= kMovingGapSeconds && a.speed >= kMovingSpeedHundredths &&
                        b.speed >= kMovingSpeedHundredths;
    Share(a, b, metres, moving);

    // The still stretch that may become a stop.
    if (moving) {
      EndStillStretch();
      return;
    }
    if (still_ && DistanceMetres(*still_, b) <= kStopRadiusMetres) {
      stillEnd_ = b.gpsTime;
      return;
    }
    EndStillStretch();
    if (metres <= kStopRadiusMetres) still_ = a, stillEnd_ = b.gpsTime;
  }

  void EndStillStretch() {
    if (still_ && stillEnd_ - still_->gpsTime > kStopSeconds) {
      stats_.stops.push_back({still_->gpsTime, stillEnd_, still_->latitude, still_->longitude});
      ++stats_.total.stops;
      ++Day(still_->gpsTime).stops;
    }
    still_.reset();
  }

  TrackStats stats_;
  std::map<uint32_t, DayFigures> days_;
  std::optional<LogRecord> previous_;  // the previous kept fix
  ClimbCounter climb_;
  std::optional<LogRecord> still_;     // the first fix of the still stretch
  uint32_t stillEnd_ = 0;
};

}  // namespace

double TrackFigures::AverageMovingSpeedKmh() const {
  return movingSeconds > 0 ? movingMetres / movingSeconds * 3.6 : 0;
}

TrackStats ComputeTrackStats(const RawLog& log, const StatsOptions& options) {
  StatsBuilder builder(options.localOffset ? *options.localOffset : LocalStandardOffsetSeconds());
  TrackFilter filter(options.filter);
  const uint8_t* p = log.data();
  for (std::size_t i = 0; i < log.size(); ++i, p += kLogRecordSize) {
    const LogRecord r = DecodeLogRecord(p);
    if (filter.Judge(r) == Verdict::Kept) builder.Record(r);
  }
  return builder.Finish(filter.leftOut());
}

}  // namespace zd573::logger
