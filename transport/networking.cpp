#include "transport/networking.h"

#include <mutex>

namespace transport {
namespace {

// Constant-initialised: no constructor or destructor runs at load or unload.
std::mutex networkingLock;
bool started = false;
int uses = 0;

void StopIfUnused() {
    if (started && uses == 0) {
        os::StopSockets();
        started = false;
    }
}

}  // namespace

void StartNetworking() {
    std::lock_guard<std::mutex> hold(networkingLock);
    if (!started) started = os::StartSockets();
}

void StopNetworking() {
    std::lock_guard<std::mutex> hold(networkingLock);
    StopIfUnused();
}

NetworkingUse::NetworkingUse() {
    std::lock_guard<std::mutex> hold(networkingLock);
    ++uses;
}

NetworkingUse::~NetworkingUse() {
    try {
        std::lock_guard<std::mutex> hold(networkingLock);
        --uses;
        StopIfUnused();
    } catch (...) {
        // A lock that cannot be taken leaves networking running: harmless.
    }
}

}  // namespace transport
