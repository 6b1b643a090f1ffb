#include "core/common/random_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace tovira {
namespace {

TEST(RandomNumberTest, RandomIntegerAlwaysHasNineDigits) {
    std::set<double> seen;
    for (int i = 0; i < 5000; ++i) {
        const double n = RandomInteger(100000000, 999999999);
        ASSERT_EQ(n, std::floor(n));
        ASSERT_GT(n, 100000000.0);
        ASSERT_LE(n, 999999999.0);
        seen.insert(n);
    }
    // Reseeding from the clock must still give different numbers call by call.
    EXPECT_GT(seen.size(), 500u);
}

}  // namespace
}  // namespace tovira
