// The archive of every transfer read: each dump kept under the time it was read and what
// it was, the oldest going first once the archive is full.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvalen {

// "20261209-171052-ND.trc": when the transfer was read ("20261209-171052") and what it
// was ("ND", "AD", "cut").
std::string ArchiveName(std::string_view read_at, std::string_view kind);

// The folder "Archive" of the data folder. A dump goes in as a copy (the capture's own
// file is read again by the next capture), written beside its name, put onto the disk and
// renamed, so the archive never holds part of a dump under a dump's name. A name is
// never taken twice ("…-ND-1.trc" after "…-ND.trc").
class DumpArchive {
  public:
    // 2 GiB, about 130 full flashes: the archive is a safety net, not a store.
    static constexpr std::int64_t kDefaultLimit = std::int64_t{2} << 30;

    explicit DumpArchive(std::string folder, std::int64_t limit = kDefaultLimit);

    const std::string& folder() const { return folder_; }

    // Copies `dump` into the archive under `name`; the full path it got, or nothing
    // (with the system's code) when it could not be kept. Then the oldest dumps go until
    // the archive is within its limit; the new one always stays.
    std::optional<std::string> Keep(const std::string& dump, const std::string& name,
                                    int& error_code);

    // Removes the oldest dumps (by name, which begins with the time) while the archive
    // holds more than its limit, never `keep`, and copies cut off by an earlier crash.
    void Prune(const std::string& keep = {});

  private:
    std::string folder_;
    std::int64_t limit_;
};

}  // namespace korvalen
