#pragma once
// The port dialog (TForm3) and the version list (TForm4). Both are modeless:
// they may be used while an update run goes on, and closing one only hides it.

#include <string>
#include <string_view>

#include "images/ImageTable.h"
#include "ui/FrontEndContext.h"
#include "ui/PortChoice.h"
#include "win32ui/Win32Window.h"

namespace torvane {
class PortEnumerator;
}

namespace torvane::win32ui {

// The ports present by their friendly names, with a hidden list of their
// port names from which the chosen port index is read. OK switches
// CurrentPort and opens the new port at once; Cancel undoes the selection.
class TForm3 : public Window {
public:
    enum Id { ComboBox1Id = 10, ComboBox2Id, Button1Id, Button2Id };
    // `ports` lists the ports present (it outlives the dialog).
    TForm3(FrontEndContext& ctx, PortEnumerator& ports);

    // Shows the dialog with the lists filled afresh and the current port chosen.
    void show();
    // The same as a small tool window over `over` (the compact window's way).
    void showAsTool(HWND over);
    void FillPortLists();

    HWND Label1;
    HWND ComboBox1;  // friendly names, the list the user sees
    HWND ComboBox2;  // port names, never visible
    HWND Button1;    // "&Ok"
    HWND Button2;    // "&Cancel"

    void Button1Click();
    void Button2Click();

protected:
    LRESULT handle(UINT message, WPARAM w, LPARAM l) override;

private:
    void FormShow();
    FrontEndContext& ctx_;
    PortEnumerator& ports_;
    PortLists lists_;
};

// The images this program carries, one line each, in a monospaced font, and
// where the guide is.
class TForm4 : public Window {
public:
    enum Id { Button1Id = 10, ListBox1Id, GuideLabelId };
    explicit TForm4(const ImageCatalog& images);

    // Shows the list afresh under `caption`.
    void show(std::string_view caption);

    HWND Button1;  // "&Ok"
    HWND ListBox1;
    HWND GuideLabel;

protected:
    LRESULT handle(UINT message, WPARAM w, LPARAM l) override;

private:
    void FormShow();
    const ImageCatalog& images_;
};

// Where the guide is on this machine: in the docs folder beside the program.
std::string GuideLocation();

}  // namespace torvane::win32ui
