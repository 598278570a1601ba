#include "qt/UpgradeWindow.h"

#include <QAction>

#include <string>

#include "images/ImageTable.h"
#include "net/UdpNotifier.h"
#include "ui/FrontEnds.h"

namespace torvane {

namespace {

using L = layout::Form5;
using layout::Bold;
constexpr double FullOpacity = 1.0;  // a layered window at alpha 255

}  // namespace

TForm5::TForm5(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options)
    : FrontEndWindow(ctx, services, "Form5", ToQSize(L::ClientArea), ToQPoint(L::ScreenPosition), true),
      Panel1(client(), "Panel1", ToQRect(L::Panel1)),
      Button1(Panel1.widget(), "Button1", ToQRect(L::Button1)),
      Button2(Panel1.widget(), "Button2", ToQRect(L::Button2)),
      ProgressBar1(client(), "ProgressBar1", ToQRect(L::ProgressBar1)),
      ProgressBar2(client(), "ProgressBar2", ToQRect(L::ProgressBar2)),
      StatusBar1(client(), "StatusBar1", ToQRect(L::StatusBar1), L::StatusWidths),
      SerialPort1(addMenuEntry("SerialPort1", L::MenuCaption)) {
    setWindowOpacity(FullOpacity);
    for (QtButton* b : {&Button1, &Button2}) b->widget()->setFont(MapFont(layout::SansFont, L::ButtonFontHeight, Bold));
    Button1.setCaption(std::string(L::Button1Caption));
    Button2.setCaption(std::string(L::Button2Caption));
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
        bar->resize(bar->width() - (ProgressBar2.widget()->width() + L::BarGap), bar->height());
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
