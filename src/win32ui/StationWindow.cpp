#include "win32ui/StationWindow.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "formats/ComName.h"
#include "platform/Platform.h"
#include "win32ui/Win32Text.h"

namespace torvane::win32ui {

namespace {

// Design pixels.
constexpr int Margin = 8;
constexpr int Gap = 8;
constexpr int GridColumns = 4;
constexpr int CellWidth = 230;
constexpr int CellHeight = 196;
constexpr int MinimumWidth = 620;  // the row of Repeat, the totals and the buttons
constexpr int PortListHeight = 96;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 23;
constexpr int LineHeight = 14;
constexpr int TotalsWidth = 130;
constexpr int VerdictFontHeight = -13;
constexpr layout::Point ScreenPosition{40, 40};
constexpr DWORD Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Where a cell's controls sit, from the top-left corner of its group box.
struct CellLayout {
    static constexpr int Inner = 10;  // left and right, inside the frame
    static constexpr int Width = CellWidth - 2 * Inner;
    static constexpr layout::Rect Device{Inner, 18, Width, LineHeight};
    static constexpr layout::Rect Bar{Inner, 36, Width, 16};
    static constexpr layout::Rect Status{Inner, 56, Width, LineHeight};
    static constexpr layout::Rect Chip{Inner, 72, Width, LineHeight};
    static constexpr layout::Rect Detail{Inner, 88, Width, 2 * LineHeight};
    static constexpr layout::Rect Verdict{Inner, 120, Width, 20};
    static constexpr layout::Rect Counter{Inner, 144, Width, LineHeight};
    static constexpr layout::Rect Start{Inner, 164, ButtonWidth, ButtonHeight};
    static constexpr layout::Rect Stop{Inner + ButtonWidth + Gap, 164, ButtonWidth, ButtonHeight};
};

constexpr int ControlsTop = Margin + PortListHeight + Gap;
constexpr int GridTop = ControlsTop + ButtonHeight + Gap;

// A report the window's queue will not take now (it is full) is tried again
// this often, as long as it may take the GUI thread to catch up: the ends of
// a run and of a port must reach the window, a bar position may be lost.
constexpr auto PostRetry = std::chrono::milliseconds(10);
constexpr int PostTries = 500;

layout::Rect At(int x, int y, layout::Rect r) { return {x + r.x, y + r.y, r.width, r.height}; }

HWND Text(HWND parent, const wchar_t* windowClass, DWORD style, layout::Rect where, int id, std::string_view text,
          HFONT font) {
    HWND control = MakeChild(parent, windowClass, WS_VISIBLE | style, where, id, font);
    ::SetWindowTextW(control, WideOf(text).c_str());
    return control;
}

void SetText(HWND control, std::string_view text) { ::SetWindowTextW(control, WideOf(text).c_str()); }

void Place(HWND control, layout::Rect where) {
    const RECT r = ScaledRect(where);
    ::SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Essential(const StationReport& r) {
    return r.kind == StationReport::Kind::RunEnded || r.kind == StationReport::Kind::PortEnded;
}

// On a worker's thread: hands the report to the window's queue.
void PostReport(HWND window, std::unique_ptr<StationReport> report) {
    for (int attempt = 0; attempt < PostTries; ++attempt) {
        if (::PostMessageW(window, StationReportMessage, 0, reinterpret_cast<LPARAM>(report.get()))) {
            report.release();  // the window procedure owns it now
            return;
        }
        if (!Essential(*report) || !::IsWindow(window)) return;
        std::this_thread::sleep_for(PostRetry);
    }
}

}  // namespace

StationCell::~StationCell() {
    // The bindings leave their controls to the window; a cell goes alone.
    for (HWND control : {box, device, bar ? bar->hwnd() : nullptr, status, chip, detail,
                         verdict ? verdict->hwnd() : nullptr, counter, start ? start->hwnd() : nullptr,
                         stop ? stop->hwnd() : nullptr})
        if (control != nullptr) ::DestroyWindow(control);
}

StationWindow::StationWindow(Platform& platform, StationSettings settings, std::vector<int> chosen)
    : platform_(platform),
      settings_(std::move(settings)),
      font_(FontFor(layout::SansFont, layout::DialogFontHeight)),
      PortList(createWithPortList()),
      Repeat(Text(hwnd(), L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, {Margin, ControlsTop, 320, ButtonHeight}, RepeatId,
                  RepeatCaption, font_)),
      StartAll(hwnd(), StartAllId, {0, ControlsTop, ButtonWidth, ButtonHeight}, font_),
      StopAll(hwnd(), StopAllId, {0, ControlsTop, ButtonWidth, ButtonHeight}, font_),
      Totals(Text(hwnd(), L"STATIC", SS_RIGHT | SS_NOPREFIX | SS_CENTERIMAGE, {0, ControlsTop, TotalsWidth, ButtonHeight},
                  TotalsId, "", font_)) {
    StartAll.setCaption(std::string(StartAllCaption));
    StopAll.setCaption(std::string(StopAllCaption));
    ::SendMessageW(Repeat, BM_SETCHECK, settings_.repeat ? BST_CHECKED : BST_UNCHECKED, 0);
    fillPortList(chosen);
    rebuild();
}

HWND StationWindow::createWithPortList() {
    create(Style, 0, {MinimumWidth, GridTop + Margin}, ScreenPosition, nullptr);
    setCaption(StationTitle);
    return MakeChild(hwnd(), L"LISTBOX",
                     WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_MULTIPLESEL |
                         LBS_NOINTEGRALHEIGHT,
                     {Margin, Margin, MinimumWidth - 2 * Margin, PortListHeight}, PortListId, font_);
}

StationWindow::~StationWindow() {
    // The workers post to this window: they end before it goes, and what
    // they posted last is freed here, not lost with the window's queue.
    station_.reset();
    MSG message;
    while (::PeekMessageW(&message, hwnd(), StationReportMessage, StationReportMessage, PM_REMOVE))
        delete reinterpret_cast<StationReport*>(message.lParam);
}

void StationWindow::show() {
    KeepOnScreen(hwnd());
    ::ShowWindow(hwnd(), SW_SHOW);
    ::SetForegroundWindow(hwnd());
    ::UpdateWindow(hwnd());
    FocusFirstControl(hwnd());
}

bool StationWindow::anyRunning() const {
    return std::any_of(cells_.begin(), cells_.end(), [](const auto& c) { return c->running; });
}

void StationWindow::fillPortList(const std::vector<int>& chosen) {
    ::SendMessageW(PortList, LB_RESETCONTENT, 0, 0);
    for (const StationPortEntry& p : StationPortList(platform_, chosen)) {
        devicePaths_[p.portIndex] = p.devicePath;
        const auto row = ::SendMessageW(PortList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideOf(p.text).c_str()));
        if (row < 0) continue;
        ::SendMessageW(PortList, LB_SETITEMDATA, static_cast<WPARAM>(row), static_cast<LPARAM>(p.portIndex));
        ::SendMessageW(PortList, LB_SETSEL, p.chosen ? TRUE : FALSE, row);
    }
}

std::vector<int> StationWindow::checkedPorts() const {
    // The listing's order (the list box does not sort), as the Qt window's.
    std::vector<int> ports;
    const auto rows = static_cast<int>(::SendMessageW(PortList, LB_GETCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row)
        if (::SendMessageW(PortList, LB_GETSEL, static_cast<WPARAM>(row), 0) > 0)
            ports.push_back(static_cast<int>(::SendMessageW(PortList, LB_GETITEMDATA, static_cast<WPARAM>(row), 0)));
    return ports;
}

void StationWindow::rebuild() {
    if (anyRunning()) return;  // the list and the repeat box are locked then
    station_.reset();
    ++generation_;
    cells_.clear();

    const std::vector<int> ports = checkedPorts();
    for (std::size_t slot = 0; slot < ports.size(); ++slot) makeCell(static_cast<int>(slot), ports[slot]);
    if (!ports.empty()) {
        HWND window = hwnd();
        relay_ = std::make_unique<StationReportRelay>(
            platform_, generation_, [window](std::unique_ptr<StationReport> r) { PostReport(window, std::move(r)); });
        station_ = std::make_unique<Station>(platform_, settings_, ports, *relay_);
    }
    showCounts(-1);
    showButtons();
    layOut();
}

void StationWindow::makeCell(int slot, int portIndex) {
    auto c = std::make_unique<StationCell>();
    c->portIndex = portIndex;
    HWND parent = hwnd();
    const int x = Margin + (slot % GridColumns) * (CellWidth + Gap);
    const int y = GridTop + (slot / GridColumns) * (CellHeight + Gap);
    using L = CellLayout;
    const auto line = [&](layout::Rect where, DWORD style, std::string_view text) {
        return Text(parent, L"STATIC", SS_LEFT | SS_NOPREFIX | style, At(x, y, where), 0, text, font_);
    };
    const auto path = devicePaths_.find(portIndex);
    c->device = line(L::Device, SS_PATHELLIPSIS, path != devicePaths_.end() ? path->second : std::string());
    c->bar = std::make_unique<Win32ProgressBar>(parent, 0, At(x, y, L::Bar));
    c->status = line(L::Status, SS_ENDELLIPSIS, "");
    c->chip = line(L::Chip, SS_ENDELLIPSIS, "");
    c->detail = line(L::Detail, SS_EDITCONTROL, "");  // two lines, broken at words
    c->verdict = std::make_unique<Win32Label>(parent, 0, At(x, y, L::Verdict), layout::SansFont);
    c->verdict->setOpaque(false);
    c->verdict->setAlignment(Alignment::Centre);
    c->verdict->setFontStyle(layout::Bold);
    c->verdict->setFontHeight(VerdictFontHeight);
    c->counter = line(L::Counter, 0, "");
    c->start = std::make_unique<Win32Button>(parent, StartId(slot), At(x, y, L::Start), font_);
    c->start->setCaption(std::string(StartCaption));
    c->stop = std::make_unique<Win32Button>(parent, StopId(slot), At(x, y, L::Stop), font_);
    c->stop->setCaption(std::string(StopCaption));
    // The frame last and below its contents: they are its siblings, not its
    // children (a group box passes no clicks on), and must not be covered.
    c->box = Text(parent, L"BUTTON", BS_GROUPBOX, {x, y, CellWidth, CellHeight}, 0, ComName(portIndex),
                  FontFor(layout::SansFont, layout::DialogFontHeight, layout::Bold));
    ::SetWindowPos(c->box, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    cells_.push_back(std::move(c));
    showCounts(slot);
}

void StationWindow::layOut() {
    const int columns = std::clamp(cellCount(), 1, GridColumns);
    const int rows = (cellCount() + GridColumns - 1) / GridColumns;
    const int width = std::max(MinimumWidth, 2 * Margin + columns * CellWidth + (columns - 1) * Gap);
    const int height = GridTop + rows * (CellHeight + Gap) + Margin - (rows > 0 ? Gap : 0);
    Place(PortList, {Margin, Margin, width - 2 * Margin, PortListHeight});
    const int stopX = width - Margin - ButtonWidth;
    const int startX = stopX - Gap - ButtonWidth;
    Place(StopAll.hwnd(), {stopX, ControlsTop, ButtonWidth, ButtonHeight});
    Place(StartAll.hwnd(), {startX, ControlsTop, ButtonWidth, ButtonHeight});
    Place(Totals, {startX - Gap - TotalsWidth, ControlsTop, TotalsWidth, ButtonHeight});
    RECT frame{0, 0, Scaled(width), Scaled(height)};
    ::AdjustWindowRectEx(&frame, Style, FALSE, WS_EX_CONTROLPARENT);
    ::SetWindowPos(hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(hwnd(), nullptr, TRUE);
}

void StationWindow::startPort(int slot) {
    StationCell& c = cell(slot);
    if (c.running || !station_ || closePending_) return;
    c.running = true;
    c.verdict->setOpaque(false);
    c.verdict->setCaption("");
    SetText(c.detail, "");
    c.bar->setState(BarState::Normal);
    c.bar->setPosition(0);
    showButtons();
    station_->start(slot);
}

void StationWindow::stopPort(int slot) {
    if (station_ && cell(slot).running) station_->stop(slot);
}

void StationWindow::showButtons() {
    const bool any = anyRunning();
    const bool idle = std::any_of(cells_.begin(), cells_.end(), [](const auto& c) { return !c->running; });
    for (const auto& c : cells_) {
        c->start->setEnabled(!c->running && !closePending_);
        c->stop->setEnabled(c->running);
    }
    StartAll.setEnabled(idle && !closePending_);
    StopAll.setEnabled(any);
    // Other ports or another mode make another station: not while one runs.
    ::EnableWindow(PortList, !any);
    ::EnableWindow(Repeat, !any);
}

void StationWindow::showCounts(int slot) {
    if (slot >= 0) {
        SetText(cell(slot).counter, counts_[cell(slot).portIndex].text());
        return;
    }
    StationCounts all;
    for (const auto& [port, n] : counts_) all += n;
    SetText(Totals, all.text());
}

void StationWindow::take(const StationReport& r) {
    if (r.generation != generation_) return;
    switch (r.kind) {
    case StationReport::Kind::Text: showText(r.slot, r.what, r.value); break;
    case StationReport::Kind::Bar: showBar(r.slot, r.position, r.maximum, r.state); break;
    case StationReport::Kind::RunEnded: showVerdict(r.slot, r.run); break;
    case StationReport::Kind::WaitingForNext: showWaiting(r.slot); break;
    case StationReport::Kind::PortEnded: showEnded(r.slot); break;
    }
}

void StationWindow::showText(int slot, const std::string& what, const std::string& value) {
    StationCell& c = cell(slot);
    switch (CellLineOf(what)) {
    case CellLine::Status: SetText(c.status, value); break;
    case CellLine::Chip: SetText(c.chip, value); break;
    case CellLine::Detail: SetText(c.detail, value); break;
    case CellLine::None: break;
    }
}

void StationWindow::showBar(int slot, int position, int maximum, BarState state) {
    ShowBar(*cell(slot).bar, position, maximum, state);
}

void StationWindow::showVerdict(int slot, const PortReport& report) {
    StationCell& c = cell(slot);
    ShowVerdict(*c.verdict, report);
    counts_[c.portIndex].count(report);
    showCounts(slot);
    showCounts(-1);
}

void StationWindow::showWaiting(int slot) { SetText(cell(slot).status, WaitingForNextText); }

void StationWindow::showEnded(int slot) {
    cell(slot).running = false;
    showButtons();
    // Leave this report's handler first; the close then comes from the message loop.
    if (closePending_ && !anyRunning()) ::PostMessageW(hwnd(), WM_CLOSE, 0, 0);
}

void StationWindow::close() {
    if (anyRunning()) {
        closePending_ = true;
        if (station_) station_->stop();
        showButtons();
        return;
    }
    if (closedForGood_) return;
    closedForGood_ = true;
    closePending_ = false;
    // Every worker has ended: this wait returns at once.
    if (station_) station_->wait();
    ::ShowWindow(hwnd(), SW_HIDE);
    if (onClosed) onClosed();
}

void StationWindow::command(int id, int code) {
    if (id == PortListId && code == LBN_SELCHANGE) rebuild();
    if (code != BN_CLICKED) return;
    if (id == RepeatId) {
        settings_.repeat = ::SendMessageW(Repeat, BM_GETCHECK, 0, 0) == BST_CHECKED;
        rebuild();
    } else if (id == StartAllId) {
        for (int slot = 0; slot < cellCount(); ++slot)
            if (!cell(slot).running) startPort(slot);
    } else if (id == StopAllId) {
        for (int slot = 0; slot < cellCount(); ++slot) stopPort(slot);
    } else if (id >= FirstCellId && id < FirstCellId + 2 * cellCount()) {
        const int slot = (id - FirstCellId) / 2;
        if ((id - FirstCellId) % 2 == 0) startPort(slot);
        else stopPort(slot);
    }
}

LRESULT StationWindow::handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case StationReportMessage: {
        const std::unique_ptr<StationReport> report(reinterpret_cast<StationReport*>(l));
        take(*report);
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(w) == IDOK && HIWORD(w) == BN_CLICKED) PressFocusedButton(hwnd());
        else command(LOWORD(w), HIWORD(w));
        return 0;
    case WM_CLOSE: close(); return 0;
    case WM_SETFOCUS:
        // The window itself takes no keys: its first control does.
        FocusFirstControl(hwnd());
        return 0;
    default: return Window::handle(message, w, l);
    }
}

}  // namespace torvane::win32ui
