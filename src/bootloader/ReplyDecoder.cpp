#include "bootloader/ReplyDecoder.h"

namespace torvane {

namespace {

void StoreRecordByte(DeviceIdentity& id, std::uint16_t at, std::uint8_t b) {
    if (at < RecordTextLength) {
        id.recordText[at] = static_cast<char>(b);
        id.recordText[at + 1u] = '\0';
    } else if (at == RecordRangeStartAt) {
        id.recordRangeStart = static_cast<std::uint16_t>((id.recordRangeStart & 0xFF00u) | b);
    } else if (at == RecordRangeStartAt + 1) {
        id.recordRangeStart = static_cast<std::uint16_t>((id.recordRangeStart & 0x00FFu) | (b << 8));
    } else if (at == RecordRangeLengthAt) {
        id.recordRangeLength = static_cast<std::uint16_t>((id.recordRangeLength & 0xFF00u) | b);
    } else if (at == RecordRangeLengthAt + 1) {
        id.recordRangeLength = static_cast<std::uint16_t>((id.recordRangeLength & 0x00FFu) | (b << 8));
    }
    // From RecordStoredBytes on the byte is counted and dropped.
}

void FeedIdentityByte(ReceiverState& rx, DeviceIdentity& id, std::uint8_t b) {
    switch (rx.identityCounter) {
    case 0:
        rx.pendingVersion = b;
        rx.identityCounter = 1;
        break;
    case 1:
        rx.pendingChip = b;
        rx.identityCounter = 2;
        break;
    case 2:
        rx.pendingHardware = b;
        rx.identityCounter = 3;
        break;
    case 3:
        rx.pendingPreparation = b;
        rx.identityCounter = NoIdentityBytesExpected;
        break;
    default:
        // A boot loader without identity answers with its bare chip code; the
        // hardware and preparation codes keep whatever was pending.
        id.identitySeen = 0;
        rx.pendingVersion = 0;
        rx.pendingChip = b;
        break;
    }
}

// The flags count their answers since they were last cleared, so a wait can
// tell one answer from several: two answers to one frame mean one of them
// belongs to something else.
void CountAnswer(std::uint8_t& count) {
    if (count < UINT8_MAX) ++count;
}

}  // namespace

void FeedReplyByte(ReceiverState& rx, DeviceIdentity& id, std::uint8_t b) {
    switch (rx.recordState) {
    case RecordExpectSize:
        rx.recordSize = b;
        rx.recordIndex = 0;
        rx.recordState = RecordExpectIgnored;
        return;
    case RecordExpectIgnored:
        rx.recordState = RecordExpectData;
        return;
    case RecordExpectData:
        // Data bytes may be 'K'; only a 'K' after the last one closes the record.
        if (rx.recordIndex < rx.recordSize) {
            StoreRecordByte(id, rx.recordIndex, b);
            ++rx.recordIndex;
        } else if (b == ReplyAck) {
            id.recordDone = 1;
            rx.recordState = RecordIdle;
        }
        return;
    default:
        break;
    }

    if (b == ReplyRecord && SendsRecord(id.biosVersion)) {
        rx.recordIndex = 0;
        rx.recordState = RecordExpectSize;
    } else if (b == ReplyAck) {
        id.chipCode = rx.pendingChip;
        id.biosVersion = rx.pendingVersion;
        id.hardwareCode = rx.pendingHardware;
        id.preparationCode = rx.pendingPreparation;
        CountAnswer(rx.ack);
    } else if (b == ReplyRefuse) {
        CountAnswer(rx.refusal);
    } else if (b == ReplyIdentity) {
        id.identitySeen = 1;
        rx.pendingVersion = AnnouncedVersion;
        rx.identityCounter = 0;
        id.recordDone = 0;
    } else {
        FeedIdentityByte(rx, id, b);
    }
}

}  // namespace torvane
