#pragma once
// Everything the updater knows about the chips it can program, in one place:
// the image slot each chip takes, how its flash is laid out below the boot
// loader, the jump that sends its reset into the boot loader, and where its
// images carry their header codes. The image catalogue, the product packer and
// the update run all read these tables. The simulated boot loader keeps its
// own on purpose, so that the two check each other.

#include <array>
#include <cstdint>
#include <string_view>

namespace torvane {

using ImageSlot = std::uint8_t;

enum class ChipFamily { Pic18, Dspic };

// From this boot loader version on, PIC18 parts keep the wider reservation and
// jump to the boot loader's newer entry (and the loader understands 204).
inline constexpr std::uint8_t FirstModernVersion = 5;

// Flash that the boot loader keeps at the top, with the final block below it.
enum class Reservation : std::uint8_t {
    Standard,   // StandardReservationModern or ...Old bytes, by boot loader version
    J10,        // J10ReservationBytes, whatever the version
    LoaderRow,  // LoaderRowUnits address units: the boot loader's own row
};
inline constexpr std::uint32_t StandardReservationModern = 448;  // bytes
inline constexpr std::uint32_t StandardReservationOld = 320;     // bytes
inline constexpr std::uint32_t J10ReservationBytes = 1088;
inline constexpr std::uint32_t LoaderRowUnits = 128;             // address units

// The GOTO to the boot loader's entry, in the byte order it stands in the image.
struct BootJump {
    std::array<std::uint8_t, 8> bytes{};
    std::uint8_t count = 0;  // bytes used; 0: no jump is known
};

constexpr BootJump Goto4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return {{a, b, c, d, 0, 0, 0, 0}, 4};
}
constexpr BootJump Goto8(std::array<std::uint8_t, 8> bytes) { return {bytes, 8}; }
inline constexpr BootJump NoJumpKnown{};

// A tail whose bytes are all sent as the image carries them.
inline constexpr std::uint16_t WholeTail = 0xFFFF;

struct Chip {
    std::uint8_t code;
    ImageSlot slot;
    ChipFamily family;
    std::uint8_t addressUnit;     // image bytes per device address unit
    std::uint16_t rowSize;        // image bytes per block
    std::uint32_t flashTop;       // address units; the boot loader sits just below
    BootJump modernJump;          // behind a boot loader of FirstModernVersion or later
    BootJump oldJump;             // behind an older one
    Reservation reservation;
    bool padToRow;                // the last block is padded to a full row
    std::uint16_t tailKept;       // tail bytes sent as carried; the rest are sent as 0
    std::uint16_t headerAt;       // image hardware code here, preparation code next
    std::string_view name;        // the chip as a record or a table names it
    std::string_view panelText;   // device panel text when found
};

// The dsPIC33/PIC24 boot loaders' entries, the same behind every version.
inline constexpr BootJump GotoA800 = Goto8({0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00});
inline constexpr BootJump Goto15400 = Goto8({0x00, 0x54, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00});

// code, slot, family, address unit, row size, flash top, jump (loader >= 5), jump (older), reservation, pad to row, tail kept, header at, name, panel text
inline constexpr std::array<Chip, 11> Chips = [] {
    using enum ChipFamily;
    using enum Reservation;
    return std::array<Chip, 11>{{
        {66, 0, Pic18, 1, 64, 0x8000, Goto4(0x40, 0xEF, 0x3F, 0xF0), Goto4(0x80, 0xEF, 0x3F, 0xF0), Standard, false, WholeTail, 14, "258", "Found 258"},
        {67, 1, Pic18, 1, 64, 0x8000, Goto4(0x40, 0xEF, 0x3F, 0xF0), Goto4(0x80, 0xEF, 0x3F, 0xF0), Standard, false, WholeTail, 14, "2580", "Found 2580"},
        {68, 2, Pic18, 1, 64, 0x4000, Goto4(0x40, 0xEF, 0x1F, 0xF0), Goto4(0x80, 0xEF, 0x1F, 0xF0), Standard, false, WholeTail, 14, "2480", "Found 2480"},
        {69, 3, Pic18, 1, 64, 0x4000, Goto4(0x40, 0xEF, 0x1F, 0xF0), Goto4(0x80, 0xEF, 0x1F, 0xF0), Standard, false, WholeTail, 14, "248", "Found 248"},
        {70, 4, Pic18, 1, 64, 0x2000, Goto4(0x80, 0xEF, 0x0F, 0xF0), Goto4(0x80, 0xEF, 0x0F, 0xF0), Standard, false, WholeTail, 14, "2320", "Found 2320"},
        {71, 8, Pic18, 1, 64, 0x8000, Goto4(0x40, 0xEF, 0x3F, 0xF0), NoJumpKnown, Standard, true, 4, 14, "18F25k80", "Found 18F25k80"},
        {72, 9, Pic18, 1, 64, 0x10000, Goto4(0x40, 0xEF, 0x7F, 0xF0), NoJumpKnown, Standard, true, 4, 14, "18F26k80", "Found 18F26k80"},
        {199, 5, Pic18, 1, 64, 0x4000, Goto4(0x00, 0xEF, 0x1E, 0xF0), Goto4(0x00, 0xEF, 0x1E, 0xF0), J10, false, WholeTail, 14, "24j10", "Found 24j10"},
        {252, 6, Dspic, 2, 256, 0xA800, GotoA800, GotoA800, LoaderRow, false, WholeTail, 1024, "33FJ64", "Found 33FJ64"},
        {254, 6, Dspic, 2, 256, 0xA800, GotoA800, GotoA800, LoaderRow, false, WholeTail, 1024, "24HJ64", "Found 24HJ64"},
        {253, 7, Dspic, 2, 256, 0x15400, Goto15400, Goto15400, LoaderRow, false, WholeTail, 1024, "33FJ128 - 24HJ128", "Found 33FJ128 - 24HJ128"},
    }};
}();

