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
    // The index of the object's route. The objects are searched in a list of their own,
    // so that a search does not walk through every route's memory.
    std::optional<std::size_t> Find(std::int32_t object_id) const {
        for (std::size_t i = 0; i < object_ids_.size(); ++i) {
            if (object_ids_[i] == object_id)
                return i;
        }
        return std::nullopt;
    }
    // Throws std::out_of_range outside the table.
    CSpecMRVMessage& at(std::size_t index) { return routes_.at(index); }
    const CSpecMRVMessage& at(std::size_t index) const { return routes_.at(index); }
    void Append(CSpecMRVMessage route) {
        object_ids_.reserve(object_ids_.size() + 1);  // the push below cannot throw then
        const std::int32_t object_id = route.ObjectID();
        routes_.push_back(std::move(route));
        object_ids_.push_back(object_id);
    }
    std::size_t size() const { return routes_.size(); }
    bool empty() const { return routes_.empty(); }

    auto begin() { return routes_.begin(); }
    auto end() { return routes_.end(); }
    auto begin() const { return routes_.begin(); }
    auto end() const { return routes_.end(); }

  private:
    std::vector<CSpecMRVMessage> routes_;
    std::vector<std::int32_t> object_ids_;  // routes_[i].ObjectID(), which never changes
};

}  // namespace korvalen
