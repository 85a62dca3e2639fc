// SPDX-License-Identifier: GPL-3.0-or-later
// The input device: by name through hot-plug, and what becomes of what it plays.
#include "app/InputDeviceSession.h"

#include "app/ControllerInput.h"
#include "app/FrameSlot.h"
#include "app/MidiMonitor.h"
#include "app/OutputDeviceSession.h"
#include "app/ports/Profile.h"
#include "editor/ParameterMap.h"
#include "editor/ports/UserDialogs.h"
#include "midi/MidiInPorts.h"
#include "midi/MidiSink.h"

#include <algorithm>
#include <array>
#include <span>

namespace {

constexpr int kNone = -1;
constexpr const char* kNoneText = "None";
constexpr int kModulationWheel = 1;
constexpr int kSustain = 64;

// The page select and every controller number a parameter of the synthesizer's is sent on.
constexpr std::array<bool, 128> ParameterControllers() {
    std::array<bool, 128> is{};
    is[kPageController] = true;
    is[kSwitchParameter] = true;
    is[kFilterParameter] = true;
    return is;
}

}  // namespace

bool IsParameterController(int controller) {
    if (controller < 0 || controller > 127) return false;
    static const std::array<bool, 128> table = [] {
        std::array<bool, 128> is = ParameterControllers();
        const auto mark = [&is](int parameter) { is[static_cast<std::size_t>(parameter & 0x7F)] = true; };
        for (const ModulatedParam& row : kModulatedParams) mark(row.parameter);
        for (const PlainSlider& row : kPlainSliders) mark(row.parameter);
        for (const Oscillator& row : kOscillators) mark(row.parameter);
        return is;
    }();
    return table[static_cast<std::size_t>(controller)];
}

InputRoute RouteOf(const ChannelMessage& message) {
    switch (message.status & 0xF0) {
        case 0x80:  // note off
        case 0x90:  // note on
        case 0xA0:  // key pressure
        case 0xD0:  // channel pressure
        case 0xE0:  // pitch bend
            return InputRoute::Thru;
        case 0xB0:
            if ((message.data1 == kModulationWheel || message.data1 == kSustain) &&
                !IsParameterController(message.data1))
                return InputRoute::Thru;
            return InputRoute::Controller;
        default: return InputRoute::Drop;  // program change, and anything that is no channel message
    }
}

ChannelMessage Rechannelled(const ChannelMessage& message) {
    return {static_cast<std::uint8_t>((message.status & 0xF0) | kSynthesizerChannel), message.data1, message.data2};
}

InputDeviceSession::InputDeviceSession(Profile& profile, UserDialogs& dialogs, const FrameSlot& frame,
                                       OutputSinks& sinks)
    : m_profile(profile), m_dialogs(dialogs), m_frame(frame), m_sinks(sinks) {
    m_thru = m_profile.GetProfileInt(kProfileSection, kProfileThruKey, 1) != 0;
}

std::vector<std::string> InputDeviceSession::DeviceNames() {
    std::vector<std::string> names;
    if (m_ports == nullptr) return names;
    for (int i = 0, count = m_ports->Count(); i < count; ++i)
        names.push_back(m_ports->Name(i).value_or("(unknown device " + std::to_string(i) + ")"));
    return names;
}

int InputDeviceSession::FindDevice(const std::string& name) {
    if (m_ports == nullptr || name.empty()) return kNone;
    for (int i = 0, count = m_ports->Count(); i < count; ++i)
        if (m_ports->Name(i) == name) return i;
    return kNone;
}

bool InputDeviceSession::OpenInput(int index) {
    if (m_ports == nullptr || index < 0 || !m_ports->Open(index)) return false;
    m_parser.Reset();
    m_open = true;
    m_lost = false;
    return true;
}

void InputDeviceSession::OpenStartupDevice() {
    if (m_ports == nullptr) return;
    const std::string name = m_profile.GetProfileString(kProfileSection, kProfileInputNameKey, "");
    const int stored = m_profile.GetProfileInt(kProfileSection, kProfileInputKey, kNone);
    // None (the default) touches no device at all.
    if (name.empty() || stored < 0) return;
    m_deviceName = name;
    const int now = FindDevice(name);
    if (now >= 0 && OpenInput(now)) {
        if (now != stored) m_profile.WriteProfileInt(kProfileSection, kProfileInputKey, now);
        return;
    }
    // Not there now: waited for under its name, as a device that went away is.
    m_lost = true;
    m_frame.ShowStatus(m_deviceName + " is not there: what it plays is read once it is back.");
}

void InputDeviceSession::OnInputDevice() {
    std::vector<std::string> names = DeviceNames();
    names.insert(names.begin(), kNoneText);
    int current = 0;
    if (!m_deviceName.empty()) {
        const auto found = std::find(names.begin() + 1, names.end(), m_deviceName);
        current = found == names.end() ? -1 : static_cast<int>(found - names.begin());
    }
    m_dialogOpen = true;
    const std::optional<int> chosen = m_dialogs.RunInputDeviceDialog(names, current);
    m_dialogOpen = false;
    if (!chosen || *chosen < 0 || *chosen >= static_cast<int>(names.size())) return;
    if (*chosen == 0) {
        if (m_deviceName.empty()) return;
        StopInput();
        m_lost = false;
        m_deviceName.clear();
        m_profile.WriteProfileInt(kProfileSection, kProfileInputKey, kNone);
        m_profile.WriteProfileString(kProfileSection, kProfileInputNameKey, "");
        m_frame.CommandsChanged();
        return;
    }
    const std::string chosenName = names[static_cast<std::size_t>(*chosen)];
    if (m_open && chosenName == m_deviceName) return;
    StopInput();
    const int device = FindDevice(chosenName);
    if (device < 0 || !OpenInput(device)) {
        m_deviceName.clear();
        m_lost = false;
        m_profile.WriteProfileInt(kProfileSection, kProfileInputKey, kNone);
        m_profile.WriteProfileString(kProfileSection, kProfileInputNameKey, "");
        m_dialogs.ShowMessage(DeviceNotice(chosenName + " could not be opened as the input device."));
        m_frame.CommandsChanged();
        return;
    }
    m_deviceName = chosenName;
    m_profile.WriteProfileInt(kProfileSection, kProfileInputKey, device);
    m_profile.WriteProfileString(kProfileSection, kProfileInputNameKey, chosenName);
    m_frame.CommandsChanged();
}

