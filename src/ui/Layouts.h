#pragma once
// Where the controls of the windows sit, in pixels at the design resolution
// of 96 dots an inch, and the captions they are built with. Every window
// system lays its windows out from here, so a window looks the same whoever
// draws it; only the drawing differs.

#include <array>
#include <string_view>

#include "ui/Controls.h"

namespace torvane::layout {

struct Point {
    int x = 0;
    int y = 0;
};
struct Size {
    int width = 0;
    int height = 0;
};
struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The design-time font families; each window system maps them to its own.
inline constexpr std::string_view SansFont = "MS Sans Serif";
inline constexpr std::string_view TahomaFont = "Tahoma";
inline constexpr std::string_view SerifFont = "Times";
inline constexpr std::string_view MonoFont = "Courier";
inline constexpr int DialogFontHeight = -11;  // every window's own font

inline constexpr FontStyle Plain{};
inline constexpr FontStyle Bold{.bold = true, .italic = false};

// The full updater window (MainWindow).
struct Form1 {
    static constexpr Size ClientArea{511, 265};
    static constexpr Point ScreenPosition{137, 200};
    static constexpr Rect Bevel1{8, 48, 497, 50};
    static constexpr Rect Label1{10, 51, 493, 45};  // product identity, in the serif font
    static constexpr Rect Bevel2{8, 110, 497, 108};
    static constexpr Rect Label3{13, 119, 484, 29};  // identity line
    static constexpr Rect Label4{13, 156, 484, 20};  // release line
    static constexpr Rect Label2{13, 182, 484, 29};  // result and progress line
    static constexpr Rect Image2{368, 8, 135, 25};   // logo
    static constexpr Rect Button1{8, 8, 75, 25};
    static constexpr Rect Button2{8, 8, 75, 25};     // in the same place: one of the two shows
    static constexpr Rect ProgressBar1{8, 224, 497, 16};
    static constexpr Rect StatusBar1{0, 246, 511, 19};
    static constexpr std::array<int, 4> StatusWidths{50, 130, 100, 50};
    static constexpr int Label1Height = -40;
    static constexpr int Label3Height = -24;
    static constexpr int Label4Height = -16;
    static constexpr int Label2Height = -24;
    static constexpr std::string_view Button1Caption = "&Update";
    static constexpr std::string_view Button2Caption = "&Stop";
    static constexpr std::string_view MenuCaption = "&Change port";
    // The version list's caption: the identity and this stamp.
    static constexpr std::string_view StampOpen = "   [ ";
    static constexpr std::string_view StampSeparator = " - ";
    static constexpr std::string_view StampClose = " ]";
};

// The compact window (LoaderWindow). Its own font is Tahoma.
struct Form6 {
    static constexpr Size ClientArea{635, 255};
    static constexpr Point ScreenPosition{183, 150};
    static constexpr Rect Button1{8, 8, 161, 33};
    static constexpr Rect Button2{8, 47, 161, 33};
    static constexpr Rect Bevel1{187, 13, 440, 120};
    static constexpr Rect Label2{192, 25, 97, 32};  // "FW :"
    static constexpr Rect Label3{192, 55, 97, 32};  // "HW :"
    static constexpr Rect Label4{192, 85, 97, 32};  // "BS :"
    static constexpr Rect Label5{287, 25, 330, 32};  // product identity
    static constexpr Rect Label6{287, 55, 330, 32};  // hardware value
    static constexpr Rect Label7{287, 85, 330, 32};  // boot-loader value
    static constexpr Rect Image1{18, 93, 137, 45};   // logo
    static constexpr Rect Label1{8, 165, 617, 32};   // message line
    static constexpr Rect ProgressBar1{8, 203, 617, 33};
    static constexpr Rect StatusBar1{0, 242, 635, 13};  // never shown
    static constexpr std::array<int, 5> StatusWidths{50, 220, 100, 140, 20};
    // The progress bar's place and the unused strip below it: room for a
    // reason of three lines, the fix included.
    static constexpr Rect ReasonArea{8, 203, 617, 52};
    static constexpr int CaptionHeight = 32;  // cell heights in pixels
    static constexpr int ValueHeight = 25;
    static constexpr std::string_view Button1Caption = "Update FW";
    static constexpr std::string_view Button2Caption = "Abort";
    static constexpr std::string_view MenuCaption = "&Change Port";
    static constexpr std::string_view Label2Caption = "FW :";
    static constexpr std::string_view Label3Caption = "HW :";
    static constexpr std::string_view Label4Caption = "BS :";
    static constexpr std::string_view EmptyValue = "-";
};

// The START/STOP window (UpgradeWindow). Its buttons sit on Panel1.
struct Form5 {
    static constexpr Size ClientArea{630, 181};
    static constexpr Point ScreenPosition{274, 100};
    static constexpr Rect Panel1{8, 8, 614, 113};
    static constexpr Rect Button1{175, 25, 249, 65};  // in Panel1
    static constexpr Rect Button2{175, 25, 249, 65};  // in Panel1
    static constexpr Rect ProgressBar1{5, 128, 617, 17};
    static constexpr Rect ProgressBar2{464, 128, 158, 17};
    static constexpr Rect StatusBar1{0, 152, 630, 29};
    static constexpr std::array<int, 5> StatusWidths{50, 220, 100, 140, 20};
    static constexpr int ButtonFontHeight = -33;
    static constexpr int BarGap = 5;  // between the two bars in sequence mode
    static constexpr std::string_view Button1Caption = "START";
    static constexpr std::string_view Button2Caption = "STOP";
    static constexpr std::string_view MenuCaption = "Serial Port";
};

// The port dialog.
struct Form3 {
    static constexpr Size ClientArea{456, 94};
    static constexpr Point ScreenPosition{136, 107};
    static constexpr Rect Label1{9, 19, 25, 13};
    static constexpr Rect ComboBox1{41, 16, 408, 21};  // friendly names
    static constexpr Rect ComboBox2{0, 56, 41, 21};    // port names, never visible
    static constexpr Rect Button1{293, 56, 75, 25};
    static constexpr Rect Button2{373, 56, 75, 25};
    static constexpr std::string_view Caption = "Setup";
    static constexpr std::string_view Label1Caption = "Port :";
    static constexpr std::string_view Button1Caption = "&Ok";
    static constexpr std::string_view Button2Caption = "&Cancel";
};

// The version list.
struct Form4 {
    static constexpr Size ClientArea{396, 234};
    static constexpr Point ScreenPosition{158, 103};
    static constexpr Rect Button1{303, 204, 75, 26};
    static constexpr Rect ListBox1{8, 10, 373, 184};  // in the monospaced font
    static constexpr Rect GuideLabel{8, 200, 290, 30};
    static constexpr int ItemHeight = 13;
    static constexpr std::string_view Caption = "Version ..";
    static constexpr std::string_view Button1Caption = "&Ok";
};

}  // namespace torvane::layout
