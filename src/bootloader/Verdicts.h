#pragma once
// The texts an update run ends with, as the run shows them: verdicts (red
// where the front end shows colours) and the panel texts that go beside
// them. The blanks and "!!" are part of the texts. The guide for
// technicians explains every one; its test finds them here by their names.

#include <string_view>

namespace torvane {

inline constexpr std::string_view NoResponseText = " not Response ";
inline constexpr std::string_view UserAbortText = " User Abort !! ";
inline constexpr std::string_view RefusedText = " CHK Error !! ";
inline constexpr std::string_view IncompatibleText = " Incompatible Bootloader !! ";
// The transfer was written, but the line damaged so many frames on the way
// that a frame damaged beyond what its checksum shows could be among them.
inline constexpr std::string_view NoisyLineText = " Line too noisy !! ";
// Detail panel beside NoisyLineText.
inline constexpr std::string_view NoisyLineDetailText = "too much damage on the line to trust the result";
inline constexpr std::string_view ErrorText = " Error !! ";
inline constexpr std::string_view InvalidPortText = "Invalid Port Com";
// Device panel beside ErrorText: a chip code the updater does not know.
inline constexpr std::string_view UnknownDeviceText = "Unknow Device";
// Detail panel beside ErrorText: the carried image breaks the transfer's rules.
inline constexpr std::string_view ImageNotUsableText = "image data not usable";
// Device and detail panels beside the suitability verdict.
inline constexpr std::string_view NotSuitableWarningText = "Warning!!";
inline constexpr std::string_view NotSuitableDetailText = "not suitable apparatus";

}  // namespace torvane
