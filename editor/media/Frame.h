// Frames and audio as the media layer hands them to the host program: 32-bit pixels in memory
// order alpha, red, green, blue (FFmpeg's AV_PIX_FMT_ARGB), rows RowBytes apart, and interleaved
// float audio. A VideoFrame owns its pixels; a PixelView borrows a caller's buffer.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

namespace bw::media {

// A frame rate or time base as a fraction; frame n starts at n * Den / Num seconds.
struct Rational {
    int Num = 0;
    int Den = 1;
    double ToDouble() const { return Den != 0 ? double(Num) / Den : 0.0; }
    bool operator==(const Rational&) const = default;
};

// Frames a second of a still picture, an image sequence and a stream that states no rate.
constexpr int cDefaultFrameRate = 25;
// Samples a second where nothing else says: generated sound, and a sound stream that states none.
constexpr int cDefaultSampleRate = 48000;

// Pictures above 4K (4096 x 2304 samples, over 35 MB as ARGB) are large: there memory matters more
// than overlapping the steps of a render, and the decoders and encoders are told so.
inline bool IsLargePicture(int width, int height) { return int64_t(width) * height > int64_t(4096) * 2304; }

// Allocator that starts every block on a 64-byte boundary, so swscale can use its aligned paths.
template <class T>
struct AlignedAllocator {
    using value_type = T;
    static constexpr std::align_val_t cAlign{64};
    AlignedAllocator() = default;
    template <class U>
    AlignedAllocator(const AlignedAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), cAlign)); }
    void deallocate(T* p, std::size_t) { ::operator delete(p, cAlign); }
    template <class U>
    bool operator==(const AlignedAllocator<U>&) const { return true; }
};

// A caller's ARGB buffer: Base points at the top-left pixel, rows RowBytes apart (RowBytes >= Width * 4).
struct PixelView {
    uint8_t* Base = nullptr;
    int32_t RowBytes = 0;
    int Width = 0;
    int Height = 0;
};

// An ARGB frame that owns its pixels. Rows are padded to a multiple of 64 bytes.
struct VideoFrame {
    int Width = 0;
    int Height = 0;
    int32_t RowBytes = 0;
    std::vector<uint8_t, AlignedAllocator<uint8_t>> Pixels;

    // Sizes the buffer for width x height; keeps the allocation when it is already large enough.
    void Resize(int width, int height) {
        Width = width;
        Height = height;
        RowBytes = int32_t((int64_t(width) * 4 + 63) / 64 * 64);
        Pixels.resize(size_t(RowBytes) * size_t(height));
    }
    PixelView View() { return PixelView{Pixels.data(), RowBytes, Width, Height}; }
    const uint8_t* Row(int y) const { return Pixels.data() + size_t(y) * size_t(RowBytes); }
    uint8_t* Row(int y) { return Pixels.data() + size_t(y) * size_t(RowBytes); }
};

inline PixelView ConstView(const VideoFrame& f) {
    return PixelView{const_cast<uint8_t*>(f.Pixels.data()), f.RowBytes, f.Width, f.Height};
}

// A channel layout as FFmpeg's channel mask (AV_CH_FRONT_LEFT = 1, AV_CH_FRONT_RIGHT = 2, ...);
// interleaved samples hold the channels in the order of their bits.
constexpr uint64_t cStereoLayout = 0x3;
inline int LayoutChannels(uint64_t layout) { return std::popcount(layout); }
uint64_t DefaultLayout(int channels);     // FFmpeg's layout for a channel count, as its -ac picks it
std::string LayoutName(uint64_t layout);  // FFmpeg's name: "stereo", "5.1(side)"

// Interleaved float samples in [-1, 1]; Samples.size() == frames * Channels.
struct AudioBlock {
    int SampleRate = cDefaultSampleRate;
    int Channels = 2;
    std::vector<float> Samples;

    int64_t FrameCount() const { return Channels > 0 ? int64_t(Samples.size()) / Channels : 0; }
};

// Result of a media operation: empty Error means success. Messages name the file and the problem,
// for example "clips/a.mp4: no video stream".
struct MediaStatus {
    std::string Error;
    bool EndedEarly = false;  // a clip ended before the frame asked for; its FrameCount() now says where
    bool Ok() const { return Error.empty(); }
    explicit operator bool() const { return Ok(); }
    static MediaStatus Success() { return {}; }
    static MediaStatus Fail(const std::string& file, const std::string& problem) {
        return MediaStatus{file + ": " + problem, false};
    }
};

// First sample of frame `index` at `sampleRate` for a clip at `rate`: floor(index * sampleRate / fps).
// Consecutive frames' shares therefore join without gaps or overlaps.
inline int64_t FrameSampleStart(int64_t index, Rational rate, int sampleRate) {
    if (rate.Num <= 0 || rate.Den <= 0)
        return 0;
    const __int128 num = __int128(index) * sampleRate * rate.Den;
    return int64_t(num / rate.Num);
}

}  // namespace bw::media
