#pragma once
// What the boot loader has told us: its identity, its device record, and the
// receiver's flags and decoding state.

#include <array>
#include <cstdint>

namespace torvane {

// Reply bytes of the boot loader.
inline constexpr std::uint8_t ReplyAck = 'K';
inline constexpr std::uint8_t ReplyRefuse = 'N';
inline constexpr std::uint8_t ReplyIdentity = 'V';
inline constexpr std::uint8_t ReplyRecord = 'R';

inline constexpr std::size_t RecordTextLength = 24;

struct DeviceIdentity {
    std::uint8_t chipCode = 0;
    std::uint8_t biosVersion = 0;
    std::uint8_t hardwareCode = 0;
    std::uint8_t preparationCode = 0;
    std::uint8_t identitySeen = 0;
    std::array<char, RecordTextLength + 1> recordText{};
    std::uint16_t recordRangeStart = 0;
    std::uint16_t recordRangeLength = 0;
    std::uint16_t recordDone = 0;
};

inline constexpr std::uint8_t NoIdentityBytesExpected = 255;

struct ReceiverState {
    // Acknowledgements and refusals decoded since the flag was last cleared
    // (0 when clear; counts up to 255).
    std::uint8_t ack = 0;
    std::uint8_t refusal = 0;
    std::uint8_t abort = 0;  // raised by Stop/Abort/STOP, consumed by WaitForReply
    std::uint8_t pendingVersion = 0;
    std::uint8_t pendingChip = 0;
    std::uint8_t pendingHardware = 0;
    std::uint8_t pendingPreparation = 0;
    std::uint8_t identityCounter = NoIdentityBytesExpected;
    std::uint16_t recordState = 0;  // 0 idle, 1 size, 2 ignored byte, 3 data
    std::uint16_t recordIndex = 0;
    std::uint16_t recordSize = 0;
};

}  // namespace torvane
