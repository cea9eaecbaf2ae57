// The KML 2.2 document of a route: the line of its points and a placemark per event.
#include "output/kml_file.h"

#include <algorithm>
#include <optional>

#include "platform/string_printf.h"

namespace korvalen {
namespace {

// KML writes longitude first. Every text of the document is the program's own, so
// nothing needs escaping.
std::string Coordinates(double latitude, double longitude) {
    return FormatMapDegrees(longitude) + "," + FormatMapDegrees(latitude);
}

std::string TimeSpan(const std::vector<MapPoint>& points) {
    std::optional<std::int64_t> begin, end;
    for (const MapPoint& p : points) {
        if (!p.utc)
            continue;
        begin = begin ? std::min(*begin, *p.utc) : *p.utc;
        end = end ? std::max(*end, *p.utc) : *p.utc;
    }
    if (!begin)
        return {};
    return "      <TimeSpan><begin>" + FormatMapTime(*begin) + "</begin><end>" +
           FormatMapTime(*end) + "</end></TimeSpan>\r\n";
}

}  // namespace

std::string FormatKml(const MapTrack& track) {
    const std::vector<MapPoint>& points = track.points();
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n"
        "  <Document>\r\n"
        "    <name>" +
        StringPrintf("Объект %04d", track.object_id()) +
        "</name>\r\n"
        "    <Style id=\"route\"><LineStyle><color>ff0000ff</color><width>3</width>"
        "</LineStyle></Style>\r\n";
    if (!points.empty()) {
        out += "    <Placemark>\r\n      <name>Маршрут</name>\r\n" + TimeSpan(points) +
               "      <styleUrl>#route</styleUrl>\r\n";
        if (points.size() == 1) {
            out += "      <Point><coordinates>" +
                   Coordinates(points[0].latitude, points[0].longitude) +
                   "</coordinates></Point>\r\n";
        } else {
            out +=
                "      <LineString>\r\n        <tessellate>1</tessellate>\r\n"
                "        <coordinates>\r\n";
            for (const MapPoint& p : points)
                out += "          " + Coordinates(p.latitude, p.longitude) + "\r\n";
            out += "        </coordinates>\r\n      </LineString>\r\n";
        }
        out += "    </Placemark>\r\n";
    }
    for (const MapEvent& event : track.events()) {
        out += std::string("    <Placemark>\r\n      <name>") + MapEventName(event.kind) +
               "</name>\r\n";
        if (event.utc)
            out +=
                "      <TimeStamp><when>" + FormatMapTime(*event.utc) + "</when></TimeStamp>\r\n";
        out += "      <Point><coordinates>" + Coordinates(event.latitude, event.longitude) +
               "</coordinates></Point>\r\n    </Placemark>\r\n";
    }
    out += "  </Document>\r\n</kml>\r\n";
    return out;
}

}  // namespace korvalen
