// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

// Where a message goes in a process cycle. Each message carries the server's frame time at its send (an
// estimate, read between cycles) and the monotonic clock at its send in µs. Written one period after its
// frame stamp, a message reaches the input with the latency of one period. The spacing comes from the clock:
// a message never follows the one before closer than they were sent (up to a cap, less 3%), so the pause the
// sender keeps survives a server that runs late and frame estimates that wobble. A message that is late (the
// server stalled) goes out as soon as that spacing allows. Frame times wrap at 2^32, µs at 2^32 too.
class FramePlacer {
public:
    struct Stamp {
        std::uint32_t frame = 0;
        std::uint32_t micros = 0;
    };

    explicit FramePlacer(std::uint32_t sampleRate = 48000) { SetSampleRate(sampleRate); }
    void SetSampleRate(std::uint32_t rate) {
        m_rate = std::max<std::uint32_t>(rate, 1);
        m_maxLead = m_rate / 50;  // 20 ms
    }

    // The offset in the cycle that starts at frame `cycleStart` and lasts `nframes`, or nothing when the
    // message belongs to a later cycle.
    std::optional<std::uint32_t> Place(Stamp stamp, std::uint32_t cycleStart, std::uint32_t nframes) const {
        std::uint32_t target = stamp.frame + nframes;
        // A frame stamp is normally at most about two periods ahead of the cycle (a message may be handed over
        // a period before it is due); far more means the estimate ran on while the server stood still, and
        // the message is due now.
        const std::int64_t lead = std::max<std::int64_t>(4 * static_cast<std::int64_t>(nframes), m_maxLead);
        if (Ahead(target, cycleStart) >= lead) target = cycleStart;
        if (m_any) {
            // The spacing it was sent with, up to 20 ms (after a longer pause the message is simply on time),
            // rounded up to whole frames. Counted from the frame the message before was written at, not from
            // its stamp: a message held back (a late cycle, a full buffer) delays those after it, never
            // squeezes them. The server's frames and our clock may disagree a little on how long a second is;
            // over a burst of a whole patch (130 ms) that is a frame or two of latency, never a shorter gap.
            const std::int64_t micros =
                std::max<std::int64_t>(0, static_cast<std::int32_t>(stamp.micros - m_last.micros));
            const std::int64_t keep = std::min<std::int64_t>((micros * m_rate + 999999) / 1000000, m_maxLead);
            target = Later(target, m_lastFrame + static_cast<std::uint32_t>(keep));
        }
        target = Later(target, cycleStart);
        const std::int64_t offset = Ahead(target, cycleStart);
        if (offset >= nframes) return std::nullopt;
        return static_cast<std::uint32_t>(offset);
    }
    void Written(Stamp stamp, std::uint32_t frame) {
        m_any = true;
        m_last = stamp;
        m_lastFrame = frame;
    }
    void Forget() { m_any = false; }

private:
    // How far `a` is after `b`, negative when before; valid across the wrap for distances below 2^31.
    static std::int64_t Ahead(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b); }
    static std::uint32_t Later(std::uint32_t a, std::uint32_t b) { return Ahead(a, b) >= 0 ? a : b; }

    std::int64_t m_rate = 48000;
    std::int64_t m_maxLead = 960;
    bool m_any = false;
    Stamp m_last;
    std::uint32_t m_lastFrame = 0;
};
