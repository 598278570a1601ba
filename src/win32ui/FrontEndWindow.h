#pragma once
// What the three front-end windows share: a fixed-size client area at a
// fixed screen position below a one-entry menu, the update run executed
// inside a click handler, and a close that waits for that run.
//
// An update run handles window messages while it waits, so any handler of
// the window can run in the middle of it. Two rules keep that safe:
//   - a start click while a run is under way does nothing (the buttons are
//     hidden or disabled then, but Stop/Abort re-enable them before the run
//     has noticed);
//   - a close during a run raises the abort flag, and keeps raising it at
//     every wait (one wait of the run swallows a single request), and is put
//     off; the window closes once the run has returned from the click handler.

#include <functional>
#include <string>
#include <string_view>

#include "ui/FrontEndContext.h"
#include "ui/GuiServices.h"
#include "win32ui/Win32Window.h"

namespace torvane::win32ui {

class TForm3;
class TForm4;

class FrontEndWindow : public Window {
public:
    // `client` is the client area below the menu; `position` the window's
    // top-left corner on the screen; `menuCaption` the one menu entry.
    FrontEndWindow(FrontEndContext& ctx, GuiServices& services, layout::Size client, layout::Point position,
                   bool maximiseButton, std::string_view menuCaption, std::string_view fontFamily);

    // The dialogs exist only after the front ends (start-up creates them last).
    void attachDialogs(TForm3* portDialog, TForm4* versionDialog);
    // Shows the window as the program shows it: on the screen, active.
    void show();

    // True while an update run executes in this window's start handler.
    bool running() const { return running_; }
    // The window's hint: its caption as construction set it.
    const std::string& hint() const { return hint_; }
    // Whether this window drives the update (the hidden MainWindow does not).
    bool isFrontEnd() const { return frontEnd_; }
    // Called once the window has closed for good.
    std::function<void()> onClosed;

protected:
    // The id of the menu entry in `command`; above the ids Windows gives Enter
    // and Escape (IDOK, IDCANCEL), which the windows ignore.
    static constexpr int MenuEntryId = 100;

    HFONT font() const { return font_; }
    // Runs an update run unless one is under way; a close asked for during
    // the run follows once it has returned.
    void RunExclusive(const std::function<void()>& run);
    // Shows the port dialog without waiting for it.
    void showPortDialog();
    void setCaptionAndHint(std::string_view caption);
    // Closes the port if it is open and writes "com" under `brand`.
    void StorePort(BrandIndex brand);

    // The window's own close step; runs once, when the close is accepted.
    virtual void FormClose() = 0;
    // A click on control `id` (or the menu entry), with its notification code.
    virtual void command(int id, int code) = 0;
    LRESULT handle(UINT message, WPARAM w, LPARAM l) override;

    FrontEndContext& ctx_;
    GuiServices& services_;
    TForm3* portDialog_ = nullptr;
    TForm4* versionDialog_ = nullptr;
    bool frontEnd_ = false;

private:
    void close();
    HFONT font_;
    std::string hint_;
    bool running_ = false;
    bool closePending_ = false;
    bool closedForGood_ = false;
};

}  // namespace torvane::win32ui
