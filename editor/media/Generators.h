// Synthetic clips for the demo, the tests and the benchmarks: moving colour bars with a 440 Hz tone
// and a moving gradient with a 660 Hz tone, drawn at any requested size from the same formula.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "editor/media/ClipWriter.h"
#include "editor/media/FrameSource.h"

namespace bw::media {

enum class Pattern { Bars,
                     Gradient };

struct GeneratorSettings {
    Pattern Kind = Pattern::Bars;
    int Width = 160;
    int Height = 90;
    Rational FrameRate{cDefaultFrameRate, 1};
    int64_t FrameCount = 50;
    int SampleRate = cDefaultSampleRate;
    double ToneHz = 0;        // 0: 440 Hz for the bars, 660 Hz for the gradient
    float Amplitude = 0.25f;  // peak of the tone on the front left and right channels (-12 dBFS)
};

// "bars" or "gradient"; false for any other name.
bool PatternFromName(const std::string& name, Pattern& pattern);

class GeneratedClip final : public FrameSource {
public:
    explicit GeneratedClip(const GeneratorSettings& settings);

    MediaStatus ReadFrameInto(int64_t index, const PixelView& dst, bool highQuality, AudioBlock* audio) override;

    int64_t FrameCount() const override { return fSettings.FrameCount; }
    Rational FrameRate() const override { return fSettings.FrameRate; }
    int Width() const override { return fSettings.Width; }
    int Height() const override { return fSettings.Height; }
    int SampleRate() const override { return fSettings.SampleRate; }
    void SetSampleRate(int rate) override;
    uint64_t ChannelLayout() const override { return fLayout; }
    void SetChannelLayout(uint64_t layout) override;
    bool HasAudio() const override { return true; }
    const std::string& Name() const override { return fName; }

    double ToneHz() const;
    const GeneratorSettings& Settings() const { return fSettings; }

private:
    GeneratorSettings fSettings;
    std::string fName;
    uint64_t fLayout = cStereoLayout;
};

// The ARGB pixel (0xAARRGGBB) of frame `index` at (x, y) of a width x height picture.
uint32_t GeneratedPixel(const GeneratorSettings& settings, int64_t index, int x, int y, int width, int height);

// Writes the whole generated clip to `path` through ClipWriter (any output kind; sound where the
// kind has it). Nothing is left at `path` on failure.
MediaStatus WriteGeneratedClip(const std::string& path, const GeneratorSettings& settings,
                               const WriterSettings* overrides = nullptr);

}  // namespace bw::media
