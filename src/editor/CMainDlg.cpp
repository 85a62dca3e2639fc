// SPDX-License-Identifier: GPL-3.0-or-later
// The editor form: its data exchange, the control handlers, the source lists and the whole-patch transmission.
#include "editor/CMainDlg.h"

#include "editor/ControlTable.h"
#include "editor/FixedLists.h"
#include "editor/ports/FormDocument.h"
#include "editor/ports/FormHost.h"
#include "editor/ports/FormWindow.h"
#include "editor/ports/ProgramLocation.h"
#include "editor/ports/QuickLoadLibrary.h"
#include "editor/ports/UserDialogs.h"
#include "midi/MidiSink.h"
#include "util/ScopedFlag.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <optional>

CMainDlg* g_mainDlg = nullptr;
std::uint8_t g_updatingValueBox = 0;
bool skipTransmitQuestion = false;

namespace {

std::vector<std::string> ToStrings(auto const& names) { return std::vector<std::string>(names.begin(), names.end()); }

}  // namespace

const std::array<std::int32_t CMainDlg::*, kSlotCount> CMainDlg::kSlotFields{
    &CMainDlg::m_midiChannel, &CMainDlg::m_dco1Amp,     &CMainDlg::m_dco1Row3,    &CMainDlg::m_dco1Offset,
    &CMainDlg::m_dco1Pulsew,  &CMainDlg::m_dco2Amp,     &CMainDlg::m_dco2Row3,    &CMainDlg::m_dco2Offset,
    &CMainDlg::m_dco2Pulsew,  &CMainDlg::m_env1Offset,  &CMainDlg::m_env2Offset,  &CMainDlg::m_dco1Octave,
    &CMainDlg::m_dco2Octave,  &CMainDlg::m_env1Attack,  &CMainDlg::m_env1Decay,   &CMainDlg::m_env1Level,
    &CMainDlg::m_env1Release, &CMainDlg::m_env1Sustain, &CMainDlg::m_env2Attack,  &CMainDlg::m_env2Decay,
    &CMainDlg::m_env2Level,   &CMainDlg::m_env2Release, &CMainDlg::m_env2Sustain, &CMainDlg::m_step,
    &CMainDlg::m_arpeg,       &CMainDlg::m_cutoff1,     &CMainDlg::m_cutoff2,
};

std::int32_t ParseLeadingInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t n = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) n = std::min(kLimit, n * 10 + (text[i] - '0'));
    if (negative) return static_cast<std::int32_t>(-n);
    return static_cast<std::int32_t>(std::min<std::int64_t>(n, std::numeric_limits<std::int32_t>::max()));
}

CMainDlg::CMainDlg(FormHost& host) : m_host(host) {
    m_form.SetTextChangedHandler([this](int id) { OnTextChanged(id); });
}

CMainDlg::~CMainDlg() {
    if (g_mainDlg == this) g_mainDlg = nullptr;
}

std::int32_t& CMainDlg::Slot(int slot) { return this->*kSlotFields.at(static_cast<std::size_t>(slot)); }
std::int32_t CMainDlg::Slot(int slot) const { return this->*kSlotFields.at(static_cast<std::size_t>(slot)); }

void CMainDlg::OnInitialUpdate() {
    g_mainDlg = this;
    if (m_initialised == 0) InitControls();
}

void CMainDlg::InitControls() {
    m_initialised = 1;
    std::vector<std::string> channels;
    for (int c = 1; c <= kMidiChannelCount; ++c) channels.push_back(std::to_string(c));
    m_form.SetEntries(ctl::MidiChannel, std::move(channels));
    m_form.SetCurSel(ctl::MidiChannel, 0);

    for (const ControlDef& def : FormControls())
        if (def.kind == ControlKind::Slider) m_form.SetRange(def.id, 0, def.rangeMax);

    std::vector<std::string> waves = ToStrings(kWaveformNames);
    waves.insert(waves.end(), g_modSourceNames.begin(), g_modSourceNames.end());
    m_form.SetEntries(ctl::Dco1Wave, waves);
    m_form.SetEntries(ctl::Dco2Wave, waves);
    m_form.SetEntries(ctl::Dco1Dist, ToStrings(kDistNames));
    m_form.SetEntries(ctl::Dco2Dist, ToStrings(kDistNames));
    std::vector<std::string> filterTypes;
    for (const FilterType& type : kFilterTypes) filterTypes.emplace_back(type.name);
    m_form.SetEntries(ctl::FilterType, std::move(filterTypes));
    m_form.SetEntries(ctl::Dco1Row3Mode, ToStrings(kRow3ModeNames));
    m_form.SetEntries(ctl::Dco2Row3Mode, ToStrings(kRow3ModeNames));
}

