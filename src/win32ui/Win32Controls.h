#pragma once
// The control models of ui/Controls.h bound to Win32 controls. Each binding
// keeps the model's record (the base class) and mirrors every property onto
// its control, so the front ends and the update run drive the windows
// without knowing Windows. Labels, bevels and logos are drawn by the program
// (owner-drawn statics), so colours, fonts and alignment follow the model
// exactly; buttons, progress bars and status bars are the system's own.

#include <windows.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Controls.h"
#include "ui/Layouts.h"

namespace torvane::win32ui {

// A control the program draws when its parent receives WM_DRAWITEM.
class OwnerDrawn {
public:
    virtual ~OwnerDrawn();
    virtual void draw(const DRAWITEMSTRUCT& item) = 0;
    // The owner-drawn control behind a window; null when it is none of ours.
    static OwnerDrawn* Of(HWND control);

protected:
    void attach(HWND control);

private:
    HWND control_ = nullptr;
};

// Text in a control as UTF-8 (what a test or a screen reader sees).
std::string TextOf(HWND control);

class Win32Label : public Label, public OwnerDrawn {
public:
    // `notify`: the label reports clicks and double-clicks to its parent.
    Win32Label(HWND parent, int id, layout::Rect where, std::string_view fontFamily, bool notify = false);
    HWND hwnd() const { return hwnd_; }

    void setVisible(bool v) override;
    void setEnabled(bool e) override;
    void setFocus() override;
    void repaint() override;
    void setCaption(const std::string& c) override;
    void setFontColour(Colour c) override;
    void setBackground(Colour c) override;
    void setFontStyle(FontStyle s) override;
    void setFontHeight(int h) override;
    void setAlignment(Alignment a) override;
    void setOpaque(bool o) override;
    void draw(const DRAWITEMSTRUCT& item) override;

private:
    void redraw();
    std::string family_;
    HWND hwnd_;
};

// A lowered frame, drawn around other controls.
class Win32Bevel : public OwnerDrawn {
public:
    Win32Bevel(HWND parent, layout::Rect where);
    void draw(const DRAWITEMSTRUCT& item) override;
};

// A picture from the program's resources, scaled into its place keeping its
// proportions (or filling it), drawn with its transparency.
class Win32Picture : public OwnerDrawn {
public:
    Win32Picture(HWND parent, layout::Rect where, int bitmapResource, bool fill);
    ~Win32Picture() override;
    HWND hwnd() const { return hwnd_; }
    void setVisible(bool v);
    void draw(const DRAWITEMSTRUCT& item) override;

private:
    HWND hwnd_;
    HBITMAP bitmap_;
    bool fill_;
};

class Win32Button : public Button {
public:
    Win32Button(HWND parent, int id, layout::Rect where, HFONT font);
    HWND hwnd() const { return hwnd_; }

    void setVisible(bool v) override;
    void setEnabled(bool e) override;
    void setFocus() override;
    void repaint() override;
    void setCaption(const std::string& c) override;

private:
    HWND hwnd_;
};

// Registers the panel's window class (RegisterWindowClasses does it).
void RegisterPanelClass();

// A panel with lowered inner and outer bevels, filled with its background
// colour. Controls may sit on it: it hands their notifications to its parent.
class Win32Panel : public Panel {
public:
    Win32Panel(HWND parent, int id, layout::Rect where);
    HWND hwnd() const { return hwnd_; }

    void setVisible(bool v) override;
    void setEnabled(bool e) override;
    void repaint() override;
    void setBackground(Colour c) override;

    // The panel class's window procedure.
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l);

private:
    HWND hwnd_;
};

// The bar's state shows in its colour: normal green, paused yellow, error red.
class Win32ProgressBar : public ProgressBar {
public:
    Win32ProgressBar(HWND parent, int id, layout::Rect where);
    HWND hwnd() const { return hwnd_; }
    // Changes the bar's width, keeping its place (design pixels).
    void setWidth(int designWidth);

    void setVisible(bool v) override;
    void setEnabled(bool e) override;
    void repaint() override;
    void setPosition(int p) override;
    void setMinimum(int m) override;
    void setMaximum(int m) override;
    void setSmooth(bool s) override;
    void setState(BarState s) override;

private:
    void applyRange();
    HWND hwnd_;
};

// A status bar of panels with fixed widths; the last panel takes what is left.
class Win32StatusBar : public StatusBar {
public:
    Win32StatusBar(HWND parent, int id, layout::Rect where, std::span<const int> widths, HFONT font);
    HWND hwnd() const { return hwnd_; }
    // The text a panel shows.
    std::string shownText(int index) const;

    void setVisible(bool v) override;
    void setEnabled(bool e) override;
    void repaint() override;
    void setPanelText(int index, const std::string& text) override;

private:
    HWND hwnd_;
};

}  // namespace torvane::win32ui
