#pragma once
// The compact front end: "Update FW" and "Abort", a large message line, the
// firmware, hardware and boot-loader lines, a logo, a wide progress bar and
// "&Change Port". Its status bar receives a run's panel texts but is never
// shown; why a port cannot be used is shown beneath the message line instead.

#include "qt/FrontEndWindow.h"
#include "ui/GuiOptions.h"
#include "qt/QtControls.h"

namespace torvane {

inline constexpr const char* LoaderLogoResource = ":/assets/loader-logo.png";

class TForm6 : public FrontEndWindow {
    Q_OBJECT
public:
    // Lays out the controls, hands them to ctx.presenter.loader and sets up
    // the titles, the remembered port, WakeVariant and the image table.
    // Throws what reading the setting throws.
    TForm6(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options);

    QtButton Button1;  // "Update FW"
    QtButton Button2;  // "Abort"
    QFrame* Bevel1;
    QtLabel Label2;  // "FW :"
    QtLabel Label3;  // "HW :"
    QtLabel Label4;  // "BS :"
    QtLabel Label5;  // the product identity
    QtLabel Label6;  // hardware value
    QtLabel Label7;  // boot-loader value
    QLabel* Image1;  // logo
    QtLabel Label1;  // message line
    QtProgressBar ProgressBar1;
    QtStatusBar StatusBar1;
    QAction* ChangePort1;  // "&Change Port"
    // Why the chosen port cannot be used and how to fix it, beneath the
    // message line; hidden while there is nothing to explain.
    QLabel* PortReason;

    // Puts the message line back into its waiting state, empties the values
    // and drops the explanation of an earlier port failure.
    void ResetLoaderDisplay();

public slots:
    void Button1Click();
    void Button2Click();
    void ChangePort1Click();

protected:
    void FormClose() override;

private:
    // Shows `reason` beneath the message line in the progress bar's place
    // (a port that cannot be opened has no progress to show); an empty
    // reason brings the bar back.
    void showPortReason(const QString& reason);
};

using LoaderWindow = TForm6;

}  // namespace torvane
