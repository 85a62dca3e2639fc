// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>

// Work on a thread of its own, which the caller waits for only as long as it chooses. A JACK server that
// stopped answering (frozen, not dead) holds every request to it; this way only that thread waits, and it
// finishes whenever the server does. The work must own whatever it uses.
class BackgroundCall {
public:
    explicit BackgroundCall(std::function<void()> work);
    // True once the work has finished; waits at most `limit` for it.
    bool WaitFor(std::chrono::milliseconds limit) const;

    // Waits at most `limit` until every call of the process has finished; false when some still run. Such a
    // call may be inside a library that the process's exit tears down under it.
    static bool AllFinishedWithin(std::chrono::milliseconds limit);

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// Starts `work` and waits at most `limit`; true when it finished in time.
bool RunWithin(std::chrono::milliseconds limit, std::function<void()> work);
