#include "win32ui/FrontEndWindow.h"

#include <exception>
#include <optional>

#include "ui/FrontEnds.h"
#include "ui/RunRecord.h"
#include "win32ui/Dialogs.h"
#include "win32ui/MessageBoxes.h"
#include "win32ui/Win32Text.h"

namespace torvane::win32ui {

namespace {

// Keeps the abort flag raised while a close waits for the run: it fires at
// every pass of message handling, that is at every wait step of the run.
constexpr UINT_PTR AbortWhileClosingTimer = 1;
constexpr UINT AbortTimerMs = USER_TIMER_MINIMUM;

HMENU MenuWithOneEntry(std::string_view caption, int id) {
    HMENU menu = ::CreateMenu();
    ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), WideOf(caption).c_str());
    return menu;
}

}  // namespace

FrontEndWindow::FrontEndWindow(FrontEndContext& ctx, GuiServices& services, layout::Size client,
                               layout::Point position, bool maximiseButton, std::string_view menuCaption,
                               std::string_view fontFamily)
    : ctx_(ctx), services_(services), font_(FontFor(fontFamily, layout::DialogFontHeight)) {
    // Fixed single border: the system menu and minimise always, maximise only
    // where the window asks for it (it cannot grow either way).
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    if (maximiseButton) style |= WS_MAXIMIZEBOX;
    create(style, 0, client, position, MenuWithOneEntry(menuCaption, MenuEntryId));
}

void FrontEndWindow::attachDialogs(TForm3* portDialog, TForm4* versionDialog) {
    portDialog_ = portDialog;
    versionDialog_ = versionDialog;
}

void FrontEndWindow::show() {
    KeepOnScreen(hwnd());
    ::ShowWindow(hwnd(), SW_SHOW);
    ::SetForegroundWindow(hwnd());
    ::UpdateWindow(hwnd());
    FocusFirstControl(hwnd());
}

void FrontEndWindow::RunExclusive(const std::function<void()>& run) {
    if (running_) return;
    running_ = true;
    std::optional<RunRecorder> recorder;
    if (services_.platform != nullptr && services_.appendRunRecord) {
        recorder.emplace(*services_.platform);
        recorder->begin(ctx_);
    }
    try {
        run();
    } catch (...) {
        running_ = false;
        ::KillTimer(hwnd(), AbortWhileClosingTimer);
        throw;
    }
    if (recorder) services_.appendRunRecord(recorder->end(ctx_));
    running_ = false;
    ::KillTimer(hwnd(), AbortWhileClosingTimer);
    if (closePending_) {
        closePending_ = false;
        // Leave the click handler first; the close then comes from the message loop.
        ::PostMessageW(hwnd(), WM_CLOSE, 0, 0);
    }
}

void FrontEndWindow::showPortDialog() {
    if (portDialog_ != nullptr) portDialog_->show();
}

void FrontEndWindow::setCaptionAndHint(std::string_view caption) {
    setCaption(caption);
    hint_ = caption;
}

void FrontEndWindow::StorePort(BrandIndex brand) {
    WriteSetting(services_.settings, PortSettingName, ClosePortsOnExit(ctx_), brand);
}

void FrontEndWindow::close() {
    if (running_) {
        // The run is still inside this window's click handler: stop it at its
        // next wait and close once it has returned.
        ctx_.receiver.abort = 1;
        closePending_ = true;
        ::SetTimer(hwnd(), AbortWhileClosingTimer, AbortTimerMs, nullptr);
        return;
    }
    if (closedForGood_) return;
    closedForGood_ = true;
    if (frontEnd_) {
        // A failed settings write is shown, but it does not keep the user
        // from leaving the program.
        try {
            FormClose();
        } catch (const std::exception& e) {
            ShowErrorBox(e.what());
        }
    }
    ::ShowWindow(hwnd(), SW_HIDE);
    if (onClosed) onClosed();
}

LRESULT FrontEndWindow::handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(w) == IDOK && HIWORD(w) == BN_CLICKED) {
            PressFocusedButton(hwnd());
            return 0;
        }
        command(LOWORD(w), HIWORD(w));
        return 0;
    case WM_CLOSE:
        close();
        return 0;
    case WM_SETFOCUS:
        // The window itself takes no keys: its first control does.
        FocusFirstControl(hwnd());
        return 0;
    case WM_TIMER:
        if (w == AbortWhileClosingTimer) {
            ctx_.receiver.abort = 1;
            return 0;
        }
        break;
    default: break;
    }
    return Window::handle(message, w, l);
}

}  // namespace torvane::win32ui
