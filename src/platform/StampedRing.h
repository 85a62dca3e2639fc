// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

// Three-byte MIDI messages, each with the time of its send (or arrival), handed from one producer thread to
// one consumer, either of which may be a real-time audio callback: fixed storage, no lock, no allocation, no
// system call. The consumer may look at the oldest message and leave it for later.
class StampedRing {
public:
    struct Message {
        std::uint32_t frame = 0;   // the server's frame time (a sender's estimate, or the arrival)
        std::uint32_t micros = 0;  // the monotonic clock in µs, wrapping
        std::uint8_t bytes[3] = {};
        std::uint32_t tag = 0;  // the sender's name for it
    };
    static constexpr std::size_t kCapacity = 1024;  // a power of two

    // Producer: false when full.
    bool Push(const Message& m) {
        const std::uint32_t head = m_head.load(std::memory_order_relaxed);
        if (head - m_tail.load(std::memory_order_acquire) >= kCapacity) return false;
        m_slots[head & kMask] = m;
        m_head.store(head + 1, std::memory_order_release);
        return true;
    }
    // Consumer: the oldest message, or null when empty.
    const Message* Front() const {
        const std::uint32_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail == m_head.load(std::memory_order_acquire)) return nullptr;
        return &m_slots[tail & kMask];
    }
    // Consumer: drops the message Front returned.
    void Pop() { m_tail.store(m_tail.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

    // Either side: an estimate, exact while the other side is idle.
    std::size_t Size() const { return m_head.load(std::memory_order_acquire) - m_tail.load(std::memory_order_acquire); }
    // Producer: how many messages have been pushed so far (wrapping); a mark for DropBefore.
    std::uint32_t Pushed() const { return m_head.load(std::memory_order_relaxed); }
    // Consumer: forgets the messages pushed before the mark, as far as they are still queued.
    void DropBefore(std::uint32_t mark) {
        const std::uint32_t tail = m_tail.load(std::memory_order_relaxed);
        if (static_cast<std::int32_t>(mark - tail) > 0) m_tail.store(mark, std::memory_order_release);
    }

private:
    static constexpr std::uint32_t kMask = kCapacity - 1;
    static_assert((kCapacity & kMask) == 0, "capacity must be a power of two");

    std::array<Message, kCapacity> m_slots{};
    // Free-running counters; their difference is the fill, unsigned wrap-around included.
    alignas(64) std::atomic<std::uint32_t> m_head{0};
    alignas(64) std::atomic<std::uint32_t> m_tail{0};
};
