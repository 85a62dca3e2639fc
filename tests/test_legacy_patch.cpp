// SPDX-License-Identifier: GPL-3.0-or-later
// Patch files of the original platform hold their texts in its code page (Windows-1252). Opened here they
// show decoded, save back byte for byte when untouched, and an edit goes back in the code page when it fits.
// Every check compares whole saved files.
#include "PatchFixtures.h"

#include "util/LegacyText.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// A whole patch file with these texts, whose numbers a load and a save leave as they are.
Bytes FileWith(std::string_view name, std::string_view author, std::string_view comment) {
    FileBytes f;
    f.Raw("QNP").Int(0).Text(name, 256).Text(author, 256).Text(comment, 2048);
    for (std::size_t slot = 0; slot < std::size(kHandSlots); ++slot) f.Int(slot == 0 ? 3 : kHandSlots[slot]);
    for (std::int32_t v : kHandSelections) f.Int(v);
    return f.Int(kHandSwitchBits).Int(0xCD).bytes;
}

// "Flöte", "Björn – Straße", and a comment with the euro sign, a CR LF and the code page's five unused bytes.
const std::string kName = "Fl\xF6te", kAuthor = "Bj\xF6rn \x96 Stra\xDF" + std::string("e");
const std::string kComment = "Weich \x80 1\r\nZeile 2: \x81\x8D\x8F\x90\x9D";
const std::string kShownName = "Fl\xC3\xB6te",
                  kShownAuthor = "Bj\xC3\xB6rn \xE2\x80\x93 Stra\xC3\x9F" + std::string("e");
const std::string kShownComment = "Weich \xE2\x82\xAC 1\nZeile 2: \xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D";
using Shown = std::array<std::string, 3>;  // name, author, comment as the editor shows them

struct LegacyPatch : ::testing::Test, EditorRig {
    TempDir dir;
    void SetUp() override { ShowAndOpen(); }
    void Open(const Bytes& file) {
        WriteAll(dir / "in.qnp", file);
        dialogs.messages.clear();
        dialogs.answers = {MessageAnswer::No};  // the transmit question
        ASSERT_TRUE(doc.OnOpenDocument(dir / "in.qnp"));
    }
    Bytes Saved() {
        EXPECT_TRUE(doc.OnSaveDocument(dir / "out.qnp"));
        return ReadAll(dir / "out.qnp");
    }
    void Type(int box, const std::string& text) {
        dlg.UserEdited(box, text);
        dlg.UserEndedGesture(box);
    }
    void Comment(std::optional<std::string> answer) {
        dialogs.commentAnswers = {std::move(answer)};
        dlg.UserClicked(ctl::Comment);
    }
    Shown Texts() {
        Comment(std::nullopt);
        return {form.GetText(ctl::PatchName), form.GetText(ctl::Author), dialogs.commentRequests.back()};
    }
    // Saves, then opens the saved file again: it must show what was shown.
    Bytes SavedAndReopened() {
        const Shown before = Texts();
        const Bytes saved = Saved();
        Open(saved);
        EXPECT_EQ(Texts(), before);
        return saved;
    }
};

