#include "core/common/random_number.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>

namespace tovira {

double RandomInteger(int a, int b) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ticks =
        std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    std::seed_seq seed{std::uint32_t(ticks), std::uint32_t(ticks >> 32)};
    std::mt19937 generator(seed);
    // 24 random bits give every float in [0, 1) on the 2^-24 grid, and never 1:
    // with the usual bounds (a - b + 1 is negative) r = 1 would give a number
    // of eight digits.
    const float r = float(generator() >> 8) * (1.0f / 16777216.0f);
    return std::floor(double(r) * (double(a) - double(b) + 1.0) + double(b));
}

}  // namespace tovira
