// What the reading thread asks of the window: the dump path, and a pass for each dump.
#pragma once

#include <string>

#include "worker/worker_host.h"

namespace korvalen {

// What the reading thread needs from the window beyond what every worker needs: the
// dump path of the settings as it is at the start of each capture, and a decoding pass
// for each dump it has captured.
class ReadingHost : public virtual WorkerHost {
  public:
    // The `InFile` setting now; the user may change it between two captures.
    virtual std::string DumpFilePath() = 0;
    // Decodes a captured dump on a thread of its own and shows the window's controls
    // anew; returns at once.
    virtual void DecodeDump(const std::string& path) = 0;
};

}  // namespace korvalen
