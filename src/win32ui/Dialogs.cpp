#include "win32ui/Dialogs.h"

#include <vector>

#include "images/VersionListing.h"
#include "win32ui/Win32Text.h"

namespace torvane::win32ui {

namespace {

constexpr DWORD DialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr int ListDropHeight = 200;  // the open list of the combo box, design pixels
constexpr std::string_view GuideIntroduction = "What each verdict means and what to do:\r\n";
constexpr wchar_t GuideFileName[] = L"docs\\guide.md";  // where the setup and the zip put it

HWND Text(HWND parent, const wchar_t* windowClass, DWORD style, layout::Rect where, int id, std::string_view text,
          HFONT font) {
    HWND control = MakeChild(parent, windowClass, WS_VISIBLE | style, where, id, font);
    ::SetWindowTextW(control, WideOf(text).c_str());
    return control;
}

layout::Rect WithDropDown(layout::Rect r) { return {r.x, r.y, r.width, r.height + ListDropHeight}; }

}  // namespace

// --- TForm3 --------------------------------------------------------------------

TForm3::TForm3(FrontEndContext& ctx, PortEnumerator& ports) : ctx_(ctx), ports_(ports) {
    using L = layout::Form3;
    create(DialogStyle, WS_EX_DLGMODALFRAME, L::ClientArea, L::ScreenPosition, nullptr);
    setCaption(L::Caption);
    HFONT font = FontFor(layout::SansFont, layout::DialogFontHeight);
    Label1 = Text(hwnd(), L"STATIC", SS_LEFT, L::Label1, 0, L::Label1Caption, font);
    Button1 = Text(hwnd(), L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, L::Button1, Button1Id, L::Button1Caption, font);
    Button2 = Text(hwnd(), L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, L::Button2, Button2Id, L::Button2Caption, font);
    // Typed text never becomes an entry: the two lists must stay parallel.
    ComboBox1 = MakeChild(hwnd(), L"COMBOBOX", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                          WithDropDown(L::ComboBox1), ComboBox1Id, font);
    ComboBox2 = MakeChild(hwnd(), L"COMBOBOX", CBS_DROPDOWNLIST, WithDropDown(L::ComboBox2), ComboBox2Id, font);
}

void TForm3::FillPortLists() {
    ::SendMessageW(ComboBox1, CB_RESETCONTENT, 0, 0);
    ::SendMessageW(ComboBox2, CB_RESETCONTENT, 0, 0);
    lists_ = PortLists::Discover(ports_);
    for (const auto& name : lists_.friendlyNames)
        ::SendMessageW(ComboBox1, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideOf(name).c_str()));
    for (const auto& name : lists_.portNames)
        ::SendMessageW(ComboBox2, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideOf(name).c_str()));
}

void TForm3::FormShow() {
    FillPortLists();
    ::SendMessageW(ComboBox1, CB_SETCURSEL, static_cast<WPARAM>(lists_.EntryOfPort(ctx_.port.CurrentPort)), 0);
}

void TForm3::show() {
    // A dialog already on the screen is only brought forward: refilling it
    // would undo the user's choice.
    if (!::IsWindowVisible(hwnd())) {
        FormShow();
        KeepOnScreen(hwnd());
    }
    ::ShowWindow(hwnd(), SW_SHOW);
    ::SetForegroundWindow(hwnd());
    ::SetFocus(ComboBox1);
}

void TForm3::showAsTool(HWND over) {
    if (!::IsWindowVisible(hwnd())) {
        ::SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, ::GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) | WS_EX_TOOLWINDOW);
        RECT r{};
        ::GetWindowRect(over, &r);
        ::SetWindowPos(hwnd(), nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
    show();
}

void TForm3::Button1Click() {
    const auto position = static_cast<int>(::SendMessageW(ComboBox1, CB_GETCURSEL, 0, 0));
    ChoosePort(ctx_, lists_, position);
    ::ShowWindow(hwnd(), SW_HIDE);
}

void TForm3::Button2Click() {
    ::SendMessageW(ComboBox1, CB_SETCURSEL, static_cast<WPARAM>(lists_.EntryOfPort(ctx_.port.CurrentPort)), 0);
    ::ShowWindow(hwnd(), SW_HIDE);
}

LRESULT TForm3::handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(w) == BN_CLICKED && LOWORD(w) == Button1Id) Button1Click();
        if (HIWORD(w) == BN_CLICKED && LOWORD(w) == Button2Id) Button2Click();
        return 0;
    case WM_CLOSE: Button2Click(); return 0;
    default: return Window::handle(message, w, l);
    }
}

// --- TForm4 --------------------------------------------------------------------

TForm4::TForm4(const ImageCatalog& images) : images_(images) {
    using L = layout::Form4;
    create(WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, 0, L::ClientArea, L::ScreenPosition, nullptr);
    setCaption(L::Caption);
    HFONT font = FontFor(layout::SansFont, layout::DialogFontHeight);
    Button1 = Text(hwnd(), L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, L::Button1, Button1Id, L::Button1Caption, font);
    ListBox1 = MakeChild(hwnd(), L"LISTBOX", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOINTEGRALHEIGHT,
                         L::ListBox1, ListBox1Id, FontFor(layout::MonoFont, layout::DialogFontHeight));
    ::SendMessageW(ListBox1, LB_SETITEMHEIGHT, 0, Scaled(L::ItemHeight));
    // The guide's place is a path to type or paste: the user can select and copy it.
    GuideLabel = Text(hwnd(), L"EDIT", ES_MULTILINE | ES_READONLY, L::GuideLabel, GuideLabelId,
                      std::string(GuideIntroduction) + GuideLocation(), font);
}

void TForm4::FormShow() {
    ::SendMessageW(ListBox1, LB_RESETCONTENT, 0, 0);
    std::vector<std::string> lines;
    ListImageVersions(images_, lines);
    for (const auto& line : lines)
        ::SendMessageW(ListBox1, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideOf(line).c_str()));
}

void TForm4::show(std::string_view caption) {
    setCaption(caption);
    if (!::IsWindowVisible(hwnd())) {
        FormShow();
        KeepOnScreen(hwnd());
    }
    ::ShowWindow(hwnd(), SW_SHOW);
    ::SetForegroundWindow(hwnd());
}

LRESULT TForm4::handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(w) == BN_CLICKED && LOWORD(w) == Button1Id) ::ShowWindow(hwnd(), SW_HIDE);
        return 0;
    case WM_CLOSE: ::ShowWindow(hwnd(), SW_HIDE); return 0;
    default: return Window::handle(message, w, l);
    }
}

std::string GuideLocation() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = 0;
    while ((n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size())
        path.resize(path.size() * 2);
    path.resize(n);
    const std::size_t slash = path.find_last_of(L"\\/");
    path = (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) + GuideFileName;
    return Utf8Of(path);
}

}  // namespace torvane::win32ui
