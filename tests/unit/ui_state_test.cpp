// The window's states: the decode button's caption, the busy rule, the state after work.
#include "app/ui_state.h"

#include <gtest/gtest.h>

#include <string>

namespace korvalen {
namespace {

// The ids are written out here on purpose: they are what the resources and the tests of
// the real program address.
bool Enabled(const std::vector<ItemEnabling>& items, int id) {
    for (const auto& item : items) {
        if (item.id == id)
            return item.enabled;
    }
    ADD_FAILURE() << "no item " << id;
    return false;
}

TEST(UiStateTest, DecodeButtonCaption) {
    struct Row {
        const char* name;
        int state;
        std::uint32_t mask;
        std::optional<std::string> caption;
    };
    const Row rows[] = {
        {"ready, bar free: back to the decode caption", 1, 0, "Декодировать файл"},
        {"ready, bar still claimed: abort caption stays", 1, 0b100, std::nullopt},
        {"reading leaves it to the worker", 0, 0, std::nullopt},
        {"no connection leaves it", 2, 0, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto view = UiStateFor(row.state, false, row.mask);
        ASSERT_TRUE(view.has_value());
        if (row.caption)
            EXPECT_EQ(view->decode_button_text, *row.caption);
        else
            EXPECT_FALSE(view->decode_button_text.has_value());
    }
}

TEST(UiStateTest, BusyOnlyStopsTheReadyState) {
    EXPECT_FALSE(UiStateFor(1, /*busy=*/true, 0).has_value());
    EXPECT_FALSE(UiStateFor(1, /*busy=*/true, 1).has_value());
    // A capture or a pass that starts, and a failed port, always show themselves.
    EXPECT_EQ(UiStateFor(0, true, 1), UiStateFor(0, false, 1));
    EXPECT_EQ(UiStateFor(2, true, 0), UiStateFor(2, false, 0));
}

TEST(UiStateTest, AfterWorkShowsTheConnectionAsItIs) {
    struct Row {
        const char* name;
        bool port_open;
        bool busy;
        std::uint32_t mask;
        std::optional<std::string> status;  // none: nothing changes
        std::optional<std::string> caption;
    };
    const Row rows[] = {
        {"port open: ready", true, false, 0, "Соединение установлено", "Декодировать файл"},
        {"port closed: no connection, not ready", false, false, 0, "Ошибка соединения!",
         "Декодировать файл"},
        {"port closed, bar still claimed: abort caption stays", false, false, 0b10,
         "Ошибка соединения!", std::nullopt},
        {"another worker still busy, port closed", false, true, 0, std::nullopt, std::nullopt},
        {"another worker still busy, port open", true, true, 0, std::nullopt, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto view = UiStateAfterWork(row.port_open, row.busy, row.mask);
        ASSERT_EQ(view.has_value(), row.status.has_value());
        if (!view)
            continue;
        EXPECT_EQ(view->status_text, *row.status);
        EXPECT_EQ(Enabled(view->buttons, 1002), row.port_open) << "reading needs the port";
        if (row.caption)
            EXPECT_EQ(view->decode_button_text, *row.caption);
        else
            EXPECT_FALSE(view->decode_button_text.has_value());
    }
}

TEST(UiStateTest, UnknownStatesChangeNothing) {
    for (int state : {-1, 3, 100})
        EXPECT_FALSE(UiStateFor(state, false, 0).has_value()) << state;
}

}  // namespace
}  // namespace korvalen
