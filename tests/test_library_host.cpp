// SPDX-License-Identifier: GPL-3.0-or-later
// The program's side of the patch library: audition, open and restore for the library window, and
// File > Save to Library, on the application with its recording fakes.
#include "InstrumentModel.h"
#include "PatchFixtures.h"

#include "app/Commands.h"
#include "app/DocumentLibraryHost.h"
#include "app/LibraryCompare.h"
#include "editor/ControlNames.h"
#include "library/ReadCatalogEntry.h"
#include "patch/PatchFile.h"

namespace {

// What a fresh editor sends when it opens `path` as its document and the transmit question is answered Yes.
Bytes TransmissionOfOpened(const std::string& path) {
    Editor reference;
    reference.dialogs.answers = {MessageAnswer::Yes};
    EXPECT_TRUE(reference.doc.OnOpenDocument(path)) << path;
    return reference.ports.bytes;
}

struct LibraryHostTest : ::testing::Test, EditorRig {
    TempDir dir;
    RecordingFrame frame;
    DocumentLibraryHost& host = app.Library();
    std::string hand, other;

    void SetUp() override {
        location.dir = dir.path.string() + "/";
        // The default patch has another filter type, sources and switches than the hand-built one, so whatever
        // a form keeps from the patch before would show in what it sends.
        WriteAll(dir / "default.qnp", OtherFile());
        hand = dir / "hand.qnp";
        WriteAll(hand, HandBuiltFile());
        other = dir / "other.qnp";
        WriteAll(other, OtherFile());
        dialogs.answers = {MessageAnswer::No};
        ASSERT_TRUE(app.InitInstance(frame, std::nullopt));
        dialogs.messages.clear();
        ports.bytes.clear();
    }

