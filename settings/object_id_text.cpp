// The ID prompt's rule: four digits accepted, more than four characters refused aloud.
#include "settings/object_id_text.h"

#include <algorithm>
#include <cstddef>

namespace korvalen {

ObjectIdVerdict CheckObjectIdText(std::string_view text) {
    // A character starts at every byte that is not a UTF-8 continuation byte.
    const auto characters = std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    if (characters > 4)
        return ObjectIdVerdict::TooLong;
    const bool four_digits = text.size() == 4 && std::all_of(text.begin(), text.end(), [](char c) {
                                 return c >= '0' && c <= '9';
                             });
    return four_digits ? ObjectIdVerdict::Accepted : ObjectIdVerdict::NotAnId;
}

}  // namespace korvalen
