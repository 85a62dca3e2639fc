// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/JackMidiOutput.h"

#include "platform/BoundedCall.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long one Send may wait for room in a full ring before the message is dropped.
constexpr auto kSendMaxWait = 4ms;
constexpr auto kSendPoll = 250us;
// How long a close waits for the queue at most: enough for a server that stalls at the close, resumes and
// settles (see below).
constexpr auto kCloseMinWait = 500ms;
constexpr std::uint32_t kClosePeriods = 16;
constexpr auto kClosePoll = 1ms;
// Disconnecting, or taking the client off the server: a few ms when the server answers.
constexpr std::chrono::milliseconds kLeaveWait{500};
// A cycle this late, in periods (and never under the minimum), means the server stalled; after a stall
// nothing is written for the settling time.
constexpr int kStallPeriods = 4;
constexpr std::chrono::milliseconds kStallMin{50};
constexpr int kSettlePeriods = 8;
constexpr std::chrono::milliseconds kSettleMin{150};
// How long a notice of a lost connection is checked against the graph.
constexpr std::chrono::milliseconds kLossCheck{200};
// Cycles an open lets pass once the link shows in the graph, and how long it waits for all that at most.
constexpr std::uint64_t kLinkCycles = 3;
constexpr std::chrono::milliseconds kLinkWait{500};
// How long an open waits for the server at most (for the disconnect of the last close as well): a few ms
// when it answers, more on a loaded daemon.
constexpr std::chrono::milliseconds kOpenMaxWait{2000};

}  // namespace

struct JackCallbacks {
    static JackMidiOutput& Self(void* arg) { return *static_cast<JackMidiOutput*>(arg); }

    static int Process(jack_nframes_t nframes, void* arg) {
        Self(arg).Process(nframes);
        return 0;
    }
    static int BufferSize(jack_nframes_t nframes, void* arg) {
        Self(arg).m_periodFrames.store(nframes, std::memory_order_relaxed);
        return 0;
    }
    // jackd calls the one with a reason, PipeWire's library the plain one; we ask for both. JACK asks that
    // they behave like signal handlers: flags and a byte to a pipe, which the watch thread passes on.
    static void InfoShutdown(jack_status_t, const char*, void* arg) { Shutdown(arg); }
    static void Shutdown(void* arg) {
        JackMidiOutput& self = Self(arg);
        if (self.m_gone.exchange(true, std::memory_order_acq_rel)) return;
        self.m_signals->jackMissing.store(true);
        if (self.m_accepting.load()) self.m_signals->Post(MidiPortChange::OpenDeviceLost);
        self.m_signals->Post(MidiPortChange::ListChanged);
    }
    static int Xrun(void* arg) {
        Self(arg).m_xruns.fetch_add(1, std::memory_order_release);
        return 0;
    }
    static void PortRegistration(jack_port_id_t, int, void* arg) {
        Self(arg).m_signals->Notify(MidiPortChange::ListChanged);
    }
    static void PortRename(jack_port_id_t, const char*, const char*, void* arg) {
        Self(arg).m_signals->Notify(MidiPortChange::ListChanged);
    }
    // Our port losing its connection to the device means the device is gone (its client quit, it was
    // unplugged, or disconnected by hand): messages would go nowhere. The notice can come before this
    // client's view of the graph changes, and a late one can be about the device of an earlier open, so
    // the device counts as lost only once our port is seen unconnected to it twice, some cycles apart.
    static void PortConnect(jack_port_id_t a, jack_port_id_t b, int connected, void* arg) {
        JackMidiOutput& self = Self(arg);
        if (connected != 0 || !self.m_accepting.load()) return;
        jack_port_t* ours = self.m_port.load();
        if (ours == nullptr) return;
        if (jack_port_by_id(self.m_client, a) != ours && jack_port_by_id(self.m_client, b) != ours) return;
        const std::string target = self.Target();
        if (target.empty()) return;
        int unconnected = 0;
        for (auto deadline = Clock::now() + kLossCheck; unconnected < 2 && Clock::now() < deadline;) {
            if (jack_port_connected_to(ours, target.c_str()) == 0) {
                if (++unconnected == 2) break;
                std::this_thread::sleep_for(kLossCheck / 4);
            } else {
                std::this_thread::sleep_for(2ms);
            }
        }
        if (unconnected < 2 || !self.m_accepting.load() || self.Target() != target) return;
        self.m_targetLost.store(true, std::memory_order_release);
        self.m_signals->Notify(MidiPortChange::OpenDeviceLost);
    }
};

