#include "tools/bootsim/BootSim.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "images/Scramble.h"

namespace torvane::bootsim {

namespace {

// Bytes a PIC18 boot loader keeps at the top of flash for itself and the
// final block: more from version 5 on.
constexpr std::uint32_t Pic18Reservation = 448;
constexpr std::uint32_t Pic18ReservationBefore5 = 320;
constexpr std::uint8_t LargerReservationVersion = 5;
constexpr std::uint32_t J10Reservation = 1088;
constexpr std::uint8_t J10Chip = 199;
constexpr std::uint32_t Pic18RowBytes = 64;
constexpr std::uint32_t DspicRowBytes = 256;
constexpr std::uint32_t DspicAddressUnit = 2;
constexpr std::uint32_t StandInFlash = 0x8000;

enum class Family { Pic18, Dspic };

// chip code, program memory in address units, family
struct ChipRow {
    std::uint8_t chip;
    std::uint32_t flashUnits;
    Family family;
};
constexpr ChipRow Chips[] = {
    {66, 0x8000, Family::Pic18},  {67, 0x8000, Family::Pic18},   {68, 0x4000, Family::Pic18},
    {69, 0x4000, Family::Pic18},  {70, 0x2000, Family::Pic18},   {71, 0x8000, Family::Pic18},
    {72, 0x10000, Family::Pic18}, {199, 0x4000, Family::Pic18},  {252, 0xA800, Family::Dspic},
    {254, 0xA800, Family::Dspic}, {253, 0x15400, Family::Dspic},
};

std::uint8_t Sum8(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (auto b : bytes) sum += b;
    return static_cast<std::uint8_t>(sum);
}

std::uint16_t Sum16(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (auto b : bytes) sum += b;
    return static_cast<std::uint16_t>(sum);
}

std::uint32_t Address24(const std::vector<std::uint8_t>& p) {
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}

bool Listed(const std::vector<int>& numbers, int number) {
    return std::find(numbers.begin(), numbers.end(), number) != numbers.end();
}

std::string RangeText(const AddressRange& r) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "0x%X-0x%X", r.first, r.end - 1);
    return buf;
}

// A list of frame numbers short enough for one line of the summary.
constexpr std::size_t ListedNumbersMax = 12;
std::string NumberList(const std::vector<int>& numbers) {
    std::string s;
    for (std::size_t i = 0; i < numbers.size() && i < ListedNumbersMax; ++i)
        s += (i == 0 ? "" : ", ") + std::to_string(numbers[i]);
    if (numbers.size() > ListedNumbersMax) s += ", ...";
    return s;
}

constexpr const char* NeverReceived = "never received: nothing done, no answer";
constexpr const char* ArrivedWhileErasing = "arrived while erasing";
// Sets the answer delays apart from the line's noise for one seed.
constexpr std::uint64_t JitterStream = 0x3C6E'F372'FE94'F82BULL;

// The frame is logged for what it was, but the device never saw it.
FrameRecord Muted(FrameRecord r, std::string why) {
    r.verdict = Verdict::Muted;
    r.reason = std::move(why);
    return r;
}

// Frames that carry no checksum of their own.
bool SingleByteCommand(FrameKind k) { return k == FrameKind::WakeUp || k == FrameKind::EnterProgramming; }

std::string Hex(std::span<const std::uint8_t> bytes, const char* gap = " ") {
    std::string s;
    s.reserve(bytes.size() * 3);
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        if (i > 0) s += gap;
        s += buf;
    }
    return s;
}

// "4B+30ms", as frames.log and the summary name a stray.
std::string StrayText(const StrayBytes& s) { return Hex(s.bytes, "") + "+" + std::to_string(s.delayMs) + "ms"; }

}  // namespace

ChipGeometry GeometryOfChip(std::uint8_t chip, std::uint8_t version) {
    ChipGeometry g;
    g.flashUnits = StandInFlash;
    Family family = Family::Pic18;
    for (const ChipRow& row : Chips) {
        if (row.chip != chip) continue;
        g.known = true;
        g.flashUnits = row.flashUnits;
        family = row.family;
    }
    if (family == Family::Dspic) {
        g.addressUnit = DspicAddressUnit;
        g.rowBytes = DspicRowBytes;
        g.finalBlock = g.flashUnits - DspicRowBytes / DspicAddressUnit;
    } else {
        g.addressUnit = 1;
        g.rowBytes = Pic18RowBytes;
        const std::uint32_t reservation = chip == J10Chip                     ? J10Reservation
                                          : version >= LargerReservationVersion ? Pic18Reservation
                                                                                : Pic18ReservationBefore5;
        g.finalBlock = g.flashUnits - reservation;
    }
    return g;
}

