// torvane-win32-screenshots: the pictures of the Windows windows for the
// technicians' guide, taken from real runs under Wine against the simulated
// boot loader on COM7. tools/screenshots-windows.sh runs it on a virtual
// desktop and turns the bitmaps into PNG files.
//
// usage: torvane-win32-screenshots.exe <folder> runs|failures|station
//   runs      each window idle, busy and with its verdict of success, the
//             port dialog and the version list (a module that takes the image)
//   failures  each window with a failure (a module the image does not suit)
//             and, where a window says why, with a port that cannot be used
//   station   the station window busy with two modules (COM7 and COM8) and
//             with their verdicts

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "shell/ProductIdentity.h"
#include "shell/SettingsStore.h"
#include "station/StationCommandLine.h"
#include "win32ui/Session.h"
#include "win32ui/StationWindow.h"
#include "win32ui/Win32Text.h"

namespace {

using namespace torvane;
using namespace torvane::win32ui;

constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;
constexpr int ModulePort = 6;  // COM7
constexpr int GonePort = 3;    // COM4: nothing behind it
constexpr int SecondPort = 7;  // COM8, the station's second module
constexpr DWORD SettleMs = 300;  // lets the X server draw what Windows painted
constexpr UINT BusyCheckMs = 50;

struct Front {
    const char* name;
    std::string identity;
    BrandIndex brand;
    bool saysWhyPortFails;
};
const Front Fronts[] = {
    {"main-window", "WEX15.4 00.04", BrandMain, false},
    {"loader-window", "TOLVA 1.2", BrandLoader, true},
    {"upgrade-window", "KBV 7E 02.10.04.01", BrandUpgrade, true},
};

std::wstring g_out;
int g_failures = 0;

void Settle() {
    for (int i = 0; i < 3; ++i) {
        DispatchPending();
        ::Sleep(SettleMs / 3);
    }
}

// The window as the screen shows it, frame included, as a 24-bit bitmap file.
void Save(HWND window, const std::string& name) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Settle();
    RECT r{};
    ::GetWindowRect(window, &r);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(memory, old);
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    const DWORD size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + size), 0, 0,
                          sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    const std::wstring path = g_out + L"\\" + WideOf(name) + L".bmp";
    FILE* f = _wfopen(path.c_str(), L"wb");
    bool written = f != nullptr && std::fwrite(&file, sizeof file, 1, f) == 1 &&
                   std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f) == 1 && std::fwrite(bits, size, 1, f) == 1;
    if (f != nullptr) written = std::fclose(f) == 0 && written;
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (written) {
        std::printf("%s\n", Utf8Of(path).c_str());
    } else {
        std::fprintf(stderr, "torvane-win32-screenshots: cannot write %s\n", Utf8Of(path).c_str());
        ++g_failures;
    }
    std::fflush(stdout);
}

GuiOptions Options(const std::string& identity) {
    GuiOptions o;
    o.identity = identity;
    o.buildDate = BuildDate();
    o.buildTime = BuildTime();
    return o;
}

void RememberPort(BrandIndex brand, int portIndex) {
    const auto backend = HostPlatform().settings();
    SettingsStore store{*backend, {}};
    WriteSetting(store, PortSettingName, std::to_string(portIndex), brand);
}

HWND StartButton(Session& s) {
    if (auto* l = s.loaderWindow()) return l->Button1.hwnd();
    if (auto* u = s.upgradeWindow()) return u->Button1.hwnd();
    return s.mainWindow().Button1.hwnd();
}

ProgressBar& Bar(Session& s) {
    if (auto* l = s.loaderWindow()) return l->ProgressBar1;
    if (auto* u = s.upgradeWindow()) return u->ProgressBar1;
    return s.mainWindow().ProgressBar1;
}

// Called at every wait of a run (a timer's message is handled there).
std::function<void()> g_duringRun;
void CALLBACK DuringRun(HWND, UINT, UINT_PTR, DWORD) {
    if (g_duringRun) g_duringRun();
}

