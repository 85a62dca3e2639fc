#pragma once

#include "Fakes.h"

#include "app/CQuarnEditApp.h"
#include "editor/CMainDlg.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

// A shown form with its port sink on an open recording port.
struct EditorFixture : ::testing::Test {
    RecordingPorts ports;
    CountingPause pause;
    ScriptedDialogs dialogs;
    CQuarnEditApp app{ports, pause};
    CMainDlg dlg{app, dialogs};
    FormState& form = dlg.form();

    void SetUp() override {
        dlg.OnInitialUpdate();
        ASSERT_TRUE(app.CreatePortSink().OpenDevice(0));
    }

    // Fills every list the way a loaded patch leaves them, without transmitting.
    void FillAsLoaded() {
        app.m_mute = 1;
        for (const Oscillator& osc : kOscillators) {
            form.SetCurSel(osc.wave, 0);
            form.SetCurSel(osc.dist, 0);
            form.SetCurSel(osc.modeList, 0);
        }
        form.SetCurSel(ctl::FilterType, 16);
        dlg.OnFilterTypeChanged();
        for (const ModulatedParam& row : kModulatedParams) dlg.RefreshModParam(row);
        app.m_mute = 0;
        ports.bytes.clear();
    }

    // The parameter messages on the wire as (page, controller, value) from page + parameter CC pairs.
    struct Sent {
        int page, parameter, value;
        bool operator==(const Sent&) const = default;
    };
    std::vector<Sent> SentMessages() const {
        std::vector<Sent> out;
        const Bytes& b = ports.bytes;
        EXPECT_EQ(b.size() % 6, 0u);
        for (std::size_t i = 0; i + 5 < b.size(); i += 6) {
            EXPECT_EQ(b[i + 1], 16);
            out.push_back({b[i + 2], b[i + 4], b[i + 5]});
        }
        return out;
    }

    // Every message a Control Change on channel 1 and every data byte below 0x80.
    void ExpectWellFormedWire() const {
        for (std::size_t i = 0; i < ports.bytes.size(); ++i) {
            if (i % 3 == 0) {
                EXPECT_EQ(ports.bytes[i], 0xB0) << "byte " << i;
            } else {
                EXPECT_LT(ports.bytes[i], 0x80) << "byte " << i;
            }
        }
    }
};
