// The crash points: the environment read once, the process ended at the named place.
#include "platform/crash_point.h"

#include <atomic>
#include <cstdlib>
#include <string>

namespace korvalen {
namespace {

// What KORVALEN_CRASH_AT asks for: a point's name and on which of its passes to end.
struct Request {
    std::string name;
    int pass = 1;
};

const Request& TheRequest() {
    static const Request request = [] {
        Request r;
        const char* value = std::getenv("KORVALEN_CRASH_AT");
        if (!value)
            return r;
        r.name = value;
        if (const auto colon = r.name.find(':'); colon != std::string::npos) {
            r.pass = std::atoi(r.name.c_str() + colon + 1);
            r.name.resize(colon);
        }
        return r;
    }();
    return request;
}

}  // namespace

void CrashPoint(std::string_view name) {
    const Request& request = TheRequest();
    if (request.name.empty() || request.name != name)
        return;
    static std::atomic<int> passes{0};
    if (passes.fetch_add(1) + 1 >= request.pass)
        std::_Exit(86);
}

}  // namespace korvalen
