// Fixed arrays indexed from 1, so formulas written with 1-based indexes (sliders, colours, the tile
// field Rects[x][y]) read the same in code. Storage is exactly N elements, no header.
#pragma once
#include <cassert>

template <class T, int N>
struct OneBased {
    T Items[N];

    constexpr T& operator[](int i) {
        assert(i >= 1 && i <= N);
        return Items[i - 1];
    }
    constexpr const T& operator[](int i) const {
        assert(i >= 1 && i <= N);
        return Items[i - 1];
    }
    static constexpr int Count() { return N; }
};
