// Helpers shared by the media tests: a scratch folder per test, picture and tone measurements.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "editor/media/ClipReader.h"
#include "editor/media/ClipWriter.h"
#include "editor/media/Generators.h"

namespace bw::media::test {

namespace fs = std::filesystem;

// A fresh empty folder for one test, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        fPath = fs::temp_directory_path() / ("bw-media-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(fPath);
        fs::create_directories(fPath);
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(fPath, ec);
    }
    std::string operator/(const std::string& name) const { return (fPath / name).string(); }
    const fs::path& Path() const { return fPath; }
    // Names of everything in the folder, sorted.
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(fPath))
            names.push_back(fs::relative(e.path(), fPath).string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path fPath;
};

inline uint32_t PixelOf(const VideoFrame& f, int x, int y) {
    const uint8_t* p = f.Row(y) + 4 * x;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

inline int ChannelDiff(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift < 24; shift += 8)  // red, green, blue; alpha is always opaque here
        worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return worst;
}

struct PictureError {
    double MeanAbs = 0;  // mean absolute channel difference over the whole frame
    int FlatWorst = 0;   // largest channel difference at points whose neighbourhood is uniform
    int FlatPoints = 0;  // how many such points were checked
};

// Compares a decoded frame with the generator's formula drawn at the frame's size. "Flat" points
// have the same generated colour in a radius-3 square, away from edges that chroma subsampling
// and the codec blur.
inline PictureError CompareWithGenerator(const VideoFrame& f, const GeneratorSettings& g, int64_t index) {
    PictureError e;
    double sum = 0;
    for (int y = 0; y < f.Height; y++)
        for (int x = 0; x < f.Width; x++) {
            const uint32_t want = GeneratedPixel(g, index, x, y, f.Width, f.Height);
            const uint32_t got = PixelOf(f, x, y);
            for (int shift = 0; shift < 24; shift += 8)
                sum += std::abs(int((want >> shift) & 0xFF) - int((got >> shift) & 0xFF));
        }
    e.MeanAbs = sum / (3.0 * f.Width * f.Height);
    const int r = 3;
    for (int y = r; y < f.Height - r; y += 7)
        for (int x = r; x < f.Width - r; x += 5) {
            const uint32_t want = GeneratedPixel(g, index, x, y, f.Width, f.Height);
            bool flat = true;
            for (int dy = -r; dy <= r && flat; dy++)
                for (int dx = -r; dx <= r && flat; dx++)
                    flat = GeneratedPixel(g, index, x + dx, y + dy, f.Width, f.Height) == want;
            if (!flat)
                continue;
            e.FlatPoints++;
            e.FlatWorst = std::max(e.FlatWorst, ChannelDiff(want, PixelOf(f, x, y)));
        }
    return e;
}

struct ToneMeasure {
    double Rms = 0;          // of the left channel
    double FrequencyHz = 0;  // from rising zero crossings
    double LeftRightDiff = 0;
};

inline ToneMeasure MeasureTone(const std::vector<float>& stereo, int sampleRate) {
    ToneMeasure m;
    const size_t frames = stereo.size() / 2;
    if (frames < 2)
        return m;
    double sq = 0;
    int rising = 0;
    size_t firstRise = 0, lastRise = 0;
    for (size_t i = 0; i < frames; i++) {
        const double l = stereo[2 * i];
        sq += l * l;
        m.LeftRightDiff = std::max(m.LeftRightDiff, std::abs(l - stereo[2 * i + 1]));
        if (i > 0 && stereo[2 * (i - 1)] < 0 && l >= 0) {
            if (rising == 0)
                firstRise = i;
            lastRise = i;
            rising++;
        }
    }
    m.Rms = std::sqrt(sq / double(frames));
    if (rising > 1)
        m.FrequencyHz = double(rising - 1) * sampleRate / double(lastRise - firstRise);
    return m;
}

// Opens `path`; a failure is reported with the reader's message.
inline std::unique_ptr<ClipReader> OpenClip(const std::string& path, const ReaderOptions& options = {}) {
    MediaStatus s;
    auto reader = ClipReader::Open(path, s, options);
    EXPECT_TRUE(reader) << s.Error;
    return reader;
}

// Writes the generator's clip to `path` and opens it.
inline std::unique_ptr<ClipReader> WriteAndOpen(const std::string& path, const GeneratorSettings& g) {
    const MediaStatus s = WriteGeneratedClip(path, g);
    EXPECT_TRUE(s.Ok()) << s.Error;
    return s.Ok() ? OpenClip(path) : nullptr;
}

