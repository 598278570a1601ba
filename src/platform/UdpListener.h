#pragma once
// A UDP server that takes datagrams in and drops them: one binding per
// address family on one port, each served by a listener thread of its own.
// One implementation per OS (posix/).

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

namespace torvane {

// The port could not be bound; the message names the port and the reason.
class UdpServiceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class UdpListener {
public:
    // Stops and joins the listener threads, promptly.
    virtual ~UdpListener() = default;
    // Binds the wildcard address of IPv4 and, where the host has it, of IPv6
    // on `port`, and starts listening. Throws UdpServiceError
    // "Cannot open UDP port <port>: <reason>"; nothing stays bound then.
    virtual void activate(std::uint16_t port) = 0;
    virtual int bindingCount() const = 0;
    // Datagrams of at least one byte taken in since activation.
    virtual std::uint64_t datagramsReceived() const = 0;
};

using UdpListenerFactory = std::function<std::unique_ptr<UdpListener>()>;

}  // namespace torvane
