#include "bootloader/DeviceSearch.h"

#include "bootloader/Frames.h"
#include "bootloader/Receiver.h"
#include "bootloader/Verdicts.h"

namespace torvane {

namespace {

// Why CurrentPort cannot be used, beside the short message, never in its place.
void ExplainUnusablePort(RunContext& ctx) {
    const auto& ch = ctx.port;
    const std::string why = ch.lastOpenFailure.empty() ? ComName(ch.CurrentPort) + " cannot be opened"
                                                       : ComName(ch.CurrentPort) + ": " + ch.lastOpenFailure;
    ctx.runView().portReason(why);
}

}  // namespace

void ReopenPort(RunContext& ctx) {
    auto& ch = ctx.port;
    if (ch.CurrentPort == ch.OpenedPort) return;
    ch.OpenedPort = ch.CurrentPort;
    // One port at a time: the one used before is released (its exclusive
    // lock with it), whichever it was, before the chosen one is opened.
    for (int index = 0; index <= MaxPortIndex; ++index)
        if (index != ch.CurrentPort) ClosePort(ch, index);
    ClosePort(ch, ch.CurrentPort);
    OpenPort(ch, ch.CurrentPort, PortBaudRate, NoParity, TwoStopBits, EightDataBits, 0);
    SetControlLines(ch, ch.CurrentPort, 1);
    if (FlushPort(ch, ch.CurrentPort) != PortUsable) {
        ctx.outcome = Outcome::PortUnusable;
        ctx.runView().failed(InvalidPortText);
        ExplainUnusablePort(ctx);
    }
}

std::uint8_t WakeCode(std::uint8_t wakeVariant) {
    switch (wakeVariant) {
    case 1: return WakeCodeVariant;
    case 2: return WakeCodeUpgrade;
    default: return WakeCodeStandard;
    }
}

SearchResult SearchDevice(RunContext& ctx) {
    auto& ch = ctx.port;
    RunView& view = ctx.runView();
    ctx.outcome = Outcome::None;
    ch.OpenedPort = -1;
    view.searchStarted();
    view.progress(0);
    view.progressSmooth(true);
    ReopenPort(ctx);
    view.showPort(ch.CurrentPort);
    view.busy();
    if (FlushPort(ch, ch.CurrentPort) != PortUsable) {
        ctx.outcome = Outcome::PortUnusable;
        view.idle();
        ExplainUnusablePort(ctx);  // the busy state took the UpgradeWindow's shared panel
        return SearchPortUnusable;
    }

    ResetRecord(ctx);
    ctx.layout.protectedRange = {};
    ClearIdentity(ctx);

    ctx.FrameBuffer[0] = ctx.wakeCode;
    view.wakeUpsStarted(WakeTries);
    bool found = false;
    for (int i = 0; i < WakeTries && !found; ++i) {
        DrainInput(ch);
        ClearIdentity(ctx);
        view.wakeUpTry(i, WakeTries);
        ctx.receiver.ack = 0;
        ctx.receiver.refusal = 0;
        // A wake-up the port would not take reaches no boot loader: the search
        // ends at once the way a hundred unanswered tries end it.
        if (WritePort(ch, ch.CurrentPort, std::span(ctx.FrameBuffer).first(1)) != WriteAccepted) break;
        const auto r = WaitForReply(ctx, WakeReply);
        if (r == WaitAborted) {
            ShowErrorCode(ctx, SendUserAbort);
            view.progress(0);
            return SearchAborted;
        }
        found = r == WaitAcknowledged;
    }
    view.wakeUpsEnded();
    if (!found) {
        ctx.outcome = Outcome::NotFound;
        view.notFound();
        return SearchNotFound;
    }
    return SearchFound;
}

}  // namespace torvane
