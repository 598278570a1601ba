#include "win32ui/Forms.h"

#include "images/ImageTable.h"
#include "net/UdpNotifier.h"
#include "ui/FrontEnds.h"
#include "win32ui/Dialogs.h"
#include "win32ui/MessageBoxes.h"
#include "win32ui/Win32Text.h"

namespace torvane::win32ui {

namespace {

using layout::Bold;
using layout::Plain;

void Design(Win32Label& label, std::string_view caption, Alignment alignment, int height, FontStyle style) {
    label.setCaption(std::string(caption));
    label.setAlignment(alignment);
    label.setFontHeight(height);
    label.setFontStyle(style);
}

}  // namespace

// --- TForm1 --------------------------------------------------------------------

TForm1::TForm1(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options, bool drivesUpdate)
    : FrontEndWindow(ctx, services, layout::Form1::ClientArea, layout::Form1::ScreenPosition, false,
                     layout::Form1::MenuCaption, layout::SansFont),
      Label1(hwnd(), Label1Id, layout::Form1::Label1, layout::SerifFont, true),
      Label3(hwnd(), 0, layout::Form1::Label3, layout::SansFont),
      Label4(hwnd(), 0, layout::Form1::Label4, layout::SansFont),
      Label2(hwnd(), 0, layout::Form1::Label2, layout::SansFont),
      Image2(hwnd(), layout::Form1::Image2, MainLogoBitmap, false),
      Button1(hwnd(), Button1Id, layout::Form1::Button1, font()),
      Button2(hwnd(), Button2Id, layout::Form1::Button2, font()),
      ProgressBar1(hwnd(), 0, layout::Form1::ProgressBar1),
      StatusBar1(hwnd(), 0, layout::Form1::StatusBar1, layout::Form1::StatusWidths, font()),
      Bevel1(hwnd(), layout::Form1::Bevel1),
      Bevel2(hwnd(), layout::Form1::Bevel2),
      options_(options) {
    using L = layout::Form1;
    for (auto [label, height, visible] : {std::tuple{&Label1, L::Label1Height, true}, {&Label3, L::Label3Height, false},
                                          {&Label4, L::Label4Height, false}, {&Label2, L::Label2Height, false}}) {
        label->setFontHeight(height);
        label->setFontStyle(Bold);
        label->setAlignment(Alignment::Centre);
        label->setOpaque(true);
        label->setVisible(visible);
    }
    Image2.setVisible(false);
    Button1.setCaption(std::string(L::Button1Caption));
    Button2.setCaption(std::string(L::Button2Caption));
    Button2.setVisible(false);

    ctx.presenter.main = {&Label1, &Label2, &Label3, &Label4, &Button1, &Button2, &ProgressBar1, &StatusBar1};
    if (!drivesUpdate) return;  // hidden and unconfigured
    frontEnd_ = true;

    StartUdpService(options.arguments, ctx.presenter.notify, services.makeUdpListener, options.udpPort);
    const std::string identity = options.identityOrDefault();
    Image2.setVisible(!TaggedWithoutLogo(identity, FrontEnd::MainWindow));
    setCaptionAndHint(MainTitle(identity, options.buildDate));
    SetApplicationTitle(identity);
    Label1.setCaption(identity);

    ctx.front().SetUp(ReadSetting(services.settings, PortSettingName, BrandMain), identity);
    ctx.front().ShowPort(ctx.port.CurrentPort);
}

void TForm1::command(int id, int code) {
    if (id == Button1Id && code == BN_CLICKED) Button1Click();
    if (id == Button2Id && code == BN_CLICKED) Button2Click();
    if (id == MenuEntryId && code == 0) S1Click();
    if (id == Label1Id && code == STN_DBLCLK) Label1DblClick();
}

void TForm1::Button1Click() {
    RunExclusive([this] { ctx_.front().StartClick(); });
}

void TForm1::Button2Click() { ctx_.front().StopClick(); }

void TForm1::S1Click() {
    Label2.setVisible(false);
    Label2.repaint();
    Label3.setVisible(false);
    Label3.repaint();
    showPortDialog();
}

void TForm1::Label1DblClick() {
    if (versionDialog_ == nullptr) return;
    using L = layout::Form1;
    versionDialog_->show(Label1.caption() + std::string(L::StampOpen) + options_.buildTime +
                         std::string(L::StampSeparator) + options_.buildDate + std::string(L::StampClose));
}

void TForm1::FormClose() { StorePort(BrandMain); }

// --- TForm5 --------------------------------------------------------------------

TForm5::TForm5(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options)
    : FrontEndWindow(ctx, services, layout::Form5::ClientArea, layout::Form5::ScreenPosition, true,
                     layout::Form5::MenuCaption, layout::SansFont),
      Panel1(hwnd(), Panel1Id, layout::Form5::Panel1),
      Button1(Panel1.hwnd(), Button1Id, layout::Form5::Button1,
              FontFor(layout::SansFont, layout::Form5::ButtonFontHeight, Bold)),
      Button2(Panel1.hwnd(), Button2Id, layout::Form5::Button2,
              FontFor(layout::SansFont, layout::Form5::ButtonFontHeight, Bold)),
      ProgressBar1(hwnd(), 0, layout::Form5::ProgressBar1),
      ProgressBar2(hwnd(), 0, layout::Form5::ProgressBar2),
      StatusBar1(hwnd(), 0, layout::Form5::StatusBar1, layout::Form5::StatusWidths, font()) {
    using L = layout::Form5;
    Button1.setCaption(std::string(L::Button1Caption));
    Button2.setCaption(std::string(L::Button2Caption));
    Button2.setVisible(false);
    ProgressBar1.setSmooth(true);
    ProgressBar2.setSmooth(true);
    ProgressBar2.setVisible(false);

    ctx.presenter.upgrade = UpgradeWindowView{&Panel1, &Button1, &Button2, &ProgressBar1, &ProgressBar2, &StatusBar1};
    frontEnd_ = true;

    StartUdpService(options.arguments, ctx.presenter.notify, services.makeUdpListener, options.udpPort);
    const std::string identity = options.identityOrDefault();
    setCaptionAndHint(UpgradeTitle(identity, options.buildDate));
    SetApplicationTitle(identity);

    ctx.front().SetUp(ReadSetting(services.settings, PortSettingName, BrandUpgrade), identity);
    ctx.front().ShowPort(ctx.port.CurrentPort);
    if (ctx.SequenceMode != 0) {
        ProgressBar1.setWidth(L::ProgressBar1.width - (L::ProgressBar2.width + L::BarGap));
        ProgressBar2.setVisible(true);
    }
}

void TForm5::command(int id, int code) {
    if (id == Button1Id && code == BN_CLICKED) Button1Click();
    if (id == Button2Id && code == BN_CLICKED) Button2Click();
    if (id == MenuEntryId && code == 0) SerialPort1Click();
}

void TForm5::Button1Click() {
    RunExclusive([this] { ctx_.front().StartClick(); });
}

void TForm5::Button2Click() { ctx_.front().StopClick(); }

void TForm5::SerialPort1Click() { showPortDialog(); }

void TForm5::FormClose() { StorePort(BrandUpgrade); }

// --- TForm6 --------------------------------------------------------------------

TForm6::TForm6(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options)
    : FrontEndWindow(ctx, services, layout::Form6::ClientArea, layout::Form6::ScreenPosition, false,
                     layout::Form6::MenuCaption, layout::TahomaFont),
      Button1(hwnd(), Button1Id, layout::Form6::Button1, font()),
      Button2(hwnd(), Button2Id, layout::Form6::Button2, font()),
      Label2(hwnd(), 0, layout::Form6::Label2, layout::TahomaFont),
      Label3(hwnd(), 0, layout::Form6::Label3, layout::TahomaFont),
      Label4(hwnd(), 0, layout::Form6::Label4, layout::TahomaFont),
      Label5(hwnd(), 0, layout::Form6::Label5, layout::TahomaFont),
      Label6(hwnd(), 0, layout::Form6::Label6, layout::TahomaFont),
      Label7(hwnd(), 0, layout::Form6::Label7, layout::TahomaFont),
      Image1(hwnd(), layout::Form6::Image1, LoaderLogoBitmap, true),
      Label1(hwnd(), 0, layout::Form6::Label1, layout::TahomaFont),
      ProgressBar1(hwnd(), 0, layout::Form6::ProgressBar1),
      StatusBar1(hwnd(), 0, layout::Form6::StatusBar1, layout::Form6::StatusWidths, font()),
      Bevel1(hwnd(), layout::Form6::Bevel1),
      // The fix is a command to type: the user can select and copy it.
      PortReason(MakeChild(hwnd(), L"EDIT", ES_MULTILINE | ES_READONLY | WS_TABSTOP, layout::Form6::ReasonArea,
                           PortReasonId, font())) {
    using L = layout::Form6;
    Button1.setCaption(std::string(L::Button1Caption));
    Button2.setCaption(std::string(L::Button2Caption));
    Button2.setEnabled(false);
    Design(Label2, L::Label2Caption, Alignment::Right, L::CaptionHeight, Plain);
    Design(Label3, L::Label3Caption, Alignment::Right, L::CaptionHeight, Plain);
    Design(Label4, L::Label4Caption, Alignment::Right, L::CaptionHeight, Plain);
    Design(Label5, L::EmptyValue, Alignment::Centre, L::CaptionHeight, Bold);
    Label5.setOpaque(false);
    Design(Label6, L::EmptyValue, Alignment::Centre, L::ValueHeight, Plain);
    Design(Label7, L::EmptyValue, Alignment::Centre, L::ValueHeight, Plain);
    Design(Label1, "", Alignment::Centre, L::CaptionHeight, Bold);
    ProgressBar1.setSmooth(true);
    StatusBar1.setVisible(false);

    // The run explains an unusable port in the detail panel of the status
    // bar, which this window never shows; the other detail texts stay unseen.
    ctx.presenter.loader = LoaderWindowView{&Label1, &Label6, &Label7, &Button1, &Button2, &ProgressBar1, &StatusBar1,
                                            [this](std::string_view reason) { showPortReason(reason); }};
    frontEnd_ = true;

    const std::string identity = options.identityOrDefault();
    const std::string caption = LoaderTitle(identity, options.buildDate);
    setCaptionAndHint(caption);
    SetApplicationTitle(identity);
    Label5.setCaption(identity);

    ctx.front().SetUp(ReadSetting(services.settings, PortSettingName, BrandLoader), identity);
    const LoaderTagSetup tags = LoaderTags(identity);
    Image1.setVisible(tags.showLogo);
    // The hint keeps the caption without the suffix.
    setCaption(caption + tags.captionSuffix);
}

void TForm6::command(int id, int code) {
    if (id == Button1Id && code == BN_CLICKED) Button1Click();
    if (id == Button2Id && code == BN_CLICKED) Button2Click();
    if (id == MenuEntryId && code == 0) ChangePort1Click();
}

void TForm6::ResetLoaderDisplay() {
    ctx_.front().ResetDisplay();
    showPortReason({});
}

void TForm6::Button1Click() {
    RunExclusive([this] {
        showPortReason({});
        ctx_.front().StartClick();
    });
}

void TForm6::Button2Click() { ctx_.front().StopClick(); }

void TForm6::ChangePort1Click() {
    if (portDialog_ != nullptr) portDialog_->showAsTool(hwnd());
    ResetLoaderDisplay();
}

void TForm6::FormClose() { StorePort(BrandLoader); }

void TForm6::showPortReason(std::string_view reason) {
    // An edit control breaks lines at "\r\n" only.
    std::wstring text;
    for (const wchar_t c : WideOf(reason)) {
        if (c == L'\n') text.push_back(L'\r');
        text.push_back(c);
    }
    ::SetWindowTextW(PortReason, text.c_str());
    ::ShowWindow(PortReason, reason.empty() ? SW_HIDE : SW_SHOWNA);
    ProgressBar1.setVisible(reason.empty());
}

}  // namespace torvane::win32ui
