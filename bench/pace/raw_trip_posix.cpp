#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>

#include "bench/pace/raw_trip.h"

namespace pace {

double RawRoundTrip(uint16_t port, const std::vector<std::vector<uint8_t>>& frames, int count) {
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) return -1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval limit{2, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    double result = -1;
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        uint8_t reply[65536];
        const auto start = std::chrono::steady_clock::now();
        int i = 0;
        for (; i < count; ++i) {
            const std::vector<uint8_t>& frame = frames[i % frames.size()];
            if (send(s, frame.data(), frame.size(), 0) < 0 || recv(s, reply, sizeof reply, 0) < 0)
                break;
        }
        if (i == count) {
            result =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                count;
        }
    }
    close(s);
    return result;
}

}  // namespace pace
