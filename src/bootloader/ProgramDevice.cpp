#include "bootloader/ProgramDevice.h"

#include <algorithm>
#include <array>

#include "bootloader/Frames.h"
#include "bootloader/ImageTransfer.h"
#include "bootloader/Receiver.h"
#include "bootloader/Suitability.h"
#include "bootloader/Verdicts.h"

namespace torvane {

namespace {

bool HasRecord(std::uint8_t version) { return version >= FirstRecordVersion && version <= LastRecordVersion; }

// Some parts have no known boot jump behind an older boot loader: programming
// one would leave a device that does not restart into its loader.
bool BootJumpKnown(const Chip& chip, std::uint8_t version) { return JumpFor(chip, version).count != 0; }

// Address units kept free at the top of the chip's flash, the final block included.
std::uint32_t ReservedUnits(const Chip& chip, const MemoryLayout& l) {
    switch (chip.reservation) {
    case Reservation::J10: return l.j10Reservation;
    case Reservation::LoaderRow: return LoaderRowUnits;
    case Reservation::Standard: break;
    }
    return l.standardReservation;
}

// A Stop pressed during a wait that listens for no reply: the run ends here
// with the verdict a Stop gets anywhere else.
bool StopRequested(RunContext& ctx) {
    if (ctx.receiver.abort == 0) return false;
    ctx.receiver.abort = 0;
    ShowErrorCode(ctx, SendUserAbort);
    return true;
}

// A pause of the sequence between modules, as PumpWait lets time pass but
// ended at the step where Stop was pressed: false then, the flag consumed.
bool PauseUnlessStopped(RunContext& ctx, int ms) {
    for (; ms > 0; ms -= StepMs) {
        PumpWait(ctx, StepMs);
        if (ctx.receiver.abort != 0) {
            ctx.receiver.abort = 0;
            return false;
        }
    }
    return true;
}

// Stop during a repeat action: the run ends with the verdict a Stop gets.
std::int32_t Stopped(RunContext& ctx) {
    ShowErrorCode(ctx, SendUserAbort);
    return 0;
}

std::int32_t Signed8(std::uint8_t v) { return static_cast<std::int8_t>(v); }

}  // namespace

void SetMemoryLayout(RunContext& ctx, std::uint8_t chipCode, std::uint8_t biosVersion) {
    auto& l = ctx.layout;
    l.addressUnit = 1;
    l.j10Reservation = J10ReservationBytes;
    l.standardReservation = biosVersion >= FirstModernVersion ? StandardReservationModern : StandardReservationOld;
    const Chip* chip = FindChip(chipCode);
    if (chip == nullptr) return;
    l.addressUnit = chip->addressUnit;
    const BootJump& jump = JumpFor(*chip, biosVersion);
    if (jump.count == 0) return;  // left as it was
    std::copy(jump.bytes.begin(), jump.bytes.begin() + jump.count, l.bootJump.begin());
    l.bootJumpCount = jump.count;
}

std::int32_t ProgramDevice(RunContext& ctx) {
    RunView& view = ctx.runView();
    auto& id = ctx.identity;
    auto& l = ctx.layout;
    auto& images = ctx.images;
    view.progress(0);
    view.progressSmooth(false);

    if (id.biosVersion >= FirstRefusedVersion) {
        view.identity(ctx.identity, ctx.images.active);
        ShowErrorCode(ctx, IncompatibleBootloader);
        return 0;
    }
    if (HasRecord(id.biosVersion)) {
        for (int n = 0; n < RecordPolls && id.recordDone == 0; ++n) {
            PollReceiver(ctx);
            PumpWait(ctx, RecordPollMs);
            if (StopRequested(ctx)) return 0;
        }
    }
    if (!id.identitySeen) id.hardwareCode = NoIdentityHardware;

    const ImageSlot slot = SelectImage(images, id.chipCode, id.hardwareCode);

    if (ctx.SequenceMode && ImagePending(images, slot) == PendingDone) {
        switch (RepeatAction(images, slot)) {
        case RepeatWaitOneSecond:
            if (!PauseUnlessStopped(ctx, RepeatWaitMs)) return Stopped(ctx);
            ctx.outcome = Outcome::RepeatDone;
            return 1;
        case RepeatSendAccessFrames:
            SendAccessTextFrame(ctx);
            if (!PauseUnlessStopped(ctx, AccessFramePauseMs)) return Stopped(ctx);
            DrainOnce(ctx.port);
            SendCommand4Frame(ctx);
            if (!PauseUnlessStopped(ctx, AccessFramePauseMs)) return Stopped(ctx);
            DrainOnce(ctx.port);
            ctx.outcome = Outcome::RepeatDone;
            return 1;
        default:
            break;  // program the slot again
        }
    }

    l.padToRow = 0;
    const Chip* chip = FindChip(id.chipCode);
    if (chip == nullptr) {
        ctx.outcome = Outcome::UnknownDevice;
        view.failed(ErrorText);
        view.panel(DevicePanel, UnknownDeviceText);
        return 0;
    }
    if (!BootJumpKnown(*chip, id.biosVersion)) {
        view.identity(ctx.identity, ctx.images.active);
        ShowErrorCode(ctx, IncompatibleBootloader);
        return 0;
    }
    SetMemoryLayout(ctx, id.chipCode, id.biosVersion);
    const auto size = static_cast<std::uint32_t>(std::max(images.active.size, 0));
    const bool dspic = chip->family == ChipFamily::Dspic;
    l.rowSize = chip->rowSize;
    l.finalBlockAddress = chip->flashTop - ReservedUnits(*chip, l);
    if (dspic) {
        // A dsPIC image is sent whole or not at all: cutting it would lose code.
        if (size > l.addressUnit * l.finalBlockAddress) {
            ctx.outcome = Outcome::NoImage;
            view.imageTooBig(ctx.identity, ctx.images.active);
            return 0;
        }
        l.byteCount = size;
    } else {
        l.byteCount = std::min(size, l.finalBlockAddress);
    }
    if (chip->padToRow) l.padToRow = 1;
    if (const auto& cell = images.cell(0, slot);
        chip->tailKept != WholeTail && cell.tailBytes != nullptr && cell.tailCount > chip->tailKept) {
        // Zeroed in this context's own copy, which its later runs keep sending;
        // the compiled-in tail stays as it is for every other context.
        auto tail = PatchableCopy(images, cell.tailBytes, static_cast<std::size_t>(cell.tailCount));
        std::fill(tail.begin() + chip->tailKept, tail.end(), std::uint8_t{0});
    }
    if (images.active.size <= 1) {
        ctx.outcome = Outcome::NoImage;
        view.noImage(ctx.identity, ctx.images.active);
        return 0;
    }
    view.panel(DevicePanel, chip->panelText);

    const ChipFamily family = chip->family;
    if (!HoldsImageCodes(family, images.active) || !TransferInvariantsHold(ctx)) {
        // Product data that breaks these rules is never read past its end, nor sent.
        ctx.outcome = Outcome::NoImage;
        view.failed(ErrorText);
        view.panel(DetailPanel, ImageNotUsableText);
        return 0;
    }
    const auto codes = ReadImageCodes(family, images.active);
    images.active.hardwareCode = codes.hardwareCode;
    images.active.preparationCode = codes.preparationCode;
    if (dspic && HasRecord(id.biosVersion))
        l.protectedRange = {id.recordRangeStart, id.recordRangeLength};

    view.highlight(images.active.plain != 0);
    view.identity(ctx.identity, ctx.images.active);
    if (!CheckSuitability(ctx)) return 0;

    view.imageLoaded(size / l.addressUnit, 0, l.byteCount / l.addressUnit);
    if (id.identitySeen && id.biosVersion >= FirstModernVersion) {
        view.panel(StatusPanel, "Entry in PrgMode");
        ctx.receiver.ack = 0;
        ctx.receiver.refusal = 0;
        ctx.FrameBuffer[0] = EnterProgramming;
        const auto sentAt = PumpOf(ctx).now();
        WritePort(ctx.port, ctx.port.CurrentPort, ctx.FrameBuffer.data(), 1);
        // Some boot loaders never answer 204, so its answer or silence does
        // not end the run; a Stop pressed while it is awaited does. Silence
        // may also be a device still erasing, whose answer comes later: the
        // transfer must not take it for its first block's.
        switch (WaitForReply(ctx, ProgrammingModeReplyMs)) {
        case WaitAborted:
            ShowErrorCode(ctx, SendUserAbort);
            return 0;
        case WaitNothing:
            ctx.answerOwedSince = sentAt;
            break;
        default:
            break;
        }
    }
    view.programming();
    if (TransferImage(ctx) != SendOk) return 0;

    view.progress(0);
    ctx.outcome = Outcome::Programmed;
    view.programmed();
    MarkImageProgrammed(images, slot);
    if (ctx.SequenceMode) {
        if (RuleOfSlot(slot).settlesAfterSequence) {
            // Stopped here, the module is programmed: its verdict stays, and
            // the sequence ends instead of going on to the next module.
            if (!PauseUnlessStopped(ctx, K80SettleMs)) return 0;
            DrainOnce(ctx.port);
        }
        return Signed8(PendingCount(images));
    }
    return 0;
}

}  // namespace torvane
