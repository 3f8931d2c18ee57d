// One bounded wait on one descriptor, shared by the socket and the serial
// device on POSIX systems (poll_posix.cpp).
#pragma once

namespace transport {

// Waits up to `timeoutMs` (a negative limit counts as none, never as
// "forever") for `events` on `fd`, resuming after signals.  The events that
// came (poll's revents), or 0 when the time ran out or the wait failed.
int PollFor(int fd, short events, int timeoutMs);

}  // namespace transport
