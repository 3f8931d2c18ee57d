// The address ConnectByEthernet takes: a host name or IPv4 address, optionally
// followed by ":" and a port number ("192.168.0.200:9100").
#pragma once

#include <cstdint>
#include <string>

namespace addin {

// The RLS1000's own UDP port, used when the address names none.
constexpr int32_t kDefaultScalesPort = 5001;

struct EthernetAddress {
    std::u16string host;
    int32_t port = kDefaultScalesPort;
};

// Splits at the first ":" when it is not the first character.  A port that
// does not read as a number of 1 or more leaves the default port.
EthernetAddress ParseEthernetAddress(const std::u16string& address);

}  // namespace addin