JackMidiOutput::JackMidiOutput(std::shared_ptr<MidiPortSignals> signals) : m_signals(std::move(signals)) {}

std::shared_ptr<JackMidiOutput> JackMidiOutput::Connect(const char* clientName,
                                                        std::shared_ptr<MidiPortSignals> signals) {
    std::shared_ptr<JackMidiOutput> out(new JackMidiOutput(std::move(signals)));
    out->m_client = jack_client_open(clientName, JackNoStartServer, nullptr);
    if (out->m_client == nullptr) return nullptr;
    jack_client_t* c = out->m_client;
    void* arg = out.get();
    jack_set_process_callback(c, &JackCallbacks::Process, arg);
    jack_set_buffer_size_callback(c, &JackCallbacks::BufferSize, arg);
    jack_on_shutdown(c, &JackCallbacks::Shutdown, arg);
    jack_on_info_shutdown(c, &JackCallbacks::InfoShutdown, arg);
    jack_set_port_registration_callback(c, &JackCallbacks::PortRegistration, arg);
    jack_set_port_rename_callback(c, &JackCallbacks::PortRename, arg);
    jack_set_port_connect_callback(c, &JackCallbacks::PortConnect, arg);
    jack_set_xrun_callback(c, &JackCallbacks::Xrun, arg);
    out->m_sampleRate = std::max<jack_nframes_t>(1, jack_get_sample_rate(c));
    out->m_periodFrames.store(jack_get_buffer_size(c));
    if (jack_activate(c) != 0) return nullptr;
    out->m_signals->jackMissing.store(false);
    return out;
}

void JackMidiOutput::Release(std::shared_ptr<JackMidiOutput> client) {
    if (!client) return;
    if (client->ServerGone()) {
        // Closing a client whose server died can crash inside libjack; the dead client is small, so it is
        // left as it is (held by a never-freed list, so that leak checkers see it is kept on purpose).
        static auto* const abandoned = new std::vector<std::shared_ptr<JackMidiOutput>>;
        static std::mutex mutex;
        std::lock_guard lock(mutex);
        abandoned->push_back(std::move(client));
        return;
    }
    RunWithin(kLeaveWait, [client = std::move(client)]() mutable { client.reset(); });
}

JackMidiOutput::~JackMidiOutput() {
    // Once closed the client calls us no more; its port goes with it.
    if (m_client != nullptr) jack_client_close(m_client);
}

std::vector<std::string> JackMidiOutput::Ports(unsigned long flags) const {
    std::vector<std::string> names;
    if (ServerGone()) return names;
    if (const char** ports = jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags)) {
        for (const char** p = ports; *p != nullptr; ++p) {
            // Our own ports: the program does not play into itself.
            if (jack_port_t* port = jack_port_by_name(m_client, *p);
                port != nullptr && jack_port_is_mine(m_client, port))
                continue;
            names.emplace_back(*p);
        }
        jack_free(ports);
    }
    return names;
}

std::vector<std::string> JackMidiOutput::InputPorts() const { return Ports(JackPortIsInput); }

std::vector<std::string> JackMidiOutput::OutputPorts() const { return Ports(JackPortIsOutput); }

