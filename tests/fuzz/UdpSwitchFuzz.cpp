// The UDP switch among the program's arguments, and the record it sends.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/UdpNotifier.h"

using namespace torvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Arguments separated by zero bytes, as the system hands them over.
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) args.emplace_back();
        else args.back().push_back(static_cast<char>(data[i]));
    }
    const bool given = UdpSwitchGiven(args);
    const std::string& first = args.front();
    const bool expected = first.size() == 2 && first[0] == '\\' && (first[1] == 'P' || first[1] == 'p');
    if (given != expected) std::abort();

    const std::uint8_t code = size > 0 ? data[0] : 0;
    const NotificationRecord r = BuildNotificationRecord(code);
    const NotificationRecord want{0, 0, 0, code, 0, 0, 0, 0, 0, 0, 0, 4};
    if (r != want) std::abort();
    return 0;
}
