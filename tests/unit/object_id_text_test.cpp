// What the ID prompt accepts as an object ID.
#include "settings/object_id_text.h"

#include <gtest/gtest.h>

namespace korvalen {
namespace {

TEST(ObjectIdTextTest, OnlyFourDigitsAreAccepted) {
    struct Row {
        const char* name;
        const char* text;
        ObjectIdVerdict verdict;
    };
    const Row rows[] = {
        {"four digits", "0042", ObjectIdVerdict::Accepted},
        {"zero is not refused here", "0000", ObjectIdVerdict::Accepted},
        {"too short", "12", ObjectIdVerdict::NotAnId},
        {"empty", "", ObjectIdVerdict::NotAnId},
        {"a letter", "12a4", ObjectIdVerdict::NotAnId},
        {"a sign", "-123", ObjectIdVerdict::NotAnId},
        {"blank", "12 4", ObjectIdVerdict::NotAnId},
        {"five digits", "12345", ObjectIdVerdict::TooLong},
        // Four Cyrillic letters are four characters (eight bytes): not too long.
        {"four Cyrillic letters", "абвг", ObjectIdVerdict::NotAnId},
        {"five Cyrillic letters", "абвгд", ObjectIdVerdict::TooLong},
        // Full-width digits are not the digits of an ID.
        {"full-width digits", "\xef\xbc\x90\xef\xbc\x90\xef\xbc\x94\xef\xbc\x92",
         ObjectIdVerdict::NotAnId},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CheckObjectIdText(row.text), row.verdict) << row.name;
}

}  // namespace
}  // namespace korvalen
