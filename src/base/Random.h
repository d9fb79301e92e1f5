#pragma once
// The process-wide MT19937 generator, seeded from the clock before the entry point runs.
// Not locked: only the thread that makes temporary names uses it.
#include <cstdint>

namespace tarvo {

class RandomGenerator {
public:
    RandomGenerator();  // seeded from the clock
    explicit RandomGenerator(uint32_t seed) { Seed(seed); }
    void Seed(uint32_t seed);
    // With n > 0: floor(u * n / 2^32), always below n. With n == 0: the raw 32-bit output.
    uint32_t Next(uint32_t n = 0);

private:
    uint32_t NextRaw();
    uint32_t state_[624];
    int index_ = 624;
};

RandomGenerator& ProcessRandom();

}  // namespace tarvo
