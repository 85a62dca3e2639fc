// SPDX-License-Identifier: GPL-3.0-or-later
// Plays arbitrary bytes from an input device into the program, in pieces as a device may deliver them
// (running status across reads, messages split, system exclusive, real time in the middle, garbage). The
// first byte chooses how the pieces are cut, whether Thru is on and which controllers a binding takes.
// Whatever comes, the synthesizer only ever gets whole channel messages on its channel, of the kinds that
// pass, and never a page select or a parameter number as it came from the input.
#include "EditorRig.h"

#include "app/ControllerInput.h"
#include "app/InputDeviceSession.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_midi_input: %s\n", what);
    std::abort();
}

// Takes the controllers whose number has the chosen low bits, as a learn binding would.
struct SomeBindings : ControllerInput {
    std::uint8_t mask = 0;
    bool OnInputControlChange(int channel, int controller, int value, std::uint32_t, std::string& what) override {
        Require(channel >= 0 && channel < 16 && controller >= 0 && controller < 128 && value >= 0 && value < 128,
                "a controller out of range reached the bindings");
        if ((controller & 7) != (mask & 7)) return false;
        what = "bound";
        return true;
    }
};

void RequireThruOnly(const Bytes& bytes) {
    Require(bytes.size() % 3 == 0, "a partial message was sent");
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint8_t status = bytes[i];
        Require((status & 0x0F) == kSynthesizerChannel, "a message off the synthesizer's channel");
        Require(bytes[i + 1] < 0x80 && bytes[i + 2] < 0x80, "a data byte out of range");
        const ChannelMessage m{status, bytes[i + 1], bytes[i + 2]};
        Require(RouteOf(m) == InputRoute::Thru, "a message that must not pass was passed on");
        if ((status & 0xF0) == 0xB0) Require(!IsParameterController(m.data1), "a parameter controller passed raw");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t choice = data[0];
    static EditorRig* const rig = [] {
        auto* r = new EditorRig;
        r->dlg.OnInitialUpdate();
        r->app.CreatePortSink().OpenDevice(0);
        return r;
    }();
    static FakeInputPorts inputs;
    static SomeBindings bindings;
    static bool opened = [] {
        rig->app.Inputs().SetPorts(&inputs);
        rig->app.SetControllerInput(&bindings);
        rig->dialogs.inputDeviceAnswers = {1};
        rig->app.Inputs().OnInputDevice();
        return rig->app.Inputs().HasDevice();
    }();
    Require(opened, "the input did not open");
    bindings.mask = static_cast<std::uint8_t>(choice >> 4);
    if (rig->app.Inputs().IsThruOn() != ((choice & 0x08) == 0)) rig->app.Inputs().OnMidiThru();
    rig->ports.bytes.clear();

    // Pieces of 1 to 8 bytes, as reads of a device may cut them, their bytes arriving two by two: a message
    // may arrive in parts, each part of a piece at its own time.
    const std::size_t piece = (choice & 0x07) + 1;
    for (std::size_t at = 1; at < size; at += piece) {
        const std::size_t end = std::min(size, at + piece);
        inputs.received.assign(data + at, data + end);
        inputs.arrived.clear();
        for (std::size_t i = at; i < end; ++i) inputs.arrived.push_back(static_cast<std::uint32_t>(i / 2));
        rig->app.Inputs().OnInputReceived();
    }
    RequireThruOnly(rig->ports.bytes);
    if (!rig->app.Inputs().IsThruOn()) Require(rig->ports.bytes.empty(), "Thru is off, yet something passed");
    return 0;
}
