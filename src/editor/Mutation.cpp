// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/Mutation.h"

#include "editor/CMainDlg.h"
#include "editor/ControlNames.h"
#include "midi/MidiSink.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <tuple>
#include <vector>

namespace {

// What a whole-patch transmission sends, as (parameter, page, value) in order; nothing goes out.
class TransmissionRecorder : public MidiSink {
public:
    using Message = std::tuple<int, int, int>;
    std::vector<Message> messages;

    void SendWide(ParamMessage m) override { messages.emplace_back(m.parameter(), m.value() > 127 ? 2 : 1, m.value()); }
    void SendPage3(ParamMessage m) override { messages.emplace_back(m.parameter(), 3, m.value()); }
    void SendDirect(ParamMessage m) override { messages.emplace_back(m.parameter(), 0, m.value()); }
    void SendChannelMessage(std::uint8_t, std::uint8_t, std::uint8_t) override {}

    // The first message of each parameter.
    std::map<int, Message> FirstByParameter() const {
        std::map<int, Message> first;
        for (const Message& m : messages) first.emplace(std::get<0>(m), m);
        return first;
    }
};

// Passes on only the first message of each of `parameters`.
class ChangedOnly : public MidiSink {
public:
    ChangedOnly(MidiSink& target, std::set<int> parameters) : m_target(target), m_parameters(std::move(parameters)) {}
    void SendWide(ParamMessage m) override {
        if (Take(m.parameter())) m_target.SendWide(m);
    }
    void SendPage3(ParamMessage m) override {
        if (Take(m.parameter())) m_target.SendPage3(m);
    }
    void SendDirect(ParamMessage m) override {
        if (Take(m.parameter())) m_target.SendDirect(m);
    }
    void SendChannelMessage(std::uint8_t, std::uint8_t, std::uint8_t) override {}

private:
    bool Take(int parameter) { return m_parameters.erase(parameter) != 0; }
    MidiSink& m_target;
    std::set<int> m_parameters;
};

std::map<int, TransmissionRecorder::Message> FirstMessages(CMainDlg& form) {
    TransmissionRecorder recorder;
    const CMainDlg::SinkOverride to(form, recorder);
    form.TransmitAll(false);
    return recorder.FirstByParameter();
}

bool InChosenSection(int id, const MutationSettings& settings) {
    const std::string_view section = SectionOf(id);
    for (std::size_t i = 0; i < kMutationSections.size(); ++i)
        if (settings.sections[i] && kMutationSections[i] == section) return true;
    return false;
}

}  // namespace

bool MutatePatch(CMainDlg& form, const MutationSettings& settings, std::mt19937& random, bool randomize) {
    FormState& state = form.form();
    const int amount = std::clamp(settings.amountPercent, 1, 100);
    const EditFields before = form.CaptureFields();
    const auto sentBefore = FirstMessages(form);

    std::uniform_int_distribution<int> percent(0, 99);
    {
        // The handlers that keep the form consistent run, but send nothing.
        TransmissionRecorder discard;
        const CMainDlg::SinkOverride quiet(form, discard);
        for (const ControlDef& def : FormControls()) {
            if (def.id == kNoId || def.id == ctl::MidiChannel || !InChosenSection(def.id, settings)) continue;
            if (!state.IsEnabled(def.id)) continue;
            switch (def.kind) {
                case ControlKind::Slider: {
                    const ControlState& s = state.Get(def.id);
                    const int reach = static_cast<int>(std::lround((s.rangeMax - s.rangeMin) * amount / 100.0));
                    std::uniform_int_distribution<int> by(-reach, reach);
                    state.SetPos(def.id, s.position + by(random));
                    // A plain slider shows its value; a modulated one keeps its source list's choice and shows
                    // the new value as that list's first entry.
                    if (const ModulatedParam* row = FindRow(kModulatedParams, &ModulatedParam::slider, def.id)) {
                        const int choice = state.GetCurSel(row->sourceList);
                        state.SetEntryText(row->sourceList, kFixedValueEntry, std::to_string(state.GetPos(def.id)));
                        state.SetCurSel(row->sourceList, choice);
                    } else {
                        form.OnScrollSlider(def.id);
                    }
                    break;
                }
                case ControlKind::List: {
                    const int count = state.GetCount(def.id);
                    if (count < 2 || percent(random) >= amount) break;
                    const int current = state.GetCurSel(def.id);
                    std::uniform_int_distribution<int> pick(0, count - 2);
                    int next = pick(random);
                    if (current >= 0 && next >= current) ++next;  // another entry than the one shown
                    state.SetCurSel(def.id, next);
                    if (FindRow(kModulatedParams, &ModulatedParam::sourceList, def.id) == nullptr)
                        form.OnSelChange(def.id);
                    break;
                }
                case ControlKind::CheckBox:
                    if (percent(random) >= amount) break;
                    state.SetCheck(def.id, !state.IsChecked(def.id));
                    form.OnClicked(def.id);
                    break;
                default: break;
            }
        }
    }

    const EditFields after = form.CaptureFields();
    const auto sentAfter = FirstMessages(form);
    std::set<int> changed;
    for (const auto& [parameter, message] : sentAfter) {
        const auto was = sentBefore.find(parameter);
        if (was == sentBefore.end() || was->second != message) changed.insert(parameter);
    }
    if (!changed.empty()) {
        ChangedOnly sink(*form.HostSink(), std::move(changed));
        const CMainDlg::SinkOverride to(form, sink);
        form.TransmitAll(false);
    }
    form.RecordProgramEdit(randomize ? CMainDlg::kRandomizeStep : CMainDlg::kMutateStep, before, after);
    return before != after;
}
