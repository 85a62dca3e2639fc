// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiOutPorts.h"
#include "platform/MidiPortSignals.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class RtMidiOut;
class JackMidiOutput;
class MidiPortWatch;

// The MIDI output devices of this machine: the ALSA sequencer's ports (through RtMidi) first, then the MIDI
// inputs of the JACK server (our own JACK client, jackd or PipeWire's JACK library alike).
// Every call re-reads the port lists, so devices that come and go are seen at once.
// A back end that is missing (no sequencer device, no JACK server) simply has no ports;
// it is looked for again, at most once a second, when the list is read.
// Use from one thread, except Send/SendAt, which the send queue's pacer calls from its own while a device is
// open (the ALSA sequencer handle is shared under a lock); the change handler is called from elsewhere.
class RtMidiPorts : public MidiOutPorts {
public:
    static constexpr const char* kClientName = "QuarnEdit";
    // The name of the program's JACK and ALSA clients: kClientName, or the session manager's client id, so
    // that the session's connections find it again. Set before the first device is listed.
    static void SetClientName(const std::string& name);
    static std::string ClientName();
    // A new name while running (a session manager's switch): with no JACK device open, the JACK client
    // leaves at once and comes back under the new name at the next reading of the list.
    void RenameClient(const std::string& name);
    static constexpr const char* kPortName = "QuarnEdit out";

    RtMidiPorts();
    ~RtMidiPorts() override;
    RtMidiPorts(const RtMidiPorts&) = delete;
    RtMidiPorts& operator=(const RtMidiPorts&) = delete;

    int Count() override;
    std::optional<std::string> Name(int index) override;
    bool Open(int index) override;
    std::size_t Close() override;
    void Send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    // JACK stamps the message with its due time; the ALSA sequencer sends it now.
    void SendAt(std::chrono::steady_clock::time_point due, std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                std::uint32_t tag) override;
    // JACK's: what was written around an overrun (the ALSA sequencer confirms nothing).
    std::optional<TagRange> TakeUnsure() override;
    std::chrono::microseconds Lookahead() override;

    bool IsOpen() const { return m_open != Backend::None; }
    // Messages that Send could not hand on (device or server gone, server stalled, driver error), all told.
    std::uint64_t DroppedMessages() const { return m_dropped; }
    // Stalls and overruns the JACK server has had while we were connected (a new server starts again at 0).
    // Around one, delivery cannot be confirmed, and a close counts such messages as not delivered.
    std::uint64_t JackServerFaults() const;
    // The open device went away (unplugged, its client quit, its server died): sends are dropped at once
    // until a device is opened again.
    bool OpenDeviceLost() const;

    // Tells `handler` when the port list may have changed or the open device has gone. It is called on a
    // library thread (JACK's notification thread or our watch thread), never on the caller's: it must not
    // call back into this object, only hand the news to its own thread. An empty handler stops the calls.
    // Setting one also starts the watch for the ALSA sequencer's announcements and for a JACK server
    // that appears later.
    void SetChangeHandler(MidiPortChangeHandler handler);

    // The JACK client opens on a thread of its own (a stale lock in libjack's database or a frozen server
    // holds an open for ever); a reading of the list waits this long for it at most, and then lists the
    // ALSA ports alone until it answers (the change handler hears when it does).
    static constexpr std::chrono::milliseconds kJackAnswerWait{2000};
    static constexpr const char* kJackSilentText = "JACK does not answer: its MIDI ports are not listed";
    // An open that JACK does not answer in time (a frozen server) gives up: the device is not open.
    static std::string JackOpenSilentText(const std::string& device);
    // The JACK client, looked for as a reading of the list does (bounded); null when there is no server. The
    // input devices read through it.
    std::shared_ptr<JackMidiOutput> JackClient();
    // A port of this program's own (its input or output), which is never listed as a device.
    static bool IsOwnAlsaPort(const std::string& name);

    // Called once, on the thread reading the list, when JACK has not answered within the wait, with a text
    // for the user; again only after JACK has answered since. The same for an open that JACK does not answer.
    void SetNoticeHandler(std::function<void(const std::string&)> handler) { m_notice = std::move(handler); }

private:
    enum class Backend { None, Alsa, Jack };
    struct Location {
        Backend backend;
        unsigned int port;
    };

    void Refresh();
    void RefreshAlsa(std::chrono::steady_clock::time_point now);
    void RefreshJack(std::chrono::steady_clock::time_point now);
    void StartJackConnect();
    unsigned int AlsaCount();
    // RtMidi's indexes of the ALSA ports that are devices (our own left out).
    std::vector<unsigned int> AlsaPorts();
    std::optional<Location> Locate(int index);
    void Dropped();

    std::shared_ptr<MidiPortSignals> m_signals;
    std::unique_ptr<RtMidiOut> m_alsa;
    std::shared_ptr<JackMidiOutput> m_jack;
    struct JackConnect;
    std::unique_ptr<JackConnect> m_connecting;  // the open under way on a thread of its own
    bool m_jackSilenceTold = false;
    bool m_openSilenceTold = false;
    std::function<void(const std::string&)> m_notice;
    std::unique_ptr<MidiPortWatch> m_watch;
    std::chrono::steady_clock::time_point m_nextAlsaTry{};
    std::chrono::steady_clock::time_point m_nextJackTry{};
    Backend m_open = Backend::None;
    bool m_failed = false;  // set by the RtMidi error callback
    std::atomic<std::uint64_t> m_dropped{0};
    std::atomic<std::uint64_t> m_droppedSinceOpen{0};
    std::mutex m_alsaMutex;  // RtMidi's ALSA object, used by the pacer's sends and the lists alike
};