void CMainDlg::UpdateData(bool saveAndValidate) { DoDataExchange(saveAndValidate); }

void CMainDlg::DoDataExchange(bool saveAndValidate) {
    if (saveAndValidate) {
        m_midiChannel = m_form.GetCurSel(ctl::MidiChannel);
        for (int slot = 1; slot < kSlotCount; ++slot) Slot(slot) = m_form.GetPos(kSlotControls[slot]);
    } else {
        m_form.SetCurSel(ctl::MidiChannel, m_midiChannel);
        for (int slot = 1; slot < kSlotCount; ++slot) m_form.SetPos(kSlotControls[slot], Slot(slot));
    }
}

// ---- dispatch -----------------------------------------------------------------------------------

void CMainDlg::OnScrollSlider(int id) {
    if (const PlainSlider* plain = FindRow(kPlainSliders, &PlainSlider::slider, id)) {
        OnPlainSlider(*plain);
    } else if (const ModulatedParam* mod = FindRow(kModulatedParams, &ModulatedParam::slider, id)) {
        RefreshModParam(*mod);
    }
}

void CMainDlg::OnSelChange(int id) {
    if (id == ctl::MidiChannel) return OnMidiChannelChanged();
    if (id == ctl::FilterType) return OnFilterTypeChanged();
    if (const ModulatedParam* mod = FindRow(kModulatedParams, &ModulatedParam::sourceList, id))
        return OnModSourceChanged(*mod);
    if (const Oscillator* osc = FindRow(kOscillators, &Oscillator::wave, id)) return OnWaveChanged(*osc);
    if (const Oscillator* osc = FindRow(kOscillators, &Oscillator::dist, id)) return OnDistChanged(*osc);
    if (const Oscillator* osc = FindRow(kOscillators, &Oscillator::modeList, id)) return OnRow3ModeChanged(*osc);
}

void CMainDlg::OnClicked(int id) {
    if (id == ctl::Comment) return OnComment();
    if (id == ctl::QuickLoad) return OnQuickLoad();
    if (const BitBox* box = FindRow(kSwitchBoxes, &BitBox::box, id)) return OnSwitchBox(*box);
    if (const BitBox* box = FindRow(kFilterBoxes, &BitBox::box, id)) return OnFilterBox(*box);
}

void CMainDlg::OnTextChanged(int id) {
    if (id == ctl::PatchName) return OnPatchNameChanged();
    if (id == ctl::Author) return OnAuthorChanged();
    if (const PlainSlider* plain = FindRow(kPlainSliders, &PlainSlider::valueBox, id)) OnValueBoxChanged(*plain);
}

// ---- sending ------------------------------------------------------------------------------------

// Data bytes stop at 0x7F: a wide send covers 0..255 and a page-3 send 0..127. A value outside that
// could only come from a word with bits above 7 or a list without a selection; those never go out.
void CMainDlg::SendWide(std::int32_t parameter, std::int32_t value) {
    if (value < 0 || value > 255) return;
    if (m_transmitSent >= 0) ++m_transmitSent;
    Sink()->SendWide(ParamMessage(parameter, value));
}

void CMainDlg::SendPage3(std::int32_t parameter, std::int32_t value) {
    if (value < 0 || value > 127) return;
    if (m_transmitSent >= 0) ++m_transmitSent;
    Sink()->SendPage3(ParamMessage(parameter, value));
}

