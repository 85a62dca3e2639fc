// How a patch's texts are shown and stored, apart from the form: encodings by record, edits back to bytes,
// comment line breaks.
#include "patch/PatchText.h"

#include <gtest/gtest.h>

namespace {

using enum TextEncoding;

PatchRecord Texts(std::string name, std::string author, std::string comment) {
    PatchRecord r;
    r.patchName = std::move(name);
    r.author = std::move(author);
    r.comment = std::move(comment);
    return r;
}

TEST(PatchText, EachTextKeepsTheEncodingItCameInAndPlainTextsGoWithTheirRecord) {
    using Encodings = std::array<TextEncoding, 3>;
    EXPECT_EQ(RecordTextEncodings(Texts("", "", "")), (Encodings{Utf8, Utf8, Utf8}));
    EXPECT_EQ(RecordTextEncodings(Texts("Caf\xC3\xA9", "Ann", "")), (Encodings{Utf8, Utf8, Utf8}));
    // One text of the code page makes the record the original platform's: its plain texts follow.
    EXPECT_EQ(RecordTextEncodings(Texts("Fl\xF6te", "Ann", "")), (Encodings{Windows1252, Windows1252, Windows1252}));
    // A text that is valid UTF-8 beyond ASCII came in UTF-8, whatever the others are.
    EXPECT_EQ(RecordTextEncodings(Texts("Caf\xC3\xA9", "", "x\x93y\x94")), (Encodings{Utf8, Windows1252, Windows1252}));
}

TEST(PatchText, AnEditedTextIsStoredInTheCodePageOnlyWhenItReadsBackTheSame) {
    EXPECT_EQ(ShownText("Fl\xF6te"), "Fl\xC3\xB6te");
    EXPECT_EQ(StoredText("Fl\xC3\xB6ten \xE2\x82\xAC", Windows1252), "Fl\xF6ten \x80");
    EXPECT_EQ(StoredText("Fl\xC3\xB6te \xCE\xA9", Windows1252), "Fl\xC3\xB6te \xCE\xA9");  // omega: UTF-8
    EXPECT_EQ(StoredText("Fl\xC3\xB6te", Utf8), "Fl\xC3\xB6te");
    // "Ã©" in the code page is C3 A9, which reads back as UTF-8 "é": stored as UTF-8 instead.
    EXPECT_EQ(StoredText("\xC3\x83\xC2\xA9", Windows1252), "\xC3\x83\xC2\xA9");
    EXPECT_EQ(ShownText(StoredText("\xC3\x83\xC2\xA9", Windows1252)), "\xC3\x83\xC2\xA9");
    EXPECT_EQ(StoredText("\xC3\x83\xC2\xA9!\xC3\xA9", Windows1252), "\xC3\xA9!\xE9");  // with a byte that is no UTF-8
}

TEST(PatchText, CommentLineBreaksAreShownAsNewLinesAndStoredAsCrLf) {
    EXPECT_EQ(ShownComment("one\r\ntwo\rthree\nfour\r\n"), "one\ntwo\nthree\nfour\n");
    EXPECT_EQ(ShownComment("Zeile\r\n\xE4"), "Zeile\n\xC3\xA4");
    EXPECT_EQ(StoredComment("one\ntwo\n\nthree", Utf8), "one\r\ntwo\r\n\r\nthree");
    // Breaks already written either way are not doubled.
    EXPECT_EQ(StoredComment("a\r\nb\rc\n", Utf8), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(StoredComment("\xC3\xA4\n\xC3\xB6", Windows1252), "\xE4\r\n\xF6");
    EXPECT_EQ(StoredComment("\xE2\x84\xA6\n", Windows1252), "\xE2\x84\xA6\r\n");  // ohm sign: UTF-8
}

}  // namespace
