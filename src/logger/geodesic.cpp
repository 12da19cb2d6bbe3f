#include "logger/geodesic.h"

#include <algorithm>
#include <cmath>

namespace zd573::logger {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kA = 6378137.0;            // semi-major axis, metres
constexpr double kF = 1 / 298.257223563;    // flattening
constexpr double kB = kA * (1 - kF);        // semi-minor axis
constexpr double kE2 = (kA * kA - kB * kB) / (kB * kB);  // second eccentricity squared

// The two ends on the auxiliary sphere and their longitude difference.
struct Ends {
  double L;  // 0 to pi: the problem is mirrored to the east
  double sinU1, cosU1, sinU2, cosU2;
};

struct Step {
  double next;      // lambda from the right-hand side of the longitude equation
  double distance;  // the geodesic's length for this lambda
};

// One evaluation of Vincenty's equations at auxiliary longitude `lambda`.
Step Evaluate(const Ends& e, double lambda) {
  const double sinL = std::sin(lambda), cosL = std::cos(lambda);
  const double t1 = e.cosU2 * sinL;
  const double t2 = e.cosU1 * e.sinU2 - e.sinU1 * e.cosU2 * cosL;
  const double sinS = std::sqrt(t1 * t1 + t2 * t2);
  const double cosS = e.sinU1 * e.sinU2 + e.cosU1 * e.cosU2 * cosL;
  const double sigma = std::atan2(sinS, cosS);
  const double sinA = sinS == 0 ? 0 : e.cosU1 * e.cosU2 * sinL / sinS;
  const double cos2A = 1 - sinA * sinA;
  const double c2m = cos2A != 0 ? cosS - 2 * e.sinU1 * e.sinU2 / cos2A : 0;
  const double c = kF / 16 * cos2A * (4 + kF * (4 - 3 * cos2A));
  const double next =
      e.L + (1 - c) * kF * sinA * (sigma + c * sinS * (c2m + c * cosS * (-1 + 2 * c2m * c2m)));
  const double u2 = cos2A * kE2;
  const double a = 1 + u2 / 16384 * (4096 + u2 * (-768 + u2 * (320 - 175 * u2)));
  const double b = u2 / 1024 * (256 + u2 * (-128 + u2 * (74 - 47 * u2)));
  const double dSigma =
      b * sinS *
      (c2m + b / 4 * (cosS * (-1 + 2 * c2m * c2m) - b / 6 * c2m * (-3 + 4 * sinS * sinS) * (-3 + 4 * c2m * c2m)));
  return {next, kB * a * (sigma - dSigma)};
}

// Nearly opposite points: the iteration may circle, and the equation may
// have several solutions in [L, pi]. Each sign change of its residual on a
// fine grid is bisected; the shortest of the geodesics found is the answer,
// or -1 when there is none.
double ShortestSolution(const Ends& e) {
  constexpr int kSteps = 256;
  auto residual = [&e](double x) { return Evaluate(e, x).next - x; };
  double best = -1;
  double prevX = e.L, prevR = residual(e.L);
  for (int i = 1; i <= kSteps; ++i) {
    const double x = i == kSteps ? kPi : e.L + (kPi - e.L) * i / kSteps;
    const double r = residual(x);
    double root = -1;
    if (r == 0) {
      root = x;
    } else if ((prevR > 0) != (r > 0)) {
      double lo = prevX, hi = x;
      const bool positiveAtLo = prevR > 0;
      for (int k = 0; k < 60; ++k) {
        const double mid = (lo + hi) / 2;
        ((residual(mid) > 0) == positiveAtLo ? lo : hi) = mid;
      }
      root = (lo + hi) / 2;
    }
    if (root >= 0) {
      const double s = Evaluate(e, root).distance;
      if (best < 0 || s < best) best = s;
    }
    prevX = x;
    prevR = r;
  }
  return best;
}

Ends MakeEnds(double lat1, double lat2, double L) {
  Ends e{};
  e.L = L;
  const double u1 = std::atan((1 - kF) * std::tan(lat1 * kPi / 180));
  const double u2 = std::atan((1 - kF) * std::tan(lat2 * kPi / 180));
  e.sinU1 = std::sin(u1), e.cosU1 = std::cos(u1);
  e.sinU2 = std::sin(u2), e.cosU2 = std::cos(u2);
  return e;
}

}  // namespace

double GeodesicDistance(double lat1, double lon1, double lat2, double lon2) {
  if (lat1 == lat2 && lon1 == lon2) return 0;
  const Ends e = MakeEnds(lat1, lat2, std::fabs(std::remainder((lon2 - lon1) * kPi / 180, 2 * kPi)));
  double lambda = e.L;
  for (int i = 0; i < 100; ++i) {
    const Step s = Evaluate(e, lambda);
    if (std::fabs(s.next - lambda) < 1e-12) return Evaluate(e, s.next).distance;
    lambda = s.next;
    if (lambda > kPi) break;
  }
  double shortest = ShortestSolution(e);
  // Exactly opposite meridians: the meridian over either pole is a geodesic
  // too, one the equation above cannot show (its azimuth is undetermined there).
  if (kPi - e.L < 1e-12) {
    const double overPole = std::min(GeodesicDistance(lat1, 0, 90, 0) + GeodesicDistance(90, 0, lat2, 0),
                                     GeodesicDistance(lat1, 0, -90, 0) + GeodesicDistance(-90, 0, lat2, 0));
    if (shortest < 0 || overPole < shortest) shortest = overPole;
  }
  if (shortest >= 0) return shortest;
  // Both ends on the equator more than (1 - f) * pi apart: the shortest way
  // leaves the equator, which a tenth of a millimetre off it shows.
  const double s = ShortestSolution(MakeEnds(lat1 + (lat1 < 0 ? -1e-9 : 1e-9), lat2, e.L));
  return s >= 0 ? s : Evaluate(e, e.L).distance;
}

}  // namespace zd573::logger
