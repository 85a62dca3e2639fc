// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Fakes.h"

#include "app/CQuarnEditApp.h"
#include "app/CQuarnEditDoc.h"
#include "editor/CMainDlg.h"

#include <vector>

// Fills every list of the application's form the way a loaded patch leaves them, without transmitting.
inline void FillFormAsLoaded(CQuarnEditApp& app) {
    const ScopedMute mute(app);
    CMainDlg& dlg = app.form();
    FormState& form = dlg.form();
    for (const Oscillator& osc : kOscillators) {
        form.SetCurSel(osc.wave, 0);
        form.SetCurSel(osc.dist, 0);
        form.SetCurSel(osc.modeList, 0);
    }
    form.SetCurSel(ctl::FilterType, 16);
    dlg.OnFilterTypeChanged();
    for (const ModulatedParam& row : kModulatedParams) dlg.RefreshModParam(row);
}

// The application on the fakes of every service but its ports and pacer, which the rig chooses.
template <typename Ports, typename Pacer>
struct AppOn {
    Ports ports;
    Pacer pacer;
    ScriptedDialogs dialogs;
    MapProfile profile;
    DirLocation location;
    NoLibraries libraries;
    ManualClock clock;
    MemoryRecovery recovery;
    CQuarnEditApp app{{ports, pacer, profile, dialogs, location, libraries, clock, recovery}};
    CMainDlg& dlg = app.form();
};

// The application with its form and document, wired as the program wires them, on the recording fakes.
struct EditorRig {
    RecordingPorts ports;
    CountingPause pause;
    ScriptedDialogs dialogs;
    MapProfile profile;
    DirLocation location;
    NoLibraries libraries;
    ManualClock clock;
    MemoryRecovery recovery;
    CQuarnEditApp app{{ports, pause, profile, dialogs, location, libraries, clock, recovery}};
    CMainDlg& dlg = app.form();
    CQuarnEditDoc& doc = app.document();
    FormState& form = dlg.form();

    // Shows the form and opens the first port as the device; false when it does not open.
    bool ShowAndOpen() {
        dlg.OnInitialUpdate();
        return app.CreatePortSink().OpenDevice(0);
    }

    // Fills every list the way a loaded patch leaves them, without transmitting.
    void FillAsLoaded() {
        FillFormAsLoaded(app);
        ports.bytes.clear();
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const MessageRequest& m : dialogs.messages) t.push_back(m.text);
        return t;
    }
};
