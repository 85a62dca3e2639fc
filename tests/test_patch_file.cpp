#include "PatchFixtures.h"

#include "editor/FixedLists.h"
#include "patch/PatchFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <tuple>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Every list the record keeps, in entry order.
constexpr int kStoredLists[21] = {ctl::Dco1AmpSource,    ctl::Dco1Dist,         ctl::Dco1Row3Source,
                                  ctl::Dco1OffsetSource, ctl::Dco1PulsewSource, ctl::Dco1Wave,
                                  ctl::ArpegSource,      ctl::Cutoff1Source,    ctl::Dco2AmpSource,
                                  ctl::Dco2Dist,         ctl::Dco2Row3Source,   ctl::Dco2OffsetSource,
                                  ctl::Dco2PulsewSource, ctl::Dco2Wave,         ctl::Env1OffsetSource,
                                  ctl::Env2OffsetSource, ctl::FilterType,       ctl::MidiChannel,
                                  ctl::Cutoff2Source,    ctl::Dco1Row3Mode,     ctl::Dco2Row3Mode};

std::vector<int> Selections(const FormState& form) {
    std::vector<int> out;
    for (int id : kStoredLists) out.push_back(form.GetCurSel(id));
    return out;
}

std::vector<bool> Checks(const FormState& form) {
    std::vector<bool> out;
    for (const BitBox& b : kSwitchBoxes) out.push_back(form.IsChecked(b.box));
    for (const BitBox& b : kFilterBoxes) out.push_back(form.IsChecked(b.box));
    return out;
}

std::vector<int> Positions(const FormState& form) {
    std::vector<int> out;
    for (int slot = 1; slot < kSlotCount; ++slot) out.push_back(form.GetPos(kFormSlots[slot].control));
    return out;
}

