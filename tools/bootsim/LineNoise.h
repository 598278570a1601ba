#pragma once
// A noisy line between the updater and the simulated device: bits flip at a
// given bit-error rate and whole bytes are lost at a given rate. One LineNoise
// is one direction of the line. The damage depends only on the seed and on
// the position of each byte in the stream, never on how the bytes were cut
// into reads, so a seed replays the same damage run after run.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace torvane::bootsim {

struct NoiseSettings {
    double bitErrorRate = 0;  // chance that one data bit arrives flipped, 0 to 1
    double dropRate = 0;      // chance that a whole byte never arrives, 0 to 1
    std::uint64_t seed = 1;
    bool any() const { return bitErrorRate > 0 || dropRate > 0; }
};

struct LineDamage {
    std::uint64_t bytes = 0;         // bytes put on the line
    std::uint64_t bitsFlipped = 0;
    std::uint64_t bytesFlipped = 0;  // bytes that arrived with at least one bit flipped
    std::uint64_t bytesDropped = 0;
};

// xorshift64* seeded through splitmix64, with a fixed definition: a seed
// draws the same numbers on every build and standard library, so a fault
// plan named by its seed replays exactly. `stream` sets apart the numbers of
// different uses of one seed.
class SeededRandom {
public:
    SeededRandom(std::uint64_t seed, std::uint64_t stream);
    std::uint64_t next();
    double unit();                  // (0, 1]
    int between(int from, int to);  // from .. to, both included; from <= to

private:
    std::uint64_t state_;
};

// What the line did to one byte that arrived: nothing, flipped some of its
// bits, or lost the byte (or bytes) just before it.
enum class ByteDamage : std::uint8_t { None, Flipped, AfterLoss };

class LineNoise {
public:
    // Throws std::invalid_argument for a rate outside 0 to 1.
    explicit LineNoise(NoiseSettings settings);

    // The bytes as they reach the far end; with `marks`, what happened to
    // each of them (one entry per byte returned). A loss at the end of one
    // call marks the first byte of the next, unless forgetLoss() came between.
    std::vector<std::uint8_t> pass(std::span<const std::uint8_t> bytes, std::vector<ByteDamage>* marks = nullptr);
    // The line went quiet: a byte lost before the pause broke no frame that
    // starts after it.
    void forgetLoss() { lossPending_ = false; }
    const LineDamage& damage() const { return damage_; }

private:
    std::uint64_t bitsUntilFlip();

    NoiseSettings settings_;
    SeededRandom flips_;
    SeededRandom drops_;
    std::uint64_t untilFlip_ = 0;  // clean bits before the next flipped one
    LineDamage damage_;
    bool lossPending_ = false;
};

// "12 bits flipped in 11 of 52000 bytes, 3 bytes dropped"
std::string DescribeDamage(const LineDamage& d);

}  // namespace torvane::bootsim
