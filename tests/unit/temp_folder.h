// A throwaway folder for tests that write files.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

namespace korvalen::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder() {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        for (;;) {
            const auto name = "korvalen-" + std::to_string(stamp) + "-" + std::to_string(counter++);
            const auto candidate = std::filesystem::temp_directory_path() / name;
            if (std::filesystem::create_directory(candidate)) {
                path_ = candidate.string();
                break;
            }
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

}  // namespace korvalen::testing
