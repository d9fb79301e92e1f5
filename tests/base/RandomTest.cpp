#include "base/Random.h"

#include <gtest/gtest.h>

using namespace tarvo;

TEST(RandomGenerator, MatchesTheReferenceMt19937AndStaysInRange) {
    // Reference: the 10000th output of std::mt19937 seeded with 5489 is 4123659995.
    RandomGenerator r(5489);
    EXPECT_EQ(3499211612u, r.Next());
    for (int i = 2; i < 10000; ++i) r.Next();
    EXPECT_EQ(4123659995u, r.Next());
    RandomGenerator s(1);
    for (int i = 0; i < 20000; ++i) EXPECT_LT(s.Next(9999), 9999u);
}
