#include "platform/win32/WinsockListener.h"

#include <ws2tcpip.h>

#include <string>

#include "platform/win32/Win32Serial.h"

namespace torvane::win32 {

namespace {

constexpr WORD WinsockVersion = MAKEWORD(2, 2);

[[noreturn]] void Fail(std::uint16_t port, int error) {
    throw UdpServiceError("Cannot open UDP port " + std::to_string(port) + ": " + ErrorText(static_cast<DWORD>(error)));
}

// Errors that mean the host has no IPv6 to bind; the service then runs on IPv4 alone.
bool NoIpv6(int error) {
    return error == WSAEAFNOSUPPORT || error == WSAEPROTONOSUPPORT || error == WSAEADDRNOTAVAIL ||
           error == WSAEPFNOSUPPORT;
}

}  // namespace

WinsockListener::WinsockListener() {
    WSADATA data{};
    started_ = ::WSAStartup(WinsockVersion, &data) == 0;
}

WinsockListener::~WinsockListener() {
    closeAll();
    if (started_) ::WSACleanup();
}

void WinsockListener::closeAll() {
    if (stop_ != WSA_INVALID_EVENT) ::WSASetEvent(stop_);
    for (auto& t : threads_) t.join();
    threads_.clear();
    for (SOCKET s : sockets_) ::closesocket(s);
    sockets_.clear();
    for (WSAEVENT e : events_) ::WSACloseEvent(e);
    events_.clear();
    if (stop_ != WSA_INVALID_EVENT) ::WSACloseEvent(stop_);
    stop_ = WSA_INVALID_EVENT;
}

void WinsockListener::activate(std::uint16_t port) {
    if (!sockets_.empty()) return;
    if (!started_) Fail(port, WSASYSNOTREADY);

    auto bindTo = [&](int family, const sockaddr* address, int length) -> int {
        SOCKET s = ::socket(family, SOCK_DGRAM, IPPROTO_UDP);
        if (s == INVALID_SOCKET) return ::WSAGetLastError();
        // Exclusive: another program cannot take the port over while we hold it.
        BOOL on = TRUE;
        ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
        if (family == AF_INET6) {
            // IPv6 only, so the IPv4 binding and this one can share the port.
            DWORD v6only = 1;
            ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&v6only), sizeof v6only);
        }
        if (::bind(s, address, length) != 0) {
            const int e = ::WSAGetLastError();
            ::closesocket(s);
            return e;
        }
        sockets_.push_back(s);
        return 0;
    };

    sockaddr_in a4{};
    a4.sin_family = AF_INET;
    a4.sin_addr.s_addr = htonl(INADDR_ANY);
    a4.sin_port = htons(port);
    if (const int e = bindTo(AF_INET, reinterpret_cast<const sockaddr*>(&a4), sizeof a4); e != 0) {
        closeAll();
        Fail(port, e);
    }
    sockaddr_in6 a6{};
    a6.sin6_family = AF_INET6;
    a6.sin6_addr = in6addr_any;
    a6.sin6_port = htons(port);
    if (const int e = bindTo(AF_INET6, reinterpret_cast<const sockaddr*>(&a6), sizeof a6); e != 0 && !NoIpv6(e)) {
        closeAll();
        Fail(port, e);
    }

    stop_ = ::WSACreateEvent();
    if (stop_ == WSA_INVALID_EVENT) {
        const int e = ::WSAGetLastError();
        closeAll();
        Fail(port, e);
    }
    for (SOCKET s : sockets_) {
        WSAEVENT ready = ::WSACreateEvent();
        if (ready == WSA_INVALID_EVENT || ::WSAEventSelect(s, ready, FD_READ) != 0) {
            const int e = ::WSAGetLastError();
            if (ready != WSA_INVALID_EVENT) ::WSACloseEvent(ready);
            closeAll();
            Fail(port, e);
        }
        events_.push_back(ready);
    }
    for (std::size_t i = 0; i < sockets_.size(); ++i)
        threads_.emplace_back([this, s = sockets_[i], e = events_[i]] { listen(s, e); });
}

void WinsockListener::listen(SOCKET socket, WSAEVENT ready) {
    std::vector<char> buffer(UdpReceiveBufferSize);
    const WSAEVENT waitFor[2] = {stop_, ready};
    for (;;) {
        const DWORD r = ::WSAWaitForMultipleEvents(2, waitFor, FALSE, UdpWaitMs, FALSE);
        if (r == WSA_WAIT_EVENT_0 || r == WSA_WAIT_FAILED) return;  // stopping
        if (r == WSA_WAIT_TIMEOUT) continue;                         // wait again
        ::WSAResetEvent(ready);
        // Take every datagram waiting: FD_READ is signalled again only after a receive.
        for (;;) {
            sockaddr_storage from{};
            int fromLength = sizeof from;
            const int n = ::recvfrom(socket, buffer.data(), static_cast<int>(buffer.size()), 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
            // Nothing is attached to the data: it is dropped, and no reply is
            // sent. A receive error (an ICMP report, say) is ignored likewise.
            if (n >= 1) received_.fetch_add(1);
            if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) break;
            if (n == SOCKET_ERROR && ::WSAGetLastError() != WSAECONNRESET && ::WSAGetLastError() != WSAEMSGSIZE) break;
        }
    }
}

}  // namespace torvane::win32
