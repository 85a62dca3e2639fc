// Patch files of the original platform hold their texts in its code page (Windows-1252). Opened here they
// show decoded, save back byte for byte when untouched, and an edit goes back in the code page when it fits.
// Every check compares whole saved files.
#include "PatchFixtures.h"

#include "util/LegacyText.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// A whole patch file with these text bytes, whose numbers a load and a save leave as they are: slot 0 is the
// stored channel and the routing code the filter type's.
Bytes FileWith(std::string_view name, std::string_view author, std::string_view comment) {
    FileBytes f;
    f.Raw("QNP").Int(0).Text(name, 256).Text(author, 256).Text(comment, 2048);
    for (std::size_t slot = 0; slot < std::size(kHandSlots); ++slot) f.Int(slot == 0 ? 3 : kHandSlots[slot]);
    for (std::int32_t v : kHandSelections) f.Int(v);
    return f.Int(kHandSwitchBits).Int(0xCD).bytes;
}

// "Flöte", "Björn – Straße", and a comment with the euro sign, a CR LF and the code page's five unused bytes.
const std::string kName = "Fl\xF6te";
const std::string kAuthor =
    "Bj\xF6rn \x96 Stra\xDF"
    "e";
const std::string kComment = "Weich \x80 1\r\nZeile 2: \x81\x8D\x8F\x90\x9D";
const std::string kShownName = "Fl\xC3\xB6te";
const std::string kShownAuthor =
    "Bj\xC3\xB6rn \xE2\x80\x93 Stra\xC3\x9F"
    "e";
const std::string kShownComment = "Weich \xE2\x82\xAC 1\nZeile 2: \xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D";

// Name, author and comment as the editor shows them.
using ShownTexts = std::array<std::string, 3>;

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
    void CommentOk(const std::string& text) {
        dialogs.commentAnswers = {text};
        dlg.UserClicked(ctl::Comment);
    }
    ShownTexts Shown() {
        dialogs.commentAnswers = {std::nullopt};  // Cancel
        dlg.UserClicked(ctl::Comment);
        return {form.GetText(ctl::PatchName), form.GetText(ctl::Author), dialogs.commentRequests.back()};
    }
};

// The texts another editor shows after opening these file bytes.
ShownTexts ShownByAnotherEditor(const Bytes& file) {
    TempDir dir;
    WriteAll(dir / "other.qnp", file);
    EditorRig other;
    other.dialogs.answers = {MessageAnswer::No};
    EXPECT_TRUE(other.doc.OnOpenDocument(dir / "other.qnp"));
    other.dlg.UserClicked(ctl::Comment);  // answered with Cancel
    return {other.form.GetText(ctl::PatchName), other.form.GetText(ctl::Author), other.dialogs.commentRequests.back()};
}

TEST_F(LegacyPatch, OpenedItShowsDecodedAndSavedUntouchedItIsByteIdentical) {
    const Bytes file = FileWith(kName, kAuthor, kComment);
    Open(file);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Transmit all data from " + kShownName);
    EXPECT_EQ(Shown(), (ShownTexts{kShownName, kShownAuthor, kShownComment}));
    // OK on the comment as shown, and focus in and out of the boxes, change nothing.
    CommentOk(kShownComment);
    dlg.UserEndedGesture(ctl::PatchName);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_FALSE(dlg.CanUndo());
    EXPECT_EQ(Saved(), file);
}

TEST_F(LegacyPatch, AnEditThatFitsTheCodePageIsSavedInIt) {
    Open(FileWith(kName, kAuthor, ""));
    Type(ctl::PatchName, "Fl\xC3\xB6ten \xE2\x82\xAC");  // "Flöten €": the euro sign is the code page's 0x80
    CommentOk("S\xC3\xBC\xC3\x9F\nneu");                 // "Süß": the empty comment goes with its record
    const Bytes saved = Saved();
    EXPECT_EQ(saved, FileWith("Fl\xF6ten \x80", kAuthor, "S\xFC\xDF\r\nneu"));
    EXPECT_EQ(ShownByAnotherEditor(saved),
              (ShownTexts{"Fl\xC3\xB6ten \xE2\x82\xAC", kShownAuthor, "S\xC3\xBC\xC3\x9F\nneu"}));
}

