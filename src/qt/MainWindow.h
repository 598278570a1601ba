#pragma once
// The full updater window: the product identity in large letters, result,
// identity and release lines, a progress bar, a four-panel status bar, an
// Update button that turns into Stop during a run, and "&Change port".
// It exists in every build; when another front end drives the update it
// stays hidden and unconfigured, a silent target for the writes some update
// steps make to it whatever the front end.

#include <memory>

#include "qt/FrontEndWindow.h"
#include "ui/GuiOptions.h"
#include "qt/QtControls.h"

namespace torvane {

inline constexpr const char* MainLogoResource = ":/assets/main-logo.png";

class TForm1 : public FrontEndWindow {
    Q_OBJECT
public:
    // Lays out the controls and hands them to ctx.presenter.main. When it
    // drives the update (`drivesUpdate`), it also configures itself as the
    // front end: UDP service when asked for, logo, titles, the remembered
    // port, the image table and the port panel.
    // Throws what reading the setting or starting the UDP service throws.
    TForm1(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options, bool drivesUpdate);

    QFrame* Bevel1;
    QtLabel Label1;  // product identity; double-click lists the images
    QFrame* Bevel2;
    QtLabel Label3;  // identity line
    QtLabel Label4;  // release line
    QtLabel Label2;  // result and progress line
    QLabel* Image2;  // logo
    QtButton Button1;  // "&Update"
    QtButton Button2;  // "&Stop"
    QtProgressBar ProgressBar1;
    QtStatusBar StatusBar1;
    QAction* S1;  // "&Change port"

public slots:
    void Button1Click();
    void Button2Click();
    void S1Click();
    void Label1DblClick();

protected:
    void FormClose() override;

private:
    GuiOptions options_;
};

using MainWindow = TForm1;

}  // namespace torvane
