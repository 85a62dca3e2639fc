// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

// What the process callback wrote lately, so that a fault the server tells of late still doubts what a reader
// may have missed. A reader that misses a cycle (a software instrument the server ran late) is told to us as
// an overrun, but that notice passes through a thread of the server and one of ours. Measured on jackd at 256
// frames with both cores busy: about 98 % of the missed cycles were told within two cycles, the rest up to
// 700 ms later. So a fault doubts every write of the last second, not those of the last two cycles.
//
// Bounded and without allocation (it runs in the process callback): writes are kept per slot of 1/64 of that
// second, by the first tag and the count of writes before the slot. A slot is kept until 72 newer slots have
// had writes, that is longer than the second, so what a fault doubts is all of the window's writes, plus at
// most the rest of the slot the window starts in: never less.
class RecentWrites {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kWindow = std::chrono::seconds(1);

    // A cycle at `now` wrote `count` messages, the first tagged `firstTag`; `before` is the count of every
    // write before them.
    void Wrote(Clock::time_point now, std::uint32_t firstTag, std::uint64_t before, std::uint64_t count) {
        if (count == 0) return;
        const std::int64_t slot = SlotOf(now);
        if (m_size > 0 && m_slots[Index(m_size - 1)].slot == slot) return;  // the slot's first write is kept
        if (m_size == m_slots.size()) {
            m_start = (m_start + 1) % m_slots.size();
            --m_size;
        }
        m_slots[Index(m_size)] = {slot, firstTag, before};
        ++m_size;
    }

    struct Doubt {
        std::uint32_t firstTag = 0;  // through the last write
        std::uint64_t count = 0;
    };
    // What a fault seen at `now` puts in doubt, when `written` writes have been made in all: every write of
    // the window. Those are then forgotten: they are in doubt already, and a later fault doubts what follows.
    std::optional<Doubt> TakeDoubted(Clock::time_point now, std::uint64_t written) {
        const std::int64_t from = SlotOf(now - kWindow);
        std::optional<Doubt> doubt;
        for (std::size_t i = 0; i < m_size; ++i) {
            const Slot& s = m_slots[Index(i)];
            if (s.slot < from) continue;
            if (written > s.before) doubt = Doubt{s.firstTag, written - s.before};
            break;
        }
        Forget();
        return doubt;
    }

    // Writes before an open went to another device, or none.
    void Forget() { m_start = m_size = 0; }

private:
    static constexpr std::size_t kSlotsPerWindow = 64;
    static constexpr std::size_t kKept = kSlotsPerWindow + 8;
    struct Slot {
        std::int64_t slot = 0;
        std::uint32_t firstTag = 0;
        std::uint64_t before = 0;
    };
    static std::int64_t SlotOf(Clock::time_point t) {
        return t.time_since_epoch() / (kWindow / static_cast<int>(kSlotsPerWindow));
    }
    std::size_t Index(std::size_t i) const { return (m_start + i) % m_slots.size(); }

    std::array<Slot, kKept> m_slots{};
    std::size_t m_start = 0;
    std::size_t m_size = 0;
};
