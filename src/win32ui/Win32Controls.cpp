#include "win32ui/Win32Controls.h"

#include <commctrl.h>

#include <algorithm>

#include "win32ui/Win32Text.h"
#include "win32ui/Win32Window.h"

namespace torvane::win32ui {

namespace {

constexpr wchar_t DrawnProperty[] = L"Torvane.OwnerDrawn";
constexpr wchar_t PanelClass[] = L"TorvanePanel";

void Redraw(HWND control) { ::InvalidateRect(control, nullptr, TRUE); }

void PaintNow(HWND control) {
    ::RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Show(HWND control, bool visible) { ::ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE); }

UINT DrawTextFormat(Alignment a) {
    switch (a) {
    case Alignment::Right: return DT_RIGHT;
    case Alignment::Centre: return DT_CENTER;
    case Alignment::Left: break;
    }
    return DT_LEFT;
}

}  // namespace

// --- owner-drawn controls ------------------------------------------------------

OwnerDrawn::~OwnerDrawn() {
    if (control_ != nullptr && ::IsWindow(control_)) ::RemovePropW(control_, DrawnProperty);
}

OwnerDrawn* OwnerDrawn::Of(HWND control) { return static_cast<OwnerDrawn*>(::GetPropW(control, DrawnProperty)); }

void OwnerDrawn::attach(HWND control) {
    control_ = control;
    if (control != nullptr) ::SetPropW(control, DrawnProperty, this);
}

std::string TextOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return Utf8Of(text);
}

// --- labels --------------------------------------------------------------------

Win32Label::Win32Label(HWND parent, int id, layout::Rect where, std::string_view fontFamily, bool notify)
    : family_(fontFamily),
      hwnd_(MakeChild(parent, L"STATIC", WS_VISIBLE | SS_OWNERDRAW | (notify ? SS_NOTIFY : 0), where, id, nullptr)) {
    attach(hwnd_);
}

void Win32Label::setVisible(bool v) {
    Label::setVisible(v);
    Show(hwnd_, v);
}
void Win32Label::setEnabled(bool e) {
    Label::setEnabled(e);
    ::EnableWindow(hwnd_, e);
    redraw();
}
void Win32Label::setFocus() {
    Label::setFocus();
    ::SetFocus(hwnd_);
}
void Win32Label::repaint() {
    Label::repaint();
    PaintNow(hwnd_);
}
void Win32Label::setCaption(const std::string& c) {
    Label::setCaption(c);
    ::SetWindowTextW(hwnd_, WideOf(c).c_str());
    redraw();
}
void Win32Label::setFontColour(Colour c) {
    Label::setFontColour(c);
    redraw();
}
void Win32Label::setBackground(Colour c) {
    Label::setBackground(c);
    redraw();
}
void Win32Label::setFontStyle(FontStyle s) {
    Label::setFontStyle(s);
    redraw();
}
void Win32Label::setFontHeight(int h) {
    Label::setFontHeight(h);
    redraw();
}
void Win32Label::setAlignment(Alignment a) {
    Label::setAlignment(a);
    redraw();
}
void Win32Label::setOpaque(bool o) {
    Label::setOpaque(o);
    redraw();
}
void Win32Label::redraw() { Redraw(hwnd_); }

void Win32Label::draw(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    // A transparent label shows what lies behind it: the window's own face.
    const COLORREF back = opaque() ? ToColorRef(background()) : ::GetSysColor(COLOR_BTNFACE);
    HBRUSH brush = ::CreateSolidBrush(back);
    ::FillRect(dc, &r, brush);
    ::DeleteObject(brush);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, enabled() ? ToColorRef(fontColour()) : ::GetSysColor(COLOR_GRAYTEXT));
    HGDIOBJ old = ::SelectObject(dc, FontFor(family_, fontHeight(), fontStyle()));
    const std::wstring text = WideOf(caption());
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                DrawTextFormat(alignment()) | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    ::SelectObject(dc, old);
}

// --- bevels and pictures -------------------------------------------------------

