// SPDX-License-Identifier: GPL-3.0-or-later
// Nothing the user did is lost without a word: the modified state, the question before a patch is replaced,
// the unsaved-changes file and what the next start does with it.
#include "PatchFixtures.h"

#include "app/Commands.h"
#include "app/DocumentLibraryHost.h"
#include "editor/ControlNames.h"

#include <chrono>

namespace {

using namespace std::chrono_literals;

// The application started on a folder with a default patch, its window a recording frame.
struct Started : ::testing::Test, StartedRig {
    void SetUp() override { StartApp(); }
    bool Modified() const { return app.document().IsModified(); }
    void Save(const std::string& path) {
        dialogs.savePaths = {path};
        ASSERT_TRUE(app.Work().OnFileSaveAs());
    }
};

TEST_F(Started, EveryKindOfUserEditMarksTheDocumentAndNothingElseDoes) {
    const std::vector<std::pair<const char*, std::function<void()>>> edits{
        {"slider", [&] { dlg.UserMovedSlider(ctl::Dco1Amp, 3); }},
        {"list", [&] { dlg.UserSelected(ctl::Dco2Wave, 4); }},
        {"check box", [&] { dlg.UserClicked(ctl::EnvLegato); }},
        {"value box", [&] { dlg.UserEdited(ctl::Env1AttackBox, "77"); }},
        {"name", [&] { dlg.UserEdited(ctl::PatchName, "New name"); }},
        {"author", [&] { dlg.UserEdited(ctl::Author, "Someone"); }},
        {"comment",
         [&] {
             dialogs.commentAnswers = {std::string("changed")};
             dlg.UserClicked(ctl::Comment);
         }},
    };
    for (const auto& [what, edit] : edits) {
        SCOPED_TRACE(what);
        Save(dir / "saved.qnp");
        EXPECT_FALSE(Modified());
        EXPECT_FALSE(frame.modified);
        edit();
        EXPECT_TRUE(Modified());
        EXPECT_TRUE(frame.modified);
    }

    Save(dir / "saved.qnp");
    // Looking at things, sending them and choosing a device change no patch.
    dialogs.commentAnswers = {std::string("changed")};  // the same text again
    dlg.UserClicked(ctl::Comment);
    app.form().TransmitAll(true);
    dialogs.savePaths = {dir / "out.mid"};
    app.form().OnExportMidiFile();
    dialogs.deviceAnswers = {1};
    app.Devices().OnOutputDevice();
    dlg.UserMovedSlider(ctl::Dco1Amp, dlg.form().GetPos(ctl::Dco1Amp));  // a step at the end of the range
    EXPECT_FALSE(Modified());

    // Undo and redo are edits too; a load clears the mark.
    dlg.UserMovedSlider(ctl::Dco1Amp, 9);
    Save(dir / "saved.qnp");
    app.form().Undo();
    EXPECT_TRUE(Modified());
    Save(dir / "saved.qnp");
    app.form().Redo();
    EXPECT_TRUE(Modified());
    dialogs.answers = {MessageAnswer::No, MessageAnswer::No};  // do not save; do not transmit
    app.Work().OnFileNew();
    EXPECT_FALSE(Modified());
    EXPECT_FALSE(dlg.CanUndo());
}

TEST_F(Started, TheSaveQuestionBeforeEachCommandThatReplacesThePatch) {
    const std::string other = dir / "other.qnp";
    WriteAll(other, HandBuiltFile());
    app.Work().OpenDocumentFile(other);
    dialogs.messages.clear();
    const std::vector<std::pair<const char*, std::function<void()>>> commands{
        {"new", [&] { app.Work().OnFileNew(); }},
        {"open",
         [&] {
             dialogs.openPaths = {other};
             app.Work().OnFileOpen();
         }},
        {"recent file", [&] { app.Work().OnOpenRecentFile(0); }},
        {"exit", [&] { EXPECT_FALSE(app.CanCloseFrame()); }},
    };
    for (const auto& [what, command] : commands) {
        SCOPED_TRACE(what);
        dlg.UserMovedSlider(ctl::Dco1Amp, 11);
        dialogs.messages.clear();
        dialogs.answers = {MessageAnswer::Cancel};
        command();
        ASSERT_EQ(Texts(), std::vector<std::string>{"Save changes to other.qnp?"});
        const MessageRequest& question = dialogs.messages[0];
        EXPECT_EQ(std::tie(question.caption, question.buttons),
                  std::make_tuple(std::string("QuarnEdit"), MessageButtons::YesNoCancel));
        EXPECT_EQ(dlg.m_dco1Amp, 11);  // Cancel: the edit stays, nothing was loaded
        EXPECT_TRUE(Modified());
    }

    // No goes on without saving; Yes saves first, then goes on.
    dialogs.messages.clear();
    dialogs.answers = {MessageAnswer::No, MessageAnswer::No};
    app.Work().OnFileNew();
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Save changes to other.qnp?", "Transmit all data from Hand Built"}));
    EXPECT_EQ(ReadAll(other), HandBuiltFile());
    app.Work().OpenDocumentFile(other);
    dlg.UserMovedSlider(ctl::Dco1Amp, 12);
    dialogs.answers = {MessageAnswer::Yes, MessageAnswer::No};
    app.Work().OnFileNew();
    EditorRig reader;
    reader.dialogs.answers = {MessageAnswer::No};
    ASSERT_TRUE(reader.doc.OnOpenDocument(other));
    EXPECT_EQ(reader.dlg.m_dco1Amp, 12);
}

TEST_F(Started, ASaveThatFailsOrIsCancelledStopsTheCommand) {
    dlg.UserMovedSlider(ctl::Dco1Amp, 13);  // untitled: Yes goes to Save As
    dialogs.answers = {MessageAnswer::Yes};
    dialogs.savePaths = {std::nullopt};
    app.Work().OnFileNew();
    EXPECT_EQ(dlg.m_dco1Amp, 13);
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].initialPath, "Untitled.qnp");

    dialogs.messages.clear();
    dialogs.answers = {MessageAnswer::Yes};
    dialogs.savePaths = {dir / "no such folder/p.qnp"};
    EXPECT_FALSE(app.CanCloseFrame());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Save changes to Untitled?", "Couldn't open output file"}));
    EXPECT_TRUE(Modified());
    EXPECT_EQ(dlg.m_dco1Amp, 13);
}