std::optional<AddressRange> SimConfig::protectedRange() const {
    if (!sendsRecord() || recordRangeStart == 0 || recordRangeLength == 0) return std::nullopt;
    return AddressRange{recordRangeStart, std::uint32_t{recordRangeStart} + recordRangeLength};
}

const char* KindName(FrameKind k) {
    switch (k) {
        case FrameKind::WakeUp: return "wake-up";
        case FrameKind::EnterProgramming: return "enter-programming";
        case FrameKind::Block: return "block";
        case FrameKind::Eeprom: return "eeprom";
        case FrameKind::AccessText: return "access-text";
        case FrameKind::Command4: return "command-4";
        case FrameKind::Stray: return "stray";
        case FrameKind::Incomplete: return "incomplete";
    }
    return "?";
}

const char* VerdictName(Verdict v) {
    switch (v) {
        case Verdict::Accepted: return "accepted";
        case Verdict::Refused: return "refused";
        case Verdict::Ignored: return "ignored";
        case Verdict::Muted: return "muted";
    }
    return "?";
}

std::string FormatFrameRecord(const FrameRecord& r) {
    char buf[96];
    std::string line = std::to_string(r.number) + " " + KindName(r.kind);
    switch (r.kind) {
        case FrameKind::Block:
            std::snprintf(buf, sizeof buf, " addr=0x%06X len=%u", r.address, r.length);
            line += buf;
            break;
        case FrameKind::Eeprom:
            std::snprintf(buf, sizeof buf, " index=%u", r.address);
            line += buf;
            if (r.bytes.size() > 2) {
                std::snprintf(buf, sizeof buf, " value=0x%02X", r.bytes[2]);
                line += buf;
            }
            break;
        case FrameKind::WakeUp:
            std::snprintf(buf, sizeof buf, " code=%u", r.bytes.empty() ? 0u : unsigned{r.bytes[0]});
            line += buf;
            break;
        default:
            line += " bytes=" + std::to_string(r.bytes.size());
            break;
    }
    line += " ";
    line += VerdictName(r.verdict);
    if (!r.reason.empty()) line += " (" + r.reason + ")";
    if (!r.lostAnswer.empty()) line += " answer=lost(" + Hex(r.lostAnswer) + ")";
    else line += " answer=" + (r.answer.empty() ? std::string("-") : Hex(r.answer));
    if (r.answerDelayMs > 0 && !(r.answer.empty() && r.lostAnswer.empty()))
        line += " after=" + std::to_string(r.answerDelayMs) + "ms";
    for (const StrayBytes& stray : r.strays) line += " stray=" + StrayText(stray);
    if (r.lineDamaged) line += r.verdict == Verdict::Accepted ? " DAMAGED-BY-LINE-UNSEEN" : " damaged-by-line";
    line += " frame=" + Hex(r.bytes);
    return line;
}