// Runs `body` in a child process and returns its exit code, so that limits and identities set there
// cannot leak into the other tests.
template <typename F>
int InChild(F body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// ---- opening ------------------------------------------------------------------------------------

TEST(OpenPatch, HandBuiltFileFillsTheFormAndTransmitsAfterYes) {
    TempDir dir;
    WriteAll(dir / "hand.qnp", HandBuiltFile());
    Editor e;
    ASSERT_TRUE(e.doc.OnOpenDocument(dir / "hand.qnp"));

    ASSERT_EQ(e.dialogs.messages.size(), 1u);
    EXPECT_EQ(e.dialogs.messages[0].text, "Transmit all data from Hand Built");
    EXPECT_EQ(e.dialogs.messages[0].caption, "Question");
    EXPECT_EQ(e.dialogs.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(e.dialogs.bytesAtQuestion, 0u);  // nothing reached the device while the form filled
    EXPECT_EQ(e.dialogs.pausesAtQuestion, 0);
    EXPECT_EQ(e.ports.bytes, CC(kHandTransmission));
    EXPECT_EQ(e.pause.count, 66);
    EXPECT_EQ(e.app.m_mute, 0);

    EXPECT_EQ(e.dlg.m_patchName, "Hand Built");
    EXPECT_EQ(e.form.GetText(ctl::PatchName), "Hand Built");
    EXPECT_EQ(e.form.GetText(ctl::Author), "Tester");
    EXPECT_EQ(e.dlg.m_comment, "line one\r\nline two");
    EXPECT_EQ(e.dlg.m_midiChannel, 3);  // the stored selection, not slot 0
    EXPECT_EQ(Selections(e.form), std::vector<int>(std::begin(kHandSelections), std::end(kHandSelections)));
    EXPECT_EQ(Positions(e.form), std::vector<int>(std::begin(kHandSlots) + 1, std::end(kHandSlots)));
    EXPECT_EQ(Checks(e.form), (std::vector<bool>{true, false, true, false, true, false, false, true, true, true, true}));
    EXPECT_EQ(e.dlg.m_filterBits, 0xCD);
    EXPECT_EQ(e.dlg.m_filterMode, 3);
    EXPECT_EQ(e.form.GetText(ctl::Cutoff2Label), "Width");
    EXPECT_FALSE(e.form.IsEnabled(ctl::Dco2Dist));  // DCO2 follows a source
    EXPECT_EQ(e.form.Get(ctl::Dco1Row3Source).entries[0], "100");  // the slider's value, though a source is chosen
    EXPECT_EQ(e.form.GetText(ctl::Dco1OctaveBox), "8");
    EXPECT_EQ(e.form.GetText(ctl::Env2SustainBox), "135");

    // Saved again, the file comes back but for slot 0, which follows the list, and the routing bits.
    Bytes expected = HandBuiltRecord();
    FileBytes fixes;
    fixes.Int(3).Int(0xCD);
    std::copy_n(fixes.bytes.begin(), 4, expected.begin() + 2560);
    std::copy_n(fixes.bytes.begin() + 4, 4, expected.begin() + 2756);
    EXPECT_EQ(e.Record(), expected);
}

TEST(OpenPatch, AcceptedVariantsLoadTheSamePatch) {
    TempDir dir;
    Bytes appended = HandBuiltFile();
    appended.insert(appended.end(), {'t', 'r', 'a', 'i', 'l'});
    const std::vector<std::pair<const char*, Bytes>> files{
        {"appended bytes", appended},
        {"version -1", HandBuiltFile(-1)},
        {"lowest version", HandBuiltFile(std::numeric_limits<std::int32_t>::min())},
    };
    for (const auto& [what, bytes] : files) {
        WriteAll(dir / "p.qnp", bytes);
        Editor e;
        EXPECT_TRUE(e.doc.OnOpenDocument(dir / "p.qnp")) << what;
        EXPECT_EQ(e.ports.bytes, CC(kHandTransmission)) << what;
        EXPECT_EQ(e.dlg.m_patchName, "Hand Built") << what;
    }
}

TEST(OpenPatch, RefusedFilesReportAndLeaveTheFormAsItWas) {
    TempDir dir;
    Bytes shortFile = HandBuiltFile();
    shortFile.pop_back();
    Bytes lowerMagic = HandBuiltFile();
    lowerMagic[0] = 'q', lowerMagic[1] = 'n', lowerMagic[2] = 'p';
    const std::vector<std::tuple<const char*, Bytes, const char*>> files{
        {"2766 bytes", shortFile, "Couldn't read from input file"},
        {"empty", Bytes{}, "Couldn't read from input file"},
        {"lower-case magic", lowerMagic, "Not a QuarnEdit Patch"},
        {"version 1", HandBuiltFile(1), "Unknown Patch Version"},
        {"highest version", HandBuiltFile(std::numeric_limits<std::int32_t>::max()), "Unknown Patch Version"},
    };
    fs::create_directory(dir.path / "folder.qnp");
    std::vector<std::tuple<std::string, const char*>> paths{{dir / "missing.qnp", "Couldn't open input file"},
                                                             {dir / "folder.qnp", "Couldn't open input file"}};
    for (const auto& [what, bytes, message] : files) {
        WriteAll(dir / what, bytes);
        paths.emplace_back(dir / what, message);
    }

    for (const auto& [path, message] : paths) {
        Editor e;
        e.dialogs.answers.push_back(MessageAnswer::No);
        Bytes previous = HandBuiltFile();
        previous[7] = 'P';  // a patch of its own in the form first
        WriteAll(dir / "previous.qnp", previous);
        ASSERT_TRUE(e.doc.OnOpenDocument(dir / "previous.qnp"));
        const Bytes before = e.Record();
        const std::vector<bool> checksBefore = Checks(e.form);
        e.dialogs.messages.clear();

        EXPECT_FALSE(e.doc.OnOpenDocument(path)) << path;
        ExpectFileMessage(e.dialogs, message);
        EXPECT_EQ(e.Record(), before) << path;
        EXPECT_EQ(Checks(e.form), checksBefore) << path;
        EXPECT_TRUE(e.ports.bytes.empty()) << path;
        EXPECT_EQ(e.app.m_mute, 0);
    }
}

TEST(OpenPatch, AnsweringNoSendsNothingButFillsTheForm) {
    TempDir dir;
    WriteAll(dir / "hand.qnp", HandBuiltFile());
    Editor e;
    e.dialogs.answers.push_back(MessageAnswer::No);
    ASSERT_TRUE(e.doc.OnOpenDocument(dir / "hand.qnp"));
    EXPECT_TRUE(e.ports.bytes.empty());
    EXPECT_EQ(e.pause.count, 0);
    EXPECT_EQ(e.dlg.m_patchName, "Hand Built");
    EXPECT_EQ(Selections(e.form), std::vector<int>(std::begin(kHandSelections), std::end(kHandSelections)));
    EXPECT_EQ(e.form.GetText(ctl::Env1DecayBox), "2");
    e.dlg.TransmitAll(false);  // the form holds all of it
    EXPECT_EQ(e.ports.bytes, CC(kHandTransmission));
}

TEST(OpenPatch, ReadPatchBodyRefusesOtherLayoutsUntouched) {
    Editor e;
    const Bytes record = HandBuiltRecord();
    const Bytes before = e.Record();
    for (std::int32_t version : {1, -1}) {
        EXPECT_FALSE(e.dlg.ReadPatchBody(version, record));
        EXPECT_EQ(e.app.m_mute, 0);
    }
    EXPECT_EQ(e.Record(), before);
    EXPECT_TRUE(e.dialogs.messages.empty());
}

TEST(OpenPatch, LoadingBeforeTheFormIsShownKeepsEveryValue) {
    RecordingPorts ports;
    CountingPause pause;
    ScriptedDialogs dialogs;
    CQuarnEditApp app(ports, pause);
    CMainDlg dlg(app, dialogs);
    dialogs.answers.push_back(MessageAnswer::No);
    ASSERT_TRUE(dlg.ReadPatchBody(0, HandBuiltRecord()));
    dlg.OnInitialUpdate();
    EXPECT_EQ(dlg.form().GetPos(ctl::Cutoff1), 250);  // not cut to an unset range
    EXPECT_EQ(Selections(dlg.form()), std::vector<int>(std::begin(kHandSelections), std::end(kHandSelections)));
}

// ---- texts --------------------------------------------------------------------------------------

TEST(PatchTexts, LongTextsAreCutSoTheirZeroFits) {
    TempDir dir;
    Editor e;
    e.dlg.UserEdited(ctl::PatchName, std::string(300, 'n'));
    e.dlg.UserEdited(ctl::Author, std::string(256, 'a'));
    e.dlg.m_comment = std::string(3000, 'c');
    ASSERT_TRUE(e.doc.OnSaveDocument(dir / "long.qnp"));
    const Bytes file = ReadAll(dir / "long.qnp");
    ASSERT_EQ(file.size(), 2767u);
    FileBytes texts;
    texts.Text(std::string(255, 'n'), 256).Text(std::string(255, 'a'), 256).Text(std::string(2047, 'c'), 2048);
    EXPECT_EQ(Bytes(file.begin() + 7, file.begin() + 7 + 2560), texts.bytes);

    Editor back;
    ASSERT_TRUE(back.doc.OnOpenDocument(dir / "long.qnp"));
    EXPECT_EQ(back.dlg.m_patchName, std::string(255, 'n'));
    EXPECT_EQ(back.dlg.m_author, std::string(255, 'a'));
    EXPECT_EQ(back.dlg.m_comment, std::string(2047, 'c'));
}

TEST(PatchTexts, CutNeverSplitsAUtf8Character) {
    TempDir dir;
    Editor e;
    e.dlg.UserEdited(ctl::PatchName, std::string(254, 'x') + "\xC3\xA9");  // é would need bytes 254 and 255
    e.dlg.UserEdited(ctl::Author, std::string(253, 'x') + "\xE2\x82\xAC");  // € likewise
    ASSERT_TRUE(e.doc.OnSaveDocument(dir / "utf8.qnp"));
    const Bytes file = ReadAll(dir / "utf8.qnp");
    FileBytes texts;
    texts.Text(std::string(254, 'x'), 256).Text(std::string(253, 'x'), 256);
    EXPECT_EQ(Bytes(file.begin() + 7, file.begin() + 7 + 512), texts.bytes);
}

TEST(PatchTexts, AFieldWithoutZeroIsReadToItsEndOnly) {
    TempDir dir;
    FileBytes f;
    f.Raw("QNP").Int(0).Raw(std::string(256, 'N')).Text("Auth", 256);
    const Bytes hand = HandBuiltRecord();
    f.bytes.insert(f.bytes.end(), hand.begin() + 512, hand.end());
    WriteAll(dir / "full.qnp", f.bytes);
    Editor e;
    ASSERT_TRUE(e.doc.OnOpenDocument(dir / "full.qnp"));
    EXPECT_EQ(e.dlg.m_patchName, std::string(256, 'N'));
    EXPECT_EQ(e.form.GetText(ctl::PatchName), std::string(256, 'N'));
    EXPECT_EQ(e.dlg.m_author, "Auth");
    EXPECT_EQ(e.dialogs.messages[0].text, "Transmit all data from " + std::string(256, 'N'));
}

// ---- hostile records ----------------------------------------------------------------------------

TEST(HostilePatch, OutOfRangeValuesLoadSafelyAndSendOnlyMidiData) {
    TempDir dir;
    Bytes file = HandBuiltFile();
    const auto put = [&](std::size_t recordOffset, std::int32_t v) {
        FileBytes b;
        b.Int(v);
        std::copy(b.bytes.begin(), b.bytes.end(), file.begin() + 7 + static_cast<std::ptrdiff_t>(recordOffset));
    };
    put(2668 + 4 * 0, 99);    // DCO1 Amp. source
    put(2668 + 4 * 8, -3);    // DCO2 Amp. source
    put(2668 + 4 * 5, 50);    // DCO1 Wave
    put(2668 + 4 * 1, 4);     // DCO1 Dist.
    put(2668 + 4 * 19, 7);    // DCO1 row-3 mode
    put(2668 + 4 * 17, 16);   // Midi Ch.
    put(2564, 1000);          // DCO1 Amp.
    put(2604, -5);            // DCO1 Octave
    put(2652, 1000);          // Step
    put(2660, -5);            // Cutoff1
    put(2752, -1);            // every switch bit and more
    WriteAll(dir / "hostile.qnp", file);

    Editor e;
    ASSERT_TRUE(e.doc.OnOpenDocument(dir / "hostile.qnp"));
    EXPECT_EQ(e.form.GetCurSel(ctl::Dco1AmpSource), 0);
    EXPECT_EQ(e.form.GetCurSel(ctl::Dco2AmpSource), 0);
    EXPECT_EQ(e.form.GetCurSel(ctl::Dco1Wave), -1);
    EXPECT_EQ(e.form.GetCurSel(ctl::Dco1Dist), -1);
    EXPECT_EQ(e.form.GetCurSel(ctl::Dco1Row3Mode), -1);
    EXPECT_EQ(e.dlg.m_midiChannel, -1);
    EXPECT_EQ(e.dlg.m_dco1Amp, 255);
    EXPECT_EQ(e.dlg.m_dco1Octave, 0);
    EXPECT_EQ(e.dlg.m_step, 7);
    EXPECT_EQ(e.dlg.m_cutoff1, 0);
    EXPECT_EQ(e.form.GetText(ctl::StepBox), "7");

    e.dlg.TransmitAll(false);
    ASSERT_FALSE(e.ports.bytes.empty());
    ASSERT_EQ(e.ports.bytes.size() % 3, 0u);
    for (std::size_t i = 0; i < e.ports.bytes.size(); ++i) {
        if (i % 3 == 0) {
            ASSERT_EQ(e.ports.bytes[i], 0xB0) << i;
        } else {
            ASSERT_LT(e.ports.bytes[i], 0x80) << i;
        }
    }
    // The source rows send the clamped slider value.
    const Bytes amp = CC({{16, 2}, {29, 127}});
    EXPECT_NE(std::search(e.ports.bytes.begin(), e.ports.bytes.end(), amp.begin(), amp.end()), e.ports.bytes.end());
}

// ---- saving -------------------------------------------------------------------------------------

// Sets every stored control through the user's actions, differently for each filter type.
void FillForm(Editor& e, int type) {
    for (int slot = 1; slot < kSlotCount; ++slot) e.dlg.UserMovedSlider(kFormSlots[slot].control, (type * 37 + slot * 11) % 256);
    e.dlg.UserSelected(ctl::MidiChannel, type % 16);
    e.dlg.UserSelected(ctl::Dco1Wave, (type + 5) % kWaveEntryCount);
    e.dlg.UserSelected(ctl::Dco2Wave, (type * 7) % kWaveEntryCount);
    e.dlg.UserSelected(ctl::Dco1Dist, type % 4);
    e.dlg.UserSelected(ctl::Dco2Dist, (type + 1) % 4);
    e.dlg.UserSelected(ctl::Dco1Row3Mode, (type + 2) % 4);
    e.dlg.UserSelected(ctl::Dco2Row3Mode, (type + 3) % 4);
    e.dlg.UserSelected(ctl::FilterType, type);
    int k = 0;
    for (const ModulatedParam& row : kModulatedParams) e.dlg.UserSelected(row.sourceList, (type + 5 * k++) % 17);
    for (std::size_t i = 0; i < kSwitchBoxes.size(); ++i)
        if ((type + i) % 3 == 0) e.dlg.UserClicked(kSwitchBoxes[i].box);
    for (std::size_t i = 0; i < kFilterBoxes.size(); ++i)
        if ((type + i) % 2 == 0) e.dlg.UserClicked(kFilterBoxes[i].box);
    e.dlg.UserEdited(ctl::PatchName, "Type " + std::to_string(type));
    e.dlg.UserEdited(ctl::Author, "Author " + std::to_string(type));
    e.dlg.m_comment = "First line\r\nSecond line " + std::to_string(type);
}

TEST(SavePatch, SaveThenOpenRestoresEveryControlInEveryFilterType) {
    TempDir dir;
    for (int type = 0; type < static_cast<int>(kFilterTypes.size()); ++type) {
        SCOPED_TRACE("filter type " + std::to_string(type));
        Editor a;
        FillForm(a, type);
        const std::string path = dir / ("t" + std::to_string(type) + ".qnp");
        ASSERT_TRUE(a.doc.OnSaveDocument(path));
        EXPECT_TRUE(a.dialogs.messages.empty());

        const Bytes file = ReadAll(path);
        ASSERT_EQ(file.size(), 2767u);
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 7), (Bytes{'Q', 'N', 'P', 0, 0, 0, 0}));
        const Bytes record = a.Record();
        EXPECT_EQ(Bytes(file.begin() + 7, file.end()), record);

        Editor b;
        ASSERT_TRUE(b.doc.OnOpenDocument(path));
        EXPECT_EQ(b.dlg.m_patchName, "Type " + std::to_string(type));
        EXPECT_EQ(b.form.GetText(ctl::Author), "Author " + std::to_string(type));
        EXPECT_EQ(b.dlg.m_comment, a.dlg.m_comment);
        EXPECT_EQ(Selections(b.form), Selections(a.form));
        EXPECT_EQ(Positions(b.form), Positions(a.form));
        EXPECT_EQ(Checks(b.form), Checks(a.form));
        EXPECT_EQ(b.dlg.m_filterMode, kFilterTypes[static_cast<std::size_t>(type)].mode);
        EXPECT_EQ(b.dlg.m_filterBits, a.dlg.m_filterBits);
        EXPECT_EQ(b.dlg.m_switchBits, a.dlg.m_switchBits);
        EXPECT_EQ(b.form.IsEnabled(ctl::Cutoff2), a.form.IsEnabled(ctl::Cutoff2));
        EXPECT_EQ(b.Record(), record);
        // The reopened patch transmits exactly what the edited one does.
        a.ports.bytes.clear();
        b.ports.bytes.clear();
        a.dlg.TransmitAll(false);
        b.dlg.TransmitAll(false);
        EXPECT_EQ(b.ports.bytes, a.ports.bytes);
    }
}

