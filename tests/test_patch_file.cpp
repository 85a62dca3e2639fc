// SPDX-License-Identifier: GPL-3.0-or-later
#include "PatchFixtures.h"

#include "editor/FixedLists.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <stdexcept>

namespace {

// Every list the record keeps, in entry order.
constexpr int kStoredLists[21] = {ctl::Dco1AmpSource,    ctl::Dco1Dist,    ctl::Dco1Row3Source,   ctl::Dco1OffsetSource,
                                  ctl::Dco1PulsewSource, ctl::Dco1Wave,    ctl::ArpegSource,      ctl::Cutoff1Source,
                                  ctl::Dco2AmpSource,    ctl::Dco2Dist,    ctl::Dco2Row3Source,   ctl::Dco2OffsetSource,
                                  ctl::Dco2PulsewSource, ctl::Dco2Wave,    ctl::Env1OffsetSource, ctl::Env2OffsetSource,
                                  ctl::FilterType,       ctl::MidiChannel, ctl::Cutoff2Source,    ctl::Dco1Row3Mode,
                                  ctl::Dco2Row3Mode};
const std::vector<int> kHandSelectionList(std::begin(kHandSelections), std::end(kHandSelections));

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

Bytes WithInt(Bytes file, std::size_t offset, std::int32_t v) {
    const Bytes b = FileBytes().Int(v).bytes;
    std::copy(b.begin(), b.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
    return file;
}

// ---- opening ------------------------------------------------------------------------------------

TEST(OpenPatch, HandBuiltFileFillsTheFormAndTransmitsAfterYes) {
    TempDir dir;
    Bytes appended = HandBuiltFile();
    appended.insert(appended.end(), {'m', 'o', 'r', 'e'});
    for (const Bytes& file :
         {HandBuiltFile(), appended, HandBuiltFile(-1), HandBuiltFile(std::numeric_limits<std::int32_t>::min())}) {
        WriteAll(dir / "hand.qnp", file);
        Editor e;
        ASSERT_TRUE(e.doc.OnOpenDocument(dir / "hand.qnp"));
        ASSERT_EQ(e.dialogs.messages.size(), 1u);
        EXPECT_EQ(e.dialogs.messages[0].text, "Transmit all data from Hand Built");
        EXPECT_EQ(e.dialogs.messages[0].caption, "Question");
        EXPECT_EQ(e.ports.bytes, CC(kHandTransmission));
        EXPECT_EQ(e.pause.count, 66);
        EXPECT_EQ(e.app.m_mute, 0);

        EXPECT_EQ(e.form.GetText(ctl::PatchName), "Hand Built");
        EXPECT_EQ(e.form.GetText(ctl::Author), "Tester");
        EXPECT_EQ(e.dlg.m_comment, "line one\r\nline two");
        EXPECT_EQ(e.dlg.m_midiChannel, 3);  // the stored selection, not slot 0
        EXPECT_EQ(Selections(e.form), kHandSelectionList);
        EXPECT_EQ(Checks(e.form),
                  (std::vector<bool>{true, false, true, false, true, false, false, true, true, true, true}));
        EXPECT_EQ(e.form.GetText(ctl::Cutoff2Label), "Width");
        EXPECT_FALSE(e.form.IsEnabled(ctl::Dco2Dist));                 // DCO2 follows a source
        EXPECT_EQ(e.form.Get(ctl::Dco1Row3Source).entries[0], "100");  // the slider's value, though a source is chosen
        EXPECT_EQ(e.form.GetText(ctl::Env2SustainBox), "135");
        // Saved again it is the same record, but slot 0 follows the list and the routing follows the type.
        EXPECT_EQ(e.Record(), WithInt(WithInt(HandBuiltRecord(), 2560, 3), 2756, 0xCD));
    }
}

TEST(OpenPatch, AnsweringNoSendsNothingButFillsTheForm) {
    TempDir dir;
    WriteAll(dir / "hand.qnp", HandBuiltFile());
    Editor e;
    e.dialogs.answers.push_back(MessageAnswer::No);
    ASSERT_TRUE(e.doc.OnOpenDocument(dir / "hand.qnp"));
    EXPECT_TRUE(e.ports.bytes.empty());  // nor did anything go out while the form filled
    EXPECT_EQ(e.pause.count, 0);
    EXPECT_EQ(Selections(e.form), kHandSelectionList);
    e.dlg.TransmitAll(false);
    EXPECT_EQ(e.ports.bytes, CC(kHandTransmission));

    // Loaded before the form was ever shown, nothing is cut to unset ranges or lost to empty lists.
    Editor early;
    CMainDlg unshown(early.app);
    early.dialogs.answers.push_back(MessageAnswer::No);
    ASSERT_TRUE(unshown.ReadPatchBody(0, HandBuiltRecord()));
    EXPECT_EQ(unshown.form().GetPos(ctl::Cutoff1), 250);
    EXPECT_EQ(Selections(unshown.form()), kHandSelectionList);
}

TEST(OpenPatch, RefusedFilesReportAndLeaveTheFormAsItWas) {
    TempDir dir;
    Bytes shortFile = HandBuiltFile();
    shortFile.pop_back();
    Bytes lowerMagic = HandBuiltFile();
    std::copy_n("qnp", 3, lowerMagic.begin());
    const std::vector<std::tuple<std::string, Bytes, std::string>> files{
        {"2766", shortFile, "Couldn't read from input file"},
        {"empty", Bytes{}, "Couldn't read from input file"},
        {"lower", lowerMagic, "Not a QuarnEdit Patch"},
        {"v1", HandBuiltFile(1), "Unknown Patch Version"},
        {"vmax", HandBuiltFile(std::numeric_limits<std::int32_t>::max()), "Unknown Patch Version"},
        {"missing", Bytes{}, "Couldn't open input file"},
        {"folder", Bytes{}, "Couldn't open input file"},
    };
    fs::create_directory(dir.path / "folder");
    WriteAll(dir / "previous.qnp", WithInt(HandBuiltFile(), 7 + 2564, 17));
    for (const auto& [name, bytes, message] : files) {
        if (name != "missing" && name != "folder") WriteAll(dir / name, bytes);
        Editor e;
        e.dialogs.answers.push_back(MessageAnswer::No);
        ASSERT_TRUE(e.doc.OnOpenDocument(dir / "previous.qnp"));
        const Bytes before = e.Record();
        const std::vector<bool> checks = Checks(e.form);
        e.dialogs.messages.clear();

        EXPECT_FALSE(e.doc.OnOpenDocument(dir / name)) << name;
        ExpectFileMessage(e.dialogs, message);
        EXPECT_EQ(e.Record(), before) << name;
        EXPECT_EQ(Checks(e.form), checks) << name;
        EXPECT_TRUE(e.ports.bytes.empty()) << name;
    }
}

TEST(OpenPatch, HostileValuesLoadSafelyAndSendOnlyMidiData) {
    TempDir dir;
    Bytes file = HandBuiltFile();
    // clang-format off
    for (auto [offset, value] : std::initializer_list<std::pair<std::size_t, std::int32_t>>{
             {2668 + 4 * 0, 99}, {2668 + 4 * 8, -3},  // source lists: DCO1 and DCO2 Amp.
             {2668 + 4 * 5, 50}, {2668 + 4 * 1, 4}, {2668 + 4 * 19, 7}, {2668 + 4 * 17, 16},  // Wave, Dist., mode, Ch.
             {2564, 1000}, {2604, -5}, {2652, 1000}, {2660, -5},  // DCO1 Amp., DCO1 Octave, Step, Cutoff1
             {2752, -1}})
        // clang-format on
        file = WithInt(file, 7 + offset, value);
    WriteAll(dir / "hostile.qnp", file);

    Editor e;
    ASSERT_TRUE(e.doc.OnOpenDocument(dir / "hostile.qnp"));
    EXPECT_EQ(Selections(e.form),
              (std::vector<int>{0, -1, 8, 0, 1, -1, 0, 0, 0, 1, 0, 0, 0, 10, 0, 2, 3, -1, 0, -1, 1}));
    EXPECT_EQ(std::make_tuple(e.dlg.m_midiChannel, e.dlg.m_dco1Amp, e.dlg.m_dco1Octave, e.dlg.m_step, e.dlg.m_cutoff1),
              std::make_tuple(-1, 255, 0, 7, 0));
    e.dlg.TransmitAll(false);
    ASSERT_FALSE(e.ports.bytes.empty());
    ASSERT_EQ(e.ports.bytes.size() % 3, 0u);
    for (std::size_t i = 0; i < e.ports.bytes.size(); ++i) {
        if (i % 3 == 0)
            ASSERT_EQ(e.ports.bytes[i], 0xB0) << i;
        else
            ASSERT_LT(e.ports.bytes[i], 0x80) << i;
    }
}

// ---- texts --------------------------------------------------------------------------------------

TEST(PatchTexts, LongTextsAreCutSoTheirZeroFitsAndFullFieldsReadToTheirEnd) {
    TempDir dir;
    Editor e;
    e.dlg.UserEdited(ctl::PatchName, std::string(300, 'n'));
    e.dlg.UserEdited(ctl::Author, std::string(253, 'a') + "\xE2\x82\xAC");  // a cut would split the euro sign
    e.dlg.m_comment = std::string(3000, 'c');
    ASSERT_TRUE(e.doc.OnSaveDocument(dir / "long.qnp"));
    const Bytes file = ReadAll(dir / "long.qnp");
    ASSERT_EQ(file.size(), 2767u);
    const Bytes texts = FileBytes()
                            .Text(std::string(255, 'n'), 256)
                            .Text(std::string(253, 'a'), 256)
                            .Text(std::string(2047, 'c'), 2048)
                            .bytes;
    EXPECT_EQ(Bytes(file.begin() + 7, file.begin() + 7 + 2560), texts);

    Editor back;
    ASSERT_TRUE(back.doc.OnOpenDocument(dir / "long.qnp"));
    EXPECT_EQ(back.dlg.m_patchName, std::string(255, 'n'));
    EXPECT_EQ(back.dlg.m_comment, std::string(2047, 'c'));

    Bytes full = HandBuiltFile();
    std::fill_n(full.begin() + 7, 256, 'N');  // no zero before the author
    WriteAll(dir / "full.qnp", full);
    Editor f;
    ASSERT_TRUE(f.doc.OnOpenDocument(dir / "full.qnp"));
    EXPECT_EQ(f.form.GetText(ctl::PatchName), std::string(256, 'N'));
    EXPECT_EQ(f.dlg.m_author, "Tester");
}

// ---- saving -------------------------------------------------------------------------------------

// Sets every stored control through the user's actions, differently for each filter type.
void FillForm(Editor& e, int type) {
    for (int slot = 1; slot < kSlotCount; ++slot)
        e.dlg.UserMovedSlider(kSlotControls[slot], (type * 37 + slot * 11) % 256);
    for (auto [list, index] : {std::pair{ctl::MidiChannel, type % 16},
                               {ctl::Dco1Wave, (type + 5) % kWaveEntryCount},
                               {ctl::Dco2Wave, type * 7 % kWaveEntryCount},
                               {ctl::Dco1Dist, type % 4},
                               {ctl::Dco2Dist, (type + 1) % 4},
                               {ctl::Dco1Row3Mode, (type + 2) % 4},
                               {ctl::Dco2Row3Mode, (type + 3) % 4},
                               {ctl::FilterType, type}})
        e.dlg.UserSelected(list, index);
    int k = 0;
    for (const ModulatedParam& row : kModulatedParams) e.dlg.UserSelected(row.sourceList, (type + 5 * k++) % 17);
    for (const BitBox& box : kSwitchBoxes)
        if (++k % 3 == type % 3) e.dlg.UserClicked(box.box);
    for (const BitBox& box : kFilterBoxes)
        if (++k % 2 == type % 2) e.dlg.UserClicked(box.box);
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
        ASSERT_TRUE(a.doc.OnSaveDocument(dir / "p.qnp"));
        EXPECT_TRUE(a.dialogs.messages.empty());
        Bytes expected{'Q', 'N', 'P', 0, 0, 0, 0};
        const Bytes record = a.Record();
        expected.insert(expected.end(), record.begin(), record.end());
        EXPECT_EQ(ReadAll(dir / "p.qnp"), expected);

        Editor b;
        ASSERT_TRUE(b.doc.OnOpenDocument(dir / "p.qnp"));
        EXPECT_EQ(b.Record(), record);  // texts, sliders, selections and words
        EXPECT_EQ(b.form.GetText(ctl::Author), "Author " + std::to_string(type));
        EXPECT_EQ(Selections(b.form), Selections(a.form));
        EXPECT_EQ(Checks(b.form), Checks(a.form));
        EXPECT_EQ(b.dlg.m_filterMode, kFilterTypes[static_cast<std::size_t>(type)].mode);
        a.ports.bytes.clear();
        b.ports.bytes.clear();
        a.dlg.TransmitAll(false);
        b.dlg.TransmitAll(false);
        EXPECT_EQ(b.ports.bytes, a.ports.bytes);
    }
}

TEST(SavePatch, ReplacesWholeFilesThroughLinksAndKeepsTheirMode) {
    TempDir dir;
    WriteAll(dir / "real.qnp", Bytes(5000, 0xEE));  // longer than a patch: nothing of it may remain
    fs::permissions(dir.path / "real.qnp", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real.qnp", dir.path / "link.qnp");
    Editor e;
    ASSERT_TRUE(e.doc.OnSaveDocument(dir / "link.qnp"));
    EXPECT_TRUE(fs::is_symlink(dir.path / "link.qnp"));
    EXPECT_EQ(ReadAll(dir / "real.qnp").size(), 2767u);
    EXPECT_EQ(fs::status(dir.path / "real.qnp").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"link.qnp", "real.qnp"}));  // no temporary file left
    ASSERT_TRUE(e.doc.OnSaveDocument("/dev/null"));  // a device is written through, never replaced
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

// What a save told the user, as an exit code for a child process.
int SaveAndReport(const std::string& path) {
    Editor e;
    const bool saved = e.doc.OnSaveDocument(path);
    const std::string text = e.dialogs.messages.empty() ? "" : e.dialogs.messages[0].text;
    if (saved || e.dialogs.messages.size() != 1) return 1;
    return text == "Couldn't open output file" ? 10 : text == "Couldn't write to output file" ? 11 : 2;
}

TEST(SavePatch, FailuresReportAndLeaveTheOldFileByteForByte) {
    TempDir dir;
    const Bytes old = HandBuiltFile();
    fs::create_directory(dir.path / "folder.qnp");
    WriteAll(dir / "plain", old);
    for (const std::string& path : {dir / "folder.qnp", dir / "plain/inside.qnp", dir / "missing/p.qnp"}) {
        Editor e;
        EXPECT_FALSE(e.doc.OnSaveDocument(path)) << path;
        ExpectFileMessage(e.dialogs, "Couldn't open output file");
    }

    WriteAll(dir / "old.qnp", old);
    EXPECT_EQ(InChild([&] { return LimitFileSize(), SaveAndReport(dir / "old.qnp"); }), 11);
    EXPECT_EQ(ReadAll(dir / "old.qnp"), old);

    // A read-only directory, and a read-only file in a writable one. Permission bits do not stop root.
    fs::permissions(dir.path, fs::perms::all);
    for (const char* sub : {"ro", "rw"}) {
        fs::create_directory(dir.path / sub);
        WriteAll(dir / (sub + std::string("/p.qnp")), old);
    }
    fs::permissions(dir.path / "ro/p.qnp", fs::perms::all);
    fs::permissions(dir.path / "ro", fs::perms::all, fs::perm_options::remove);
    fs::permissions(dir.path / "ro",
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(dir.path / "rw", fs::perms::all);
    fs::permissions(dir.path / "rw/p.qnp", fs::perms::owner_read | fs::perms::others_read);
    for (const std::string& path : {dir / "ro/p.qnp", dir / "rw/p.qnp"}) {
        const int result = InChild([&] { return geteuid() == 0 && setuid(65534) != 0 ? 77 : SaveAndReport(path); });
        if (result == 77) GTEST_SKIP() << "cannot run as an ordinary user here";
        EXPECT_EQ(result, 10) << path;
        EXPECT_EQ(ReadAll(path), old) << path;
    }
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"folder.qnp", "old.qnp", "plain", "ro", "rw"}));
    EXPECT_EQ(dir.Names("rw"), (std::vector<std::string>{"p.qnp"}));
    EXPECT_TRUE(fs::is_empty(dir.path / "folder.qnp"));
}

