// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The input device session: the keyboard or knob box the user plays and turns, by name through hot-plug,
// and what becomes of its messages (passed on to the synthesizer, or handed to the controller bindings).

#include "midi/MidiInParser.h"
#include "midi/MidiOutPorts.h"

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class ControllerInput;
class FrameSlot;
class MidiInPorts;
class MidiMonitor;
class OutputSinks;
class Profile;
class UserDialogs;

// The channel the program sends on: the synthesizer listens there, so what is played on any channel of the
// input is passed on there.
constexpr std::uint8_t kSynthesizerChannel = 0;

// What an input message does when nobody took it as a controller.
enum class InputRoute {
    Thru,        // passed on to the synthesizer, re-channelled
    Controller,  // for the controller bindings only: never passed on as it is
    Drop,
};
// Notes, pitch bend, key and channel pressure, the modulation wheel (CC 1) and sustain (CC 64) go through;
// every other Control Change is for the bindings alone: the page select (CC 16) and the synthesizer's parameter
// numbers would change its sound or break the pairing of a page select and its parameter.
InputRoute RouteOf(const ChannelMessage& message);
// The page select or a parameter number of the synthesizer's.
bool IsParameterController(int controller);
// The message on the synthesizer's channel.
ChannelMessage Rechannelled(const ChannelMessage& message);

// The input device as the user knows it: none at first; chosen in MIDI Options > Input Device..., kept by
// index and name in the profile, opened at start-up, followed through hot-plug (gone and back said once), and
// its messages routed on the program's thread.
class InputDeviceSession {
public:
    InputDeviceSession(Profile& profile, UserDialogs& dialogs, const FrameSlot& frame, OutputSinks& sinks);

    // The platform's input devices; null: none at all (the window-less commands).
    void SetPorts(MidiInPorts* ports) { m_ports = ports; }
    // Who is asked first about every Control Change; null: nobody, and the ones that cannot pass are dropped.
    void SetControllerInput(ControllerInput* controllers) { m_controllers = controllers; }
    // Told of every input message while it watches; null: nobody.
    void SetMonitor(MidiMonitor* monitor) { m_monitor = monitor; }

    // Start-up: the stored device, found by its name wherever it is now; nothing when None is stored.
    void OpenStartupDevice();
    // MIDI Options > Input Device...: "None" and the devices; the choice is opened by its name.
    void OnInputDevice();
    // MIDI Options > MIDI Thru: on or off, kept in the profile.
    void OnMidiThru();
    bool IsThruOn() const { return m_thru; }
    // A device is chosen (open, or gone and waited for).
    bool HasDevice() const { return !m_deviceName.empty(); }
    bool IsDeviceLost() const { return m_lost; }
    const std::string& DeviceName() const { return m_deviceName; }
    // The platform's news about its devices: follows the chosen device by name, says once when it goes and
    // when it is back.
    void OnMidiPortsChanged(MidiPortChange change);
    // Messages arrived: takes and routes them.
    void OnInputReceived();
    // The program ends.
    void Close();

private:
    std::vector<std::string> DeviceNames();
    int FindDevice(const std::string& name);
    bool OpenInput(int index);
    void Route(const ChannelMessage& message, std::uint32_t arrived);
    // Stops the input: closes the source and ends on the synthesizer what it left sounding.
    void StopInput();
    // Note offs for the notes passed on and not yet released, and the sustain pedal up: nothing of the
    // keyboard's hangs on when it is closed, gone or no longer passed on.
    void ReleaseHeld();

    Profile& m_profile;
    UserDialogs& m_dialogs;
    const FrameSlot& m_frame;
    OutputSinks& m_sinks;
    MidiInPorts* m_ports = nullptr;
    ControllerInput* m_controllers = nullptr;
    MidiMonitor* m_monitor = nullptr;
    MidiInParser m_parser;
    std::vector<std::uint8_t> m_bytes;
    std::vector<std::uint32_t> m_arrived;  // each byte's arrival
    std::vector<ChannelMessage> m_messages;
    std::string m_deviceName;  // the chosen device; empty: None
    bool m_open = false;
    bool m_lost = false;
    bool m_thru = true;
    bool m_dialogOpen = false;    // the Input Device dialog, which follows the list
    std::bitset<128> m_sounding;  // notes passed on and not yet released
    bool m_sustained = false;     // the sustain pedal passed on down
};
