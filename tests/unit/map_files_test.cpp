// The routes on a map: which reports become points and events, and the GPX and KML
// documents of a small route, byte for byte against documents written by hand.
#include <gtest/gtest.h>

#include <string>

#include "decode_test_support.h"
#include "output/gpx_file.h"
#include "output/kml_file.h"
#include "output/map_files.h"
#include "output/map_track.h"
#include "recording_message_sink.h"
#include "scoped_time_zone.h"
#include "temp_folder.h"

namespace korvalen {
namespace {

using testing::ScopedTimeZone;

struct ReportFields {
    int minute;  // of 10:MM on 01.11.2007, local time
    double latitude;
    double longitude;
    bool no_position = false;
    int fix_mode = 1;
    bool power_up = false;
    int in1 = -1;  // -1: the report carries no inputs
};

MRVMessage Report(const ReportFields& fields) {
    MRVMessage m;
    m.ObjectID = 42;
    m.FixTimeParts = {2007, 11, 1, 10, fields.minute, 0, 0};
    m.Latitude = fields.latitude;
    m.Longitude = fields.longitude;
    m.NoPosition = fields.no_position;
    m.FixMode = fields.fix_mode;
    m.Validity = 2;
    m.PowerUp = fields.power_up;
    m.HasInputs = fields.in1 >= 0;
    m.Inputs = {fields.in1 >= 0 ? fields.in1 : 0, 0, 0, 0, 0};
    return m;
}

// The files end their lines with CR LF; the expected texts are written with "\n".
std::string Crlf(std::string text) {
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2)
        text.insert(at, "\r");
    return text;
}

// A power-on at the first point; the ignition goes off on a report without a position
// (the event stays where the vehicle was last seen) and on again at the next point; a
// damaged latitude no map can hold is left out. The logger's local times are Moscow's.
MapTrack SmallRoute() {
    MapTrack track(42, IgnitionInput{0, 1});
    for (const ReportFields& fields : {
             ReportFields{0, 55.75, 37.61, false, 1, true, 1},
             ReportFields{1, 0, 0, true, 2, false, 0},
             ReportFields{2, 95.0, 37.615},
             ReportFields{3, 55.76, 37.625, false, 0, false, 1},
         }) {
        track.Add(Report(fields));
    }
    return track;
}

TEST(MapFiles, GpxOfASmallRoute) {
    ScopedTimeZone zone("MSK-3");
    EXPECT_EQ(FormatGpx(SmallRoute()), Crlf(R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="Korvalen" xmlns="http://www.topografix.com/GPX/1/1" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xsi:schemaLocation="http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd">
  <metadata>
    <name>Объект 0042</name>
    <bounds minlat="55.75000" minlon="37.61000" maxlat="55.76000" maxlon="37.62500"/>
  </metadata>
  <wpt lat="55.75000" lon="37.61000">
    <time>2007-11-01T07:00:00Z</time>
    <name>Включение регистратора</name>
  </wpt>
  <wpt lat="55.75000" lon="37.61000">
    <time>2007-11-01T07:01:00Z</time>
    <name>Зажигание выключено</name>
  </wpt>
  <wpt lat="55.76000" lon="37.62500">
    <time>2007-11-01T07:03:00Z</time>
    <name>Зажигание включено</name>
  </wpt>
  <trk>
    <name>Объект 0042</name>
    <trkseg>
      <trkpt lat="55.75000" lon="37.61000"><time>2007-11-01T07:00:00Z</time><fix>3d</fix></trkpt>
      <trkpt lat="55.76000" lon="37.62500"><time>2007-11-01T07:03:00Z</time><fix>2d</fix></trkpt>
    </trkseg>
  </trk>
</gpx>
)"));
}

TEST(MapFiles, KmlOfASmallRoute) {
    ScopedTimeZone zone("MSK-3");
    EXPECT_EQ(FormatKml(SmallRoute()), Crlf(R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2">
  <Document>
    <name>Объект 0042</name>
    <Style id="route"><LineStyle><color>ff0000ff</color><width>3</width></LineStyle></Style>
    <Placemark>
      <name>Маршрут</name>
      <TimeSpan><begin>2007-11-01T07:00:00Z</begin><end>2007-11-01T07:03:00Z</end></TimeSpan>
      <styleUrl>#route</styleUrl>
      <LineString>
        <tessellate>1</tessellate>
        <coordinates>
          37.61000,55.75000
          37.62500,55.76000
        </coordinates>
      </LineString>
    </Placemark>
    <Placemark>
      <name>Включение регистратора</name>
      <TimeStamp><when>2007-11-01T07:00:00Z</when></TimeStamp>
      <Point><coordinates>37.61000,55.75000</coordinates></Point>
    </Placemark>
    <Placemark>
      <name>Зажигание выключено</name>
      <TimeStamp><when>2007-11-01T07:01:00Z</when></TimeStamp>
      <Point><coordinates>37.61000,55.75000</coordinates></Point>
    </Placemark>
    <Placemark>
      <name>Зажигание включено</name>
      <TimeStamp><when>2007-11-01T07:03:00Z</when></TimeStamp>
      <Point><coordinates>37.62500,55.76000</coordinates></Point>
    </Placemark>
  </Document>
</kml>
)"));
}

// A route of one point has no line to draw: KML shows the point; a change of the ignition
// before the first position waits for that position; 180 degrees east is 180 west.
TEST(MapFiles, KmlOfOnePointWithAnEarlierChange) {
    ScopedTimeZone zone("UTC0");
    MapTrack track(7, IgnitionInput{0, 1});
    track.Add(Report({0, 0, 0, true, 2, false, 1}));
    track.Add(Report({1, 0, 0, true, 2, false, 0}));
    track.Add(Report({2, -33.5, 180.0, false, 1, false, 0}));
    EXPECT_EQ(FormatKml(track), Crlf(R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2">
  <Document>
    <name>Объект 0007</name>
    <Style id="route"><LineStyle><color>ff0000ff</color><width>3</width></LineStyle></Style>
    <Placemark>
      <name>Маршрут</name>
      <TimeSpan><begin>2007-11-01T10:02:00Z</begin><end>2007-11-01T10:02:00Z</end></TimeSpan>
      <styleUrl>#route</styleUrl>
      <Point><coordinates>-180.00000,-33.50000</coordinates></Point>
    </Placemark>
    <Placemark>
      <name>Зажигание выключено</name>
      <TimeStamp><when>2007-11-01T10:01:00Z</when></TimeStamp>
      <Point><coordinates>-180.00000,-33.50000</coordinates></Point>
    </Placemark>
  </Document>
</kml>
)"));
}

// Map files never replace those of an earlier pass, and a route without a position
// writes none; a folder that cannot take them is reported with the file's name.
TEST(MapFiles, NamesAndFailures) {
    testing::TempFolder folder;
    testing::RecordingMessageSink sink;
    const MapFileOptions options{folder.path() + "/", true, true};
    MapTrack track(12, std::nullopt);
    track.Add(Report({0, 55.75, 37.61}));
    ASSERT_TRUE(WriteMapFiles(track, options, sink));
    ASSERT_TRUE(WriteMapFiles(track, {folder.path() + "/", true, false}, sink));
    ASSERT_TRUE(WriteMapFiles(track, options, sink));
    EXPECT_EQ(testing::FileNames(folder.path()),
              (std::vector<std::string>{"0012.gpx", "0012.kml", "0012_001.gpx", "0012_002.gpx",
                                        "0012_002.kml"}));

    MapTrack empty(13, std::nullopt);
    empty.Add(Report({0, 0, 0, true}));
    ASSERT_TRUE(WriteMapFiles(empty, options, sink));
    EXPECT_EQ(testing::FileNames(folder.path()).size(), 5u);
    EXPECT_TRUE(sink.messages.empty());

    EXPECT_FALSE(WriteMapFiles(track, {folder / "missing/", true, false}, sink));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text.rfind("Не удалось открыть файл на запись. Код ошибки: ", 0),
              0u);
    EXPECT_NE(sink.messages[0].text.find(folder / "missing/0012.gpx"), std::string::npos);
}

}  // namespace
}  // namespace korvalen
