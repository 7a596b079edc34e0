// From a decoded picture to ARGB: the helpers the clip reader's scaling uses. The ToneMapper owns
// its filter graph and output frame.
#pragma once
#include "editor/media/FFmpeg_p.h"

struct AVFilterGraph;
struct AVFilterContext;

namespace bw::media::detail {

// swscale wants the full-range "J" formats spelled as the plain ones plus a range flag.
AVPixelFormat PlainFormat(AVPixelFormat f, bool& fullRange);

// swscale's matrix (SWS_CS_...) for a YUV frame.
int SwsColorspace(const AVFrame* f);

// Clockwise turn in degrees (0, 90, 180, 270) that shows the stream upright.
int StreamRotation(const AVStream* st);

// Copies `from` into dst turned clockwise by `degrees` (90, 180 or 270); dst has the turned size.
void TurnInto(const VideoFrame& from, int degrees, const PixelView& dst);

// Converts high dynamic range pictures (PQ or HLG) to BT.709 for an 8-bit output with zscale and
// tonemap, as FFmpeg's own recipe does; built for the first picture and rebuilt when the format changes.
struct ToneMapper {
    AVFilterGraph* Graph = nullptr;
    AVFilterContext* Source = nullptr;
    AVFilterContext* Sink = nullptr;
    int Width = 0, Height = 0, Format = -1;
    FramePtr Out;

    ToneMapper();
    ~ToneMapper();
    ToneMapper(const ToneMapper&) = delete;
    ToneMapper& operator=(const ToneMapper&) = delete;
    static bool Available();  // this FFmpeg has zscale and tonemap
    bool Build(const AVFrame* f);
    const AVFrame* Map(const AVFrame* f);  // the picture tone mapped, or null when the graph failed
};

}  // namespace bw::media::detail
