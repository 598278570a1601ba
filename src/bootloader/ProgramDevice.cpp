#include "bootloader/ProgramDevice.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "bootloader/Frames.h"
#include "bootloader/ImageTransfer.h"
#include "bootloader/Receiver.h"
#include "bootloader/Suitability.h"
#include "ui/Presenter.h"

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

void Verdict(Context& ctx) {
    switch (ActiveFrontEnd(ctx.presenter)) {
    case FrontEnd::LoaderWindow:
        ShowProgress(ctx, "Successfully updated", ClGreen);
        ShowIdle(ctx);
        break;
    case FrontEnd::UpgradeWindow:
        SetPanelText(ctx, *ctx.presenter.upgrade->StatusBar1, StatusPanel, "Program OK");
        ShowIdle(ctx);
        break;
    case FrontEnd::MainWindow:
        ShowResult(ctx, " Program Ok ", ClGreen, 1);
        ShowIdle(ctx);
        break;
    }
}

// A Stop pressed during a wait that listens for no reply: the run ends here
// with the verdict a Stop gets anywhere else.
bool StopRequested(Context& ctx) {
    if (ctx.receiver.abort == 0) return false;
    ctx.receiver.abort = 0;
    ShowErrorCode(ctx, SendUserAbort);
    return true;
}

std::int32_t Signed8(std::uint8_t v) { return static_cast<std::int8_t>(v); }

}  // namespace

void SetMemoryLayout(Context& ctx, std::uint8_t chipCode, std::uint8_t biosVersion) {
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

std::int32_t ProgramDevice(Context& ctx, ProgressBar& bar, StatusBar& status) {
    auto& id = ctx.identity;
    auto& l = ctx.layout;
    auto& images = ctx.images;
    bar.setPosition(0);
    bar.setSmooth(false);

    if (id.biosVersion >= FirstRefusedVersion) {
        ShowIdentity(ctx);
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
            PumpOf(ctx).sleep(std::chrono::milliseconds(RepeatWaitMs));
            ctx.outcome = Outcome::RepeatDone;
            return 1;
        case RepeatSendAccessFrames:
            SendAccessTextFrame(ctx);
            PumpWait(ctx, AccessFramePauseMs);
            DrainOnce(ctx.port);
            SendCommand4Frame(ctx);
            PumpWait(ctx, AccessFramePauseMs);
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
        ShowResult(ctx, " Error !! ", ClRed, 0);
        SetPanelText(ctx, status, DevicePanel, "Unknow Device");
        return 0;
    }
    if (!BootJumpKnown(*chip, id.biosVersion)) {
        ShowIdentity(ctx);
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
            ShowImageTooBig(ctx);
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
        ShowNoImage(ctx);
        return 0;
    }
    SetPanelText(ctx, status, DevicePanel, chip->panelText);

    const ChipFamily family = chip->family;
    if (!HoldsImageCodes(family, images.active) || !TransferInvariantsHold(ctx)) {
        // Product data that breaks these rules is never read past its end, nor sent.
        ctx.outcome = Outcome::NoImage;
        ShowResult(ctx, " Error !! ", ClRed, 0);
        SetPanelText(ctx, status, DetailPanel, "image data not usable");
        return 0;
    }
    const auto codes = ReadImageCodes(family, images.active);
    images.active.hardwareCode = codes.hardwareCode;
    images.active.preparationCode = codes.preparationCode;
    if (dspic && HasRecord(id.biosVersion))
        l.protectedRange = {id.recordRangeStart, id.recordRangeLength};

    SetHighlight(ctx, images.active.plain != 0);
    ShowIdentity(ctx);
    if (!CheckSuitability(ctx, status)) return 0;

    if (ActiveFrontEnd(ctx.presenter) == FrontEnd::MainWindow) {
        char text[64];
        std::snprintf(text, sizeof text, "Loaded %d bytes (%04X to %04X)", static_cast<int>(size / l.addressUnit), 0,
                      static_cast<unsigned>(l.byteCount / l.addressUnit));
        SetPanelText(ctx, status, DetailPanel, text);
    }
    if (id.identitySeen && id.biosVersion >= FirstModernVersion) {
        SetPanelText(ctx, status, StatusPanel, "Entry in PrgMode");
        ctx.receiver.ack = 0;
        ctx.receiver.refusal = 0;
        ctx.FrameBuffer[0] = EnterProgramming;
        WritePort(ctx.port, ctx.port.CurrentPort, ctx.FrameBuffer.data(), 1);
        // Some boot loaders never answer 204, so its answer or silence does
        // not matter; a Stop pressed while it is awaited does.
        if (WaitForReply(ctx, ProgrammingModeReplyMs) == WaitAborted) {
            ShowErrorCode(ctx, SendUserAbort);
            return 0;
        }
    }
    ShowProgress(ctx, " Programming... ", ClBtnFace);
    if (TransferImage(ctx, bar, status) != SendOk) return 0;

    bar.setPosition(0);
    ctx.outcome = Outcome::Programmed;
    Verdict(ctx);
    MarkImageProgrammed(images, slot);
    if (ctx.SequenceMode) {
        if (RuleOfSlot(slot).settlesAfterSequence) {
            PumpWait(ctx, K80SettleMs);
            DrainOnce(ctx.port);
        }
        return Signed8(PendingCount(images));
    }
    return 0;
}

}  // namespace torvane