Win32Bevel::Win32Bevel(HWND parent, layout::Rect where) {
    HWND bevel = MakeChild(parent, L"STATIC", WS_VISIBLE | SS_OWNERDRAW, where, 0, nullptr);
    // Below everything it frames: the controls inside it paint over it.
    ::SetWindowPos(bevel, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    attach(bevel);
}

void Win32Bevel::draw(const DRAWITEMSTRUCT& item) {
    RECT r = item.rcItem;
    ::FillRect(item.hDC, &r, ::GetSysColorBrush(COLOR_BTNFACE));
    ::DrawEdge(item.hDC, &r, BDR_SUNKENOUTER, BF_RECT);
}

Win32Picture::Win32Picture(HWND parent, layout::Rect where, int bitmapResource, bool fill)
    : hwnd_(MakeChild(parent, L"STATIC", WS_VISIBLE | SS_OWNERDRAW, where, 0, nullptr)),
      bitmap_(static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapResource),
                                                IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION))),
      fill_(fill) {
    attach(hwnd_);
}

Win32Picture::~Win32Picture() {
    if (bitmap_ != nullptr) ::DeleteObject(bitmap_);
}

void Win32Picture::setVisible(bool v) { Show(hwnd_, v); }

void Win32Picture::draw(const DRAWITEMSTRUCT& item) {
    RECT r = item.rcItem;
    ::FillRect(item.hDC, &r, ::GetSysColorBrush(COLOR_BTNFACE));
    BITMAP info{};
    if (bitmap_ == nullptr || ::GetObjectW(bitmap_, sizeof info, &info) == 0 || info.bmWidth <= 0 || info.bmHeight <= 0)
        return;
    const int roomW = r.right - r.left;
    const int roomH = r.bottom - r.top;
    int w = roomW;
    int h = roomH;
    if (!fill_) {  // as large as fits, in proportion, centred
        if (static_cast<long long>(roomW) * info.bmHeight > static_cast<long long>(roomH) * info.bmWidth)
            w = ::MulDiv(roomH, info.bmWidth, info.bmHeight);
        else
            h = ::MulDiv(roomW, info.bmHeight, info.bmWidth);
    }
    HDC source = ::CreateCompatibleDC(item.hDC);
    HGDIOBJ old = ::SelectObject(source, bitmap_);
    ::SetStretchBltMode(item.hDC, HALFTONE);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};  // the picture is premultiplied
    ::AlphaBlend(item.hDC, r.left + (roomW - w) / 2, r.top + (roomH - h) / 2, w, h, source, 0, 0, info.bmWidth,
                 info.bmHeight, blend);
    ::SelectObject(source, old);
    ::DeleteDC(source);
}

// --- buttons -------------------------------------------------------------------

Win32Button::Win32Button(HWND parent, int id, layout::Rect where, HFONT font)
    : hwnd_(MakeChild(parent, L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, where, id, font)) {}

void Win32Button::setVisible(bool v) {
    Button::setVisible(v);
    Show(hwnd_, v);
}
void Win32Button::setEnabled(bool e) {
    Button::setEnabled(e);
    ::EnableWindow(hwnd_, e);
}
void Win32Button::setFocus() {
    Button::setFocus();
    ::SetFocus(hwnd_);
}
void Win32Button::repaint() {
    Button::repaint();
    PaintNow(hwnd_);
}
void Win32Button::setCaption(const std::string& c) {
    Button::setCaption(c);
    ::SetWindowTextW(hwnd_, WideOf(c).c_str());
}

// --- panels --------------------------------------------------------------------

void RegisterPanelClass() {
    WNDCLASSEXW panel{};
    panel.cbSize = sizeof panel;
    panel.lpfnWndProc = Win32Panel::Procedure;
    panel.hInstance = ::GetModuleHandleW(nullptr);
    panel.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    panel.lpszClassName = PanelClass;
    ::RegisterClassExW(&panel);
}

Win32Panel::Win32Panel(HWND parent, int id, layout::Rect where)
    : hwnd_(MakeChild(parent, PanelClass, WS_VISIBLE | WS_CLIPCHILDREN, where, id, nullptr, WS_EX_CONTROLPARENT)) {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

LRESULT CALLBACK Win32Panel::Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<Win32Panel*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_ERASEBKGND: return TRUE;  // painted whole in WM_PAINT
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(hwnd, &paint);
        RECT r{};
        ::GetClientRect(hwnd, &r);
        HBRUSH brush = ::CreateSolidBrush(ToColorRef(self != nullptr ? self->background() : ClBtnFace));
        ::FillRect(dc, &r, brush);
        ::DeleteObject(brush);
        ::DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT);
        ::EndPaint(hwnd, &paint);
        return 0;
    }
    // What the controls on the panel tell their parent goes to the window.
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: return ::SendMessageW(::GetParent(hwnd), message, w, l);
    default: return ::DefWindowProcW(hwnd, message, w, l);
    }
}

