// Starting and stopping the system's networking for the sockets of a process.
//
// Windows Sockets must be started in a process before its first socket is
// made, and may be stopped once the last one is gone.  The port starts it
// when it first opens a network link (once, whichever thread gets there
// first) and never while a library is being loaded or unloaded: Windows runs
// those steps under its loader lock, and starting Windows Sockets loads other
// libraries, which can deadlock there.  Each add-in object holds a
// NetworkingUse for its lifetime; when the last one ends, networking that was
// started is stopped again.  On POSIX systems there is nothing to start.
#pragma once

namespace transport {

// Starts networking unless it is running; safe from any thread.
void StartNetworking();
// Stops networking that was started, unless a NetworkingUse is alive.
void StopNetworking();

// While one exists, networking stays started; the last one to end stops it.
class NetworkingUse {
  public:
    NetworkingUse();
    ~NetworkingUse();
    NetworkingUse(const NetworkingUse&) = delete;
    NetworkingUse& operator=(const NetworkingUse&) = delete;
};

namespace os {
// The system's own start and stop (socket_posix.cpp, socket_win32.cpp).
bool StartSockets();
void StopSockets();
}  // namespace os

}  // namespace transport
