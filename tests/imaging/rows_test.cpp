// The row kernels of every level against the scalar ones, as FFmpeg's checkasm does: random rows
// with many 0 and 255 bytes, odd widths, starts off every alignment, a marker around the output
// that must survive, and inputs that must come back unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "imaging/rows.h"

namespace {
constexpr uint8_t cMarker = 0xA5;
constexpr int cInputs = 4;
constexpr int cPad = 16;  // marker bytes before and after the output

// One way of calling one kernel: in[0..3] are count-pixel input rows, out the output row, which
// holds random pixels on entry (the destination a kernel reads, like Over's). Every case also runs
// with in[0], then in[1], being out itself.
struct KernelCase {
    std::string name;
    std::function<void(const RowKernels&, const uint8_t* const* in, uint8_t* out, int32_t count)> run;
};

std::vector<KernelCase> Cases() {
    typedef const RowKernels& K;
    typedef const uint8_t* const* In;
    typedef uint8_t* Out;
    std::vector<KernelCase> k;
    for (AlphaByte at : {AlphaByte::First, AlphaByte::Last}) {
        const std::string side = at == AlphaByte::Last ? ", alpha last" : "";
        for (int galpha : {255, 0, 1, 128, 254})
            k.push_back({"Over " + std::to_string(galpha) + side,
                         [=](K r, In in, Out out, int32_t n) { r.Over(in[0], out, n, uint8_t(galpha), at); }});
        k.push_back({"OpaqueCopy" + side, [=](K r, In in, Out out, int32_t n) { r.OpaqueCopy(in[0], out, n, at); }});
        for (int flags = 0; flags < 4; flags++)
            k.push_back({"AlphaFromRed " + std::to_string(flags) + side, [=](K r, In in, Out out, int32_t n) {
                             r.AlphaFromRed(in[0], in[1], out, n, flags & 1, flags & 2, at);
                         }});
    }
    for (bool normalise : {false, true})
        k.push_back({"Add " + std::to_string(normalise),
                     [=](K r, In in, Out out, int32_t n) { r.Add(in[0], in[1], out, n, normalise); }});
    for (int mode = 0; mode < 4; mode++)
        k.push_back({"AddAlpha " + std::to_string(mode),
                     [=](K r, In in, Out out, int32_t n) { r.AddAlpha(in[0], in[1], out, n, mode & 1, mode & 2); }});
    k.push_back({"Multiply", [](K r, In in, Out out, int32_t n) { r.Multiply(in[0], in[1], out, n); }});
    k.push_back({"Invert", [](K r, In in, Out out, int32_t n) { r.Invert(in[0], out, n); }});
    for (int alpha : {-1, 0, 1, 33, 50, 99, 100, 101})
        k.push_back({"Blend " + std::to_string(alpha),
                     [=](K r, In in, Out out, int32_t n) { r.Blend(in[0], out, n, int16_t(alpha)); }});
    for (int rows : {1, 2, 3, 4, 100})  // 100 rows: sums up to 25,500
        k.push_back({"Average of " + std::to_string(rows), [=](K r, In in, Out out, int32_t n) {
                         const uint8_t* list[cMaxAverageRows];
                         for (int i = 0; i < rows; i++) list[i] = in[(i * 7) % cInputs];
                         r.Average(list, rows, out, n);
                     }});
    for (int alpha : {0, 0x3C, 255})
        k.push_back({"SetAlpha " + std::to_string(alpha),
                     [=](K r, In, Out out, int32_t n) { r.SetAlpha(out, n, uint8_t(alpha)); }});
    // The blends over the same bytes: in[0] and in[1] the two sample rows, in[2] the weights; the
    // whole row, and one sample short of it so that every level has a tail (a whole row is exactly
    // 4, 8, 16 and 32 samples, where the levels change step).
    for (int32_t less : {0, 1}) {
        const std::string tail = less ? " less one" : "";
        k.push_back({"Blend8" + tail,
                     [=](K r, In in, Out out, int32_t n) { r.Blend8(in[0], in[1], in[2], out, 4 * n - less); }});
        // 16-bit samples are 2-byte aligned in every picture; odd starts are left untouched.
        k.push_back({"Blend16" + tail, [=](K r, In in, Out out, int32_t n) {
                         if ((reinterpret_cast<uintptr_t>(in[0]) | reinterpret_cast<uintptr_t>(in[1]) |
                              reinterpret_cast<uintptr_t>(out)) &
                             1)
                             return;
                         r.Blend16(reinterpret_cast<const uint16_t*>(in[0]), reinterpret_cast<const uint16_t*>(in[1]),
                                   in[2], reinterpret_cast<uint16_t*>(out), 2 * n - less);
                     }});
    }
    // The same on stretches of every length up to 40 with gaps of 1 and 2 samples between them,
    // the lengths and gaps turning over at different rates.
    auto Spans = [](int32_t samples) {
        std::vector<SampleSpan> spans;
        for (int32_t at = 1, k = 0; at < samples; k++) {
            const int32_t count = std::min(1 + (k * 7) % 40, samples - at);
            spans.push_back(SampleSpan{at, count});
            at += count + 1 + k % 2;
        }
        return spans;
    };
    k.push_back({"BlendSpans8", [=](K r, In in, Out out, int32_t n) {
                     const std::vector<SampleSpan> spans = Spans(4 * n);
                     r.BlendSpans8(in[0], in[1], in[2], out, spans.data(), int32_t(spans.size()));
                 }});
    k.push_back({"BlendSpans16", [=](K r, In in, Out out, int32_t n) {
                     if ((reinterpret_cast<uintptr_t>(in[0]) | reinterpret_cast<uintptr_t>(in[1]) |
                          reinterpret_cast<uintptr_t>(out)) &
                         1)
                         return;
                     const std::vector<SampleSpan> spans = Spans(2 * n);
                     r.BlendSpans16(reinterpret_cast<const uint16_t*>(in[0]), reinterpret_cast<const uint16_t*>(in[1]),
                                    in[2], reinterpret_cast<uint16_t*>(out), spans.data(), int32_t(spans.size()));
                 }});
    return k;
}

// Random bytes, a quarter of them 0 or 255 (opaque and clear pixels, saturating sums).
void Fill(std::mt19937& rng, uint8_t* p, size_t bytes) {
    for (size_t i = 0; i < bytes; i++) {
        const uint32_t v = rng();
        p[i] = (v & 0x300) == 0 ? uint8_t(v & 1 ? 255 : 0) : uint8_t(v);
    }
}

// p moved on to the next 32-byte boundary, then by offset bytes.
uint8_t* Aligned(uint8_t* p, size_t offset) { return p + (32 - reinterpret_cast<uintptr_t>(p) % 32) % 32 + offset; }

class RowKernelLevel : public ::testing::TestWithParam<RowLevel> {};

TEST_P(RowKernelLevel, MatchesScalarAtEveryWidthAndStart) {
    const RowKernels* fast = RowKernelsAt(GetParam());
    if (!fast) GTEST_SKIP() << RowLevelName(GetParam()) << " is not built or not on this processor";
    const RowKernels& plain = *RowKernelsAt(RowLevel::Scalar);
    const uint32_t seed = 2026 + uint32_t(GetParam());
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    for (const KernelCase& c : Cases())
        for (int32_t n : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 33, 100})
            for (int shift : {0, 1, 2, 3, 4, 12})  // bytes past a 32-byte boundary, pixels and not
                for (int alias : {-1, 0, 1}) {
                    const size_t bytes = size_t(n) * 4;
                    std::vector<uint8_t> in[cInputs], a(bytes + 2 * cPad + 64, cMarker);
                    const uint8_t* ins[cInputs];
                    for (int i = 0; i < cInputs; i++) {
                        in[i].resize(bytes + 64);
                        Fill(rng, in[i].data(), in[i].size());
                        ins[i] = Aligned(in[i].data(), size_t(i));
                    }
                    const size_t at = size_t(Aligned(a.data() + cPad, size_t(shift)) - a.data());
                    Fill(rng, a.data() + at, bytes);
                    std::vector<uint8_t> b = a;
                    const std::vector<uint8_t> kept[cInputs] = {in[0], in[1], in[2], in[3]};
                    const uint8_t* insA[cInputs] = {ins[0], ins[1], ins[2], ins[3]};
                    const uint8_t* insB[cInputs] = {ins[0], ins[1], ins[2], ins[3]};
                    if (alias >= 0) insA[alias] = a.data() + at, insB[alias] = b.data() + at;
                    c.run(*fast, insA, a.data() + at, n);
                    c.run(plain, insB, b.data() + at, n);
                    ASSERT_EQ(a, b) << c.name << ", " << n << " pixels, +" << shift << ", in[" << alias << "] = out";
                    for (int i = 0; i < cInputs; i++) ASSERT_EQ(in[i], kept[i]) << c.name << " wrote input " << i;
                    for (size_t i = 0; i < a.size(); i++)
                        ASSERT_TRUE((i >= at && i < at + bytes) || a[i] == cMarker) << c.name << " wrote byte " << i;
                }
}
INSTANTIATE_TEST_SUITE_P(Levels, RowKernelLevel, ::testing::Values(RowLevel::SSE2, RowLevel::AVX2),
                         [](const auto& info) { return std::string(RowLevelName(info.param)); });

