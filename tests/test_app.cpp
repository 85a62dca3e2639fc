// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and the menu's dispatch of the application object.
#include "AppFixture.h"

#include "app/Commands.h"

#include <gtest/gtest.h>

#include <map>

namespace {

TEST_F(AppTest, FreshProfileOpensDeviceZeroSilentlyAndOffersTheDefaultPatch) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(frame.events, (std::vector<std::string>{"title Untitled", "show", "title Untitled"}));
    EXPECT_EQ(ports.openIndex, 0);
    // A device that opens at its stored id is not written back; only its name is kept beside the index, so that
    // it is followed by name from now on.
    EXPECT_EQ(profile.intWrites, 0);
    EXPECT_EQ(profile.stringWrites, 1);
    EXPECT_EQ(profile.strings["Options/MIDI Output Name"], "Port A");
    EXPECT_EQ(Texts(), std::vector<std::string>{"Transmit all data from Default"});
    EXPECT_EQ(ports.bytes.size(), 66u * 3);  // the answer Yes went to the open device
    EXPECT_EQ(frame.title, "Untitled");
    EXPECT_EQ(g_mainDlg, &app.form());
}

TEST_F(AppTest, MissingDefaultPatchReportsTwice) {
    fs::remove(dir / "default.qnp");
    ASSERT_TRUE(Start());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Couldn't open input file", "Error Opening default patch"}));
    EXPECT_EQ(dialogs.messages[1].caption, "QuarnEdit");
    EXPECT_EQ(dialogs.messages[0].caption, "");
}

TEST_F(AppTest, FileNewIsUntitledBeforeItAsksAgain) {
    const std::string bass = (dir / "bass.qnp").string();
    MakePatch(bass, "Bass", 200);
    ASSERT_TRUE(Start(bass));
    EXPECT_EQ(frame.title, "bass.qnp");
    std::string titleWhileAsked;
    dialogs.onMessage = [&](const MessageRequest&) { titleWhileAsked = frame.title; };
    dialogs.answers = {MessageAnswer::No};
    app.Work().OnFileNew();
    EXPECT_EQ(Texts().size(), 2u);
    EXPECT_EQ(Texts()[1], "Transmit all data from Default");
    EXPECT_EQ(titleWhileAsked, "Untitled");
}

TEST_F(AppTest, MenuCommandsDispatchByIdAndHelpAndExitGoThroughTheCore) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(app.OnCommand(cmd::AppAbout));
    EXPECT_EQ(dialogs.aboutShown, 1);
    EXPECT_TRUE(app.OnCommand(cmd::AppExit));
    EXPECT_EQ(frame.events.back(), "close");
    dialogs.answers = {MessageAnswer::No};
    EXPECT_TRUE(app.OnCommand(cmd::TransmitAll));
    EXPECT_EQ(Texts().back(), "Transmit all data from Default");
    EXPECT_FALSE(app.OnCommand(12345));
    // Every command of the menu has a handler; all but undo and redo can run with nothing edited yet.
    for (const MenuDef& menu : MenuBar()) {
        for (const CommandRow& row : menu.rows) {
            if (row.kind != RowKind::Command) continue;
            EXPECT_NE(row.run, nullptr) << row.label;
            const bool history = row.id == cmd::EditUndo || row.id == cmd::EditRedo;
            EXPECT_EQ(app.IsCommandEnabled(row.id), !history) << row.label;
        }
    }
}

TEST_F(AppTest, CommandLineFileIsShownAndSentAfterTheDeviceOpens) {
    const std::string bass = (dir / "bass.qnp").string();
    MakePatch(bass, "Bass", 200);
    ASSERT_TRUE(Start(bass));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Transmit all data from Bass"});
    EXPECT_EQ(app.form().m_patchName, "Bass");
    EXPECT_EQ(app.form().m_dco1Amp, 200);
    EXPECT_EQ(ports.bytes.size(), 66u * 3);
    EXPECT_EQ(frame.title, "bass.qnp");
    EXPECT_EQ(app.Work().RecentFiles(), std::vector<std::string>{bass});

    // Save writes the file the title names, with what the form shows.
    ASSERT_TRUE(app.Work().OnFileSave());
    EditorRig other;
    RecordingFrame f2;
    other.dialogs.answers = {MessageAnswer::No};
    ASSERT_TRUE(other.app.InitInstance(f2, bass));
    EXPECT_EQ(other.dlg.m_patchName, "Bass");
}

