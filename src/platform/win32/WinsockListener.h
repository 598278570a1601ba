#pragma once
// UDP sockets and listener threads for the UDP service, on Winsock. Each
// binding's thread waits for data in 1000 ms turns, takes datagrams into a
// 65536-byte buffer and drops them. One manual-reset event tells every
// thread to stop at once.

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/UdpListener.h"

namespace torvane::win32 {

inline constexpr DWORD UdpWaitMs = 1000;                    // one readiness wait
inline constexpr std::size_t UdpReceiveBufferSize = 65536;  // the largest datagram taken in one receive

class WinsockListener final : public UdpListener {
public:
    WinsockListener();
    ~WinsockListener() override;
    WinsockListener(const WinsockListener&) = delete;
    WinsockListener& operator=(const WinsockListener&) = delete;

    void activate(std::uint16_t port) override;
    int bindingCount() const override { return static_cast<int>(sockets_.size()); }
    std::uint64_t datagramsReceived() const override { return received_.load(); }

    static std::unique_ptr<UdpListener> Make() { return std::make_unique<WinsockListener>(); }

private:
    void listen(SOCKET socket, WSAEVENT ready);
    void closeAll();

    bool started_ = false;  // WSAStartup succeeded
    std::vector<SOCKET> sockets_;
    std::vector<WSAEVENT> events_;
    std::vector<std::thread> threads_;
    WSAEVENT stop_ = WSA_INVALID_EVENT;
    std::atomic<std::uint64_t> received_{0};
};

}  // namespace torvane::win32
