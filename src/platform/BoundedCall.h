#pragma once

#include <chrono>
#include <functional>

// Runs `work` on a thread of its own and waits at most `limit` for it. A JACK server that stopped answering
// (frozen, not dead) holds every request to it; this way only that thread waits, and it finishes whenever
// the server does. `work` must own whatever it uses. True when it finished in time.
bool RunWithin(std::chrono::milliseconds limit, std::function<void()> work);
