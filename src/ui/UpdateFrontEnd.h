#pragma once
// What a front end does apart from drawing. There is one object per front
// end (the MainWindow, the LoaderWindow, the UpgradeWindow; ui/FrontEnds.h),
// made once where the front end is chosen. It owns everything the three do
// differently: their set-up, their start and stop buttons, how they show
// progress, a verdict and a missing image, and the wake-up code they send.
// The update run reports to it through RunView; the window systems (Qt, the
// console, a station port, the tests) hand it their controls in the
// context's presenter and press its buttons.
//
// The run hands every view call the values it shows; the object reads the
// context only for what is its own (its controls, the port it set up).
// Precondition for every operation: the front end's controls, and the
// MainWindow's, are in the presenter (a headless window's view() gives them).

#include <cstdint>
#include <string>
#include <string_view>

#include "bootloader/RunView.h"
#include "ui/Controls.h"

namespace torvane {

struct FrontEndContext;
struct Presenter;
enum class FrontEnd;

class UpdateFrontEnd : public RunView {
public:
    explicit UpdateFrontEnd(FrontEndContext& ctx);
    UpdateFrontEnd(const UpdateFrontEnd&) = delete;
    UpdateFrontEnd& operator=(const UpdateFrontEnd&) = delete;

    virtual FrontEnd kind() const = 0;

    // The set-up the front end makes for its runs when it is built, whoever
    // draws it: the remembered port, the product's tags and the image table.
    // `rememberedPort` is the "com" setting, empty when none; `identity` the
    // product identity.
    void SetUp(std::string_view rememberedPort, std::string_view identity);

    // The start button: one search and, when a device answered, one
    // programming (the UpgradeWindow repeats while images are pending in
    // sequence mode).
    virtual void StartClick() = 0;
    // The stop button: the idle controls at once, then the abort flag for the run.
    virtual void StopClick() = 0;

    // Puts the display back into its waiting state before a run or a change
    // of port (the LoaderWindow's message line); the others keep theirs.
    virtual void ResetDisplay() {}

    // The verdict this front end shows at the end of a run.
    virtual std::string VerdictText() const = 0;

    // The presenter's operations, as this front end shows them; where it has
    // nothing to show, an operation does nothing. None fails.
    //
    // Hands the code to the notification hook (if any) first, then shows
    // the verdict and restores the idle buttons.
    virtual void ShowResult(std::string_view text, Colour colour, std::uint8_t code) = 0;
    // A progress message; the buttons are not touched.
    virtual void ShowProgress(std::string_view text, Colour colour) = 0;
    // "COM%d" of `portIndex` + 1, or "-----" for a negative index, in the port panel.
    void ShowPort(std::int16_t portIndex);
    // " No Hex inside !! " / " Hex too Big !! " in red.
    virtual void ShowNoImage(const DeviceIdentity& id, const ActiveImage& image);
    virtual void ShowImageTooBig(const DeviceIdentity& id, const ActiveImage& image);
    // The device found and the header codes of the image chosen for it.
    virtual void ShowIdentity(const DeviceIdentity& id, const ActiveImage& image) = 0;
    // The highlight of a plain (unscrambled) image.
    virtual void SetHighlight(bool on) = 0;
    // Start and stop buttons of a run under way / of no run.
    virtual void ShowBusy() = 0;
    virtual void ShowIdle() = 0;
    // Writes text into the panel that the presenter's PanelIndex gives for
    // `role` on `bar`; no repaint.
    void SetPanelText(StatusBar& bar, PanelRole role, std::string_view text);

    // RunView: what all three show alike. Each front end overrides what it
    // shows in its own way.
    void panel(PanelRole role, std::string_view text) override;
    void progress(int position) override;
    void progressMaximum(int maximum) override;
    void progressSmooth(bool smooth) override;
    void searchStarted() override;
    void showPort(std::int16_t portIndex) override;
    void wakeUpsStarted(int tries) override;
    void wakeUpsEnded() override;
    void portReason(std::string_view reason) override;
    void notFound() override;
    void busy() override;
    void idle() override;
    void identity(const DeviceIdentity& id, const ActiveImage& image) override;
    void highlight(bool plain) override;
    void imageLoaded(std::uint32_t units, std::uint32_t from, std::uint32_t to) override;
    void noImage(const DeviceIdentity& id, const ActiveImage& image) override;
    void imageTooBig(const DeviceIdentity& id, const ActiveImage& image) override;
    void programming() override;
    void blockStarted(std::uint32_t address) override;
    void resending(int resend) override;
    void finalBlock() override;
    void eepromByte(int index) override;
    void failed(std::string_view text) override;

protected:
    // What the front end sets up of its own: its port rule, tags, panels.
    virtual void setUpOwn(std::string_view rememberedPort, std::string_view identity) = 0;
    // The front end's progress bar and status bar.
    virtual ProgressBar& bar() = 0;
    virtual StatusBar& status() = 0;

    Presenter& presenter();
    const Presenter& presenter() const;
    // Start and stop button of a window that shows one at a time.
    static void ShowIdleButtons(Button& start, Button& stop);

    FrontEndContext& ctx_;
};

}  // namespace torvane
