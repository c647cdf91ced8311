// The simulator's random numbers: a fixed engine and fixed transformations, so that one seed gives one
// stream on every machine.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>

namespace cssim {

class TSimRandom {
public:
    explicit TSimRandom(std::uint64_t seed) : engine_(seed) {}

    // In [0, 1).
    double Uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
    // In [0, n).
    int Below(int n) { return static_cast<int>(Uniform() * n); }
    bool Chance(double probability) { return Uniform() < probability; }
    // Standard normal (Box-Muller).
    double Normal()
    {
        const double u1 = 1.0 - Uniform();
        const double u2 = Uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
    }

private:
    static constexpr double kPi = 3.14159265358979323846;
    std::mt19937_64 engine_;
};

}  // namespace cssim
