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
        Defect{"WrongNameCount", [](BrokenProduct& p) { p.Append("hardware-names.txt", "EXTRA\n"); },
               "hardware-names.txt:37:", "more than 33"}),
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
