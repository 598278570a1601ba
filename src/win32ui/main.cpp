// torvane.exe: the updater with windows, on Windows.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "shell/ProgramVersion.h"
#include "station/StationCommandLine.h"
#include "ui/GuiOptions.h"
#include "win32ui/MessageBoxes.h"
#include "win32ui/StartUp.h"
#include "win32ui/Win32Text.h"

namespace {

constexpr std::string_view HelpText =
    "usage: torvane [\\P]\n"
    "       torvane --station [PORT ...]\n"
    "\n"
    "The firmware updater with windows. The product identity this build carries\n"
    "chooses the window. \\P as the first argument also starts the UDP service.\n"
    "Every run is appended to the run log, one JSON object a line:\n"
    "  %LOCALAPPDATA%\\Torvane\\runs.jsonl\n"
    "The port chosen last is kept in the user's part of the registry\n"
    "(HKEY_CURRENT_USER).\n"
    "\n"
    "  --station [PORT ...]  the station window: the modules on several ports\n"
    "              updated at once, each with its progress and verdict. PORT is\n"
    "              a COM name (COM7) or a device path (\\\\.\\COM7); without\n"
    "              any, check the ports in the window's list\n"
    "  --help      this text\n"
    "  --version   this release and the product it is built for\n"
    "\n"
    "torvane-cli.exe updates without a window. What each verdict means and what\n"
    "to do: docs\\guide.md beside this program.\n";

// A program without a console prints where it was started from: into the
// file or pipe it was given, else into the console it was started from,
// else into a box.
void Print(std::string_view text) {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (out != nullptr && out != INVALID_HANDLE_VALUE && ::GetFileType(out) != FILE_TYPE_UNKNOWN &&
        ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return;
    if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (console != INVALID_HANDLE_VALUE) {
            const std::wstring wide = torvane::win32ui::WideOf(text);
            ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
            ::CloseHandle(console);
            return;
        }
    }
    ::MessageBoxW(nullptr, torvane::win32ui::WideOf(text).c_str(), L"torvane", MB_OK);
}

}  // namespace

int main(int argc, char** argv) {
    torvane::Platform& platform = torvane::HostPlatform();
    const std::vector<std::string> arguments = platform.arguments(argc, argv);
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--help" || arguments[i] == "-h" || arguments[i] == "/?") {
            Print(HelpText);
            return 0;
        }
        if (arguments[i] == "--version") {
            Print(torvane::VersionText("torvane"));
            return 0;
        }
    }
    auto options = torvane::GuiOptions::ThisBuild(argc, argv);
    // "\P" counts only as the very first argument, as the user typed it.
    options.arguments.assign(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end());
    if (const auto station = torvane::StationArguments(arguments))
        return torvane::win32ui::StartStation(options, *station);
    const auto guard = platform.instanceGuard();
    return torvane::win32ui::StartUp(options, *guard);
}