// ---- state that must not outlive a failure ----------------------------------------------------------

// A view that fails when one control is redrawn.
struct FailingView : FormObserver {
    int failOn;
    explicit FailingView(int id) : failOn(id) {}
    void ControlChanged(int id) override {
        if (id == failOn) throw std::runtime_error("view failed");
    }
};

TEST(ScopedState, AFailureHalfWayNeverLeavesTheEditorMutedOrAFlagSet) {
    TempDir dir;
    const std::string patch = dir / "p.qnp";
    WriteAll(patch, HandBuiltFile());
    Editor e;
    // The ENV1 Attack box is written while the form is muted and the value-box flag is set, in a load and in
    // a transmission alike.
    FailingView view(ctl::Env1AttackBox);
    e.form.SetObserver(&view);
    EXPECT_THROW(e.doc.OnOpenDocument(patch), std::runtime_error);
    EXPECT_EQ(e.app.m_mute, 0);
    EXPECT_EQ(g_updatingValueBox, 0);
    EXPECT_THROW(e.dlg.TransmitAll(false), std::runtime_error);
    EXPECT_EQ(g_updatingValueBox, 0);
    AnsweringLibrary quickLoad;
    AnsweringLibrary::path = patch;
    e.dlg.SetQuickLoad(&quickLoad);
    EXPECT_THROW(e.dlg.OnQuickLoad(), std::runtime_error);
    EXPECT_FALSE(skipTransmitQuestion);

    // The editor goes on as before: an edit reaches the device, the next Transmit All asks.
    e.form.SetObserver(nullptr);
    e.ports.bytes.clear();
    e.dlg.UserMovedSlider(ctl::Dco1Amp, 5);
    EXPECT_EQ(e.ports.bytes, CC({{16, 1}, {29, 5}}));
    e.dialogs.messages.clear();
    e.dialogs.answers = {MessageAnswer::No};
    e.dlg.TransmitAll(true);
    EXPECT_EQ(e.dialogs.messages.size(), 1u);
}

