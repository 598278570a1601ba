#include "ui/UpdateFrontEnd.h"

#include <string>

#include "images/ImageTable.h"
#include "ui/EndTexts.h"
#include "ui/FrontEndContext.h"

namespace torvane {

namespace {

constexpr std::string_view NoPortText = "-----";

}  // namespace

UpdateFrontEnd::UpdateFrontEnd(FrontEndContext& ctx) : ctx_(ctx) {}

Presenter& UpdateFrontEnd::presenter() { return ctx_.presenter; }
const Presenter& UpdateFrontEnd::presenter() const { return ctx_.presenter; }

void UpdateFrontEnd::SetUp(std::string_view rememberedPort, std::string_view identity) {
    setUpOwn(rememberedPort, identity);
    BuildImageTable(ctx_.images);
}

void UpdateFrontEnd::ShowPort(std::int16_t portIndex) {
    SetPanelText(status(), PortPanel, portIndex < 0 ? std::string(NoPortText) : ComName(portIndex));
}

void UpdateFrontEnd::ShowNoImage(const DeviceIdentity&, const ActiveImage&) {
    ShowResult(NoImageText, ClRed, NotifyFailure);
}

void UpdateFrontEnd::ShowImageTooBig(const DeviceIdentity&, const ActiveImage&) {
    ShowResult(ImageTooBigText, ClRed, NotifyFailure);
}

void UpdateFrontEnd::SetPanelText(StatusBar& bar, PanelRole role, std::string_view text) {
    bar.setPanelText(presenter().PanelIndex[static_cast<std::size_t>(role)], std::string(text));
}

void UpdateFrontEnd::ShowIdleButtons(Button& start, Button& stop) {
    stop.setVisible(false);
    start.setVisible(true);
    start.setFocus();
}

void UpdateFrontEnd::panel(PanelRole role, std::string_view text) { SetPanelText(status(), role, text); }
void UpdateFrontEnd::progress(int position) { bar().setPosition(position); }
void UpdateFrontEnd::progressMaximum(int maximum) { bar().setMaximum(maximum); }
void UpdateFrontEnd::progressSmooth(bool smooth) { bar().setSmooth(smooth); }

// The MainWindow's result line goes away while a search runs, whichever
// window drives it: the MainWindow always exists.
void UpdateFrontEnd::searchStarted() { presenter().main.Label2->setVisible(false); }
void UpdateFrontEnd::showPort(std::int16_t portIndex) { ShowPort(portIndex); }

void UpdateFrontEnd::wakeUpsStarted(int tries) {
    bar().setState(BarState::Paused);
    bar().setMaximum(tries);
}

void UpdateFrontEnd::wakeUpsEnded() {
    bar().setState(BarState::Normal);
    bar().setPosition(0);
}

void UpdateFrontEnd::portReason(std::string_view reason) { panel(DetailPanel, reason); }

void UpdateFrontEnd::notFound() {
    panel(StatusPanel, DeviceNotFoundText);
    ShowIdle();
}

void UpdateFrontEnd::busy() { ShowBusy(); }
void UpdateFrontEnd::idle() { ShowIdle(); }
void UpdateFrontEnd::identity(const DeviceIdentity& id, const ActiveImage& image) { ShowIdentity(id, image); }
void UpdateFrontEnd::highlight(bool plain) { SetHighlight(plain); }
void UpdateFrontEnd::imageLoaded(std::uint32_t, std::uint32_t, std::uint32_t) {}
void UpdateFrontEnd::noImage(const DeviceIdentity& id, const ActiveImage& image) { ShowNoImage(id, image); }
void UpdateFrontEnd::imageTooBig(const DeviceIdentity& id, const ActiveImage& image) { ShowImageTooBig(id, image); }
void UpdateFrontEnd::programming() { ShowProgress(" Programming... ", ClBtnFace); }
void UpdateFrontEnd::blockStarted(std::uint32_t) {}

// The counter goes to the MainWindow whatever front end drives the run: it
// is the one window that always exists.
void UpdateFrontEnd::resending(int resend) {
    if (StatusBar* mainBar = presenter().main.StatusBar1) {
        SetPanelText(*mainBar, StatusPanel, "Resend " + std::to_string(resend));
        mainBar->repaint();
    }
}

void UpdateFrontEnd::finalBlock() { panel(StatusPanel, "Fix Program"); }
void UpdateFrontEnd::eepromByte(int index) { panel(StatusPanel, "Program EEP " + std::to_string(index)); }
void UpdateFrontEnd::failed(std::string_view text) { ShowResult(text, ClRed, NotifyFailure); }

}  // namespace torvane
