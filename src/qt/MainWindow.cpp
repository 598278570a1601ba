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

using L = layout::Form1;
using layout::Bold;

void DesignLabel(QtLabel& label, int height, bool visible) {
    label.setFontHeight(height);
    label.setFontStyle(Bold);
    label.setAlignment(Alignment::Centre);
    label.setOpaque(true);
    label.setVisible(visible);
}

}  // namespace

TForm1::TForm1(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options, bool drivesUpdate)
    : FrontEndWindow(ctx, services, "Form1", ToQSize(L::ClientArea), ToQPoint(L::ScreenPosition), false),
      Bevel1(MakeBevel(client(), "Bevel1", ToQRect(L::Bevel1))),
      Label1(client(), "Label1", ToQRect(L::Label1), layout::SerifFont),
      Bevel2(MakeBevel(client(), "Bevel2", ToQRect(L::Bevel2))),
      Label3(client(), "Label3", ToQRect(L::Label3), layout::SansFont),
      Label4(client(), "Label4", ToQRect(L::Label4), layout::SansFont),
      Label2(client(), "Label2", ToQRect(L::Label2), layout::SansFont),
      Image2(new QLabel(client())),
      Button1(client(), "Button1", ToQRect(L::Button1)),
      Button2(client(), "Button2", ToQRect(L::Button2)),
      ProgressBar1(client(), "ProgressBar1", ToQRect(L::ProgressBar1)),
      StatusBar1(client(), "StatusBar1", ToQRect(L::StatusBar1), L::StatusWidths),
      S1(addMenuEntry("S1", L::MenuCaption)),
      options_(options) {
    DesignLabel(Label1, L::Label1Height, true);
    DesignLabel(Label3, L::Label3Height, false);
    DesignLabel(Label4, L::Label4Height, false);
    DesignLabel(Label2, L::Label2Height, false);
    Place(Image2, "Image2", ToQRect(L::Image2));
    Image2->setAlignment(Qt::AlignCenter);
    Image2->setPixmap(QPixmap(QString::fromLatin1(MainLogoResource)).scaled(L::Image2.width, L::Image2.height, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    Image2->hide();
    Button1.setCaption(std::string(L::Button1Caption));
    Button2.setCaption(std::string(L::Button2Caption));
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
        Label1.caption() + std::string(L::StampOpen) + options_.buildTime + std::string(L::StampSeparator) +
        options_.buildDate + std::string(L::StampClose);
    versionDialog_->setWindowTitle(QString::fromLatin1(caption.c_str()));
    versionDialog_->show();
    versionDialog_->raise();
    versionDialog_->activateWindow();
}

void TForm1::FormClose() { StorePort(BrandMain); }

}  // namespace torvane