// ---- the default patch --------------------------------------------------------------------------

TEST(DefaultPatch, GeneratedFileLoadsASoundingPatch) {
    Editor e;
    ASSERT_TRUE(e.doc.OnOpenDocument(QUARN_DEFAULT_PATCH));
    EXPECT_EQ(e.dialogs.messages[0].text, "Transmit all data from Init Saw");
    EXPECT_EQ(e.dlg.m_author, "QuarnEdit");
    const auto shown = [&](int id) {
        return e.form.Get(id).entries.at(static_cast<std::size_t>(e.form.GetCurSel(id)));
    };
    for (int id : kStoredLists) EXPECT_GE(e.form.GetCurSel(id), 0) << id;
    for (const ModulatedParam& row : kModulatedParams) EXPECT_EQ(e.form.GetCurSel(row.sourceList), 0) << row.sourceList;
    EXPECT_EQ(std::make_tuple(shown(ctl::Dco1Wave), shown(ctl::FilterType), shown(ctl::MidiChannel)),
              std::make_tuple("SUp", "DCO1+2 => Low Pass", "1"));
    EXPECT_EQ(e.dlg.m_env1Level, 255);
    EXPECT_GT(e.dlg.m_env1Sustain, 0);
    EXPECT_GT(e.dlg.m_cutoff1, 127);
    EXPECT_EQ(e.ports.bytes.size(), 66u * 3);
}

}  // namespace
