#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

// Where a message stamped with the frame time of its send goes in a process cycle. Written one period after
// its stamp, a message keeps the spacing it was sent with. One that is late (the server stalled, the
// callback ran late) goes out as soon as it can, but keeps at least half its spacing to the one before (at
// most a period), so that a backlog reaches the instrument spread out rather than in one burst. Frame
// times wrap at 2^32.
class FramePlacer {
public:
    // The offset in the cycle that starts at frame `cycleStart` and lasts `nframes`, or nothing when the
    // message belongs to a later cycle.
    std::optional<std::uint32_t> Place(std::uint32_t stamp, std::uint32_t cycleStart, std::uint32_t nframes) const {
        std::uint32_t target = stamp + nframes;
        // A stamp can be at most about one period ahead of the cycle; further means the estimate ran on
        // while the server stood still, and the message is due now.
        if (Ahead(target, cycleStart) >= 2 * static_cast<std::int64_t>(nframes)) {
            target = cycleStart;
        } else if (m_any) {
            // Half the spacing, but never more than a period: after a pause a late message is on time again.
            const std::int64_t gap = std::max<std::int64_t>(0, Ahead(stamp, m_lastStamp));
            const std::int64_t keep = std::min<std::int64_t>(gap / 2, nframes);
            target = Later(target, m_lastFrame + static_cast<std::uint32_t>(keep));
        }
        target = Later(target, cycleStart);
        if (m_any) target = Later(target, m_lastFrame);
        const std::int64_t offset = Ahead(target, cycleStart);
        if (offset >= nframes) return std::nullopt;
        return static_cast<std::uint32_t>(offset);
    }
    void Written(std::uint32_t stamp, std::uint32_t frame) {
        m_any = true;
        m_lastStamp = stamp;
        m_lastFrame = frame;
    }
    void Forget() { m_any = false; }

private:
    // How far `a` is after `b`, negative when before; valid across the wrap for distances below 2^31.
    static std::int64_t Ahead(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b); }
    static std::uint32_t Later(std::uint32_t a, std::uint32_t b) { return Ahead(a, b) >= 0 ? a : b; }

    bool m_any = false;
    std::uint32_t m_lastStamp = 0;
    std::uint32_t m_lastFrame = 0;
};
