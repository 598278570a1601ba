#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <thread>

#include "net/UdpNotifier.h"
#include "platform/posix/UdpListener.h"

using namespace torvane;
using namespace std::chrono_literals;

namespace {

// A plain socket of the test's own, bound to `port` (0: any) on a loopback or wildcard address.
struct TestSocket {
    int fd = -1;
    std::uint16_t port = 0;
    TestSocket(int family, std::uint16_t wanted, bool loopback = true) {
        fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return;
        sockaddr_storage s{};
        socklen_t len;
        if (family == AF_INET) {
            auto* a = reinterpret_cast<sockaddr_in*>(&s);
            a->sin_family = AF_INET;
            a->sin_addr.s_addr = htonl(loopback ? INADDR_LOOPBACK : INADDR_ANY);
            a->sin_port = htons(wanted);
            len = sizeof *a;
        } else {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
            auto* a = reinterpret_cast<sockaddr_in6*>(&s);
            a->sin6_family = AF_INET6;
            a->sin6_addr = loopback ? in6addr_loopback : in6addr_any;
            a->sin6_port = htons(wanted);
            len = sizeof *a;
        }
        if (::bind(fd, reinterpret_cast<sockaddr*>(&s), len) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&s), &len) != 0) {
            ::close(fd);
            fd = -1;
            return;
        }
        port = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&s)->sin_port
                                       : reinterpret_cast<sockaddr_in6*>(&s)->sin6_port);
    }
    ~TestSocket() {
        if (fd >= 0) ::close(fd);
    }
    bool ok() const { return fd >= 0; }
};

bool HostHasIpv6() { return TestSocket(AF_INET6, 0).ok(); }

// A port free on both families right now.
std::uint16_t FreeUdpPort() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        TestSocket v4(AF_INET, 0, false);
        if (!v4.ok()) continue;
        if (!HostHasIpv6() || TestSocket(AF_INET6, v4.port, false).ok()) return v4.port;
    }
    ADD_FAILURE() << "no free UDP port";
    return 0;
}

bool SendTo(int family, std::uint16_t port, std::size_t size = 16) {
    TestSocket from(family, 0);
    if (!from.ok()) return false;
    sockaddr_storage s{};
    socklen_t len;
    if (family == AF_INET) {
        auto* a = reinterpret_cast<sockaddr_in*>(&s);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a->sin_port = htons(port);
        len = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in6*>(&s);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_loopback;
        a->sin6_port = htons(port);
        len = sizeof *a;
    }
    const std::vector<char> data(size, 'x');
    return ::sendto(from.fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&s), len) == static_cast<ssize_t>(size);
}

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

TEST(UdpNotifier, TheServiceAcceptsDatagramsOnEveryFamilyAndTakesTheVerdicts) {
    const std::uint16_t port = FreeUdpPort();
    NotificationHook hook;
    const std::vector<std::string> args{"\\p"};
    auto handler = StartUdpService(args, hook, posix::UdpSocketListener::Make, port);
    ASSERT_TRUE(handler);
    EXPECT_TRUE(handler->active());
    EXPECT_EQ(handler->port(), port);
    const bool v6 = HostHasIpv6();
    EXPECT_EQ(handler->listener().bindingCount(), v6 ? 2 : 1);

    ASSERT_TRUE(SendTo(AF_INET, port));
    ASSERT_TRUE(WaitFor([&] { return handler->listener().datagramsReceived() == 1; }));
    if (v6) {
        ASSERT_TRUE(SendTo(AF_INET6, port, 65000));  // a large one fits the buffer too
        ASSERT_TRUE(WaitFor([&] { return handler->listener().datagramsReceived() == 2; }));
    }

    ASSERT_TRUE(hook);
    hook(1);
    EXPECT_EQ(handler->lastRecord(), (NotificationRecord{0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 4}));
    hook(0);
    EXPECT_EQ(handler->lastRecord(), (NotificationRecord{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4}));
    EXPECT_EQ(BuildNotificationRecord(255), (NotificationRecord{0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0, 4}));
}

TEST(UdpNotifier, Port3004WhenItIsFree) {
    NotificationHook hook;
    const std::vector<std::string> args{"\\P"};
    std::shared_ptr<UdpDataHandler> handler;
    try {
        handler = StartUdpService(args, hook, posix::UdpSocketListener::Make);
    } catch (const UdpServiceError& e) {
        // Another program on this host may hold the port; any other reason
        // is the listener's own failure.
        const std::string inUse = "Cannot open UDP port 3004: " + std::system_category().message(EADDRINUSE);
        if (e.what() == inUse) GTEST_SKIP() << e.what();
        FAIL() << e.what();
    }
    ASSERT_TRUE(handler);
    EXPECT_EQ(handler->port(), 3004);
    ASSERT_TRUE(SendTo(AF_INET, 3004));
    EXPECT_TRUE(WaitFor([&] { return handler->listener().datagramsReceived() >= 1; }));
}

TEST(UdpNotifier, ATakenPortIsAnErrorThatNamesItAndLeavesNothingBound) {
    const std::uint16_t port = FreeUdpPort();
    const std::string expected = "Cannot open UDP port " + std::to_string(port) + ": Address already in use";
    auto expectTaken = [&] {
        NotificationHook hook;
        const std::vector<std::string> args{"\\P"};
        try {
            StartUdpService(args, hook, posix::UdpSocketListener::Make, port);
            ADD_FAILURE() << "no error";
        } catch (const UdpServiceError& e) {
            EXPECT_EQ(e.what(), expected);
        }
        EXPECT_FALSE(hook);
    };

    {
        UdpDataHandler first(posix::UdpSocketListener::Make(), port);
        first.Activate();
        expectTaken();
        ASSERT_TRUE(SendTo(AF_INET, port));  // the first service goes on
        EXPECT_TRUE(WaitFor([&] { return first.listener().datagramsReceived() == 1; }));
    }

    if (!HostHasIpv6()) GTEST_SKIP() << "no IPv6 on this host";
    {
        // Taken on IPv6 only: the IPv4 binding made before must be let go.
        TestSocket v6(AF_INET6, port, false);
        ASSERT_TRUE(v6.ok());
        expectTaken();
        EXPECT_TRUE(TestSocket(AF_INET, port, false).ok());
    }
}

TEST(UdpNotifier, AFloodLeavesMemoryFlat) {
    const std::uint16_t port = FreeUdpPort();
    UdpDataHandler handler(posix::UdpSocketListener::Make(), port);
    handler.Activate();
    TestSocket from(AF_INET, 0);
    ASSERT_TRUE(from.ok());
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    const std::vector<char> data(1400, 'f');
    auto flood = [&](int count) {
        for (int i = 0; i < count; ++i)
            ::sendto(from.fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        // Let the listener drain what the socket kept (loopback may drop some).
        std::uint64_t seen = ~0ull;
        while (seen != handler.listener().datagramsReceived()) {
            seen = handler.listener().datagramsReceived();
            std::this_thread::sleep_for(100ms);
        }
    };

    flood(500);  // warm-up: the listener's buffer and the socket queues exist now
    const long before = ResidentKiB();
    const std::uint64_t received = handler.listener().datagramsReceived();
    flood(10000);
    const long after = ResidentKiB();

    ASSERT_GT(before, 0);
    EXPECT_GT(handler.listener().datagramsReceived(), received);
    EXPECT_LT(after - before, 8 * 1024) << "KiB before " << before << ", after " << after;
}

}  // namespace
