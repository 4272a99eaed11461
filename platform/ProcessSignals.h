// Signals that would end a program where a failed call is what it wants: a write to a connection
// or pipe the other end has closed, and a write past the file-size limit. Every program entry that
// serves or transfers files calls this once, from main, before it starts any thread.
#pragma once

namespace orvo::platform {

// On Linux, SIGPIPE and SIGXFSZ are ignored from here on, so such a write fails with EPIPE or
// EFBIG and only the transfer in question ends. Windows raises no such signals: nothing to do.
void IgnoreBrokenPipeSignals();

}  // namespace orvo::platform
