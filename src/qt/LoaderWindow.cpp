#include "qt/LoaderWindow.h"

#include <QAction>
#include <QPixmap>

#include <string>

#include "images/ImageTable.h"
#include "ui/FrontEnds.h"
#include "qt/Serialsetup.h"

namespace torvane {

namespace {

constexpr QSize ClientArea{635, 255};
constexpr QPoint ScreenPosition{183, 150};
constexpr FontStyle Plain{};
constexpr FontStyle Bold{.bold = true, .italic = false};
constexpr int CaptionHeight = 32;  // cell heights in pixels
constexpr int ValueHeight = 25;
// The progress bar's place and the unused strip below it: room for a reason
// of three lines, the fix included.
constexpr QRect ReasonArea{8, 203, 617, 52};

void DesignLabel(QtLabel& label, const char* caption, Alignment alignment, int height, FontStyle style) {
    label.setCaption(caption);
    label.setAlignment(alignment);
    label.setFontHeight(height);
    label.setFontStyle(style);
}

}  // namespace

TForm6::TForm6(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options)
    : FrontEndWindow(ctx, services, "Form6", ClientArea, ScreenPosition, false),
      Button1(client(), "Button1", {8, 8, 161, 33}),
      Button2(client(), "Button2", {8, 47, 161, 33}),
      Bevel1(MakeBevel(client(), "Bevel1", {187, 13, 440, 120})),
      Label2(client(), "Label2", {192, 25, 97, 32}, "Tahoma"),
      Label3(client(), "Label3", {192, 55, 97, 32}, "Tahoma"),
      Label4(client(), "Label4", {192, 85, 97, 32}, "Tahoma"),
      Label5(client(), "Label5", {287, 25, 330, 32}, "Tahoma"),
      Label6(client(), "Label6", {287, 55, 330, 32}, "Tahoma"),
      Label7(client(), "Label7", {287, 85, 330, 32}, "Tahoma"),
      Image1(new QLabel(client())),
      Label1(client(), "Label1", {8, 165, 617, 32}, "Tahoma"),
      ProgressBar1(client(), "ProgressBar1", {8, 203, 617, 33}),
      StatusBar1(client(), "StatusBar1", {0, 242, 635, 13}, {50, 220, 100, 140, 20}),
      ChangePort1(addMenuEntry("ChangePort1", "&Change Port")),
      PortReason(new QLabel(client())) {
    setFont(MapFont("Tahoma", -11));
    Button1.setCaption("Update FW");
    Button2.setCaption("Abort");
    Button2.setEnabled(false);
    QWidget::setTabOrder(Button1.widget(), Button2.widget());
    DesignLabel(Label2, "FW :", Alignment::Right, CaptionHeight, Plain);
    DesignLabel(Label3, "HW :", Alignment::Right, CaptionHeight, Plain);
    DesignLabel(Label4, "BS :", Alignment::Right, CaptionHeight, Plain);
    DesignLabel(Label5, "-", Alignment::Centre, CaptionHeight, Bold);
    Label5.setOpaque(false);
    DesignLabel(Label6, "-", Alignment::Centre, ValueHeight, Plain);
    DesignLabel(Label7, "-", Alignment::Centre, ValueHeight, Plain);
    DesignLabel(Label1, "", Alignment::Centre, CaptionHeight, Bold);
    Place(Image1, "Image1", {18, 93, 137, 45});
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap(QString::fromLatin1(LoaderLogoResource)));
    ProgressBar1.setSmooth(true);
    StatusBar1.setVisible(false);
    Place(PortReason, "PortReason", ReasonArea);
    PortReason->setTextFormat(Qt::PlainText);
    PortReason->setWordWrap(true);
    PortReason->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The fix is a command to type: let the user copy it.
    PortReason->setTextInteractionFlags(Qt::TextSelectableByMouse);
    PortReason->hide();
    connect(Button1.widget(), &QPushButton::clicked, this, &TForm6::Button1Click);
    connect(Button2.widget(), &QPushButton::clicked, this, &TForm6::Button2Click);
    connect(ChangePort1, &QAction::triggered, this, &TForm6::ChangePort1Click);

    // The run explains an unusable port in the detail panel of the status
    // bar, which this window never shows; the other detail texts stay unseen
    // as they always were.
    ctx.presenter.loader = LoaderWindowView{&Label1, &Label6, &Label7, &Button1, &Button2, &ProgressBar1, &StatusBar1,
                                            [this](std::string_view reason) {
                                                showPortReason(FromSystemText(reason));
                                            }};
    frontEnd_ = true;

    const std::string identity = options.identityOrDefault();
    const QString caption = QString::fromLatin1(LoaderTitle(identity, options.buildDate).c_str());
    setCaptionAndHint(caption);
    SetApplicationTitle(identity);
    Label5.setCaption(identity);

    ctx.front().SetUp(ReadSetting(services.settings, PortSettingName, BrandLoader), identity);
    const LoaderTagSetup tags = LoaderTags(identity);
    Image1->setVisible(tags.showLogo);
    // The hint keeps the caption without the suffix.
    setWindowTitle(caption + QString::fromLatin1(tags.captionSuffix.c_str()));
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
    if (portDialog_ != nullptr) {
        // Changing the flags hides a visible window, and showing it again would
        // refill its lists: give the border once, while the dialog is closed.
        if (portDialog_->windowType() != Qt::Tool)
            portDialog_->setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
        portDialog_->move(pos());
    }
    showPortDialog();
    ResetLoaderDisplay();
}

void TForm6::FormClose() { StorePort(BrandLoader); }

void TForm6::showPortReason(const QString& reason) {
    PortReason->setText(reason);
    PortReason->setVisible(!reason.isEmpty());
    ProgressBar1.setVisible(reason.isEmpty());
}

}  // namespace torvane