bool JackMidiOutput::OpenInput(const std::string& source, int wake) {
    CloseInput();
    if (ServerGone()) return false;
    if (m_inputLeaving && !m_inputLeaving->WaitFor(kLeaveWait)) return false;
    m_inputLeaving.reset();
    // What an earlier open left is not played.
    while (m_inRing.Front() != nullptr) m_inRing.Pop();
    m_inputWake.store(wake, std::memory_order_release);
    struct Outcome {
        std::mutex mutex;
        bool connected = false;
        bool abandoned = false;
    };
    auto outcome = std::make_shared<Outcome>();
    BackgroundCall connect([self = shared_from_this(), source, outcome] {
        jack_port_t* port = self->m_inPort.load();
        if (port == nullptr) {
            port = jack_port_register(self->m_client, "QuarnEdit in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
            if (port == nullptr) return;
            self->m_inPort.store(port);
        }
        const int connected = jack_connect(self->m_client, source.c_str(), jack_port_name(port));
        std::lock_guard lock(outcome->mutex);
        outcome->connected = connected == 0 || connected == EEXIST;
        // Given up on: the link made late goes again.
        if (outcome->abandoned && outcome->connected)
            jack_disconnect(self->m_client, source.c_str(), jack_port_name(port));
    });
    const bool finished = connect.WaitFor(kLeaveWait);
    std::lock_guard lock(outcome->mutex);
    outcome->abandoned = !finished;
    if (!finished || !outcome->connected) return false;
    m_source = source;
    m_reading.store(true, std::memory_order_release);
    return true;
}

void JackMidiOutput::CloseInput() {
    if (m_source.empty()) return;
    m_reading.store(false, std::memory_order_release);
    // The descriptor may be closed once this returns: a cycle that still reads must end first.
    m_inputWake.store(-1, std::memory_order_release);
    WaitForCycleEnd();
    if (!ServerGone()) {
        m_inputLeaving.emplace([self = shared_from_this(), port = m_inPort.load(), source = m_source] {
            jack_disconnect(self->m_client, source.c_str(), jack_port_name(port));
        });
        if (m_inputLeaving->WaitFor(kLeaveWait)) m_inputLeaving.reset();
    }
    m_source.clear();
}

void JackMidiOutput::TakeInput(std::vector<std::uint8_t>& bytes, std::vector<std::uint32_t>& arrived) {
    while (const StampedRing::Message* m = m_inRing.Front()) {
        const std::uint32_t size = std::min<std::uint32_t>(m->tag, 3);
        bytes.insert(bytes.end(), m->bytes, m->bytes + size);
        arrived.insert(arrived.end(), size, m->micros);
        m_inRing.Pop();
    }
}

void JackMidiOutput::ReadInput(std::uint32_t nframes, std::uint32_t cycleStart) {
    jack_port_t* port = m_inPort.load(std::memory_order_acquire);
    if (port == nullptr || !m_reading.load(std::memory_order_acquire)) return;
    void* buffer = jack_port_get_buffer(port, nframes);
    const std::uint32_t count = jack_midi_get_event_count(buffer);
    const auto micros = static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count());
    bool read = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0) continue;
        // A channel message is never longer; a system exclusive dump is of no use here and is left out.
        if (event.size == 0 || event.size > 3) continue;
        // The cycle's clock plus the event's place in it: two messages of one cycle keep their distance.
        const auto offset = static_cast<std::uint32_t>(std::uint64_t{event.time} * 1000000 / m_sampleRate);
        StampedRing::Message m{cycleStart + event.time, micros + offset, {}, static_cast<std::uint32_t>(event.size)};
        std::copy_n(event.buffer, event.size, m.bytes);
        // A full ring (the program's thread stuck) loses whole messages only.
        read = m_inRing.Push(m) || read;
    }
    // As a signal handler may: one write to an eventfd, which never blocks.
    if (const int wake = m_inputWake.load(std::memory_order_acquire); read && wake >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake, &one, sizeof one);
    }
}

std::chrono::milliseconds JackMidiOutput::DrainLimit() const {
    const std::uint64_t frames = std::uint64_t{m_periodFrames.load(std::memory_order_relaxed)} * kClosePeriods;
    const auto periods = std::chrono::milliseconds(frames * 1000 / m_sampleRate + 1);
    return std::max<std::chrono::milliseconds>(kCloseMinWait, periods);
}

