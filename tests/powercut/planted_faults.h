// The faults a test plants in the layer (see kFaultsVariable): syncs that do nothing, and
// single calls that fail.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvalen::powercut {

class PlantedFaults {
  public:
    // Unknown words are skipped; `problems` names them.
    static PlantedFaults Parse(std::string_view text, std::string* problems = nullptr);

    bool SkipsSync(bool folder) const { return folder ? skip_folder_syncs_ : skip_file_syncs_; }
    bool FailsReads() const { return fails_reads_; }
    bool Watches(std::string_view op, std::string_view path) const;
    // The error the call fails with when it is the planted one; counts the matching calls.
    std::optional<int> Take(std::string_view op, std::string_view path);

  private:
    struct Once {
        std::string op;
        std::string path;
        int nth = 1;
        int error = 0;
        int seen = 0;
    };
    bool skip_file_syncs_ = false;
    bool skip_folder_syncs_ = false;
    bool fails_reads_ = false;
    std::vector<Once> once_;
};

}  // namespace korvalen::powercut
