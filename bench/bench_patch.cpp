// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a patch (read, check, fill the form muted, answer No) and exporting one, without a device pause.
#include "EditorRig.h"

#include "app/CQuarnEditApp.h"
#include "app/CQuarnEditDoc.h"
#include "editor/CMainDlg.h"
#include "patch/PatchFile.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Bench : EditorRig {
    fs::path dir;

    Bench() {
        std::string templ = (fs::temp_directory_path() / "quarn_bench_XXXXXX").string();
        dir = mkdtemp(templ.data());
        ShowAndOpen();
        // A patch with every row in use: sliders mid-way, a filter with both cutoffs.
        for (int slot = 1; slot < kSlotCount; ++slot) dlg.UserMovedSlider(kSlotControls[slot], 100 + slot);
        dlg.UserSelected(ctl::Dco1Wave, 0);
        dlg.UserSelected(ctl::Dco1Dist, 0);
        dlg.UserSelected(ctl::Dco2Wave, 1);
        dlg.UserSelected(ctl::Dco2Dist, 1);
        dlg.UserSelected(ctl::Dco1Row3Mode, 2);
        dlg.UserSelected(ctl::Dco2Row3Mode, 2);
        dlg.UserSelected(ctl::FilterType, 3);
        dlg.UserEdited(ctl::PatchName, "Bench");
        if (!doc.OnSaveDocument(Path("bench.qnp"))) std::abort();
        ports.bytes.clear();
    }
    ~Bench() { fs::remove_all(dir); }
    std::string Path(const char* name) const { return (dir / name).string(); }
};

void BM_OpenPatch(benchmark::State& state) {
    Bench b;
    const std::string path = b.Path("bench.qnp");
    for (auto _ : state) {
        b.dialogs.answers.push_back(MessageAnswer::No);
        if (!b.doc.OnOpenDocument(path)) state.SkipWithError("open failed");
        b.dialogs.messages.clear();
    }
}
BENCHMARK(BM_OpenPatch);

// The bench patch as the original platform would write it: every text full, in its code page.
std::string WriteLegacyPatch(const Bench& b) {
    std::vector<std::uint8_t> file;
    if (ReadPatchFileBytes(b.Path("bench.qnp"), file) != PatchFileError::None) std::abort();
    for (const TextField field : {kPatchNameField, kAuthorField, kCommentField})
        for (std::size_t i = 0; i + 1 < field.size; ++i) file[kPatchHeaderSize + field.offset + i] = 0xE9;  // "é"
    const std::string path = b.Path("legacy.qnp");
    const auto record = [&](std::span<std::uint8_t> r) {
        std::copy_n(file.begin() + kPatchHeaderSize, kRecordSize, r.begin());
    };
    if (WritePatchFile(path, 0, record) != FileWriteResult::Ok) std::abort();
    return path;
}

void BM_OpenLegacyPatch(benchmark::State& state) {
    Bench b;
    const std::string path = WriteLegacyPatch(b);
    for (auto _ : state) {
        b.dialogs.answers.push_back(MessageAnswer::No);
        if (!b.doc.OnOpenDocument(path)) state.SkipWithError("open failed");
        b.dialogs.messages.clear();
    }
}
BENCHMARK(BM_OpenLegacyPatch);

// A keystroke at the end of such a patch's full name: decoded, compared and encoded back into the code page.
void BM_TypeInLegacyName(benchmark::State& state) {
    Bench b;
    b.dialogs.answers.push_back(MessageAnswer::No);
    if (!b.doc.OnOpenDocument(WriteLegacyPatch(b))) std::abort();
    const std::string name = b.form.GetText(ctl::PatchName);
    int i = 0;
    for (auto _ : state) b.dlg.UserEdited(ctl::PatchName, (++i % 2) != 0 ? name + "x" : name);
    if (b.dlg.m_patchName.substr(0, 255) != std::string(255, '\xE9'))
        state.SkipWithError("not stored in the code page");
}
BENCHMARK(BM_TypeInLegacyName);

void BM_LoadRecordOnly(benchmark::State& state) {
    Bench b;
    std::vector<std::uint8_t> record(static_cast<std::size_t>(CMainDlg::GetPatchBodySize()));
    b.dlg.WritePatchBody(record);
    for (auto _ : state) {
        b.dialogs.answers.push_back(MessageAnswer::No);
        b.dlg.ReadPatchBody(0, record);
        b.dialogs.messages.clear();
    }
}
BENCHMARK(BM_LoadRecordOnly);

void BM_SavePatch(benchmark::State& state) {
    Bench b;
    const std::string path = b.Path("bench.qnp");
    for (auto _ : state)
        if (!b.doc.OnSaveDocument(path)) state.SkipWithError("save failed");
}
BENCHMARK(BM_SavePatch);

void BM_ExportMidiFile(benchmark::State& state) {
    Bench b;
    const std::string path = b.Path("bench.mid");
    for (auto _ : state) {
        b.dialogs.savePaths.push_back(path);
        b.dlg.OnExportMidiFile();
    }
    if (!b.dialogs.messages.empty()) state.SkipWithError(b.dialogs.messages[0].text.c_str());
}
BENCHMARK(BM_ExportMidiFile);

}  // namespace

BENCHMARK_MAIN();
