// What the ID prompt takes for an object ID, decided apart from the dialog.
#pragma once

#include <string_view>

namespace korvalen {

// What the ID prompt makes of the text in its edit when the user presses OK.
enum class ObjectIdVerdict {
    Accepted,  // exactly four digits: the prompt closes with it
    TooLong,   // more than four characters: the prompt says so and stays open
    NotAnId,   // anything else: the prompt stays open without a word
};

// Texts are UTF-8; the length counts characters, not bytes.
ObjectIdVerdict CheckObjectIdText(std::string_view text);

// The message for a text that is too long.
inline constexpr std::string_view kObjectIdTooLongMessage =
    "Please enter no more than 4 characters.";

}  // namespace korvalen
