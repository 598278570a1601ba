#pragma once
// Every exit code the programs end with. Scripts read them, so a code keeps
// its number once given; torvane-cli update --help prints the table below,
// and a test holds the man page and the guide to the same codes.

#include <cstddef>
#include <iterator>
#include <string_view>

namespace torvane {

// torvane-cli update, by how the run ended. The other commands end with
// ExitProgrammed or ExitUsage; torvane ends with ExitUsage for a wrong
// command line as well.
inline constexpr int ExitProgrammed = 0;
inline constexpr int ExitLogFailed = 1;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitNotFound = 3;
inline constexpr int ExitPortUnusable = 4;
inline constexpr int ExitAborted = 5;
inline constexpr int ExitNotAcknowledged = 6;
inline constexpr int ExitRefused = 7;
inline constexpr int ExitIncompatible = 8;
inline constexpr int ExitUnknownDevice = 9;
inline constexpr int ExitNoImage = 10;
inline constexpr int ExitNotSuitable = 11;
inline constexpr int ExitSomePortsFailed = 12;
inline constexpr int ExitNoisyLine = 13;

// torvane: an error stopped the windows (its box has said which).
inline constexpr int ExitStartFailed = 1;

struct ExitCodeMeaning {
    int code;
    std::string_view meaning;  // one line, as the help prints it
};

// code, meaning
inline constexpr ExitCodeMeaning UpdateExitCodes[] = {
    {ExitProgrammed, "programmed (or, in sequence mode, nothing left to do)"},
    {ExitLogFailed, "the run ended but its record could not be appended to the --log file"},
    {ExitUsage, "usage error"},
    {ExitNotFound, "device not found"},
    {ExitPortUnusable, "port unusable"},
    {ExitAborted, "stopped by the user"},
    {ExitNotAcknowledged, "not acknowledged (no reply)"},
    {ExitRefused, "refused (checksum error, five refusals)"},
    {ExitIncompatible, "incompatible boot loader"},
    {ExitUnknownDevice, "unknown device"},
    {ExitNoImage, "no image for this device, or image too big"},
    {ExitNotSuitable, "board not suitable for the image"},
    {ExitSomePortsFailed, "a station: some port's run failed (the table says which and why)"},
    {ExitNoisyLine, "the line damaged too many frames to trust the update (update again)"},
};

// The help lists the codes in order, and a script can tell every ending apart.
constexpr bool ExitCodesAscend() {
    for (std::size_t i = 1; i < std::size(UpdateExitCodes); ++i)
        if (UpdateExitCodes[i - 1].code >= UpdateExitCodes[i].code) return false;
    return true;
}
static_assert(ExitCodesAscend());

}  // namespace torvane