JackMidiOutput::OpenResult JackMidiOutput::Open(const std::string& target, const char* portName) {
    if (m_open) Close();
    if (ServerGone()) return OpenResult::Refused;
    const auto deadline = Clock::now() + kOpenMaxWait;
    const auto left = [&] { return std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()); };
    // The disconnect of the last close, or an open given up on, waits on a frozen server; a request now would
    // wait behind it. An open given up on is not waited for again: the server has not answered since.
    if (m_unanswered && !m_unanswered->WaitFor(m_unansweredIsOpen ? 0ms : std::max(left(), 0ms)))
        return OpenResult::NoAnswer;
    m_unanswered.reset();

    // Registering the port and connecting it are requests to the server: a frozen one holds them, and then
    // only the thread that made them. One given up on undoes its connection when the server answers at last.
    struct Request {
        std::mutex mutex;
        bool finished = false;
        bool abandoned = false;
        bool connected = false;
    };
    auto request = std::make_shared<Request>();
    BackgroundCall call([self = shared_from_this(), request, target, name = std::string(portName)] {
        jack_port_t* port = self->m_port.load();
        if (port == nullptr) {
            port = jack_port_register(self->m_client, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
            if (port != nullptr) self->m_port.store(port);
        }
        const int result = port == nullptr ? -1 : jack_connect(self->m_client, jack_port_name(port), target.c_str());
        bool undo = false;
        {
            std::lock_guard lock(request->mutex);
            request->finished = true;
            request->connected = result == 0 || result == EEXIST;
            undo = request->abandoned && result == 0;
        }
        if (undo) jack_disconnect(self->m_client, jack_port_name(port), target.c_str());
    });
    call.WaitFor(std::max(left(), 0ms));
    {
        std::lock_guard lock(request->mutex);
        if (!request->finished) {
            request->abandoned = true;
            m_unanswered.emplace(std::move(call));
            m_unansweredIsOpen = true;
            return OpenResult::NoAnswer;
        }
        if (!request->connected) return OpenResult::Refused;
    }
    jack_port_t* port = m_port.load();
    // PipeWire makes a new link in the background and carries data on it only from a later cycle on; what
    // is written before is lost. So wait until this client sees the link, then some cycles more (a loaded
    // daemon takes longer).
    std::optional<std::uint64_t> linkedAt;
    WaitFor(kLinkWait, [&] {
        const std::uint64_t cycles = m_cycles.load(std::memory_order_acquire);
        if (!linkedAt && jack_port_connected_to(port, target.c_str()) != 0) linkedAt = cycles;
        return linkedAt && cycles >= *linkedAt + kLinkCycles;
    });
    // The counters run on from open to open (the callback keeps counting cycles), so this open starts from
    // where they stand; the callback drops the old queue at its next cycle.
    m_forgetBefore.store(m_ring.Pushed(), std::memory_order_relaxed);
    m_forget.store(true, std::memory_order_release);
    m_queued = m_openedAt = m_written.load();
    m_handedOver.store(m_doubted.load(std::memory_order_acquire), std::memory_order_relaxed);
    m_stalledAt.reset();
    m_targetLost.store(false);
    SetTarget(target);
    m_open = true;
    m_accepting.store(true);
    return OpenResult::Opened;
}

std::chrono::microseconds JackMidiOutput::Lookahead() const {
    return std::chrono::microseconds(std::uint64_t{m_periodFrames.load(std::memory_order_relaxed)} * 1000000 /
                                     m_sampleRate);
}

std::optional<MidiOutPorts::TagRange> JackMidiOutput::TakeUnsure() {
    // The callback publishes a range before it counts its writes; counted here before the range is taken, a
    // range's writes are never taken as handed over without it (a count that comes after stays the close's to
    // report, too high at worst).
    const std::uint64_t doubted = m_doubted.load(std::memory_order_acquire);
    const std::uint64_t packed = m_unsureTags.exchange(0, std::memory_order_acq_rel);
    if (packed == 0) return std::nullopt;
    // The sender repeats what it can and the close waits for the repeats like any other message.
    m_handedOver.store(doubted, std::memory_order_relaxed);
    return MidiOutPorts::TagRange{static_cast<std::uint32_t>(packed >> 32), static_cast<std::uint32_t>(packed)};
}