    static Bytes OtherFile() {
        Editor e;
        e.dialogs.answers = {MessageAnswer::No};
        EXPECT_TRUE(e.doc.OnOpenDocument(WriteTemp(HandBuiltFile())));
        e.dlg.UserSelected(ctl::FilterType, 0);
        e.dlg.UserSelected(ctl::Dco1Wave, 3);
        e.dlg.UserMovedSlider(ctl::Cutoff1, 17);
        e.dlg.UserClicked(ctl::Boost);
        e.dlg.UserSelected(ctl::Dco1AmpSource, 4);
        e.dlg.UserSelected(ctl::Dco2AmpSource, 0);
        e.dlg.UserEdited(ctl::PatchName, "Other");
        return EncodePatchFile(0, [&e](std::span<std::uint8_t> r) { e.dlg.WritePatchBody(r); });
    }
    static std::string WriteTemp(const Bytes& bytes) {
        static TempDir temp;
        const std::string path = temp / "patch.qnp";
        WriteAll(path, bytes);
        return path;
    }
    // What Transmit All sends of the form as it is now.
    Bytes Transmission() {
        const Bytes sent = ports.bytes;
        ports.bytes.clear();
        dlg.TransmitAll(false);
        return std::exchange(ports.bytes, sent);
    }
    Bytes Audition(const std::string& path) {
        ports.bytes.clear();
        host.AuditionPatch(path);
        return std::exchange(ports.bytes, {});
    }
};

TEST_F(LibraryHostTest, AuditionSendsWhatTransmitAllOfTheOpenedFileSendsAndLeavesTheDocumentAlone) {
    // An unsaved edit in the document, with its history.
    dlg.UserMovedSlider(ctl::Dco1Amp, 5);
    dlg.UserEdited(ctl::Author, "Me");
    const PatchRecord shown = dlg.CaptureRecord();
    const std::string title = frame.title;
    const std::size_t steps = dlg.History().StepCount();
    const std::string undo = dlg.UndoName();
    const std::optional<PatchRecord> original = doc.Original();
    const std::vector<std::string> recent = app.Work().RecentFiles();
    const int saves = recovery.saves;

    const Bytes handSent = TransmissionOfOpened(hand), otherSent = TransmissionOfOpened(other);
    g_mainDlg = &dlg;  // the reference editors took it and gave it up; the program's form holds it
    ASSERT_EQ(handSent.size(), 66u * 3);
    ASSERT_NE(handSent, otherSent);
    // Each in turn, and back: nothing of the patch auditioned before leaks into the next.
    EXPECT_EQ(Audition(hand), handSent);
    EXPECT_EQ(Audition(other), otherSent);
    EXPECT_EQ(Audition(hand), handSent);

    EXPECT_TRUE(dialogs.messages.empty());  // no transmit question
    EXPECT_EQ(dlg.CaptureRecord(), shown);
    EXPECT_EQ(form.GetPos(ctl::Dco1Amp), 5);
    EXPECT_EQ(form.GetText(ctl::Author), "Me");
    EXPECT_EQ(frame.title, title);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(frame.modified);
    EXPECT_EQ(dlg.History().StepCount(), steps);
    EXPECT_EQ(dlg.UndoName(), undo);
    EXPECT_EQ(doc.Original(), original);
    EXPECT_EQ(app.Work().RecentFiles(), recent);
    EXPECT_EQ(recovery.saves, saves);
    EXPECT_EQ(g_mainDlg, &dlg);
    // The document's own Transmit All still sends the document's patch.
    EXPECT_EQ(Transmission().size(), 66u * 3);
    EXPECT_NE(Transmission(), handSent);
}

TEST_F(LibraryHostTest, AFileThatIsNoReadablePatchSendsNothingAndAsksNothing) {
    Bytes shortFile = HandBuiltFile();
    shortFile.pop_back();
    WriteAll(dir / "short.qnp", shortFile);
    Bytes foreign = HandBuiltFile();
    foreign[0] = 'X';
    WriteAll(dir / "foreign.qnp", foreign);
    WriteAll(dir / "newer.qnp", HandBuiltFile(1));
    WriteAll(dir / "empty.qnp", {});
    fs::create_directory(dir.path / "folder.qnp");
    for (const char* name : {"short.qnp", "foreign.qnp", "newer.qnp", "empty.qnp", "folder.qnp", "missing.qnp"})
        EXPECT_TRUE(Audition(dir / name).empty()) << name;
    EXPECT_TRUE(dialogs.messages.empty());
    // An older version is read with today's layout, as opening it would.
    WriteAll(dir / "older.qnp", HandBuiltFile(-3));
    EXPECT_EQ(Audition(dir / "older.qnp"), TransmissionOfOpened(dir / "older.qnp"));
}

TEST_F(LibraryHostTest, AuditionFollowsTheApplicationsMuteAndNeverLiftsIt) {
    app.SetMute(true);
    EXPECT_TRUE(Audition(hand).empty());
    EXPECT_EQ(app.m_mute, 1);  // filling the auditioning form muted itself, not the application
    app.SetMute(false);
    EXPECT_EQ(Audition(hand), TransmissionOfOpened(hand));
}

TEST_F(LibraryHostTest, RestoreSendsTheDocumentsPatchWithItsUnsavedEdit) {
    dlg.UserMovedSlider(ctl::Dco1Amp, 5);
    dlg.UserSelected(ctl::FilterType, 3);
    const Bytes edited = Transmission();
    // The device held the edit, then the audition: the restore sends back only what the audition changed.
    const auto restored = [&](const Bytes& held) {
        return InstrumentModel::HeldAfter({held, std::exchange(ports.bytes, {})});
    };
    const auto model = [](const Bytes& bytes) { return InstrumentModel::HeldAfter({bytes}); };
    const Bytes audition = Audition(hand);
    host.RestoreDocumentPatch();
    EXPECT_LT(ports.bytes.size(), audition.size() + edited.size());
    EXPECT_EQ(restored(edited), model(edited));
    EXPECT_TRUE(dialogs.messages.empty());

    // While Compare shows the original, the synthesizer is given back what the editor shows.
    app.OnCommand(cmd::EditCompare);
    const Bytes original = Transmission();
    ASSERT_NE(original, edited);
    Audition(hand);
    host.RestoreDocumentPatch();
    EXPECT_EQ(restored(original), model(original));
    EXPECT_TRUE(app.Sound().IsComparing());
}

TEST_F(LibraryHostTest, OpenAsksTheSaveQuestionAndCancelKeepsTheDocument) {
    dlg.UserMovedSlider(ctl::Dco1Amp, 5);
    const PatchRecord shown = dlg.CaptureRecord();
    ports.bytes.clear();

    dialogs.answers = {MessageAnswer::Cancel};
    EXPECT_FALSE(host.OpenPatch(hand));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Save changes to Untitled?"});
    EXPECT_EQ(dlg.CaptureRecord(), shown);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(frame.title, "Untitled");
    EXPECT_TRUE(ports.bytes.empty());

    // No: the file becomes the document, with the transmit question of every load.
    dialogs.messages.clear();
    dialogs.answers = {MessageAnswer::No, MessageAnswer::Yes};
    EXPECT_TRUE(host.OpenPatch(hand));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Save changes to Untitled?", "Transmit all data from Hand Built"}));
    EXPECT_EQ(frame.title, "hand.qnp");
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(app.Work().RecentFiles(), std::vector<std::string>{hand});
    EXPECT_EQ(ports.bytes, TransmissionOfOpened(hand));

    // A file that does not open says why and leaves the document as it was.
    dialogs.messages.clear();
    EXPECT_FALSE(host.OpenPatch(dir / "missing.qnp"));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Couldn't open input file"});
    EXPECT_EQ(frame.title, "hand.qnp");
}

TEST_F(LibraryHostTest, OpenWhileComparingSavesTheEditNotTheOriginalShown) {
    ASSERT_TRUE(app.Work().OpenDocumentFile(other));
    dlg.UserMovedSlider(ctl::Dco1Amp, 5);
    app.OnCommand(cmd::EditCompare);
    ASSERT_TRUE(app.Sound().IsComparing());
    dialogs.messages.clear();
    dialogs.answers = {MessageAnswer::Yes, MessageAnswer::No};  // save, then do not transmit
    EXPECT_TRUE(host.OpenPatch(hand));
    EXPECT_FALSE(app.Sound().IsComparing());
    EXPECT_FALSE(frame.comparing);
    Editor reader;
    reader.dialogs.answers = {MessageAnswer::No};
    ASSERT_TRUE(reader.doc.OnOpenDocument(other));
    EXPECT_EQ(reader.dlg.m_dco1Amp, 5);
}

TEST_F(LibraryHostTest, SaveToLibraryWritesWhatSaveAsWritesUnderThePatchNameAndNeverOverwrites) {
    const fs::path lib = dir.path / "share" / "patches";  // made on first use
    host.SetUserFolder(lib.string());
    dlg.UserEdited(ctl::PatchName, "Warm Pad");
    dlg.UserMovedSlider(ctl::Dco1Amp, 77);

    ASSERT_TRUE(app.OnCommand(cmd::SaveToLibrary));
    EXPECT_EQ(frame.status, "Saved to the library as " + (lib / "Warm Pad.qnp").string());
    ASSERT_TRUE(app.OnCommand(cmd::SaveToLibrary));
    EXPECT_EQ(frame.status, "Saved to the library as " + (lib / "Warm Pad (2).qnp").string());
    EXPECT_TRUE(dialogs.messages.empty());
    // The document is still the unsaved edit it was.
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(frame.title, "Untitled");

    dialogs.savePaths = {dir / "saved as.qnp"};
    ASSERT_TRUE(app.OnCommand(cmd::FileSaveAs));
    const Bytes savedAs = ReadAll(dir / "saved as.qnp");
    ASSERT_EQ(savedAs.size(), kPatchFileSize);
    EXPECT_EQ(ReadAll((lib / "Warm Pad.qnp").string()), savedAs);
    EXPECT_EQ(ReadAll((lib / "Warm Pad (2).qnp").string()), savedAs);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(lib)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Warm Pad (2).qnp", "Warm Pad.qnp"}));  // no temporary left
}

TEST_F(LibraryHostTest, SaveToLibraryWhileComparingSavesTheEdit) {
    host.SetUserFolder(dir / "lib");
    dlg.UserMovedSlider(ctl::Dco1Amp, 77);
    app.OnCommand(cmd::EditCompare);
    ASSERT_TRUE(app.OnCommand(cmd::SaveToLibrary));
    EXPECT_FALSE(app.Sound().IsComparing());
    Editor reader;
    reader.dialogs.answers = {MessageAnswer::No};
    ASSERT_TRUE(reader.doc.OnOpenDocument(dir / "lib/Other.qnp"));
    EXPECT_EQ(reader.dlg.m_dco1Amp, 77);
}

TEST_F(LibraryHostTest, HostilePatchNamesStayInsideThePatchFolder) {
    const fs::path lib = dir.path / "a" / "patches";
    host.SetUserFolder(lib.string());
    const std::vector<std::string> hostile{"../x",        "a/b",       "",    "\x01\x1f\x7f", "..",
                                           "/etc/passwd", "..\\..\\y", "   ", ".hidden",      std::string(300, 'n'),
                                           "con:*?<>|\""};
    for (const std::string& name : hostile) {
        dlg.UserEdited(ctl::PatchName, name);
        ASSERT_TRUE(app.OnCommand(cmd::SaveToLibrary)) << name;
    }
    EXPECT_TRUE(dialogs.messages.empty());
    std::size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir.path / "a")) {
        const std::string file = e.path().filename().string();
        if (e.path() == lib) continue;
        ++files;
        EXPECT_EQ(e.path().parent_path(), lib) << e.path();
        EXPECT_NE(file.front(), '.') << file;
        for (const char c : file) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << file;
    }
    EXPECT_EQ(files, hostile.size());
    EXPECT_TRUE(fs::exists(lib / "Untitled.qnp"));  // the empty name
    EXPECT_FALSE(fs::exists(dir.path / "a" / "x.qnp"));
}