// The device panel names the chip it found.
constexpr bool PanelTextsNameTheirChips() {
    for (const auto& c : Chips)
        if (c.panelText.substr(0, 6) != "Found " || c.panelText.substr(6) != c.name) return false;
    return true;
}
static_assert(PanelTextsNameTheirChips());

// The chip of a code, or nullptr for a code the updater does not know.
constexpr const Chip* FindChip(std::uint8_t code) {
    for (const auto& c : Chips)
        if (c.code == code) return &c;
    return nullptr;
}

// Slot of a chip code; unknown chips select slot 0 (and are refused before
// its image is used).
constexpr ImageSlot SlotForChip(std::uint8_t code) {
    const Chip* c = FindChip(code);
    return c ? c->slot : ImageSlot{0};
}

// The boot jump for a chip behind a boot loader of `version`; count 0 when
// none is known (a device programmed with a guess would not restart into its
// loader).
constexpr const BootJump& JumpFor(const Chip& chip, std::uint8_t version) {
    return version >= FirstModernVersion ? chip.modernJump : chip.oldJump;
}

namespace chips_detail {
constexpr const Chip& FirstOf(ChipFamily f) {
    for (const auto& c : Chips)
        if (c.family == f) return c;
    return Chips[0];
}
}  // namespace chips_detail

// Family of the images in a slot: that of the chips selecting it (slots no
// chip selects hold PIC18 images).
constexpr ChipFamily FamilyOfSlot(int slot) {
    for (const auto& c : Chips)
        if (c.slot == slot) return c.family;
    return ChipFamily::Pic18;
}

// Row geometry of a family, as the packer scrambles and the boot loader writes.
struct RowGeometry {
    int rowBytes;     // image bytes per row
    int addressUnit;  // image bytes per device address unit
};

constexpr RowGeometry GeometryOf(ChipFamily f) {
    const Chip& c = chips_detail::FirstOf(f);
    return {c.rowSize, c.addressUnit};
}

// Position of the header codes (hardware, then preparation) in `data`.
constexpr int HeaderOffset(ChipFamily f) { return chips_detail::FirstOf(f).headerAt; }

// The family-wide answers above hold only while every chip of a family, and
// every chip of a slot, agrees on them.
constexpr bool ChipsAgree() {
    for (const auto& a : Chips) {
        for (const auto& b : Chips) {
            if (&a != &b && a.code == b.code) return false;
            if (a.slot == b.slot && a.family != b.family) return false;
            if (a.family == b.family &&
                (a.addressUnit != b.addressUnit || a.rowSize != b.rowSize || a.headerAt != b.headerAt))
                return false;
        }
    }
    return true;
}
static_assert(ChipsAgree());

// What a sequence does when it meets a slot's chip again after programming it.
enum RepeatActionCode : std::uint8_t {
    RepeatProgramAgain = 0,
    RepeatWaitOneSecond = 1,
    RepeatSendAccessFrames = 2,
};

struct SlotRule {
    ImageSlot slot;
    RepeatActionCode repeat;
    bool fallbackTakesPlain;    // row 0's cell takes the plain flag from its image
    bool fallbackTakesCodes;    // row 0's cell takes the codes from its image
    bool settlesAfterSequence;  // the module restarts slowly after a sequence's last image
};

// slot, repeat action, fallback takes plain, fallback takes codes, settles after a sequence
inline constexpr std::array<SlotRule, 3> SlotRules{{
    {6, RepeatSendAccessFrames, true, true, false},
    {7, RepeatSendAccessFrames, true, false, false},
    {9, RepeatWaitOneSecond, false, false, true},
}};

// The rule of a slot; slots without one are programmed again and take
// nothing from their images.
constexpr SlotRule RuleOfSlot(int slot) {
    for (const auto& r : SlotRules)
        if (r.slot == slot) return r;
    return {static_cast<ImageSlot>(slot), RepeatProgramAgain, false, false, false};
}

}  // namespace torvane
