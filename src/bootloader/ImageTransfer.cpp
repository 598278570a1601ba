#include "bootloader/ImageTransfer.h"

#include "bootloader/AckedLink.h"
#include "bootloader/Frames.h"
#include "bootloader/Verdicts.h"
#include "images/Scramble.h"

namespace torvane {

namespace {

std::uint8_t Low(std::uint32_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

bool InProtectedRange(const ProtectedRange& r, std::uint32_t address) {
    return r.start != 0 && r.start <= address && address <= r.start + r.length;
}

// The frame built at the start of the transmit buffer, `count` bytes long.
std::span<const std::uint8_t> Built(std::span<std::uint8_t> buffer, int count) {
    return buffer.first(static_cast<std::size_t>(count));
}

SendResult Failed(RunContext& ctx, SendResult r) {
    ShowTransferFailure(ctx, r);
    return r;
}

}  // namespace

void ShowTransferFailure(RunContext& ctx, SendResult r) {
    ShowErrorCode(ctx, r);
    if (CurrentPortGone(ctx.port)) ctx.runView().panel(DetailPanel, DisconnectedText);
    if (r == SendLineTooNoisy) ctx.runView().panel(DetailPanel, NoisyLineDetailText);
}

bool TransferInvariantsHold(const RunContext& ctx) {
    const auto& img = ctx.images.active;
    const auto& l = ctx.layout;
    return img.data != nullptr && img.tailBytes != nullptr && img.tailCount >= 0 &&
           static_cast<std::uint32_t>(img.tailCount) <= l.rowSize && img.size >= 0 &&
           static_cast<std::uint32_t>(img.size) >= l.bootJumpCount && l.byteCount > 0 &&
           l.byteCount <= static_cast<std::uint32_t>(img.size) && img.eepromCount >= 0 &&
           (img.eepromCount == 0 || img.eepromBytes != nullptr);
}

SendResult TransferImage(RunContext& ctx) {
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
    AckedLink link(ctx);
    std::uint32_t i = 0, a = 0;
    int k = 0;
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
            if (const auto r = link.send(Built(frame, k)); r != SendOk) return Failed(ctx, r);
        }
        k = 0;
    }

    // The last block: short, or padded to a full row where the part needs it.
    if (R <= OneByteLengthMaxRow && l.padToRow) {
        while (k < fullFrame) frame[static_cast<std::size_t>(k++)] = static_cast<std::uint8_t>(FrameFill ^ ScrambleByte(Low(a)));
    } else {
        SetBlockLength(frame, R, static_cast<std::uint32_t>(k - h));
    }
    if (const auto r = link.send(Built(frame, k)); r != SendOk) return Failed(ctx, r);

    // The final block, just below the boot loader, ends with the tail bytes.
    view.finalBlock();
    const std::uint8_t mask = plain ? 0 : ScrambleByte(Low(T));
    const int finalLength = BuildFinalBlockFrame(frame, T, R, static_cast<std::uint8_t>(FrameFill ^ mask),
                                                 {img.tailBytes, static_cast<std::size_t>(img.tailCount)}, mask);
    if (const auto r = link.send(Built(frame, finalLength)); r != SendOk) return Failed(ctx, r);

    if (img.eepromCount > 0) {
        view.progress(0);
        view.progressMaximum(img.eepromCount);
        for (int j = 0; j < img.eepromCount; ++j) {
            view.eepromByte(j);
            const int n = BuildEepromFrame(frame, j, img.eepromBytes[j]);
            if (const auto r = link.send(Built(frame, n)); r != SendOk) return Failed(ctx, r);
            view.progress(j);
        }
    }
    if (const auto r = link.finish(); r != SendOk) return Failed(ctx, r);
    return SendOk;
}

}  // namespace torvane