void Win32Panel::setVisible(bool v) {
    Panel::setVisible(v);
    Show(hwnd_, v);
}
void Win32Panel::setEnabled(bool e) {
    Panel::setEnabled(e);
    ::EnableWindow(hwnd_, e);
}
void Win32Panel::repaint() {
    Panel::repaint();
    PaintNow(hwnd_);
}
void Win32Panel::setBackground(Colour c) {
    Panel::setBackground(c);
    Redraw(hwnd_);
}

// --- progress bars -------------------------------------------------------------

Win32ProgressBar::Win32ProgressBar(HWND parent, int id, layout::Rect where)
    : hwnd_(MakeChild(parent, PROGRESS_CLASSW, WS_VISIBLE, where, id, nullptr)) {
    applyRange();
}

void Win32ProgressBar::setWidth(int designWidth) {
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    ::SetWindowPos(hwnd_, nullptr, 0, 0, Scaled(designWidth), r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32ProgressBar::setVisible(bool v) {
    ProgressBar::setVisible(v);
    Show(hwnd_, v);
}
void Win32ProgressBar::setEnabled(bool e) {
    ProgressBar::setEnabled(e);
    ::EnableWindow(hwnd_, e);
}
void Win32ProgressBar::repaint() {
    ProgressBar::repaint();
    PaintNow(hwnd_);
}
void Win32ProgressBar::setPosition(int p) {
    ProgressBar::setPosition(p);
    ::SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(p), 0);
}
void Win32ProgressBar::setMinimum(int m) {
    ProgressBar::setMinimum(m);
    applyRange();
}
void Win32ProgressBar::setMaximum(int m) {
    ProgressBar::setMaximum(m);
    applyRange();
}
void Win32ProgressBar::setSmooth(bool s) {
    ProgressBar::setSmooth(s);
    LONG_PTR style = ::GetWindowLongPtrW(hwnd_, GWL_STYLE);
    style = s ? (style | PBS_SMOOTH) : (style & ~static_cast<LONG_PTR>(PBS_SMOOTH));
    ::SetWindowLongPtrW(hwnd_, GWL_STYLE, style);
    Redraw(hwnd_);
}
void Win32ProgressBar::setState(BarState s) {
    ProgressBar::setState(s);
    const WPARAM state = s == BarState::Error ? PBST_ERROR : s == BarState::Paused ? PBST_PAUSED : PBST_NORMAL;
    ::SendMessageW(hwnd_, PBM_SETSTATE, state, 0);
}
void Win32ProgressBar::applyRange() {
    // A range the bar cannot show (maximum below minimum) is shown empty.
    ::SendMessageW(hwnd_, PBM_SETRANGE32, static_cast<WPARAM>(minimum()),
                   static_cast<LPARAM>(std::max(minimum(), maximum())));
    ::SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position()), 0);
}

// --- status bars ---------------------------------------------------------------

Win32StatusBar::Win32StatusBar(HWND parent, int id, layout::Rect where, std::span<const int> widths, HFONT font)
    : StatusBar(static_cast<int>(widths.size())),
      hwnd_(MakeChild(parent, STATUSCLASSNAMEW, WS_VISIBLE | CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER, where,
                      id, font)) {
    std::vector<int> edges;
    int edge = 0;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        edge += Scaled(widths[i]);
        edges.push_back(i + 1 == widths.size() ? -1 : edge);
    }
    ::SendMessageW(hwnd_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

std::string Win32StatusBar::shownText(int index) const {
    const LRESULT length = ::SendMessageW(hwnd_, SB_GETTEXTLENGTHW, static_cast<WPARAM>(index), 0);
    std::wstring text(static_cast<std::size_t>(LOWORD(length)) + 1, L'\0');
    ::SendMessageW(hwnd_, SB_GETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(LOWORD(length));
    return Utf8Of(text);
}

void Win32StatusBar::setVisible(bool v) {
    StatusBar::setVisible(v);
    Show(hwnd_, v);
}
void Win32StatusBar::setEnabled(bool e) {
    StatusBar::setEnabled(e);
    ::EnableWindow(hwnd_, e);
}
void Win32StatusBar::repaint() {
    StatusBar::repaint();
    PaintNow(hwnd_);
}
void Win32StatusBar::setPanelText(int index, const std::string& text) {
    StatusBar::setPanelText(index, text);
    if (index < 0 || index >= panelCount()) return;
    ::SendMessageW(hwnd_, SB_SETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(WideOf(text).c_str()));
}

}  // namespace torvane::win32ui
