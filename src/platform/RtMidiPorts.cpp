#include "platform/RtMidiPorts.h"

#include <RtMidi.h>
#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRetryInterval = std::chrono::seconds(1);

// RtMidi's JACK sender queues every message as an int length and its bytes in a 16 KiB
// ring that only its process callback empties, and when the ring is full sendMessage spins
// until there is room. With the server gone or stalled that is forever, so we keep our own
// account of what may still sit in the ring and never let it come near full.
constexpr std::size_t kJackRingBudget = 8192;  // half the ring
// How long one Send may wait for the server to catch up before the message is dropped.
constexpr auto kJackMaxWait = std::chrono::milliseconds(4);
constexpr auto kJackPoll = std::chrono::microseconds(250);
// A cycle that starts after a write has read it; our counter moving by three proves that
// one whole cycle has both started and finished since we looked.
constexpr std::uint64_t kDrainCycles = 3;

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
        auto out = std::make_unique<RtMidiOut>(api, RtMidiPorts::kClientName);
        out->setErrorCallback(&FlagError, failed);
        return out;
    } catch (const RtMidiError&) {
        return nullptr;  // e.g. no /dev/snd/seq
    }
}

}  // namespace

// The JACK side: RtMidi's client plus a port-less client of our own whose process callback
// counts cycles and whose shutdown callback tells us the server went away.
struct JackBackend {
    jack_client_t* monitor = nullptr;
    std::atomic<std::uint64_t> cycles{0};
    std::atomic<bool> shutdown{false};
    std::unique_ptr<RtMidiOut> out;

    // Bytes written since the mark, and between the previous mark and this one.
    std::uint64_t mark = 0;
    std::size_t newer = 0;
    std::size_t older = 0;
    std::uint64_t lastWrite = 0;  // cycle count read just before the latest write
    // Cycle count at the last wait that timed out: no progress since means no waiting again.
    std::optional<std::uint64_t> stalledAt;

    static std::unique_ptr<JackBackend> Create(bool* failed) {
        auto jack = std::make_unique<JackBackend>();
        // RtMidi 5 opens its client with JackNoStartServer too, so no server is ever spawned.
        jack->monitor = jack_client_open("QuarnEdit-monitor", JackNoStartServer, nullptr);
        if (jack->monitor == nullptr) return nullptr;
        jack_set_process_callback(jack->monitor, &JackBackend::OnProcess, jack.get());
        jack_on_shutdown(jack->monitor, &JackBackend::OnShutdown, jack.get());
        if (jack_activate(jack->monitor) != 0) return nullptr;
        jack->out = MakeOut(RtMidi::UNIX_JACK, failed);
        if (!jack->out) return nullptr;
        return jack;
    }

    ~JackBackend() {
        if (out && out->isPortOpen() && shutdown.load()) {
            // Closing waits up to a second for a process cycle that will never come; the
            // dead client is small, so it is left behind instead of freezing the editor (held by a
            // never-freed list, so that leak checkers see it is kept on purpose).
            static auto* const abandoned = new std::vector<std::unique_ptr<RtMidiOut>>;
            abandoned->push_back(std::move(out));
        }
        out.reset();
        if (monitor != nullptr) jack_client_close(monitor);
    }

    void ResetAccount() {
        mark = lastWrite = cycles.load(std::memory_order_acquire);
        newer = older = 0;
        stalledAt.reset();
    }

    // Forgets what the process callback must have read by now.
    std::uint64_t Roll() {
        const std::uint64_t now = cycles.load(std::memory_order_acquire);
        if (now >= lastWrite + kDrainCycles) {
            older = newer = 0;
            mark = now;
        } else if (now >= mark + kDrainCycles) {
            older = newer;
            newer = 0;
            mark = now;
        }
        return now;
    }

    bool Fits(std::size_t bytes) const { return older + newer + bytes <= kJackRingBudget; }

    // True when `bytes` more may go into RtMidi's ring without it ever filling up.
    bool Reserve(std::size_t bytes) {
        std::uint64_t now = Roll();
        if (!Fits(bytes)) {
            if (stalledAt && *stalledAt == now) return false;
            const auto deadline = Clock::now() + kJackMaxWait;
            while (!Fits(bytes)) {
                if (shutdown.load() || Clock::now() >= deadline) {
                    stalledAt = now;
                    return false;
                }
                std::this_thread::sleep_for(kJackPoll);
                now = Roll();
            }
        }
        stalledAt.reset();
        newer += bytes;
        lastWrite = now;
        return true;
    }

    static int OnProcess(jack_nframes_t, void* self) {
        static_cast<JackBackend*>(self)->cycles.fetch_add(1, std::memory_order_release);
        return 0;
    }
    static void OnShutdown(void* self) { static_cast<JackBackend*>(self)->shutdown.store(true); }
};

