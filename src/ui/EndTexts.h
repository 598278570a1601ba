#pragma once
// The fixed texts a run or the program's start can end with that belong to
// no one layer below, as the user sees them: verdicts, the panel texts beside
// them and the boxes; with the includes, every such text in one place. The
// guide for technicians (docs/guide.md) explains each one in its table. Its
// test reads every constant named ...Text in the sources, here or anywhere
// else, and fails for one the guide does not explain, unless the test lists
// it as a text no run ends with. Texts that carry a value (the suitability
// verdict, the UDP and settings errors) are made where they are shown; the
// test makes them too.

#include <string_view>

#include "bootloader/ImageTransfer.h"
#include "bootloader/Verdicts.h"
#include "serial/PortChannel.h"
#include "shell/SingleInstance.h"
#include "ui/FrontEnds.h"

namespace torvane {

// The verdicts of success, one per front end.
inline constexpr std::string_view MainProgrammedText = " Program Ok ";
inline constexpr std::string_view LoaderProgrammedText = "Successfully updated";
inline constexpr std::string_view UpgradeProgrammedText = "Program OK";
// The status panel after a search that no boot loader answered.
inline constexpr std::string_view DeviceNotFoundText = "Device not Found";
// The compact and START/STOP windows while they search.
inline constexpr std::string_view SearchDeviceText = "Search Device";
// No image for the chip, or one larger than its memory; the MainWindow's
// device panel says "Warning" beside them.
inline constexpr std::string_view NoImageText = " No Hex inside !! ";
inline constexpr std::string_view ImageTooBigText = " Hex too Big !! ";
inline constexpr std::string_view NoImageWarningText = "Warning";
// The error box for an error that brings no words of its own: at start-up
// or in the station window, which then end, and in any other window, which
// goes on.
inline constexpr std::string_view UnexpectedStopText = "an unexpected error stopped the program";
inline constexpr std::string_view UnexpectedErrorText = "an unexpected error stopped the last action";

}  // namespace torvane