// Frame `index` at width x height; a failed read is reported (the frame is then blank).
inline VideoFrame ReadPicture(FrameSource& source, int64_t index, int width, int height, bool highQuality = true) {
    VideoFrame frame;
    AudioBlock audio;
    const MediaStatus s = source.ReadFrame(index, width, height, highQuality, frame, audio);
    EXPECT_TRUE(s.Ok()) << "frame " << index << ": " << s.Error;
    return frame;
}

// The sound of frames 0..count-1 read frame by frame, interleaved. Checks every block: the
// source's rate and channels, and exactly the frame's share of samples.
inline std::vector<float> ReadSound(FrameSource& source, int64_t count) {
    std::vector<float> all;
    VideoFrame frame;
    AudioBlock audio;
    const Rational rate = source.FrameRate();
    for (int64_t i = 0; i < count; i++) {
        const MediaStatus s = source.ReadFrame(i, 16, 16, false, frame, audio);
        EXPECT_TRUE(s.Ok()) << "frame " << i << ": " << s.Error;
        EXPECT_EQ(audio.SampleRate, source.SampleRate()) << "frame " << i;
        EXPECT_EQ(audio.Channels, LayoutChannels(source.ChannelLayout())) << "frame " << i;
        EXPECT_EQ(audio.FrameCount(), FrameSampleStart(i + 1, rate, audio.SampleRate) -
                                          FrameSampleStart(i, rate, audio.SampleRate))
            << "frame " << i;
        all.insert(all.end(), audio.Samples.begin(), audio.Samples.end());
    }
    return all;
}

// The shift of `got` against `want` (left channels of stereo) within +-maxShift samples that
// matches best: got[k] against want[k + base + shift] for k in [first, first + count).
struct Alignment {
    int Shift = 0;
    double MeanError = 1e9;
};
inline Alignment Align(const std::vector<float>& got, const std::vector<float>& want, size_t first, size_t count,
                       int64_t base, int maxShift) {
    Alignment best;
    for (int shift = -maxShift; shift <= maxShift; shift++) {
        double error = 0;
        for (size_t k = first; k < first + count; k++)
            error += std::abs(got[2 * k] - want[size_t(2 * (int64_t(k) + base + shift))]);
        if (error / double(count) < best.MeanError)
            best = {shift, error / double(count)};
    }
    return best;
}

// Runs the ffmpeg program quietly with `args` (inputs made the way real files are); true when it worked.
inline bool Ffmpeg(const std::string& args) {
    return std::system(("ffmpeg -nostdin -v error -y " + args + " </dev/null").c_str()) == 0;
}

// What the ffprobe program prints for `args` (its options, then the file), errors only otherwise.
inline std::string Ffprobe(const std::string& args) {
    std::string text;
    if (FILE* probe = popen(("ffprobe -v error " + args + " </dev/null").c_str(), "r")) {
        for (char buf[256]; std::fgets(buf, sizeof buf, probe);) text += buf;
        pclose(probe);
    }
    return text;
}

// Makes `path` with the ffmpeg program, `args` giving its inputs and output options, and opens it.
inline std::unique_ptr<ClipReader> FfmpegClip(const std::string& args, const std::string& path,
                                              const ReaderOptions& options = {}) {
    EXPECT_TRUE(Ffmpeg(args + " " + path)) << args;
    return fs::exists(path) ? OpenClip(path, options) : nullptr;
}

inline double Decibels(double ratio) { return 20.0 * std::log10(ratio); }

// A 16-bit stereo PCM WAV file with a 1 kHz tone: media without any video stream.
inline void WriteWav(const std::string& path, int sampleRate, int frames) {
    std::ofstream out(path, std::ios::binary);
    const auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const uint32_t dataBytes = uint32_t(frames) * 4;
    out.write("RIFF", 4);
    u32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);  // PCM
    u16(2);
    u32(uint32_t(sampleRate));
    u32(uint32_t(sampleRate) * 4);
    u16(4);
    u16(16);
    out.write("data", 4);
    u32(dataBytes);
    for (int i = 0; i < frames; i++) {
        const auto v = int16_t(8000 * std::sin(2 * 3.141592653589793 * 1000.0 * i / sampleRate));
        u16(uint16_t(v));
        u16(uint16_t(v));
    }
}

}  // namespace bw::media::test