// Every pair of channel values at once: rows of 65536 pixels, a the high byte and b the low one.
TEST_P(RowKernelLevel, MatchesScalarOnEveryChannelPair) {
    const RowKernels* fast = RowKernelsAt(GetParam());
    if (!fast) GTEST_SKIP() << RowLevelName(GetParam()) << " is not built or not on this processor";
    const RowKernels& plain = *RowKernelsAt(RowLevel::Scalar);
    constexpr int32_t n = 65536;
    std::vector<uint8_t> a(n * 4), b(n * 4);
    for (int32_t i = 0; i < n; i++) {
        const uint8_t hi = uint8_t(i >> 8), lo = uint8_t(i);
        const uint8_t pa[4] = {hi, hi, lo, uint8_t(lo ^ 0x55)}, pb[4] = {lo, lo, hi, hi};
        std::memcpy(&a[size_t(i) * 4], pa, 4);
        std::memcpy(&b[size_t(i) * 4], pb, 4);
    }
    const uint8_t* in[cInputs] = {a.data(), b.data(), a.data(), b.data()};
    for (const KernelCase& c : Cases()) {
        if (c.name.rfind("Average of 100", 0) == 0) continue;  // the widths test has it; here it would cost
        std::vector<uint8_t> x = b, y = b;
        c.run(*fast, in, x.data(), n);
        c.run(plain, in, y.data(), n);
        ASSERT_EQ(x, y) << c.name;
    }
    // The exact quotient: a colour blended with itself stays as it is.
    for (int16_t alpha = 1; alpha <= 99; alpha++) {
        std::vector<uint8_t> x = a;
        fast->Blend(a.data(), x.data(), n, alpha);
        ASSERT_EQ(x, a) << "Blend " << alpha;
    }
}