TEST_F(LibraryHostTest, SaveToLibraryFailuresAreToldAndWriteNothing) {
    host.SetUserFolder("");
    dlg.UserEdited(ctl::PatchName, "Bass");
    EXPECT_TRUE(app.OnCommand(cmd::SaveToLibrary));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              "The patch could not be saved to the library: there is no patch folder (neither XDG_DATA_HOME nor HOME "
              "is set).");
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(dialogs.messages[0].owner, MessageOwner::MainWindow);

    // A file where the folder should be.
    dialogs.messages.clear();
    WriteAll(dir / "blocked", {1, 2, 3});
    host.SetUserFolder(dir / "blocked");
    EXPECT_TRUE(host.SaveToLibrary().empty());
    EXPECT_EQ(Texts(), std::vector<std::string>{"The patch could not be saved to the library folder " +
                                                (dir / "blocked") + ": Couldn't open output file."});
    EXPECT_EQ(ReadAll(dir / "blocked"), (Bytes{1, 2, 3}));
    EXPECT_EQ(frame.status, "");
}

}  // namespace

// ---- likeness and what differs ----------------------------------------------------------------------

TEST_F(LibraryHostTest, WhatDiffersNamesEachChangedControlWithBothValuesAsTheFormShowsThem) {
    host.SetUserFolder((dir.path / "lib").string());
    const std::string saved = host.SaveToLibrary();
    ASSERT_FALSE(saved.empty());
    EXPECT_TRUE(host.Differences(saved).empty()) << "the document's own patch differs in nothing";

    const FormState& f = dlg.form();
    const std::string attackBefore = f.GetText(ctl::Env1AttackBox);
    const int waveBefore = f.GetCurSel(ctl::Dco1Wave);
    ASSERT_NE(attackBefore, "200");
    ASSERT_NE(waveBefore, 5);
    dlg.UserMovedSlider(ctl::Env1Attack, 200);
    dlg.UserSelected(ctl::Dco1Wave, 5);
    dlg.UserClicked(ctl::Env2FreeRun);
    dlg.UserEdited(ctl::PatchName, "Renamed");  // texts are not parameters
    ports.bytes.clear();
    const std::vector<std::string> lines = host.Differences(saved);
    ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
    // In the form's tab order, by the form's names, the document's value first, then the file's.
    EXPECT_EQ(lines[0], "DCO1 Wave: " + f.Get(ctl::Dco1Wave).entries[5] + " \u2192 " +
                            f.Get(ctl::Dco1Wave).entries[static_cast<std::size_t>(waveBefore)]);
    EXPECT_EQ(lines[1], "ENV1 Attack: 200 \u2192 " + attackBefore);
    EXPECT_EQ(lines[2], ControlName(f, ctl::Env2FreeRun) +
                            (f.IsChecked(ctl::Env2FreeRun) ? ": on \u2192 off" : ": off \u2192 on"));
    EXPECT_TRUE(ports.bytes.empty()) << "comparing sends nothing";
    EXPECT_EQ(dlg.form().GetPos(ctl::Env1Attack), 200);

    for (const char* broken : {"missing.qnp", "empty.qnp"}) {
        WriteAll(dir / "empty.qnp", {});
        EXPECT_TRUE(host.Differences(dir / broken).empty()) << broken;
    }
    WriteAll(dir / "newer.qnp", HandBuiltFile(1));
    EXPECT_TRUE(host.Differences(dir / "newer.qnp").empty());
    EXPECT_TRUE(ports.bytes.empty());
}