std::vector<std::string> SummaryLines(const std::vector<FrameRecord>& frames, const SimConfig& config) {
    int accepted = 0, refused = 0, ignored = 0;
    std::vector<int> muted, lost, intoRange, unseen, fragments, erased;
    std::vector<std::string> strays;
    int longestDelayMs = 0;
    for (const FrameRecord& r : frames) {
        if (r.lineDamaged && r.verdict == Verdict::Accepted)
            (SingleByteCommand(r.kind) ? fragments : unseen).push_back(r.number);
        for (const StrayBytes& stray : r.strays)
            strays.push_back(StrayText(stray) + " after frame " + std::to_string(r.number));
        const bool erasing = r.kind == FrameKind::EnterProgramming && config.faults.late204Ms > 0;
        if (!erasing && !(r.answer.empty() && r.lostAnswer.empty()))
            longestDelayMs = std::max(longestDelayMs, r.answerDelayMs);
        switch (r.verdict) {
            case Verdict::Accepted: ++accepted; break;
            case Verdict::Refused: ++refused; break;
            case Verdict::Ignored: ++ignored; break;
            case Verdict::Muted: (r.reason == ArrivedWhileErasing ? erased : muted).push_back(r.number); break;
        }
        if (!r.lostAnswer.empty()) lost.push_back(r.number);
        if (r.protectedRow) intoRange.push_back(r.number);
    }
    std::vector<std::string> lines;
    lines.push_back(std::to_string(frames.size()) + " frames: " + std::to_string(accepted) + " accepted, " +
                    std::to_string(refused) + " refused, " + std::to_string(ignored) + " ignored, " +
                    std::to_string(muted.size() + erased.size()) + " muted");
    if (!muted.empty()) lines.push_back("muted, never received (nothing done, no answer): frames " + NumberList(muted));
    if (!lost.empty()) lines.push_back("done but the answer lost: frames " + NumberList(lost));
    if (!unseen.empty())
        lines.push_back(std::string(UnseenDamageText) + ": frames " + NumberList(unseen));
    if (!fragments.empty())
        lines.push_back("answered wake-up or enter-programming bytes the line may have made of a broken frame: frames " +
                        NumberList(fragments));
    const SimFaults& f = config.faults;
    if (f.late204Ms > 0) {
        std::string line = "enter-programming answered " + std::to_string(f.late204Ms) + " ms late, erasing meanwhile";
        line += erased.empty() ? ": no frame lost to the erase" : "; lost while erasing: frames " + NumberList(erased);
        lines.push_back(line);
    }
    if (f.jitter || f.lateMs > 0) {
        std::string line = "answers late by " + std::to_string(f.lateMs);
        if (f.jitter)
            line += " ms and a further " + std::to_string(f.jitter->minMs) + " to " + std::to_string(f.jitter->maxMs) +
                    " ms (seed " + std::to_string(f.jitter->seed) + ")";
        else
            line += " ms";
        lines.push_back(line + ", in order; the latest went out " + std::to_string(longestDelayMs) +
                        " ms after its frame");
    }
    if (!strays.empty()) {
        std::string line = "stray bytes sent to the updater:";
        for (std::size_t i = 0; i < strays.size(); ++i) line += (i == 0 ? " " : ", ") + strays[i];
        lines.push_back(line);
    }
    std::vector<int> unsent;
    for (const StrayBytes& stray : f.strays)
        if (static_cast<std::size_t>(stray.frame) > frames.size()) unsent.push_back(stray.frame);
    if (!unsent.empty())
        lines.push_back("stray bytes not sent, the frame never came: after frames " + NumberList(unsent));
    const auto range = config.protectedRange();
    if (!range) {
        lines.push_back("no protected range");
    } else if (intoRange.empty()) {
        lines.push_back("protected range " + RangeText(*range) + ": kept, no write into it");
    } else {
        lines.push_back("protected range " + RangeText(*range) + ": " + std::to_string(intoRange.size()) +
                        " block write(s) into it REFUSED, not written: frames " + NumberList(intoRange));
    }
    return lines;
}

BootSim::BootSim(SimConfig config)
    : config_(std::move(config)), jitter_(config_.faults.jitter ? config_.faults.jitter->seed : 1, JitterStream) {
    if (config_.recordText.size() > static_cast<std::size_t>(RecordTextLength))
        throw std::invalid_argument("the record text holds at most 24 characters");
    if (config_.eepromSize < 0) throw std::invalid_argument("the EEPROM size cannot be negative");
    geometry_ = GeometryOfChip(config_.chip, config_.layoutVersion());
    protected_ = config_.protectedRange();
    flash_.assign(std::size_t{geometry_.flashUnits} * geometry_.addressUnit, ErasedByte);
    eeprom_.assign(static_cast<std::size_t>(config_.eepromSize), ErasedByte);
}

void BootSim::setFaults(const SimFaults& f) {
    const auto seed = [](const SimFaults& faults) { return faults.jitter ? faults.jitter->seed : 1; };
    if (seed(f) != seed(config_.faults)) jitter_ = SeededRandom(seed(f), JitterStream);
    config_.faults = f;
}

std::vector<std::uint8_t> BootSim::feed(std::span<const std::uint8_t> bytes, std::span<const ByteDamage> damage) {
    std::vector<Reply> replies = feedAt(now_, bytes, damage);
    std::stable_sort(replies.begin(), replies.end(), [](const Reply& a, const Reply& b) { return a.due < b.due; });
    std::vector<std::uint8_t> out;
    for (const Reply& r : replies) out.insert(out.end(), r.bytes.begin(), r.bytes.end());
    return out;
}