TEST(SavePatch, ReplacesAnOldFileWholeAndKeepsLinksAndModes) {
    TempDir dir;
    WriteAll(dir / "real.qnp", Bytes(5000, 0xEE));  // longer than a patch: nothing of it may remain
    chmod((dir / "real.qnp").c_str(), 0640);
    fs::create_symlink("real.qnp", dir.path / "link.qnp");
    Editor e;
    e.dlg.UserEdited(ctl::PatchName, "Linked");
    ASSERT_TRUE(e.doc.OnSaveDocument(dir / "link.qnp"));
    EXPECT_TRUE(fs::is_symlink(dir.path / "link.qnp"));
    Bytes expected{'Q', 'N', 'P', 0, 0, 0, 0};
    const Bytes record = e.Record();
    expected.insert(expected.end(), record.begin(), record.end());
    EXPECT_EQ(ReadAll(dir / "real.qnp"), expected);
    EXPECT_EQ(fs::status(dir.path / "real.qnp").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"link.qnp", "real.qnp"}));  // no temporary file left

    // A device is written through, never replaced.
    ASSERT_TRUE(e.doc.OnSaveDocument("/dev/null"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST(SavePatch, PlacesThatCannotHoldAFileReportOpenFailure) {
    TempDir dir;
    fs::create_directory(dir.path / "folder.qnp");
    WriteAll(dir / "plain", Bytes{1, 2, 3});
    for (const std::string& path : {dir / "folder.qnp", dir / "plain/inside.qnp", dir / "missing/p.qnp"}) {
        Editor e;
        EXPECT_FALSE(e.doc.OnSaveDocument(path)) << path;
        ExpectFileMessage(e.dialogs, "Couldn't open output file");
    }
    EXPECT_EQ(ReadAll(dir / "plain"), (Bytes{1, 2, 3}));
    EXPECT_TRUE(fs::is_empty(dir.path / "folder.qnp"));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"folder.qnp", "plain"}));
}

