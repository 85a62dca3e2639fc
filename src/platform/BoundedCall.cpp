#include "platform/BoundedCall.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

struct BackgroundCall::State {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
};

BackgroundCall::BackgroundCall(std::function<void()> work) : m_state(std::make_shared<State>()) {
    std::thread([state = m_state, work = std::move(work)]() mutable {
        work();
        work = nullptr;  // whatever it owns goes before it counts as finished
        std::lock_guard lock(state->mutex);
        state->done = true;
        state->cv.notify_all();
    }).detach();
}

bool BackgroundCall::WaitFor(std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_state->mutex);
    return m_state->cv.wait_for(lock, limit, [&] { return m_state->done; });
}

bool RunWithin(std::chrono::milliseconds limit, std::function<void()> work) {
    return BackgroundCall(std::move(work)).WaitFor(limit);
}
