#include "bootloader/ProgramDevice.h"

#include <algorithm>
#include <array>
#include <optional>

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
bool PauseUnlessStopped(RunContext& ctx, std::chrono::milliseconds pause) {
    for (auto left = pause; left > left.zero(); left -= Step) {
        PumpWait(ctx, Step);
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

std::uint32_t ImageBytes(const RunContext& ctx) { return static_cast<std::uint32_t>(std::max(ctx.images.active.size, 0)); }

// The boot loader is one this updater cannot program through: shown with the
// device it found.
void RefuseBootLoader(RunContext& ctx) {
    ctx.runView().identity(ctx.identity, ctx.images.active);
    ShowErrorCode(ctx, IncompatibleBootloader);
}

// Boot loaders that keep a device record send it after their wake-up answer;
// it is read before anything else. False when Stop ended the wait.
bool ReadDeviceRecord(RunContext& ctx) {
    if (!HasRecord(ctx.identity.biosVersion)) return true;
    for (int n = 0; n < RecordPolls && ctx.identity.recordDone == 0; ++n) {
        PollReceiver(ctx);
        PumpWait(ctx, RecordPollInterval);
        if (StopRequested(ctx)) return false;
    }
    return true;
}

// The access frames tell a module whose slot is done that it may go. A frame
// the port would not write ends the action the way a module that ignores the
// frames ends it, without the pauses. False when Stop ended it.
bool SendAccessFrames(RunContext& ctx) {
    if (SendAccessTextFrame(ctx) != WriteAccepted) return true;
    if (!PauseUnlessStopped(ctx, AccessFramePause)) return false;
    DrainOnce(ctx.port);
    if (SendCommand4Frame(ctx) != WriteAccepted) return true;
    if (!PauseUnlessStopped(ctx, AccessFramePause)) return false;
    DrainOnce(ctx.port);
    return true;
}

// Sequence mode, a slot already programmed: its repeat action instead of
// programming it again. The run's result when the action was carried out (or
// stopped), nothing when the slot is to be programmed again.
std::optional<std::int32_t> CarryOutRepeatAction(RunContext& ctx, ImageSlot slot) {
    if (!ctx.SequenceMode || ImagePending(ctx.images, slot) != PendingDone) return std::nullopt;
    switch (RepeatAction(ctx.images, slot)) {
    case RepeatWaitOneSecond:
        if (!PauseUnlessStopped(ctx, RepeatWait)) return Stopped(ctx);
        break;
    case RepeatSendAccessFrames:
        if (!SendAccessFrames(ctx)) return Stopped(ctx);
        break;
    default:
        return std::nullopt;  // program the slot again
    }
    ctx.outcome = Outcome::RepeatDone;
    return 1;
}

// The chip the device reported, when this updater knows it and its boot jump
// behind this boot loader; otherwise nullptr, the verdict shown.
const Chip* ChipToProgram(RunContext& ctx) {
    RunView& view = ctx.runView();
    const Chip* chip = FindChip(ctx.identity.chipCode);
    if (chip == nullptr) {
        ctx.outcome = Outcome::UnknownDevice;
        view.failed(ErrorText);
        view.panel(DevicePanel, UnknownDeviceText);
        return nullptr;
    }
    if (!BootJumpKnown(*chip, ctx.identity.biosVersion)) {
        RefuseBootLoader(ctx);
        return nullptr;
    }
    return chip;
}

// Row size, final block address and how much of the image goes below it.
// False, the verdict shown, when a dsPIC image does not fit whole.
bool LayOutTransfer(RunContext& ctx, const Chip& chip) {
    auto& l = ctx.layout;
    SetMemoryLayout(ctx, ctx.identity.chipCode, ctx.identity.biosVersion);
    const std::uint32_t size = ImageBytes(ctx);
    l.rowSize = chip.rowSize;
    l.finalBlockAddress = chip.flashTop - ReservedUnits(chip, l);
    if (chip.family == ChipFamily::Dspic) {
        // A dsPIC image is sent whole or not at all: cutting it would lose code.
        if (size > l.addressUnit * l.finalBlockAddress) {
            ctx.outcome = Outcome::NoImage;
            ctx.runView().imageTooBig(ctx.identity, ctx.images.active);
            return false;
        }
        l.byteCount = size;
    } else {
        l.byteCount = std::min(size, l.finalBlockAddress);
    }
    if (chip.padToRow) l.padToRow = 1;
    return true;
}

// Tail bytes past what the chip keeps are sent as zeros.
void ZeroUnkeptTail(RunContext& ctx, const Chip& chip, ImageSlot slot) {
    auto& images = ctx.images;
    const auto& cell = images.cell(0, slot);
    if (chip.tailKept == WholeTail || cell.tailBytes == nullptr || cell.tailCount <= chip.tailKept) return;
    // Zeroed in this context's own copy, which its later runs keep sending;
    // the compiled-in tail stays as it is for every other context.
    auto tail = PatchableCopy(images, cell.tailBytes, static_cast<std::size_t>(cell.tailCount));
    std::fill(tail.begin() + chip.tailKept, tail.end(), std::uint8_t{0});
}

// The active image is there and keeps the rules the transfer relies on; its
// header codes are taken for the suitability check. False, the verdict shown,
// otherwise.
bool ImageReady(RunContext& ctx, const Chip& chip) {
    RunView& view = ctx.runView();
    auto& active = ctx.images.active;
    if (active.size <= 1) {
        ctx.outcome = Outcome::NoImage;
        view.noImage(ctx.identity, ctx.images.active);
        return false;
    }
    view.panel(DevicePanel, chip.panelText);
    if (!HoldsImageCodes(chip.family, active) || !TransferInvariantsHold(ctx)) {
        // Product data that breaks these rules is never read past its end, nor sent.
        ctx.outcome = Outcome::NoImage;
        view.failed(ErrorText);
        view.panel(DetailPanel, ImageNotUsableText);
        return false;
    }
    const auto codes = ReadImageCodes(chip.family, active);
    active.hardwareCode = codes.hardwareCode;
    active.preparationCode = codes.preparationCode;
    const auto& id = ctx.identity;
    if (chip.family == ChipFamily::Dspic && HasRecord(id.biosVersion))
        ctx.layout.protectedRange = {id.recordRangeStart, id.recordRangeLength};
    return true;
}

// Boot loaders that report themselves and are recent enough are asked into
// programming mode with 204. False when the run ends here: Stop pressed while
// the answer was awaited, or a 204 the port would not write (the verdict of a
// module that does not answer, without waiting for its silence).
bool EnterProgrammingMode(RunContext& ctx) {
    const auto& id = ctx.identity;
    if (!id.identitySeen || id.biosVersion < FirstModernVersion) return true;
    ctx.runView().panel(StatusPanel, "Entry in PrgMode");
    ctx.receiver.ack = 0;
    ctx.receiver.refusal = 0;
    ctx.FrameBuffer[0] = EnterProgramming;
    const auto sentAt = PumpOf(ctx).now();
    if (WritePort(ctx.port, ctx.port.CurrentPort, std::span(ctx.FrameBuffer).first(1)) != WriteAccepted) {
        ShowTransferFailure(ctx, SendNoResponse);
        return false;
    }
    // Some boot loaders never answer 204, so its answer or silence does
    // not end the run; a Stop pressed while it is awaited does. Silence
    // may also be a device still erasing, whose answer comes later: the
    // transfer must not take it for its first block's.
    switch (WaitForReply(ctx, ProgrammingModeReply)) {
    case WaitAborted:
        ShowErrorCode(ctx, SendUserAbort);
        return false;
    case WaitNothing:
        ctx.answerOwedSince = sentAt;
        break;
    default:
        break;
    }
    return true;
}

// The verdict of a programmed module, and in sequence mode how many images
// are still pending.
std::int32_t Programmed(RunContext& ctx, ImageSlot slot) {
    RunView& view = ctx.runView();
    view.progress(0);
    ctx.outcome = Outcome::Programmed;
    view.programmed();
    MarkImageProgrammed(ctx.images, slot);
    if (!ctx.SequenceMode) return 0;
    if (RuleOfSlot(slot).settlesAfterSequence) {
        // Stopped here, the module is programmed: its verdict stays, and
        // the sequence ends instead of going on to the next module.
        if (!PauseUnlessStopped(ctx, K80Settle)) return 0;
        DrainOnce(ctx.port);
    }
    return Signed8(PendingCount(ctx.images));
}

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
    view.progress(0);
    view.progressSmooth(false);

    if (id.biosVersion >= FirstRefusedVersion) {
        RefuseBootLoader(ctx);
        return 0;
    }
    if (!ReadDeviceRecord(ctx)) return 0;
    if (!id.identitySeen) id.hardwareCode = NoIdentityHardware;

    const ImageSlot slot = SelectImage(ctx.images, id.chipCode, id.hardwareCode);
    if (const auto repeated = CarryOutRepeatAction(ctx, slot)) return *repeated;

    ctx.layout.padToRow = 0;
    const Chip* chip = ChipToProgram(ctx);
    if (chip == nullptr || !LayOutTransfer(ctx, *chip)) return 0;
    ZeroUnkeptTail(ctx, *chip, slot);
    if (!ImageReady(ctx, *chip)) return 0;

    view.highlight(ctx.images.active.plain != 0);
    view.identity(ctx.identity, ctx.images.active);
    if (!CheckSuitability(ctx)) return 0;

    const auto& l = ctx.layout;
    view.imageLoaded(ImageBytes(ctx) / l.addressUnit, 0, l.byteCount / l.addressUnit);
    if (!EnterProgrammingMode(ctx)) return 0;
    view.programming();
    if (TransferImage(ctx) != SendOk) return 0;
    return Programmed(ctx, slot);
}

}  // namespace torvane