MidiSink* CMainDlg::HostSink() { return m_host.GetActiveSink(); }

MidiSink* CMainDlg::Sink() { return m_sinkOverride != nullptr ? m_sinkOverride : m_host.GetActiveSink(); }

bool CMainDlg::SendConditionHolds(SendCondition condition) const {
    switch (condition) {
        case SendCondition::Always: return true;
        case SendCondition::FilterMode123: return m_filterMode >= 1 && m_filterMode <= 3;
        case SendCondition::FilterMode3: return m_filterMode == 3;
    }
    return false;
}

// ---- handlers -----------------------------------------------------------------------------------

void CMainDlg::OnPlainSlider(const PlainSlider& row) {
    UpdateData(true);
    ShowValue(Slot(row.slot), row.valueBox);
    std::int32_t value = Slot(row.slot);
    if (row.modeList != kNoId) {
        const int mode = m_form.GetCurSel(row.modeList);
        if (mode < 0) return;  // no row-3 mode chosen yet: there is no value to send
        value = OctaveValue(value, mode);
    }
    SendWide(row.parameter, value);
}

void CMainDlg::OnValueBoxChanged(const PlainSlider& row) {
    if (g_updatingValueBox != 0) return;
    const std::int32_t n = std::clamp(ParseLeadingInt(m_form.GetText(row.valueBox)), 0, 255);
    m_form.SetPos(row.slider, n);
    OnPlainSlider(row);
}

void CMainDlg::OnWaveChanged(const Oscillator& osc) {
    UpdateData(true);
    const int w = m_form.GetCurSel(osc.wave);
    if (w < kWaveformCount) {
        // Without a waveform or a distortion chosen there is no value to send; the list is enabled all the same.
        const int d = m_form.GetCurSel(osc.dist);
        if (w >= 0 && d >= 0) SendWide(osc.parameter, WaveValue(w, d));
        m_form.Enable(osc.dist, true);
    } else {
        SendPage3(osc.parameter, WaveSource(w));
        m_form.Enable(osc.dist, false);
    }
}

void CMainDlg::OnDistChanged(const Oscillator& osc) {
    const int w = m_form.GetCurSel(osc.wave);
    const int d = m_form.GetCurSel(osc.dist);
    if (w < 0 || d < 0) return;
    SendWide(osc.parameter, WaveValue(w, d));
}

void CMainDlg::OnRow3ModeChanged(const Oscillator& osc) {
    OnPlainSlider(*FindRow(kPlainSliders, &PlainSlider::slider, osc.octaveSlider));
}

void CMainDlg::OnSwitchBox(const BitBox& box) {
    m_switchBits &= ~box.mask;
    if (m_form.IsChecked(box.box)) m_switchBits |= box.mask;
    SendWide(kSwitchParameter, m_switchBits & kWordMask);
}

void CMainDlg::OnFilterBox(const BitBox& box) {
    m_filterBits &= ~box.mask;
    if (m_form.IsChecked(box.box)) m_filterBits |= box.mask;
    SendWide(kFilterParameter, m_filterBits & kWordMask);
}

void CMainDlg::OnFilterTypeChanged() {
    const int s = m_form.GetCurSel(ctl::FilterType);
    const FilterType* type =
        s >= 0 && s < static_cast<int>(kFilterTypes.size()) ? &kFilterTypes[static_cast<std::size_t>(s)] : nullptr;
    if (type != nullptr) {
        SetFilterMode(type->mode);
        for (int id : {ctl::Cutoff1, ctl::Cutoff1Source, ctl::Cutoff1Label}) m_form.Enable(id, type->cutoff1Enabled);
        for (int id : {ctl::Cutoff2, ctl::Cutoff2Source, ctl::Cutoff2Label}) m_form.Enable(id, type->cutoff2Enabled);
        m_form.SetText(ctl::Cutoff1Label, std::string(type->cutoff1Label));
        m_form.SetText(ctl::Cutoff2Label, std::string(type->cutoff2Label));
    }
    // Without a filter type the mode, rows and labels stay, but Boost and the routing code go.
    m_form.Enable(ctl::Boost, type != nullptr && type->boostEnabled);
    m_filterBits = (m_filterBits & ~kFilterRoutingMask) | (type != nullptr ? type->code : 0);
    SendWide(kFilterParameter, m_filterBits & kWordMask);
}