// Presses the start button; `during` runs at the run's waits until it returns true.
void Run(Session& s, const std::function<bool()>& during = {}) {
    bool done = !during;
    bool inside = false;  // a picture handles messages: the timer comes again meanwhile
    g_duringRun = [&] {
        if (done || inside) return;
        inside = true;
        done = during();
        inside = false;
    };
    const UINT_PTR timer = ::SetTimer(nullptr, 0, BusyCheckMs, DuringRun);
    ::SendMessageW(StartButton(s), BM_CLICK, 0, 0);
    ::KillTimer(nullptr, timer);
    g_duringRun = nullptr;
}

void Runs() {
    for (const Front& f : Fronts) {
        RememberPort(f.brand, ModulePort);
        Session s(Options(f.identity));
        FrontEndWindow& w = s.frontWindow();
        w.show();
        Save(w.hwnd(), std::string("windows-") + f.name + "-idle");
        Run(s, [&] {
            ProgressBar& bar = Bar(s);
            if (bar.maximum() <= 0 || bar.position() * 3 < bar.maximum()) return false;
            Save(w.hwnd(), std::string("windows-") + f.name + "-busy");
            return true;
        });
        Save(w.hwnd(), std::string("windows-") + f.name + "-success");
        if (f.brand == BrandMain) {
            s.portDialog().show();
            Save(s.portDialog().hwnd(), "windows-port-dialog");
            ::ShowWindow(s.portDialog().hwnd(), SW_HIDE);
            s.mainWindow().Label1DblClick();
            Save(s.versionDialog().hwnd(), "windows-version-dialog");
            ::ShowWindow(s.versionDialog().hwnd(), SW_HIDE);
        }
        ::SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    }
}

void Failures() {
    for (const Front& f : Fronts) {
        RememberPort(f.brand, ModulePort);
        {
            Session s(Options(f.identity));
            s.frontWindow().show();
            Run(s);
            Save(s.frontWindow().hwnd(), std::string("windows-") + f.name + "-failure");
        }
        if (!f.saysWhyPortFails) continue;
        RememberPort(f.brand, GonePort);
        Session s(Options(f.identity));
        s.frontWindow().show();
        Run(s);
        Save(s.frontWindow().hwnd(), std::string("windows-") + f.name + "-port-unusable");
    }
}

void StationShots() {
    StationWindow w(HostPlatform(), StationSettingsFor(std::nullopt), {ModulePort, SecondPort});
    w.show();
    ::SendMessageW(w.StartAll.hwnd(), BM_CLICK, 0, 0);
    bool busyTaken = false;
    while (w.anyRunning()) {
        DispatchPending();
        ::Sleep(BusyCheckMs / 5);
        if (busyTaken || w.cellCount() != 2) continue;
        bool third = true;  // both modules a third of the way
        for (int slot = 0; slot < 2; ++slot) {
            const ProgressBar& bar = *w.cell(slot).bar;
            third = third && bar.maximum() > 0 && bar.position() * 3 >= bar.maximum();
        }
        if (!third) continue;
        Save(w.hwnd(), "windows-station-window-busy");
        busyTaken = true;
    }
    Save(w.hwnd(), "windows-station-window-verdict");
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    const std::wstring set = argv != nullptr && argc == 3 ? argv[2] : L"";
    if (set != L"runs" && set != L"failures" && set != L"station") {
        std::fputs("usage: torvane-win32-screenshots.exe <folder> runs|failures|station\n", stderr);
        return ExitUsage;
    }
    g_out = argv[1];
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    try {
        if (set == L"runs") Runs();
        else if (set == L"failures") Failures();
        else StationShots();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "torvane-win32-screenshots: %s\n", e.what());
        return ExitFailure;
    }
    return g_failures == 0 ? ExitOk : ExitFailure;
}