bool JackMidiOutput::SendAt(Clock::time_point due, std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                            std::uint32_t tag) {
    if (!m_open || TargetLost()) return false;
    // The frame it is due at, from the server's estimate of the frame now.
    const auto now = Clock::now();
    const auto ahead = std::chrono::duration_cast<std::chrono::microseconds>(std::max(due - now, Clock::duration{}));
    const auto frame = static_cast<std::uint32_t>(jack_frame_time(m_client) +
                                                  static_cast<std::uint64_t>(ahead.count()) * m_sampleRate / 1000000);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(due.time_since_epoch());
    const StampedRing::Message message{frame, static_cast<std::uint32_t>(micros.count()), {status, data1, data2}, tag};
    if (!m_ring.Push(message)) {
        // The ring holds seconds of messages at the sink's pace: full means the server has stalled. Wait
        // briefly once; while the server shows no progress after that, drop at once.
        const std::uint64_t cycles = m_cycles.load(std::memory_order_acquire);
        if (m_stalledAt && *m_stalledAt == cycles) return false;
        const auto deadline = Clock::now() + kSendMaxWait;
        bool pushed = false;
        while (!pushed && !ServerGone() && Clock::now() < deadline) {
            std::this_thread::sleep_for(kSendPoll);
            pushed = m_ring.Push(message);
        }
        if (!pushed) {
            m_stalledAt = m_cycles.load(std::memory_order_acquire);
            return false;
        }
    }
    m_stalledAt.reset();
    ++m_queued;
    return true;
}

template <typename Done>
bool JackMidiOutput::WaitFor(std::chrono::milliseconds limit, Done done) const {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (ServerGone() || Clock::now() >= deadline) return done();
        std::this_thread::sleep_for(kClosePoll);
    }
    return true;
}

std::size_t JackMidiOutput::Close() {
    if (!m_open) return 0;
    m_open = false;
    const auto allDelivered = [this] { return m_delivered.load(std::memory_order_acquire) >= m_queued; };
    WaitFor(DrainLimit(), [&] { return allDelivered() || m_targetLost.load(std::memory_order_acquire); });
    StopWriting();
    // Written in the last cycle but not yet confirmed, or put in doubt by a fault and not taken by the sender
    // to repeat, counts as not delivered: a report may be too high, never too low.
    const std::uint64_t sent = m_queued - m_openedAt;
    const std::uint64_t delivered = std::clamp(m_delivered.load(std::memory_order_acquire), m_openedAt, m_queued);
    const std::uint64_t unsure =
        m_doubted.load(std::memory_order_acquire) - m_handedOver.load(std::memory_order_relaxed);
    const auto undelivered = static_cast<std::size_t>(std::min(sent, m_queued - delivered + unsure));

    // A dead server took the connection with it; a frozen one holds the request, and then only the
    // thread that made it.
    if (!ServerGone()) {
        auto self = shared_from_this();
        m_unanswered.emplace([self, port = m_port.load(), target = Target()] {
            jack_disconnect(self->m_client, jack_port_name(port), target.c_str());
        });
        m_unansweredIsOpen = false;
        if (m_unanswered->WaitFor(kLeaveWait)) m_unanswered.reset();
    }
    SetTarget({});
    return undelivered;
}

std::string JackMidiOutput::Target() const {
    std::lock_guard lock(m_targetMutex);
    return m_target;
}

void JackMidiOutput::SetTarget(std::string target) {
    std::lock_guard lock(m_targetMutex);
    m_target = std::move(target);
}

void JackMidiOutput::StopWriting() {
    m_accepting.store(false);
    WaitForCycleEnd();
}

void JackMidiOutput::WaitForCycleEnd() const {
    // A cycle that read a flag before it was cleared is still marked; one that starts later sees it.
    const auto deadline = Clock::now() + 100ms;
    while (m_inCycle.load() && Clock::now() < deadline) std::this_thread::sleep_for(20us);
}

