// Writing ARGB frames and float audio to a file whose kind follows the path: H.264 + AAC in
// .mp4/.mov/.mkv, VP9 + Opus in .webm, a PNG sequence for a pattern such as "frames/%05d.png",
// YUV4MPEG2 for .y4m, nothing at all for the path "null", and Matroska (or YUV4MPEG2) on standard
// output for the path "-". Files appear only when complete.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "editor/media/Frame.h"
#include "editor/media/Picture.h"
#include "editor/media/Sequence.h"

namespace bw::media {

enum class OutputKind { Mp4,
                        Mov,
                        Mkv,
                        WebM,
                        PngSequence,
                        Y4m,
                        Null };

// The kind for `path` by its extension; an error names the path when no kind fits.
MediaStatus OutputKindForPath(const std::string& path, OutputKind& kind);
// "WebM (VP9, Opus)"; with a size, the name for pictures of that size ("WebM (AV1, Opus)" above 4K).
const char* OutputKindName(OutputKind kind, int width = 0, int height = 0);
bool OutputHasAudio(OutputKind kind);

// Whether writing `path` would replace something: the file, or for a PNG sequence anything in its
// folder. Finish replaces a file, and in a sequence's folder only the files of its own pattern.
bool OutputExists(const std::string& path);

struct WriterSettings {
    int Width = 0;  // every frame must have this size; even for all kinds but PNG
    int Height = 0;
    Rational FrameRate{cDefaultFrameRate, 1};
    int SampleRate = cDefaultSampleRate;  // rate of the AudioBlocks handed in (Opus is always written at 48 kHz)
    uint64_t AudioLayout = 0;             // channel layout of the AudioBlocks handed in; 0: stereo
    bool Audio = true;                    // write a sound track where the kind has one
    int Crf = -1;                         // quality; -1: 20 for H.264, 32 for VP9
    std::string Preset;                   // the encoder's speed preset (-preset); empty: veryfast for H.264
    int Threads = 0;                      // encoder threads; 0 lets FFmpeg choose
    // FFmpeg's output options; empty or 0: the kind's own choice.
    std::string VideoCodec;    // encoder name (-c:v), e.g. libx265, libsvtav1
    int64_t VideoBitrate = 0;  // bits per second (-b:v); with a CRF both apply as the encoder takes them
    std::string PixelFormat;   // -pix_fmt, e.g. yuv420p10le, yuv422p10le
    std::string AudioCodec;    // -c:a
    int64_t AudioBitrate = 0;  // -b:a
    int AudioRate = 0;         // -ar: the encoder's sample rate
    int AudioChannels = 0;     // -ac: channels written, in FFmpeg's layout for the count; 0: AudioLayout's
    bool StdoutY4m = false;    // the path "-" (standard output) gets YUV4MPEG2, not Matroska
};

// The channel layout a file of this kind holds for audio blocks in settings.AudioLayout: -ac's
// count in FFmpeg's layout for it, and for Opus the Vorbis order of the count (5.1 with back
// channels). Mixing clips straight to it spares the writer a second, lossy mix.
uint64_t WrittenLayout(OutputKind kind, const WriterSettings& settings);

// Output is written under a temporary name in the destination folder and renamed onto the path by
// Finish once everything succeeded. A PNG sequence is written into a temporary folder beside the
// destination folder; Finish removes the files of the same pattern already there (an older, longer
// sequence) and moves the new ones in (the folder is made when missing). A writer that is destroyed
// or aborted before Finish removes everything it wrote.
class ClipWriter {
public:
    ClipWriter();
    ~ClipWriter();
    ClipWriter(const ClipWriter&) = delete;
    ClipWriter& operator=(const ClipWriter&) = delete;

    MediaStatus Open(const std::string& path, const WriterSettings& settings);

    // One frame and, when the output has sound, its share of the audio (interleaved in
    // settings.AudioLayout at settings.SampleRate). A null block writes silence for the frame's time span.
    MediaStatus WriteFrame(const PixelView& frame, const AudioBlock* audio);

    // The same for a picture already in Format() (any format when the output has none), shared with
    // the encoder without a copy.
    MediaStatus WritePicture(const AVFrame* picture, const AudioBlock* audio);
    // The pictures WritePicture takes: the encoder's pixel format, the output's size, matrix and
    // range. PixelFormat -1 when nothing is encoded (the path "null").
    PictureFormat Format() const;

    MediaStatus Finish();  // flush the encoders, close and rename into place
    void Abort();          // discard everything written so far

    OutputKind Kind() const;
    int64_t FramesWritten() const;
    std::string TemporaryPath() const;  // file or folder being written; empty before Open and after Finish

    struct Impl;

private:
    std::unique_ptr<Impl> fImpl;
};

}  // namespace bw::media
