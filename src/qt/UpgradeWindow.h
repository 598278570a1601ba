#pragma once
// The START/STOP front end: one large button on a panel that turns into STOP
// during a run, a progress bar, a visible five-panel status bar carrying every
// text of a run, and "Serial Port". Products tagged KEW work in sequence
// mode: one START programs module after module until every carried image
// has been programmed once, with a second bar for the sequence.

#include "qt/FrontEndWindow.h"
#include "ui/GuiOptions.h"
#include "qt/QtControls.h"

namespace torvane {

class TForm5 : public FrontEndWindow {
    Q_OBJECT
public:
    // Starts the UDP service when the command line asks for it, lays out the
    // controls, hands them to ctx.presenter.upgrade and sets up titles, the
    // remembered port, the image table, the shared device panel and
    // SequenceMode. Throws what the UDP service or the setting throws.
    TForm5(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options);

    QtPanel Panel1;
    QtButton Button1;  // "START"
    QtButton Button2;  // "STOP"
    QtProgressBar ProgressBar1;
    QtProgressBar ProgressBar2;  // the sequence, in sequence mode only
    QtStatusBar StatusBar1;
    QAction* SerialPort1;  // "Serial Port"

public slots:
    void Button1Click();
    void Button2Click();
    void SerialPort1Click();

protected:
    void FormClose() override;
};

using UpgradeWindow = TForm5;

}  // namespace torvane
