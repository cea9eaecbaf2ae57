// The routes of one decoding pass, found by object in the order the objects appeared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "decode/route.h"

namespace korvalen {

// The routes of one decoding pass, one per object, in the order in which the objects
// first appeared in the dump. Routes are never removed during a pass.
class RouteTable {
  public:
    // The index of the object's route, searched from the start.
    std::optional<std::size_t> Find(std::int32_t object_id) const {
        for (std::size_t i = 0; i < routes_.size(); ++i) {
            if (routes_[i].ObjectID == object_id)
                return i;
        }
        return std::nullopt;
    }
    // Throws std::out_of_range outside the table.
    CSpecMRVMessage& at(std::size_t index) { return routes_.at(index); }
    const CSpecMRVMessage& at(std::size_t index) const { return routes_.at(index); }
    void Append(CSpecMRVMessage route) { routes_.push_back(std::move(route)); }
    std::size_t size() const { return routes_.size(); }
    bool empty() const { return routes_.empty(); }

    auto begin() { return routes_.begin(); }
    auto end() { return routes_.end(); }
    auto begin() const { return routes_.begin(); }
    auto end() const { return routes_.end(); }

  private:
    std::vector<CSpecMRVMessage> routes_;
};

}  // namespace korvalen