std::vector<Reply> BootSim::feedAt(std::chrono::milliseconds now, std::span<const std::uint8_t> bytes,
                                   std::span<const ByteDamage> damage) {
    now_ = std::max(now_, now);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t b = bytes[i];
        const bool damaged = i < damage.size() && damage[i] != ByteDamage::None;
        if (hangUpDue_) break;
        damagedSinceQuiet_ = damagedSinceQuiet_ || damaged;
        // A wake-up or enter-programming byte right after damage is most
        // likely a piece of the broken frame, not a command the updater sent.
        auto single = [&](FrameRecord r) {
            r.lineDamaged = damagedSinceQuiet_;
            complete(std::move(r));
        };
        if (!awake_) {
            // Asleep, the device listens for a wake-up code and nothing else.
            if (IsWakeCode(b)) single(handleWakeUp(b));
            else addStray(b);
            continue;
        }
        if (pending_.empty()) {
            // A frame starts: its first byte says which.
            if (IsWakeCode(b)) {
                single(handleWakeUp(b));
            } else if (b == EnterProgrammingCode) {
                single(handleEnterProgramming(b));
            } else if (b == 0 || b == 1 || b == EepromCode || b == Command4Code) {
                pending_.push_back(b);
                pendingDamaged_ = damaged;
                pendingStart_ = now_;
            } else {
                addStray(b);
            }
            continue;
        }
        pending_.push_back(b);
        pendingDamaged_ = pendingDamaged_ || damaged;
        const std::size_t need = expectedLength();
        if (need != 0 && pending_.size() >= need) {
            FrameRecord r = handleFrame();
            r.lineDamaged = pendingDamaged_;
            pending_.clear();
            pendingDamaged_ = false;
            complete(std::move(r));
        }
    }
    return std::exchange(replies_, {});
}

std::vector<Reply> BootSim::lineIdle() {
    damagedSinceQuiet_ = false;
    if (pending_.empty()) return std::exchange(replies_, {});
    FrameRecord r;
    r.kind = FrameKind::Incomplete;
    r.length = static_cast<std::uint32_t>(pending_.size());
    r.bytes = std::move(pending_);
    r.verdict = Verdict::Ignored;
    r.reason = "the line went quiet in the middle of the frame";
    r.lineDamaged = pendingDamaged_;
    pending_.clear();
    pendingDamaged_ = false;
    complete(std::move(r));
    return std::exchange(replies_, {});
}

std::size_t BootSim::expectedLength() const {
    const std::vector<std::uint8_t>& p = pending_;
    if (p[0] == EepromCode) return EepromFrameLength;
    if (p[0] == Command4Code) return p.size() < 2 ? 0 : std::size_t{2} + p[1] + 2;
    // 0 or 1: a block, or the access-text frame.
    if (p.size() < 3) return 0;
    if (Address24(p) == AccessTextAddress) return std::size_t{2} + p[1] + 2;
    const auto h = static_cast<std::size_t>(geometry_.headerLength());
    if (p.size() < h) return 0;
    const std::size_t length = h == 4 ? p[3] : (std::size_t{p[3]} << 8) | p[4];
    return h + length + 1;
}

std::optional<std::string> BootSim::lostReason(std::chrono::milliseconds startedAt) const {
    if (Listed(config_.faults.mute, static_cast<int>(frames_.size()) + 1)) return NeverReceived;
    // Bytes that came while the device erased are lost, so a frame that
    // began then cannot be whole, whenever it ends.
    if (erasingUntil_ && startedAt < *erasingUntil_) return ArrivedWhileErasing;
    return std::nullopt;
}

FrameRecord BootSim::handleFrame() {
    const std::vector<std::uint8_t>& p = pending_;
    FrameRecord r;
    r.bytes = p;
    r.length = static_cast<std::uint32_t>(p.size());
    if (p[0] == EepromCode) {
        r.kind = FrameKind::Eeprom;
        r.address = p[1];
    } else if (p[0] == Command4Code) {
        r.kind = FrameKind::Command4;
    } else if (Address24(p) == AccessTextAddress) {
        r.kind = FrameKind::AccessText;
    } else {
        r.kind = FrameKind::Block;
        r.address = Address24(p);
        r.length = geometry_.headerLength() == 4 ? p[3] : (std::uint32_t{p[3]} << 8) | p[4];
    }
    if (auto why = lostReason(pendingStart_)) return Muted(std::move(r), std::move(*why));

    if (r.kind == FrameKind::Eeprom) handleEeprom(r);
    else if (r.kind == FrameKind::Block) handleBlock(r);
    else handleSum16Frame(r);
    r.answer = {r.verdict == Verdict::Accepted ? Ack : Refuse};
    return r;
}

