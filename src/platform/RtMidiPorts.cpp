// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RtMidiPorts.h"

#include "platform/AlsaAddress.h"
#include "platform/BoundedCall.h"
#include "platform/JackMidiOutput.h"
#include "platform/MidiPortWatch.h"

#include <RtMidi.h>
#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <cstdlib>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRetryInterval = std::chrono::seconds(1);

void QuietJack(const char*) {}
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

// RtMidi, libjack and alsa-lib all write their complaints to stderr; a missing sequencer or
// JACK server is an ordinary state for us, not worth a word. QUARN_MIDI_DEBUG keeps them.
void SilenceLibraryDiagnostics() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (std::getenv("QUARN_MIDI_DEBUG") != nullptr) return;
        jack_set_error_function(QuietJack);
        jack_set_info_function(QuietJack);
        snd_lib_error_set_handler(QuietAlsa);
    });
}

// With an error callback installed RtMidi reports instead of printing or throwing.
void FlagError(RtMidiError::Type, const std::string&, void* failed) { *static_cast<bool*>(failed) = true; }

std::unique_ptr<RtMidiOut> MakeOut(RtMidi::Api api, bool* failed) {
    try {
        auto out = std::make_unique<RtMidiOut>(api, RtMidiPorts::ClientName());
        out->setErrorCallback(&FlagError, failed);
        return out;
    } catch (const RtMidiError&) {
        return nullptr;  // e.g. no /dev/snd/seq
    }
}

}  // namespace

namespace {
std::mutex g_clientNameMutex;
std::string g_clientName = RtMidiPorts::kClientName;
}  // namespace

void RtMidiPorts::SetClientName(const std::string& name) {
    std::lock_guard lock(g_clientNameMutex);
    g_clientName = name;
}

std::string RtMidiPorts::ClientName() {
    std::lock_guard lock(g_clientNameMutex);
    return g_clientName;
}

void RtMidiPorts::RenameClient(const std::string& name) {
    if (name == ClientName()) return;
    SetClientName(name);
    if (m_open == Backend::Jack || m_connecting) return;  // keeps its name until it is closed and found again
    if (m_jack) {
        JackMidiOutput::Release(std::move(m_jack));
        m_jack.reset();
        m_signals->jackBack.store(true);  // looked for again at once, under the new name
    }
}

// The back ends are looked for on first use: start-up shows the window before it opens a device.
RtMidiPorts::RtMidiPorts() : m_signals(std::make_shared<MidiPortSignals>()) { SilenceLibraryDiagnostics(); }

RtMidiPorts::~RtMidiPorts() {
    Close();
    m_watch.reset();  // no more news from here on
    m_signals->SetHandler(nullptr);
    JackMidiOutput::Release(std::move(m_jack));
}

// The client of an open under way. Shared with the thread that opens it: when nobody takes the client (the
// ports went first), it closes it there.
struct RtMidiPorts::JackConnect {
    struct Slot {
        std::mutex mutex;
        std::shared_ptr<JackMidiOutput> client;
        bool finished = false;
        bool late = false;  // the reading of the list stopped waiting: tell it when the open ends
        bool abandoned = false;
    };
    std::shared_ptr<Slot> slot = std::make_shared<Slot>();
    std::optional<BackgroundCall> call;
    bool waited = false;  // a reading of the list has waited for it already

    ~JackConnect() {
        std::lock_guard lock(slot->mutex);
        slot->abandoned = true;
        JackMidiOutput::Release(std::move(slot->client));
    }
    // The open's end, once it has ended; never waits. Marks it late when it has not.
    std::optional<std::shared_ptr<JackMidiOutput>> Outcome() {
        std::lock_guard lock(slot->mutex);
        if (!slot->finished) {
            slot->late = true;
            return std::nullopt;
        }
        return std::move(slot->client);
    }
};

void RtMidiPorts::SetChangeHandler(MidiPortChangeHandler handler) {
    const bool watching = static_cast<bool>(handler);
    m_signals->SetHandler(std::move(handler));
    if (watching && !m_watch) m_watch = std::make_unique<MidiPortWatch>(m_signals);
    if (!watching) m_watch.reset();
}

