#include "platform/posix/UdpListener.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace torvane::posix {

namespace {

[[noreturn]] void Fail(std::uint16_t port, int error) {
    throw UdpServiceError("Cannot open UDP port " + std::to_string(port) + ": " +
                          std::system_category().message(error));
}

// Errors that mean the host has no IPv6 to bind; the service then runs on IPv4 alone.
bool NoIpv6(int error) { return error == EAFNOSUPPORT || error == EPROTONOSUPPORT || error == EADDRNOTAVAIL; }

}  // namespace

UdpSocketListener::~UdpSocketListener() { closeAll(); }

void UdpSocketListener::closeAll() {
    if (wakeWrite_ >= 0) ::close(wakeWrite_);  // every thread sees the pipe's end
    wakeWrite_ = -1;
    for (auto& t : threads_) t.join();
    threads_.clear();
    for (int s : sockets_) ::close(s);
    sockets_.clear();
    if (wakeRead_ >= 0) ::close(wakeRead_);
    wakeRead_ = -1;
}

void UdpSocketListener::activate(std::uint16_t port) {
    if (!sockets_.empty()) return;

    const int v4 = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (v4 < 0) Fail(port, errno);
    sockets_.push_back(v4);
    sockaddr_in a4{};
    a4.sin_family = AF_INET;
    a4.sin_addr.s_addr = htonl(INADDR_ANY);
    a4.sin_port = htons(port);
    if (::bind(v4, reinterpret_cast<const sockaddr*>(&a4), sizeof a4) != 0) {
        const int e = errno;
        closeAll();
        Fail(port, e);
    }

    const int v6 = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (v6 >= 0) {
        // IPv6 only, so the IPv4 binding above and this one can share the port.
        const int on = 1;
        ::setsockopt(v6, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        sockaddr_in6 a6{};
        a6.sin6_family = AF_INET6;
        a6.sin6_addr = in6addr_any;
        a6.sin6_port = htons(port);
        if (::bind(v6, reinterpret_cast<const sockaddr*>(&a6), sizeof a6) == 0) {
            sockets_.push_back(v6);
        } else {
            const int e = errno;
            ::close(v6);
            if (!NoIpv6(e)) {
                closeAll();
                Fail(port, e);
            }
        }
    } else if (!NoIpv6(errno)) {
        const int e = errno;
        closeAll();
        Fail(port, e);
    }

    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) {
        const int e = errno;
        closeAll();
        Fail(port, e);
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    for (int s : sockets_) threads_.emplace_back([this, s] { listen(s); });
}

void UdpSocketListener::listen(int socket) {
    std::vector<std::uint8_t> buffer(UdpReceiveBufferSize);
    for (;;) {
        pollfd fds[2] = {{socket, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        const int r = ::poll(fds, 2, UdpWaitMs);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 || fds[1].revents != 0) return;  // stopping
        if (r == 0 || (fds[0].revents & (POLLIN | POLLERR)) == 0) continue;  // time-out: wait again
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(socket, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        // Nothing is attached to the data: it is dropped, and no reply is
        // sent. A receive error (an ICMP report, say) is ignored likewise.
        if (n >= 1) received_.fetch_add(1);
    }
}

}  // namespace torvane::posix
