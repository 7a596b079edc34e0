// Pixel row kernels: one table of function pointers per instruction-set level (scalar, SSE2,
// AVX2), each level's table filled from the level below, the level chosen once at first use.
// Rows are 4-byte pixels, count pixels long (samples for the blends), any alignment; the caller
// owns every row.
// A leaf: it reads no other header of ours, so the platform's image drawing links it as well.
#pragma once
#include <cstdint>

// Where a pixel's alpha byte lies: first (A, R, G, B, as in every buffer here) or last (R, G, B, A,
// as frei0r hosts hand frames over). Row loops that treat the colour bytes alike take it.
enum class AlphaByte : uint8_t { First,
                                 Last };

// Instruction-set levels, lowest first. BW_CPU_LEVEL=scalar|sse2|avx2 in the environment caps the
// level a process chooses (a level the processor lacks is never chosen).
enum class RowLevel : uint8_t { Scalar,
                                SSE2,
                                AVX2 };
inline constexpr int cRowLevels = 3;

// The most rows Average takes.
inline constexpr int32_t cMaxAverageRows = 100;

// A stretch of a row for the span kernels: its first sample and how many.
struct SampleSpan {
    int32_t at, count;
};

// Every level fills every entry; an entry a level has no faster form for keeps the level below's.
// Unless an entry says otherwise, the destination may be one of the sources (same start). Entries
// without an AlphaByte take pixels A, R, G, B; channels are bytes, and "div" truncates.
struct RowKernels {
    // Source-over: dst = src x g + dst x (1 - src alpha x g) per byte, g = galpha / 255, rounded as
    // the compositor rounds.
    void (*Over)(const uint8_t* src, uint8_t* dst, int32_t count, uint8_t galpha, AlphaByte at);
    // The picture composer's blend of two rows of samples by a row of weights w (0..255, one a
    // sample): out = a x (1 - w / 255) + b x w / 255, count samples. Weight 0 gives a and 255 gives
    // b exactly. Bytes: round((a (255 - w) + b w) / 255), to nearest.
    void (*Blend8)(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, int32_t count);
    // 16-bit samples of any value (FFmpeg's 10- and 12-bit forms): the weight in 16384ths,
    // W = 64 w + (w + 2) / 4 (255 -> 16384), out = (a (16384 - W) + b W + 8192) >> 14.
    void (*Blend16)(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, int32_t count);
    // Blend8 and Blend16 on n stretches of the rows at once (a row of tiles blends a few samples
    // here and there, where a call each would cost more than the blending); the stretches do not
    // overlap, and the samples between them are left as they are.
    void (*BlendSpans8)(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, const SampleSpan* spans,
                        int32_t n);
    void (*BlendSpans16)(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, const SampleSpan* spans,
                         int32_t n);
    // dst = src with alpha 255.
    void (*OpaqueCopy)(const uint8_t* src, uint8_t* dst, int32_t count, AlphaByte at);
    // layer = colour with alpha a = the mask's red (255 - red when invert); premultiplied, every
    // colour byte becomes c x a div 255. mask and colour may be layer itself.
    void (*AlphaFromRed)(const uint8_t* mask, const uint8_t* colour, uint8_t* layer, int32_t count, bool invert,
                         bool premultiply, AlphaByte at);
    // Colours c1 + c2 held to 255, or (c1 + c2) div 2 when normalise; s1's alpha.
    void (*Add)(const uint8_t* s1, const uint8_t* s2, uint8_t* d, int32_t count, bool normalise);
    // Colours trunc(c1 w) + trunc(c2 (1 - w)) held to 255, w = the alpha of s1 (useSource1) or s2
    // over 255, 1 - that when invert; s1's alpha.
    void (*AddAlpha)(const uint8_t* s1, const uint8_t* s2, uint8_t* d, int32_t count, bool useSource1, bool invert);
    // Colours c1 c2 div 255; s1's alpha.
    void (*Multiply)(const uint8_t* s1, const uint8_t* s2, uint8_t* d, int32_t count);
    // Colours 255 - c; s's alpha.
    void (*Invert)(const uint8_t* s, uint8_t* d, int32_t count);
    // Colours (src alpha + dst (100 - alpha)) div 100 for alpha percent (held to 0..100), the exact
    // trunc(src p + dst (1 - p)), p = alpha / 100; s's alpha.
    void (*Blend)(const uint8_t* s, uint8_t* d, int32_t count, int16_t alpha);
    // Colours the mean of rows[0..n-1] (1 <= n <= cMaxAverageRows), truncated; the alpha of rows[n - 1].
    void (*Average)(const uint8_t* const* rows, int32_t n, uint8_t* d, int32_t count);
    // Alpha bytes set to alpha, colours kept.
    void (*SetAlpha)(uint8_t* row, int32_t count, uint8_t alpha);
};

// The table of the level in use, chosen on the first call: the best level this build and processor
// have, capped by BW_CPU_LEVEL. Callers may keep the reference for a frame.
const RowKernels& Rows();
RowLevel ActiveRowLevel();
// The best level this build and processor run.
RowLevel BestRowLevel();
// The table of one level for tests and benchmarks; null above BestRowLevel().
const RowKernels* RowKernelsAt(RowLevel level);
// Test hook: makes level the one Rows() returns from now on. False (nothing changes) above
// BestRowLevel(). Not while another thread renders.
bool ForceRowLevel(RowLevel level);
// "scalar", "sse2", "avx2"; and back, false for any other text.
const char* RowLevelName(RowLevel level);
bool ParseRowLevel(const char* text, RowLevel& level);
