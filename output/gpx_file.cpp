// The GPX 1.1 document of a route: metadata, waypoints, one track.
#include "output/gpx_file.h"

#include <algorithm>

#include "platform/string_printf.h"

namespace korvalen {
namespace {

// Every text of the document is the program's own (fixed names and digits), so nothing
// needs escaping.
std::string Position(double latitude, double longitude) {
    return "lat=\"" + FormatMapDegrees(latitude) + "\" lon=\"" + FormatMapDegrees(longitude) + "\"";
}

std::string Bounds(const std::vector<MapPoint>& points) {
    double min_lat = points.front().latitude, max_lat = min_lat;
    double min_lon = points.front().longitude, max_lon = min_lon;
    for (const MapPoint& p : points) {
        min_lat = std::min(min_lat, p.latitude);
        max_lat = std::max(max_lat, p.latitude);
        min_lon = std::min(min_lon, p.longitude);
        max_lon = std::max(max_lon, p.longitude);
    }
    return "    <bounds minlat=\"" + FormatMapDegrees(min_lat) + "\" minlon=\"" +
           FormatMapDegrees(min_lon) + "\" maxlat=\"" + FormatMapDegrees(max_lat) + "\" maxlon=\"" +
           FormatMapDegrees(max_lon) + "\"/>\r\n";
}

}  // namespace

std::string FormatGpx(const MapTrack& track) {
    const std::string name = StringPrintf("Объект %04d", track.object_id());
    const std::vector<MapPoint>& points = track.points();
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<gpx version=\"1.1\" creator=\"Korvalen\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
        "http://www.topografix.com/GPX/1/1/gpx.xsd\">\r\n"
        "  <metadata>\r\n"
        "    <name>" +
        name + "</name>\r\n";
    if (!points.empty())
        out += Bounds(points);
    out += "  </metadata>\r\n";
    // The schema wants the waypoints before the track.
    for (const MapEvent& event : track.events()) {
        out += "  <wpt " + Position(event.latitude, event.longitude) + ">\r\n";
        if (event.utc)
            out += "    <time>" + FormatMapTime(*event.utc) + "</time>\r\n";
        out += std::string("    <name>") + MapEventName(event.kind) + "</name>\r\n  </wpt>\r\n";
    }
    out += "  <trk>\r\n    <name>" + name + "</name>\r\n    <trkseg>\r\n";
    for (const MapPoint& point : points) {
        out += "      <trkpt " + Position(point.latitude, point.longitude) + ">";
        if (point.utc)
            out += "<time>" + FormatMapTime(*point.utc) + "</time>";
        out += point.three_d ? "<fix>3d</fix>" : "<fix>2d</fix>";
        out += "</trkpt>\r\n";
    }
    out += "    </trkseg>\r\n  </trk>\r\n</gpx>\r\n";
    return out;
}

}  // namespace korvalen
