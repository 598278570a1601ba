#include "bootloader/Receiver.h"

#include "bootloader/ReplyDecoder.h"

namespace torvane {

EventPump& PumpOf(RunContext& ctx) { return *ctx.pump; }

std::uint16_t PollReceiver(RunContext& ctx) {
    const std::uint16_t n = ReadCurrentPort(ctx.port);
    for (std::uint16_t i = 0; i < n; ++i) FeedReplyByte(ctx.receiver, ctx.identity, ctx.port.ReceiveBuffer[i]);
    return n;
}

std::int16_t WaitForReply(RunContext& ctx, int timeoutMs) {
    if (timeoutMs < StepMs) return WaitNothing;
    EventPump& pump = PumpOf(ctx);
    // A step ends early when the port has input, so a reply is seen as soon
    // as it arrives instead of at the next 5 ms boundary: this keeps a block
    // exchange close to the line's own speed. The wait as a whole is held to
    // a clock deadline, though, so silence is still waited out for the full
    // nominal time and a device gets every millisecond it was promised.
    const auto deadline = pump.now() + std::chrono::milliseconds(timeoutMs);
    do {
        pump.step(Step, CurrentDevice(ctx.port));
        PollReceiver(ctx);
        ReceiverState& rx = ctx.receiver;
        if (rx.abort != 0) {
            rx.abort = 0;
            return WaitAborted;
        }
        if (rx.ack != 0) {
            rx.ack = 0;
            return WaitAcknowledged;
        }
        if (rx.refusal != 0) {
            rx.refusal = 0;
            return WaitRefused;
        }
    } while (pump.now() < deadline);
    return WaitNothing;
}

void PumpWait(RunContext& ctx, int ms) {
    EventPump& pump = PumpOf(ctx);
    while (ms > 0) {
        pump.step(Step, nullptr);
        ms -= StepMs;
    }
}

bool SettleLine(RunContext& ctx) {
    EventPump& pump = PumpOf(ctx);
    const auto start = pump.now();
    auto lastInput = start;
    for (;;) {
        pump.step(Step, CurrentDevice(ctx.port));
        if (ctx.receiver.abort != 0) {
            ctx.receiver.abort = 0;
            return false;
        }
        const auto now = pump.now();
        if (ReadCurrentPort(ctx.port) > 0) lastInput = now;
        if (now - lastInput >= std::chrono::milliseconds(LineSettleQuietMs) ||
            now - start >= std::chrono::milliseconds(LineSettleLimitMs))
            return true;
    }
}

void ClearIdentity(RunContext& ctx) {
    DeviceIdentity& id = ctx.identity;
    id.chipCode = 0;
    id.biosVersion = 0;
    id.hardwareCode = 0;
    id.preparationCode = 0;
}

void ResetRecord(RunContext& ctx) {
    ctx.receiver.recordState = RecordIdle;
    ctx.identity.recordText.fill('\0');
    ctx.identity.recordRangeStart = 0;
    ctx.identity.recordRangeLength = 0;
}

}  // namespace torvane
