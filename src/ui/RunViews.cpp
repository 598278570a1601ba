#include "ui/RunViews.h"

#include <cstdio>
#include <string>

#include "bootloader/DeviceSearch.h"
#include "bootloader/Frames.h"
#include "ui/FrontEndContext.h"
#include "ui/EndTexts.h"
#include "ui/Presenter.h"

namespace torvane {

std::uint8_t WindowRunView::wakeCode(std::uint8_t wakeVariant) const { return WakeCode(wakeVariant); }

void WindowRunView::panel(PanelRole role, std::string_view text) { SetPanelText(ctx_, status(), role, text); }
void WindowRunView::progress(int position) { bar().setPosition(position); }
void WindowRunView::progressMaximum(int maximum) { bar().setMaximum(maximum); }
void WindowRunView::progressSmooth(bool smooth) { bar().setSmooth(smooth); }

// The MainWindow's result line goes away while a search runs, whichever
// window drives it: the MainWindow always exists.
void WindowRunView::searchStarted() { ctx_.presenter.main.Label2->setVisible(false); }
void WindowRunView::showPort(std::int16_t) { ShowPort(ctx_, status()); }

void WindowRunView::wakeUpsStarted(int tries) {
    bar().setState(BarState::Paused);
    bar().setMaximum(tries);
}

void WindowRunView::wakeUpsEnded() {
    bar().setState(BarState::Normal);
    bar().setPosition(0);
}

void WindowRunView::portReason(std::string_view reason) { panel(DetailPanel, reason); }

void WindowRunView::notFound() {
    panel(StatusPanel, DeviceNotFoundText);
    ShowIdle(ctx_);
}

void WindowRunView::busy() { ShowBusy(ctx_); }
void WindowRunView::idle() { ShowIdle(ctx_); }
void WindowRunView::identity() { ShowIdentity(ctx_); }
void WindowRunView::highlight(bool plain) { SetHighlight(ctx_, plain); }
void WindowRunView::imageLoaded(std::uint32_t, std::uint32_t, std::uint32_t) {}
void WindowRunView::noImage() { ShowNoImage(ctx_); }
void WindowRunView::imageTooBig() { ShowImageTooBig(ctx_); }
void WindowRunView::programming() { ShowProgress(ctx_, " Programming... ", ClBtnFace); }
void WindowRunView::blockStarted(std::uint32_t) {}

// The counter goes to the MainWindow whatever front end is active: it is the
// one window that always exists.
void WindowRunView::resending(int resend) {
    if (StatusBar* bar = ctx_.presenter.main.StatusBar1) {
        SetPanelText(ctx_, *bar, StatusPanel, "Resend " + std::to_string(resend));
        bar->repaint();
    }
}

void WindowRunView::finalBlock() { panel(StatusPanel, "Fix Program"); }
void WindowRunView::eepromByte(int index) { panel(StatusPanel, "Program EEP " + std::to_string(index)); }
void WindowRunView::failed(std::string_view text) { ShowResult(ctx_, text, ClRed, NotifyFailure); }

ProgressBar& MainWindowRunView::bar() { return *ctx_.presenter.main.ProgressBar1; }
StatusBar& MainWindowRunView::status() { return *ctx_.presenter.main.StatusBar1; }

void MainWindowRunView::wakeUpTry(int attempt, int) { panel(StatusPanel, "Try " + std::to_string(attempt)); }

void MainWindowRunView::imageLoaded(std::uint32_t units, std::uint32_t from, std::uint32_t to) {
    char text[64];
    std::snprintf(text, sizeof text, "Loaded %d bytes (%04X to %04X)", static_cast<int>(units), from, to);
    panel(DetailPanel, text);
}

void MainWindowRunView::blockStarted(std::uint32_t address) {
    char text[32];
    std::snprintf(text, sizeof text, "Program %05u (%05x)", address, address);
    panel(StatusPanel, text);
}

void MainWindowRunView::programmed() {
    ShowResult(ctx_, MainProgrammedText, ClGreen, NotifySuccess);
    ShowIdle(ctx_);
}

ProgressBar& LoaderWindowRunView::bar() { return *ctx_.presenter.loader->ProgressBar1; }
StatusBar& LoaderWindowRunView::status() { return *ctx_.presenter.loader->StatusBar1; }

void LoaderWindowRunView::wakeUpTry(int attempt, int tries) {
    ShowProgress(ctx_, SearchDeviceText, ClBlack);
    bar().setPosition(tries - attempt);
}

void LoaderWindowRunView::finalBlock() {}
void LoaderWindowRunView::eepromByte(int) {}

void LoaderWindowRunView::programmed() {
    ShowProgress(ctx_, LoaderProgrammedText, ClGreen);
    ShowIdle(ctx_);
}

ProgressBar& UpgradeWindowRunView::bar() { return *ctx_.presenter.upgrade->ProgressBar1; }
StatusBar& UpgradeWindowRunView::status() { return *ctx_.presenter.upgrade->StatusBar1; }

std::uint8_t UpgradeWindowRunView::wakeCode(std::uint8_t) const { return WakeCodeUpgrade; }

void UpgradeWindowRunView::wakeUpTry(int attempt, int tries) {
    bar().setPosition(tries - attempt);
    panel(StatusPanel, SearchDeviceText);
}

void UpgradeWindowRunView::programmed() {
    panel(StatusPanel, UpgradeProgrammedText);
    ShowIdle(ctx_);
}

}  // namespace torvane