// What a failed save in a child told the user, as its exit code.
enum ChildResult { kOpenMessage = 10, kWriteMessage = 11, kSaved = 12, kOtherMessage = 13, kCannotDropRoot = 77 };

int SaveAndReport(const std::string& path) {
    Editor e;
    e.dlg.UserEdited(ctl::PatchName, "New");
    const bool saved = e.doc.OnSaveDocument(path);
    if (saved) return e.dialogs.messages.empty() ? kSaved : kOtherMessage;
    if (e.dialogs.messages.size() != 1 || !e.dialogs.messages[0].caption.empty()) return kOtherMessage;
    if (e.dialogs.messages[0].text == "Couldn't open output file") return kOpenMessage;
    if (e.dialogs.messages[0].text == "Couldn't write to output file") return kWriteMessage;
    return kOtherMessage;
}

TEST(SavePatch, AFailedWriteLeavesTheOldFileByteForByte) {
    TempDir dir;
    const Bytes old = HandBuiltFile();
    WriteAll(dir / "old.qnp", old);
    // The disk fills after 100 bytes of the new file.
    const int result = InChild([&] {
        const rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
        return SaveAndReport(dir / "old.qnp");
    });
    EXPECT_EQ(result, kWriteMessage);
    EXPECT_EQ(ReadAll(dir / "old.qnp"), old);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"old.qnp"}));
}

