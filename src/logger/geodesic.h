#pragma once
// Distances on the WGS84 ellipsoid, for the track's figures and filters.
namespace zd573::logger {

// The length in metres of the shortest geodesic between two points given in
// degrees (latitude north positive, longitude east positive): Vincenty's
// inverse formula, to well under a millimetre. Where his iteration does not
// settle (points nearly opposite each other on the globe) every solution of
// its equation is sought and the shortest taken.
double GeodesicDistance(double lat1, double lon1, double lat2, double lon2);

}  // namespace zd573::logger
