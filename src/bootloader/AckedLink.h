#pragma once
// Acknowledged transmission of a transfer's frames, every answer paired with
// its own frame.
//
// A frame is answered by one byte, 'K' (written) or 'N' (refused), and with
// no sequence numbers only the order of the answers ties them to the frames.
// One answer too many (a byte of line noise, the device answering a fragment
// of a frame the line broke, the late answer to an earlier command) would
// shift every later pairing by one, and the next refusal would be charged to
// a frame that was written while the refused one was never sent again. So:
//  - what waits on the line before a frame is written is dropped, and is an
//    answer nobody asked for;
//  - a frame's answer is one answer byte alone, read once the frame can have
//    reached the device;
//  - anything else (a refusal, silence, a stray, early or second answer) is
//    an anomaly: the line is let settle, and the frames whose answers it puts
//    in doubt are sent again with the current one. Writing a row twice does
//    no harm; losing one does;
//  - after silence, or a command before the transfer that went unanswered,
//    the missing answer may still be on its way: the next acknowledgement is
//    trusted only once the line has stayed quiet about as long again;
//  - the anomalies are counted: a line that damaged this much cannot be
//    trusted with a result that 8-bit checksums vouch for.
// On a clean line the bytes are exactly those of one write per frame.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "bootloader/Frames.h"
#include "bootloader/RunContext.h"

namespace torvane {

// How many times a frame that got no answer is sent again. Silence means the
// frame or its answer was lost.
inline constexpr int SilentFrameResends = 1;

// A transfer that has met silence this often gives up at the next: a module
// that answers later than the wait, or a line that loses that much, would
// otherwise keep a run going for many minutes.
inline constexpr int MaxSilencesPerTransfer = 8;

// At most this many frames before the current one are sent again after an
// anomaly: one after a refusal or a stray answer, plus one for each surplus
// answer the anomaly brought. Surplus answers arriving while the line
// settles mean as many answers were still on their way, each of which may
// have been taken for a later frame's, so the doubt reaches that far back.
inline constexpr int MaxFramesInDoubt = 16;

// After an acknowledgement that may be a late answer, the line must stay
// quiet as long as that answer is late already, plus this margin.
inline constexpr std::chrono::milliseconds LateAnswerMargin{250};

// A transfer that meets more anomalies than this ends with NoisyLineText
// instead of going on: with that much damage on the line, a frame damaged in
// a way its 8-bit sum cannot see becomes likely enough that a success could
// not be trusted. Chosen from the soak's measurements (see the README).
inline constexpr int NoisyLineAnomalies = 8;

class AckedLink {
public:
    // Takes over an answer the context still owes (an unanswered 204).
    explicit AckedLink(RunContext& ctx);

    // Sends the frame with its checksum appended until the device
    // acknowledges it, with frames in doubt sent again first. SendOk
    // acknowledged; SendNoResponse silence after the resend, too much
    // silence in the transfer, or a write the port refused; SendUserAbort
    // stop requested; SendRefused refused five times; SendLineTooNoisy too
    // many anomalies. A refusal is reported to the view as resend n (from 0).
    [[nodiscard]] SendResult send(std::span<const std::uint8_t> frame);

    // After the last frame: listens until the line is quiet, and sends again
    // the frames that answers arriving now put in doubt. Results as send();
    // SendNoResponse also when the device went away meanwhile.
    [[nodiscard]] SendResult finish();

private:
    struct Pending {
        std::vector<std::uint8_t> bytes;  // checksum included
        int refusals = 0;
        int silences = 0;
        bool sentBefore = false;
    };
    // An answer that may still come, and for what.
    struct Owed {
        Clock::TimePoint since;
        std::vector<std::uint8_t> frame;  // empty: for a command, not a frame
    };

    SendResult sendQueued();
    // Counts the anomaly, lets the line settle and queues again the last
    // `doubt` acknowledged frames, and one more for each answer that came
    // while the line settled.
    SendResult anomaly(int doubt);
    SendResult acknowledged(Pending frame);
    void requeue(int frames);
    std::chrono::milliseconds lateness() const;
    // True once the transfer has met more anomalies than a trusted line would.
    bool countAnomaly();
    // Nothing the device says in the middle of a transfer changes what it
    // told us about itself: replies decoded here are answers, not identities.
    void keepIdentity();

    RunContext& ctx_;
    DeviceIdentity identity_;
    std::deque<Pending> queue_;
    std::deque<std::vector<std::uint8_t>> recent_;  // last acknowledged, oldest first
    std::optional<Owed> owed_;
    int silences_ = 0;
    int anomalies_ = 0;
};

}  // namespace torvane
