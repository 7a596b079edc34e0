// Reading a video file frame by frame: probing, decoding to ARGB at any size, and each frame's
// share of the audio resampled to float, stereo or any channel layout asked for. FFmpeg objects
// stay inside the implementation.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/media/FrameSource.h"
#include "editor/media/Picture.h"
#include "editor/media/Sequence.h"

namespace bw::media {

// What a clip holds, as probed when it is opened.
struct ClipInfo {
    int Width = 0;  // natural frame size in pixels (coded size, no aspect correction)
    int Height = 0;
    int DisplayWidth = 0;                      // upright size in square pixels: the sample aspect ratio applied,
    int DisplayHeight = 0;                     // then the display matrix's rotation
    int Rotation = 0;                          // clockwise turn that shows the picture upright: 0, 90, 180 or 270
    Rational SampleAspect{1, 1};               // pixel width : height; 1:1 when the file does not say
    bool IsStill = false;                      // a picture file (PNG, JPEG, ...), shown for ReaderOptions::StillSeconds
    std::string Hdr;                           // "PQ" or "HLG" for high dynamic range video, else empty
    Rational FrameRate{cDefaultFrameRate, 1};  // average rate; cDefaultFrameRate when the file does not say
    int64_t FrameCount = 0;                    // frames at FrameRate
    bool FrameCountExact = false;              // false: estimated from the duration
    double Duration = 0;                       // seconds of video
    std::string VideoCodec;                    // FFmpeg codec name, e.g. "h264"
    std::string ColourSpace;                   // tagged matrix, e.g. "bt709", "smpte170m"; "unknown" when untagged
    int PixelFormat = -1;                      // the decoder's AVPixelFormat as the header says; -1 unknown
    bool FullRange = false;                    // tagged full (JPEG) range
    bool HasAudio = false;                     // an audio stream that we can decode
    int AudioSampleRate = 0;                   // the stream's own rate; 0 without audio
    int AudioChannels = 0;
    uint64_t AudioLayout = 0;  // the stream's channels (unnamed: FFmpeg's for the count, else pairs first); 0 without audio
    std::string AudioCodec;
    std::string Warning;  // e.g. an audio stream we cannot decode (read as silence)
};

struct ReaderOptions {
    // When the container stores no frame count (Matroska, WebM, YUV4MPEG2), count the video packets
    // once at open (reads the file without decoding) instead of estimating from the duration.
    bool CountFrames = true;
    int Threads = 0;           // decoder threads; 0 lets FFmpeg choose from the processor count
    double StillSeconds = 5;   // how long a still picture lasts, at 25 frames a second
    std::string SequenceRate;  // an image sequence's frame rate ("30", "30000/1001"); empty: 25
};

class ClipReader final : public FrameSource {
public:
    // Opens and probes `path`. On failure returns null and status names the file and the problem:
    // "no such file", "no video stream", "unsupported video codec ...", "not a video file ...".
    // Only regular files and image sequence patterns are opened: pipes and devices are refused at
    // once, since a clip is read more than once. A frame count in the header that disagrees with
    // the duration is ignored.
    static std::unique_ptr<ClipReader> Open(const std::string& path, MediaStatus& status,
                                            const ReaderOptions& options = {});
    ~ClipReader() override;

    const ClipInfo& Info() const;

    // Sequential indexes decode forward; a jump seeks to the keyframe before the frame and decodes
    // forward from there. The picture is turned upright (Info().Rotation) and stretched to dst.
    // A clip that ends before `index` fails with EndedEarly set and FrameCount() lowered to the
    // frames it holds; an end within rounding of an estimated count repeats the last frame.
    MediaStatus ReadFrameInto(int64_t index, const PixelView& dst, bool highQuality, AudioBlock* audio) override;

    // The decoded picture shown at `index` as it is, shared (no copy), and its audio as ReadFrameInto
    // gives it. Only for clips whose pictures show as decoded: not turned, no tone mapping needed.
    MediaStatus ReadPicture(int64_t index, PicturePtr& picture, AudioBlock* audio);

    // Audio samples [first, first + count) of the clip's timeline at SampleRate(), in ChannelLayout();
    // silence where the clip has none. Sample 0 is the start of the first video frame.
    MediaStatus ReadAudio(int64_t first, int64_t count, AudioBlock& audio);

    // Closes the file and frees the decoders and buffers until the next read, which opens it
    // again. Open leaves the clip so: probed, with nothing held.
    void Release() override;

    int64_t FrameCount() const override;
    Rational FrameRate() const override;
    int Width() const override;
    int Height() const override;
    int DisplayWidth() const override;
    int DisplayHeight() const override;
    int SampleRate() const override;
    void SetSampleRate(int rate) override;
    uint64_t ChannelLayout() const override;
    void SetChannelLayout(uint64_t layout) override;
    bool HasAudio() const override;
    uint64_t SourceChannelLayout() const override;
    const std::string& Name() const override;

    struct Impl;

private:
    explicit ClipReader(std::unique_ptr<Impl> impl);
    MediaStatus FrameAudio(int64_t index, AudioBlock* audio);  // frame `index`'s share of the sound
    std::unique_ptr<Impl> fImpl;
};

}  // namespace bw::media
