// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/BoundedCall.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <utility>

namespace {

// The calls of the whole process still running.
struct Running {
    std::mutex mutex;
    std::condition_variable cv;
    std::size_t count = 0;
};

// Never destroyed: a call may still finish while the process exits.
Running& AllRunning() {
    static auto* const running = new Running;
    return *running;
}

}  // namespace

struct BackgroundCall::State {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
};

BackgroundCall::BackgroundCall(std::function<void()> work) : m_state(std::make_shared<State>()) {
    Running& running = AllRunning();
    {
        std::lock_guard lock(running.mutex);
        ++running.count;
    }
    std::thread([state = m_state, work = std::move(work), &running]() mutable {
        work();
        work = nullptr;  // whatever it owns goes before it counts as finished
        {
            std::lock_guard lock(state->mutex);
            state->done = true;
            state->cv.notify_all();
        }
        std::lock_guard lock(running.mutex);
        --running.count;
        running.cv.notify_all();
    }).detach();
}

bool BackgroundCall::WaitFor(std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_state->mutex);
    return m_state->cv.wait_for(lock, limit, [&] { return m_state->done; });
}

bool BackgroundCall::AllFinishedWithin(std::chrono::milliseconds limit) {
    Running& running = AllRunning();
    std::unique_lock lock(running.mutex);
    return running.cv.wait_for(lock, limit, [&] { return running.count == 0; });
}

bool RunWithin(std::chrono::milliseconds limit, std::function<void()> work) {
    return BackgroundCall(std::move(work)).WaitFor(limit);
}
