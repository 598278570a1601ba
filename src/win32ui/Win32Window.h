#pragma once
// The Win32 side of every window: a window object that receives its own
// messages, child controls placed from the layouts in design pixels and
// scaled to the screen's resolution, the design-time fonts, and the
// window-system colours of ui/Controls.h as Windows colours.

#include <windows.h>

#include <string_view>

#include "ui/Controls.h"
#include "ui/Layouts.h"

namespace torvane::win32ui {

// A design pixel (96 dots an inch) on this screen.
int Scaled(int designPixels);
RECT ScaledRect(layout::Rect r);

// A window-system colour: 0x00BBGGRR as it is, 0xFF0000nn the theme's colour nn.
COLORREF ToColorRef(Colour colour);

// The design-time fonts on Windows: "MS Sans Serif" becomes Microsoft Sans
// Serif, "Times" Times New Roman, "Courier" Courier New. A negative height is
// the character height, a positive one the cell height, in design pixels.
// Fonts live as long as the program.
HFONT FontFor(std::string_view family, int height, FontStyle style = {});

// A child control of `parent` at `where` (design pixels), given `font`.
HWND MakeChild(HWND parent, const wchar_t* windowClass, DWORD style, layout::Rect where, int id,
               HFONT font, DWORD exStyle = 0);

// Registers the program's window classes once (the top-level windows and
// the panel); safe to call again.
void RegisterWindowClasses();

// A top-level window whose messages go to the object. Destroying the object
// destroys the window.
class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND hwnd() const { return hwnd_; }
    void setCaption(std::string_view caption);
    std::string caption() const;

    // The window procedure of every window of ours.
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l);

protected:
    // Creates the window with a client area of `client` design pixels at
    // `position` on the screen, with `menu` (may be null). `style` gives the
    // border and the buttons of the caption.
    void create(DWORD style, DWORD exStyle, layout::Size client, layout::Point position, HMENU menu,
                HWND owner = nullptr);
    // Every message of the window. The default draws owner-drawn controls,
    // colours static controls and leaves the rest to Windows.
    virtual LRESULT handle(UINT message, WPARAM w, LPARAM l);

private:
    HWND hwnd_ = nullptr;
};

// Gives the keyboard to the first control of `window` that takes it.
void FocusFirstControl(HWND window);

// Enter in a window that is no dialog (the IDOK command): presses the button
// of `window` that has the keyboard, as a dialog does.
void PressFocusedButton(HWND window);

// Moves a top-level window onto the work area of the monitor it is on (a
// small or scaled screen may cut off a design position).
void KeepOnScreen(HWND window);

}  // namespace torvane::win32ui
