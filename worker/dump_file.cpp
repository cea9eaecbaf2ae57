// The dump file of a capture: the configured path, or the first free numbered one.
#include "worker/dump_file.h"

#include "platform/string_printf.h"

namespace korvalen {

std::optional<File> OpenDumpFile(const std::string& in_file, int& error_code,
                                 const std::function<bool(const std::string&)>& held) {
    constexpr int kAlternatives = 100;
    const std::size_t extension = in_file.find(".trc");
    const std::string base = extension == std::string::npos ? "" : in_file.substr(0, extension);
    File file;
    std::string candidate = in_file;
    for (int number = 1;; ++number) {
        // A dump not yet delivered is not even opened: opening would cut it.
        if (!(held && held(candidate))) {
            if (file.Open(candidate, OpenMode::CreateOrTruncate, Sharing::Exclusive))
                return file;
            error_code = file.error_code();
        }
        if (number > kAlternatives)
            return std::nullopt;
        candidate = StringPrintf("%s%i.trc", base.c_str(), number);
    }
}

}  // namespace korvalen
