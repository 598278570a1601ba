#pragma once
// The three front-end windows: the full updater window (TForm1), the
// START/STOP window (TForm5) and the compact window (TForm6). Each lays out
// its controls, hands them to the front-end object in the context, and
// passes its clicks on; the front-end object does the rest.

#include <string>

#include "ui/GuiOptions.h"
#include "win32ui/FrontEndWindow.h"
#include "win32ui/Win32Controls.h"

namespace torvane::win32ui {

// Resource numbers of the logos.
inline constexpr int MainLogoBitmap = 101;
inline constexpr int LoaderLogoBitmap = 102;

// The full updater window: the product identity in large letters, result,
// identity and release lines, a progress bar, a four-panel status bar, an
// Update button that turns into Stop during a run, and "&Change port". It
// exists in every build; when another front end drives the update it stays
// hidden and unconfigured, a silent target for the writes some update steps
// make to it whatever the front end.
class TForm1 : public FrontEndWindow {
public:
    enum Id { Label1Id = 10, Button1Id, Button2Id };
    // Throws what reading the setting or starting the UDP service throws.
    TForm1(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options, bool drivesUpdate);

    Win32Label Label1;  // product identity; double-click lists the images
    Win32Label Label3;  // identity line
    Win32Label Label4;  // release line
    Win32Label Label2;  // result and progress line
    Win32Picture Image2;
    Win32Button Button1;  // "&Update"
    Win32Button Button2;  // "&Stop"
    Win32ProgressBar ProgressBar1;
    Win32StatusBar StatusBar1;
    Win32Bevel Bevel1;
    Win32Bevel Bevel2;

    void Button1Click();
    void Button2Click();
    void S1Click();
    void Label1DblClick();

protected:
    void FormClose() override;
    void command(int id, int code) override;

private:
    GuiOptions options_;
};

// The START/STOP window; in sequence mode a second bar counts the images.
class TForm5 : public FrontEndWindow {
public:
    enum Id { Panel1Id = 10, Button1Id, Button2Id };
    TForm5(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options);

    Win32Panel Panel1;  // background is the highlight
    Win32Button Button1;  // "START"
    Win32Button Button2;  // "STOP"
    Win32ProgressBar ProgressBar1;
    Win32ProgressBar ProgressBar2;
    Win32StatusBar StatusBar1;

    void Button1Click();
    void Button2Click();
    void SerialPort1Click();

protected:
    void FormClose() override;
    void command(int id, int code) override;
};

// The compact window: "Update FW" and "Abort", the identity, hardware and
// boot-loader values, a message line and a smooth bar. Why a port cannot be
// used shows in the bar's place, as text the user can copy.
class TForm6 : public FrontEndWindow {
public:
    enum Id { Button1Id = 10, Button2Id, PortReasonId };
    TForm6(FrontEndContext& ctx, GuiServices& services, const GuiOptions& options);

    Win32Button Button1;  // "Update FW"
    Win32Button Button2;  // "Abort"
    Win32Label Label2, Label3, Label4;  // "FW :", "HW :", "BS :"
    Win32Label Label5;  // product identity
    Win32Label Label6;  // hardware value
    Win32Label Label7;  // boot-loader value
    Win32Picture Image1;
    Win32Label Label1;  // message line
    Win32ProgressBar ProgressBar1;
    Win32StatusBar StatusBar1;  // never shown
    Win32Bevel Bevel1;
    HWND PortReason;

    void Button1Click();
    void Button2Click();
    void ChangePort1Click();
    // The message line back in its waiting state, the values and any port reason gone.
    void ResetLoaderDisplay();

protected:
    void FormClose() override;
    void command(int id, int code) override;

private:
    void showPortReason(std::string_view reason);
};

}  // namespace torvane::win32ui
