// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "EditorRig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace fs = std::filesystem;

// Writes a patch file the way the program saves one, from a form filled as the editor would.
inline void MakePatch(const std::string& path, const std::string& name, int amp) {
    EditorRig rig;
    CMainDlg& dlg = rig.dlg;
    dlg.OnInitialUpdate();
    FormState& form = dlg.form();
    for (const Oscillator& osc : kOscillators) {
        form.SetCurSel(osc.wave, 0);
        form.SetCurSel(osc.dist, 0);
        form.SetCurSel(osc.modeList, 0);
    }
    form.SetCurSel(ctl::FilterType, 1);
    form.SetPos(ctl::Dco1Amp, amp);
    for (const ModulatedParam& row : kModulatedParams) dlg.RefreshModParam(row);
    form.SetText(ctl::PatchName, name);
    ASSERT_TRUE(rig.doc.OnSaveDocument(path));
}

// The application on a folder of its own with a default patch, its window a recording frame.
struct AppTest : ::testing::Test, EditorRig {
    RecordingFrame frame;
    fs::path dir;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("quarn-app-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        location.dir = dir.string() + "/";
        MakePatch((dir / "default.qnp").string(), "Default", 10);
    }
    void TearDown() override { fs::remove_all(dir); }
    bool Start(const std::optional<std::string>& file = std::nullopt) { return app.InitInstance(frame, file); }
};
