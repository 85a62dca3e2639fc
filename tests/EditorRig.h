#pragma once

#include "Fakes.h"

#include "app/CQuarnEditApp.h"
#include "app/CQuarnEditDoc.h"
#include "editor/CMainDlg.h"

// A form with its application and document on the recording fakes.
struct EditorRig {
    RecordingPorts ports;
    CountingPause pause;
    ScriptedDialogs dialogs;
    CQuarnEditApp app{ports, pause};
    CMainDlg dlg{app, dialogs};
    CQuarnEditDoc doc{dlg, dialogs};
    FormState& form = dlg.form();

    // Shows the form and opens the first port as the device; false when it does not open.
    bool ShowAndOpen() {
        dlg.OnInitialUpdate();
        return app.CreatePortSink().OpenDevice(0);
    }
};
