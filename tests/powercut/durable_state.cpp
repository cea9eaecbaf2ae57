// The strict model, applied in the order of the run: each name event is kept or thrown
// away by the folder syncs that came after it.
#include "durable_state.h"

#include <algorithm>

namespace korvalen::powercut {
namespace {

bool IsNameEvent(EventKind kind) {
    return kind == EventKind::Create || kind == EventKind::MakeFolder ||
           kind == EventKind::Rename || kind == EventKind::Link || kind == EventKind::Remove ||
           kind == EventKind::RemoveFolder;
}

bool Within(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

class Tree {
  public:
    explicit Tree(DurableState& state) : names_(state.names) {}

    bool IsFolder(const std::string& path) const {
        if (path == ".")
            return true;
        const auto found = names_.find(path);
        return found != names_.end() && found->second.folder;
    }
    bool HoldsFile(const std::string& path, std::uint64_t generation) const {
        const auto found = names_.find(path);
        return found != names_.end() && !found->second.folder &&
               found->second.generation == generation;
    }
    void Put(const std::string& path, DurableName name) {
        RemoveWithin(path);
        names_[path] = name;
    }
    void Remove(const std::string& path) {
        RemoveWithin(path);
        names_.erase(path);
    }
    void MoveFolder(const std::string& from, const std::string& to) {
        std::vector<std::pair<std::string, DurableName>> moved;
        for (const auto& [path, name] : names_) {
            if (Within(path, from))
                moved.emplace_back(to + path.substr(from.size()), name);
        }
        Remove(from);
        Put(to, {true, 0});
        for (const auto& [path, name] : moved)
            names_[path] = name;
    }

  private:
    void RemoveWithin(const std::string& folder) {
        std::erase_if(names_, [&](const auto& entry) { return Within(entry.first, folder); });
    }

    std::map<std::string, DurableName>& names_;
};

// The step an event takes, when it counts and what it needs is there.
void Apply(const Event& e, Tree& tree) {
    switch (e.kind) {
        case EventKind::Create:
            if (tree.IsFolder(ParentOf(e.path)))
                tree.Put(e.path, {false, e.generation});
            break;
        case EventKind::MakeFolder:
            if (tree.IsFolder(ParentOf(e.path)))
                tree.Put(e.path, {true, 0});
            break;
        case EventKind::Rename:
            if (!tree.IsFolder(ParentOf(e.to)))
                break;
            if (e.folder && tree.IsFolder(e.path)) {
                tree.MoveFolder(e.path, e.to);
            } else if (!e.folder && tree.HoldsFile(e.path, e.generation)) {
                tree.Remove(e.path);
                tree.Put(e.to, {false, e.generation});
            }
            break;
        case EventKind::Link:
            if (tree.IsFolder(ParentOf(e.to)) && tree.HoldsFile(e.path, e.generation))
                tree.Put(e.to, {false, e.generation});
            break;
        case EventKind::Remove:
        case EventKind::RemoveFolder:
            tree.Remove(e.path);
            break;
        default:
            break;
    }
}

}  // namespace

DurableState WhatSurvives(const std::vector<Event>& events) {
    DurableState state;
    // Where each folder was last synced: a name event before that index counts.
    std::map<std::string, std::size_t> last_sync;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].kind == EventKind::FolderSync)
            last_sync[events[i].path] = i;
    }
    const auto synced_after = [&](const std::string& folder, std::size_t i) {
        const auto found = last_sync.find(folder);
        return found != last_sync.end() && found->second > i;
    };
    Tree tree(state);
    for (std::size_t i = 0; i < events.size(); ++i) {
        const Event& e = events[i];
        if (e.kind == EventKind::Exists) {
            tree.Put(e.path, {e.folder, e.generation});
            if (!e.folder)
                state.before_run[e.generation] = e.path;
        } else if (e.kind == EventKind::FileSync) {
            state.synced_copy[e.generation] = e.number;
        } else if (IsNameEvent(e.kind)) {
            // A link leaves its source as it was: only the new name's folder makes it count.
            const bool counts = e.kind == EventKind::Link     ? synced_after(ParentOf(e.to), i)
                                : e.kind == EventKind::Rename ? synced_after(ParentOf(e.path), i) ||
                                                                    synced_after(ParentOf(e.to), i)
                                                              : synced_after(ParentOf(e.path), i);
            if (counts)
                Apply(e, tree);
        }
    }
    return state;
}

}  // namespace korvalen::powercut
