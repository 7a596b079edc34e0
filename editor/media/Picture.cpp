// From a decoded picture to ARGB: swscale's formats and matrices, the display matrix's turn, and
// tone mapping of high dynamic range pictures.
#include "editor/media/Picture_p.h"

#include <cmath>
#include <cstdio>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/display.h>
}

namespace bw::media::detail {

// swscale wants the full-range "J" formats spelled as the plain ones plus a range flag.
AVPixelFormat PlainFormat(AVPixelFormat f, bool& fullRange) {
    switch (f) {
        case AV_PIX_FMT_YUVJ420P: fullRange = true; return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P: fullRange = true; return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P: fullRange = true; return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P: fullRange = true; return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P: fullRange = true; return AV_PIX_FMT_YUV411P;
        default: return f;
    }
}

// Matrix of a YUV frame for swscale: the tagged one, else by the picture's size alone, whatever its
// chroma format or codec: BT.709 from 720 lines or 1280 columns up, BT.601 below. An "RGB" tag on
// YUV pictures is a mistake of the writer and counts as untagged.
int SwsColorspace(const AVFrame* f) {
    switch (f->colorspace) {
        case AVCOL_SPC_BT709: return SWS_CS_ITU709;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M: return SWS_CS_ITU601;
        case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
        case AVCOL_SPC_FCC: return SWS_CS_FCC;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
        default: return f->height >= 720 || f->width >= 1280 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

// Clockwise turn in degrees (0, 90, 180, 270) that shows the stream upright, from its display matrix.
int StreamRotation(const AVStream* st) {
    const uint8_t* matrix = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (matrix == nullptr)
        return 0;
    const double angle = -av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(angle))
        return 0;
    const int quarter = int(std::lround(angle / 90.0)) % 4;
    return (quarter + 4) % 4 * 90;
}

// Copies `from` into dst turned clockwise by `degrees` (90, 180 or 270); dst has the turned size.
void TurnInto(const VideoFrame& from, int degrees, const PixelView& dst) {
    const int w = from.Width, h = from.Height;
    for (int y = 0; y < dst.Height; y++) {
        uint32_t* out = reinterpret_cast<uint32_t*>(dst.Base + size_t(y) * size_t(dst.RowBytes));
        for (int x = 0; x < dst.Width; x++) {
            int sx, sy;  // the source pixel shown at (x, y)
            if (degrees == 90) {
                sx = y;
                sy = h - 1 - x;
            } else if (degrees == 270) {
                sx = w - 1 - y;
                sy = x;
            } else {
                sx = w - 1 - x;
                sy = h - 1 - y;
            }
            out[x] = reinterpret_cast<const uint32_t*>(from.Row(sy))[sx];
        }
    }
}

ToneMapper::ToneMapper() : Out(av_frame_alloc()) {}
ToneMapper::~ToneMapper() { avfilter_graph_free(&Graph); }

bool ToneMapper::Available() {
    return avfilter_get_by_name("zscale") != nullptr && avfilter_get_by_name("tonemap") != nullptr;
}

bool ToneMapper::Build(const AVFrame* f) {
    avfilter_graph_free(&Graph);
    Graph = avfilter_graph_alloc();
    if (Graph == nullptr)
        return false;
    char args[256];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=1/1", f->width,
                  f->height, f->format);
    if (avfilter_graph_create_filter(&Source, avfilter_get_by_name("buffer"), "in", args, nullptr, Graph) < 0 ||
        avfilter_graph_create_filter(&Sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, Graph) < 0)
        return false;
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    bool ok = outputs != nullptr && inputs != nullptr;
    if (ok) {
        outputs->name = av_strdup("in");
        outputs->filter_ctx = Source;
        inputs->name = av_strdup("out");
        inputs->filter_ctx = Sink;
        // Linear light at 100 nits reference white, BT.709 primaries, Hable's curve, then BT.709
        // limited range 4:4:4 for the usual conversion to ARGB.
        ok = avfilter_graph_parse_ptr(Graph,
                                      "zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,"
                                      "tonemap=tonemap=hable:desat=0,zscale=t=bt709:m=bt709:r=tv,format=yuv444p",
                                      &inputs, &outputs, nullptr) >= 0 &&
             avfilter_graph_config(Graph, nullptr) >= 0;
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    Width = f->width;
    Height = f->height;
    Format = f->format;
    return ok;
}

const AVFrame* ToneMapper::Map(const AVFrame* f) {
    if ((Graph == nullptr || f->width != Width || f->height != Height || f->format != Format) && !Build(f))
        return nullptr;
    FramePtr in(av_frame_clone(f));
    if (!in || av_buffersrc_add_frame(Source, in.get()) < 0)
        return nullptr;
    av_frame_unref(Out.get());
    if (av_buffersink_get_frame(Sink, Out.get()) < 0)
        return nullptr;
    return Out.get();
}

}  // namespace bw::media::detail
