// SPDX-License-Identifier: GPL-3.0-or-later
// Unsaved changes in real files: a program killed outright leaves its patch for the next start, which restores
// it byte for byte; running instances never take each other's.
#include "PatchFixtures.h"

#include "platform/FileRecoveryStore.h"

#include <QString>

#include <csignal>

namespace {

// The application on fakes, but with its unsaved changes in real files under `folder`.
struct FileRig {
    RecordingPorts ports;
    CountingPause pause;
    ScriptedDialogs dialogs;
    MapProfile profile;
    DirLocation location;
    NoLibraries libraries;
    ManualClock clock;
    FileRecoveryStore recovery;
    CQuarnEditApp app;
    RecordingFrame frame;

    explicit FileRig(const TempDir& dir)
        : recovery(QString::fromStdString(dir / "state")),
          app({ports, pause, profile, dialogs, location, libraries, clock, recovery}) {
        location.dir = dir.path.string() + "/";
    }
};

TEST(RecoveryFiles, AKilledProgramsPatchComesBackByteForByte) {
    TempDir dir;
    WriteAll(dir / "default.qnp", HandBuiltFile());
    WriteAll(dir / "work.qnp", HandBuiltFile());

    // The first run edits a saved patch and is killed before it can save or end.
    const int status = InChild([&] {
        FileRig rig(dir);
        rig.dialogs.answers = {MessageAnswer::No, MessageAnswer::No};
        if (!rig.app.InitInstance(rig.frame, dir / "work.qnp")) return 1;
        CMainDlg& dlg = rig.app.form();
        dlg.UserMovedSlider(ctl::Dco1Amp, 17);
        dlg.UserSelected(ctl::Dco2Wave, 5);
        dlg.UserClicked(ctl::Env1Loop);
        dlg.UserEdited(ctl::PatchName, "Unsaved");
        rig.clock.Advance(kRecoveryDelay);
        Bytes record(kRecordSize);
        dlg.WritePatchBody(record);
        WriteAll(dir / "expected", record);
        std::raise(SIGKILL);
        return 2;
    });
    ASSERT_EQ(status, 128 + SIGKILL);

    FileRig next(dir);
    next.dialogs.answers = {MessageAnswer::Yes, MessageAnswer::No};
    ASSERT_TRUE(next.app.InitInstance(next.frame, std::nullopt));
    ASSERT_GE(next.dialogs.messages.size(), 1u);
    EXPECT_EQ(next.dialogs.messages[0].text,
              "QuarnEdit was not closed properly. Restore the unsaved changes to work.qnp?");
    Bytes record(kRecordSize);
    next.app.form().WritePatchBody(record);
    EXPECT_EQ(record, ReadAll(dir / "expected"));
    EXPECT_EQ(next.app.document().GetPathName(), fs::canonical(dir / "work.qnp").string());
    EXPECT_TRUE(next.app.document().IsModified());
    EXPECT_EQ(ReadAll(dir / "work.qnp"), HandBuiltFile());  // the file itself waits for a save

    // Offered once: a third start finds nothing left behind (the second is still running).
    FileRig third(dir);
    EXPECT_FALSE(third.recovery.TakeAbandoned());
}

TEST(RecoveryFiles, EachInstanceOwnsItsFile) {
    TempDir dir;
    const QString folder = QString::fromStdString(dir / "state");
    FileRecoveryStore first(folder), second(folder);
    const Bytes patch = HandBuiltFile();
    ASSERT_TRUE(first.Save(patch, "/a/first.qnp"));
    const auto saved = [&] {
        for (const auto& e : fs::directory_iterator(dir.path / "state"))
            if (e.path().extension() == ".qnp") return e.path();
        return fs::path();
    }();
    ASSERT_TRUE(second.Save(patch, ""));
    EXPECT_FALSE(first.TakeAbandoned());  // the other instance runs: its file is not abandoned
    EXPECT_FALSE(second.TakeAbandoned());

    // A file left without its running owner is taken by exactly one instance, with its document's path.
    const std::string left = dir / "state/unsaved-left.qnp";
    fs::copy_file(saved, left);
    std::optional<RecoveryStore::Abandoned> taken = first.TakeAbandoned();
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->patchFile, left);
    EXPECT_EQ(taken->documentPath, "/a/first.qnp");
    const Bytes file = ReadAll(left);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 2767), patch);
    EXPECT_FALSE(second.TakeAbandoned());
    first.Remove(*taken);
    EXPECT_FALSE(fs::exists(left));

    // A damaged length after the patch is read as no path, never past the file.
    Bytes damaged = patch;
    damaged.insert(damaged.end(), {'P', 'A', 'T', 'H', 0xFF, 0xFF, 0xFF, 0x7F, 'x'});
    WriteAll(dir / "state/unsaved-damaged.qnp", damaged);
    taken = second.TakeAbandoned();
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->documentPath, "");
    second.Remove(*taken);

    first.Discard();
    second.Discard();
    for (const auto& e : fs::directory_iterator(dir.path / "state"))
        EXPECT_NE(e.path().extension(), ".qnp") << e.path();
}

}  // namespace
