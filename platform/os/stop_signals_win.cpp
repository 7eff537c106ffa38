// Requests to end the program on Windows: a windowed program is ended through its windows
// (WM_CLOSE, the end of the session), never by POSIX signals, so there is nothing to watch.
#include "platform/os/stop_signals.h"

namespace kv::os {

bool WatchStopSignals(StopCallback, int) {
    return false;
}

int StopSignal() {
    return 0;
}

void StopWatchingSignals() {}

}  // namespace kv::os