TEST_F(Started, AQuickLoadAsksFirstThenMakesTheLoadedFileTheDocument) {
    AnsweringLibrary quickLoad;
    dlg.SetQuickLoad(&quickLoad);
    const std::string chosen = dir / "chosen.qnp";
    WriteAll(chosen, HandBuiltFile());
    AnsweringLibrary::path = chosen;
    const std::string mine = dir / "mine.qnp";
    Save(mine);

    dlg.UserMovedSlider(ctl::Dco1Amp, 14);
    dialogs.messages.clear();
    dialogs.answers = {MessageAnswer::Cancel};
    dlg.UserClicked(ctl::QuickLoad);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Save changes to mine.qnp?"});
    EXPECT_EQ(dlg.m_dco1Amp, 14);

    dialogs.answers = {MessageAnswer::No};
    ports.bytes.clear();
    dlg.UserClicked(ctl::QuickLoad);
    EXPECT_EQ(ports.bytes.size(), 66u * 3);  // sent without the transmit question
    EXPECT_EQ(frame.title, "chosen.qnp");
    EXPECT_FALSE(Modified());
    EXPECT_EQ(app.Work().RecentFiles(), std::vector<std::string>{mine});  // no entry for a quick-load

    // Save goes to the loaded file, never over the one that was open before.
    const Bytes mineBefore = ReadAll(mine);
    dlg.UserMovedSlider(ctl::Dco1Amp, 15);
    ASSERT_TRUE(app.Work().OnFileSave());
    EXPECT_EQ(ReadAll(mine), mineBefore);
    EXPECT_NE(ReadAll(chosen), HandBuiltFile());
}

