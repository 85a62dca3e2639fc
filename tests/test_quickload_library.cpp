// The QL button against real libraries loaded from disk.
#include "EditorRig.h"

#include "app/CQuarnEditApp.h"
#include "app/CQuarnEditDoc.h"
#include "editor/CMainDlg.h"
#include "platform/DlopenLibraryLoader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct NoWindow : FormWindow {
    std::uintptr_t WindowId() override { return 0; }
    std::pair<int, int> ClientOriginOnScreen() override { return {0, 0}; }
};

struct QuickLoadLibraryTest : ::testing::Test, EditorRig {
    NoWindow window;

    void SetUp() override {
        unsetenv("QUARN_TEST_QUICKLOAD_UNTERMINATED");
        setenv("QUARN_TEST_QUICKLOAD_ANSWER", "", 1);
        dlg.SetDocument(&doc);
        ASSERT_TRUE(ShowAndOpen());
    }
    void Use(DlopenLibraryLoader& loader) { dlg.SetQuickLoad(&loader, &window); }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const MessageRequest& m : dialogs.messages) t.push_back(m.text);
        return t;
    }
};

TEST_F(QuickLoadLibraryTest, LoadsTheAnsweredPatchAndSendsItWithoutAsking) {
    DlopenLibraryLoader loader(QUARN_QUICKLOAD_DIR "/");
    Use(loader);
    setenv("QUARN_TEST_QUICKLOAD_ANSWER", QUARN_DEFAULT_PATCH, 1);
    dlg.UserClicked(ctl::QuickLoad);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(ports.bytes.size(), 66u * 3);
    EXPECT_FALSE(dlg.m_patchName.empty());
    EXPECT_FALSE(skipTransmitQuestion);
}

TEST_F(QuickLoadLibraryTest, EmptyMissingAndUnterminatedAnswers) {
    DlopenLibraryLoader loader(QUARN_QUICKLOAD_DIR "/");
    Use(loader);
    dlg.OnQuickLoad();
    EXPECT_TRUE(dialogs.messages.empty());

    setenv("QUARN_TEST_QUICKLOAD_ANSWER", "/nonexistent/dir/patch.qnp", 1);
    dlg.OnQuickLoad();
    EXPECT_EQ(Texts(), std::vector<std::string>{"Couldn't open input file"});
    dialogs.answers = {MessageAnswer::No};
    dlg.TransmitAll(true);
    EXPECT_EQ(Texts().back(), "Transmit all data from [unnamed]");  // asks again

    setenv("QUARN_TEST_QUICKLOAD_UNTERMINATED", "1", 1);
    dlg.OnQuickLoad();
    EXPECT_EQ(Texts().back(), "Couldn't open input file");
    EXPECT_TRUE(ports.bytes.empty());
}

TEST_F(QuickLoadLibraryTest, NoLibraryOrNoEntryPointDoesNothing) {
    DlopenLibraryLoader nowhere((fs::temp_directory_path() / "no-such-quarn-dir").string() + "/");
    Use(nowhere);
    dlg.OnQuickLoad();
    DlopenLibraryLoader noEntry(QUARN_QUICKLOAD_NOENTRY_DIR "/");
    Use(noEntry);
    setenv("QUARN_TEST_QUICKLOAD_ANSWER", QUARN_DEFAULT_PATCH, 1);
    dlg.OnQuickLoad();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_TRUE(dlg.m_patchName.empty());
}

}  // namespace
