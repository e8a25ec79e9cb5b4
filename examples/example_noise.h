#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

namespace kestrix::examples {

// Gaussian noise from a small generator of our own (xorshift and Box-Muller), so a generated
// recording comes out the same with every standard library. Each generator starts from its own seed.
class Noise
{
public:
    explicit Noise(std::uint64_t lngSeed) : lngState(lngSeed) {}

    double gaussian()
    {
        const double dblU1 = (static_cast<double>(next() >> 11) + 0.5) / 9007199254740992.0;
        const double dblU2 = static_cast<double>(next() >> 11) / 9007199254740992.0;
        return std::sqrt(-2.0 * std::log(dblU1)) * std::cos(2.0 * std::numbers::pi * dblU2);
    }

private:
    std::uint64_t next()
    {
        lngState ^= lngState << 13;
        lngState ^= lngState >> 7;
        lngState ^= lngState << 17;
        return lngState;
    }
    std::uint64_t lngState;
};

} // namespace kestrix::examples
