// Conversions from double to the integer widths the engine stores. Truncates toward zero like the
// original compilers did for in-range values; out-of-range values saturate and NaN gives 0, so no
// conversion is ever undefined behaviour whatever a saved setting or a host argument holds.
#pragma once
#include <cmath>
#include <cstdint>
#include <limits>

template <class Int>
constexpr Int TruncSat(double v) {
    using L = std::numeric_limits<Int>;
    if (std::isnan(v)) return 0;
    // L::max() + 1.0 and L::min() - 1.0 are exact in double for 8..32-bit integers.
    if (v >= double(L::max()) + 1.0) return L::max();
    if (v <= double(L::min()) - 1.0) return L::min();
    return static_cast<Int>(v);
}

constexpr int32_t TruncL(double v) { return TruncSat<int32_t>(v); }
constexpr int16_t TruncS(double v) { return TruncSat<int16_t>(v); }