TEST_F(AppTest, UnreadableCommandLineFileFallsBackToTheDefault) {
    ASSERT_TRUE(Start((dir / "missing.qnp").string()));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Couldn't open input file", "Transmit all data from Default"}));
    EXPECT_EQ(frame.title, "Untitled");
    EXPECT_TRUE(app.Work().RecentFiles().empty());
}

// The entry chosen is the one opened, though saving the patch there was (Save As of an Untitled one) put a new
// entry before it in the list.
TEST_F(AppTest, ARecentFileOpensTheEntryChosenThoughTheSaveQuestionReorderedTheList) {
    const std::string older = (dir / "older.qnp").string(), newer = (dir / "newer.qnp").string();
    MakePatch(older, "Older", 10);
    MakePatch(newer, "Newer", 20);
    profile.recent = {newer, older};
    ASSERT_TRUE(Start());
    app.form().UserMovedSlider(ctl::Env1Attack, 99);            // Untitled and modified
    dialogs.answers = {MessageAnswer::Yes, MessageAnswer::No};  // save it; the loaded patch is not sent
    const std::string saved = (dir / "saved.qnp").string();
    dialogs.savePaths = {saved};
    EXPECT_TRUE(app.OnCommand(cmd::FirstRecentFile + 1));  // "older"
    EXPECT_EQ(frame.title, "older.qnp");
    EXPECT_EQ(app.form().m_patchName, "Older");
    EXPECT_EQ(app.Work().RecentFiles(), (std::vector<std::string>{older, saved, newer}));
}

TEST_F(AppTest, SaveAsOpenAndRecentFiles) {
    ASSERT_TRUE(Start());
    const std::string a = (dir / "a.qnp").string(), b = (dir / "b.qnp").string();
    dialogs.savePaths = {a, std::nullopt};
    EXPECT_TRUE(app.Work().OnFileSave());  // no path yet: Save asks for one
    EXPECT_EQ(frame.title, "a.qnp");
    EXPECT_FALSE(app.Work().OnFileSaveAs());  // cancelled
    dialogs.savePaths = {b};
    EXPECT_TRUE(app.Work().OnFileSaveAs());
    EXPECT_EQ(app.Work().RecentFiles(), (std::vector<std::string>{b, a}));
    EXPECT_EQ(profile.recent, app.Work().RecentFiles());
    dialogs.answers = {MessageAnswer::No};
    app.Work().OnOpenRecentFile(1);
    EXPECT_EQ(frame.title, "a.qnp");
    EXPECT_EQ(app.Work().RecentFiles(), (std::vector<std::string>{a, b}));
    fs::remove(b);
    app.Work().OnOpenRecentFile(1);
    EXPECT_EQ(Texts().back(), "Couldn't open input file");
    EXPECT_EQ(app.Work().RecentFiles(), std::vector<std::string>{a});
    EXPECT_EQ(frame.title, "a.qnp");
}

TEST_F(AppTest, Comment) {
    ASSERT_TRUE(Start());
    dialogs.commentAnswers = {std::string("line 1\nline 2")};
    dlg.UserClicked(ctl::Comment);
    EXPECT_EQ(dlg.m_comment, "line 1\r\nline 2");  // lines stored as the original platform stores them
    dlg.UserClicked(ctl::Comment);                 // Cancel
    EXPECT_EQ(dlg.m_comment, "line 1\r\nline 2");
    EXPECT_EQ(dialogs.commentRequests.back(), "line 1\nline 2");
}

}  // namespace
