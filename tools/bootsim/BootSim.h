#pragma once
// The simulated boot loader: the device at the far end of the serial line,
// as a pure model. Bytes go in, the device's answer comes out; there is no
// I/O and no clock here (SimRunner puts it on a pseudo-terminal).
//
// The model holds the device's flash and data EEPROM and enforces the rules a
// real boot loader does: checksums, row alignment, flash bounds, its own area,
// and the protected range it reports in its record. A block whose row touches
// that range is not written and is answered 'N', like any other block the
// device will not take: an updater that honours the range never sends such a
// row, and one that does cannot go on as if it had been written.
//
// It can misbehave on purpose for tests and training (refusals, silence, late
// or garbled answers, hang-ups). Two faults tell the two halves of a lost
// exchange apart: a muted frame never reached the device (nothing of it takes
// effect and nothing is answered), while a frame whose answer is lost was
// received and acted on, and only the answer went missing on the line.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "images/ProductData.h"

#include "tools/bootsim/LineNoise.h"

namespace torvane::bootsim {

// Wire bytes, as the device sees them.
inline constexpr std::uint8_t WakeCode194 = 0xC2;
inline constexpr std::uint8_t WakeCode197 = 0xC5;
inline constexpr std::uint8_t WakeCode198 = 0xC6;
inline constexpr std::uint8_t EnterProgrammingCode = 0xCC;  // 204
inline constexpr std::uint8_t EepromCode = 0x40;            // 64
inline constexpr std::uint8_t Command4Code = 0x04;
inline constexpr std::uint8_t Ack = 'K';
inline constexpr std::uint8_t Refuse = 'N';
inline constexpr std::uint8_t IdentityMark = 'V';
inline constexpr std::uint8_t RecordMark = 'R';
inline constexpr std::uint8_t RecordIgnoredByte = 0x00;
// The access-text frame starts 00 0F 'K'; read as a block header that is the
// address 0x000F4B, which no row of any part starts at.
inline constexpr std::uint32_t AccessTextAddress = 0x000F4B;
inline constexpr std::uint8_t AccessTextLength = 15;
inline constexpr char AccessTextBytes[] = "K3m9Tz7Qa2Wd5Hx";
// The fixed trailer of an EEPROM frame: 64, index, value, 1, 0, checksum.
inline constexpr std::uint8_t EepromFrameByte3 = 1;
inline constexpr std::uint8_t EepromFrameByte4 = 0;
inline constexpr int EepromFrameLength = 6;
// Record layout: text, then range start and length, 16-bit low byte first.
inline constexpr int RecordTextLength = 24;
inline constexpr int RecordDataLength = RecordTextLength + 4;
// Boot loaders of these versions follow their identity with the record.
inline constexpr int RecordVersionMin = 8;
inline constexpr int RecordVersionMax = 31;
inline constexpr std::uint8_t ErasedByte = 0xFF;
// A garbled answer has this bit of its first byte flipped: 'K' arrives as 'k'.
inline constexpr std::uint8_t GarbleBit = 0x20;
inline constexpr int DefaultEepromSize = 256;

// Memory of one chip, as the boot loader sees it. Addresses are in the
// part's address units (bytes on PIC18, program-counter units on
// dsPIC33/PIC24, two image bytes each).
struct ChipGeometry {
    bool known = false;             // false: a stand-in layout for a chip code no part has
    std::uint32_t addressUnit = 1;  // image bytes per address unit
    std::uint32_t rowBytes = 64;    // data bytes per block
    std::uint32_t flashUnits = 0;   // program memory, address units
    std::uint32_t finalBlock = 0;   // the row just below the boot loader, address units
    // First address unit of the boot loader itself: nothing from here on is writable.
    std::uint32_t bootStart() const { return finalBlock + rowBytes / addressUnit; }
    // Header bytes of a block frame: 3 address bytes and 1 or 2 length bytes.
    int headerLength() const { return rowBytes > 255 ? 5 : 4; }
};

// The layout of `chip` for a boot loader of `version` (0 for one without
// identity). PIC18 parts keep 448 bytes for the boot loader from version 5
// on and 320 below; unknown chips get a 32 KiB PIC18 layout with known false.
ChipGeometry GeometryOfChip(std::uint8_t chip, std::uint8_t version);

// Bytes the device puts on the line after a frame, apart from the frame's
// answer: line noise that looks like an answer, or a module answering a
// fragment of a frame the line broke.
struct StrayBytes {
    int frame = 0;                            // after this frame has come down the line
    int delayMs = 0;                          // this long after it
    std::vector<std::uint8_t> bytes{Ack};
};

// Every answer is late by a further MIN..MAX ms, drawn from SeededRandom.
struct AnswerJitter {
    int minMs = 0;
    int maxMs = 0;
    std::uint64_t seed = 1;
};

// Misbehaviour on purpose. Frames are numbered from 1 in the order they
// arrive on the line, wake-up bytes included: the number is the line of
// frames.log. Muted frames keep their number, so a frame sent again after
// one is simply the next number.
struct SimFaults {
    int refuseNext = 0;                 // answer 'N' to this many block/EEPROM frames; nothing written
    bool silent = false;                // every answer is lost (frames still take effect)
    std::optional<int> silentAfter;     // answers of frames K+1 on are lost (frames still take effect)
    // These frames never reach the device: no write, no wake-up, no change of
    // mode, not counted by refuseNext or wakeAt, and no answer. Wins over
    // loseAnswer for the same frame.
    std::vector<int> mute;
    // These frames are received and take effect; their answer is lost.
    std::vector<int> loseAnswer;
    int lateMs = 0;                     // every answer goes out this much after its frame
    std::optional<AnswerJitter> jitter; // and a further random delay; answers keep their order
    // Sent whatever became of the frame (muted, answer lost), and past the
    // noisy line like any byte the device sends.
    std::vector<StrayBytes> strays;
    // The enter-programming command is answered this long after it came
    // (instead of lateMs and the jitter): the device is erasing meanwhile,
    // and every frame that starts coming before the end is lost to it,
    // logged muted, "arrived while erasing".
    int late204Ms = 0;
    std::optional<int> garbleFrame;     // flip GarbleBit in the first byte of this frame's answer
    int wakeAt = 0;                     // ignore wake-up bytes 0..K-1 (the updater's tries 0..K-1)
    std::optional<int> hangUpAfter;     // the runner closes the line after this frame's answer
};

// Address units first .. end-1.
struct AddressRange {
    std::uint32_t first = 0;
    std::uint32_t end = 0;
    bool overlaps(std::uint32_t from, std::uint32_t to) const { return from < end && first < to; }
};

struct SimConfig {
    std::vector<std::uint8_t> wakeCodes{WakeCode194, WakeCode197, WakeCode198};
    std::uint8_t chip = 252;
    bool identity = true;               // false: answers a wake-up with chip code and 'K' only
    std::uint8_t version = 10;          // boot loader version (ignored without identity)
    std::uint8_t hardware = 26;
    std::uint8_t preparation = 0x84;
    std::string recordText = "TORVANE BOOTSIM";  // at most 24 characters
    std::uint16_t recordRangeStart = 0; // address units; 0: nothing protected
    std::uint16_t recordRangeLength = 0;
    int eepromSize = DefaultEepromSize;
    std::uint8_t scrambleKey = product::ScrambleKey;
    std::uint8_t scrambleEnable = product::ScrambleEnable;
    bool plain = false;                 // store data as received, never unscrambled
    SimFaults faults;

