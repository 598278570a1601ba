#include "bootloader/Receiver.h"

#include "bootloader/ReplyDecoder.h"

namespace torvane {

EventPump& PumpOf(RunContext& ctx) { return *ctx.pump; }

std::uint16_t PollReceiver(RunContext& ctx) {
    const std::uint16_t n = ReadCurrentPort(ctx.port);
    for (std::uint16_t i = 0; i < n; ++i) FeedReplyByte(ctx.receiver, ctx.identity, ctx.port.ReceiveBuffer[i]);
    return n;
}

WaitOutcome WaitForReply(RunContext& ctx, std::chrono::milliseconds timeout) {
    return AwaitFrameAnswer(ctx, timeout, Clock::TimePoint{}).outcome;
}

FrameAnswer AwaitFrameAnswer(RunContext& ctx, std::chrono::milliseconds timeout, Clock::TimePoint earliest) {
    FrameAnswer heard;
    if (timeout < Step) return heard;
    EventPump& pump = PumpOf(ctx);
    ReceiverState& rx = ctx.receiver;
    // A step ends early when the port has input, so a reply is seen as soon
    // as it arrives instead of at the next 5 ms boundary: this keeps a block
    // exchange close to the line's own speed. The wait as a whole is held to
    // a clock deadline, though, so silence is still waited out for the full
    // nominal time and a device gets every millisecond it was promised.
    const auto deadline = pump.now() + timeout;
    do {
        pump.step(Step, CurrentDevice(ctx.port));
        const int before = rx.ack + rx.refusal;
        const int read = PollReceiver(ctx);
        heard.others += read - (rx.ack + rx.refusal - before);
        heard.early = heard.early || (read > 0 && pump.now() < earliest);
        if (rx.abort != 0) {
            rx.abort = 0;
            heard.outcome = WaitAborted;
            return heard;
        }
        if (rx.ack != 0) {
            heard.answers = rx.ack + rx.refusal;
            rx.ack = 0;
            heard.outcome = WaitAcknowledged;
            return heard;
        }
        if (rx.refusal != 0) {
            heard.answers = rx.refusal;
            rx.refusal = 0;
            heard.outcome = WaitRefused;
            return heard;
        }
    } while (pump.now() < deadline);
    heard.outcome = WaitNothing;
    return heard;
}

void PumpWait(RunContext& ctx, std::chrono::milliseconds duration) {
    EventPump& pump = PumpOf(ctx);
    for (auto left = duration; left > left.zero(); left -= Step) pump.step(Step, nullptr);
}

namespace {

constexpr int DropInputMaxReads = 16;

void CountAnswers(const PortChannel& ch, int count, DroppedAnswers& into) {
    for (int i = 0; i < count; ++i) {
        const std::uint8_t b = ch.ReceiveBuffer[static_cast<std::size_t>(i)];
        into.acks += b == ReplyAck;
        into.refusals += b == ReplyRefuse;
    }
}

}  // namespace

std::optional<DroppedAnswers> SettleLine(RunContext& ctx, std::chrono::milliseconds quiet,
                                         std::chrono::milliseconds limit) {
    EventPump& pump = PumpOf(ctx);
    const auto start = pump.now();
    auto lastInput = start;
    DroppedAnswers dropped;
    for (;;) {
        pump.step(Step, CurrentDevice(ctx.port));
        if (ctx.receiver.abort != 0) {
            ctx.receiver.abort = 0;
            return std::nullopt;
        }
        const auto now = pump.now();
        if (const int n = ReadCurrentPort(ctx.port); n > 0) {
            CountAnswers(ctx.port, n, dropped);
            lastInput = now;
        }
        if (now - lastInput >= quiet || now - start >= limit) return dropped;
    }
}

int DropInput(RunContext& ctx, DroppedAnswers& answers) {
    int dropped = 0;
    // Bounded, so a line that never stops talking cannot hold the run here.
    for (int reads = 0; reads < DropInputMaxReads; ++reads) {
        const int n = ReadCurrentPort(ctx.port);
        if (n == 0) break;
        dropped += n;
        CountAnswers(ctx.port, n, answers);
    }
    return dropped;
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
