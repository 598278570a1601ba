#include "ui/RunRecord.h"

#include <chrono>
#include <cstdio>

#include "formats/Json.h"
#include "images/Chips.h"
#include "images/ImageTable.h"
#include "platform/Platform.h"

namespace torvane {

int ExitCodeOf(Outcome o) {
    switch (o) {
    case Outcome::Programmed:
    case Outcome::RepeatDone:
    case Outcome::None: return ExitProgrammed;
    case Outcome::NotFound: return ExitNotFound;
    case Outcome::PortUnusable: return ExitPortUnusable;
    case Outcome::Aborted: return ExitAborted;
    case Outcome::NotAcknowledged: return ExitNotAcknowledged;
    case Outcome::Refused: return ExitRefused;
    case Outcome::Incompatible: return ExitIncompatible;
    case Outcome::UnknownDevice: return ExitUnknownDevice;
    case Outcome::NoImage: return ExitNoImage;
    case Outcome::NotSuitable: return ExitNotSuitable;
    case Outcome::NoisyLine: return ExitNoisyLine;
    }
    return 1;
}

std::string NextStep(Outcome outcome, std::string_view mappingRecipe) {
    switch (outcome) {
    case Outcome::NotFound:
        return "Next: check the module's power and cable and that it is on this port; its boot loader answers "
               "only in its wake-up window, so power it up or reset it while the updater searches.";
    case Outcome::PortUnusable:
        return "Next: 'torvane-cli ports' lists the ports present; give --port one of them or a device path, "
               "or tie the COM name to its device (" + std::string(mappingRecipe) + ").";
    case Outcome::NotAcknowledged:
    case Outcome::Refused:
        return "Next: check the cable and keep it away from noise (motors, power lines), then try again.";
    case Outcome::NoisyLine:
        return "Next: the line damaged too many blocks to trust an update over it; use a short, good cable away "
               "from motors and power lines, or another adapter, then update again.";
    case Outcome::NotSuitable:
        return "Next: the board's hardware and preparation codes do not match the image's; check the board "
               "against 'torvane-cli images'.";
    case Outcome::Incompatible:
        return "Next: this boot loader version is not supported; the module needs a supported boot loader.";
    case Outcome::UnknownDevice:
        return "Next: this chip is not one the updater programs; check that the right module is connected.";
    case Outcome::NoImage:
        return "Next: this build carries no usable image for this chip; 'torvane-cli images' lists those it carries.";
    case Outcome::None:
    case Outcome::Programmed:
    case Outcome::RepeatDone:
    case Outcome::Aborted: break;
    }
    return {};
}

std::string RunRecordJson(const FrontEndContext& ctx, const RunRecord& run) {
    JsonObject o;
    o.add("time", run.time).add("port", run.port);
    if (run.devicePath.empty()) o.addNull("device_path");
    else o.add("device_path", run.devicePath);

    const DeviceIdentity& id = ctx.identity;
    const bool answered = ctx.outcome != Outcome::None && ctx.outcome != Outcome::PortUnusable &&
                          ctx.outcome != Outcome::NotFound && id.chipCode != 0;
    const Chip* chip = answered ? FindChip(id.chipCode) : nullptr;
    const auto number = [&](std::string_view key, bool known, int value) {
        if (known) o.add(key, value);
        else o.addNull(key);
    };
    number("chip_code", answered, id.chipCode);
    if (chip) o.add("chip_name", chip->name);
    else o.addNull("chip_name");
    number("boot_loader_version", answered, id.biosVersion);
    const bool board = answered && id.identitySeen;
    number("hardware_code", board, id.hardwareCode);
    if (board) o.add("hardware_name", HardwareName(id.hardwareCode));
    else o.addNull("hardware_name");
    number("preparation_code", board, id.preparationCode);
    const bool image = chip != nullptr && ctx.images.active.size > 1;
    number("image_slot", image, chip ? SlotForChip(chip->code) : 0);
    number("image_size", image, ctx.images.active.size);

    o.add("blocks_sent", ctx.tally.sent).add("blocks_resent", ctx.tally.resent).add("blocks_refused", ctx.tally.refused);
    o.add("line_anomalies", ctx.tally.anomalies);
    o.add("duration_s", run.durationSeconds);
    o.add("verdict", ctx.front().VerdictText()).add("exit_code", ExitCodeOf(ctx.outcome));
    return o.text();
}

void RunRecorder::begin(const FrontEndContext& ctx) {
    started_ = platform_.clock().now();
    record_ = {};
    record_.time = IsoUtc(platform_.secondsSinceEpoch());
    // The port the run will use; a search changes it only before it begins.
    record_.port = ComName(ctx.port.CurrentPort);
    record_.devicePath = platform_.devicePathOf(ctx.port.CurrentPort);
}

std::string RunRecorder::end(const FrontEndContext& ctx) {
    record_.durationSeconds = std::chrono::duration<double>(platform_.clock().now() - started_).count();
    return RunRecordJson(ctx, record_);
}

std::string IsoUtc(std::int64_t secondsSinceEpoch) {
    using namespace std::chrono;
    const sys_seconds t{seconds{secondsSinceEpoch}};
    const auto day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss hms{t - day};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                  static_cast<int>(hms.seconds().count()));
    return buf;
}

}  // namespace torvane
