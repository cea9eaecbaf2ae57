// The bytes of a dump whose records were delivered already, with an earlier part of the
// same data: a pass decodes them as it decodes any, and delivers them nowhere again.
#pragma once

#include <cstdint>

namespace korvalen {

// A record whose frame lies wholly in [from, to) of the dump was delivered before.
struct DeliveredRange {
    std::int64_t from = 0;
    std::int64_t to = 0;

    bool operator==(const DeliveredRange&) const = default;
};

}  // namespace korvalen
