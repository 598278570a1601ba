#include "qt/MainWindow.h"

#include <QAction>
#include <QPixmap>

#include <string>

#include "images/ImageTable.h"
#include "net/UdpNotifier.h"
#include "ui/FrontEnds.h"
#include "qt/Serialsetup.h"
#include "qt/Version.h"

namespace torvane {

namespace {

constexpr QSize ClientArea{511, 265};
constexpr QPoint ScreenPosition{137, 200};
constexpr FontStyle Bold{.bold = true, .italic = false};

constexpr const char* StampOpen = "   [ ";
constexpr const char* StampSeparator = " - ";
constexpr const char* StampClose = " ]";

void DesignLabel(QtLabel& label, int height, bool visible) {
    label.setFontHeight(height);
    label.setFontStyle(Bold);
    label.setAlignment(Alignment::Centre);
    label.setOpaque(true);
    label.setVisible(visible);
}

}  // namespace

TForm1::TForm1(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options, bool drivesUpdate)
    : FrontEndWindow(ctx, services, "Form1", ClientArea, ScreenPosition, false),
      Bevel1(MakeBevel(client(), "Bevel1", {8, 48, 497, 50})),
      Label1(client(), "Label1", {10, 51, 493, 45}, "Times"),
      Bevel2(MakeBevel(client(), "Bevel2", {8, 110, 497, 108})),
      Label3(client(), "Label3", {13, 119, 484, 29}, "MS Sans Serif"),
      Label4(client(), "Label4", {13, 156, 484, 20}, "MS Sans Serif"),
      Label2(client(), "Label2", {13, 182, 484, 29}, "MS Sans Serif"),
      Image2(new QLabel(client())),
      Button1(client(), "Button1", {8, 8, 75, 25}),
      Button2(client(), "Button2", {8, 8, 75, 25}),
      ProgressBar1(client(), "ProgressBar1", {8, 224, 497, 16}),
      StatusBar1(client(), "StatusBar1", {0, ClientArea.height() - 19, ClientArea.width(), 19}, {50, 130, 100, 50}),
      S1(addMenuEntry("S1", "&Change port")),
      options_(options) {
    DesignLabel(Label1, -40, true);
    DesignLabel(Label3, -24, false);
    DesignLabel(Label4, -16, false);
    DesignLabel(Label2, -24, false);
    Place(Image2, "Image2", {368, 8, 135, 25});
    Image2->setAlignment(Qt::AlignCenter);
    Image2->setPixmap(QPixmap(QString::fromLatin1(MainLogoResource)).scaled(135, 25, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    Image2->hide();
    Button1.setCaption("&Update");
    Button2.setCaption("&Stop");
    Button2.setVisible(false);
    QWidget::setTabOrder(Button1.widget(), Button2.widget());

    connect(Button1.widget(), &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2.widget(), &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(S1, &QAction::triggered, this, &TForm1::S1Click);
    connect(Label1.widget(), &ClickableLabel::doubleClicked, this, &TForm1::Label1DblClick);

    ctx.presenter.main = {&Label1, &Label2, &Label3, &Label4, &Button1, &Button2, &ProgressBar1, &StatusBar1};
    if (!drivesUpdate) return;  // hidden and unconfigured
    frontEnd_ = true;

    StartUdpService(options.arguments, ctx.presenter.notify, services.makeUdpListener, options.udpPort);
    const std::string identity = options.identityOrDefault();
    Image2->setVisible(!TaggedWithoutLogo(identity, FrontEnd::MainWindow));
    setCaptionAndHint(QString::fromLatin1(MainTitle(identity, options.buildDate).c_str()));
    SetApplicationTitle(identity);
    Label1.setCaption(identity);

    ctx.front().SetUp(ReadSetting(services.settings, PortSettingName, BrandMain), identity);
    ctx.front().ShowPort(ctx.port.CurrentPort);
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
    const std::string caption =
        Label1.caption() + StampOpen + options_.buildTime + StampSeparator + options_.buildDate + StampClose;
    versionDialog_->setWindowTitle(QString::fromLatin1(caption.c_str()));
    versionDialog_->show();
    versionDialog_->raise();
    versionDialog_->activateWindow();
}

void TForm1::FormClose() { StorePort(BrandMain); }

}  // namespace torvane
