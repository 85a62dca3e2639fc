// SPDX-License-Identifier: GPL-3.0-or-later
// The output device as the user knows it: by name, through hot-plug, lost and back, and what a close lost.
#include "app/OutputDeviceSession.h"

#include "app/FrameSlot.h"
#include "app/ports/Profile.h"
#include "editor/ports/UserDialogs.h"
#include "midi/MidiSink.h"

#include <algorithm>

std::string DeviceDisplayName(MidiOutPorts& ports, int id) {
    // A vanished index still gets a name, so every message stays well formed.
    return ports.Name(id).value_or("(unknown device " + std::to_string(id) + ")");
}

std::string UndeliveredText(std::size_t lost, std::size_t sent) {
    return std::to_string(lost) + " of " + std::to_string(sent) + " messages were not delivered";
}

MessageRequest DeviceNotice(std::string text) {
    return {std::move(text), "Info", MessageButtons::Ok, MessageIcon::None, MessageOwner::MainWindow};
}

OutputDeviceSession::OutputDeviceSession(MidiOutPorts& ports, Profile& profile, UserDialogs& dialogs,
                                         const FrameSlot& frame, OutputSinks& sinks)
    : m_ports(ports), m_profile(profile), m_dialogs(dialogs), m_frame(frame), m_sinks(sinks) {}

int OutputDeviceSession::FindDevice(const std::string& name) {
    for (int i = 0, count = m_ports.Count(); i < count; ++i)
        if (m_ports.Name(i) == name) return i;
    return -1;
}

int OutputDeviceSession::StoredDevice() {
    const std::string name = m_profile.GetProfileString(kProfileSection, kProfileDeviceNameKey, "");
    const int named = name.empty() ? -1 : FindDevice(name);
    return named >= 0 ? named : m_profile.GetProfileInt(kProfileSection, kProfileDeviceKey, 0);
}

void OutputDeviceSession::StoreDevice(int id) {
    m_profile.WriteProfileInt(kProfileSection, kProfileDeviceKey, id);
    if (std::optional<std::string> name = m_ports.Name(id))
        m_profile.WriteProfileString(kProfileSection, kProfileDeviceNameKey, *name);
}

void OutputDeviceSession::UseDevice(int id) {
    m_sinks.SetOutputDevice(id);
    StoreDevice(id);
}

void OutputDeviceSession::OpenStartupDevice() {
    m_sinks.SetOutputDevice(m_profile.GetProfileInt(kProfileSection, kProfileDeviceKey, 0));
    const std::string storedName = m_profile.GetProfileString(kProfileSection, kProfileDeviceNameKey, "");
    if (storedName.empty()) {
        if (OpenOutput(m_sinks.OutputDevice())) {
            // The name is kept beside the index, which stays as it was: from now on the device is followed by
            // its name, also into the next start, when other devices may have taken its index.
            if (!m_openDeviceName.empty())
                m_profile.WriteProfileString(kProfileSection, kProfileDeviceNameKey, m_openDeviceName);
            return;
        }
    } else if (const int named = FindDevice(storedName); named >= 0 && OpenOutput(named)) {
        // The stored device, wherever it is now. Without it the stored index may name another instrument, so
        // that is never opened silently: the fallback below tells the user what is used instead.
        if (named != m_sinks.OutputDevice()) {
            m_sinks.SetOutputDevice(named);
            m_profile.WriteProfileInt(kProfileSection, kProfileDeviceKey, named);
        }
        return;
    }

    const int count = m_ports.Count();
    for (int i = 0; i < count; ++i) {
        if (!OpenOutput(i)) continue;
        UseDevice(i);
        m_dialogs.ShowMessage(DeviceNotice("MIDI Output Device has been changed to " + DeviceDisplayName(m_ports, i)));
        return;
    }
}