    // The version the device's memory layout follows: 0 without identity.
    std::uint8_t layoutVersion() const { return identity ? version : 0; }
    bool sendsRecord() const { return identity && version >= RecordVersionMin && version <= RecordVersionMax; }
    // The address units the device keeps from block writes: the range of its
    // record, as the updater reads it. A start of 0 means no range, and a
    // device that sends no record protects nothing, since no updater could
    // know to leave the range out.
    std::optional<AddressRange> protectedRange() const;
};

enum class FrameKind { WakeUp, EnterProgramming, Block, Eeprom, AccessText, Command4, Stray, Incomplete };
// Muted: the frame never reached the device (a fault), so nothing came of it.
enum class Verdict { Accepted, Refused, Ignored, Muted };

const char* KindName(FrameKind k);
const char* VerdictName(Verdict v);

// One entry of the device's log.
struct FrameRecord {
    int number = 0;            // from 1
    FrameKind kind = FrameKind::Stray;
    std::uint32_t address = 0; // block: address units; EEPROM: index; else 0
    std::uint32_t length = 0;  // block: data length field; else the byte count
    Verdict verdict = Verdict::Ignored;
    std::string reason;        // why refused, ignored or muted; empty when accepted
    bool protectedRow = false; // a block refused because its row touches the protected range
    std::vector<std::uint8_t> bytes;       // the frame as it came down the line
    std::vector<std::uint8_t> answer;      // what the device sent back, faults applied
    std::vector<std::uint8_t> lostAnswer;  // what it answered but the line lost; then answer is empty
    // The noisy line damaged a byte of the frame, or lost one inside it. An
    // accepted frame with this mark is damage its checksum could not show.
    // A wake-up or enter-programming byte carries it when the line damaged
    // anything since it last went quiet: most likely a fragment of a broken
    // frame, and its answer one the updater never asked for.
    bool lineDamaged = false;
    int answerDelayMs = 0;                 // how long after the frame its answer went out
    std::vector<StrayBytes> strays;        // what went out after it apart from its answer
};

// Bytes the device puts on the line and when: `due` on the clock the caller
// feeds the device by.
struct Reply {
    std::chrono::milliseconds due{0};
    std::vector<std::uint8_t> bytes;
    bool stray = false;  // not an answer: answers keep their order, strays do not
};

// One line of frames.log: number, kind, address, length, verdict (reason),
// answer and the frame's bytes in hex. The answer reads "-" when there was
// none and "lost(..)" when the device answered and the line lost it; a frame
// that never reached the device reads "muted (never received: ...)".
std::string FormatFrameRecord(const FrameRecord& r);

// A few lines that sum up a session: how many frames and how they fared,
// which were muted or lost their answer, the faults of time (late, stray
// bytes, an erase), answers to fragments the line damaged, and whether the
// protected range was kept and any write into it refused.
std::vector<std::string> SummaryLines(const std::vector<FrameRecord>& frames, const SimConfig& config);

// The summary line that lists frames the device accepted although the line
// had damaged them: an 8-bit sum misses some double flips, and nothing an
// updater can do on this protocol would see them.
inline constexpr std::string_view UnseenDamageText = "accepted with line damage their checksum could not show";

class BootSim {
public:
    // Throws std::invalid_argument for a record text over 24 characters or
    // a negative EEPROM size.
    explicit BootSim(SimConfig config);

