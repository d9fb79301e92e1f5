#include "base/Random.h"

#include "base/Win.h"

namespace tarvo {

namespace {
uint32_t ClockSeed() {
    SYSTEMTIME t;
    ::GetSystemTime(&t);
    auto sq = [](uint32_t v) { return v * v; };
    uint32_t seed = sq(t.wSecond) + sq(t.wMilliseconds) + sq(t.wMinute) + sq(t.wHour) + sq(t.wYear);
    LARGE_INTEGER counter;
    if (::QueryPerformanceCounter(&counter)) {
        seed = seed * uint32_t(counter.LowPart) + uint32_t(counter.HighPart);
    }
    return seed + ::GetTickCount();
}
}  // namespace

RandomGenerator::RandomGenerator() { Seed(ClockSeed()); }

void RandomGenerator::Seed(uint32_t seed) {
    state_[0] = seed;
    for (int i = 1; i < 624; ++i) {
        state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + uint32_t(i);
    }
    index_ = 624;
}

uint32_t RandomGenerator::NextRaw() {
    if (index_ >= 624) {
        for (int i = 0; i < 624; ++i) {
            uint32_t y = (state_[i] & 0x80000000u) | (state_[(i + 1) % 624] & 0x7fffffffu);
            state_[i] = state_[(i + 397) % 624] ^ (y >> 1) ^ ((y & 1u) ? 0x9908b0dfu : 0u);
        }
        index_ = 0;
    }
    uint32_t y = state_[index_++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
}

uint32_t RandomGenerator::Next(uint32_t n) {
    uint32_t u = NextRaw();
    return n ? uint32_t((uint64_t(u) * n) >> 32) : u;
}

RandomGenerator& ProcessRandom() {
    static RandomGenerator generator;
    return generator;
}

}  // namespace tarvo
