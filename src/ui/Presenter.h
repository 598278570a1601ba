#pragma once
// How the update logic shows things without knowing the window: each
// operation finds the active front end (LoaderWindow, else UpgradeWindow,
// else MainWindow) and changes that front end's controls; where a front end
// has nothing to show, the operation does nothing. No operation fails.
//
// Precondition for all: ctx.presenter.main and the active front end's view
// hold every control (the headless windows' view() provides them).

#include <cstdint>
#include <string_view>

#include "ui/FrontEndContext.h"

namespace torvane {

// Hands the code to the notification hook (if any) first, then shows the
// verdict and restores the idle buttons of the front end.
void ShowResult(FrontEndContext& ctx, std::string_view text, Colour colour, std::uint8_t code);
// A progress message; the buttons are not touched.
void ShowProgress(FrontEndContext& ctx, std::string_view text, Colour colour);
// "COM%d" of CurrentPort + 1, or "-----" for a negative CurrentPort, into the
// PortPanel of `bar`, whatever the front end.
void ShowPort(FrontEndContext& ctx, StatusBar& bar);
// " No Hex inside !! " / " Hex too Big !! " in red; on the MainWindow also
// "Warning" in its DevicePanel and the identity line. Nothing on the UpgradeWindow.
void ShowNoImage(FrontEndContext& ctx);
void ShowImageTooBig(FrontEndContext& ctx);
// The identity of the device found (and its record text for boot loader
// versions 8..31). A record text starting with 0xFF is emptied for good.
void ShowIdentity(FrontEndContext& ctx);
// Silver background of the highlight control when on, button face when off.
void SetHighlight(FrontEndContext& ctx, bool on);
// Start and stop buttons of a run under way / of no run.
void ShowBusy(FrontEndContext& ctx);
void ShowIdle(FrontEndContext& ctx);
// Writes text into the panel that PanelIndex gives for `role` on `bar`; no repaint.
void SetPanelText(FrontEndContext& ctx, StatusBar& bar, PanelRole role, std::string_view text);

}  // namespace torvane
