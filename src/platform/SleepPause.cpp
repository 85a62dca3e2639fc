#include "platform/SleepPause.h"

#include <sys/prctl.h>

#include <thread>

namespace {

// The default 50 µs timer slack adds up over a patch dump of hundreds of 2 ms pauses.
// Slack is per thread, so it is set for whichever thread ends up pausing; and checked before every pause,
// because libraries reset it (PipeWire's JACK library does when a client opens).
void TightenTimerSlack() {
    if (prctl(PR_GET_TIMERSLACK) != 1) prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

}  // namespace

SleepPause::SleepPause() { TightenTimerSlack(); }

void SleepPause::AfterMessage() {
    TightenTimerSlack();
    std::this_thread::sleep_for(kPause);
}
