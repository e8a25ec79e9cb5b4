// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recordings/power_levels.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace kestrix::engine {
namespace {

// The level on this scale is log2 of the power itself, so the logarithm's error shows undiluted.
constexpr LevelScale log2Scale{0.0, 0.0, 1.0, -1e300};

// Powers over the whole range of doubles, with the places a reduction to a mantissa could go wrong
// at: exact powers of two, either side of sqrt(2) and 1, the smallest normal and the largest double.
std::vector<double> testPowers()
{
    std::vector<double> dblPowers;
    std::mt19937_64 random(17);
    std::uniform_real_distribution<double> exponent(-1020.0, 1020.0);
    for (int i = 0; i < 20000; ++i) {
        dblPowers.push_back(std::exp2(exponent(random)));
    }
    for (int e = -1022; e <= 1023; e += 7) {
        for (const double dblMantissa : {1.0, std::numbers::sqrt2, 1.5, 1.9999999999999998}) {
            const double dblX = std::ldexp(dblMantissa, e);
            dblPowers.insert(dblPowers.end(), {std::nextafter(dblX, 0.0), dblX, std::nextafter(dblX, HUGE_VAL)});
        }
    }
    dblPowers.insert(dblPowers.end(), {DBL_MIN, DBL_MAX, 1.0, std::nextafter(1.0, 0.0), std::nextafter(1.0, 2.0)});
    return dblPowers;
}

TEST(PowerLevels, TheLogarithmIsWithinItsBoundOfTheLibrarysAcrossEveryDouble)
{
    const std::vector<double> dblPowers = testPowers();
    std::vector<double> dblLevels(dblPowers.size());
    levelsOfPowers(dblPowers, log2Scale, dblLevels);
    double dblWorst = 0.0;
    for (std::size_t i = 0; i < dblPowers.size(); ++i) {
        const double dblError = std::abs(dblLevels[i] - std::log2(dblPowers[i]));
        ASSERT_LE(dblError, 1.2e-12) << "power " << dblPowers[i];
        dblWorst = std::max(dblWorst, dblError);
    }
    // The exact powers of two come out exact.
    for (int e = -1022; e <= 1023; ++e) {
        ASSERT_EQ(levelOfPower(std::ldexp(1.0, e), log2Scale), static_cast<double>(e));
    }
    RecordProperty("worst_error", std::to_string(dblWorst));
}

TEST(PowerLevels, ABlockGivesTheBitsOfOneAtATimeWhateverItsLengthOrPlace)
{
    std::vector<double> dblPowers = testPowers();
    // Powers the fast steps leave to the library, in among the others: 0, below 0, NaN, subnormal, infinite.
    const double dblOdd[] = {0.0, -2.0, std::numeric_limits<double>::quiet_NaN(), 4.9e-324, DBL_MIN / 3.0, HUGE_VAL};
    for (std::size_t i = 0; i < std::size(dblOdd); ++i) {
        dblPowers.insert(dblPowers.begin() + static_cast<std::ptrdiff_t>(5 * i + 1), dblOdd[i]);
    }
    const LevelScale dbv{-40.5, 64.0, 3.0102999566398121, -300.0};
    for (const std::size_t lngLength :
         {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{7}, dblPowers.size()}) {
        const std::span<const double> dblBlock = std::span(dblPowers).first(lngLength);
        std::vector<double> dblLevels(lngLength);
        levelsOfPowers(dblBlock, dbv, dblLevels);
        std::vector<double> dblInPlace(dblBlock.begin(), dblBlock.end());
        levelsOfPowers(dblInPlace, dbv, dblInPlace);
        for (std::size_t i = 0; i < lngLength; ++i) {
            const double dblOne = levelOfPower(dblBlock[i], dbv);
            ASSERT_EQ(std::bit_cast<std::uint64_t>(dblLevels[i]), std::bit_cast<std::uint64_t>(dblOne)) << "at " << i;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(dblInPlace[i]), std::bit_cast<std::uint64_t>(dblOne)) << "at " << i;
        }
    }
}

TEST(PowerLevels, NothingComesOutBelowTheFloorNorAsANumberOtherThanALevel)
{
    const LevelScale dbv{-40.5, 64.0, 3.0102999566398121, -300.0};
    const double dblPowers[] = {
        0.0, -0.0, -1.0, std::numeric_limits<double>::quiet_NaN(), -HUGE_VAL, 4.9e-324, 1e-200, 1.0, 1e300, HUGE_VAL};
    std::vector<double> dblLevels(std::size(dblPowers));
    levelsOfPowers(dblPowers, dbv, dblLevels);
    for (std::size_t i = 0; i < std::size(dblPowers); ++i) {
        SCOPED_TRACE(testing::Message() << "power " << dblPowers[i]);
        const double dblExpected = dblPowers[i] > 0.0
                                       ? std::max(-40.5 + 3.0102999566398121 * (std::log2(dblPowers[i]) - 64.0), -300.0)
                                       : -300.0;
        if (std::isfinite(dblExpected)) {
            EXPECT_NEAR(dblLevels[i], dblExpected, 1e-11);
        }
        EXPECT_GE(dblLevels[i], -300.0);
    }
    EXPECT_EQ(dblLevels.back(), HUGE_VAL);
}

} // namespace
} // namespace kestrix::engine
