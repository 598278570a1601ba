#pragma once
// The boot loader's replies, decoded one byte at a time. No I/O and no clock:
// the receiver feeds whatever a read returned, in order, and the decoder keeps
// its progress in ReceiverState between reads.

#include <cstdint>

#include "bootloader/DeviceIdentity.h"

namespace torvane {

// Record states of ReceiverState::recordState.
inline constexpr std::uint16_t RecordIdle = 0;
inline constexpr std::uint16_t RecordExpectSize = 1;
inline constexpr std::uint16_t RecordExpectIgnored = 2;
inline constexpr std::uint16_t RecordExpectData = 3;

// Layout of the record data (the bytes after the size and the ignored byte).
inline constexpr std::uint16_t RecordRangeStartAt = 24;   // 16-bit, low byte first
inline constexpr std::uint16_t RecordRangeLengthAt = 26;  // 16-bit, low byte first
inline constexpr std::uint16_t RecordStoredBytes = 28;    // later data bytes are dropped

// Only these boot loader versions send a device record after their identity.
inline constexpr std::uint8_t RecordMinVersion = 8;
inline constexpr std::uint8_t RecordMaxVersion = 31;

// The version a boot loader has once it announced an identity, until its
// version byte arrives.
inline constexpr std::uint8_t AnnouncedVersion = 1;

// True for the committed boot loader versions that send a device record.
constexpr bool SendsRecord(std::uint8_t biosVersion) {
    return biosVersion >= RecordMinVersion && biosVersion <= RecordMaxVersion;
}

// Decodes one reply byte. 'K' commits the pending identity and raises the
// acknowledgement flag, 'N' the refusal flag; 'V' starts an identity, 'R' a
// device record (committed version 8..31 only); any other byte is an identity
// byte, or a bare chip code when no identity is being collected.
void FeedReplyByte(ReceiverState& rx, DeviceIdentity& id, std::uint8_t b);

}  // namespace torvane
