// The KML 2.2 document of a route.
#pragma once

#include <string>

#include "output/map_track.h"

namespace korvalen {

// The KML 2.2 document of one object's route, UTF-8 with CR LF line ends: the route as
// one line through every point in route order (a single point as a point), with the
// time span of its points, and one placemark per event with its time. KML lines carry
// no time per point; the GPX track does.
std::string FormatKml(const MapTrack& track);

}  // namespace korvalen
