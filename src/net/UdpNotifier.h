#pragma once
// The optional UDP service: started by the "\P" switch, it keeps a UDP port
// open that accepts and ignores datagrams, and it receives every verdict as
// the Presenter's notification hook.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "net/Notification.h"
#include "platform/UdpListener.h"

namespace torvane {

inline constexpr std::uint16_t UdpPort = 3004;
inline constexpr std::string_view UdpSwitch = "\\P";  // first argument, either letter case

// Code (big-endian u32), 0, 4 (big-endian u32).
using NotificationRecord = std::array<std::uint8_t, 12>;
NotificationRecord BuildNotificationRecord(std::uint8_t code);

class UdpDataHandler {
public:
    // Inactive until Activate. Precondition: `listener` is not null.
    explicit UdpDataHandler(std::unique_ptr<UdpListener> listener, std::uint16_t port = UdpPort);

    // Binds the port and starts the listener threads; a second call does
    // nothing. Throws UdpServiceError naming the port when it is taken.
    void Activate();
    bool active() const { return active_; }
    std::uint16_t port() const { return port_; }
    const UdpListener& listener() const { return *listener_; }

    // The record of the last verdict handed over; all zero before the first.
    const NotificationRecord& lastRecord() const { return lastRecord_; }

private:
    friend void NotifyResult(UdpDataHandler& handler, std::uint8_t code);
    std::unique_ptr<UdpListener> listener_;
    std::uint16_t port_;
    bool active_ = false;
    NotificationRecord lastRecord_{};
};

// The notification hook: builds the verdict's record and sends nothing, as
// there is no destination to send it to.
void NotifyResult(UdpDataHandler& handler, std::uint8_t code);

// True when the first of `args` (the arguments after the program name) is
// "\P" in either case; later arguments are not looked at.
bool UdpSwitchGiven(std::span<const std::string> args);

// Without the switch: returns null and changes nothing. With it: creates the
// handler on `port` with a listener from `makeListener`, activates it and
// installs NotifyResult on it as `hook`. The hook keeps the handler alive;
// the returned pointer is the same handler. Throws UdpServiceError when the
// port cannot be bound; the hook is then left as it was.
std::shared_ptr<UdpDataHandler> StartUdpService(std::span<const std::string> args, NotificationHook& hook,
                                                const UdpListenerFactory& makeListener,
                                                std::uint16_t port = UdpPort);

}  // namespace torvane