TEST_F(LegacyPatch, ACharacterOutsideTheCodePageSavesThatTextInUtf8) {
    Open(FileWith(kName, kAuthor, kComment));
    Type(ctl::PatchName, "Fl\xC3\xB6te \xCE\xA9");       // omega
    Type(ctl::Author, "\xF0\x9F\x98\x80 Bj\xC3\xB6rn");  // an emoji
    const Bytes saved = Saved();
    // The untouched comment stays in the code page: each text keeps its own encoding.
    EXPECT_EQ(saved, FileWith("Fl\xC3\xB6te \xCE\xA9", "\xF0\x9F\x98\x80 Bj\xC3\xB6rn", kComment));
    EXPECT_EQ(ShownByAnotherEditor(saved),
              (ShownTexts{"Fl\xC3\xB6te \xCE\xA9", "\xF0\x9F\x98\x80 Bj\xC3\xB6rn", kShownComment}));
}

TEST_F(LegacyPatch, AUtf8FileStaysUtf8) {
    const Bytes file = FileWith("Caf\xC3\xA9", "Ann", "eins\r\nzwei \xE2\x82\xAC");
    Open(file);
    EXPECT_EQ(Shown(), (ShownTexts{"Caf\xC3\xA9", "Ann", "eins\nzwei \xE2\x82\xAC"}));
    EXPECT_EQ(Saved(), file);
    Type(ctl::PatchName, "Caf\xC3\xA9 cr\xC3\xA8me");
    Type(ctl::Author, "\xC3\x85sa");  // fits the code page, but the text came in UTF-8
    CommentOk("eins\nzwei \xE2\x82\xAC\ndrei");
    EXPECT_EQ(Saved(), FileWith("Caf\xC3\xA9 cr\xC3\xA8me", "\xC3\x85sa", "eins\r\nzwei \xE2\x82\xAC\r\ndrei"));
}

