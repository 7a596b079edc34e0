// Length-prefixed texts as the platform's calls take them: one length byte, then up to 255
// characters, no terminator. PStr makes one from a literal at compile time.
#pragma once
#include <algorithm>
#include <cstddef>
#include <string_view>

typedef const unsigned char* ConstStr255Param;
typedef const unsigned char* ConstStr63Param;

template <std::size_t N>
struct PStr {
    static_assert(N >= 1 && N <= 256, "a length-prefixed text holds at most 255 characters");
    unsigned char Text[N];  // Text[0] is the length
    constexpr PStr(const char (&literal)[N]) : Text{} {
        Text[0] = static_cast<unsigned char>(N - 1);
        for (std::size_t i = 0; i + 1 < N; i++) Text[i + 1] = static_cast<unsigned char>(literal[i]);
    }
    constexpr operator ConstStr255Param() const { return Text; }
};

// The characters of a length-prefixed text (null gives an empty view).
inline std::string_view PStrView(ConstStr255Param s) {
    return s ? std::string_view(reinterpret_cast<const char*>(s + 1), s[0]) : std::string_view();
}

// Stores text into a buffer of capacity+1 bytes as a length-prefixed text, cut at capacity.
inline void CopyToPStr(std::string_view text, unsigned char* dst, std::size_t capacity) {
    const std::size_t n = std::min({text.size(), capacity, std::size_t(255)});
    dst[0] = static_cast<unsigned char>(n);
    std::copy_n(reinterpret_cast<const unsigned char*>(text.data()), n, dst + 1);
}
