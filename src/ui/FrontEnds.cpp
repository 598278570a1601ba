#include "ui/FrontEnds.h"

#include "bootloader/DeviceSearch.h"
#include "bootloader/ProgramDevice.h"
#include "shell/SettingsStore.h"
#include "ui/Presenter.h"

namespace torvane {

bool SetPortsFromSetting(FrontEndContext& ctx, FrontEnd frontEnd, std::string_view comSetting) {
    auto& ch = ctx.port;
    ch.CurrentPort = comSetting.empty() ? 0 : PortIndexFromSetting(comSetting);
    if (frontEnd == FrontEnd::LoaderWindow) {
        ch.OpenedPort = comSetting.empty() ? std::int16_t(-1) : static_cast<std::int16_t>(ch.CurrentPort + 1);
        return ch.OpenedPort < 0;
    }
    ch.OpenedPort = static_cast<std::int16_t>(ch.CurrentPort - 1);
    return false;
}

LoaderTagSetup LoaderTags(std::string_view identity) {
    LoaderTagSetup s;
    s.wakeVariant = TaggedWakeVariant(identity);
    if (TaggedWithoutLogo(identity, FrontEnd::LoaderWindow)) {
        s.showLogo = false;
        s.captionSuffix = NoLogoSuffix;
    }
    return s;
}

namespace {

void WaitingStyle(Label& l, std::string_view text) {
    l.setAlignment(Alignment::Left);
    l.setFontColour(ClBlack);
    l.setFontStyle({false, true});
    l.setFontHeight(25);
    l.setCaption(std::string(text));
}

}  // namespace

void ResetLoaderDisplay(LoaderWindowView& v) {
    v.ProgressBar1->setPosition(0);
    WaitingStyle(*v.Label1, LoaderWaitingText);
    v.Label6->setCaption("");
    v.Label7->setCaption("");
}

void ShowLoaderPortInvalid(LoaderWindowView& v) { WaitingStyle(*v.Label1, LoaderPortInvalidText); }

bool SequenceModeFor(std::string_view identity) { return TaggedSequenceMode(identity); }

void SetUpFrontEnd(FrontEndContext& ctx, std::string_view rememberedPort, std::string_view identity) {
    const FrontEnd front = ActiveFrontEnd(ctx.presenter);
    if (front == FrontEnd::LoaderWindow) ResetLoaderDisplay(*ctx.presenter.loader);
    const bool noPortRemembered = SetPortsFromSetting(ctx, front, rememberedPort);
    switch (front) {
    case FrontEnd::LoaderWindow:
        if (noPortRemembered) ShowLoaderPortInvalid(*ctx.presenter.loader);
        ctx.WakeVariant = LoaderTags(identity).wakeVariant;
        break;
    case FrontEnd::UpgradeWindow:
        // Device texts and their details share the fourth panel here.
        ctx.presenter.PanelIndex[DevicePanel] = DetailPanel;
        ctx.SequenceMode = SequenceModeFor(identity) ? 1 : 0;
        break;
    case FrontEnd::MainWindow:
        break;
    }
    BuildImageTable(ctx.images);
}

void MainUpdateClick(FrontEndContext& ctx) {
    ctx.tally = {};
    if (SearchDevice(ctx) == SearchFound) ProgramDevice(ctx);
}

void LoaderUpdateClick(FrontEndContext& ctx) {
    ctx.tally = {};
    auto& v = *ctx.presenter.loader;
    ResetLoaderDisplay(v);
    switch (SearchDevice(ctx)) {
    case SearchFound:
        ProgramDevice(ctx);
        break;
    case SearchNotFound:
        ShowProgress(ctx, std::string(LoaderNotFoundText), ClBlack);
        break;
    case SearchPortUnusable:
        ShowProgress(ctx, std::string(LoaderPortInvalidText), ClRed);
        break;
    default:
        break;  // the search has said why
    }
}

void UpgradeStartClick(FrontEndContext& ctx) {
    ctx.tally = {};
    auto& v = *ctx.presenter.upgrade;
    v.ProgressBar2->setMinimum(0);
    v.ProgressBar2->setMaximum(static_cast<std::int8_t>(MarkPendingImages(ctx.images)) + 1);
    v.ProgressBar2->setPosition(0);
    std::int32_t m = 0;
    do {
        m = 0;
        if (SearchDevice(ctx) == SearchFound) {
            m = ProgramDevice(ctx);
            v.ProgressBar2->setPosition(v.ProgressBar2->maximum() - static_cast<std::int8_t>(m & 0xFF));
        }
    } while ((m & 0xFF) != 0);
}

void MainStopClick(FrontEndContext& ctx) {
    ctx.presenter.main.Button2->setVisible(false);
    ctx.receiver.abort = 1;
}

void LoaderAbortClick(FrontEndContext& ctx) {
    ShowIdle(ctx);
    ctx.receiver.abort = 1;
    ctx.presenter.loader->ProgressBar1->setState(BarState::Error);
}

void UpgradeStopClick(FrontEndContext& ctx) {
    ShowIdle(ctx);
    ctx.receiver.abort = 1;
}

std::string ClosePortsOnExit(FrontEndContext& ctx) {
    auto& ch = ctx.port;
    if (ch.CurrentPort == ch.OpenedPort) ClosePort(ch, ch.CurrentPort);
    return std::to_string(ch.CurrentPort);
}

}  // namespace torvane
