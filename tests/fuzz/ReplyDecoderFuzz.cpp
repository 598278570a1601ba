// The reply decoder must end in the same state whatever way the line cuts
// the bytes into reads: the first byte says where the second feeding splits.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "bootloader/ReplyDecoder.h"

using namespace torvane;

namespace {

bool Same(const ReceiverState& a, const ReceiverState& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool Same(const DeviceIdentity& a, const DeviceIdentity& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t split = data[0] % size;
    ++data;
    --size;
    ReceiverState whole{}, parts{};
    DeviceIdentity wholeId{}, partsId{};
    for (std::size_t i = 0; i < size; ++i) FeedReplyByte(whole, wholeId, data[i]);
    // Each read is fed in turn; between reads the caller keeps nothing else.
    for (std::size_t i = 0; i < split && i < size; ++i) FeedReplyByte(parts, partsId, data[i]);
    for (std::size_t i = split; i < size; ++i) FeedReplyByte(parts, partsId, data[i]);
    if (!Same(whole, parts) || !Same(wholeId, partsId)) std::abort();
    return 0;
}
