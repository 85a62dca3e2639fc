// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The output device session: the device by name, through hot-plug, lost and back, and what a close lost.

#include "midi/MidiOutPorts.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class FrameSlot;
class MidiPortSink;
struct MessageRequest;
class Profile;
class UserDialogs;

// A device's name for the user, with a fixed placeholder when the platform cannot name the index.
std::string DeviceDisplayName(MidiOutPorts& ports, int id);
// "3 of 66 messages were not delivered": what a close of the device could not hand on.
std::string UndeliveredText(std::size_t lost, std::size_t sent);

// A notice about a device for the user, in a message box of the main window.
MessageRequest DeviceNotice(std::string text);

// What the session needs of the owner of the port sink and of the current device id.
class OutputSinks {
public:
    virtual ~OutputSinks() = default;
    // The port sink, created on first use.
    virtual MidiPortSink& CreatePortSink() = 0;
    // The port sink, or null before its first use.
    virtual MidiPortSink* PortSink() = 0;
    virtual std::int32_t OutputDevice() const = 0;
    virtual void SetOutputDevice(std::int32_t id) = 0;
};

// The output device as the user knows it: opened by its name at start-up and from the MIDI Options dialog,
// followed through hot-plug to its new index, reported once when it goes and reopened when it comes back, and
// what a close could not deliver told to the user.
class OutputDeviceSession {
public:
    OutputDeviceSession(MidiOutPorts& ports, Profile& profile, UserDialogs& dialogs, const FrameSlot& frame,
                        OutputSinks& sinks);

    // Runs before the device is switched, so a note still sounding ends on the device that plays it.
    void SetBeforeSwitch(std::function<void()> beforeSwitch) { m_beforeSwitch = std::move(beforeSwitch); }
    // Brings the open device to hold what the form shows (no question, never given way to). Called whenever a
    // device was opened anew by the session (back, reopened, switched to), whose account is then unknown, so
    // it gets the whole patch.
    void SetAgree(std::function<void()> agree) { m_agree = std::move(agree); }

    // A device's name for the user, also for an index that names none.
    std::string DeviceName(int id) { return DeviceDisplayName(m_ports, id); }
    // The device of that name now, or -1.
    int FindDevice(const std::string& name);
    // The device the profile names: by its name where it has one and that device is there, else by its index.
    int StoredDevice();
    // Start-up: the stored device wherever it is now, else the first that opens, and the user is told which.
    void OpenStartupDevice();
    // MIDI Options > Output Device...: the user's choice, opened by its name; the old one is closed first.
    void OnOutputDevice();
    // The platform's news about its devices, on the program's own thread: follows the open device to its new
    // index, tells the user once when it goes, and reopens it by name when it comes back.
    void OnMidiPortsChanged(MidiPortChange change);
    // A notice of the platform about its devices (a back end that does not answer), told as a device loss is.
    void OnMidiPortsNotice(const std::string& text);
    // The open device went away and has not come back yet.
    bool IsDeviceLost() const { return m_deviceLost; }
    // The program ends: closes the open device and tells what it could not take, unless `tell` is false (the
    // session manager ends the program, and a dialog would wait for an answer that never comes).
    void CloseForExit(bool tell = true);

private:
    // Opens a device on the port sink and remembers its name, to find it again when indexes move.
    bool OpenOutput(int id);
    std::vector<std::string> DeviceNames();
    void DeviceLost();
    void Agree();
    void ReportUndelivered(std::size_t lost, std::size_t sent, const std::string& device);
    // Remembers the device by index and by name.
    void StoreDevice(int id);
    // The device now in use, for the application and the profile.
    void UseDevice(int id);

    MidiOutPorts& m_ports;
    Profile& m_profile;
    UserDialogs& m_dialogs;
    const FrameSlot& m_frame;
    OutputSinks& m_sinks;
    std::function<void()> m_beforeSwitch;
    std::function<void()> m_agree;
    std::string m_openDeviceName;
    bool m_deviceLost = false;
    std::vector<std::string> m_deviceNames;  // as the MIDI Options dialog shows them
};
