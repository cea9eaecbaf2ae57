// A route's map files named without replacing earlier ones, and written whole.
#include "output/map_files.h"

#include "output/gpx_file.h"
#include "output/kml_file.h"
#include "output/output_file.h"
#include "platform/file.h"
#include "platform/file_messages.h"
#include "platform/string_printf.h"

namespace korvalen {
namespace {

bool WriteWholeFile(const std::string& path, const std::string& text, MessageSink& sink) {
    OutputFile file;
    if (!file.Open(path, OpenMode::CreateOrTruncate)) {
        ShowOpenFailure(sink, file.error_code(), path);
        return false;
    }
    try {
        file.Write(text);
        file.Close();
    } catch (const FileError& e) {
        ShowWriteFailure(sink, CodePeriod::With, e.code(), path);
        return false;
    }
    return true;
}

}  // namespace

std::string MapFileStem(const MapFileOptions& options, std::int32_t object_id) {
    const auto taken = [&](const std::string& stem) {
        return (options.gpx && FileExists(stem + ".gpx")) ||
               (options.kml && FileExists(stem + ".kml"));
    };
    std::string plain = options.folder + StringPrintf("%04d", object_id);
    if (!taken(plain))
        return plain;
    for (int counter = 1;; ++counter) {
        std::string numbered = plain + StringPrintf("_%03d", counter);
        if (!taken(numbered))
            return numbered;
    }
}

bool WriteMapFiles(const MapTrack& track, const MapFileOptions& options, MessageSink& sink) {
    if (track.points().empty() || (!options.gpx && !options.kml))
        return true;
    const std::string stem = MapFileStem(options, track.object_id());
    bool ok = true;
    if (options.gpx)
        ok = WriteWholeFile(stem + ".gpx", FormatGpx(track), sink) && ok;
    if (options.kml)
        ok = WriteWholeFile(stem + ".kml", FormatKml(track), sink) && ok;
    return ok;
}

}  // namespace korvalen