void JackMidiOutput::Process(std::uint32_t nframes) {
    m_inCycle.store(true);
    const jack_nframes_t cycleStart = jack_last_frame_time(m_client);
    ReadInput(nframes, cycleStart);
    const auto now = Clock::now();  // no system call: the clock is read in user space

    // A stall of the server shows as a cycle that comes far too late, or whose frames jump far from where
    // the last one ended. Around one, the readers of our port may miss cycles that we run (PipeWire skips
    // them while it catches up): what the last cycles wrote is not counted as delivered, and nothing is
    // written until the graph has settled. A smaller skip of frames, or an overrun the server reports, may
    // have cost a reader its cycle too, but passes at once.
    const auto period = std::chrono::microseconds(std::uint64_t{nframes} * 1000000 / m_sampleRate);
    const auto stallTime = std::max<Clock::duration>(kStallPeriods * period, kStallMin);
    const auto stallFrames =
        std::chrono::duration_cast<std::chrono::microseconds>(stallTime).count() * m_sampleRate / 1000000;
    const bool first = m_lastCycleWall == Clock::time_point{};
    const std::int64_t skipped = static_cast<std::int32_t>(cycleStart - (m_lastCycleStart + m_lastCycleFrames));
    const bool stalled = !first && (now - m_lastCycleWall > stallTime || std::abs(skipped) > stallFrames);
    const std::uint32_t xruns = m_xruns.load(std::memory_order_acquire);
    const bool overrun = xruns != m_seenXruns || (!first && skipped != 0);
    m_seenXruns = xruns;
    m_lastCycleStart = cycleStart;
    m_lastCycleFrames = nframes;
    m_lastCycleWall = now;
    if (stalled || overrun) {
        // The notice may come long after the cycle a reader missed: everything written lately is in doubt.
        if (const auto doubt = m_recentWrites.TakeDoubted(now, m_written.load(std::memory_order_relaxed))) {
            // The sender may repeat what these cycles wrote; an earlier range not yet taken is widened. The
            // range goes first, then the count (see TakeUnsure).
            std::uint32_t first = doubt->firstTag;
            const std::uint64_t earlier = m_unsureTags.load(std::memory_order_acquire);
            if (earlier != 0) first = static_cast<std::uint32_t>(earlier >> 32);
            m_unsureTags.store((std::uint64_t{first} << 32) | m_lastTag, std::memory_order_release);
            m_doubted.fetch_add(doubt->count, std::memory_order_release);
        }
        m_faults.fetch_add(1, std::memory_order_relaxed);
    }
    if (stalled) m_holdUntil = now + std::max<Clock::duration>(kSettlePeriods * period, kSettleMin);

    if (jack_port_t* port = m_port.load(std::memory_order_acquire)) {
        void* buffer = jack_port_get_buffer(port, nframes);
        jack_midi_clear_buffer(buffer);
        const std::uint64_t before = m_written.load(std::memory_order_relaxed);
        std::uint64_t written = before;
        std::uint32_t firstTag = 0;
        const bool accepting = m_accepting.load();
        if (accepting && m_forget.exchange(false, std::memory_order_acq_rel)) {
            m_ring.DropBefore(m_forgetBefore.load(std::memory_order_relaxed));
            m_placer.Forget();
            m_placer.SetSampleRate(m_sampleRate);
            m_recentWrites.Forget();
        }
        if (now >= m_holdUntil && accepting && !m_targetLost.load(std::memory_order_acquire)) {
            while (const StampedRing::Message* m = m_ring.Front()) {
                const FramePlacer::Stamp stamp{m->frame, m->micros};
                const std::optional<std::uint32_t> offset = m_placer.Place(stamp, cycleStart, nframes);
                if (!offset) break;
                // A full buffer keeps the rest for the next cycle.
                if (jack_midi_event_write(buffer, *offset, m->bytes, sizeof m->bytes) != 0) break;
                m_placer.Written(stamp, cycleStart + *offset);
                if (written == before) firstTag = m->tag;
                m_lastTag = m->tag;
                m_ring.Pop();
                ++written;
            }
            m_written.store(written, std::memory_order_relaxed);
        }
        m_recentWrites.Wrote(now, firstTag, before, written - before);
        // What earlier cycles wrote is taken as read by now: this cycle could only start after theirs ended.
        // A reader the server ran late may still have missed it; the server tells that as an overrun, and
        // the doubt above reaches back far enough for its notice.
        m_delivered.store(before, std::memory_order_release);
    }
    m_cycles.fetch_add(1, std::memory_order_release);
    m_inCycle.store(false);
}
