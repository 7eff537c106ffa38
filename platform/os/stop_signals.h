// Requests from outside to end the program: on POSIX systems SIGTERM, SIGHUP and SIGINT. A
// signal handler may do almost nothing safely, so it only records the signal and writes one byte
// to a pipe; a watcher thread wakes on that byte and calls the program's callback, once, on the
// watcher thread. The callback may therefore take locks (post a message to the UI thread's queue)
// but must leave the UI thread's state alone; the UI thread does the actual ending.
//
// A main thread that does not get round to ending (stuck in a long computation) must not keep a
// session from closing: with a grace period, the watcher ends the process with status 0 when it
// is still running that long after the first request.
#pragma once

namespace kv::os {

using StopCallback = void (*)(int signal);

// Takes SIGTERM, SIGHUP and SIGINT (before any library installs handlers of its own, which the
// usual ones only do when they find the default handler). graceMs <= 0: no forced end. False
// when the signals cannot be taken (and on systems without them).
bool WatchStopSignals(StopCallback onStop, int graceMs);
// The signal that asked the program to end; 0 when none has.
int StopSignal();
// Puts the previous handlers back, ends the watcher and forgets the request.
void StopWatchingSignals();

}  // namespace kv::os