// The back ends are looked for on first use: start-up shows the window before it opens a device.
RtMidiPorts::RtMidiPorts() { SilenceLibraryDiagnostics(); }

RtMidiPorts::~RtMidiPorts() { Close(); }

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
    // A dead server's client never comes back; an open device keeps it until closed.
    if (m_jack && m_jack->shutdown.load() && m_open != Backend::Jack) m_jack.reset();
    if (m_jack || now < m_nextJackTry) return;
    m_nextJackTry = now + kRetryInterval;
    m_jack = JackBackend::Create(&m_failed);
}

unsigned int RtMidiPorts::AlsaCount() { return m_alsa ? m_alsa->getPortCount() : 0; }

unsigned int RtMidiPorts::JackCount() {
    if (!m_jack || m_jack->shutdown.load()) return 0;
    return m_jack->out->getPortCount();
}

std::optional<RtMidiPorts::Location> RtMidiPorts::Locate(int index) {
    Refresh();
    if (index < 0) return std::nullopt;
    auto i = static_cast<unsigned int>(index);
    const unsigned int alsa = AlsaCount();
    if (i < alsa) return Location{Backend::Alsa, i};
    i -= alsa;
    // RtMidi's JACK getPortName does not range-check, so every index is checked here first.
    if (i < JackCount()) return Location{Backend::Jack, i};
    return std::nullopt;
}

int RtMidiPorts::Count() {
    Refresh();
    return static_cast<int>(AlsaCount() + JackCount());
}

std::optional<std::string> RtMidiPorts::Name(int index) {
    const auto where = Locate(index);
    if (!where) return std::nullopt;
    RtMidiOut& out = where->backend == Backend::Alsa ? *m_alsa : *m_jack->out;
    m_failed = false;
    std::string name = out.getPortName(where->port);
    if (m_failed || name.empty()) return std::nullopt;
    return name;
}

bool RtMidiPorts::Open(int index) {
    Close();
    const auto where = Locate(index);
    if (!where) return false;
    if (where->backend == Backend::Jack) return OpenJack(where->port);

    m_failed = false;
    m_alsa->openPort(where->port, kPortName);
    if (m_failed || !m_alsa->isPortOpen()) {
        m_alsa->closePort();
        return false;
    }
    m_open = Backend::Alsa;
    return true;
}

bool RtMidiPorts::OpenJack(unsigned int port) {
    RtMidiOut& out = *m_jack->out;
    m_failed = false;
    const std::string target = out.getPortName(port);
    if (m_failed || target.empty()) return false;

    out.openPort(port, kPortName);
    if (m_failed || !out.isPortOpen()) {
        out.closePort();
        return false;
    }
    // RtMidi reports the port open even when jack_connect failed (the target vanished in
    // between), so look for our port among the target's connections.
    bool connected = false;
    if (jack_port_t* p = jack_port_by_name(m_jack->monitor, target.c_str())) {
        if (const char** links = jack_port_get_all_connections(m_jack->monitor, p)) {
            const std::string ours = std::string(":") + kPortName;
            for (const char** l = links; *l != nullptr && !connected; ++l) {
                const std::string link = *l;
                connected = link.rfind(kClientName, 0) == 0 && link.size() > ours.size() &&
                            link.compare(link.size() - ours.size(), ours.size(), ours) == 0;
            }
            jack_free(links);
        }
    }
    if (!connected) {
        out.closePort();
        return false;
    }
    m_jack->ResetAccount();
    m_open = Backend::Jack;
    return true;
}

void RtMidiPorts::Close() {
    switch (m_open) {
        case Backend::None:
            return;
        case Backend::Alsa:
            m_alsa->closePort();
            break;
        case Backend::Jack:
            if (m_jack->shutdown.load())
                m_jack.reset();
            else
                m_jack->out->closePort();
            break;
    }
    m_open = Backend::None;
}

void RtMidiPorts::Send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    const unsigned char message[3] = {status, data1, data2};
    switch (m_open) {
        case Backend::None:
            // Never hand RtMidi's JACK sender a message without an open port: nothing would
            // empty its ring and it would spin once the ring filled.
            return;
        case Backend::Alsa:
            // The sequencer handle is non-blocking, so this returns at once even when full.
            m_failed = false;
            m_alsa->sendMessage(message, sizeof message);
            if (m_failed) ++m_dropped;
            return;
        case Backend::Jack:
            SendJack(message, sizeof message);
            return;
    }
}

void RtMidiPorts::SendJack(const unsigned char* message, std::size_t size) {
    if (m_jack->shutdown.load() || !m_jack->Reserve(sizeof(int) + size)) {
        ++m_dropped;
        return;
    }
    m_jack->out->sendMessage(message, size);
}
