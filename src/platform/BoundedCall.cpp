#include "platform/BoundedCall.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

bool RunWithin(std::chrono::milliseconds limit, std::function<void()> work) {
    struct Done {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
    };
    auto state = std::make_shared<Done>();
    std::thread([state, work = std::move(work)]() mutable {
        work();
        work = nullptr;  // whatever it owns goes before we say it is done
        std::lock_guard lock(state->mutex);
        state->done = true;
        state->cv.notify_all();
    }).detach();
    std::unique_lock lock(state->mutex);
    return state->cv.wait_for(lock, limit, [&] { return state->done; });
}
