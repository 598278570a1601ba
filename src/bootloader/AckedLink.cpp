#include "bootloader/AckedLink.h"

#include <algorithm>

#include "bootloader/Frames.h"
#include "bootloader/Receiver.h"
#include "bootloader/ReplyDecoder.h"

namespace torvane {

AckedLink::AckedLink(RunContext& ctx) : ctx_(ctx), identity_(ctx.identity) {
    if (ctx.answerOwedSince) owed_ = Owed{*ctx.answerOwedSince, {}};
    ctx.answerOwedSince.reset();
}

SendResult AckedLink::send(std::span<const std::uint8_t> frame) {
    std::vector<std::uint8_t> bytes(frame.begin(), frame.end());
    bytes.push_back(Checksum8(frame));
    queue_.push_back({std::move(bytes)});
    return sendQueued();
}

SendResult AckedLink::finish() {
    for (;;) {
        const auto quiet = owed_ ? lateness() : LineSettleQuiet;
        owed_.reset();
        const auto late = SettleLine(ctx_, quiet, quiet + LineSettleLimit);
        keepIdentity();
        if (!late) return SendUserAbort;
        // A device gone before its last answers were borne out leaves the
        // transfer unconfirmed.
        if (CurrentPortGone(ctx_.port)) return SendNoResponse;
        if (late->total() == 0) return SendOk;
        // Answers after the last frame's: one of the last frames was paired
        // with an answer that was not its own.
        if (countAnomaly()) return SendLineTooNoisy;
        requeue(late->total());
        if (const auto r = sendQueued(); r != SendOk) return r;
    }
}

SendResult AckedLink::sendQueued() {
    ReceiverState& rx = ctx_.receiver;
    while (!queue_.empty()) {
        DroppedAnswers stray;
        if (DropInput(ctx_, stray) > 0) {
            // Came after the last answer was taken: that answer may not have
            // been its frame's.
            if (const auto r = anomaly(1 + stray.total()); r != SendOk) return r;
            continue;
        }

        Pending& frame = queue_.front();
        rx.ack = 0;
        rx.refusal = 0;
        rx.identityCounter = NoIdentityBytesExpected;
        rx.recordState = RecordIdle;
        const auto sentAt = PumpOf(ctx_).now();
        // A frame the port would not take has no answer to wait for: the
        // verdict is the one silence gets, without the wait.
        if (WritePort(ctx_.port, ctx_.port.CurrentPort, frame.bytes) != WriteAccepted) return SendNoResponse;
        ++(frame.sentBefore ? ctx_.tally.resent : ctx_.tally.sent);
        frame.sentBefore = true;
        // The frame and then its one-byte answer must cross the line first.
        const auto earliest = sentAt + LineTime(ctx_.port, frame.bytes.size() + 1);
        const FrameAnswer heard = AwaitFrameAnswer(ctx_, AckTimeout, earliest);
        const bool refused = heard.outcome == WaitRefused || rx.refusal != 0;
        rx.refusal = 0;
        keepIdentity();

        if (heard.outcome == WaitAborted) return SendUserAbort;
        if (heard.outcome == WaitAcknowledged && heard.single()) {
            Pending done = std::move(frame);
            queue_.pop_front();
            if (const auto r = acknowledged(std::move(done)); r != SendOk) return r;
            continue;
        }
        // Frames before this one are in doubt when an answer came that was
        // not this frame's alone; silence casts no doubt on them.
        int doubt = 1 + std::max(heard.answers - 1, 0);
        if (heard.outcome == WaitNothing) {
            if (CurrentPortGone(ctx_.port)) return SendNoResponse;  // every resend would wait in vain
            if (++frame.silences > SilentFrameResends || ++silences_ > MaxSilencesPerTransfer) return SendNoResponse;
            if (!owed_) owed_ = Owed{sentAt, frame.bytes};
            doubt = 0;
        } else if (refused) {
            // An acknowledgement that came with a refusal proves nothing: the
            // 'K' may be the device's answer to a stray byte of this frame.
            ++ctx_.tally.refused;
            ctx_.runView().resending(frame.refusals);
            if (++frame.refusals >= MaxTransmissions) return SendRefused;
        }
        if (const auto r = anomaly(doubt); r != SendOk) return r;
    }
    return SendOk;
}

SendResult AckedLink::acknowledged(Pending frame) {
    recent_.push_back(std::move(frame.bytes));
    if (recent_.size() > static_cast<std::size_t>(MaxFramesInDoubt) + 1) recent_.pop_front();
    if (!owed_) return SendOk;

    // This acknowledgement may be the answer still owed. If that was owed by
    // this same frame, either copy's 'K' means the row is written, and only
    // a refusal or more than one other answer now would cast doubt on it; if
    // it was owed by another command or frame, this frame may never have
    // arrived, and is sent again whatever comes.
    const bool sameFrame = owed_->frame == recent_.back();
    const auto quiet = lateness();
    owed_.reset();
    const auto late = SettleLine(ctx_, quiet, quiet + LineSettleLimit);
    keepIdentity();
    if (!late) return SendUserAbort;
    if (sameFrame && late->refusals == 0 && late->acks <= 1) return SendOk;
    requeue(std::max(late->total(), 1));
    return SendOk;
}

SendResult AckedLink::anomaly(int doubt) {
    if (countAnomaly()) return SendLineTooNoisy;
    const auto late = SettleLine(ctx_);
    keepIdentity();
    if (!late) return SendUserAbort;
    // An answer still owed has most likely come now; each answer that came
    // while the line settled may have been taken for a frame's.
    if (late->total() > 0) owed_.reset();
    requeue(doubt + late->total());
    return SendOk;
}

void AckedLink::requeue(int frames) {
    frames = std::min({frames, MaxFramesInDoubt, static_cast<int>(recent_.size())});
    for (int k = 0; k < frames; ++k) {
        queue_.push_front({std::move(recent_.back()), 0, 0, true});
        recent_.pop_back();
    }
}

std::chrono::milliseconds AckedLink::lateness() const {
    const auto since = PumpOf(ctx_).now() - owed_->since;
    return std::chrono::duration_cast<std::chrono::milliseconds>(since) + LateAnswerMargin;
}

bool AckedLink::countAnomaly() {
    ++ctx_.tally.anomalies;
    return ++anomalies_ > NoisyLineAnomalies;
}

void AckedLink::keepIdentity() { ctx_.identity = identity_; }

}  // namespace torvane
