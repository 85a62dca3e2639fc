// SPDX-License-Identifier: GPL-3.0-or-later
// The QL button against real libraries loaded from disk.
#include "EditorRig.h"

#include "platform/DlopenLibraryLoader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct QuickLoadLibraryTest : ::testing::Test, EditorRig {
    FixedWindow window;

    void SetUp() override {
        unsetenv("QUARN_TEST_QUICKLOAD_UNTERMINATED");
        unsetenv("QUARN_TEST_QUICKLOAD_CALL");
        setenv("QUARN_TEST_QUICKLOAD_ANSWER", "", 1);
        dlg.SetWindow(&window);
        ASSERT_TRUE(ShowAndOpen());
    }
    static std::string Call() {
        const char* call = std::getenv("QUARN_TEST_QUICKLOAD_CALL");
        return call != nullptr ? call : "(not called)";
    }
};

TEST_F(QuickLoadLibraryTest, LoadsTheAnsweredPatchAndSendsItWithoutAsking) {
    DlopenLibraryLoader loader(QUARN_QUICKLOAD_DIR "/");
    dlg.SetQuickLoad(&loader);
    setenv("QUARN_TEST_QUICKLOAD_ANSWER", QUARN_DEFAULT_PATCH, 1);
    dlg.UserClicked(ctl::QuickLoad);
    // "." on entry; the form's window; the menu 440 and 15 pixels from the form's corner at (100, 50).
    EXPECT_EQ(Call(), ". 4660 540 65");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(ports.bytes.size(), 66u * 3);
    EXPECT_EQ(dlg.m_patchName, "Init Saw");
    EXPECT_FALSE(skipTransmitQuestion);
}

TEST_F(QuickLoadLibraryTest, EmptyMissingAndUnterminatedAnswers) {
    DlopenLibraryLoader loader(QUARN_QUICKLOAD_DIR "/");
    dlg.SetQuickLoad(&loader);
    dlg.OnQuickLoad();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(skipTransmitQuestion);

    setenv("QUARN_TEST_QUICKLOAD_ANSWER", "/nonexistent/dir/patch.qnp", 1);
    dlg.OnQuickLoad();
    EXPECT_EQ(Texts(), std::vector<std::string>{"Couldn't open input file"});
    EXPECT_FALSE(skipTransmitQuestion);
    dialogs.answers = {MessageAnswer::No};
    dlg.TransmitAll(true);
    EXPECT_EQ(Texts().back(), "Transmit all data from [unnamed]");  // the next Transmit All asks again

    setenv("QUARN_TEST_QUICKLOAD_UNTERMINATED", "1", 1);
    dlg.OnQuickLoad();
    EXPECT_EQ(Texts().back(), "Couldn't open input file");
    EXPECT_TRUE(ports.bytes.empty());
}

TEST_F(QuickLoadLibraryTest, NoLibraryOrNoEntryPointDoesNothing) {
    DlopenLibraryLoader nowhere((fs::temp_directory_path() / "no-such-quarn-dir").string() + "/");
    dlg.SetQuickLoad(&nowhere);
    dlg.OnQuickLoad();
    DlopenLibraryLoader noEntry(QUARN_QUICKLOAD_NOENTRY_DIR "/");
    dlg.SetQuickLoad(&noEntry);
    setenv("QUARN_TEST_QUICKLOAD_ANSWER", QUARN_DEFAULT_PATCH, 1);
    dlg.OnQuickLoad();
    EXPECT_EQ(Call(), "(not called)");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_TRUE(dlg.m_patchName.empty());
}

}  // namespace