TEST_F(LegacyPatch, OpenedItShowsDecodedAndSavedUntouchedItIsByteIdentical) {
    const Bytes file = FileWith(kName, kAuthor, kComment);
    Open(file);
    EXPECT_EQ(dialogs.messages.at(0).text, "Transmit all data from " + kShownName);
    EXPECT_EQ(Texts(), (Shown{kShownName, kShownAuthor, kShownComment}));
    Comment(kShownComment);  // OK on the comment as shown changes nothing
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(Saved(), file);
    // Nor do bytes that are neither: a UTF-8 "é" then the code page's, a sequence cut short, a surrogate.
    const Bytes mixed = FileWith("\xC3\xA9\xE9", "ok\xE2\x82", "\xED\xA0\x80");
    Open(mixed);
    EXPECT_EQ(Texts(), (Shown{"\xC3\x83\xC2\xA9\xC3\xA9", "ok\xC3\xA2\xE2\x80\x9A", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"}));
    EXPECT_EQ(Saved(), mixed);
}

TEST_F(LegacyPatch, AnEditIsStoredInTheEncodingItsTextCameInWhenEveryCharacterFits) {
    Open(FileWith(kName, kAuthor, ""));
    Type(ctl::PatchName, "Fl\xC3\xB6ten \xE2\x82\xAC");  // "Flöten €": the euro sign is the code page's 0x80
    Comment("S\xC3\xBC\xC3\x9F\nneu");                   // "Süß": an empty text goes with its record
    EXPECT_EQ(SavedAndReopened(), FileWith("Fl\xF6ten \x80", kAuthor, "S\xFC\xDF\r\nneu"));

    Type(ctl::PatchName, "Fl\xC3\xB6te \xCE\xA9");  // omega is not in the code page: this text goes in UTF-8
    Type(ctl::Author, "\xC3\x83\xC2\xA9");          // "Ã©" would be C3 A9 there, read back as "é": UTF-8
    EXPECT_EQ(SavedAndReopened(), FileWith("Fl\xC3\xB6te \xCE\xA9", "\xC3\x83\xC2\xA9", "S\xFC\xDF\r\nneu"));

    const Bytes utf8 = FileWith("Caf\xC3\xA9", "Ann", "eins\r\nzwei");
    Open(utf8);
    EXPECT_EQ(Saved(), utf8);
    Type(ctl::Author, "\xC3\x85sa");  // fits the code page, but the file is UTF-8
    EXPECT_EQ(SavedAndReopened(), FileWith("Caf\xC3\xA9", "\xC3\x85sa", "eins\r\nzwei"));
}

TEST_F(LegacyPatch, CommentLinesAreShownAsLinesAndStoredWithCrLf) {
    const Bytes file = FileWith("Pad", "", "one\r\ntwo\rthree");
    Open(file);
    Comment("one\ntwo\nthree");  // shown with plain line breaks, and confirmed unchanged
    EXPECT_EQ(dialogs.commentRequests.back(), "one\ntwo\nthree");
    EXPECT_EQ(Saved(), file);   // the lone CR stays while the comment is untouched
    Comment("x\r\ny\rz\nend");  // typed lines become CR LF; breaks written either way are not doubled
    EXPECT_EQ(Saved(), FileWith("Pad", "", "x\r\ny\r\nz\r\nend"));
    Comment("\na\n\n\nb\n");  // blank lines, first and last ones too, are lines like any other
    EXPECT_EQ(SavedAndReopened(), FileWith("Pad", "", "\r\na\r\n\r\n\r\nb\r\n"));
}

TEST_F(LegacyPatch, UndoCompareAndRecoveryKeepTheBytes) {
    const Bytes file = FileWith(kName, kAuthor, kComment);
    Open(file);
    for (const char* typed : {"F", "Fl\xC3\xB6", "Fl\xC3\xB6ten"}) dlg.UserEdited(ctl::PatchName, typed);
    dlg.UserEndedGesture(ctl::PatchName);
    Comment("neu\nZeile");
    const Bytes edited = FileWith("Fl\xF6ten", kAuthor, "neu\r\nZeile");
    clock.Advance(kRecoveryDelay);
    ASSERT_TRUE(recovery.saved);
    EXPECT_EQ(recovery.saved->first, edited);

    app.Sound().OnEditCompare();  // the original, and back to the edit
    EXPECT_EQ(form.GetText(ctl::PatchName), kShownName);
    app.Sound().OnEditCompare();
    EXPECT_EQ(Saved(), edited);
    while (dlg.CanUndo()) dlg.Undo();
    EXPECT_EQ(Texts(), (Shown{kShownName, kShownAuthor, kShownComment}));
    EXPECT_EQ(Saved(), file);
    while (dlg.CanRedo()) dlg.Redo();
    EXPECT_EQ(Saved(), edited);

    // Restored after a crash the texts are still the code page's: taking the edit back gives the original.
    Open(edited);
    Type(ctl::PatchName, kShownName);
    Comment(kShownComment);
    EXPECT_EQ(Saved(), file);
}

TEST_F(LegacyPatch, TextsTooLongForTheirFieldAreCutBetweenCharacters) {
    Open(FileWith(kName, kAuthor, ""));
    std::string shown, legacy, omega;
    for (int i = 0; i < 150; ++i) shown += "\xC3\xA9\xC2\xA9", legacy += "\xE9\xA9";  // "é©": like a UTF-8 pair
    for (int i = 0; i < 200; ++i) omega += "\xCE\xA9";
    Type(ctl::PatchName, shown);  // a byte a character in the code page: 255 of them
    Type(ctl::Author, omega);     // two bytes each in UTF-8: 127 of them, not half of the 128th
    EXPECT_EQ(Saved(), FileWith(legacy.substr(0, 255), omega.substr(0, 254), ""));
}

// The boxes and the dialog take no more than the fields store, counted in stored bytes, so what the form
// shows is what a save keeps: reopened, the file shows the same texts, and Compare's original is the file.
TEST_F(LegacyPatch, TextsTakeNoMoreThanTheirFieldsStoreSoASaveCutsNothing) {
    Open(FileWith("", "", ""));
    Type(ctl::PatchName, std::string(300, 'n'));  // a paste: what fits is taken
    EXPECT_EQ(form.GetText(ctl::PatchName), std::string(255, 'n'));
    Type(ctl::PatchName, "x" + std::string(255, 'n'));  // typing into a full box changes nothing
    EXPECT_EQ(form.GetText(ctl::PatchName), std::string(255, 'n'));

    std::string e127;
    for (int i = 0; i < 127; ++i) e127 += "\xC3\xA9";
    Type(ctl::Author, e127 + "\xC3\xA9");  // 256 bytes in UTF-8: the last one does not fit
    EXPECT_EQ(form.GetText(ctl::Author), e127);
    Type(ctl::Author, e127.substr(0, 2) + "xy" + e127.substr(2));  // typed in the middle: "x" still fits
    EXPECT_EQ(form.GetText(ctl::Author), e127.substr(0, 2) + "x" + e127.substr(2));

    std::string lines;
    for (int i = 0; i < 700; ++i) lines += "ab\n";  // 700 x 4 bytes stored: 2,800 in a 2,047-byte field
    Comment(lines);
    EXPECT_EQ(dialogs.commentRooms.back().bytes, 2047u);
    EXPECT_EQ(dialogs.commentRooms.back().encoding, TextEncoding::Utf8);
    EXPECT_EQ(dlg.m_comment.size(), 2046u);  // 511 whole lines and the next one's letters; its CR LF is 2 bytes
    EXPECT_EQ(dlg.m_comment.substr(2040), "ab\r\nab");
    EXPECT_TRUE(doc.IsModified());

    const Bytes saved = SavedAndReopened();
    EXPECT_EQ(saved, FileWith(std::string(255, 'n'), e127.substr(0, 2) + "x" + e127.substr(2), dlg.m_comment));
    EXPECT_FALSE(doc.IsModified());

    // A full text of the code page: a character the code page lacks would take the text to UTF-8, twice as
    // long, so it is refused; one the code page has is taken while there is room.
    const std::string full(255, '\xE9');
    Open(FileWith(full, "", std::string(2047, 'c')));
    const std::string shownFull = form.GetText(ctl::PatchName);
    Type(ctl::PatchName, shownFull + "\xCE\xA9");
    EXPECT_EQ(form.GetText(ctl::PatchName), shownFull);
    Comment(std::string(2047, 'c').substr(1) + "\xE2\x82\xAC");  // the euro sign is one byte there
    EXPECT_EQ(dialogs.commentRooms.back().encoding, TextEncoding::Windows1252);
    EXPECT_EQ(SavedAndReopened(), FileWith(full, "", std::string(2046, 'c') + "\x80"));

    // Whatever put a longer text into the form, what a save cut is what the document calls its original.
    dlg.m_author = std::string(300, 'a');
    Saved();
    ASSERT_TRUE(doc.Original());
    EXPECT_EQ(doc.Original()->author, std::string(255, 'a'));
}

TEST_F(LegacyPatch, HostileTextFieldsNeverCrashAndComeBackByteForByte) {
    std::mt19937 random(20240611u);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        // Random fields, each text up to its first zero; one round in four without any zero at all.
        Bytes file = FileWith("", "", "");
        std::array<std::string, 3> texts;
        const std::array<std::size_t, 3> offsets{7, 7 + 256, 7 + 512}, sizes{256, 256, 2048};
        for (std::size_t f = 0; f < 3; ++f) {
            std::string field;
            for (std::size_t i = 0; i < sizes[f]; ++i) field += static_cast<char>(byte(random));
            if (round % 4 == 0) {
                std::replace(field.begin(), field.end(), '\0', ' ');
                field[sizes[f] / 2] = '\xFF';  // never UTF-8: cut before the field's last byte
                texts[f] = field.substr(0, sizes[f] - 1);
            } else {
                field[static_cast<std::size_t>(byte(random))] = '\0';
                texts[f] = field.substr(0, field.find('\0'));
            }
            std::copy(field.begin(), field.end(), file.begin() + static_cast<std::ptrdiff_t>(offsets[f]));
        }
        Open(file);
        for (const std::string& text : Texts()) EXPECT_TRUE(IsValidUtf8(text));
        EXPECT_TRUE(IsValidUtf8(dialogs.messages.at(0).text));
        EXPECT_EQ(Saved(), FileWith(texts[0], texts[1], texts[2]));
    }
}

}  // namespace