FrameRecord BootSim::handleEnterProgramming(std::uint8_t code) {
    FrameRecord r;
    r.kind = FrameKind::EnterProgramming;
    r.length = 1;
    r.bytes = {code};
    if (auto why = lostReason(now_)) return Muted(std::move(r), std::move(*why));
    programming_ = true;
    if (config_.faults.late204Ms > 0) erasingUntil_ = now_ + std::chrono::milliseconds{config_.faults.late204Ms};
    r.verdict = Verdict::Accepted;
    r.answer = {Ack};
    return r;
}

bool BootSim::takeRefusal() {
    if (config_.faults.refuseNext <= 0) return false;
    --config_.faults.refuseNext;
    return true;
}

void BootSim::handleBlock(FrameRecord& r) {
    const std::vector<std::uint8_t>& p = r.bytes;
    const int h = geometry_.headerLength();
    r.verdict = Verdict::Refused;

    const std::uint32_t rowUnits = geometry_.rowBytes / geometry_.addressUnit;
    const std::size_t start = std::size_t{r.address} * geometry_.addressUnit;
    const std::size_t end = start + r.length;
    if (takeRefusal()) {
        r.reason = "refused on purpose";
    } else if (Sum8(p) != 0) {
        r.reason = "bad checksum";
    } else if (r.length > geometry_.rowBytes) {
        r.reason = "length above the row size";
    } else if (r.address % rowUnits != 0) {
        r.reason = "address not at the start of a row";
    } else if (start >= flash_.size()) {
        r.reason = "address outside flash";
    } else if (end > std::size_t{geometry_.bootStart()} * geometry_.addressUnit) {
        r.reason = "reaches into the boot loader";
    } else if (protected_ && protected_->overlaps(r.address, r.address + rowUnits)) {
        // The boot loader erases and writes whole rows, so a short block
        // touching the range would still wipe it.
        r.reason = "row in the protected range " + RangeText(*protected_);
        r.protectedRow = true;
    } else {
        // Stored images are scrambled row by row with the low byte of the
        // row's address; flash holds the program as the part runs it.
        const std::uint8_t mask =
            config_.plain ? 0
                          : ScrambleMask(config_.scrambleKey, config_.scrambleEnable,
                                         static_cast<std::uint8_t>(r.address & 0xFF));
        for (std::uint32_t i = 0; i < r.length; ++i)
            flash_[start + i] = static_cast<std::uint8_t>(p[static_cast<std::size_t>(h) + i] ^ mask);
        r.verdict = Verdict::Accepted;
    }
}

void BootSim::handleEeprom(FrameRecord& r) {
    const std::vector<std::uint8_t>& p = r.bytes;
    r.verdict = Verdict::Refused;
    if (takeRefusal()) {
        r.reason = "refused on purpose";
    } else if (Sum8(p) != 0) {
        r.reason = "bad checksum";
    } else if (p[3] != EepromFrameByte3 || p[4] != EepromFrameByte4) {
        r.reason = "malformed EEPROM frame";
    } else if (r.address >= eeprom_.size()) {
        r.reason = "index beyond the EEPROM";
    } else {
        eeprom_[r.address] = p[2];  // EEPROM bytes travel as they are stored
        r.verdict = Verdict::Accepted;
    }
}

void BootSim::handleSum16Frame(FrameRecord& r) {
    const std::vector<std::uint8_t>& p = r.bytes;
    const std::size_t body = p.size() - 2;
    const std::uint16_t sent = static_cast<std::uint16_t>((p[body] << 8) | p[body + 1]);
    r.verdict = Verdict::Refused;
    if (Sum16({p.data(), body}) != sent) {
        r.reason = "bad 16-bit sum";
    } else if (r.kind == FrameKind::AccessText &&
               std::string(p.begin() + 2, p.begin() + static_cast<long>(body)) != AccessTextBytes) {
        r.reason = "unknown access text";
    } else {
        r.verdict = Verdict::Accepted;
    }
}