void InputDeviceSession::OnMidiThru() {
    m_thru = !m_thru;
    if (!m_thru) ReleaseHeld();
    m_profile.WriteProfileInt(kProfileSection, kProfileThruKey, m_thru ? 1 : 0);
    m_frame.CommandsChanged();
}

void InputDeviceSession::OnMidiPortsChanged(MidiPortChange change) {
    // Only the list tells about an input: a source that is no longer listed is gone.
    if (change != MidiPortChange::ListChanged || m_ports == nullptr) return;
    // With None and no dialog to tell, the devices are not even looked at.
    if (m_deviceName.empty() && !m_dialogOpen) return;
    std::vector<std::string> names = DeviceNames();
    names.insert(names.begin(), kNoneText);
    m_dialogs.InputDeviceListChanged(names);
    if (m_deviceName.empty()) return;
    const int now = FindDevice(m_deviceName);
    if (m_lost) {
        if (now < 0 || !OpenInput(now)) return;
        m_profile.WriteProfileInt(kProfileSection, kProfileInputKey, now);
        m_frame.ShowNotice(m_deviceName + " is back: what it plays is read again.");
        return;
    }
    if (now >= 0) {
        // Another device came or went before it: the same keyboard under a new index.
        if (now != m_profile.GetProfileInt(kProfileSection, kProfileInputKey, kNone))
            m_profile.WriteProfileInt(kProfileSection, kProfileInputKey, now);
        return;
    }
    m_lost = true;
    StopInput();
    // Said where it does not take the keyboard from a musician who plays on: no box to answer.
    m_frame.ShowNotice(m_deviceName + " is gone: what it plays is read again when it is back.");
}

void InputDeviceSession::OnInputReceived() {
    if (m_ports == nullptr) return;
    m_bytes.clear();
    m_arrived.clear();
    m_ports->TakeReceived(m_bytes, m_arrived);
    // A source closed or gone may still have left bytes in the hand-over: they are not played.
    if (!m_open) return;
    // The bytes that arrived together, fed together: what they complete arrived then. A message split over
    // two arrivals arrived with its last byte.
    m_arrived.resize(m_bytes.size(), m_arrived.empty() ? 0 : m_arrived.back());
    const std::span<const std::uint8_t> all(m_bytes);
    for (std::size_t start = 0; start < all.size();) {
        std::size_t end = start + 1;
        while (end < all.size() && m_arrived[end] == m_arrived[start]) ++end;
        m_messages.clear();
        m_parser.Feed(all.subspan(start, end - start), m_messages);
        for (const ChannelMessage& message : m_messages) Route(message, m_arrived[start]);
        start = end;
    }
}

void InputDeviceSession::Route(const ChannelMessage& message, std::uint32_t arrived) {
    const InputRoute route = RouteOf(message);
    std::string what;
    if ((message.status & 0xF0) == kControlChangeStatus && m_controllers != nullptr &&
        m_controllers->OnInputControlChange(message.status & 0x0F, message.data1, message.data2, arrived, what)) {
        if (m_monitor != nullptr) m_monitor->InputReceived(message, what);
        return;
    }
    MidiPortSink* sink = m_sinks.PortSink();
    const bool thru = route == InputRoute::Thru && m_thru;
    const bool open = sink != nullptr && sink->deviceHandle() != MidiPortSink::kNoDevice;
    // Shown as it arrived, before what it makes leaves.
    if (m_monitor != nullptr)
        m_monitor->InputReceived(message, !thru ? "ignored" : open ? "thru" : "not passed on: no output device");
    if (!thru || !open) return;
    const ChannelMessage out = Rechannelled(message);
    if (!sink->SendAhead(out.status, out.data1, out.data2)) return;
    const int kind = out.status & 0xF0;
    if (kind == kNoteOnStatus || kind == kNoteOffStatus) m_sounding[out.data1] = kind == kNoteOnStatus && out.data2 > 0;
    if (kind == kControlChangeStatus && out.data1 == kSustain) m_sustained = out.data2 >= 64;
}

void InputDeviceSession::Close() { StopInput(); }

void InputDeviceSession::StopInput() {
    if (m_open && m_ports != nullptr) m_ports->Close();
    m_open = false;
    ReleaseHeld();
}

void InputDeviceSession::ReleaseHeld() {
    MidiPortSink* sink = m_sinks.PortSink();
    if (sink != nullptr && sink->deviceHandle() != MidiPortSink::kNoDevice) {
        for (std::size_t note = 0; note < m_sounding.size(); ++note)
            if (m_sounding[note])
                sink->SendAhead(kNoteOffStatus | kSynthesizerChannel, static_cast<std::uint8_t>(note), 0);
        if (m_sustained) sink->SendAhead(kControlChangeStatus | kSynthesizerChannel, kSustain, 0);
    }
    m_sounding.reset();
    m_sustained = false;
}