void CMainDlg::OnMidiChannelChanged() { UpdateData(true); }

void CMainDlg::ShowValue(std::int32_t value, int boxId) {
    // The value is already applied: showing it raises no change of the box, so nothing re-enters its handler.
    const ScopedFlag updating(g_updatingValueBox);
    m_form.ShowText(boxId, std::to_string(value));
}

void CMainDlg::SetFilterMode(std::int32_t mode) { m_filterMode = mode; }

// ---- modulation source lists --------------------------------------------------------------------

void CMainDlg::FillSourceList(std::int32_t value, int listId) {
    // A filled list differs only in its first entry: rewriting that one leaves the list as refilling would.
    if (m_form.GetCount(listId) == kSourceListEntryCount) {
        m_form.SetEntryText(listId, kFixedValueEntry, std::to_string(value));
    } else {
        std::vector<std::string> entries;
        entries.reserve(kSourceListEntryCount);
        entries.push_back(std::to_string(value));
        entries.insert(entries.end(), g_modSourceNames.begin(), g_modSourceNames.end());
        m_form.SetEntries(listId, std::move(entries));
    }
    m_form.SetCurSel(listId, kFixedValueEntry);
}

void CMainDlg::RefreshModParam(const ModulatedParam& row) {
    UpdateData(true);
    FillSourceList(Slot(row.slot), row.sourceList);
    if (SendConditionHolds(row.condition)) SendWide(row.parameter, Slot(row.slot));
}

void CMainDlg::OnModSourceChanged(const ModulatedParam& row) {
    UpdateData(true);
    const int s = m_form.GetCurSel(row.sourceList);
    if (s == kFixedValueEntry) return RefreshModParam(row);
    if (s > kFixedValueEntry && SendConditionHolds(row.condition)) SendPage3(row.parameter, SourceOfEntry(s));
}

// ---- transmit all -------------------------------------------------------------------------------

void CMainDlg::SendCutoffRow(const ModulatedParam& row) {
    if (SendConditionHolds(row.condition)) return OnModSourceChanged(row);
    // A row the filter type turns off goes out as it stands.
    const int s = m_form.GetCurSel(row.sourceList);
    if (s == kFixedValueEntry) {
        SendWide(row.parameter, Slot(row.slot));
    } else if (s > kFixedValueEntry) {
        SendPage3(row.parameter, SourceOfEntry(s));
    }
}

std::string CMainDlg::TransmitQuestion() const {
    return "Transmit all data from " + (m_patchName.empty() ? std::string("[unnamed]") : ShownText(m_patchName));
}

void CMainDlg::TransmitAll(bool ask, Superseded superseded) {
    const std::string question = TransmitQuestion();
    if (skipTransmitQuestion) {
        skipTransmitQuestion = false;
    } else if (ask) {
        MessageRequest request{question, "Question", MessageButtons::YesNo, MessageIcon::None, MessageOwner::Form};
        if (m_host.Dialogs().ShowMessage(request) != MessageAnswer::Yes) return;
    }

    // Counts its messages while it runs, for those who watch what goes out.
    struct Counting {
        int& sent;
        explicit Counting(int& s) : sent(s) { sent = 0; }
        ~Counting() { sent = -1; }
    } counting(m_transmitSent);
    // Where this transmission goes: a look at what it would send (an override) must not drop what is queued.
    const WholePatchScope wholePatch(*Sink(), superseded == Superseded::ByNext);

    SendWide(kSwitchParameter, m_switchBits & kWordMask);
    SendWide(kFilterParameter, m_filterBits & kWordMask);

    // The value boxes' flag stays set from the plain sliders to the end.
    std::optional<ScopedFlag<std::uint8_t>> updating;
    for (PatchPart part : kPatchOrder) {
        switch (part) {
            case PatchPart::Oscillators:
                for (const Oscillator& osc : kOscillators) OnWaveChanged(osc);
                break;
            case PatchPart::Row3Modes:
                for (const Oscillator& osc : kOscillators) OnRow3ModeChanged(osc);
                break;
            case PatchPart::SourceRows:
                for (int list : kSourceListOrder)
                    OnModSourceChanged(*FindRow(kModulatedParams, &ModulatedParam::sourceList, list));
                break;
            case PatchPart::PlainSliders:
                updating.emplace(g_updatingValueBox);
                for (const PlainSlider& row : kPlainSliders) OnPlainSlider(row);
                break;
            case PatchPart::FilterType: OnFilterTypeChanged(); break;
            case PatchPart::CutoffRows:
                if (m_filterMode < 0 || m_filterMode >= static_cast<int>(kCutoffOrderByMode.size())) return;
                for (const ModulatedParam* row : kCutoffOrderByMode[static_cast<std::size_t>(m_filterMode)])
                    SendCutoffRow(*row);
                break;
        }
    }
}