FrameRecord BootSim::handleWakeUp(std::uint8_t code) {
    FrameRecord r;
    r.kind = FrameKind::WakeUp;
    r.length = 1;
    r.bytes = {code};
    if (auto why = lostReason(now_)) return Muted(std::move(r), std::move(*why));
    r.verdict = Verdict::Ignored;
    const int index = wakeBytes_++;
    const auto& codes = config_.wakeCodes;
    if (std::find(codes.begin(), codes.end(), code) == codes.end()) {
        r.reason = "not a wake-up code of this device";
    } else if (index < config_.faults.wakeAt) {
        r.reason = "answers from try " + std::to_string(config_.faults.wakeAt) + " on";
    } else {
        // A wake-up while awake is a new search: start over.
        awake_ = true;
        programming_ = false;
        r.verdict = Verdict::Accepted;
        r.answer = identityAnswer();
    }
    return r;
}

std::vector<std::uint8_t> BootSim::identityAnswer() const {
    const SimConfig& c = config_;
    if (!c.identity) return {c.chip, Ack};
    std::vector<std::uint8_t> a{IdentityMark, c.version, c.chip, c.hardware, c.preparation, Ack};
    if (c.sendsRecord()) {
        a.insert(a.end(), {RecordMark, static_cast<std::uint8_t>(RecordDataLength), RecordIgnoredByte});
        std::vector<std::uint8_t> text(RecordTextLength, 0);
        std::copy(c.recordText.begin(), c.recordText.end(), text.begin());
        a.insert(a.end(), text.begin(), text.end());
        a.insert(a.end(), {static_cast<std::uint8_t>(c.recordRangeStart & 0xFF),
                           static_cast<std::uint8_t>(c.recordRangeStart >> 8),
                           static_cast<std::uint8_t>(c.recordRangeLength & 0xFF),
                           static_cast<std::uint8_t>(c.recordRangeLength >> 8), Ack});
    }
    return a;
}

void BootSim::addStray(std::uint8_t b) {
    // Runs of bytes that start no frame make one log entry.
    if (lastWasStray_ && !frames_.empty()) {
        frames_.back().bytes.push_back(b);
        ++frames_.back().length;
        return;
    }
    FrameRecord r;
    r.kind = FrameKind::Stray;
    r.length = 1;
    r.bytes = {b};
    r.verdict = Verdict::Ignored;
    r.reason = awake_ ? "starts no frame" : "asleep";
    complete(std::move(r));
    lastWasStray_ = true;
}

std::chrono::milliseconds BootSim::answerDue(const FrameRecord& r) {
    const SimFaults& f = config_.faults;
    // One draw per answer, lost or not, so that a seed gives each frame the
    // same delay whatever the other faults do.
    const int jitterMs = f.jitter ? jitter_.between(f.jitter->minMs, f.jitter->maxMs) : 0;
    const bool erasing = r.kind == FrameKind::EnterProgramming && f.late204Ms > 0;
    const std::chrono::milliseconds due =
        now_ + std::chrono::milliseconds{erasing ? f.late204Ms : f.lateMs + jitterMs};
    // A device answers its frames one after another, never overtaking.
    lastAnswerDue_ = std::max(lastAnswerDue_, due);
    return lastAnswerDue_;
}

void BootSim::complete(FrameRecord r) {
    const SimFaults& f = config_.faults;
    r.number = static_cast<int>(frames_.size()) + 1;
    for (const StrayBytes& stray : f.strays) {
        if (stray.frame != r.number) continue;
        r.strays.push_back(stray);
        replies_.push_back({now_ + std::chrono::milliseconds{stray.delayMs}, stray.bytes, true});
    }
    if (!r.answer.empty()) {
        const std::chrono::milliseconds due = answerDue(r);
        r.answerDelayMs = static_cast<int>((due - now_).count());
        const bool answerLost =
            f.silent || (f.silentAfter && r.number > *f.silentAfter) || Listed(f.loseAnswer, r.number);
        if (answerLost) r.lostAnswer = std::exchange(r.answer, {});
        if (f.garbleFrame && *f.garbleFrame == r.number && !r.answer.empty()) r.answer[0] ^= GarbleBit;
        if (!r.answer.empty()) replies_.push_back({due, r.answer, false});
    }
    if (f.hangUpAfter && *f.hangUpAfter == r.number) hangUpDue_ = true;
    frames_.push_back(std::move(r));
    lastWasStray_ = false;
}

}  // namespace torvane::bootsim
