// SPDX-License-Identifier: GPL-3.0-or-later
// Controller bindings from any profile, then any Control Changes from the input with learns, forgets and undos
// between them. The first four bytes are the profile's count; the text up to the first NUL byte holds the
// binding entries, one a line; then come steps of four bytes: what to do and three bytes of it. Whatever comes,
// only well-formed Control Changes go out, a page select always with its parameter after it, every control
// stays in its range, a control has one controller at most, and the bindings read back from the profile as
// they were.
#include "EditorRig.h"

#include "app/ControllerLearn.h"
#include "editor/ControllerMapping.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_controllers: %s\n", what);
    std::abort();
}

// Targets to learn: every control of the form, some ids that are none, one outside the form.
int TargetOf(std::uint8_t pick) {
    const auto controls = FormControls();
    if (pick < controls.size()) return controls[pick].id;
    switch (pick % 4) {
        case 0: return kFirstExtraTarget;
        case 1: return kFirstExtraTarget + 1;  // never registered
        case 2: return -1;
        default: return 0x7fffffff;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    EditorRig rig;
    Require(rig.ShowAndOpen(), "recording port did not open");
    rig.FillAsLoaded();

    std::int32_t count = 0;
    std::memcpy(&count, data, sizeof count);
    rig.profile.ints["Controllers/Count"] = count;
    const char* text = reinterpret_cast<const char*>(data + 4);
    const std::size_t textSize = strnlen(text, size - 4);
    std::size_t line = 1;
    for (std::size_t start = 0; start <= textSize; ++line) {
        std::size_t end = start;
        while (end < textSize && text[end] != '\n') ++end;
        rig.profile.strings["Controllers/Binding" + std::to_string(line)] = std::string(text + start, end - start);
        start = end + 1;
    }

    ControllerLearn& learn = rig.app.Controllers();
    int extra = 0;
    learn.RegisterTarget(kFirstExtraTarget, {"Extra",
                                             300,
                                             [&] { return extra; },
                                             [&](int position) {
                                                 Require(position >= 0 && position <= 300,
                                                         "extra target outside its range");
                                                 extra = position;
                                             },
                                             // Open and closed by turns, as a morph window comes and goes.
                                             [&] { return extra % 2 == 0; },
                                             {}});
    learn.Load();

    std::string what;
    std::uint32_t arrived = 0;
    for (std::size_t at = 4 + textSize + 1; at + 4 <= size; at += 4) {
        const std::uint8_t op = data[at], a = data[at + 1], b = data[at + 2], c = data[at + 3];
        switch (op % 8) {
            case 5: learn.BeginLearn(TargetOf(a)); break;
            case 6: learn.Forget(TargetOf(a)); break;
            case 7:
                if (a % 2 == 0) {
                    learn.CancelLearn();
                } else {
                    rig.dlg.Undo();
                }
                break;
            default:
                // Channel and values beyond their ranges as well; arrivals close together and far apart, the
                // clock wrapping.
                arrived += static_cast<std::uint32_t>(op >> 3) * 1000u - (op == 0xF8 ? 0x80000000u : 0u);
                learn.OnInputControlChange(static_cast<int>(a) - 8, b, static_cast<int>(c) - (op & 0x80 ? 64 : 0),
                                           arrived, what);
                break;
        }
    }

    const Bytes& bytes = rig.ports.bytes;
    Require(bytes.size() % 3 == 0, "partial message sent");
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        Require(bytes[i] == 0xB0 && bytes[i + 1] < 0x80 && bytes[i + 2] < 0x80, "not a Control Change on channel 1");
        if (bytes[i + 1] == 16)
            Require(i + 5 < bytes.size() && bytes[i + 3] == 0xB0 && bytes[i + 4] != 16, "a page select alone");
    }
    for (const ControlDef& def : FormControls()) {
        if (def.kind != ControlKind::Slider) continue;
        const int position = rig.form.GetPos(def.id);
        Require(position >= 0 && position <= def.rangeMax, "slider outside its range");
    }
    std::set<int> targets;
    for (const ControllerBinding& b : learn.Bindings()) {
        Require(b.channel >= 0 && b.channel < 16 && b.controller >= 0 && b.controller < kFirstChannelModeController,
                "binding out of range");
        Require(!b.fine || b.controller < 32, "a pair above controller 31");
        Require(targets.insert(b.target).second, "two controllers on one control");
    }
    EditorRig again;
    again.profile = rig.profile;
    again.app.Controllers().Load();
    Require(again.app.Controllers().Bindings() == learn.Bindings(), "the profile reads back otherwise");
    return 0;
}
