#include "ui/Views.h"

namespace torvane {

namespace {

constexpr FontStyle Bold{.bold = true, .italic = false};

void SetFont(Label& label, int height, FontStyle style) {
    label.setFontHeight(height);
    label.setFontStyle(style);
}

}  // namespace

// Design-time state of the windows: what each control looks like before any
// handler or the Presenter has touched it.

HeadlessMainWindow::HeadlessMainWindow() {
    for (Label* l : {&Label1, &Label2, &Label3, &Label4}) l->setAlignment(Alignment::Centre);
    SetFont(Label1, -40, Bold);
    SetFont(Label2, -24, Bold);
    SetFont(Label3, -24, Bold);
    SetFont(Label4, -16, Bold);
    Label2.setVisible(false);
    Label3.setVisible(false);
    Label4.setVisible(false);
    Button1.setCaption("&Update");
    Button2.setCaption("&Stop");
    Button2.setVisible(false);
}

MainWindowView HeadlessMainWindow::view() {
    return {&Label1, &Label2, &Label3, &Label4, &Button1, &Button2, &ProgressBar1, &StatusBar1};
}

HeadlessLoaderWindow::HeadlessLoaderWindow() {
    Label1.setAlignment(Alignment::Centre);
    SetFont(Label1, 32, Bold);
    for (Label* l : {&Label6, &Label7}) {
        l->setCaption("-");
        l->setAlignment(Alignment::Centre);
        l->setFontHeight(25);
    }
    Button1.setCaption("Update FW");
    Button2.setCaption("Abort");
    Button2.setEnabled(false);
    ProgressBar1.setSmooth(true);
    StatusBar1.setVisible(false);  // it receives the panel texts but is never shown
}

LoaderWindowView HeadlessLoaderWindow::view() {
    return {&Label1, &Label6, &Label7, &Button1, &Button2, &ProgressBar1, &StatusBar1};
}

HeadlessUpgradeWindow::HeadlessUpgradeWindow() {
    Button1.setCaption("START");
    Button2.setCaption("STOP");
    Button2.setVisible(false);
    ProgressBar1.setSmooth(true);
    ProgressBar2.setSmooth(true);
    ProgressBar2.setVisible(false);
}

UpgradeWindowView HeadlessUpgradeWindow::view() {
    return {&Panel1, &Button1, &Button2, &ProgressBar1, &ProgressBar2, &StatusBar1};
}

}  // namespace torvane
