#include "bootloader/ImageTransfer.h"

#include "bootloader/Frames.h"
#include "bootloader/Receiver.h"
#include "images/Scramble.h"

namespace torvane {

namespace {

std::uint8_t Low(std::uint32_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

bool InProtectedRange(const ProtectedRange& r, std::uint32_t address) {
    return r.start != 0 && r.start <= address && address <= r.start + r.length;
}

// The answer that ended a resent block's wait may be the first copy's, come
// late; the resend's own answer then follows about as late again. It is
// listened for before the next frame goes out, so that it can never be taken
// for that frame's answer. `firstSent` is when the first copy went out.
std::int16_t AwaitLateDuplicate(RunContext& ctx, Clock::TimePoint firstSent) {
    const auto now = PumpOf(ctx).now();
    const auto lateness = std::chrono::duration_cast<std::chrono::milliseconds>(now - firstSent);
    const int waitMs = static_cast<int>(lateness.count()) + LateDuplicateMarginMs;
    return WaitForReply(ctx, waitMs) == WaitAborted ? SendUserAbort : SendOk;
}

// A block inside the loop: sent again after silence, unless the device has
// gone away (then every resend would wait in vain) or the transfer has met
// silence too often already. Whatever is still waiting on the line is
// discarded before the resend.
std::int16_t SendInnerBlock(RunContext& ctx, std::span<std::uint8_t> frame, int count, int& silences) {
    const auto firstSent = PumpOf(ctx).now();
    auto r = SendAcked(ctx, frame.data(), count);
    for (int resend = 0; r == SendNoResponse && resend < SilentBlockResends; ++resend) {
        if (CurrentPortGone(ctx.port) || ++silences > MaxSilencesPerTransfer) break;
        DrainInput(ctx.port);
        r = SendAcked(ctx, frame.data(), count);
        if (r == SendOk) r = AwaitLateDuplicate(ctx, firstSent);
    }
    return r;
}

}  // namespace

bool TransferInvariantsHold(const RunContext& ctx) {
    const auto& img = ctx.images.active;
    const auto& l = ctx.layout;
    return img.data != nullptr && img.tailBytes != nullptr && img.tailCount >= 0 &&
           static_cast<std::uint32_t>(img.tailCount) <= l.rowSize && img.size >= 0 &&
           static_cast<std::uint32_t>(img.size) >= l.bootJumpCount && l.byteCount > 0 &&
           l.byteCount <= static_cast<std::uint32_t>(img.size) && img.eepromCount >= 0 &&
           (img.eepromCount == 0 || img.eepromBytes != nullptr);
}

std::int16_t TransferImage(RunContext& ctx) {
    auto& img = ctx.images.active;
    const auto& l = ctx.layout;
    const std::uint32_t U = l.addressUnit, R = l.rowSize, T = l.finalBlockAddress, C = l.byteCount;
    const bool plain = img.plain != 0;
    RunView& view = ctx.runView();
    std::span<std::uint8_t> frame(ctx.FrameBuffer);

    // The device must restart into its boot loader: the image's reset jump is
    // replaced by the boot jump, in this context's own copy of the image.
    const auto data = PatchableCopy(ctx.images, img.data, static_cast<std::size_t>(img.size));
    for (std::uint32_t k = 0; k < l.bootJumpCount; ++k)
        data[k] = plain ? l.bootJump[k] : static_cast<std::uint8_t>(l.bootJump[k] ^ ScrambleByte(0));

    view.progress(0);
    view.progressMaximum(static_cast<int>(C / U));
    const int h = FrameHeaderLength(R);
    const int fullFrame = h + static_cast<int>(R);
    std::uint32_t i = 0, a = 0;
    int k = 0;
    int silences = 0;
    while (i < C) {
        if (k == 0) {
            a = i / U;
            view.blockStarted(a);
            k = StartBlockFrame(frame, a, R);
        }
        if (k < fullFrame) {
            frame[static_cast<std::size_t>(k++)] = img.data[i++];
            continue;
        }
        const std::uint32_t next = i / U;  // the range test looks at the address past the block
        view.progress(static_cast<int>(next));
        if (!InProtectedRange(l.protectedRange, next)) {
            if (const auto r = SendInnerBlock(ctx, frame, k, silences); r != SendOk) {
                ShowErrorCode(ctx, r);
                if (CurrentPortGone(ctx.port)) view.panel(DetailPanel, DisconnectedText);
                return r;
            }
        }
        k = 0;
    }

    // The last block: short, or padded to a full row where the part needs it.
    if (R <= OneByteLengthMaxRow && l.padToRow) {
        while (k < fullFrame) frame[static_cast<std::size_t>(k++)] = static_cast<std::uint8_t>(FrameFill ^ ScrambleByte(Low(a)));
    } else {
        SetBlockLength(frame, R, static_cast<std::uint32_t>(k - h));
    }
    if (const auto r = SendAcked(ctx, frame.data(), k); r < 0) {
        ShowErrorCode(ctx, r);
        return r;
    }

    // The final block, just below the boot loader, ends with the tail bytes.
    view.finalBlock();
    const std::uint8_t mask = plain ? 0 : ScrambleByte(Low(T));
    const int finalLength = BuildFinalBlockFrame(frame, T, R, static_cast<std::uint8_t>(FrameFill ^ mask),
                                                 {img.tailBytes, static_cast<std::size_t>(img.tailCount)}, mask);
    if (const auto r = SendAcked(ctx, frame.data(), finalLength); r < 0) {
        ShowErrorCode(ctx, r);
        return r;
    }

    if (img.eepromCount > 0) {
        view.progress(0);
        view.progressMaximum(img.eepromCount);
        for (int j = 0; j < img.eepromCount; ++j) {
            view.eepromByte(j);
            const int n = BuildEepromFrame(frame, j, img.eepromBytes[j]);
            if (const auto r = SendAcked(ctx, frame.data(), n); r < 0) {
                ShowErrorCode(ctx, r);
                return r;
            }
            view.progress(j);
        }
    }
    return SendOk;
}

}  // namespace torvane
