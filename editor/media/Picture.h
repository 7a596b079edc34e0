// Decoded pictures in their own pixel format, as the render's native route hands them from the
// decoders to the encoder: FFmpeg frames shared by reference, converted only where a clip's
// pictures differ from the output's format, size or range, and then once, never through RGB.
#pragma once
#include <cstdint>
#include <memory>

#include "editor/media/Frame.h"

struct AVFrame;
struct SwsContext;
struct AVBufferPool;

namespace bw::media {

struct PictureFreer {
    void operator()(AVFrame* f) const;
};
using PicturePtr = std::unique_ptr<AVFrame, PictureFreer>;
PicturePtr NewPicture();  // an empty frame; null when out of memory

// The pictures a writer takes: FFmpeg's pixel format (an AVPixelFormat), size, matrix and range.
struct PictureFormat {
    int Width = 0, Height = 0;
    int PixelFormat = -1;  // -1: any (no output): the first clip's pictures set it
    bool Bt709 = false;    // BT.709 matrix, else BT.601
    bool FullRange = false;
    bool operator==(const PictureFormat&) const = default;
};

// The format, size and range of a decoded picture, its matrix as tagged (untagged: by its size,
// BT.709 from 720 lines or 1280 columns up).
PictureFormat FormatOf(const AVFrame* picture);

// Where a clip's picture goes in the output frame: whole, or letterboxed inside black.
struct PictureRect {
    int X = 0, Y = 0, Width = 0, Height = 0;
};

// Brings decoded pictures into one format. A picture already in the format, whole size, range
// and matrix is shared as it is (only its samples: the decoder's frame types and side data stay
// behind); any other is scaled once by swscale into a picture of the format, at Place inside black
// (its edges moved to whole chroma samples). The last conversion is kept: a picture repeated to meet
// the output's frame rate is converted once.
class PictureConformer {
public:
    explicit PictureConformer(const PictureFormat& format);
    ~PictureConformer();
    PictureConformer(const PictureConformer&) = delete;
    PictureConformer& operator=(const PictureConformer&) = delete;

    MediaStatus Conform(const AVFrame* picture, const PictureRect& place, PicturePtr& out);
    // A new picture of the format for composing into, its buffer from the conformer's pool: pages
    // touched once, not faulted in again for every frame.
    MediaStatus NewOutput(PicturePtr& out);
    const PictureFormat& Format() const { return format_; }
    int64_t Converted() const { return converted_; }  // pictures scaled so far

private:
    PictureFormat format_;
    SwsContext* sws_ = nullptr;
    AVBufferPool* pool_ = nullptr;  // buffers of whole pictures of the format
    PicturePtr last_;               // the last conversion
    const uint8_t* lastSource_ = nullptr;
    int64_t lastPts_ = 0;
    int64_t converted_ = 0;
};

}  // namespace bw::media
