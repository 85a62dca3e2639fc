// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RtMidiInputs.h"

#include "platform/JackMidiOutput.h"
#include "platform/RtMidiPorts.h"

#include <RtMidi.h>
#include <alsa/asoundlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

namespace {

constexpr auto kRetryInterval = std::chrono::seconds(1);

void FlagError(RtMidiError::Type, const std::string&, void* failed) { *static_cast<bool*>(failed) = true; }

}  // namespace

RtMidiInputs::RtMidiInputs(RtMidiPorts& outputs) : m_outputs(outputs), m_wake(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

RtMidiInputs::~RtMidiInputs() {
    Close();
    m_alsa.reset();
    if (m_wake >= 0) ::close(m_wake);
}

void RtMidiInputs::ClearWake() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(m_wake, &count, sizeof count);
}

void RtMidiInputs::RefreshAlsa() {
    const auto now = std::chrono::steady_clock::now();
    if (m_alsa || now < m_nextAlsaTry) return;
    m_nextAlsaTry = now + kRetryInterval;
    // As for the output: RtMidi prints before it throws when there is no sequencer.
    snd_seq_t* probe = nullptr;
    if (snd_seq_open(&probe, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) return;
    snd_seq_close(probe);
    try {
        m_alsa = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, RtMidiPorts::ClientName());
        m_alsa->setErrorCallback(&FlagError, &m_failed);
        // System exclusive, clock and active sensing never reach the program.
        m_alsa->ignoreTypes(true, true, true);
    } catch (const RtMidiError&) {
        m_alsa.reset();
    }
}

std::vector<unsigned int> RtMidiInputs::AlsaPorts() {
    RefreshAlsa();
    std::vector<unsigned int> ports;
    if (!m_alsa) return ports;
    for (unsigned int i = 0, count = m_alsa->getPortCount(); i < count; ++i)
        if (!RtMidiPorts::IsOwnAlsaPort(m_alsa->getPortName(i))) ports.push_back(i);
    return ports;
}

std::optional<RtMidiInputs::Location> RtMidiInputs::Locate(int index, std::vector<std::string>* jackNames) {
    if (index < 0) return std::nullopt;
    auto i = static_cast<unsigned int>(index);
    const std::vector<unsigned int> alsa = AlsaPorts();
    if (i < alsa.size()) return Location{Backend::Alsa, alsa[i]};
    i -= static_cast<unsigned int>(alsa.size());
    const std::shared_ptr<JackMidiOutput> jack = m_outputs.JackClient();
    if (!jack) return std::nullopt;
    std::vector<std::string> names = jack->OutputPorts();
    if (i >= names.size()) return std::nullopt;
    if (jackNames != nullptr) *jackNames = std::move(names);
    return Location{Backend::Jack, i};
}

int RtMidiInputs::Count() {
    const std::shared_ptr<JackMidiOutput> jack = m_outputs.JackClient();
    const std::size_t jackCount = jack ? jack->OutputPorts().size() : 0;
    return static_cast<int>(AlsaPorts().size() + jackCount);
}

std::optional<std::string> RtMidiInputs::Name(int index) {
    std::vector<std::string> jackNames;
    const std::optional<Location> where = Locate(index, &jackNames);
    if (!where) return std::nullopt;
    if (where->backend == Backend::Jack) return jackNames[where->port];
    m_failed = false;
    std::string name = m_alsa->getPortName(where->port);
    if (m_failed || name.empty()) return std::nullopt;
    return name;
}

void RtMidiInputs::Received(double, std::vector<unsigned char>* message, void* self) {
    // RtMidi's reading thread: whole channel messages only, then a word to the program's thread.
    auto& inputs = *static_cast<RtMidiInputs*>(self);
    if (message == nullptr || message->empty() || message->size() > 3) return;
    const auto micros = static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
    StampedRing::Message m{0, micros, {}, static_cast<std::uint32_t>(message->size())};
    std::copy(message->begin(), message->end(), m.bytes);
    if (!inputs.m_alsaRing.Push(m)) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(inputs.m_wake, &one, sizeof one);
}

bool RtMidiInputs::Open(int index) {
    Close();
    // What an earlier open left is not played.
    while (m_alsaRing.Front() != nullptr) m_alsaRing.Pop();
    std::vector<std::string> jackNames;
    const std::optional<Location> where = Locate(index, &jackNames);
    if (!where) return false;
    if (where->backend == Backend::Jack) {
        std::shared_ptr<JackMidiOutput> jack = m_outputs.JackClient();
        if (!jack || !jack->OpenInput(jackNames[where->port], m_wake)) return false;
        m_jack = std::move(jack);
        m_open = Backend::Jack;
        return true;
    }
    m_failed = false;
    m_alsa->setCallback(&RtMidiInputs::Received, this);
    m_alsa->openPort(where->port, kPortName);
    if (m_failed || !m_alsa->isPortOpen()) {
        m_alsa->cancelCallback();
        m_alsa.reset();
        return false;
    }
    m_open = Backend::Alsa;
    return true;
}

void RtMidiInputs::Close() {
    switch (m_open) {
        case Backend::None: return;
        case Backend::Alsa:
            // The object goes with its port, which would otherwise stay listed by the other programs; its
            // reading thread has ended when it is gone.
            m_alsa->closePort();
            m_alsa.reset();
            m_nextAlsaTry = {};
            break;
        case Backend::Jack:
            m_jack->CloseInput();
            JackMidiOutput::Release(std::move(m_jack));
            m_jack.reset();
            break;
    }
    m_open = Backend::None;
}

void RtMidiInputs::TakeReceived(std::vector<std::uint8_t>& bytes, std::vector<std::uint32_t>& arrived) {
    while (const StampedRing::Message* m = m_alsaRing.Front()) {
        const std::uint32_t size = std::min<std::uint32_t>(m->tag, 3);
        bytes.insert(bytes.end(), m->bytes, m->bytes + size);
        arrived.insert(arrived.end(), size, m->micros);
        m_alsaRing.Pop();
    }
    if (m_jack) m_jack->TakeInput(bytes, arrived);
}