TEST(SavePatch, ReadOnlyDirectoryOrFileLeavesTheOldFile) {
    TempDir dir;
    fs::permissions(dir.path, fs::perms::all);  // reachable once the child is no longer root
    const Bytes old = HandBuiltFile();
    fs::create_directory(dir.path / "ro");
    WriteAll(dir / "ro/writable.qnp", old);
    fs::permissions(dir.path / "ro/writable.qnp", fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec &
                                                      ~fs::perms::others_exec);
    fs::permissions(dir.path / "ro", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    fs::create_directory(dir.path / "rw");
    fs::permissions(dir.path / "rw", fs::perms::all);
    WriteAll(dir / "rw/locked.qnp", old);
    fs::permissions(dir.path / "rw/locked.qnp", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    for (const std::string& path : {dir / "ro/writable.qnp", dir / "rw/locked.qnp"}) {
        const int result = InChild([&] {
            // Permission bits do not stop root.
            if (geteuid() == 0 && setuid(65534) != 0) return int{kCannotDropRoot};
            return SaveAndReport(path);
        });
        if (result == kCannotDropRoot) GTEST_SKIP() << "cannot run as an ordinary user here";
        EXPECT_EQ(result, kOpenMessage) << path;
        EXPECT_EQ(ReadAll(path), old) << path;
    }
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"ro", "rw"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path / "rw"), fs::directory_iterator()), 1);
}

