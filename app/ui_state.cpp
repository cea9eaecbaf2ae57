// The window's three states written out: the items each enables and the texts it shows.
#include "app/ui_state.h"

#include "res/resource.h"

namespace korvalen {
namespace {

constexpr std::string_view kClosePort = "Закрыть СОМ-порт";  // Cyrillic "СОМ"
constexpr std::string_view kOpenPort = "Открыть СОМ-порт";

std::vector<ItemEnabling> MainMenu(bool enabled) {
    return {{ID_FILE_EXIT, enabled},
            {ID_SETTINGS, enabled},
            {ID_COM_PORT, enabled},
            {ID_SAVE_DUMP_COPY, enabled},
            {ID_DECODE_PENDING, enabled}};
}

std::vector<ItemEnabling> ReadButtons(bool enabled) {
    return {{IDC_READ_ALL, enabled}, {IDC_READ_NEW, enabled}};
}

}  // namespace

std::optional<UiStateView> UiStateFor(int state, bool busy, std::uint32_t progress_mask) {
    switch (state) {
        case static_cast<int>(UiState::Busy):
            return UiStateView{
                .main_menu = MainMenu(false),
                .port_menu = {{ID_PORT_DIALOG, false}, {ID_PORT_OPEN_CLOSE, false}},
                .port_toggle_text = kClosePort,
                .buttons = ReadButtons(false),
                .decode_button_text = std::nullopt,
                .status_text = "Считывание",
                .info_lines = {"Преобразование...", "", "", ""},
            };
        case static_cast<int>(UiState::Ready):
            if (busy)
                return std::nullopt;
            return UiStateView{
                .main_menu = MainMenu(true),
                .port_menu = {{ID_PORT_DIALOG, true}, {ID_PORT_OPEN_CLOSE, true}},
                .port_toggle_text = kClosePort,
                .buttons = ReadButtons(true),
                // While some worker still holds the progress bar its abort caption stays.
                .decode_button_text = progress_mask == 0
                                          ? std::optional<std::string_view>(kDecodeCaption)
                                          : std::nullopt,
                .status_text = "Соединение установлено",
                .info_lines = {"Все готово для считывания флэш-памяти,",
                               "Нажмите кнопку на считывателе или одну из кнопок:",
                               "Если нужно декодировать ранее считанный файл,",
                               "Нажмите на кнопку: "},
            };
        case static_cast<int>(UiState::NoConnection):
            return UiStateView{
                .main_menu = MainMenu(true),
                .port_menu = {{ID_PORT_DIALOG, true}, {ID_PORT_OPEN_CLOSE, true}},
                .port_toggle_text = kOpenPort,
                .buttons = ReadButtons(false),
                .decode_button_text = std::nullopt,
                .status_text = "Ошибка соединения!",
                .info_lines = {"Ошибка соединения с COM-портом!", "", "", ""},
            };
        default:
            return std::nullopt;
    }
}

std::optional<UiStateView> UiStateAfterWork(bool port_open, bool busy,
                                            std::uint32_t progress_mask) {
    if (busy)
        return std::nullopt;
    if (port_open)
        return UiStateFor(static_cast<int>(UiState::Ready), busy, progress_mask);
    auto view = UiStateFor(static_cast<int>(UiState::NoConnection), busy, progress_mask);
    // The abort caption goes once no worker holds the progress bar, as in the ready state.
    if (view && progress_mask == 0)
        view->decode_button_text = kDecodeCaption;
    return view;
}

}  // namespace korvalen
