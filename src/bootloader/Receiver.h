#pragma once
// The reply receiver: reads what the device sent, decodes it, and turns it
// into the outcome of one wait. Waits are the only way an update run lets time
// pass; each step hands control to the context's event pump so that window
// messages (the Stop buttons) are processed in between.

#include <chrono>
#include <cstdint>
#include <optional>

#include "bootloader/RunContext.h"

namespace torvane {

// One wait step: the pump waits up to this long, then processes messages.
inline constexpr std::chrono::milliseconds Step{5};

// WaitForReply: acknowledged, refused, the user asked to stop, or nothing came.
enum WaitOutcome : std::int16_t { WaitAborted = -2, WaitRefused = -1, WaitNothing = 0, WaitAcknowledged = 1 };

// One non-blocking read of CurrentPort into ReceiveBuffer; every byte read is
// decoded. Returns the number of bytes read, 0 when the port is closed or the
// read failed (the receiver state is then unchanged).
std::uint16_t PollReceiver(RunContext& ctx);

// Waits for the device's answer: 1 acknowledgement, -1 refusal, -2 the user
// asked to stop, 0 nothing within `timeout`. Flags are tested after each step
// in that order (abort, ack, refusal) and the one reported is cleared. Never
// returns 0 before `timeout` has passed; below one step it returns 0 at once
// without reading.
[[nodiscard]] WaitOutcome WaitForReply(RunContext& ctx, std::chrono::milliseconds timeout);

// What one wait for a frame's answer heard: its outcome as WaitForReply
// reports it, how many answer bytes ('K' or 'N') and other bytes the read
// that ended it held, and whether that read came before `earliest`, the
// moment the frame can first have reached the device. A frame has exactly
// one answer, and it cannot come before the frame has arrived: anything else
// is a sign that some answer on the line belongs to another frame.
struct FrameAnswer {
    WaitOutcome outcome = WaitNothing;
    int answers = 0;
    int others = 0;
    bool early = false;
    bool single() const { return answers == 1 && others == 0 && !early; }
};
[[nodiscard]] FrameAnswer AwaitFrameAnswer(RunContext& ctx, std::chrono::milliseconds timeout,
                                           Clock::TimePoint earliest);

// The context's pump. Precondition for every wait: ctx.pump is installed.
EventPump& PumpOf(RunContext& ctx);

// Lets `duration` pass in 5 ms steps with window messages processed in
// between; 1..5 ms is one step, 0 or less none.
void PumpWait(RunContext& ctx, std::chrono::milliseconds duration);

// After a refusal the device may still be answering the rest of a frame the
// line damaged: it takes stray bytes of it for commands of their own (a 204,
// a wake-up code) and answers them. Those answers belong to no frame of ours.
// SettleLine reads and drops whatever arrives, undecoded, until the line has
// been quiet for `quiet`, and gives up waiting for quiet after `limit`. It
// counts the answer bytes among what it dropped; nothing when the user asked
// to stop meanwhile (the abort flag is then cleared).
struct DroppedAnswers {
    int acks = 0;
    int refusals = 0;
    int total() const { return acks + refusals; }
};
inline constexpr std::chrono::milliseconds LineSettleQuiet{100};
inline constexpr std::chrono::milliseconds LineSettleLimit{1000};
[[nodiscard]] std::optional<DroppedAnswers> SettleLine(RunContext& ctx, std::chrono::milliseconds quiet = LineSettleQuiet,
                                                       std::chrono::milliseconds limit = LineSettleLimit);

// Reads and drops what is waiting now, without waiting for more. Returns the
// number of bytes dropped; `answers` counts the answer bytes among them.
int DropInput(RunContext& ctx, DroppedAnswers& answers);

// Sets chipCode, biosVersion, hardwareCode and preparationCode to 0;
// identitySeen and the record are left alone.
void ClearIdentity(RunContext& ctx);

// Forgets the device record before a search: record state idle, recordText
// empty, protected range start and length 0.
void ResetRecord(RunContext& ctx);

}  // namespace torvane
