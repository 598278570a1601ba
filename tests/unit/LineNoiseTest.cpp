// The noisy line: a seed repeats the same damage however the bytes are cut
// into reads, and the counts say what was done.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "tools/bootsim/LineNoise.h"

using namespace torvane::bootsim;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Stream(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return b;
}

Bytes PassInChunks(LineNoise& line, const Bytes& in, std::size_t chunk) {
    Bytes out;
    for (std::size_t at = 0; at < in.size(); at += chunk) {
        const std::size_t n = std::min(chunk, in.size() - at);
        const Bytes part = line.pass({in.data() + at, n});
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

TEST(LineNoise, ASeedRepeatsTheSameDamageWhateverTheReads) {
    const Bytes in = Stream(20000);
    const NoiseSettings settings{1e-3, 1e-3, 42};
    LineNoise whole(settings), bytewise(settings), chunks(settings), other({1e-3, 1e-3, 43});
    const Bytes a = whole.pass(in);
    EXPECT_EQ(PassInChunks(bytewise, in, 1), a);
    EXPECT_EQ(PassInChunks(chunks, in, 333), a);
    EXPECT_NE(other.pass(in), a);  // another seed, other damage
}

TEST(LineNoise, CountsMatchWhatArrives) {
    const Bytes in = Stream(50000);
    struct Case { double ber, drop; };
    for (const Case c : {Case{0, 0}, Case{1e-3, 0}, Case{0, 1e-2}, Case{2e-3, 5e-3}}) {
        LineNoise line({c.ber, c.drop, 7});
        std::vector<ByteDamage> marks;
        const Bytes out = line.pass(in, &marks);
        ASSERT_EQ(marks.size(), out.size());
        const LineDamage& d = line.damage();
        EXPECT_EQ(d.bytes, in.size());
        EXPECT_EQ(out.size() + d.bytesDropped, in.size());
        if (c.drop == 0) {
            // Without loss the bytes line up: count the flipped bits directly.
            std::uint64_t bits = 0, bytes = 0;
            for (std::size_t i = 0; i < in.size(); ++i) {
                const int n = __builtin_popcount(static_cast<unsigned>(in[i] ^ out[i]));
                bits += static_cast<std::uint64_t>(n);
                bytes += n > 0;
                EXPECT_EQ(marks[i], n > 0 ? ByteDamage::Flipped : ByteDamage::None) << "byte " << i;
            }
            EXPECT_EQ(d.bitsFlipped, bits);
            EXPECT_EQ(d.bytesFlipped, bytes);
        }
        // Near the rate asked for: within a wide margin of the expectation.
        const double expectedFlips = c.ber * 8.0 * static_cast<double>(in.size());
        const double expectedDrops = c.drop * static_cast<double>(in.size());
        EXPECT_NEAR(static_cast<double>(d.bytesDropped), expectedDrops, 5 * std::sqrt(expectedDrops) + 1);
        if (c.drop == 0) {
            EXPECT_NEAR(static_cast<double>(d.bitsFlipped), expectedFlips, 5 * std::sqrt(expectedFlips) + 1);
        }
    }
}

// A lost byte marks the one that arrives after it, even in a later read,
// unless the line went quiet in between.
TEST(LineNoise, ALossMarksTheNextByteUntilTheLineGoesQuiet) {
    const Bytes in = Stream(5000);
    for (const bool quietAfterLoss : {false, true}) {
        LineNoise line({0, 0.05, 3});
        bool lost = false;
        int marked = 0;
        for (const std::uint8_t b : in) {
            std::vector<ByteDamage> marks;
            const Bytes out = line.pass({&b, 1}, &marks);
            if (out.empty()) {
                lost = true;
                if (quietAfterLoss) line.forgetLoss();
                continue;
            }
            EXPECT_EQ(marks[0], lost && !quietAfterLoss ? ByteDamage::AfterLoss : ByteDamage::None);
            marked += marks[0] == ByteDamage::AfterLoss;
            lost = false;
        }
        EXPECT_EQ(marked > 0, !quietAfterLoss);
    }
}

TEST(LineNoise, RatesOutsideZeroToOneAreRefused) {
    EXPECT_THROW(LineNoise({-0.1, 0, 1}), std::invalid_argument);
    EXPECT_THROW(LineNoise({0, 1.5, 1}), std::invalid_argument);
    LineNoise all({0, 1, 1});
    EXPECT_TRUE(all.pass(Stream(10)).empty());
}

}  // namespace
