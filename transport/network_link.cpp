// The network links: UDP and TCP over one client socket (socket.h).  They
// differ in what a read means: datagrams are kept whole and never end the
// link; a stream ends when the peer closes its side.
#include "transport/link.h"
#include "transport/port.h"
#include "transport/socket.h"

namespace transport {
namespace {

class SocketLink : public NetworkLink {
  public:
    explicit SocketLink(uint8_t socketKind) : socket_(socketKind) {}

    bool Connect(const char* host, uint16_t port, LinkError& error) override {
        const int result = socket_.Connect(host, port);
        if (result == CZavClientSocket::kConnectOk) return true;
        // A name that does not resolve names no device; anything else failed
        // on the way to one.
        const Fault fault =
            result == CZavClientSocket::kConnectUnresolved ? Fault::kNoDevice : Fault::kIo;
        error = LinkError{fault, socket_.LastError()};
        return false;
    }
    int Read(uint8_t* buffer, LinkError& error) override {
        return Failed(socket_.Receive(buffer), error);
    }
    int Write(const uint8_t* frame, LinkError& error) override {
        return Failed(socket_.Send(frame), error);
    }
    bool WaitReadableUs(int64_t timeoutUs) override { return socket_.WaitReadableUs(timeoutUs); }

  protected:
    int Failed(int result, LinkError& error) const {
        if (result < 0) error = LinkError{Fault::kIo, socket_.LastError()};
        return result;
    }

    CZavClientSocket socket_;
};

class UdpLink final : public SocketLink {
  public:
    UdpLink() : SocketLink(kSocketDatagram) {}
};

class TcpLink final : public SocketLink {
  public:
    explicit TcpLink(uint8_t socketKind) : SocketLink(socketKind) {}
    // A closed stream stays readable for ever: kept open, it would make
    // every wait for a reply return at once with nothing.
    bool Ended() const override { return socket_.PeerClosed(); }
};

}  // namespace

std::unique_ptr<NetworkLink> NewNetworkLink(uint8_t socketKind) {
    if (socketKind == kSocketDatagram) return std::make_unique<UdpLink>();
    return std::make_unique<TcpLink>(socketKind);
}

}  // namespace transport