namespace {

// Keeps what a transmission would send, in order; nothing goes out.
class TransmissionRecorder : public MidiSink {
public:
    Transmission messages;
    void SendWide(ParamMessage m) override { messages.push_back({ParamSend::Kind::Wide, m}); }
    void SendPage3(ParamMessage m) override { messages.push_back({ParamSend::Kind::Page3, m}); }
    void SendDirect(ParamMessage m) override { messages.push_back({ParamSend::Kind::Direct, m}); }
    void SendChannelMessage(std::uint8_t, std::uint8_t, std::uint8_t) override {}
};

}  // namespace

Transmission CMainDlg::RecordTransmitAll() {
    TransmissionRecorder recorder;
    const SinkOverride to(*this, recorder);
    // A look at what would be sent must leave a pending "skip the question" for the transmission it is meant for.
    const bool skipQuestion = skipTransmitQuestion;
    TransmitAll(false);
    skipTransmitQuestion = skipQuestion;
    return std::move(recorder.messages);
}

void CMainDlg::SendWhatDiffers() { Sink()->SendWhatDiffers(RecordTransmitAll()); }

// ---- default patch ------------------------------------------------------------------------------

void CMainDlg::OpenDefaultPatch() {
    const std::string path = (m_location != nullptr ? m_location->ProgramDirectory() : std::string()) + "default.qnp";
    if (m_document == nullptr) return;
    if (!m_document->OnOpenDocument(path)) {
        m_host.Dialogs().ShowMessage(
            {"Error Opening default patch", "QuarnEdit", MessageButtons::Ok, MessageIcon::None, MessageOwner::Form});
    }
}

void CMainDlg::OnQuickLoad() {
    std::array<char, kQuickLoadBufferSize> buffer{};
    buffer[0] = '.';
    if (m_libraries == nullptr) return;
    std::unique_ptr<DynamicLibrary> library = m_libraries->Load(kQuickLoadLibraryName);
    if (!library) return;
    QuickLoadEntry entry = library->FindQuickLoadEntry(kQuickLoadEntryName);
    if (entry == nullptr) return;

    auto [x, y] = m_window != nullptr ? m_window->ClientOriginOnScreen() : std::pair<int, int>{0, 0};
    entry(buffer.data(), m_window != nullptr ? m_window->WindowId() : 0, x + kQuickLoadMenuX, y + kQuickLoadMenuY);
    buffer.back() = '\0';  // the callee may leave the path unterminated: the buffer ends it
    if (buffer[0] == '\0' || m_document == nullptr) return;

    const std::string path(buffer.data());
    if (!m_document->SaveModified()) return;
    bool opened = false;
    {
        const ScopedFlag skipQuestion(skipTransmitQuestion);
        opened = m_document->OnOpenDocument(path);
    }
    // The document is now the file that was loaded, so that a save goes there and never over another file.
    if (opened) m_document->OnOpenedByForm(path);
}