// File > New when the default patch is missing. Nothing the user had is lost: the form keeps what it shows, an
// edit stays marked and kept for the next start. The document is Untitled, in the window and in the kept
// changes alike, so that a plain Save asks for a name and never writes over the user's file.
TEST_F(Started, NewWithoutTheDefaultPatchKeepsTheFormAndNeverSavesOverTheUsersFile) {
    const std::string mine = dir / "mine.qnp";
    WriteAll(mine, HandBuiltFile());
    fs::remove(dir / "default.qnp");
    enum class Before { Unmodified, EditedNotSaved, EditedAndSaved };
    for (const Before before : {Before::Unmodified, Before::EditedNotSaved, Before::EditedAndSaved}) {
        SCOPED_TRACE(static_cast<int>(before));
        ASSERT_TRUE(app.Work().OpenDocumentFile(mine));
        if (before != Before::Unmodified) {
            dlg.UserMovedSlider(ctl::Dco1Amp, 21);
            clock.Advance(kRecoveryDelay);
            ASSERT_TRUE(recovery.saved);
        }
        const PatchRecord shown = dlg.CaptureRecord();
        dialogs.messages.clear();
        dialogs.answers = {before == Before::EditedAndSaved ? MessageAnswer::Yes : MessageAnswer::No};
        app.Work().OnFileNew();
        EXPECT_EQ(Texts().back(), "Error Opening default patch");
        const Bytes onDisk = ReadAll(mine);
        EXPECT_EQ(dlg.CaptureRecord(), shown);
        EXPECT_EQ(frame.title, "Untitled");
        EXPECT_EQ(Modified(), before == Before::EditedNotSaved);
        if (before == Before::EditedNotSaved) {
            // Kept for the next start as the window holds it: untitled.
            clock.Advance(kRecoveryDelay);
            ASSERT_TRUE(recovery.saved);
            EXPECT_EQ(recovery.saved->second, "");
        } else {
            EXPECT_FALSE(recovery.saved);
        }

        dialogs.fileRequests.clear();
        dialogs.savePaths = {std::nullopt};
        EXPECT_FALSE(app.Work().OnFileSave());
        EXPECT_EQ(dialogs.fileRequests.size(), 1u) << "a plain Save must ask for a name";
        EXPECT_EQ(ReadAll(mine), onDisk);
        app.document().SetModifiedFlag(false);
    }
}

// ---- unsaved changes kept for the next start ----------------------------------------------------------

TEST_F(Started, UnsavedChangesAreWrittenSoonAfterAnEditAndGoWhenSavedOrRefused) {
    EXPECT_EQ(recovery.saves, 0);
    dlg.UserMovedSlider(ctl::Dco1Amp, 33);
    clock.Advance(kRecoveryDelay - 1ms);
    EXPECT_EQ(recovery.saves, 0);
    dlg.UserMovedSlider(ctl::Dco1Amp, 34);  // the clock runs from the first edit, not the last
    clock.Advance(1ms);
    ASSERT_TRUE(recovery.saved);
    EditorRig reader;
    reader.dialogs.answers = {MessageAnswer::No};
    WriteAll(dir / "recovered.qnp", recovery.saved->first);
    ASSERT_TRUE(reader.doc.OnOpenDocument(dir / "recovered.qnp"));
    EXPECT_EQ(reader.dlg.m_dco1Amp, 34);
    EXPECT_EQ(recovery.saved->second, "");  // untitled

    Save(dir / "kept.qnp");
    EXPECT_FALSE(recovery.saved);
    dlg.UserMovedSlider(ctl::Dco1Amp, 35);
    clock.Advance(kRecoveryDelay);
    EXPECT_EQ(recovery.saved->second, dir / "kept.qnp");
    dialogs.answers = {MessageAnswer::No, MessageAnswer::No};  // don't save; don't transmit
    app.Work().OnFileNew();
    EXPECT_FALSE(recovery.saved);
    dlg.UserMovedSlider(ctl::Dco1Amp, 36);
    clock.Advance(kRecoveryDelay);
    dialogs.answers = {MessageAnswer::No};
    EXPECT_TRUE(app.CanCloseFrame());  // a clean end
    EXPECT_FALSE(recovery.saved);
}

