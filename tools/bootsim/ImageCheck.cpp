#include "tools/bootsim/ImageCheck.h"

#include <algorithm>
#include <cstdio>

namespace torvane::bootsim {

namespace {

// The updater writes its own jump to the boot loader over the first bytes.
constexpr std::size_t Pic18JumpBytes = 4;
constexpr std::size_t DspicJumpBytes = 8;

// The last frame of `kind` the device took at `where`.
const FrameRecord* LastAccepted(const std::vector<FrameRecord>& frames, FrameKind kind, std::uint32_t where) {
    const auto it = std::find_if(frames.rbegin(), frames.rend(), [&](const FrameRecord& f) {
        return f.kind == kind && f.verdict == Verdict::Accepted && f.address == where;
    });
    return it == frames.rend() ? nullptr : &*it;
}

void Judge(MemoryDifference& d, const std::vector<FrameRecord>& frames) {
    const FrameRecord* last = LastAccepted(frames, d.eeprom ? FrameKind::Eeprom : FrameKind::Block, d.where);
    if (last == nullptr) return;
    d.lastWrite = last->number;
    d.explained = last->lineDamaged;
}

}  // namespace

bool ImageCheck::allExplained() const {
    return fits && !differences.empty() &&
           std::all_of(differences.begin(), differences.end(), [](const MemoryDifference& d) { return d.explained; });
}

ImageCheck CheckImage(const BootSim& module, const std::vector<std::uint8_t>& program,
                      const std::vector<std::uint8_t>& eeprom) {
    ImageCheck check;
    const ChipGeometry& g = module.geometry();
    const auto& frames = module.frames();
    const auto& heldEeprom = module.eeprom();
    for (std::size_t i = 0; i < eeprom.size(); ++i) {
        if (i < heldEeprom.size() && heldEeprom[i] == eeprom[i]) continue;
        MemoryDifference d;
        d.eeprom = true;
        d.where = static_cast<std::uint32_t>(i);
        d.firstByte = i;
        d.bytes = 1;
        Judge(d, frames);
        check.differences.push_back(d);
    }
    const auto& flash = module.flash();
    if (program.size() > flash.size()) {
        check.fits = false;
        return check;
    }
    const std::size_t skip = g.rowBytes > 255 ? DspicJumpBytes : Pic18JumpBytes;
    const std::uint32_t rowUnits = g.rowBytes / g.addressUnit;
    check.rowUnits = rowUnits;
    std::size_t keptFrom = 0, keptTo = 0;  // image bytes of the rows the device keeps
    if (const auto range = module.config().protectedRange()) {
        keptFrom = std::size_t{range->first / rowUnits} * g.rowBytes;
        keptTo = std::size_t{(range->end + rowUnits - 1) / rowUnits} * g.rowBytes;
        check.keptRows = keptTo > keptFrom;
    }
    for (std::size_t i = skip; i < program.size(); ++i) {
        if (i >= keptFrom && i < keptTo) continue;
        ++check.compared;
        if (flash[i] == program[i]) continue;
        const auto row = static_cast<std::uint32_t>(i / g.rowBytes * rowUnits);
        if (check.differences.empty() || check.differences.back().eeprom || check.differences.back().where != row) {
            MemoryDifference d;
            d.where = row;
            d.firstByte = i;
            Judge(d, frames);
            check.differences.push_back(d);
        }
        ++check.differences.back().bytes;
    }
    return check;
}

std::vector<std::string> CheckLines(const ImageCheck& check, const std::string& image) {
    std::vector<std::string> lines;
    if (!check.fits) {
        lines.push_back("check FAILED: " + image + " does not fit this device's flash");
        return lines;
    }
    if (check.holds()) {
        lines.push_back("check passed: flash holds " + image + ", all " + std::to_string(check.compared) +
                        " bytes past the boot jump" + (check.keptRows ? " and outside the protected rows" : ""));
        return lines;
    }
    char buf[160];
    const auto& diffs = check.differences;
    auto neverWrittenRow = [&](std::size_t k) { return !diffs[k].eeprom && !diffs[k].lastWrite; };
    for (std::size_t k = 0; k < diffs.size(); ++k) {
        const MemoryDifference& d = diffs[k];
        std::size_t last = k;
        while (neverWrittenRow(k) && last + 1 < diffs.size() && neverWrittenRow(last + 1) &&
               diffs[last + 1].where == diffs[last].where + check.rowUnits)
            ++last;
        if (last > k) {
            // A whole stretch the updater left out would otherwise fill the screen.
            std::snprintf(buf, sizeof buf, "check: rows 0x%X to 0x%X (%zu rows) differ, never written: NOT explained",
                          d.where, diffs[last].where, last - k + 1);
            lines.push_back(buf);
            k = last;
            continue;
        }
        if (d.eeprom)
            std::snprintf(buf, sizeof buf, "data EEPROM index %u differs", d.where);
        else
            std::snprintf(buf, sizeof buf, "row 0x%X differs in %zu byte(s) from byte 0x%zX", d.where, d.bytes,
                          d.firstByte);
        std::string line = std::string("check: ") + buf;
        if (!d.lastWrite)
            line += ", never written: NOT explained";
        else if (d.explained)
            line += ", last written by frame " + std::to_string(*d.lastWrite) + ", damaged by the line: explained";
        else
            line += ", last written by frame " + std::to_string(*d.lastWrite) + ", undamaged: NOT explained";
        lines.push_back(line);
    }
    const std::size_t rows = static_cast<std::size_t>(std::count_if(
        check.differences.begin(), check.differences.end(), [](const MemoryDifference& d) { return !d.eeprom; }));
    const std::string where = std::to_string(rows) + " flash row(s) and " +
                              std::to_string(check.differences.size() - rows) + " EEPROM byte(s)";
    if (check.allExplained())
        lines.push_back(std::string(ExplainedCheckText) + ": memory differs from " + image + " in " + where +
                        ", each last written by a frame " + std::string(UnseenDamageText));
    else
        lines.push_back("check FAILED: memory differs from " + image + " in " + where);
    return lines;
}

}  // namespace torvane::bootsim
