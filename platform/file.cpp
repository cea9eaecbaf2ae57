#include "platform/file.h"

namespace korvalen {

bool ReadWholeFile(const std::string& path, std::string& bytes, int* error_code) {
    File file;
    if (!file.Open(path, OpenMode::OpenExisting, Sharing::Shared, true)) {
        if (error_code)
            *error_code = file.error_code();
        return false;
    }
    try {
        bytes.clear();
        char buffer[64 * 1024];
        for (std::size_t n; (n = file.Read(buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, n);
    } catch (const FileError& e) {
        if (error_code)
            *error_code = e.code();
        return false;
    }
    return true;
}

}  // namespace korvalen
