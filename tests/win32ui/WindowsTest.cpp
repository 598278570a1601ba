// The Windows windows, driven through their own messages as a user's clicks
// would drive them, against a module behind a COM port. The update runs need
// a simulated boot loader answering on the port TORVANE_TEST_MODULE_PORT
// names (COM7, say; tests/windows/windows-under-wine.sh links one there);
// without it they are skipped. Every result is read from the controls as
// Windows shows them, not from the models behind them.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "formats/ComName.h"
#include "platform/Platform.h"
#include "shell/SettingsStore.h"
#include "ui/FrontEnds.h"
#include "win32ui/Session.h"
#include "win32ui/Win32Text.h"

namespace torvane::win32ui {
namespace {

struct FrontEndCase {
    const char* name;
    std::string identity;  // chooses the front end
    BrandIndex brand;
    std::string success;  // the verdict of a programmed module
};

const FrontEndCase FrontEnds[] = {
    {"MainWindow", "WEX15.4 00.04", BrandMain, " Program Ok "},
    {"LoaderWindow", "TOLVA 1.2", BrandLoader, "Successfully updated"},
    {"UpgradeWindow", "KBV 7E 02.10.04.01", BrandUpgrade, "Program OK"},
};

void PrintTo(const FrontEndCase& c, std::ostream* os) { *os << c.name; }

std::optional<std::string> ModulePort() {
    const char* port = std::getenv("TORVANE_TEST_MODULE_PORT");
    if (port == nullptr || *port == '\0') return std::nullopt;
    return std::string(port);
}

GuiOptions OptionsFor(const std::string& identity) {
    GuiOptions o;
    o.identity = identity;
    o.buildDate = "Mar 22 2018";
    o.buildTime = "11:43:20";
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

// Where each front end shows its verdict, as the window shows it.
std::string ShownVerdict(Session& s) {
    if (auto* l = s.loaderWindow()) return TextOf(l->Label1.hwnd());
    if (auto* u = s.upgradeWindow()) return u->StatusBar1.shownText(s.context().presenter.PanelIndex[StatusPanel]);
    return TextOf(s.mainWindow().Label2.hwnd());
}

std::string LastLine(const std::string& path) {
    std::ifstream file(std::filesystem::path(WideOf(path)));
    std::string line, last;
    while (std::getline(file, line))
        if (!line.empty()) last = line;
    return last;
}

class FrontEndRun : public ::testing::TestWithParam<FrontEndCase> {};

TEST_P(FrontEndRun, StartButtonProgramsTheModuleAndShowsTheVerdict) {
    const auto port = ModulePort();
    if (!port) GTEST_SKIP() << "no module: set TORVANE_TEST_MODULE_PORT";
    const auto index = PortIndexOfComName(*port);
    ASSERT_TRUE(index) << *port;
    RememberPort(GetParam().brand, *index);

    Session session(OptionsFor(GetParam().identity));
    FrontEndWindow& front = session.frontWindow();
    front.show();
    DispatchPending();
    // The click runs the whole update inside the button's handler.
    ::SendMessageW(StartButton(session), BM_CLICK, 0, 0);
    EXPECT_FALSE(front.running());
    EXPECT_EQ(ShownVerdict(session), GetParam().success);
    const std::string record = LastLine(HostPlatform().runLogPath());
    EXPECT_NE(record.find("\"exit_code\":0"), std::string::npos) << record;
    EXPECT_NE(record.find("\"port\":\"" + *port + "\""), std::string::npos) << record;

    // Closing stores the port the run used.
    ::SendMessageW(front.hwnd(), WM_CLOSE, 0, 0);
    const auto backend = HostPlatform().settings();
    SettingsStore store{*backend, {}};
    EXPECT_EQ(ReadSetting(store, PortSettingName, GetParam().brand), std::to_string(*index));
}

INSTANTIATE_TEST_SUITE_P(Windows, FrontEndRun, ::testing::ValuesIn(FrontEnds),
                         [](const ::testing::TestParamInfo<FrontEndCase>& c) { return std::string(c.param.name); });

// A close while the run waits for a module that never answers stops the run
// at its next wait; the window goes once the run has returned.
TEST(FrontEndClose, DuringARunStopsItAndThenCloses) {
    const auto port = ModulePort();
    if (!port) GTEST_SKIP() << "no module: set TORVANE_TEST_MODULE_PORT";
    RememberPort(BrandMain, *PortIndexOfComName(*port));
    Session session(OptionsFor(FrontEnds[0].identity));
    FrontEndWindow& front = session.frontWindow();
    bool closed = false;
    front.onClosed = [&] { closed = true; };
    front.show();
    ::PostMessageW(front.hwnd(), WM_CLOSE, 0, 0);  // handled at the run's first wait
    ::SendMessageW(StartButton(session), BM_CLICK, 0, 0);
    EXPECT_FALSE(front.running());
    EXPECT_FALSE(closed);  // not inside the click handler
    DispatchPending();
    EXPECT_TRUE(closed);
    EXPECT_FALSE(::IsWindowVisible(front.hwnd()));
}

// The start button has the keyboard when the window shows, and Enter presses
// it (and neither opens the port dialog nor does anything else).
TEST(FrontEndKeyboard, EnterPressesTheStartButton) {
    const auto port = ModulePort();
    if (!port) GTEST_SKIP() << "no module: set TORVANE_TEST_MODULE_PORT";
    RememberPort(BrandMain, *PortIndexOfComName(*port));
    Session session(OptionsFor(FrontEnds[0].identity));
    FrontEndWindow& front = session.frontWindow();
    bool closed = false;
    front.onClosed = [&] { closed = true; };
    front.show();
    DispatchPending();
    ASSERT_EQ(::GetFocus(), StartButton(session));
    ::PostMessageW(front.hwnd(), WM_CLOSE, 0, 0);  // ends the run at its first wait
    MSG enter{::GetFocus(), WM_KEYDOWN, VK_RETURN, 1, 0, {}};
    Dispatch(enter);
    DispatchPending();
    EXPECT_TRUE(closed) << "no run was started";
    EXPECT_FALSE(::IsWindowVisible(session.portDialog().hwnd()));
}

// The port dialog lists the COM link the module is behind, by its port name.
TEST(PortDialog, ListsTheModulesPort) {
    const auto port = ModulePort();
    if (!port) GTEST_SKIP() << "no module: set TORVANE_TEST_MODULE_PORT";
    Session session(OptionsFor(FrontEnds[0].identity));
    session.portDialog().show();
    HWND names = session.portDialog().ComboBox2;
    bool listed = false;
    const auto count = static_cast<int>(::SendMessageW(names, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        if (::SendMessageW(names, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 64)
            ::SendMessageW(names, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        listed = listed || Utf8Of(text) == *port;
    }
    EXPECT_TRUE(listed) << *port << " is not among the " << count << " ports listed";
}

// Every window is laid out and shows its texts without a module.
TEST(Windows, ShowTheirDesignTexts) {
    for (const auto& c : FrontEnds) {
        Session session(OptionsFor(c.identity));
        session.frontWindow().show();
        DispatchPending();
        EXPECT_EQ(TextOf(StartButton(session)), c.brand == BrandMain      ? "&Update"
                                                : c.brand == BrandLoader  ? "Update FW"
                                                                          : "START")
            << c.name;
        EXPECT_NE(session.frontWindow().caption().find(c.identity), std::string::npos)
            << session.frontWindow().caption();
    }
}

}  // namespace
}  // namespace torvane::win32ui