    // Takes bytes that came down the line at `now` (on any clock of the
    // caller's that never goes back) and returns what the device puts on the
    // line for the frames they complete: answers and stray bytes, each with
    // the time it is due, in the order made (a stray made with its frame's
    // answer and due with it goes first). After the hang-up fault has fired,
    // bytes are ignored and nothing is answered.
    // `damage` (empty, or one entry per byte) says what the line did to each
    // byte, so that the log can tell damage the checksum let through.
    std::vector<Reply> feedAt(std::chrono::milliseconds now, std::span<const std::uint8_t> bytes,
                              std::span<const ByteDamage> damage = {});
    // feedAt at the last time given, with the bytes of the replies in the
    // order they are due.
    std::vector<std::uint8_t> feed(std::span<const std::uint8_t> bytes, std::span<const ByteDamage> damage = {});
    // The line went quiet (for FrameGap): a frame left unfinished is dropped
    // (logged as incomplete) so that the next byte starts a new frame, and
    // line damage before the pause no longer marks what follows. Returns the
    // strays due after the dropped fragment.
    std::vector<Reply> lineIdle();
    bool hasPartialFrame() const { return !pending_.empty(); }

    bool awake() const { return awake_; }
    bool inProgrammingMode() const { return programming_; }
    bool hangUpDue() const { return hangUpDue_; }
    // While the enter-programming command's erase lasts, when it ends.
    std::optional<std::chrono::milliseconds> erasingUntil() const { return erasingUntil_; }
    int wakeBytesSeen() const { return wakeBytes_; }

    const SimConfig& config() const { return config_; }
    const ChipGeometry& geometry() const { return geometry_; }
    // Program memory as image bytes (address × address unit), unscrambled.
    const std::vector<std::uint8_t>& flash() const { return flash_; }
    const std::vector<std::uint8_t>& eeprom() const { return eeprom_; }
    const std::vector<FrameRecord>& frames() const { return frames_; }

    // Faults can be set at any time; they act from the next frame on.
    void setFaults(const SimFaults& f);
    const SimFaults& faults() const { return config_.faults; }

private:
    // Bytes a frame starting with pending_ needs in all; 0 while unknown.
    std::size_t expectedLength() const;
    void complete(FrameRecord record);
    FrameRecord handleFrame();
    FrameRecord handleWakeUp(std::uint8_t code);
    FrameRecord handleEnterProgramming(std::uint8_t code);
    // Why the frame now completing never reaches the device (a muted frame,
    // or one that began during the erase); nothing when it does.
    std::optional<std::string> lostReason(std::chrono::milliseconds startedAt) const;
    // When the answer of a frame completed now goes out.
    std::chrono::milliseconds answerDue(const FrameRecord& r);
    void handleBlock(FrameRecord& r);
    void handleEeprom(FrameRecord& r);
    void handleSum16Frame(FrameRecord& r);
    void addStray(std::uint8_t b);
    std::vector<std::uint8_t> identityAnswer() const;
    bool takeRefusal();

    SimConfig config_;
    ChipGeometry geometry_;
    std::optional<AddressRange> protected_;
    std::vector<std::uint8_t> flash_;
    std::vector<std::uint8_t> eeprom_;
    std::vector<FrameRecord> frames_;
    std::vector<std::uint8_t> pending_;
    bool pendingDamaged_ = false;  // the line damaged a byte of pending_
    std::chrono::milliseconds pendingStart_{0};
    bool damagedSinceQuiet_ = false;  // the line damaged a byte since it last went quiet
    std::chrono::milliseconds now_{0};
    std::optional<std::chrono::milliseconds> erasingUntil_;
    std::chrono::milliseconds lastAnswerDue_{0};
    SeededRandom jitter_;
    std::vector<Reply> replies_;   // made since the last feedAt or lineIdle
    bool awake_ = false;
    bool programming_ = false;
    bool hangUpDue_ = false;
    bool lastWasStray_ = false;
    int wakeBytes_ = 0;
};

// Whether `code` is one of the three wake-up codes any boot loader knows.
constexpr bool IsWakeCode(std::uint8_t code) {
    return code == WakeCode194 || code == WakeCode197 || code == WakeCode198;
}

}  // namespace torvane::bootsim
