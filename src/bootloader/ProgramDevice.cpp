#include "bootloader/ProgramDevice.h"

#include <algorithm>
#include <array>

#include "bootloader/Frames.h"
#include "bootloader/ImageTransfer.h"
#include "bootloader/Receiver.h"
#include "bootloader/Suitability.h"

namespace torvane {

namespace {

constexpr std::uint32_t StandardReservationModern = 448;
constexpr std::uint32_t StandardReservationOld = 320;
constexpr std::uint32_t J10Reservation = 1088;
constexpr std::uint32_t DspicReservation = 128;  // address units kept for the boot loader's row
constexpr std::uint32_t DspicAddressUnit = 2;
constexpr std::uint32_t DspicRowUnits = 128;
constexpr std::uint32_t Pic18RowSize = 64;
constexpr int K80TailKeptBytes = 4;  // K80 tails keep their jump, the rest reads 0

// chip code, device panel text, flash top (address units), dsPIC, J10, pad to row
constexpr std::array<ChipInfo, 11> Chips{{
    {66, "Found 258", 0x8000, false, false, false},
    {67, "Found 2580", 0x8000, false, false, false},
    {68, "Found 2480", 0x4000, false, false, false},
    {69, "Found 248", 0x4000, false, false, false},
    {70, "Found 2320", 0x2000, false, false, false},
    {71, "Found 18F25k80", 0x8000, false, false, true},
    {72, "Found 18F26k80", 0x10000, false, false, true},
    {199, "Found 24j10", 0x4000, false, true, false},
    {252, "Found 33FJ64", 0xA800, true, false, false},
    {254, "Found 24HJ64", 0xA800, true, false, false},
    {253, "Found 33FJ128 - 24HJ128", 0x15400, true, false, false},
}};

using Jump4 = std::array<std::uint8_t, 4>;
// chip code, jump for version >= 5, jump below 5 (K80 parts have none below 5)
struct BootJump {
    std::uint8_t chipCode;
    Jump4 modern;
    std::optional<Jump4> old;
};
const std::array<BootJump, 8> Pic18Jumps{{
    {66, {0x40, 0xEF, 0x3F, 0xF0}, Jump4{0x80, 0xEF, 0x3F, 0xF0}},
    {67, {0x40, 0xEF, 0x3F, 0xF0}, Jump4{0x80, 0xEF, 0x3F, 0xF0}},
    {68, {0x40, 0xEF, 0x1F, 0xF0}, Jump4{0x80, 0xEF, 0x1F, 0xF0}},
    {69, {0x40, 0xEF, 0x1F, 0xF0}, Jump4{0x80, 0xEF, 0x1F, 0xF0}},
    {70, {0x80, 0xEF, 0x0F, 0xF0}, Jump4{0x80, 0xEF, 0x0F, 0xF0}},
    {71, {0x40, 0xEF, 0x3F, 0xF0}, std::nullopt},
    {72, {0x40, 0xEF, 0x7F, 0xF0}, std::nullopt},
    {199, {0x00, 0xEF, 0x1E, 0xF0}, Jump4{0x00, 0xEF, 0x1E, 0xF0}},
}};
constexpr std::array<std::uint8_t, 8> Jump64K{0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};   // GOTO 0xA800
constexpr std::array<std::uint8_t, 8> Jump128K{0x00, 0x54, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00};  // GOTO 0x15400

bool HasRecord(std::uint8_t version) { return version >= FirstRecordVersion && version <= LastRecordVersion; }

// A PIC18 K80 part behind a boot loader older than 5 has no known boot jump:
// programming it would leave a device that does not restart into its loader.
bool BootJumpKnown(std::uint8_t chipCode, std::uint8_t version) {
    return !((chipCode == 71 || chipCode == 72) && version < FirstModernVersion);
}

// A Stop pressed during a wait that listens for no reply: the run ends here
// with the verdict a Stop gets anywhere else.
bool StopRequested(RunContext& ctx) {
    if (ctx.receiver.abort == 0) return false;
    ctx.receiver.abort = 0;
    ShowErrorCode(ctx, SendUserAbort);
    return true;
}

std::int32_t Signed8(std::uint8_t v) { return static_cast<std::int8_t>(v); }

}  // namespace

std::optional<ChipInfo> FindChip(std::uint8_t chipCode) {
    for (const auto& c : Chips)
        if (c.chipCode == chipCode) return c;
    return std::nullopt;
}

void SetMemoryLayout(RunContext& ctx, std::uint8_t chipCode, std::uint8_t biosVersion) {
    auto& l = ctx.layout;
    l.addressUnit = 1;
    l.j10Reservation = J10Reservation;
    l.standardReservation = biosVersion >= FirstModernVersion ? StandardReservationModern : StandardReservationOld;
    if (chipCode == 252 || chipCode == 254 || chipCode == 253) {
        l.addressUnit = DspicAddressUnit;
        l.bootJump = chipCode == 253 ? Jump128K : Jump64K;
        l.bootJumpCount = 8;
        return;
    }
    for (const auto& j : Pic18Jumps) {
        if (j.chipCode != chipCode) continue;
        const auto& jump = biosVersion >= FirstModernVersion ? std::optional<Jump4>(j.modern) : j.old;
        if (!jump) return;  // left as it was
        std::copy(jump->begin(), jump->end(), l.bootJump.begin());
        l.bootJumpCount = 4;
        return;
    }
}

std::int32_t ProgramDevice(RunContext& ctx) {
    RunView& view = ctx.runView();
    auto& id = ctx.identity;
    auto& l = ctx.layout;
    auto& images = ctx.images;
    view.progress(0);
    view.progressSmooth(false);

    if (id.biosVersion >= FirstRefusedVersion) {
        view.identity();
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
    const auto chip = FindChip(id.chipCode);
    if (!chip) {
        ctx.outcome = Outcome::UnknownDevice;
        view.failed(" Error !! ");
        view.panel(DevicePanel, "Unknow Device");
        return 0;
    }
    if (!BootJumpKnown(chip->chipCode, id.biosVersion)) {
        view.identity();
        ShowErrorCode(ctx, IncompatibleBootloader);
        return 0;
    }
    SetMemoryLayout(ctx, id.chipCode, id.biosVersion);
    const auto size = static_cast<std::uint32_t>(std::max(images.active.size, 0));
    if (chip->dspic) {
        l.rowSize = DspicAddressUnit * DspicRowUnits;
        l.finalBlockAddress = chip->flashTop - DspicReservation;
        if (size > 2 * l.finalBlockAddress) {
            ctx.outcome = Outcome::NoImage;
            view.imageTooBig();
            return 0;
        }
        l.byteCount = size;
    } else {
        l.rowSize = Pic18RowSize;
        l.finalBlockAddress = chip->flashTop - (chip->j10 ? l.j10Reservation : l.standardReservation);
        l.byteCount = std::min(size, l.finalBlockAddress);
        if (chip->padToRow) {
            l.padToRow = 1;
            auto& cell = images.cell(0, slot);
            for (int t = K80TailKeptBytes; t < cell.tailCount; ++t) cell.tailBytes[t] = 0;
        }
    }
    if (images.active.size <= 1) {
        ctx.outcome = Outcome::NoImage;
        view.noImage();
        return 0;
    }
    view.panel(DevicePanel, chip->panelText);

    const ChipFamily family = chip->dspic ? ChipFamily::Dspic : ChipFamily::Pic18;
    if (!HoldsImageCodes(family, images.active) || !TransferInvariantsHold(ctx)) {
        // Product data that breaks these rules is never read past its end, nor sent.
        ctx.outcome = Outcome::NoImage;
        view.failed(" Error !! ");
        view.panel(DetailPanel, "image data not usable");
        return 0;
    }
    const auto codes = ReadImageCodes(family, images.active);
    images.active.hardwareCode = codes.hardwareCode;
    images.active.preparationCode = codes.preparationCode;
    if (chip->dspic && HasRecord(id.biosVersion))
        l.protectedRange = {id.recordRangeStart, id.recordRangeLength};

    view.highlight(images.active.plain != 0);
    view.identity();
    if (!CheckSuitability(ctx)) return 0;

    view.imageLoaded(size / l.addressUnit, 0, l.byteCount / l.addressUnit);
    if (id.identitySeen && id.biosVersion >= FirstModernVersion) {
        view.panel(StatusPanel, "Entry in PrgMode");
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
    view.programming();
    if (TransferImage(ctx) != SendOk) return 0;

    view.progress(0);
    ctx.outcome = Outcome::Programmed;
    view.programmed();
    MarkImageProgrammed(images, slot);
    if (ctx.SequenceMode) {
        if (slot == 9) {
            PumpWait(ctx, K80SettleMs);
            DrainOnce(ctx.port);
        }
        return Signed8(PendingCount(images));
    }
    return 0;
}

}  // namespace torvane
