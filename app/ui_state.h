// What each of the window's three states enables and shows, as data that tests can check.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace korvalen {

// The window's three states: 0 while a flash transfer is read or a dump decoded (the
// window is busy), 1 when the reader is connected and the window waits for the user, 2
// when the port is not open.
enum class UiState : int { Busy = 0, Ready = 1, NoConnection = 2 };

// Button 1000 reads "Прервать" while a capture or a pass can be aborted.
inline constexpr std::string_view kAbortCaption = "Прервать";
inline constexpr std::string_view kDecodeCaption = "Декодировать файл";
// The status bar's state while a pass runs.
inline constexpr std::string_view kDecodingStatus = "Преобразование";

// A menu item or button and whether it is usable; disabled items are greyed.
struct ItemEnabling {
    int id;
    bool enabled;
    bool operator==(const ItemEnabling&) const = default;
};

// Everything one state sets in the window. Texts are UTF-8.
struct UiStateView {
    // Items of the main menu (freshly loaded on every change of state), including 32775,
    // which has a handler but no item: enabling it is harmless.
    std::vector<ItemEnabling> main_menu;
    // Items of the status bar's port menu.
    std::vector<ItemEnabling> port_menu;
    std::string_view port_toggle_text;  // the label of the open/close item 32783
    std::vector<ItemEnabling> buttons;
    // A new caption for the decode button 1000 ("Прервать" while a pass can be aborted);
    // empty when the caption stays.
    std::optional<std::string_view> decode_button_text;
    std::string_view status_text;                // the status bar's part 1
    std::array<std::string_view, 4> info_lines;  // lines 1026 to 1029

    bool operator==(const UiStateView&) const = default;
};

// What switching to `state` sets, given whether the window is busy (a capture runs or a
// decoding pass) and the progress claim mask. Nothing (nullopt) for a state value that is
// not 0, 1 or 2, and for state 1 while busy: a worker that finishes while another still
// runs must not make the window look ready.
std::optional<UiStateView> UiStateFor(int state, bool busy, std::uint32_t progress_mask);

// What the window shows when a worker (a decoding pass) ends: ready when the port is
// open, the no-connection state when it is not (a decoded file does not connect the
// reader), and nothing while the window is still busy with another worker.
std::optional<UiStateView> UiStateAfterWork(bool port_open, bool busy, std::uint32_t progress_mask);

}  // namespace korvalen
