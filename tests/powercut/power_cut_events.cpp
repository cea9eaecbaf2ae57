// The event lines: "KIND\tf|d\tGENERATION\tNUMBER\tOP\tPATH\tTO", every field always there.
#include "power_cut_events.h"

#include <array>
#include <charconv>

namespace korvalen::powercut {
namespace {

constexpr std::array<std::pair<EventKind, std::string_view>, 14> kNames{{
    {EventKind::Exists, "exists"},
    {EventKind::Call, "call"},
    {EventKind::Ack, "ack"},
    {EventKind::Create, "create"},
    {EventKind::MakeFolder, "mkdir"},
    {EventKind::Rename, "rename"},
    {EventKind::Link, "link"},
    {EventKind::Remove, "remove"},
    {EventKind::RemoveFolder, "rmdir"},
    {EventKind::FileSync, "fsync"},
    {EventKind::FolderSync, "dirsync"},
    {EventKind::Fault, "fault"},
    {EventKind::Read, "read"},
    {EventKind::Unmodelled, "unmodelled"},
}};

std::optional<std::uint64_t> Number(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

}  // namespace

std::string FormatEvent(const Event& e) {
    std::string_view name;
    for (const auto& [kind, text] : kNames) {
        if (kind == e.kind)
            name = text;
    }
    std::string line(name);
    line += e.folder ? "\td\t" : "\tf\t";
    line += std::to_string(e.generation) + "\t" + std::to_string(e.number) + "\t";
    line += e.op + "\t" + e.path + "\t" + e.to + "\n";
    return line;
}

std::optional<Event> ParseEvent(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t at = 0;;) {
        const std::size_t tab = line.find('\t', at);
        fields.push_back(line.substr(at, tab == std::string_view::npos ? tab : tab - at));
        if (tab == std::string_view::npos)
            break;
        at = tab + 1;
    }
    if (fields.size() != 7 || (fields[1] != "f" && fields[1] != "d"))
        return std::nullopt;
    Event e;
    bool known = false;
    for (const auto& [kind, text] : kNames) {
        if (text == fields[0]) {
            e.kind = kind;
            known = true;
        }
    }
    const auto generation = Number(fields[2]);
    const auto number = Number(fields[3]);
    if (!known || !generation || !number)
        return std::nullopt;
    e.folder = fields[1] == "d";
    e.generation = *generation;
    e.number = *number;
    e.op = fields[4];
    e.path = fields[5];
    e.to = fields[6];
    return e;
}

std::vector<Event> ParseEvents(std::string_view text) {
    std::vector<Event> events;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            break;
        const auto event = ParseEvent(text.substr(at, end - at));
        if (!event)
            break;
        events.push_back(*event);
        at = end + 1;
    }
    return events;
}

std::string ParentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace korvalen::powercut
