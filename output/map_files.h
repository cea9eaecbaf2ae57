// A route's map files: which ones, where, under which names.
#pragma once

#include <cstdint>
#include <string>

#include "output/map_track.h"
#include "platform/message_sink.h"

namespace korvalen {

// Which map files the routes of a pass write, and where.
struct MapFileOptions {
    std::string folder;  // ends with a separator, like the InBox folder
    bool gpx = false;
    bool kml = false;
};

// The path of an object's map files without the extension: the folder and the object
// as "%04d", or "%04d_%03d" with the first counter from 1 for which none of the files
// asked for exists. A later pass never overwrites the files of an earlier one.
std::string MapFileStem(const MapFileOptions& options, std::int32_t object_id);

// Writes the map files of a finished route (".gpx", ".kml"); a route without a point
// writes none. A file that cannot be created or written is shown with the system's code
// ("Не удалось открыть файл на запись…", "Не удалось записать информацию в файл…") and
// makes the result false; the other file is still written.
bool WriteMapFiles(const MapTrack& track, const MapFileOptions& options, MessageSink& sink);

}  // namespace korvalen
