#pragma once
// What the three front ends do, apart from drawing: their set-up from the
// product identity and the remembered port, and their button handlers. The
// Qt windows and torvane-cli call these, so a run behaves the same in both.

#include <cstdint>
#include <string>
#include <string_view>

#include "ui/FrontEndContext.h"

namespace torvane {

// CurrentPort and OpenedPort at construction, so that the first run opens the
// port. Returns true on the LoaderWindow when no port is remembered (it then
// asks the user to select one).
bool SetPortsFromSetting(FrontEndContext& ctx, FrontEnd frontEnd, std::string_view comSetting);

// The LoaderWindow's product-tag set-up.
struct LoaderTagSetup {
    std::uint8_t wakeVariant = 0;
    bool showLogo = true;
    std::string captionSuffix;  // "   -(N)-" or empty
};
LoaderTagSetup LoaderTags(std::string_view identity);

inline constexpr std::string_view LoaderWaitingText = "Push 'Update FW' button and connect a device";
inline constexpr std::string_view LoaderPortInvalidText = "Port not valid. Select a new port.";
inline constexpr std::string_view LoaderNotFoundText = "The device is not find.";
inline constexpr std::string_view NoLogoSuffix = "   -(N)-";

// Puts the LoaderWindow's message line back into its waiting state.
void ResetLoaderDisplay(LoaderWindowView& v);
// The LoaderWindow's "no port remembered" start text, in the waiting style.
void ShowLoaderPortInvalid(LoaderWindowView& v);

// Sequence mode for the UpgradeWindow: the identity carries KEW.
bool SequenceModeFor(std::string_view identity);

// The set-up every front end makes for its runs when it is built, whoever
// draws it (a window, the console, a test, the bench): the remembered port,
// the product's tags and the image table. The front end's controls are in
// ctx.presenter already and decide which front end this is. `rememberedPort`
// is the "com" setting, empty when none; `identity` the product identity,
// whose tags choose the LoaderWindow's wake-up variant and the
// UpgradeWindow's sequence mode.
void SetUpFrontEnd(FrontEndContext& ctx, std::string_view rememberedPort, std::string_view identity);

// Start buttons: one search and, when a device answered, one programming
// (the UpgradeWindow repeats while images are pending in sequence mode).
void MainUpdateClick(FrontEndContext& ctx);
void LoaderUpdateClick(FrontEndContext& ctx);
void UpgradeStartClick(FrontEndContext& ctx);

// Stop buttons: the idle controls at once, then the abort flag for the run.
void MainStopClick(FrontEndContext& ctx);
void LoaderAbortClick(FrontEndContext& ctx);
void UpgradeStopClick(FrontEndContext& ctx);

// The port part of closing a front end: close CurrentPort when it is the
// opened one. Returns the "com" text to remember.
std::string ClosePortsOnExit(FrontEndContext& ctx);

}  // namespace torvane
