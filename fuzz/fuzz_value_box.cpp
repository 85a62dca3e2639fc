// SPDX-License-Identifier: GPL-3.0-or-later
// Types arbitrary text into a value box of a shown form. The first byte picks the box (and, for the two
// Octave boxes, the row-3 mode beside them: none or one of four); the rest is the text. Whatever is typed,
// the slider stays in its range, the box ends up showing the slider's position, and only well-formed
// Control Changes go out. The leading-number parser is checked against a plain 64-bit reference.
#include "EditorRig.h"

#include "editor/FixedLists.h"
#include "editor/ParameterMap.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_value_box: %s\n", what);
    std::abort();
}

void RequireControlChanges(const Bytes& bytes) {
    Require(bytes.size() % 3 == 0, "partial message sent");
    for (std::size_t i = 0; i < bytes.size(); ++i)
        Require(i % 3 == 0 ? bytes[i] == 0xB0 : bytes[i] < 0x80, "status or data byte out of range");
}

// Written apart from the parser under test: accumulate in 64 bits, stop growing far above the 32-bit
// range, apply the sign, then saturate.
std::int64_t ReferenceLeadingInt(std::string_view text) {
    std::size_t i = 0;
    auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < text.size() && isSpace(text[i])) ++i;
    std::int64_t sign = 1;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) sign = text[i++] == '-' ? -1 : 1;
    std::int64_t n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (n < 10'000'000'000'000LL) n = n * 10 + (text[i] - '0');
    return std::clamp<std::int64_t>(sign * n, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::int64_t expected = ReferenceLeadingInt(text);
    Require(ParseLeadingInt(text) == expected, "ParseLeadingInt differs from the reference");

    EditorRig rig;
    Require(rig.ShowAndOpen(), "recording port did not open");
    CMainDlg& dlg = rig.dlg;
    RecordingPorts& ports = rig.ports;

    const PlainSlider& row = kPlainSliders[data[0] % kPlainSliders.size()];
    if (row.modeList != kNoId) {
        const int mode = static_cast<int>(data[0] / kPlainSliders.size() % (kRow3ModeNames.size() + 1)) - 1;
        dlg.form().SetCurSel(row.modeList, mode);
    }

    dlg.UserEdited(row.valueBox, text);

    const int rangeMax = dlg.form().Get(row.slider).rangeMax;
    const int position = dlg.form().GetPos(row.slider);
    Require(position >= 0 && position <= rangeMax, "slider outside its range");
    // The box clamps to 0..255, the slider then to its own range.
    Require(position == std::clamp<std::int64_t>(expected, 0, std::min(rangeMax, 255)),
            "slider not at the typed value");
    Require(dlg.Slot(row.slot) == position, "form field differs from the slider");
    Require(dlg.form().GetText(row.valueBox) == std::to_string(position), "box does not show the slider's position");
    RequireControlChanges(ports.bytes);
    return 0;
}
