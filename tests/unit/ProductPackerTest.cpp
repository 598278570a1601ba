#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

#include "images/ImageTable.h"
#include "images/ProductData.h"
#include "images/Scramble.h"
#include "tools/mkimage/ProductPacker.h"

using namespace torvane;
using namespace torvane::mkimage;
namespace fs = std::filesystem;

namespace {

const fs::path ProductDir = fs::path(TORVANE_SOURCE_DIR) / "product";

TEST(ProductPacker, CompiledImagesAreTheHexFilesScrambledByRowAddress) {
    const Product p = LoadProduct(ProductDir);
    ASSERT_EQ(p.images.size(), 2u);
    ImageCatalog catalog;
    BuildImageTable(catalog);
    for (const auto& c : p.cells) {
        const auto& img = p.images[c.image];
        const auto& d = catalog.cell(c.cell.row, c.cell.slot);
        ASSERT_EQ(d.size, static_cast<std::int32_t>(img.data.size())) << img.name;
        const auto family = FamilyOfSlot(c.cell.slot);
        for (std::size_t i = 0; i < img.data.size(); ++i) {
            // The device undoes the mask by block address; so do we.
            const auto plain = static_cast<std::uint8_t>(
                d.data[i] ^ ScrambleByte(RowAddressLowByte(family, static_cast<std::int64_t>(i))));
            ASSERT_EQ(plain, img.data[i]) << img.name << " byte " << i;
        }
        ASSERT_EQ(d.tailCount, static_cast<std::int32_t>(img.tail.size()));
    }
    // Header codes come out through the mask at offset 0.
    EXPECT_EQ(ReadHeaderCodes(ChipFamily::Dspic, catalog.cell(0, 6).data).hardwareCode, 26);
    EXPECT_EQ(ReadHeaderCodes(ChipFamily::Dspic, catalog.cell(0, 6).data).preparationCode, 0x84);
}

TEST(ProductPacker, IntelHexFillsGapsAndFollowsExtendedAddresses) {
    const std::string hex =
        ":020000040000FA\n"
        ":0400100001020304E2\n"
        ":020000021000EC\n"  // segment base 0x10000
        ":01000000AA55\n"
        ":00000001FF\n";
    const Bytes b = ParseIntelHex(hex, "t.hex");
    ASSERT_EQ(b.size(), 0x10001u);
    EXPECT_EQ(b[0], 0xFF);
    EXPECT_EQ(b[0x10], 0x01);
    EXPECT_EQ(b[0x13], 0x04);
    EXPECT_EQ(b[0x10000], 0xAA);
}

TEST(ProductPacker, ScrambleRoundTrips) {
    Bytes plain(700);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<std::uint8_t>(i * 7);
    for (auto family : {ChipFamily::Pic18, ChipFamily::Dspic}) {
        const ScrambleConfig cfg{0xA7, 1};
        const Bytes stored = ScrambleImage(plain, family, cfg);
        EXPECT_NE(stored, plain);
        EXPECT_EQ(ScrambleImage(stored, family, cfg), plain);
        EXPECT_EQ(ScrambleImage(plain, family, {0xA7, 0}), plain);  // scrambling off
    }
    // dsPIC byte 300 lies in the row at address 128 (0x80): mask key + 0x80.
    const Bytes one = ScrambleImage(Bytes(301, 0), ChipFamily::Dspic, {0x10, 1});
    EXPECT_EQ(one[300], 0x90);
    EXPECT_EQ(one[255], 0x10);
}

// A writable copy of the product with one defect applied.
class BrokenProduct : public ::testing::Test {
public:
    fs::path dir;
    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/') c = '-';
        dir = fs::temp_directory_path() / ("torvane-product-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(dir);
        fs::copy(ProductDir, dir, fs::copy_options::recursive);
    }
    void TearDown() override { fs::remove_all(dir); }
    void Write(const fs::path& rel, const std::string& text) { std::ofstream(dir / rel) << text; }
    void Append(const fs::path& rel, const std::string& text) { std::ofstream(dir / rel, std::ios::app) << text; }
    std::string Read(const fs::path& rel) {
        std::ifstream in(dir / rel);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
    std::string ErrorOf() {
        try {
            LoadProduct(dir);
        } catch (const PackError& e) {
            return e.what();
        }
        return "(no error)";
    }
};

const std::string Manifest = "images/manifest.txt";
const std::string SmallHex = ":0400000001020304F2\n:00000001FF\n";

struct Defect {
    const char* name;
    std::function<void(BrokenProduct&)> apply;
    const char* where;    // file and line the message must name
    const char* message;
};

void PrintTo(const Defect& d, std::ostream* os) { *os << d.name; }

class BrokenProductCases : public BrokenProduct, public ::testing::WithParamInterface<Defect> {};

TEST_P(BrokenProductCases, StopsWithFileAndLine) {
    GetParam().apply(*this);
    const std::string err = ErrorOf();
    EXPECT_NE(err.find(GetParam().where), std::string::npos) << err;
    EXPECT_NE(err.find(GetParam().message), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Defects, BrokenProductCases,
    ::testing::Values(
        Defect{"MalformedRecord", [](BrokenProduct& p) { p.Write("images/x.hex", ":04000000010203\n:00000001FF\n"); p.Append(Manifest, "image x x.hex tail=kbv7e-26k80.tail\ncell 0 0 x\n"); },
               "x.hex:1:", "malformed HEX record"},
        Defect{"NotHex", [](BrokenProduct& p) { p.Write("images/x.hex", ":020000040000FA\n:04000000010G0304F2\n:00000001FF\n"); p.Append(Manifest, "image x x.hex tail=kbv7e-26k80.tail\ncell 0 0 x\n"); },
               "x.hex:2:", "malformed HEX record"},
        Defect{"BadChecksum", [](BrokenProduct& p) { p.Write("images/x.hex", ":0400000001020304F3\n:00000001FF\n"); p.Append(Manifest, "image x x.hex tail=kbv7e-26k80.tail\ncell 0 0 x\n"); },
               "x.hex:1:", "bad record checksum"},
        Defect{"NoEndRecord", [](BrokenProduct& p) { p.Write("images/x.hex", ":0400000001020304F2\n"); p.Append(Manifest, "image x x.hex tail=kbv7e-26k80.tail\ncell 0 0 x\n"); },
               "x.hex:1:", "end-of-file"},
        Defect{"TooShortForHeader", [](BrokenProduct& p) { p.Write("images/x.hex", SmallHex); p.Append(Manifest, "image x x.hex tail=kbv7e-26k80.tail\ncell 0 0 x\n"); },
               "manifest.txt:15:", "too short to hold its header codes"},
        Defect{"TailLongerThanRow", [](BrokenProduct& p) { std::string s; for (int i = 0; i < 65; ++i) s += "AA "; p.Write("images/long.tail", s); p.Append(Manifest, "image x kbv7e-26k80.hex tail=long.tail\ncell 0 0 x\n"); },
               "manifest.txt:15:", "longer than a row"},
        Defect{"TooMuchEeprom", [](BrokenProduct& p) { std::string s; for (int i = 0; i < 257; ++i) s += "01\n"; p.Write("images/big.eep", s); p.Append(Manifest, "image x kbv7e-26k80.hex tail=kbv7e-26k80.tail eeprom=big.eep\ncell 0 0 x\n"); },
               "big.eep:257:", "more than 256 EEPROM bytes"},
        Defect{"CellOutsideTable", [](BrokenProduct& p) { p.Append(Manifest, "cell 3 6 kbv7e-33fj64\n"); },
               "manifest.txt:15:", "outside the table"},
        Defect{"SlotOutsideTable", [](BrokenProduct& p) { p.Append(Manifest, "cell 0 47 kbv7e-33fj64\n"); },
               "manifest.txt:15:", "outside the image table"},
        Defect{"SharedCellNamed", [](BrokenProduct& p) { p.Append(Manifest, "cell 32 6 kbv7e-33fj64\n"); },
               "manifest.txt:15:", "shares the image of cell 16 6"},
        Defect{"BadScrambleKey", [](BrokenProduct& p) { p.Write("scramble.conf", "key = 300\nenable = 1\n"); },
               "scramble.conf:1:", "byte"},
        Defect{"DataInNoRegionOfItsFamily", [](BrokenProduct& p) { p.Write("images/x.hex", ":020000040031C9\n:0400000001020304F2\n:00000001FF\n"); p.Append(Manifest, "image x x.hex tail=kbv7e-26k80.tail\ncell 0 0 x\n"); },
               "x.hex:2:", "data at 0x310000 lies outside program memory"},
        Defect{"WrongNameCount", [](BrokenProduct& p) { p.Append("hardware-names.txt", "EXTRA\n"); },
               "hardware-names.txt:37:", "more than 33"}),
    [](const auto& c) { return std::string(c.param.name); });

// What a PIC18 compiler writes: program memory, user ID words, configuration
// words in two records, and data EEPROM with a gap at 4 and 5.
const std::string CompilerHex =
    ":020000040000FA\n"
    ":10000000EF08F00012001200120012001200052189\n"
    ":10001000303132333435363738393A3B3C3D3E3F68\n"
    ":020000040020DA\n"
    ":080000000102030405060708D4\n"  // 0x200000
    ":020000040030CA\n"
    ":0800000000181E1E00818D0096\n"  // 0x300000
    ":060008000FC00FE00F40E5\n"
    ":0200000400F00A\n"
    ":040000001122334452\n"  // 0xF00000
    ":0200060055663D\n"
    ":00000001FF\n";
const std::string CompilerHexProgramOnly =
    ":10000000EF08F00012001200120012001200052189\n"
    ":10001000303132333435363738393A3B3C3D3E3F68\n"
    ":00000001FF\n";
const char* const CompilerHexEeprom = "11 22 33 44 FF FF 55 66\n";

TEST_F(BrokenProduct, CompilerHexPacksLikeItsProgramWithAnEepFile) {
    const std::string manifest = Read(Manifest);
    Write("images/c.hex", CompilerHex);
    Append(Manifest, "image c c.hex tail=kbv7e-26k80.tail\ncell 0 0 c\n");
    const Product fromCompiler = LoadProduct(dir);
    const ImageSpec& img = fromCompiler.images.back();
    EXPECT_EQ(img.data.size(), 32u);
    EXPECT_EQ(img.eeprom, (Bytes{0x11, 0x22, 0x33, 0x44, 0xFF, 0xFF, 0x55, 0x66}));
    const std::string hex = (dir / "images" / "c.hex").string();
    const std::vector<std::string> notes = {
        hex + ":5: note: skipped the user ID words at 0x200000-0x200007, which the boot loader cannot write",
        hex + ":7: note: skipped the configuration words at 0x300000-0x30000D, which the boot loader cannot write"};
    EXPECT_EQ(fromCompiler.notes, notes);

    // The build tool passes and shows the notes in the build log.
    const fs::path out = dir / "out.cpp", err = dir / "err.txt";
    const std::string cmd = std::string(TORVANE_MKIMAGE) + " --product " + dir.string() + " --out " + out.string() +
                            " 2>" + err.string();
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_TRUE(fs::exists(out));
    EXPECT_EQ(Read("err.txt"), notes[0] + "\n" + notes[1] + "\n");

    // EEPROM bytes from the HEX file are stored exactly as an .eep file's are.
    Write("images/p.hex", CompilerHexProgramOnly);
    Write("images/p.eep", CompilerHexEeprom);
    Write(Manifest, manifest + "image c p.hex tail=kbv7e-26k80.tail eeprom=p.eep\ncell 0 0 c\n");
    const Product fromEep = LoadProduct(dir);
    EXPECT_TRUE(fromEep.notes.empty());
    EXPECT_EQ(GenerateSource(fromCompiler), GenerateSource(fromEep));
}

TEST_F(BrokenProduct, EepromFromBothTheHexAndAnEepFileIsRefused) {
    Write("images/c.hex", CompilerHex);
    Write("images/c.eep", CompilerHexEeprom);
    Append(Manifest, "image c c.hex tail=kbv7e-26k80.tail eeprom=c.eep\ncell 0 0 c\n");
    EXPECT_EQ(ErrorOf(), (dir / Manifest).string() + ":15: image 'c' takes EEPROM bytes from both " +
                             (dir / "images" / "c.hex").string() + " (line 10) and " +
                             (dir / "images" / "c.eep").string() + "; keep one of them");
}

// One record beyond program memory, on line 2, after four program bytes.
struct RegionCase {
    const char* name;
    ChipFamily family;
    std::uint32_t address;
    std::size_t count;
    const char* note;   // the note it leaves (before Unwritable), or
    const char* error;  // the error it raises
};

void PrintTo(const RegionCase& c, std::ostream* os) { *os << c.name; }

constexpr auto Pic18 = ChipFamily::Pic18;
constexpr auto Dspic = ChipFamily::Dspic;
constexpr const char* Unwritable = ", which the boot loader cannot write";

class HexRegions : public ::testing::TestWithParam<RegionCase> {};

TEST_P(HexRegions, SkipWithANoteOrStopAtTheLine) {
    const RegionCase& c = GetParam();
    const std::vector<HexRecord> records = {{0, {1, 2, 3, 4}, 1}, {c.address, Bytes(c.count, 0xAB), 2}};
    if (c.note) {
        const HexContent h = SortHexRecords(records, c.family, "t.hex");
        EXPECT_EQ(h.program, (Bytes{1, 2, 3, 4}));
        EXPECT_TRUE(h.eeprom.empty());
        EXPECT_EQ(h.notes, std::vector<std::string>{std::string("t.hex:2: note: ") + c.note + Unwritable});
    } else {
        try {
            SortHexRecords(records, c.family, "t.hex");
            ADD_FAILURE() << "no error";
        } catch (const PackError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("t.hex:2: ") + c.error);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    BeyondProgramMemory, HexRegions,
    ::testing::Values(
        RegionCase{"Pic18UserId", Pic18, 0x200000, 8, "skipped the user ID words at 0x200000-0x200007", nullptr},
        RegionCase{"Pic18Configuration", Pic18, 0x300000, 14, "skipped the configuration words at 0x300000-0x30000D", nullptr},
        RegionCase{"Pic18DeviceId", Pic18, 0x3FFFFE, 2, "skipped the device ID at 0x3FFFFE-0x3FFFFF", nullptr},
        RegionCase{"DspicConfiguration", Dspic, 0x1F00000, 0x30, "skipped the configuration words at 0x1F00000-0x1F0002F (device addresses 0xF80000-0xF80017)", nullptr},
        RegionCase{"DspicDeviceId", Dspic, 0x1FE0000, 8, "skipped the device ID at 0x1FE0000-0x1FE0007 (device addresses 0xFF0000-0xFF0003)", nullptr},
        RegionCase{"ProgramRecordRunsOver", Pic18, 0x3FFFC, 8, nullptr, "data outside program memory: the record runs past 0x3FFFF"},
        RegionCase{"Pic18PastConfiguration", Pic18, 0x300010, 1, nullptr, "data at 0x300010 lies outside program memory and every other region a PIC18 HEX file may hold"},
        RegionCase{"Pic18ConfigurationRunsOver", Pic18, 0x30000C, 8, nullptr, "record runs past the end of the configuration words (0x300000-0x30000F)"},
        RegionCase{"Pic18PastEeprom", Pic18, 0xF00400, 1, nullptr, "data at 0xF00400 lies outside program memory and every other region a PIC18 HEX file may hold"},
        RegionCase{"Pic18EepromPastTheTable", Pic18, 0xF000FF, 2, nullptr, "more than 256 EEPROM bytes (257)"},
        RegionCase{"DspicPastConfiguration", Dspic, 0x1F00030, 4, nullptr, "data at 0x1F00030 lies outside program memory and every other region a dsPIC33/PIC24 HEX file may hold"},
        RegionCase{"Pic18ConfigurationOnDspic", Dspic, 0x300000, 2, nullptr, "data at 0x300000 lies outside program memory and every other region a dsPIC33/PIC24 HEX file may hold"},
        RegionCase{"NoEepromOnDspic", Dspic, 0xF00000, 1, nullptr, "data at 0xF00000 lies outside program memory and every other region a dsPIC33/PIC24 HEX file may hold"},
        RegionCase{"DspicConfigurationOnPic18", Pic18, 0x1F00000, 4, nullptr, "data at 0x1F00000 lies outside program memory and every other region a PIC18 HEX file may hold"}),
    [](const auto& c) { return std::string(c.param.name); });

TEST_F(BrokenProduct, TheBuildToolExitsNonZeroAndNamesTheLine) {
    Write("images/x.hex", ":0400000001020304F3\n:00000001FF\n");
    Append(Manifest, "image x x.hex tail=kbv7e-26k80.tail\ncell 0 0 x\n");
    const fs::path out = dir / "out.cpp", err = dir / "err.txt";
    const std::string cmd = std::string(TORVANE_MKIMAGE) + " --product " + dir.string() + " --out " + out.string() +
                            " 2>" + err.string();
    EXPECT_NE(std::system(cmd.c_str()), 0);
    EXPECT_FALSE(fs::exists(out));
    std::ifstream in(err);
    std::string message((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(message.find("x.hex:1: bad record checksum"), std::string::npos) << message;
}

TEST_F(BrokenProduct, IdentityOverrideAndAbsenceReachTheSource) {
    Product p = LoadProduct(dir);
    p.identity = std::nullopt;
    EXPECT_NE(GenerateSource(p).find("const bool HasIdentity = false;"), std::string::npos);
    p.identity = "TK \"7\"";
    EXPECT_NE(GenerateSource(p).find("const char IdentityText[] = \"TK \\0427\\042\";"), std::string::npos);
}

}  // namespace
