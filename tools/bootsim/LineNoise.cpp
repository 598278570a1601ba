#include "tools/bootsim/LineNoise.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace torvane::bootsim {

namespace {

constexpr int DataBits = 8;
// Keeps the two directions' and the two faults' streams apart for one seed.
constexpr std::uint64_t FlipStream = 0x9E3779B97F4A7C15ULL;
constexpr std::uint64_t DropStream = 0xD1B54A32D192ED03ULL;

// splitmix64: spreads a small seed over the whole state.
std::uint64_t Mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

void CheckRate(double rate, const char* what) {
    if (!(rate >= 0 && rate <= 1)) throw std::invalid_argument(std::string(what) + " must be from 0 to 1");
}

}  // namespace

SeededRandom::SeededRandom(std::uint64_t seed, std::uint64_t stream) : state_(Mix(seed ^ stream) | 1) {}

std::uint64_t SeededRandom::next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1DULL;
}

double SeededRandom::unit() { return (static_cast<double>(next() >> 11) + 1.0) * 0x1.0p-53; }

int SeededRandom::between(int from, int to) {
    const auto span = static_cast<std::uint64_t>(static_cast<std::int64_t>(to) - from) + 1;
    return static_cast<int>(from + static_cast<std::int64_t>(next() % span));
}

LineNoise::LineNoise(NoiseSettings settings)
    : settings_(settings), flips_(settings.seed, FlipStream), drops_(settings.seed, DropStream) {
    CheckRate(settings.bitErrorRate, "the bit-error rate");
    CheckRate(settings.dropRate, "the drop rate");
    untilFlip_ = bitsUntilFlip();
}

// The gap to the next flipped bit is geometric; drawing it once per flip
// instead of once per bit keeps a low rate cheap.
std::uint64_t LineNoise::bitsUntilFlip() {
    const double p = settings_.bitErrorRate;
    if (p <= 0) return std::numeric_limits<std::uint64_t>::max();
    if (p >= 1) return 0;
    const double gap = std::floor(std::log(flips_.unit()) / std::log1p(-p));
    return gap >= 1e18 ? std::numeric_limits<std::uint64_t>::max() : static_cast<std::uint64_t>(gap);
}

std::vector<std::uint8_t> LineNoise::pass(std::span<const std::uint8_t> bytes, std::vector<ByteDamage>* marks) {
    std::vector<std::uint8_t> out;
    out.reserve(bytes.size());
    if (marks != nullptr) marks->clear();
    for (std::uint8_t b : bytes) {
        ++damage_.bytes;
        int flipped = 0;
        for (int bit = 0; bit < DataBits; ++bit) {
            if (untilFlip_ > 0) {
                --untilFlip_;
                continue;
            }
            b = static_cast<std::uint8_t>(b ^ (1u << bit));
            ++flipped;
            untilFlip_ = bitsUntilFlip();
        }
        // A byte is drawn for loss whatever the rate, so that the flips of
        // one seed stay where they were when only the drop rate changes.
        const bool dropped = drops_.unit() <= settings_.dropRate;
        if (dropped) {
            ++damage_.bytesDropped;
            lossPending_ = true;
            continue;
        }
        if (flipped > 0) {
            damage_.bitsFlipped += static_cast<std::uint64_t>(flipped);
            ++damage_.bytesFlipped;
        }
        out.push_back(b);
        if (marks != nullptr)
            marks->push_back(flipped > 0 ? ByteDamage::Flipped : lossPending_ ? ByteDamage::AfterLoss : ByteDamage::None);
        lossPending_ = false;
    }
    return out;
}

std::string DescribeDamage(const LineDamage& d) {
    return std::to_string(d.bitsFlipped) + " bits flipped in " + std::to_string(d.bytesFlipped) + " of " +
           std::to_string(d.bytes) + " bytes, " + std::to_string(d.bytesDropped) + " bytes dropped";
}

}  // namespace torvane::bootsim
