#include "ui/Presenter.h"

#include <algorithm>
#include <cstdio>

#include "bootloader/ReplyDecoder.h"
#include "ui/EndTexts.h"

namespace torvane {

namespace {

constexpr std::string_view NoPortText = "-----";
constexpr std::string_view BusyDeviceText = " ";

// The LoaderWindow's message line: a verdict or a coloured message is large
// and bold, an ordinary (black) message plain and smaller.
constexpr int LoaderVerdictHeight = 32;
constexpr int LoaderMessageHeight = 25;
constexpr FontStyle Bold{.bold = true, .italic = false};
constexpr FontStyle Plain{};

std::string Format(const char* format, auto... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.pop_back();
    return text;
}

// Text of the device record up to its terminator.
std::string RecordText(const DeviceIdentity& id) {
    const auto& t = id.recordText;
    return std::string(t.begin(), std::find(t.begin(), t.end(), '\0'));
}

void ShowCentredVerdict(Label& label, std::string_view text, Colour colour) {
    label.setFontStyle(Bold);
    label.setFontHeight(LoaderVerdictHeight);
    label.setAlignment(Alignment::Centre);
    label.setFontColour(colour);
    label.setCaption(std::string(text));
    label.repaint();
}

void ShowIdleButtons(Button& start, Button& stop) {
    stop.setVisible(false);
    start.setVisible(true);
    start.setFocus();
}

void ShowMissingImage(FrontEndContext& ctx, std::string_view text) {
    switch (ActiveFrontEnd(ctx.presenter)) {
    case FrontEnd::LoaderWindow:
    case FrontEnd::UpgradeWindow:
        // The UpgradeWindow too: without a verdict it would look busy after
        // the run had ended, and its STOP would leave a stop pending that
        // ends the next START at once.
        ShowResult(ctx, text, ClRed, NotifyFailure);
        break;
    case FrontEnd::MainWindow:
        ShowResult(ctx, text, ClRed, NotifyFailure);
        SetPanelText(ctx, *ctx.presenter.main.StatusBar1, DevicePanel, NoImageWarningText);
        ShowIdentity(ctx);
        break;
    }
}

void ShowIdentityLine(Label& label, const std::string& text) {
    label.setCaption(text);
    label.setVisible(true);
    label.setBackground(ClBtnFace);
    label.setFontColour(ClBlack);
    label.repaint();
}

}  // namespace

void ShowResult(FrontEndContext& ctx, std::string_view text, Colour colour, std::uint8_t code) {
    Presenter& p = ctx.presenter;
    if (p.notify) p.notify(code);
    switch (ActiveFrontEnd(p)) {
    case FrontEnd::LoaderWindow:
        p.loader->Button1->setEnabled(true);
        p.loader->Button2->setEnabled(false);
        ShowCentredVerdict(*p.loader->Label1, text, colour);
        break;
    case FrontEnd::UpgradeWindow:
        ShowIdleButtons(*p.upgrade->Button1, *p.upgrade->Button2);
        SetPanelText(ctx, *p.upgrade->StatusBar1, StatusPanel, text);
        break;
    case FrontEnd::MainWindow: {
        Label& line = *p.main.Label2;
        line.setOpaque(true);
        line.setCaption(std::string(text));
        line.setVisible(true);
        line.setBackground(colour);
        line.setFontColour(ClWhite);
        ShowIdleButtons(*p.main.Button1, *p.main.Button2);
        break;
    }
    }
}

void ShowProgress(FrontEndContext& ctx, std::string_view text, Colour colour) {
    Presenter& p = ctx.presenter;
    switch (ActiveFrontEnd(p)) {
    case FrontEnd::LoaderWindow: {
        Label& line = *p.loader->Label1;
        line.setFontColour(colour == ClBtnFace ? ClBlack : colour);
        const bool plain = line.fontColour() == ClBlack;
        line.setFontStyle(plain ? Plain : Bold);
        line.setFontHeight(plain ? LoaderMessageHeight : LoaderVerdictHeight);
        line.setAlignment(Alignment::Left);
        line.setCaption(std::string(text));
        break;
    }
    case FrontEnd::UpgradeWindow:
        SetPanelText(ctx, *p.upgrade->StatusBar1, StatusPanel, text);
        break;
    case FrontEnd::MainWindow: {
        Label& line = *p.main.Label2;
        line.setCaption(std::string(text));
        line.setVisible(true);
        line.setBackground(colour);
        line.setFontColour(ClBlack);
        break;
    }
    }
}

void ShowPort(FrontEndContext& ctx, StatusBar& bar) {
    const std::int16_t port = ctx.port.CurrentPort;
    SetPanelText(ctx, bar, PortPanel, port < 0 ? std::string(NoPortText) : ComName(port));
}

void ShowNoImage(FrontEndContext& ctx) { ShowMissingImage(ctx, NoImageText); }

void ShowImageTooBig(FrontEndContext& ctx) { ShowMissingImage(ctx, ImageTooBigText); }

void ShowIdentity(FrontEndContext& ctx) {
    Presenter& p = ctx.presenter;
    DeviceIdentity& id = ctx.identity;
    const ActiveImage& image = ctx.images.active;
    switch (ActiveFrontEnd(p)) {
    case FrontEnd::LoaderWindow:
        if (id.identitySeen == 0) return;
        p.loader->Label6->setCaption(
            Format("%s - 0x%02x", HardwareName(image.hardwareCode).c_str(), unsigned{id.preparationCode}));
        p.loader->Label7->setCaption(Format("0x%02x", unsigned{id.biosVersion}));
        break;
    case FrontEnd::UpgradeWindow:
        break;
    case FrontEnd::MainWindow: {
        const bool seen = id.identitySeen != 0;
        const std::string line =
            Format("BIOS:%02x - %s - Preparation%02x", unsigned{id.biosVersion},
                   HardwareName(seen ? id.hardwareCode : image.hardwareCode).c_str(),
                   unsigned{seen ? id.preparationCode : image.preparationCode});
        ShowIdentityLine(*p.main.Label3, line);
        if (SendsRecord(id.biosVersion)) {
            // An unwritten record reads as 0xFF bytes; show it as empty, for good.
            if (static_cast<unsigned char>(id.recordText[0]) == 0xFF) id.recordText[0] = '\0';
            ShowIdentityLine(*p.main.Label4, RecordText(id));
        } else {
            p.main.Label4->setVisible(false);
        }
        break;
    }
    }
}

void SetHighlight(FrontEndContext& ctx, bool on) {
    Presenter& p = ctx.presenter;
    const Colour colour = on ? ClSilver : ClBtnFace;
    switch (ActiveFrontEnd(p)) {
    case FrontEnd::LoaderWindow:
        break;
    case FrontEnd::UpgradeWindow:
        p.upgrade->Panel1->setBackground(colour);
        break;
    case FrontEnd::MainWindow:
        p.main.Label1->setBackground(colour);
        break;
    }
}

void ShowBusy(FrontEndContext& ctx) {
    Presenter& p = ctx.presenter;
    switch (ActiveFrontEnd(p)) {
    case FrontEnd::LoaderWindow:
        p.loader->Button1->setEnabled(false);
        p.loader->Button2->setEnabled(true);
        break;
    case FrontEnd::UpgradeWindow:
        SetPanelText(ctx, *p.upgrade->StatusBar1, DevicePanel, BusyDeviceText);
        p.upgrade->Button2->setVisible(true);
        p.upgrade->Button1->setVisible(false);
        break;
    case FrontEnd::MainWindow:
        p.main.Button2->setVisible(true);
        p.main.Button1->setVisible(false);
        break;
    }
}

void ShowIdle(FrontEndContext& ctx) {
    Presenter& p = ctx.presenter;
    switch (ActiveFrontEnd(p)) {
    case FrontEnd::LoaderWindow:
        p.loader->Button1->setEnabled(true);
        p.loader->Button2->setEnabled(false);
        p.loader->Button1->setFocus();
        break;
    case FrontEnd::UpgradeWindow:
        ShowIdleButtons(*p.upgrade->Button1, *p.upgrade->Button2);
        break;
    case FrontEnd::MainWindow:
        ShowIdleButtons(*p.main.Button1, *p.main.Button2);
        break;
    }
}

void SetPanelText(FrontEndContext& ctx, StatusBar& bar, PanelRole role, std::string_view text) {
    bar.setPanelText(ctx.presenter.PanelIndex[static_cast<std::size_t>(role)], std::string(text));
}

}  // namespace torvane
