#include "win32ui/Win32Window.h"

#include <exception>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>

#include "ui/EndTexts.h"
#include "win32ui/MessageBoxes.h"
#include "win32ui/Win32Controls.h"
#include "win32ui/Win32Text.h"

namespace torvane::win32ui {

namespace {

constexpr int DesignDpi = 96;
constexpr Colour ThemeColourFlag = 0xFF000000;
constexpr Colour ThemeIndexMask = 0x000000FF;
constexpr wchar_t WindowClass[] = L"TorvaneWindow";

int ScreenDpi() {
    static const int dpi = [] {
        HDC screen = ::GetDC(nullptr);
        const int d = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : DesignDpi;
        if (screen != nullptr) ::ReleaseDC(nullptr, screen);
        return d > 0 ? d : DesignDpi;
    }();
    return dpi;
}

std::wstring FaceOf(std::string_view family) {
    if (family == layout::SerifFont) return L"Times New Roman";
    if (family == layout::MonoFont) return L"Courier New";
    if (family == layout::TahomaFont) return L"Tahoma";
    return L"Microsoft Sans Serif";  // "MS Sans Serif" and anything unknown
}

}  // namespace

int Scaled(int designPixels) { return ::MulDiv(designPixels, ScreenDpi(), DesignDpi); }

RECT ScaledRect(layout::Rect r) {
    return {Scaled(r.x), Scaled(r.y), Scaled(r.x) + Scaled(r.width), Scaled(r.y) + Scaled(r.height)};
}

COLORREF ToColorRef(Colour colour) {
    if ((colour & ThemeColourFlag) == ThemeColourFlag) return ::GetSysColor(static_cast<int>(colour & ThemeIndexMask));
    return static_cast<COLORREF>(colour & 0x00FFFFFF);
}

HFONT FontFor(std::string_view family, int height, FontStyle style) {
    static std::map<std::tuple<std::wstring, int, bool, bool>, HFONT> fonts;
    const auto key = std::make_tuple(FaceOf(family), height, style.bold, style.italic);
    if (const auto found = fonts.find(key); found != fonts.end()) return found->second;
    HFONT font = ::CreateFontW(Scaled(height), 0, 0, 0, style.bold ? FW_BOLD : FW_NORMAL, style.italic ? TRUE : FALSE,
                               FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               CLEARTYPE_QUALITY, DEFAULT_PITCH, std::get<0>(key).c_str());
    if (font == nullptr) font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    fonts.emplace(key, font);
    return font;
}

HWND MakeChild(HWND parent, const wchar_t* windowClass, DWORD style, layout::Rect where, int id, HFONT font,
               DWORD exStyle) {
    const RECT r = ScaledRect(where);
    HWND child = ::CreateWindowExW(exStyle, windowClass, L"", WS_CHILD | WS_CLIPSIBLINGS | style, r.left, r.top,
                                   r.right - r.left, r.bottom - r.top, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                   nullptr);
    if (child != nullptr && font != nullptr) ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

void RegisterWindowClasses() {
    static const bool registered = [] {
        WNDCLASSEXW window{};
        window.cbSize = sizeof window;
        window.lpfnWndProc = Window::Procedure;
        window.hInstance = ::GetModuleHandleW(nullptr);
        window.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        window.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
        window.hIcon = ::LoadIconW(window.hInstance, MAKEINTRESOURCEW(1));
        window.lpszClassName = WindowClass;
        ::RegisterClassExW(&window);
        RegisterPanelClass();
        return true;
    }();
    (void)registered;
}

Window::~Window() {
    if (hwnd_ != nullptr) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

void Window::setCaption(std::string_view caption) { ::SetWindowTextW(hwnd_, WideOf(caption).c_str()); }

std::string Window::caption() const {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd_, text.data(), static_cast<int>(text.size()))));
    return Utf8Of(text);
}

void Window::create(DWORD style, DWORD exStyle, layout::Size client, layout::Point position, HMENU menu,
                    HWND owner) {
    RegisterWindowClasses();
    RECT frame{0, 0, Scaled(client.width), Scaled(client.height)};
    ::AdjustWindowRectEx(&frame, style, menu != nullptr, exStyle);
    hwnd_ = ::CreateWindowExW(exStyle | WS_EX_CONTROLPARENT, WindowClass, L"", style, Scaled(position.x),
                              Scaled(position.y), frame.right - frame.left, frame.bottom - frame.top, owner, menu,
                              ::GetModuleHandleW(nullptr), this);
    if (hwnd_ == nullptr) throw std::runtime_error("cannot create a window (error " + std::to_string(::GetLastError()) + ")");
    if (menu != nullptr) {
        // A menu bar that wraps grows the frame: fit the client area again.
        RECT now{};
        ::GetClientRect(hwnd_, &now);
        const int missing = Scaled(client.height) - (now.bottom - now.top);
        if (missing != 0) {
            RECT outer{};
            ::GetWindowRect(hwnd_, &outer);
            ::SetWindowPos(hwnd_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top + missing,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
}

LRESULT Window::handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(l);
        if (OwnerDrawn* drawn = OwnerDrawn::Of(item->hwndItem)) {
            drawn->draw(*item);
            return TRUE;
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORDLG: {
        HDC dc = reinterpret_cast<HDC>(w);
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    default: break;
    }
    return ::DefWindowProcW(hwnd_, message, w, l);
}

LRESULT CALLBACK Window::Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcW(hwnd, message, w, l);
    // An error must not unwind through Windows' own frames: it is shown
    // here, and the program goes on, as after any failed action.
    try {
        return self->handle(message, w, l);
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
    } catch (...) {
        ShowErrorBox(UnexpectedErrorText);
    }
    return 0;
}

void FocusFirstControl(HWND window) {
    if (HWND first = ::GetNextDlgTabItem(window, nullptr, FALSE)) ::SetFocus(first);
}

void PressFocusedButton(HWND window) {
    HWND focus = ::GetFocus();
    wchar_t kind[16] = {};
    if (focus != nullptr && ::IsChild(window, focus) && ::GetClassNameW(focus, kind, 16) > 0 &&
        ::lstrcmpiW(kind, L"Button") == 0)
        ::SendMessageW(focus, BM_CLICK, 0, 0);
}

void KeepOnScreen(HWND window) {
    RECT frame{};
    ::GetWindowRect(window, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromRect(&frame, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT area = monitor.rcWork;
    const auto placed = [](LONG start, LONG length, LONG low, LONG room) {
        if (length >= room || start < low) return low;
        return start + length > low + room ? low + room - length : start;
    };
    const LONG x = placed(frame.left, frame.right - frame.left, area.left, area.right - area.left);
    const LONG y = placed(frame.top, frame.bottom - frame.top, area.top, area.bottom - area.top);
    if (x != frame.left || y != frame.top)
        ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace torvane::win32ui
