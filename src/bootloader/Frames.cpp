#include "bootloader/Frames.h"

#include <algorithm>
#include <array>
#include <string>

#include "bootloader/Verdicts.h"

namespace torvane {

namespace {

constexpr std::size_t AddressBytes = 3;

void WriteLength(std::span<std::uint8_t> buffer, std::uint32_t rowSize, std::uint32_t length) {
    if (rowSize <= OneByteLengthMaxRow) {
        buffer[AddressBytes] = static_cast<std::uint8_t>(length);
    } else {
        buffer[AddressBytes] = static_cast<std::uint8_t>(length >> 8);
        buffer[AddressBytes + 1] = static_cast<std::uint8_t>(length);
    }
}

}  // namespace

std::uint8_t Checksum8(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    return static_cast<std::uint8_t>(-sum);
}

std::uint16_t Sum16(std::span<const std::uint8_t> bytes) {
    std::uint16_t sum = 0;
    for (std::uint8_t b : bytes) sum = static_cast<std::uint16_t>(sum + b);
    return sum;
}

int FrameHeaderLength(std::uint32_t rowSize) {
    return rowSize <= OneByteLengthMaxRow ? ShortHeaderLength : LongHeaderLength;
}

int StartBlockFrame(std::span<std::uint8_t> buffer, std::uint32_t address, std::uint32_t rowSize,
                    std::uint8_t fill) {
    std::fill(buffer.begin(), buffer.end(), fill);
    buffer[0] = static_cast<std::uint8_t>(address >> 16);
    buffer[1] = static_cast<std::uint8_t>(address >> 8);
    buffer[2] = static_cast<std::uint8_t>(address);
    WriteLength(buffer, rowSize, rowSize);
    return FrameHeaderLength(rowSize);
}

void SetBlockLength(std::span<std::uint8_t> buffer, std::uint32_t rowSize, std::uint32_t length) {
    WriteLength(buffer, rowSize, length);
}

int BuildBlockFrame(std::span<std::uint8_t> buffer, std::uint32_t address, std::uint32_t rowSize,
                    std::span<const std::uint8_t> data) {
    const int h = StartBlockFrame(buffer, address, rowSize);
    SetBlockLength(buffer, rowSize, static_cast<std::uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), buffer.begin() + h);
    return h + static_cast<int>(data.size());
}

int BuildFinalBlockFrame(std::span<std::uint8_t> buffer, std::uint32_t address, std::uint32_t rowSize,
                         std::uint8_t fill, std::span<const std::uint8_t> tail, std::uint8_t tailMask) {
    const int h = StartBlockFrame(buffer, address, rowSize, fill);
    const int end = h + static_cast<int>(rowSize);
    auto at = buffer.begin() + (end - static_cast<int>(tail.size()));
    for (std::uint8_t b : tail) *at++ = static_cast<std::uint8_t>(b ^ tailMask);
    return end;
}

int BuildEepromFrame(std::span<std::uint8_t> buffer, int index, std::uint8_t value) {
    std::fill(buffer.begin(), buffer.end(), FrameFill);
    buffer[0] = EepromCommand;
    buffer[1] = static_cast<std::uint8_t>(index & 0xFF);
    buffer[2] = value;
    buffer[3] = EepromFrameByte3;
    buffer[4] = EepromFrameByte4;
    return EepromFrameLength;
}

WriteResult SendAccessTextFrame(RunContext& ctx) {
    std::array<std::uint8_t, AccessTextFrameLength> frame{};
    frame[0] = AccessTextCommand;
    frame[1] = static_cast<std::uint8_t>(AccessText.size());
    std::copy(AccessText.begin(), AccessText.end(), frame.begin() + 2);
    const std::uint16_t sum = Sum16({frame.data(), AccessTextFrameLength - 2});
    frame[AccessTextFrameLength - 2] = static_cast<std::uint8_t>(sum >> 8);
    frame[AccessTextFrameLength - 1] = static_cast<std::uint8_t>(sum);
    return WritePort(ctx.port, ctx.port.CurrentPort, frame);
}

WriteResult SendCommand4Frame(RunContext& ctx) {
    std::array<std::uint8_t, Command4FrameLength> frame{Command4, 0, 0, 0};
    const std::uint16_t sum = Sum16({frame.data(), 2});
    frame[2] = static_cast<std::uint8_t>(sum >> 8);
    frame[3] = static_cast<std::uint8_t>(sum);
    return WritePort(ctx.port, ctx.port.CurrentPort, frame);
}

void ShowErrorCode(RunContext& ctx, SendResult code) {
    struct Verdict {
        SendResult code;
        std::string_view text;
        Outcome outcome;
    };
    // code, text shown, how the run ended
    static constexpr std::array<Verdict, 5> Verdicts{{
        {SendNoResponse, NoResponseText, Outcome::NotAcknowledged},
        {SendUserAbort, UserAbortText, Outcome::Aborted},
        {SendRefused, RefusedText, Outcome::Refused},
        {IncompatibleBootloader, IncompatibleText, Outcome::Incompatible},
        {SendLineTooNoisy, NoisyLineText, Outcome::NoisyLine},
    }};
    for (const Verdict& v : Verdicts) {
        if (v.code != code) continue;
        ctx.outcome = v.outcome;
        ctx.runView().failed(v.text);
        return;
    }
}

}  // namespace torvane