TEST_F(LegacyPatch, MalformedMixedBytesAreReadAsTheCodePageAndComeBackUnchanged) {
    // A UTF-8 "é" then the code page's; a sequence cut short; a surrogate.
    const Bytes file = FileWith("\xC3\xA9\xE9", "ok\xE2\x82", "\xED\xA0\x80");
    Open(file);
    EXPECT_EQ(Shown(),
              (ShownTexts{"\xC3\x83\xC2\xA9\xC3\xA9", "ok\xC3\xA2\xE2\x80\x9A", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"}));
    EXPECT_EQ(Saved(), file);

    Type(ctl::PatchName, "\xC3\x83\xC2\xA9\xC3\xA9!");
    // "Ã©" alone would be C3 A9 in the code page, which reads back as "é": it goes in UTF-8.
    Type(ctl::Author, "\xC3\x83\xC2\xA9");
    const Bytes saved = Saved();
    EXPECT_EQ(saved, FileWith("\xC3\xA9\xE9!", "\xC3\x83\xC2\xA9", "\xED\xA0\x80"));
    EXPECT_EQ(ShownByAnotherEditor(saved)[1], "\xC3\x83\xC2\xA9");
}

TEST_F(LegacyPatch, CommentLinesAreShownAsLinesAndStoredWithCrLf) {
    const Bytes file = FileWith("Pad", "", "one\r\ntwo\rthree");
    Open(file);
    CommentOk("one\ntwo\nthree");  // shown with plain line breaks, and confirmed unchanged
    EXPECT_EQ(dialogs.commentRequests.back(), "one\ntwo\nthree");
    EXPECT_EQ(Saved(), file);  // the lone CR stays while the comment is untouched

    CommentOk("one\ntwo\nthree\nfour");
    EXPECT_EQ(dlg.m_comment, "one\r\ntwo\r\nthree\r\nfour");
    CommentOk("x\r\ny\rz\n");  // breaks written either way are not doubled
    EXPECT_EQ(dlg.m_comment, "x\r\ny\r\nz\r\n");
    EXPECT_EQ(Saved(), FileWith("Pad", "", "x\r\ny\r\nz\r\n"));
}

TEST_F(LegacyPatch, UndoingTextEditsGivesBackTheBytesReadAndRedoTheEdits) {
    const Bytes file = FileWith(kName, kAuthor, kComment);
    Open(file);
    for (const char* typed : {"F", "Fl", "Fl\xC3\xB6", "Fl\xC3\xB6te \xCE\xA9"}) dlg.UserEdited(ctl::PatchName, typed);
    dlg.UserEndedGesture(ctl::PatchName);
    Type(ctl::Author, "J\xC3\xB6rg");
    CommentOk("neu\nZeile");
    const Bytes edited = FileWith("Fl\xC3\xB6te \xCE\xA9", "J\xF6rg", "neu\r\nZeile");
    EXPECT_EQ(Saved(), edited);

    while (dlg.CanUndo()) dlg.Undo();
    EXPECT_EQ(Shown(), (ShownTexts{kShownName, kShownAuthor, kShownComment}));
    EXPECT_EQ(Saved(), file);
    while (dlg.CanRedo()) dlg.Redo();
    EXPECT_EQ(Saved(), edited);
}

TEST_F(LegacyPatch, CompareShowsTheOriginalDecodedAndGivesTheEditBack) {
    Open(FileWith(kName, kAuthor, kComment));
    Type(ctl::PatchName, "Fl\xC3\xB6ten");
    app.OnEditCompare();
    EXPECT_EQ(form.GetText(ctl::PatchName), kShownName);
    app.OnEditCompare();
    EXPECT_EQ(form.GetText(ctl::PatchName), "Fl\xC3\xB6ten");
    EXPECT_EQ(Saved(), FileWith("Fl\xF6ten", kAuthor, kComment));
}

TEST_F(LegacyPatch, UnsavedChangesKeptForTheNextStartHoldTheSameBytes) {
    const Bytes file = FileWith(kName, kAuthor, kComment);
    Open(file);
    Type(ctl::PatchName, "Fl\xC3\xB6ten");
    clock.Advance(kRecoveryDelay);
    ASSERT_TRUE(recovery.saved);
    EXPECT_EQ(recovery.saved->first, FileWith("Fl\xF6ten", kAuthor, kComment));

    // Restored, the texts are still the code page's: taking the edit back gives the original file.
    Open(recovery.saved->first);
    EXPECT_EQ(form.GetText(ctl::PatchName), "Fl\xC3\xB6ten");
    Type(ctl::PatchName, kShownName);
    EXPECT_EQ(Saved(), file);
}

TEST_F(LegacyPatch, TextsTooLongForTheirFieldAreCutBetweenCharacters) {
    Open(FileWith(kName, kAuthor, ""));
    std::string shown, legacy, omega;
    for (int i = 0; i < 150; ++i) {
        shown += "\xC3\xA9\xC2\xA9";  // "é©": E9 A9 in the code page, which looks like a UTF-8 pair
        legacy += "\xE9\xA9";
    }
    for (int i = 0; i < 200; ++i) omega += "\xCE\xA9";
    Type(ctl::PatchName, shown);  // a byte a character in the code page: 255 of them
    Type(ctl::Author, omega);     // two bytes each in UTF-8: 127 of them, not half of the 128th
    EXPECT_EQ(Saved(), FileWith(legacy.substr(0, 255), omega.substr(0, 254), ""));
}

TEST_F(LegacyPatch, HostileTextFieldsNeverCrashAndComeBackByteForByte) {
    std::mt19937 random(20240611u);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        // Each field: random bytes, its text up to the first zero; one round in four without any zero at all.
        std::array<std::string, 3> fields, texts;
        const std::array<std::size_t, 3> sizes{256, 256, 2048};
        for (std::size_t f = 0; f < 3; ++f) {
            std::string& field = fields[f];
            for (std::size_t i = 0; i < sizes[f]; ++i) field += static_cast<char>(byte(random));
            if (round % 4 == 0) {
                std::replace(field.begin(), field.end(), '\0', ' ');
                field[sizes[f] / 2] = '\xFF';  // never UTF-8: cut at the field's last byte but one
                texts[f] = field.substr(0, sizes[f] - 1);
            } else {
                field[static_cast<std::size_t>(byte(random))] = '\0';
                texts[f] = field.substr(0, field.find('\0'));
            }
        }
        Bytes file = FileWith("", "", "");
        std::copy(fields[0].begin(), fields[0].end(), file.begin() + 7);
        std::copy(fields[1].begin(), fields[1].end(), file.begin() + 7 + 256);
        std::copy(fields[2].begin(), fields[2].end(), file.begin() + 7 + 512);

        Open(file);
        const ShownTexts shown = Shown();
        for (const std::string& text : shown) EXPECT_TRUE(IsValidUtf8(text));
        EXPECT_TRUE(IsValidUtf8(dialogs.messages.at(0).text));
        EXPECT_EQ(Saved(), FileWith(texts[0], texts[1], texts[2]));
    }
}

}  // namespace
