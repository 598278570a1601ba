#include "bootloader/DeviceSearch.h"

#include "bootloader/Frames.h"
#include "bootloader/Receiver.h"
#include "ui/Presenter.h"

namespace torvane {

namespace {

StatusBar& ActiveStatusBar(Context& ctx) {
    auto& p = ctx.presenter;
    if (p.loader) return *p.loader->StatusBar1;
    if (p.upgrade) return *p.upgrade->StatusBar1;
    return *p.main.StatusBar1;
}

// Why CurrentPort cannot be used, beside the short message, never in its place.
void ExplainUnusablePort(Context& ctx) {
    const auto& ch = ctx.port;
    const std::string why = ch.lastOpenFailure.empty() ? ComName(ch.CurrentPort) + " cannot be opened"
                                                       : ComName(ch.CurrentPort) + ": " + ch.lastOpenFailure;
    SetPanelText(ctx, ActiveStatusBar(ctx), DetailPanel, why);
}

}  // namespace

void ReopenPort(Context& ctx) {
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
    if (FlushPort(ch, ch.CurrentPort) < 0) {
        ctx.outcome = Outcome::PortUnusable;
        ShowResult(ctx, "Invalid Port Com", ClRed, 0);
        ExplainUnusablePort(ctx);
    }
}

std::uint8_t WakeCode(const Context& ctx) {
    if (ActiveFrontEnd(ctx.presenter) == FrontEnd::UpgradeWindow) return WakeCodeUpgrade;
    switch (ctx.WakeVariant) {
    case 1: return WakeCodeVariant;
    case 2: return WakeCodeUpgrade;
    default: return WakeCodeStandard;
    }
}

std::int16_t SearchDevice(Context& ctx, ProgressBar& bar, StatusBar& status) {
    auto& ch = ctx.port;
    ctx.outcome = Outcome::None;
    ch.OpenedPort = -1;
    ctx.presenter.main.Label2->setVisible(false);
    bar.setPosition(0);
    bar.setSmooth(true);
    ReopenPort(ctx);
    ShowPort(ctx, status);
    ShowBusy(ctx);
    if (FlushPort(ch, ch.CurrentPort) < 0) {
        ctx.outcome = Outcome::PortUnusable;
        ShowIdle(ctx);
        ExplainUnusablePort(ctx);  // the busy state took the UpgradeWindow's shared panel
        return SearchPortUnusable;
    }

    ResetRecord(ctx);
    ctx.layout.protectedRange = {};
    ClearIdentity(ctx);

    bar.setState(BarState::Paused);
    ctx.FrameBuffer[0] = WakeCode(ctx);
    bar.setMaximum(WakeTries);
    const FrontEnd front = ActiveFrontEnd(ctx.presenter);
    bool found = false;
    for (int i = 0; i < WakeTries && !found; ++i) {
        DrainInput(ch);
        ClearIdentity(ctx);
        switch (front) {
        case FrontEnd::LoaderWindow:
            ShowProgress(ctx, "Search Device", ClBlack);
            bar.setPosition(WakeTries - i);
            break;
        case FrontEnd::UpgradeWindow:
            bar.setPosition(WakeTries - i);
            SetPanelText(ctx, status, StatusPanel, "Search Device");
            break;
        case FrontEnd::MainWindow:
            SetPanelText(ctx, status, StatusPanel, "Try " + std::to_string(i));
            break;
        }
        ctx.receiver.ack = 0;
        ctx.receiver.refusal = 0;
        WritePort(ch, ch.CurrentPort, ctx.FrameBuffer.data(), 1);
        const auto r = WaitForReply(ctx, WakeReplyMs);
        if (r == WaitAborted) {
            ShowErrorCode(ctx, SendUserAbort);
            bar.setPosition(0);
            return SearchAborted;
        }
        found = r == WaitAcknowledged;
    }
    bar.setState(BarState::Normal);
    bar.setPosition(0);
    if (!found) {
        ctx.outcome = Outcome::NotFound;
        SetPanelText(ctx, status, StatusPanel, "Device not Found");
        ShowIdle(ctx);
        return SearchNotFound;
    }
    return SearchFound;
}

}  // namespace torvane
