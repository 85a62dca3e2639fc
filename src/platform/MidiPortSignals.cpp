// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MidiPortSignals.h"

#include <fcntl.h>
#include <unistd.h>

static_assert(std::atomic<bool>::is_always_lock_free, "posted news must be safe in a signal handler");

MidiPortSignals::MidiPortSignals() {
    if (pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) m_pipe[0] = m_pipe[1] = -1;
}

MidiPortSignals::~MidiPortSignals() {
    for (int fd : m_pipe)
        if (fd >= 0) close(fd);
}

void MidiPortSignals::Post(MidiPortChange change) {
    (change == MidiPortChange::OpenDeviceLost ? m_postedLost : m_postedList).store(true);
    if (m_pipe[1] < 0) return;
    const char byte = 0;
    // A full pipe already wakes the reader.
    [[maybe_unused]] const ssize_t n = write(m_pipe[1], &byte, 1);
}

void MidiPortSignals::DeliverPosted() {
    char drain[64];
    while (m_pipe[0] >= 0 && read(m_pipe[0], drain, sizeof drain) > 0) {
    }
    if (m_postedLost.exchange(false)) Notify(MidiPortChange::OpenDeviceLost);
    if (m_postedList.exchange(false)) Notify(MidiPortChange::ListChanged);
}
