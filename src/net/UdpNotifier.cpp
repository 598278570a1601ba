#include "net/UdpNotifier.h"

namespace torvane {

namespace {

constexpr std::uint32_t RecordLength = 4;  // the record's last field

void PutBigEndian(NotificationRecord& r, std::size_t at, std::uint32_t v) {
    r[at] = static_cast<std::uint8_t>(v >> 24);
    r[at + 1] = static_cast<std::uint8_t>(v >> 16);
    r[at + 2] = static_cast<std::uint8_t>(v >> 8);
    r[at + 3] = static_cast<std::uint8_t>(v);
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

NotificationRecord BuildNotificationRecord(std::uint8_t code) {
    NotificationRecord r{};
    PutBigEndian(r, 0, code);
    PutBigEndian(r, 4, 0);
    PutBigEndian(r, 8, RecordLength);
    return r;
}

UdpDataHandler::UdpDataHandler(std::unique_ptr<UdpListener> listener, std::uint16_t port)
    : listener_(std::move(listener)), port_(port) {}

void UdpDataHandler::Activate() {
    if (active_) return;
    listener_->activate(port_);
    active_ = true;
}

void NotifyResult(UdpDataHandler& handler, std::uint8_t code) { handler.lastRecord_ = BuildNotificationRecord(code); }

bool UdpSwitchGiven(std::span<const std::string> args) {
    if (args.empty() || args[0].size() != UdpSwitch.size()) return false;
    for (std::size_t i = 0; i < UdpSwitch.size(); ++i)
        if (Upper(args[0][i]) != UdpSwitch[i]) return false;
    return true;
}

std::shared_ptr<UdpDataHandler> StartUdpService(std::span<const std::string> args, NotificationHook& hook,
                                                const UdpListenerFactory& makeListener, std::uint16_t port) {
    if (!UdpSwitchGiven(args)) return nullptr;
    auto handler = std::make_shared<UdpDataHandler>(makeListener(), port);
    handler->Activate();
    hook = [handler](std::uint8_t code) { NotifyResult(*handler, code); };
    return handler;
}

}  // namespace torvane
