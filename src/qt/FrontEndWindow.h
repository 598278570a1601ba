#pragma once
// What the three front-end windows share: a fixed-size client area at a fixed
// screen position below a one-entry menu, the update run executed inside a
// click handler, and a close that waits for that run.
//
// An update run processes Qt events while it waits, so any handler of the
// window can run in the middle of it. Two rules keep that safe:
//   - a start click while a run is under way does nothing (the buttons are
//     hidden or disabled then, but Stop/Abort re-enable them before the run
//     has noticed);
//   - a close during a run raises the abort flag, and keeps raising it at
//     every wait (one wait of the run swallows a single request), and is put
//     off; the window closes once the run has returned from the click handler.

#include <QMainWindow>
#include <QString>

#include <functional>
#include <string_view>

#include "ui/FrontEndContext.h"
#include "ui/GuiServices.h"

class QAction;
class QTimer;

namespace torvane {

class TForm3;
class TForm4;

class FrontEndWindow : public QMainWindow {
    Q_OBJECT
public:
    // `client` is the client area below the menu; `position` the window's
    // top-left corner on the screen.
    FrontEndWindow(FrontEndContext& ctx, GuiServices& services, const char* objectName, QSize client, QPoint position,
                   bool maximiseButton);

    // The dialogs exist only after the front ends (start-up creates them last).
    void attachDialogs(TForm3* portDialog, TForm4* versionDialog);

    QWidget* client() const { return client_; }
    // True while an update run executes in this window's start handler.
    bool running() const { return running_; }
    // The window's hint: its caption as construction set it.
    const QString& hint() const { return hint_; }
    // Whether this window drives the update (the hidden MainWindow does not).
    bool isFrontEnd() const { return frontEnd_; }

signals:
    // The window has closed for good (its FormClose has run).
    void closed();

protected:
    // Adds the one menu entry and fixes the window size around client and menu.
    QAction* addMenuEntry(const char* name, std::string_view caption);
    // Runs an update run unless one is under way; a close asked for during
    // the run follows once it has returned.
    void RunExclusive(const std::function<void()>& run);
    // Shows the port dialog without waiting for it.
    void showPortDialog();
    void setCaptionAndHint(const QString& caption);
    // Closes the port if it is open and writes "com" under `brand`.
    void StorePort(BrandIndex brand);

    // The window's own close step; runs once, when the close is accepted.
    virtual void FormClose() = 0;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

    FrontEndContext& ctx_;
    GuiServices& services_;
    TForm3* portDialog_ = nullptr;
    TForm4* versionDialog_ = nullptr;
    bool frontEnd_ = false;

private:
    QWidget* client_;
    QString hint_;
    bool running_ = false;
    bool closePending_ = false;
    QTimer* abortWhileClosing_;  // keeps the abort flag raised once a close waits for the run
    bool closedForGood_ = false;
};

// The application title: the text of the program's task-bar entry.
void SetApplicationTitle(const std::string& title);
QString ApplicationTitle();

}  // namespace torvane
