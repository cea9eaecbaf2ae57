// The GPX 1.1 document of a route.
#pragma once

#include <string>

#include "output/map_track.h"

namespace korvalen {

// The GPX 1.1 document of one object's route, UTF-8 with CR LF line ends: a name and the
// bounds of its points, one waypoint per event, one track of one segment with every
// point in route order, each with its time and its fix ("2d" or "3d").
std::string FormatGpx(const MapTrack& track);

}  // namespace korvalen