// ---- the default patch --------------------------------------------------------------------------

TEST(DefaultPatch, GeneratedFileLoadsASoundingPatch) {
    Editor e;
    ASSERT_TRUE(e.doc.OnOpenDocument(QUARN_DEFAULT_PATCH));
    EXPECT_EQ(e.dialogs.messages[0].text, "Transmit all data from Init Saw");
    EXPECT_EQ(e.dlg.m_author, "QuarnEdit");
    for (int id : kStoredLists) EXPECT_GE(e.form.GetCurSel(id), 0) << id;
    for (const ModulatedParam& row : kModulatedParams) EXPECT_EQ(e.form.GetCurSel(row.sourceList), 0) << row.sourceList;
    EXPECT_EQ(e.form.Get(ctl::Dco1Wave).entries[static_cast<std::size_t>(e.form.GetCurSel(ctl::Dco1Wave))], "SUp");
    EXPECT_EQ(e.form.Get(ctl::FilterType).entries[static_cast<std::size_t>(e.form.GetCurSel(ctl::FilterType))],
              "DCO1+2 => Low Pass");
    EXPECT_EQ(e.form.Get(ctl::MidiChannel).entries[static_cast<std::size_t>(e.dlg.m_midiChannel)], "1");
    EXPECT_EQ(e.dlg.m_env1Level, 255);
    EXPECT_GT(e.dlg.m_env1Sustain, 0);
    EXPECT_GT(e.dlg.m_cutoff1, 127);
    EXPECT_EQ(e.ports.bytes.size(), 66u * 3);
}

}  // namespace