TEST_F(LibraryHostTest, TheLikenessWeighsSlidersByTheirRangeAndLeavesTheChannelOut) {
    host.SetUserFolder((dir.path / "lib").string());
    const LikenessScale scale = FormLikeness();
    const std::optional<PatchParams> before = host.CurrentParams();
    ASSERT_TRUE(before);
    const std::string saved = host.SaveToLibrary();
    EXPECT_EQ(*before, ParamsOfRecord(std::span<const std::uint8_t>(ReadAll(saved)).subspan(7)));
    EXPECT_EQ(PatchDistance(*before, *before, scale), 0);

    dlg.UserSelected(ctl::MidiChannel, (form.GetCurSel(ctl::MidiChannel) + 3) % 16);
    EXPECT_EQ(PatchDistance(*before, *host.CurrentParams(), scale), 0) << "the channel is not the sound";
    const int attack = form.GetPos(ctl::Env1Attack);
    dlg.UserMovedSlider(ctl::Env1Attack, attack == 255 ? 254 : attack + 1);
    EXPECT_DOUBLE_EQ(PatchDistance(*before, *host.CurrentParams(), scale), 1.0 / 255);
    const int octave = form.GetPos(ctl::Dco1Octave);
    dlg.UserMovedSlider(ctl::Dco1Octave, octave < 8 ? octave + 2 : octave - 2);
    const double withOctave = PatchDistance(*before, *host.CurrentParams(), scale);
    EXPECT_NEAR(withOctave, 1.0 / 255 + 2.0 / 15, 1e-9) << "two octave steps are two fifteenths of its range";
    dlg.UserClicked(ctl::Env1Loop);
    EXPECT_DOUBLE_EQ(PatchDistance(*before, *host.CurrentParams(), scale), withOctave + 1);
}
