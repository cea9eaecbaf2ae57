// Windows-1251 and UTF-8 both ways, and what the code page cannot hold.
#include "platform/text_codec.h"

#include <gtest/gtest.h>

namespace korvalen {
namespace {

TEST(TextCodec, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::string utf8 = Cp1251ToUtf8(all);
    EXPECT_EQ(Utf8ToCp1251(utf8), all);
}

TEST(TextCodec, KnownPairs) {
    struct Case {
        const char* name;
        std::string utf8;
        std::string cp1251;
    } cases[] = {
        {"capital yo", "Ё", "\xA8"},
        {"small yo", "ё", "\xB8"},
        {"numero", "№", "\xB9"},
        {"guillemet", "«", "\xAB"},
        {"euro", "€", "\x88"},
        {"cyrillic word", "Считывание", "\xD1\xF7\xE8\xF2\xFB\xE2\xE0\xED\xE8\xE5"},
        {"ascii", "COM1 D:\\Tools", "COM1 D:\\Tools"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8ToCp1251(c.utf8), c.cp1251) << c.name;
        EXPECT_EQ(Cp1251ToUtf8(c.cp1251), c.utf8) << c.name;
    }
}

TEST(TextCodec, WhatCodePage1251LacksBecomesQuestionMark) {
    EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD"
                           "b"),
              "a?b");                          // a CJK character
    EXPECT_EQ(Utf8ToCp1251("\xC3\xA9"), "?");  // é
    EXPECT_EQ(Utf8ToCp1251("x\xFF"
                           "y"),
              "x?y");                                  // not UTF-8 at all
    EXPECT_EQ(Utf8ToCp1251("\xD0"), "?");              // cut-off sequence
    EXPECT_EQ(Utf8ToCp1251("\xF0\x9F\x98\x80"), "?");  // outside the BMP
}

}  // namespace
}  // namespace korvalen