// While Compare shows the original, the unsaved-changes file keeps the edit: written by the timer, at the end of
// a desktop session, and after Compare ends.
TEST_F(Started, DuringCompareTheUnsavedChangesAreTheEdit) {
    Save(dir / "mine.qnp");
    const Bytes original = ReadAll(dir / "mine.qnp");
    dlg.UserEdited(ctl::PatchName, "Edited");
    const PatchRecord edit = dlg.CaptureRecord();
    const auto kept = [&] {
        EditorRig reader;
        reader.dialogs.answers = {MessageAnswer::No};
        WriteAll(dir / "kept.qnp", recovery.saved->first);
        EXPECT_TRUE(reader.doc.OnOpenDocument(dir / "kept.qnp"));
        return reader.dlg.CaptureRecord();
    };
    app.OnCommand(cmd::EditCompare);  // within the second: the timer fires while the original is shown
    ASSERT_TRUE(app.IsCommandChecked(cmd::EditCompare));
    clock.Advance(kRecoveryDelay);
    ASSERT_TRUE(recovery.saved);
    EXPECT_EQ(kept(), edit);
    EXPECT_EQ(recovery.saved->second, dir / "mine.qnp");

    app.Work().KeepUnsavedChanges();  // the desktop session ends during Compare
    EXPECT_EQ(kept(), edit);
    app.OnCommand(cmd::EditCompare);
    EXPECT_FALSE(app.IsCommandChecked(cmd::EditCompare));
    clock.Advance(kRecoveryDelay);
    EXPECT_EQ(kept(), edit);
    EXPECT_EQ(ReadAll(dir / "mine.qnp"), original);
}

// "No" to the save question lets the command go on; when it then does not replace the patch (Cancel in the
// Open dialog, a file that does not open, a missing default patch), the edit stays, and so does its file.
TEST_F(Started, ADeclinedSaveWhoseCommandFailsKeepsTheUnsavedChanges) {
    AnsweringLibrary quickLoad;
    dlg.SetQuickLoad(&quickLoad);
    AnsweringLibrary::path = dir / "missing.qnp";
    WriteAll(dir / "gone.qnp", HandBuiltFile());
    dialogs.openPaths = {dir / "gone.qnp"};
    app.OnCommand(cmd::FileOpen);
    ASSERT_EQ(app.document().GetTitle(), "gone.qnp");
    fs::remove(dir / "gone.qnp");
    const std::vector<std::pair<const char*, std::function<void()>>> commands{
        {"open, cancelled", [&] { app.OnCommand(cmd::FileOpen); }},
        {"open, failed",
         [&] {
             dialogs.openPaths = {dir / "missing.qnp"};
             app.OnCommand(cmd::FileOpen);
         }},
        {"recent file", [&] { app.OnCommand(cmd::FirstRecentFile); }},
        {"quick-load", [&] { dlg.UserClicked(ctl::QuickLoad); }},
        {"library", [&] { app.Library().OpenPatch(dir / "missing.qnp"); }},
        {"new without a default patch",
         [&] {
             fs::rename(dir / "default.qnp", dir / "away.qnp");
             app.OnCommand(cmd::FileNew);
             fs::rename(dir / "away.qnp", dir / "default.qnp");
         }},
    };
    int amp = 40;
    for (const auto& [what, command] : commands) {
        SCOPED_TRACE(what);
        dlg.UserMovedSlider(ctl::Dco1Amp, ++amp);
        clock.Advance(kRecoveryDelay);
        ASSERT_TRUE(recovery.saved);
        const Bytes before = recovery.saved->first;
        dialogs.answers = {MessageAnswer::No};
        command();
        EXPECT_EQ(dlg.m_dco1Amp, amp);
        EXPECT_TRUE(Modified());
        ASSERT_TRUE(recovery.saved);
        EXPECT_EQ(recovery.saved->first, before);
    }
    // A command that goes on replaces the patch, and the file goes.
    dialogs.answers = {MessageAnswer::No, MessageAnswer::No};
    app.OnCommand(cmd::FileNew);
    EXPECT_FALSE(Modified());
    EXPECT_FALSE(recovery.saved);
}

// The desktop session asks before it ends, and may then be cancelled by another program: asking changes nothing
// but what the user answers, and the device stays open.
TEST_F(Started, TheQuestionsAtTheEndOfADesktopSessionLeaveTheProgramWorking) {
    dlg.UserMovedSlider(ctl::Dco1Amp, 50);
    clock.Advance(kRecoveryDelay);
    const int closes = ports.closeCalls;
    dialogs.answers = {MessageAnswer::No};
    EXPECT_TRUE(app.QueryEndSession());
    EXPECT_EQ(ports.closeCalls, closes);
    ports.bytes.clear();
    dlg.UserMovedSlider(ctl::Dco1Amp, 51);  // the session went on: edits still reach the instrument
    EXPECT_EQ(ports.bytes, CC({{16, 1}, {29, 51}}));
    EXPECT_TRUE(recovery.saved);

    dialogs.answers = {MessageAnswer::Cancel};
    EXPECT_FALSE(app.QueryEndSession());
    EXPECT_EQ(ports.closeCalls, closes);

    // When it does end after the questions, it ends cleanly: the user said No to the changes.
    dialogs.answers = {MessageAnswer::No};
    ASSERT_TRUE(app.QueryEndSession());
    app.SessionEnded();
    EXPECT_FALSE(recovery.saved);
    // Without room for questions the changes are kept, whatever was answered before.
    dlg.UserMovedSlider(ctl::Dco1Amp, 52);
    dialogs.answers = {MessageAnswer::No};
    ASSERT_TRUE(app.QueryEndSession());
    dlg.UserMovedSlider(ctl::Dco1Amp, 53);
    app.Work().KeepUnsavedChanges();
    app.SessionEnded();
    ASSERT_TRUE(recovery.saved);
}

