// The network half of the port: one IPv4 socket, datagram (UDP) or stream
// (TCP), connected to the scales' address.  Frames of kFrameSize bytes go out;
// whatever has arrived comes in.  Every wait here is short and bounded; reply
// timing belongs to the caller.  No lock of its own: the port's lock is held
// around every call.
//
// The socket handle is kept as an integer so that no system header leaks out;
// socket_posix.cpp and socket_win32.cpp hold the system calls.
#pragma once

#include <cstdint>
#include <memory>

class CZavSocket {
  public:
    static constexpr intptr_t kInvalidSocket = -1;

    CZavSocket() = default;
    virtual ~CZavSocket();
    CZavSocket(const CZavSocket&) = delete;
    CZavSocket& operator=(const CZavSocket&) = delete;

    bool IsValid() const { return sock != kInvalidSocket; }

  protected:
    intptr_t sock = kInvalidSocket;
};

class CZavClientSocket : public CZavSocket {
  public:
    static constexpr int kConnectOk = 0;
    static constexpr int kConnectUnresolved = -1;
    static constexpr int kConnectFailed = 2;

    // Creates the socket: datagram when `socketKind` is 1, stream otherwise.
    // A failed creation leaves the socket invalid and makes Connect fail.
    explicit CZavClientSocket(uint8_t socketKind);
    ~CZavClientSocket() override;

    // `host` is a dotted IPv4 address or a host name.  Waits at most 3 s in
    // all, name look-up included; a dotted address is never looked up.
    int Connect(const char* host, uint16_t port);
    // Sends one frame of transport::kFrameSize bytes, waiting at most 1 s each
    // time the socket cannot take more.  Bytes sent, or -1 on an error.
    int Send(const uint8_t* frame);
    // Takes what has arrived, up to transport::kReadRoom bytes, without
    // waiting.  Bytes placed, or -1 on an error.
    int Receive(uint8_t* buffer);
    // True once a stream peer has closed its side (an empty datagram is not
    // a close).  The bytes that came before the close were still returned.
    bool PeerClosed() const { return peerClosed_; }
    // True when input (or an error) is waiting, within `timeoutUs`
    // microseconds.
    bool WaitReadableUs(int64_t timeoutUs);
    // The system's error number behind the last failure of Connect, Send or
    // Receive (for a host that does not resolve, the resolver's own code).
    int LastError() const { return lastError_; }

  private:
    struct Waiting;  // what a wait needs beyond the socket, per OS

    bool datagram_;
    bool peerClosed_ = false;
    int lastError_ = 0;
    std::unique_ptr<Waiting> waiting_;
};

// Networking must be started before a socket is made: networking.h.
