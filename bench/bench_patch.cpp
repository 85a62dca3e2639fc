// Opening a patch (read, check, fill the form muted, answer No) and exporting one, without a device pause.
#include "EditorRig.h"

#include "app/CQuarnEditApp.h"
#include "app/CQuarnEditDoc.h"
#include "editor/CMainDlg.h"

#include <benchmark/benchmark.h>

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
