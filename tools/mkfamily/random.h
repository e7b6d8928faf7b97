// A small deterministic generator: the same seed gives the same family on
// every platform (the standard distributions are not portable, so they
// are not used).
#pragma once

#include <cstdint>
#include <vector>

namespace pelo::family {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    /// 0 to n - 1 (0 when n <= 0).
    int below(int n) { return n <= 0 ? 0 : int(next() % std::uint64_t(n)); }
    /// low to high inclusive.
    int between(int low, int high) { return low + below(high - low + 1); }
    bool chance(int percent) { return below(100) < percent; }
    template <class T>
    const T& pick(const std::vector<T>& items) { return items[std::size_t(below(int(items.size())))]; }

private:
    std::uint64_t state_;
};

}  // namespace pelo::family
