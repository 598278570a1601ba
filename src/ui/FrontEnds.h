#pragma once
// The three front ends as objects: what each does apart from drawing. The
// Qt windows, torvane-cli, a station port and the tests all make theirs with
// MakeFrontEnd (a FrontEndContext does it as it is built), so a run behaves
// the same whoever draws it, and nothing else asks which front end it is.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "shell/ProductIdentity.h"
#include "ui/UpdateFrontEnd.h"

namespace torvane {

struct LoaderWindowView;

// The one place a front end is chosen.
std::unique_ptr<UpdateFrontEnd> MakeFrontEnd(FrontEnd kind, FrontEndContext& ctx);

// The full window. It exists in every build; when another front end drives
// the update it stays hidden, a silent target for the writes some update
// steps make to it whatever the front end. It counts the wake-up tries,
// every block and the final block; its verdict is " Program Ok " in green.
class MainFrontEnd : public UpdateFrontEnd {
public:
    explicit MainFrontEnd(FrontEndContext& ctx);
    FrontEnd kind() const override;
    void StartClick() override;
    void StopClick() override;
    std::string VerdictText() const override;
    void ShowResult(std::string_view text, Colour colour, std::uint8_t code) override;
    void ShowProgress(std::string_view text, Colour colour) override;
    // On this window also "Warning" in its device panel and the identity line.
    void ShowNoImage(const DeviceIdentity& id, const ActiveImage& image) override;
    void ShowImageTooBig(const DeviceIdentity& id, const ActiveImage& image) override;
    // The identity line, and the record text for boot loader versions 8..31
    // (a record text that starts with 0xFF was never written: it shows empty).
    void ShowIdentity(const DeviceIdentity& id, const ActiveImage& image) override;
    void SetHighlight(bool on) override;
    void ShowBusy() override;
    void ShowIdle() override;

    void wakeUpTry(int attempt, int tries) override;
    void imageLoaded(std::uint32_t units, std::uint32_t from, std::uint32_t to) override;
    void blockStarted(std::uint32_t address) override;
    void programmed() override;

protected:
    void setUpOwn(std::string_view rememberedPort, std::string_view identity) override;
    ProgressBar& bar() override;
    StatusBar& status() override;

private:
    void showMissingImage(std::string_view text, const DeviceIdentity& id, const ActiveImage& image);
};

// The compact window. Its status bar is never shown: no counters; its
// message line says "Search Device" and, at the end, "Successfully updated".
// Without a remembered port it asks for one. Its product tags choose the
// wake-up code, the logo and a caption suffix.
class LoaderFrontEnd : public UpdateFrontEnd {
public:
    explicit LoaderFrontEnd(FrontEndContext& ctx);
    FrontEnd kind() const override;
    void StartClick() override;
    void StopClick() override;
    std::string VerdictText() const override;
    void ShowResult(std::string_view text, Colour colour, std::uint8_t code) override;
    void ShowProgress(std::string_view text, Colour colour) override;
    void ShowIdentity(const DeviceIdentity& id, const ActiveImage& image) override;
    void SetHighlight(bool on) override;
    void ShowBusy() override;
    void ShowIdle() override;
    // Puts the message line back into its waiting state and empties the values.
    void ResetDisplay() override;

    void portReason(std::string_view reason) override;
    void wakeUpTry(int attempt, int tries) override;
    void finalBlock() override;
    void eepromByte(int index) override;
    void programmed() override;

protected:
    void setUpOwn(std::string_view rememberedPort, std::string_view identity) override;
    ProgressBar& bar() override;
    StatusBar& status() override;

private:
    LoaderWindowView& view();
    const LoaderWindowView& view() const;
};

// The START/STOP window. It always wakes with 197, shares one panel between
// device texts and their details, says "Program OK" in its status bar at the
// end, and in sequence mode (the KEW tag) programs every pending image in turn.
class UpgradeFrontEnd : public UpdateFrontEnd {
public:
    explicit UpgradeFrontEnd(FrontEndContext& ctx);
    FrontEnd kind() const override;
    void StartClick() override;
    void StopClick() override;
    std::string VerdictText() const override;
    void ShowResult(std::string_view text, Colour colour, std::uint8_t code) override;
    void ShowProgress(std::string_view text, Colour colour) override;
    void ShowIdentity(const DeviceIdentity& id, const ActiveImage& image) override;
    void SetHighlight(bool on) override;
    void ShowBusy() override;
    void ShowIdle() override;

    void wakeUpTry(int attempt, int tries) override;
    void programmed() override;

protected:
    void setUpOwn(std::string_view rememberedPort, std::string_view identity) override;
    ProgressBar& bar() override;
    StatusBar& status() override;
};

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

// Sequence mode for the UpgradeWindow: the identity carries KEW.
bool SequenceModeFor(std::string_view identity);

// The port part of closing a front end: close CurrentPort when it is the
// opened one. Returns the "com" text to remember.
std::string ClosePortsOnExit(FrontEndContext& ctx);

}  // namespace torvane