TEST(Recovery, TheNextStartOffersWhatWasLeftAndRestoresItAsItWas) {
    TempDir dir;
    Bytes leftBehind = HandBuiltFile();
    leftBehind[7] = 'Z';  // "Zand Built"
    WriteAll(dir / "left.qnp", leftBehind);
    WriteAll(dir / "refused.qnp", HandBuiltFile());
    WriteAll(dir / "default.qnp", HandBuiltFile());
    for (const bool restore : {false, true}) {
        SCOPED_TRACE(restore ? "restored" : "refused");
        EditorRig rig;
        RecordingFrame frame;
        rig.location.dir = dir.path.string() + "/";
        rig.recovery.abandoned = {{"one", dir / "left.qnp", "/music/Lead.qnp"}};
        rig.dialogs.answers = {restore ? MessageAnswer::Yes : MessageAnswer::No, MessageAnswer::Yes};
        std::string titleWhileAsked;
        rig.dialogs.onMessage = [&](const MessageRequest&) { titleWhileAsked = frame.title; };
        ASSERT_TRUE(rig.app.InitInstance(frame, std::nullopt));
        ASSERT_EQ(rig.Texts().size(), 2u);
        EXPECT_EQ(rig.Texts()[0], "QuarnEdit was not closed properly. Restore the unsaved changes to Lead.qnp?");
        EXPECT_EQ(rig.recovery.removed, std::vector<std::string>{"one"});
        if (restore) {
            EXPECT_EQ(rig.Texts()[1], "Transmit all data from Zand Built");
            EXPECT_EQ(titleWhileAsked, "Lead.qnp");
            EXPECT_TRUE(rig.app.document().IsModified());
            EXPECT_EQ(rig.app.document().GetPathName(), "/music/Lead.qnp");
            EXPECT_TRUE(frame.modified);
            EXPECT_EQ(rig.dlg.m_patchName, "Zand Built");
            ASSERT_TRUE(rig.recovery.saved);  // this instance keeps it from now on
            EXPECT_EQ(rig.recovery.saved->second, "/music/Lead.qnp");
        } else {
            EXPECT_EQ(rig.Texts()[1], "Transmit all data from Hand Built");  // the default patch
            EXPECT_FALSE(rig.app.document().IsModified());
        }
    }
}