void RtMidiPorts::StartJackConnect() {
    m_nextJackTry = Clock::now() + kRetryInterval;
    m_connecting = std::make_unique<JackConnect>();
    // Not missing while the open is under way: the watch's own probe would only queue behind it.
    m_signals->jackMissing.store(false);
    m_connecting->call.emplace([slot = m_connecting->slot, signals = m_signals] {
        std::shared_ptr<JackMidiOutput> client = JackMidiOutput::Connect(ClientName().c_str(), signals);
        if (!client) signals->jackMissing.store(true);
        bool tell = false;
        {
            std::lock_guard lock(slot->mutex);
            slot->finished = true;
            tell = slot->late && !slot->abandoned;
            if (!slot->abandoned) slot->client = std::move(client);
        }
        JackMidiOutput::Release(std::move(client));
        if (tell) signals->Notify(MidiPortChange::ListChanged);
    });
}

void RtMidiPorts::Refresh() {
    const auto now = Clock::now();
    RefreshAlsa(now);
    RefreshJack(now);
}

void RtMidiPorts::RefreshAlsa(Clock::time_point now) {
    if (m_alsa || now < m_nextAlsaTry) return;
    m_nextAlsaTry = now + kRetryInterval;
    // RtMidi prints before it throws when there is no sequencer, and its error callback can
    // only be installed afterwards; so we look for the sequencer first.
    snd_seq_t* probe = nullptr;
    if (snd_seq_open(&probe, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0) return;
    snd_seq_close(probe);
    m_alsa = MakeOut(RtMidi::LINUX_ALSA, &m_failed);
}

void RtMidiPorts::RefreshJack(Clock::time_point now) {
    // A client whose server died never comes back; an open device keeps its client until it is closed,
    // so that the close can count what was lost.
    if (m_jack && m_jack->ServerGone() && m_open != Backend::Jack) {
        JackMidiOutput::Release(std::move(m_jack));
        m_jack.reset();
        m_signals->jackMissing.store(true);
    }
    if (m_jack) return;
    if (!m_connecting) {
        // The watch saw a server come: no need to wait out the retry interval.
        if (!m_signals->jackBack.exchange(false) && now < m_nextJackTry) return;
        StartJackConnect();
    }
    // The first reading waits for the open; later ones only look, the change handler says when it ends.
    const auto wait = m_connecting->waited ? std::chrono::milliseconds(0) : kJackAnswerWait;
    m_connecting->waited = true;
    m_connecting->call->WaitFor(wait);
    std::optional<std::shared_ptr<JackMidiOutput>> outcome = m_connecting->Outcome();
    if (!outcome) {
        if (!m_jackSilenceTold && m_notice) m_notice(kJackSilentText);
        m_jackSilenceTold = true;
        return;
    }
    m_connecting.reset();
    m_jack = std::move(*outcome);
    if (m_jack) m_jackSilenceTold = false;
}

bool RtMidiPorts::IsOwnAlsaPort(const std::string& name) {
    const std::string own = ClientName() + ":";
    return name.compare(0, own.size(), own) == 0;
}

std::vector<unsigned int> RtMidiPorts::AlsaPorts() {
    std::vector<unsigned int> ports;
    std::lock_guard lock(m_alsaMutex);
    if (!m_alsa) return ports;
    for (unsigned int i = 0, count = m_alsa->getPortCount(); i < count; ++i)
        if (!IsOwnAlsaPort(m_alsa->getPortName(i))) ports.push_back(i);
    return ports;
}

unsigned int RtMidiPorts::AlsaCount() { return static_cast<unsigned int>(AlsaPorts().size()); }

std::shared_ptr<JackMidiOutput> RtMidiPorts::JackClient() {
    RefreshJack(Clock::now());
    return m_jack;
}

std::optional<RtMidiPorts::Location> RtMidiPorts::Locate(int index) {
    Refresh();
    if (index < 0) return std::nullopt;
    auto i = static_cast<unsigned int>(index);
    const std::vector<unsigned int> alsa = AlsaPorts();
    if (i < alsa.size()) return Location{Backend::Alsa, alsa[i]};
    i -= static_cast<unsigned int>(alsa.size());
    if (m_jack && i < m_jack->InputPorts().size()) return Location{Backend::Jack, i};
    return std::nullopt;
}

int RtMidiPorts::Count() {
    Refresh();
    const std::size_t jack = m_jack ? m_jack->InputPorts().size() : 0;
    return static_cast<int>(AlsaCount() + jack);
}

std::optional<std::string> RtMidiPorts::Name(int index) {
    const auto where = Locate(index);
    if (!where) return std::nullopt;
    if (where->backend == Backend::Jack) {
        // The list may have changed since Locate read it.
        const std::vector<std::string> ports = m_jack->InputPorts();
        if (where->port >= ports.size()) return std::nullopt;
        return ports[where->port];
    }
    std::lock_guard lock(m_alsaMutex);
    m_failed = false;
    std::string name = m_alsa->getPortName(where->port);
    if (m_failed || name.empty()) return std::nullopt;
    return name;
}

bool RtMidiPorts::Open(int index) {
    Close();
    const auto where = Locate(index);
    if (!where) return false;
    m_droppedSinceOpen = 0;
    if (where->backend == Backend::Jack) {
        const std::vector<std::string> ports = m_jack->InputPorts();
        if (where->port >= ports.size()) return false;
        switch (m_jack->Open(ports[where->port], kPortName)) {
            case JackMidiOutput::OpenResult::Opened: break;
            case JackMidiOutput::OpenResult::Refused: return false;
            case JackMidiOutput::OpenResult::NoAnswer:
                // Told once while the server stands still; the caller says what it does instead.
                if (!m_openSilenceTold && m_notice) m_notice(JackOpenSilentText(ports[where->port]));
                m_openSilenceTold = true;
                return false;
        }
        m_openSilenceTold = false;
        m_open = Backend::Jack;
        return true;
    }

    std::lock_guard lock(m_alsaMutex);
    m_failed = false;
    const std::string target = m_alsa->getPortName(where->port);
    m_alsa->openPort(where->port, kPortName);
    if (m_failed || !m_alsa->isPortOpen()) {
        m_alsa->closePort();
        return false;
    }
    m_signals->alsaTargetLost.store(false);
    m_signals->alsaTarget.store(AlsaPortAddress(target).value_or(-1));
    m_open = Backend::Alsa;
    return true;
}

std::size_t RtMidiPorts::Close() {
    std::size_t undelivered = 0;
    switch (m_open) {
        case Backend::None: return 0;
        case Backend::Alsa: {
            m_signals->alsaTarget.store(-1);
            std::lock_guard lock(m_alsaMutex);
            m_alsa->closePort();
            break;
        }
        case Backend::Jack: undelivered = m_jack->Close(); break;
    }
    m_open = Backend::None;
    return static_cast<std::size_t>(m_droppedSinceOpen.load()) + undelivered;
}

std::string RtMidiPorts::JackOpenSilentText(const std::string& device) {
    return "JACK does not answer: " + device + " could not be opened";
}

std::uint64_t RtMidiPorts::JackServerFaults() const { return m_jack ? m_jack->ServerFaults() : 0; }

bool RtMidiPorts::OpenDeviceLost() const {
    switch (m_open) {
        case Backend::None: return false;
        case Backend::Alsa: return m_signals->alsaTargetLost.load();
        case Backend::Jack: return m_jack->TargetLost();
    }
    return false;
}

void RtMidiPorts::Dropped() {
    ++m_dropped;
    ++m_droppedSinceOpen;
}

void RtMidiPorts::Send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    SendAt(Clock::now(), status, data1, data2, 0);
}

std::chrono::microseconds RtMidiPorts::Lookahead() {
    return m_open == Backend::Jack ? m_jack->Lookahead() : std::chrono::microseconds{};
}

std::optional<MidiOutPorts::TagRange> RtMidiPorts::TakeUnsure() {
    return m_open == Backend::Jack ? m_jack->TakeUnsure() : std::nullopt;
}

void RtMidiPorts::SendAt(Clock::time_point due, std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                         std::uint32_t tag) {
    switch (m_open) {
        case Backend::None: return;
        case Backend::Alsa: {
            if (m_signals->alsaTargetLost.load()) {
                Dropped();
                return;
            }
            // The sequencer handle is non-blocking, so this returns at once even when full.
            const unsigned char message[3] = {status, data1, data2};
            std::lock_guard lock(m_alsaMutex);
            m_failed = false;
            m_alsa->sendMessage(message, sizeof message);
            if (m_failed) Dropped();
            return;
        }
        case Backend::Jack:
            if (!m_jack->SendAt(due, status, data1, data2, tag)) Dropped();
            return;
    }
}
