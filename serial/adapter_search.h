// Where the reader's adapter is now: the rule by which the program follows an adapter that
// was plugged into another socket and came back under another COM number.
#pragma once

#include <optional>
#include <vector>

#include "serial/port_identity.h"
#include "serial/port_list.h"

namespace korvalen {

// What the search found.
struct AdapterSearch {
    // The COM port to open: the old one, or the one the adapter is on now. None when
    // several ports hold such an adapter: the program does not guess between them.
    std::optional<int> port;
    // Every port that holds the remembered adapter, in number order.
    std::vector<int> matches;

    bool operator==(const AdapterSearch&) const = default;
};

// Which port to open for the reader whose port was `old_port`, given the adapter
// remembered there (null, or one that cannot be followed: the old port, as always) and
// the ports the system reports now. The old port is kept while it holds the adapter, or
// while the adapter is nowhere; an adapter found on exactly one other port is followed
// there, so a port under the old number that is now another device is left alone.
AdapterSearch SearchReaderAdapter(const PortIdentity* remembered, int old_port,
                                  const std::vector<SystemSerialPort>& ports);

}  // namespace korvalen
