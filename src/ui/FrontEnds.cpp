#include "ui/FrontEnds.h"

#include <algorithm>
#include <cstdio>

#include "bootloader/DeviceSearch.h"
#include "bootloader/Frames.h"
#include "bootloader/ProgramDevice.h"
#include "bootloader/ReplyDecoder.h"
#include "shell/SettingsStore.h"
#include "ui/EndTexts.h"
#include "ui/FrontEndContext.h"

namespace torvane {

namespace {

constexpr std::string_view BusyDeviceText = " ";

// The LoaderWindow's message line: a verdict or a coloured message is large
// and bold, an ordinary (black) message plain and smaller.
constexpr int LoaderVerdictHeight = 32;
constexpr int LoaderMessageHeight = 25;
constexpr FontStyle Bold{.bold = true, .italic = false};
constexpr FontStyle Plain{};
constexpr FontStyle WaitingStyle{.bold = false, .italic = true};

std::string Format(const char* format, auto... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.pop_back();
    return text;
}

// Text of the device record up to its terminator; an unwritten record reads
// as 0xFF bytes and shows as empty.
std::string RecordText(const DeviceIdentity& id) {
    const auto& t = id.recordText;
    if (static_cast<unsigned char>(t[0]) == 0xFF) return {};
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

void ShowIdentityLine(Label& label, const std::string& text) {
    label.setCaption(text);
    label.setVisible(true);
    label.setBackground(ClBtnFace);
    label.setFontColour(ClBlack);
    label.repaint();
}

void ShowWaiting(Label& l, std::string_view text) {
    l.setAlignment(Alignment::Left);
    l.setFontColour(ClBlack);
    l.setFontStyle(WaitingStyle);
    l.setFontHeight(LoaderMessageHeight);
    l.setCaption(std::string(text));
}

// The MainWindow and the UpgradeWindow open the remembered port (COM1
// without one) at their first run: OpenedPort differs from CurrentPort.
void RememberPort(PortChannel& ch, std::string_view comSetting) {
    ch.CurrentPort = comSetting.empty() ? 0 : PortIndexFromSetting(comSetting);
    ch.OpenedPort = static_cast<std::int16_t>(ch.CurrentPort - 1);
}

}  // namespace

std::unique_ptr<UpdateFrontEnd> MakeFrontEnd(FrontEnd kind, FrontEndContext& ctx) {
    switch (kind) {
    case FrontEnd::LoaderWindow: return std::make_unique<LoaderFrontEnd>(ctx);
    case FrontEnd::UpgradeWindow: return std::make_unique<UpgradeFrontEnd>(ctx);
    case FrontEnd::MainWindow: break;
    }
    return std::make_unique<MainFrontEnd>(ctx);
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

bool SequenceModeFor(std::string_view identity) { return TaggedSequenceMode(identity); }

std::string ClosePortsOnExit(FrontEndContext& ctx) {
    auto& ch = ctx.port;
    if (ch.CurrentPort == ch.OpenedPort) ClosePort(ch, ch.CurrentPort);
    return std::to_string(ch.CurrentPort);
}

// --- MainWindow ---------------------------------------------------------------

MainFrontEnd::MainFrontEnd(FrontEndContext& ctx) : UpdateFrontEnd(ctx) { ctx.wakeCode = WakeCode(0); }

FrontEnd MainFrontEnd::kind() const { return FrontEnd::MainWindow; }

void MainFrontEnd::setUpOwn(std::string_view rememberedPort, std::string_view) {
    RememberPort(ctx_.port, rememberedPort);
}

void MainFrontEnd::StartClick() {
    ctx_.tally = {};
    if (SearchDevice(ctx_) == SearchFound) ProgramDevice(ctx_);
}

void MainFrontEnd::StopClick() {
    presenter().main.Button2->setVisible(false);
    ctx_.receiver.abort = 1;
}

std::string MainFrontEnd::VerdictText() const {
    const MainWindowView& v = presenter().main;
    if (v.Label2 && v.Label2->visible()) return v.Label2->caption();
    return v.StatusBar1 ? v.StatusBar1->panelText(presenter().PanelIndex[StatusPanel]) : std::string();
}

void MainFrontEnd::ShowResult(std::string_view text, Colour colour, std::uint8_t code) {
    if (presenter().notify) presenter().notify(code);
    MainWindowView& v = presenter().main;
    Label& line = *v.Label2;
    line.setOpaque(true);
    line.setCaption(std::string(text));
    line.setVisible(true);
    line.setBackground(colour);
    line.setFontColour(ClWhite);
    ShowIdleButtons(*v.Button1, *v.Button2);
}

void MainFrontEnd::ShowProgress(std::string_view text, Colour colour) {
    Label& line = *presenter().main.Label2;
    line.setCaption(std::string(text));
    line.setVisible(true);
    line.setBackground(colour);
    line.setFontColour(ClBlack);
}

void MainFrontEnd::showMissingImage(std::string_view text, const DeviceIdentity& id, const ActiveImage& image) {
    ShowResult(text, ClRed, NotifyFailure);
    SetPanelText(status(), DevicePanel, NoImageWarningText);
    ShowIdentity(id, image);
}

void MainFrontEnd::ShowNoImage(const DeviceIdentity& id, const ActiveImage& image) {
    showMissingImage(NoImageText, id, image);
}

void MainFrontEnd::ShowImageTooBig(const DeviceIdentity& id, const ActiveImage& image) {
    showMissingImage(ImageTooBigText, id, image);
}

void MainFrontEnd::ShowIdentity(const DeviceIdentity& id, const ActiveImage& image) {
    MainWindowView& v = presenter().main;
    const bool seen = id.identitySeen != 0;
    const std::string line = Format("BIOS:%02x - %s - Preparation%02x", unsigned{id.biosVersion},
                                    HardwareName(seen ? id.hardwareCode : image.hardwareCode).c_str(),
                                    unsigned{seen ? id.preparationCode : image.preparationCode});
    ShowIdentityLine(*v.Label3, line);
    if (SendsRecord(id.biosVersion)) ShowIdentityLine(*v.Label4, RecordText(id));
    else v.Label4->setVisible(false);
}

void MainFrontEnd::SetHighlight(bool on) { presenter().main.Label1->setBackground(on ? ClSilver : ClBtnFace); }

void MainFrontEnd::ShowBusy() {
    presenter().main.Button2->setVisible(true);
    presenter().main.Button1->setVisible(false);
}

void MainFrontEnd::ShowIdle() { ShowIdleButtons(*presenter().main.Button1, *presenter().main.Button2); }

void MainFrontEnd::wakeUpTry(int attempt, int) { panel(StatusPanel, "Try " + std::to_string(attempt)); }

void MainFrontEnd::imageLoaded(std::uint32_t units, std::uint32_t from, std::uint32_t to) {
    panel(DetailPanel, Format("Loaded %d bytes (%04X to %04X)", static_cast<int>(units), from, to));
}

void MainFrontEnd::blockStarted(std::uint32_t address) {
    panel(StatusPanel, Format("Program %05u (%05x)", address, address));
}

void MainFrontEnd::programmed() {
    ShowResult(MainProgrammedText, ClGreen, NotifySuccess);
    ShowIdle();
}

ProgressBar& MainFrontEnd::bar() { return *presenter().main.ProgressBar1; }
StatusBar& MainFrontEnd::status() { return *presenter().main.StatusBar1; }

// --- LoaderWindow -------------------------------------------------------------

LoaderFrontEnd::LoaderFrontEnd(FrontEndContext& ctx) : UpdateFrontEnd(ctx) { ctx.wakeCode = WakeCode(0); }

FrontEnd LoaderFrontEnd::kind() const { return FrontEnd::LoaderWindow; }

LoaderWindowView& LoaderFrontEnd::view() { return presenter().loader; }
const LoaderWindowView& LoaderFrontEnd::view() const { return presenter().loader; }

void LoaderFrontEnd::setUpOwn(std::string_view rememberedPort, std::string_view identity) {
    ResetDisplay();
    // It opens the remembered port at its first run too, but asks for a port
    // when none is remembered; OpenedPort is then -1.
    auto& ch = ctx_.port;
    ch.CurrentPort = rememberedPort.empty() ? 0 : PortIndexFromSetting(rememberedPort);
    ch.OpenedPort = rememberedPort.empty() ? std::int16_t(-1) : static_cast<std::int16_t>(ch.CurrentPort + 1);
    if (ch.OpenedPort < 0) ShowWaiting(*view().Label1, LoaderPortInvalidText);
    ctx_.WakeVariant = LoaderTags(identity).wakeVariant;
    ctx_.wakeCode = WakeCode(ctx_.WakeVariant);
}

void LoaderFrontEnd::ResetDisplay() {
    LoaderWindowView& v = view();
    v.ProgressBar1->setPosition(0);
    ShowWaiting(*v.Label1, LoaderWaitingText);
    v.Label6->setCaption("");
    v.Label7->setCaption("");
}

void LoaderFrontEnd::StartClick() {
    ctx_.tally = {};
    ResetDisplay();
    switch (SearchDevice(ctx_)) {
    case SearchFound:
        ProgramDevice(ctx_);
        break;
    case SearchNotFound:
        ShowProgress(LoaderNotFoundText, ClBlack);
        break;
    case SearchPortUnusable:
        ShowProgress(LoaderPortInvalidText, ClRed);
        break;
    default:
        break;  // the search has said why
    }
}

void LoaderFrontEnd::StopClick() {
    ShowIdle();
    ctx_.receiver.abort = 1;
    view().ProgressBar1->setState(BarState::Error);
}

std::string LoaderFrontEnd::VerdictText() const { return view().Label1->caption(); }

void LoaderFrontEnd::ShowResult(std::string_view text, Colour colour, std::uint8_t code) {
    if (presenter().notify) presenter().notify(code);
    LoaderWindowView& v = view();
    v.Button1->setEnabled(true);
    v.Button2->setEnabled(false);
    ShowCentredVerdict(*v.Label1, text, colour);
}

void LoaderFrontEnd::ShowProgress(std::string_view text, Colour colour) {
    Label& line = *view().Label1;
    line.setFontColour(colour == ClBtnFace ? ClBlack : colour);
    const bool plain = line.fontColour() == ClBlack;
    line.setFontStyle(plain ? Plain : Bold);
    line.setFontHeight(plain ? LoaderMessageHeight : LoaderVerdictHeight);
    line.setAlignment(Alignment::Left);
    line.setCaption(std::string(text));
}

void LoaderFrontEnd::ShowIdentity(const DeviceIdentity& id, const ActiveImage& image) {
    if (id.identitySeen == 0) return;
    view().Label6->setCaption(
        Format("%s - 0x%02x", HardwareName(image.hardwareCode).c_str(), unsigned{id.preparationCode}));
    view().Label7->setCaption(Format("0x%02x", unsigned{id.biosVersion}));
}

void LoaderFrontEnd::SetHighlight(bool) {}

void LoaderFrontEnd::ShowBusy() {
    view().Button1->setEnabled(false);
    view().Button2->setEnabled(true);
}

void LoaderFrontEnd::ShowIdle() {
    view().Button1->setEnabled(true);
    view().Button2->setEnabled(false);
    view().Button1->setFocus();
}

void LoaderFrontEnd::portReason(std::string_view reason) {
    UpdateFrontEnd::portReason(reason);
    if (view().showPortReason) view().showPortReason(reason);
}

void LoaderFrontEnd::wakeUpTry(int attempt, int tries) {
    ShowProgress(SearchDeviceText, ClBlack);
    bar().setPosition(tries - attempt);
}

void LoaderFrontEnd::finalBlock() {}
void LoaderFrontEnd::eepromByte(int) {}

void LoaderFrontEnd::programmed() {
    ShowProgress(LoaderProgrammedText, ClGreen);
    ShowIdle();
}

ProgressBar& LoaderFrontEnd::bar() { return *view().ProgressBar1; }
StatusBar& LoaderFrontEnd::status() { return *view().StatusBar1; }

// --- UpgradeWindow ------------------------------------------------------------

UpgradeFrontEnd::UpgradeFrontEnd(FrontEndContext& ctx) : UpdateFrontEnd(ctx) { ctx.wakeCode = WakeCodeUpgrade; }

FrontEnd UpgradeFrontEnd::kind() const { return FrontEnd::UpgradeWindow; }

void UpgradeFrontEnd::setUpOwn(std::string_view rememberedPort, std::string_view identity) {
    RememberPort(ctx_.port, rememberedPort);
    // Device texts and their details share the fourth panel here.
    presenter().PanelIndex[DevicePanel] = DetailPanel;
    ctx_.SequenceMode = SequenceModeFor(identity) ? 1 : 0;
}

void UpgradeFrontEnd::StartClick() {
    ctx_.tally = {};
    ProgressBar& pending = *presenter().upgrade.ProgressBar2;
    pending.setMinimum(0);
    pending.setMaximum(static_cast<std::int8_t>(MarkPendingImages(ctx_.images)) + 1);
    pending.setPosition(0);
    std::int32_t m = 0;
    do {
        m = 0;
        if (SearchDevice(ctx_) == SearchFound) {
            m = ProgramDevice(ctx_);
            pending.setPosition(pending.maximum() - static_cast<std::int8_t>(m & 0xFF));
        }
    } while ((m & 0xFF) != 0);
}

void UpgradeFrontEnd::StopClick() {
    ShowIdle();
    ctx_.receiver.abort = 1;
}

std::string UpgradeFrontEnd::VerdictText() const {
    const StatusBar* s = presenter().upgrade.StatusBar1;
    return s ? s->panelText(presenter().PanelIndex[StatusPanel]) : std::string();
}

void UpgradeFrontEnd::ShowResult(std::string_view text, Colour, std::uint8_t code) {
    if (presenter().notify) presenter().notify(code);
    ShowIdle();
    SetPanelText(status(), StatusPanel, text);
}

void UpgradeFrontEnd::ShowProgress(std::string_view text, Colour) { SetPanelText(status(), StatusPanel, text); }

void UpgradeFrontEnd::ShowIdentity(const DeviceIdentity&, const ActiveImage&) {}

void UpgradeFrontEnd::SetHighlight(bool on) { presenter().upgrade.Panel1->setBackground(on ? ClSilver : ClBtnFace); }

void UpgradeFrontEnd::ShowBusy() {
    SetPanelText(status(), DevicePanel, BusyDeviceText);
    presenter().upgrade.Button2->setVisible(true);
    presenter().upgrade.Button1->setVisible(false);
}

void UpgradeFrontEnd::ShowIdle() { ShowIdleButtons(*presenter().upgrade.Button1, *presenter().upgrade.Button2); }

void UpgradeFrontEnd::wakeUpTry(int attempt, int tries) {
    bar().setPosition(tries - attempt);
    panel(StatusPanel, SearchDeviceText);
}

void UpgradeFrontEnd::programmed() {
    panel(StatusPanel, UpgradeProgrammedText);
    ShowIdle();
}

ProgressBar& UpgradeFrontEnd::bar() { return *presenter().upgrade.ProgressBar1; }
StatusBar& UpgradeFrontEnd::status() { return *presenter().upgrade.StatusBar1; }

}  // namespace torvane
