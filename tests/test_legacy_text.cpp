// SPDX-License-Identifier: GPL-3.0-or-later
#include "util/LegacyText.h"

#include <gtest/gtest.h>

TEST(LegacyTextTest, ValidUtf8ComesBackUnchanged) {
    for (const std::string& s : {std::string(), std::string("Init Saw"), std::string("Caf\xC3\xA9 \xE2\x82\xAC"),
                                 std::string("\xF0\x9F\x8E\xB9 keys"), std::string("a\0b", 3)})
        EXPECT_EQ(DecodeLegacyText(s), s);
}

TEST(LegacyTextTest, OtherBytesAreWindows1252) {
    EXPECT_EQ(DecodeLegacyText("Caf\xE9"), "Caf\xC3\xA9");
    // The upper control range holds the code page's punctuation; its five gaps keep their numbers.
    EXPECT_EQ(DecodeLegacyText("\x80\x85\x93x\x94\x99\x9F"),
              "\xE2\x82\xAC\xE2\x80\xA6\xE2\x80\x9Cx\xE2\x80\x9D\xE2\x84\xA2\xC5\xB8");
    EXPECT_EQ(DecodeLegacyText("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    EXPECT_EQ(DecodeLegacyText("\xFF\xA0"), "\xC3\xBF\xC2\xA0");
}

TEST(LegacyTextTest, MalformedUtf8IsReadAsTheCodePageWhole) {
    // One bad sequence makes the whole text legacy: the valid-looking part is decoded byte by byte too.
    EXPECT_EQ(DecodeLegacyText("\xC3\xA9\xE9"), "\xC3\x83\xC2\xA9\xC3\xA9");
    EXPECT_EQ(DecodeLegacyText("\xC0\xAF"), "\xC3\x80\xC2\xAF");                                  // overlong slash
    EXPECT_EQ(DecodeLegacyText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");                  // a surrogate
    EXPECT_EQ(DecodeLegacyText("ab\xE2\x82"), "ab\xC3\xA2\xE2\x80\x9A");                          // cut short
    EXPECT_EQ(DecodeLegacyText("\xF4\x90\x80\x80"), "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC");  // > U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xF8\x88\x80\x80\x80"));
    EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF"));
}

TEST(LegacyTextTest, EveryByteStringDecodesToValidUtf8) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string decoded = DecodeLegacyText(all);
    EXPECT_TRUE(IsValidUtf8(decoded));
    EXPECT_EQ(DecodeLegacyText(decoded), decoded);
}

// ---- back to the code page ----------------------------------------------------------------------

TEST(LegacyTextTest, EncodingInvertsDecodingForEveryByteOfTheCodePage) {
    // Each upper byte alone is malformed UTF-8, so it decodes as the code page and must encode back to itself.
    for (int b = 0x80; b < 0x100; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(EncodeLegacyText(DecodeLegacyText(byte)), byte) << "byte " << b;
    }
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(EncodeLegacyText(DecodeLegacyText(all)), all);
    EXPECT_EQ(EncodeLegacyText("Fl\xC3\xB6te \xE2\x82\xAC"), "Fl\xF6te \x80");
    EXPECT_EQ(EncodeLegacyText(""), "");
}

TEST(LegacyTextTest, CharactersTheCodePageLacksAndMalformedInputEncodeToNothing) {
    for (const char* text : {"\xCE\xA9",              // Greek capital omega
                             "ok \xF0\x9F\x98\x80",   // an emoji after text that fits
                             "\xC2\x80",              // C1 controls other than the five gaps have no byte
                             "\xC2\x9F", "\xC5\x90",  // nor does a Latin letter the code page lacks
                             "Fl\xF6te",              // not UTF-8 at all
                             "\xE2\x82"})             // cut short
        EXPECT_EQ(EncodeLegacyText(text), std::nullopt) << text;
}
