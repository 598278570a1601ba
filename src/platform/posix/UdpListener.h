#pragma once
// UDP sockets and listener threads for the UDP service. Each binding's
// thread waits for data in 1000 ms turns, takes datagrams into a 65536-byte
// buffer and drops them. A pipe wakes every thread at once for a prompt stop.

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/UdpListener.h"

namespace torvane::posix {

inline constexpr int UdpWaitMs = 1000;                    // one readiness wait
inline constexpr std::size_t UdpReceiveBufferSize = 65536;  // the largest datagram taken in one receive

class UdpSocketListener final : public UdpListener {
public:
    UdpSocketListener() = default;
    ~UdpSocketListener() override;
    UdpSocketListener(const UdpSocketListener&) = delete;
    UdpSocketListener& operator=(const UdpSocketListener&) = delete;

    void activate(std::uint16_t port) override;
    int bindingCount() const override { return static_cast<int>(sockets_.size()); }
    std::uint64_t datagramsReceived() const override { return received_.load(); }

    static std::unique_ptr<UdpListener> Make() { return std::make_unique<UdpSocketListener>(); }

private:
    void listen(int socket);
    void closeAll();

    std::vector<int> sockets_;
    std::vector<std::thread> threads_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;  // closed to stop the threads
    std::atomic<std::uint64_t> received_{0};
};

}  // namespace torvane::posix
