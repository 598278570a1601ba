#include "qt/UpgradeWindow.h"

#include <QAction>

#include <string>

#include "images/ImageTable.h"
#include "net/UdpNotifier.h"
#include "ui/FrontEnds.h"

namespace torvane {

namespace {

constexpr QSize ClientArea{630, 181};
constexpr QPoint ScreenPosition{274, 100};
constexpr double FullOpacity = 1.0;  // a layered window at alpha 255
constexpr FontStyle Bold{.bold = true, .italic = false};
constexpr int ButtonFontHeight = -33;
constexpr int BarGap = 5;  // between the two bars in sequence mode

}  // namespace

TForm5::TForm5(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options)
    : FrontEndWindow(ctx, services, "Form5", ClientArea, ScreenPosition, true),
      Panel1(client(), "Panel1", {8, 8, 614, 113}),
      Button1(Panel1.widget(), "Button1", {175, 25, 249, 65}),
      Button2(Panel1.widget(), "Button2", {175, 25, 249, 65}),
      ProgressBar1(client(), "ProgressBar1", {5, 128, 617, 17}),
      ProgressBar2(client(), "ProgressBar2", {464, 128, 158, 17}),
      StatusBar1(client(), "StatusBar1", {0, 152, 630, 29}, {50, 220, 100, 140, 20}),
      SerialPort1(addMenuEntry("SerialPort1", "Serial Port")) {
    setWindowOpacity(FullOpacity);
    for (QtButton* b : {&Button1, &Button2}) b->widget()->setFont(MapFont("MS Sans Serif", ButtonFontHeight, Bold));
    Button1.setCaption("START");
    Button2.setCaption("STOP");
    Button2.setVisible(false);
    QWidget::setTabOrder(Button1.widget(), Button2.widget());
    ProgressBar1.setSmooth(true);
    ProgressBar2.setSmooth(true);
    ProgressBar2.setVisible(false);

    connect(Button1.widget(), &QPushButton::clicked, this, &TForm5::Button1Click);
    connect(Button2.widget(), &QPushButton::clicked, this, &TForm5::Button2Click);
    connect(SerialPort1, &QAction::triggered, this, &TForm5::SerialPort1Click);

    ctx.presenter.upgrade = UpgradeWindowView{&Panel1, &Button1, &Button2, &ProgressBar1, &ProgressBar2, &StatusBar1};
    frontEnd_ = true;

    StartUdpService(options.arguments, ctx.presenter.notify, services.makeUdpListener, options.udpPort);
    const std::string identity = options.identityOrDefault();
    setCaptionAndHint(QString::fromLatin1(UpgradeTitle(identity, options.buildDate).c_str()));
    SetApplicationTitle(identity);

    ctx.front().SetUp(ReadSetting(services.settings, PortSettingName, BrandUpgrade), identity);
    ctx.front().ShowPort(ctx.port.CurrentPort);
    if (ctx.SequenceMode != 0) {
        QWidget* bar = ProgressBar1.widget();
        bar->resize(bar->width() - (ProgressBar2.widget()->width() + BarGap), bar->height());
        ProgressBar2.setVisible(true);
    }
}

void TForm5::Button1Click() {
    RunExclusive([this] { ctx_.front().StartClick(); });
}

void TForm5::Button2Click() { ctx_.front().StopClick(); }

void TForm5::SerialPort1Click() { showPortDialog(); }

void TForm5::FormClose() { StorePort(BrandUpgrade); }

}  // namespace torvane