void OutputDeviceSession::OnOutputDevice() {
    m_deviceNames = DeviceNames();
    // While the open device is gone its old index may name another one: preselect it by name, or nothing.
    auto indexOf = [this](const std::string& name) {
        const auto found = std::find(m_deviceNames.begin(), m_deviceNames.end(), name);
        return found == m_deviceNames.end() ? -1 : static_cast<int>(found - m_deviceNames.begin());
    };
    const int current = m_deviceLost ? indexOf(m_openDeviceName) : m_sinks.OutputDevice();
    // Devices may come and go while the dialog is open; it then shows the new list (DeviceListChanged), and
    // the device to open is the one whose name the user picked, wherever it is now.
    const std::optional<int> chosen = m_dialogs.RunDeviceDialog(m_deviceNames, current);
    if (!chosen || *chosen < 0 || *chosen >= static_cast<int>(m_deviceNames.size())) return;
    const std::string chosenName = m_deviceNames[static_cast<std::size_t>(*chosen)];
    MidiPortSink& port = m_sinks.CreatePortSink();
    const bool isOpen = port.deviceHandle() != MidiPortSink::kNoDevice;
    if (isOpen && chosenName == m_openDeviceName) return;
    const int device = FindDevice(chosenName);

    // The test note ends on the device that plays it, and what the old device could not take is told.
    if (m_beforeSwitch) m_beforeSwitch();
    const std::size_t sent = port.SentSinceOpen();
    const std::size_t lost = port.CloseDevice();
    const std::string previousName = m_openDeviceName;
    bool opened = device >= 0 && OpenOutput(device);
    if (opened) {
        UseDevice(device);
    } else {
        m_dialogs.ShowMessage(DeviceNotice(chosenName + " could not be opened, reverting to " +
                                           DeviceDisplayName(m_ports, m_sinks.OutputDevice())));
        const int previous = previousName.empty() ? -1 : FindDevice(previousName);
        opened = OpenOutput(previous >= 0 ? previous : m_sinks.OutputDevice());
    }
    if (isOpen) ReportUndelivered(lost, sent, previousName);
    // Whatever opened may hold anything: it is brought to hold what the form shows.
    if (opened) Agree();
}

void OutputDeviceSession::Agree() {
    if (m_agree) m_agree();
}

bool OutputDeviceSession::OpenOutput(int id) {
    MidiPortSink& port = m_sinks.CreatePortSink();
    if (!port.OpenDevice(id)) return false;
    m_openDeviceName = m_ports.Name(id).value_or("");
    m_deviceLost = false;
    return true;
}

std::vector<std::string> OutputDeviceSession::DeviceNames() {
    std::vector<std::string> names;
    for (int i = 0, count = m_ports.Count(); i < count; ++i) names.push_back(DeviceDisplayName(m_ports, i));
    return names;
}

void OutputDeviceSession::OnMidiPortsChanged(MidiPortChange change) {
    MidiPortSink* port = m_sinks.PortSink();
    if (port == nullptr) return;
    if (change == MidiPortChange::OpenDeviceLost) {
        DeviceLost();
        return;
    }
    m_deviceNames = DeviceNames();
    m_dialogs.DeviceListChanged(m_deviceNames);
    if (m_openDeviceName.empty()) return;
    const int now = FindDevice(m_openDeviceName);
    if (m_deviceLost) {
        if (now < 0 || !OpenOutput(now)) return;
        UseDevice(now);
        m_frame.ShowNotice(m_openDeviceName + " is back: changes are sent to it again.");
        // It may have missed changes, or been switched off and on: what it holds is not known.
        Agree();
        return;
    }
    if (port->deviceHandle() == MidiPortSink::kNoDevice) return;
    if (now < 0) {
        // Gone from the list without a word from its server: gone all the same.
        DeviceLost();
    } else if (now != m_sinks.OutputDevice()) {
        // Another device came or went before it: the same instrument under a new index.
        UseDevice(now);
    }
}

void OutputDeviceSession::DeviceLost() {
    MidiPortSink* port = m_sinks.PortSink();
    if (m_deviceLost || port == nullptr || port->deviceHandle() == MidiPortSink::kNoDevice) return;
    m_deviceLost = true;
    // Nothing waits for a device that is gone: what is queued for it is dropped.
    port->CloseDevice(MidiPortSink::Queued::Drop);
    // Said where it does not take the keyboard from a musician who plays on: no box to answer.
    m_frame.ShowNotice(m_openDeviceName + " is gone: changes are not sent until it is back.");
}

void OutputDeviceSession::OnMidiPortsNotice(const std::string& text) { m_frame.ShowNotice(text); }

void OutputDeviceSession::CloseForExit(bool tell) {
    // The window may still say what the device could not take before the program ends.
    MidiPortSink* port = m_sinks.PortSink();
    if (port == nullptr || port->deviceHandle() == MidiPortSink::kNoDevice || m_deviceLost) return;
    const std::size_t sent = port->SentSinceOpen();
    const std::size_t lost = port->CloseDevice();
    if (tell) ReportUndelivered(lost, sent, m_openDeviceName);
}

void OutputDeviceSession::ReportUndelivered(std::size_t lost, std::size_t sent, const std::string& device) {
    if (lost == 0) return;
    m_dialogs.ShowMessage(DeviceNotice(UndeliveredText(lost, sent) + " to " + device));
}