// --- The scalar kernels' own values, written out ---
TEST(RowKernelsScalar, OverIsSourceOverOnPremultipliedValues) {
    const uint8_t src[4] = {128, 100, 50, 0};
    uint8_t dst[4] = {255, 200, 200, 200};
    RowKernelsAt(RowLevel::Scalar)->Over(src, dst, 1, 255, AlphaByte::First);
    // 200 x (1 - 128/255) = 99.6
    EXPECT_EQ(dst[0], 255);
    EXPECT_EQ(dst[1], 100 + 100);
    EXPECT_EQ(dst[2], 50 + 100);
    EXPECT_EQ(dst[3], 0 + 100);
}

// Weight 0 and 255 give the rows' own samples; in between, the mix rounded to nearest (bytes) or
// in 16384ths of the weight (16-bit samples).
TEST(RowKernelsScalar, BlendsMixTheRowsByTheirWeights) {
    const RowKernels& k = *RowKernelsAt(RowLevel::Scalar);
    const uint8_t a8[] = {10, 10, 10, 200, 0, 255}, b8[] = {250, 250, 250, 7, 255, 0};
    const uint8_t w8[] = {0, 255, 128, 1, 128, 254};
    uint8_t out8[6];
    k.Blend8(a8, b8, w8, out8, 6);
    // 10 + 240 x 128/255 = 130.47; 200 - 193/255 = 199.24; 255 x 128/255; 255/255
    EXPECT_EQ((std::vector<uint8_t>(out8, out8 + 6)), (std::vector<uint8_t>{10, 250, 130, 199, 128, 1}));
    const uint16_t a16[] = {0, 1023, 4095, 65535, 0, 65535}, b16[] = {1023, 0, 0, 0, 65535, 1};
    const uint8_t w16[] = {128, 1, 254, 128, 255, 0};
    uint16_t out16[6];
    k.Blend16(a16, b16, w16, out16, 6);
    // W = 8224, 64, 16320, 8224, 16384, 0: 1023 x 8224/16384 = 513.5 rounds down at 513.498...
    EXPECT_EQ((std::vector<uint16_t>(out16, out16 + 6)), (std::vector<uint16_t>{513, 1019, 16, 32640, 65535, 65535}));
}

// --- The choice of level ---
TEST(RowLevelChoice, ForcedLevelIsTheOneInUseAndALevelAboveTheBestIsRefused) {
    const RowLevel was = ActiveRowLevel();
    for (int i = 0; i < cRowLevels; i++) {
        const RowLevel level = RowLevel(i);
        const bool runs = level <= BestRowLevel();
        const RowLevel before = ActiveRowLevel();
        EXPECT_EQ(ForceRowLevel(level), runs) << RowLevelName(level);
        EXPECT_EQ(ActiveRowLevel(), runs ? level : before);
        if (runs) {
            EXPECT_EQ(Rows().Over, RowKernelsAt(level)->Over);
            EXPECT_EQ(Rows().Blend8, RowKernelsAt(level)->Blend8);
        }
    }
    ForceRowLevel(was);
}

// ctest runs this once more with BW_CPU_LEVEL=scalar (imaging_rows_scalar); a level above the
// processor's best leaves the best.
TEST(RowLevelChoice, TheEnvironmentCapsTheLevelChosen) {
    RowLevel level = BestRowLevel(), capped;
    if (ParseRowLevel(std::getenv("BW_CPU_LEVEL"), capped) && capped < level) level = capped;
    EXPECT_EQ(ActiveRowLevel(), level);
}

TEST(RowLevelChoice, NamesParseBackAndOtherTextIsRefused) {
    const char* names[] = {"scalar", "sse2", "avx2"};
    for (int i = 0; i < cRowLevels; i++) {
        RowLevel level = RowLevel(2 - i);
        EXPECT_STREQ(RowLevelName(RowLevel(i)), names[i]);
        EXPECT_TRUE(ParseRowLevel(names[i], level));
        EXPECT_EQ(level, RowLevel(i));
    }
    RowLevel level = RowLevel::SSE2;
    for (const char* text : {"AVX2", "avx", "", "sse2 ", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(ParseRowLevel(text, level)) << (text ? text : "null");
    EXPECT_EQ(level, RowLevel::SSE2);
}
}  // namespace
