// The rule by which the reader's adapter is followed to another COM number.
#include "serial/adapter_search.h"

#include <algorithm>

namespace korvalen {

AdapterSearch SearchReaderAdapter(const PortIdentity* remembered, int old_port,
                                  const std::vector<SystemSerialPort>& ports) {
    AdapterSearch search{.port = old_port, .matches = {}};
    if (!remembered || !remembered->Followable())
        return search;
    for (const SystemSerialPort& port : ports) {
        const std::optional<int> number = ComPortNumber(port.device);
        if (number && SameAdapter(*remembered, port.identity) &&
            std::find(search.matches.begin(), search.matches.end(), *number) ==
                search.matches.end()) {
            search.matches.push_back(*number);
        }
    }
    std::sort(search.matches.begin(), search.matches.end());
    const bool at_old_port =
        std::find(search.matches.begin(), search.matches.end(), old_port) != search.matches.end();
    // Windows gives an adapter without a serial number the same COM number again in the
    // same socket: an identical one elsewhere does not make the old port a guess.
    if (at_old_port || search.matches.empty())
        return search;
    if (search.matches.size() == 1)
        search.port = search.matches.front();
    else
        search.port = std::nullopt;
    return search;
}

}  // namespace korvalen
