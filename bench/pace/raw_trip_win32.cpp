#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>

#include "bench/pace/raw_trip.h"

namespace pace {

double RawRoundTrip(uint16_t port, const std::vector<std::vector<uint8_t>>& frames, int count) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return -1;
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    double result = -1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const DWORD limitMs = 2000;
    if (s != INVALID_SOCKET) {
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limitMs),
                   sizeof limitMs);
    }
    if (s != INVALID_SOCKET && connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        static char reply[65536];
        const auto start = std::chrono::steady_clock::now();
        int i = 0;
        for (; i < count; ++i) {
            const std::vector<uint8_t>& frame = frames[i % frames.size()];
            const int size = static_cast<int>(frame.size());
            if (send(s, reinterpret_cast<const char*>(frame.data()), size, 0) != size ||
                recv(s, reply, sizeof reply, 0) < 0) {
                break;
            }
        }
        if (i == count) {
            result =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                count;
        }
    }
    if (s != INVALID_SOCKET) closesocket(s);
    WSACleanup();
    return result;
}

}  // namespace pace
