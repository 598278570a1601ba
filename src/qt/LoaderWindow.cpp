#include "qt/LoaderWindow.h"

#include <QAction>
#include <QPixmap>

#include <string>

#include "images/ImageTable.h"
#include "ui/FrontEnds.h"
#include "qt/Serialsetup.h"

namespace torvane {

namespace {

using L = layout::Form6;
using layout::Bold;
using layout::Plain;

void DesignLabel(QtLabel& label, std::string_view caption, Alignment alignment, int height, FontStyle style) {
    label.setCaption(std::string(caption));
    label.setAlignment(alignment);
    label.setFontHeight(height);
    label.setFontStyle(style);
}

}  // namespace

TForm6::TForm6(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options)
    : FrontEndWindow(ctx, services, "Form6", ToQSize(L::ClientArea), ToQPoint(L::ScreenPosition), false),
      Button1(client(), "Button1", ToQRect(L::Button1)),
      Button2(client(), "Button2", ToQRect(L::Button2)),
      Bevel1(MakeBevel(client(), "Bevel1", ToQRect(L::Bevel1))),
      Label2(client(), "Label2", ToQRect(L::Label2), layout::TahomaFont),
      Label3(client(), "Label3", ToQRect(L::Label3), layout::TahomaFont),
      Label4(client(), "Label4", ToQRect(L::Label4), layout::TahomaFont),
      Label5(client(), "Label5", ToQRect(L::Label5), layout::TahomaFont),
      Label6(client(), "Label6", ToQRect(L::Label6), layout::TahomaFont),
      Label7(client(), "Label7", ToQRect(L::Label7), layout::TahomaFont),
      Image1(new QLabel(client())),
      Label1(client(), "Label1", ToQRect(L::Label1), layout::TahomaFont),
      ProgressBar1(client(), "ProgressBar1", ToQRect(L::ProgressBar1)),
      StatusBar1(client(), "StatusBar1", ToQRect(L::StatusBar1), L::StatusWidths),
      ChangePort1(addMenuEntry("ChangePort1", L::MenuCaption)),
      PortReason(new QLabel(client())) {
    setFont(MapFont(layout::TahomaFont, layout::DialogFontHeight));
    Button1.setCaption(std::string(L::Button1Caption));
    Button2.setCaption(std::string(L::Button2Caption));
    Button2.setEnabled(false);
    QWidget::setTabOrder(Button1.widget(), Button2.widget());
    DesignLabel(Label2, L::Label2Caption, Alignment::Right, L::CaptionHeight, Plain);
    DesignLabel(Label3, L::Label3Caption, Alignment::Right, L::CaptionHeight, Plain);
    DesignLabel(Label4, L::Label4Caption, Alignment::Right, L::CaptionHeight, Plain);
    DesignLabel(Label5, L::EmptyValue, Alignment::Centre, L::CaptionHeight, Bold);
    Label5.setOpaque(false);
    DesignLabel(Label6, L::EmptyValue, Alignment::Centre, L::ValueHeight, Plain);
    DesignLabel(Label7, L::EmptyValue, Alignment::Centre, L::ValueHeight, Plain);
    DesignLabel(Label1, "", Alignment::Centre, L::CaptionHeight, Bold);
    Place(Image1, "Image1", ToQRect(L::Image1));
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap(QString::fromLatin1(LoaderLogoResource)));
    ProgressBar1.setSmooth(true);
    StatusBar1.setVisible(false);
    Place(PortReason, "PortReason", ToQRect(L::ReasonArea));
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