// A kept file that no longer opens leaves the document untitled: a plain Save then asks for a name and never
// writes over the file the kept one belonged to.
TEST(Recovery, AKeptFileThatDoesNotOpenLeavesNoPathBehind) {
    TempDir dir;
    WriteAll(dir / "default.qnp", HandBuiltFile());
    WriteAll(dir / "broken.qnp", Bytes{'Q', 'N', 'P'});
    const Bytes users = HandBuiltFile();
    WriteAll(dir / "Lead.qnp", users);
    EditorRig rig;
    RecordingFrame frame;
    rig.location.dir = dir.path.string() + "/";
    rig.recovery.abandoned = {{"one", dir / "broken.qnp", dir / "Lead.qnp"}};
    rig.dialogs.answers = {MessageAnswer::Yes, MessageAnswer::Ok, MessageAnswer::No};
    ASSERT_TRUE(rig.app.InitInstance(frame, std::nullopt));
    EXPECT_EQ(rig.Texts()[1], "Couldn't read from input file");
    EXPECT_EQ(rig.app.document().GetPathName(), "");
    EXPECT_EQ(frame.title, "Untitled");
    EXPECT_FALSE(rig.app.document().IsModified());
    rig.dialogs.savePaths = {std::nullopt};
    rig.app.OnCommand(cmd::FileSave);
    EXPECT_EQ(rig.dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(ReadAll(dir / "Lead.qnp"), users);
    // An unmodified patch is never kept as unsaved changes.
    rig.clock.Advance(kRecoveryDelay * 3);
    EXPECT_EQ(rig.recovery.saves, 0);
}

// Closing during Compare: Yes saves the edit, not the original that is shown.
TEST_F(Started, ClosingDuringCompareSavesTheEdit) {
    Save(dir / "mine.qnp");
    const Bytes original = ReadAll(dir / "mine.qnp");
    dlg.UserMovedSlider(ctl::Dco1Amp, 21);
    app.OnCommand(cmd::EditCompare);
    ASSERT_TRUE(app.IsCommandChecked(cmd::EditCompare));
    dialogs.answers = {MessageAnswer::Yes};
    EXPECT_TRUE(app.CanCloseFrame());
    EditorRig reader;
    reader.dialogs.answers = {MessageAnswer::No};
    ASSERT_TRUE(reader.doc.OnOpenDocument(dir / "mine.qnp"));
    EXPECT_EQ(reader.dlg.m_dco1Amp, 21);
    EXPECT_NE(ReadAll(dir / "mine.qnp"), original);
}

// A restore whose own copy cannot be written (a full disk) leaves the file it restored from where it is, until
// this instance has a copy of its own.
TEST(Recovery, ARestoreOnAFullDiskKeepsTheOnlyCopy) {
    TempDir dir;
    WriteAll(dir / "default.qnp", HandBuiltFile());
    WriteAll(dir / "left.qnp", HandBuiltFile());
    RecordingFrame frame;
    const auto restoreOnAFullDisk = [&](EditorRig& rig, const std::string& key) {
        rig.location.dir = dir.path.string() + "/";
        rig.recovery.abandoned = {{key, dir / "left.qnp", ""}};
        rig.recovery.full = true;
        rig.dialogs.answers = {MessageAnswer::Yes, MessageAnswer::No};
        ASSERT_TRUE(rig.app.InitInstance(frame, std::nullopt));
        EXPECT_TRUE(rig.app.document().IsModified());
        EXPECT_TRUE(rig.recovery.removed.empty());
    };
    EditorRig rig;
    restoreOnAFullDisk(rig, "one");
    rig.clock.Advance(kRecoveryDelay);
    EXPECT_TRUE(rig.recovery.removed.empty());
    rig.recovery.full = false;  // room again: the next write makes the old file unneeded
    rig.dlg.UserMovedSlider(ctl::Dco1Amp, 3);
    rig.clock.Advance(kRecoveryDelay);
    ASSERT_TRUE(rig.recovery.saved);
    EXPECT_EQ(rig.recovery.removed, std::vector<std::string>{"one"});

    // Saved by the user instead, the work is safe as well.
    EditorRig other;
    restoreOnAFullDisk(other, "two");
    other.dialogs.savePaths = {dir / "saved.qnp"};
    other.app.OnCommand(cmd::FileSave);
    EXPECT_EQ(other.recovery.removed, std::vector<std::string>{"two"});
}

// ---- paths --------------------------------------------------------------------------------------------

TEST_F(Started, FilesAreRememberedByAbsolutePathAndOnlyOnce) {
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.path);
    WriteAll("relative.qnp", HandBuiltFile());
    dialogs.answers = {MessageAnswer::No};
    ASSERT_TRUE(app.Work().OpenDocumentFile("relative.qnp"));
    fs::current_path(cwd);
    const std::string absolute = fs::canonical(dir / "relative.qnp").string();
    EXPECT_EQ(app.document().GetPathName(), absolute);
    EXPECT_EQ(app.Work().RecentFiles(), std::vector<std::string>{absolute});
    dialogs.answers = {MessageAnswer::No};
    ASSERT_TRUE(app.Work().OpenDocumentFile(dir / "./relative.qnp"));
    EXPECT_EQ(app.Work().RecentFiles(), std::vector<std::string>{absolute});

    // Save As starts beside the file, with its name.
    dialogs.savePaths = {std::nullopt};
    app.Work().OnFileSaveAs();
    EXPECT_EQ(dialogs.fileRequests.back().initialPath, absolute);
}

}  // namespace
