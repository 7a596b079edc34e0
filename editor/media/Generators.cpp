// Synthetic pictures and tones. Both patterns move by a fixed fraction of the width per frame, so
// a clip scaled to another size still matches the formula drawn at that size.
#include "editor/media/Generators.h"

#include <cmath>
#include <numbers>

namespace bw::media {

namespace {

// 75 % colour bars, left to right: white, yellow, cyan, green, magenta, red, blue, black.
constexpr uint32_t cBars[] = {0xFFBFBFBF, 0xFFBFBF00, 0xFF00BFBF, 0xFF00BF00,
                              0xFFBF00BF, 0xFFBF0000, 0xFF0000BF, 0xFF101010};
constexpr int cBarCount = int(std::size(cBars));

// Seconds for a pattern to move by the whole width.
constexpr double cCycleSeconds = 4.0;

double Phase(const GeneratorSettings& s, int64_t index) {
    const double seconds = double(index) * s.FrameRate.Den / s.FrameRate.Num;
    return seconds / cCycleSeconds - std::floor(seconds / cCycleSeconds);
}

uint8_t Clamp8(double v) { return uint8_t(std::lround(std::fmin(255.0, std::fmax(0.0, v)))); }

}  // namespace

bool PatternFromName(const std::string& name, Pattern& pattern) {
    if (name == "bars")
        pattern = Pattern::Bars;
    else if (name == "gradient")
        pattern = Pattern::Gradient;
    else
        return false;
    return true;
}

uint32_t GeneratedPixel(const GeneratorSettings& s, int64_t index, int x, int y, int width, int height) {
    const double phase = Phase(s, index);
    const double u = (x + 0.5) / width;  // pixel centre in fractions of the picture
    const double v = (y + 0.5) / height;
    if (s.Kind == Pattern::Bars) {
        double p = u + phase;
        p -= std::floor(p);
        return cBars[std::min(cBarCount - 1, int(p * cBarCount))];
    }
    // Gradient: red is a triangle wave across the width that moves, green falls from top to
    // bottom, blue pulses with the phase.
    double p = u + phase;
    p -= std::floor(p);
    const double red = 255.0 * (p < 0.5 ? 2 * p : 2 - 2 * p);
    const double green = 255.0 * (1.0 - v);
    const double blue = 128.0 + 100.0 * std::sin(2 * std::numbers::pi * phase);
    return 0xFF000000u | uint32_t(Clamp8(red)) << 16 | uint32_t(Clamp8(green)) << 8 | Clamp8(blue);
}

GeneratedClip::GeneratedClip(const GeneratorSettings& settings)
    : fSettings(settings), fName(settings.Kind == Pattern::Bars ? "bars" : "gradient") {}

double GeneratedClip::ToneHz() const {
    if (fSettings.ToneHz > 0)
        return fSettings.ToneHz;
    return fSettings.Kind == Pattern::Bars ? 440.0 : 660.0;
}

void GeneratedClip::SetSampleRate(int rate) {
    if (rate > 0)
        fSettings.SampleRate = rate;
}

void GeneratedClip::SetChannelLayout(uint64_t layout) {
    if (layout != 0)
        fLayout = layout;
}

MediaStatus GeneratedClip::ReadFrameInto(int64_t index, const PixelView& dst, bool, AudioBlock* audio) {
    if (index < 0 || index >= fSettings.FrameCount)
        return MediaStatus::Fail(fName, "frame " + std::to_string(index) + " out of range (the clip has " +
                                            std::to_string(fSettings.FrameCount) + " frames)");
    if (dst.Base == nullptr || dst.Width <= 0 || dst.Height <= 0 || dst.RowBytes < dst.Width * 4)
        return MediaStatus::Fail(fName, "invalid output buffer");
    for (int y = 0; y < dst.Height; y++) {
        uint8_t* row = dst.Base + size_t(y) * size_t(dst.RowBytes);
        for (int x = 0; x < dst.Width; x++) {
            const uint32_t argb = GeneratedPixel(fSettings, index, x, y, dst.Width, dst.Height);
            row[4 * x + 0] = uint8_t(argb >> 24);
            row[4 * x + 1] = uint8_t(argb >> 16);
            row[4 * x + 2] = uint8_t(argb >> 8);
            row[4 * x + 3] = uint8_t(argb);
        }
    }
    if (audio != nullptr) {
        const int rate = fSettings.SampleRate;
        const int64_t first = FrameSampleStart(index, fSettings.FrameRate, rate);
        const int64_t end = FrameSampleStart(index + 1, fSettings.FrameRate, rate);
        // The tone plays on the front left and right channels (the only channel of a layout with
        // neither, such as mono), as a stereo clip mixed into the layout sounds.
        const int channels = LayoutChannels(fLayout);
        uint64_t toned = 0;
        for (int c = 0, bit = 0; c < channels; bit++)
            if (fLayout & (uint64_t(1) << bit)) {
                if (bit < 2 || (fLayout & cStereoLayout) == 0)
                    toned |= uint64_t(1) << c;
                c++;
            }
        audio->SampleRate = rate;
        audio->Channels = channels;
        audio->Samples.assign(size_t(end - first) * size_t(channels), 0.0f);
        // Phase from the absolute sample number, so blocks join without a step.
        for (int64_t i = first; i < end; i++) {
            const double cycles = std::fmod(double(i) * ToneHz() / rate, 1.0);
            const float value = float(fSettings.Amplitude * std::sin(2 * std::numbers::pi * cycles));
            for (int c = 0; c < channels; c++)
                if (toned & (uint64_t(1) << c))
                    audio->Samples[size_t(i - first) * size_t(channels) + size_t(c)] = value;
        }
    }
    return {};
}

MediaStatus WriteGeneratedClip(const std::string& path, const GeneratorSettings& settings,
                               const WriterSettings* overrides) {
    GeneratedClip clip(settings);
    WriterSettings ws;
    if (overrides != nullptr)
        ws = *overrides;
    ws.Width = settings.Width;
    ws.Height = settings.Height;
    ws.FrameRate = settings.FrameRate;
    ws.SampleRate = settings.SampleRate;
    if (ws.AudioLayout != 0)
        clip.SetChannelLayout(ws.AudioLayout);
    ClipWriter writer;
    if (MediaStatus s = writer.Open(path, ws); !s)
        return s;
    VideoFrame frame;
    AudioBlock audio;
    for (int64_t i = 0; i < settings.FrameCount; i++) {
        if (MediaStatus s = clip.ReadFrame(i, settings.Width, settings.Height, true, frame, audio); !s)
            return s;
        if (MediaStatus s = writer.WriteFrame(frame.View(), &audio); !s)
            return s;
    }
    return writer.Finish();
}

}  // namespace bw::media
