// Decoded pictures shared by reference, or converted once into the output's format.
#include <algorithm>

#include "editor/media/FFmpeg_p.h"
#include "editor/media/Picture.h"
#include "editor/media/Picture_p.h"

namespace bw::media {

using namespace detail;

void PictureFreer::operator()(AVFrame* f) const { av_frame_free(&f); }

PicturePtr NewPicture() { return PicturePtr(av_frame_alloc()); }

namespace {
void TagColour(AVFrame* f, const PictureFormat& format) {
    f->colorspace = format.Bt709 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    f->color_range = format.FullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
}

// A new frame holding the same sample buffers as `from` and nothing else of it: a decoder's
// picture type (which encoders take as an order), side data and metadata stay behind.
MediaStatus ShareSamples(const AVFrame* from, const PictureFormat& format, PicturePtr& out) {
    PicturePtr p = NewPicture();
    if (!p) return MediaStatus::Fail("picture", "out of memory");
    if (from->buf[0] == nullptr || from->extended_buf != nullptr) {  // not shareable: a copy
        if (av_frame_ref(p.get(), from) < 0) return MediaStatus::Fail("picture", "out of memory");
        while (p->nb_side_data > 0) av_frame_remove_side_data(p.get(), p->side_data[0]->type);
        av_dict_free(&p->metadata);
        p->pict_type = AV_PICTURE_TYPE_NONE;
        p->key_frame = 0;
    } else {
        p->format = from->format;
        p->width = from->width;
        p->height = from->height;
        for (int i = 0; i < AV_NUM_DATA_POINTERS; i++) {
            p->data[i] = from->data[i];
            p->linesize[i] = from->linesize[i];
            if (from->buf[i] && !(p->buf[i] = av_buffer_ref(from->buf[i])))
                return MediaStatus::Fail("picture", "out of memory");
        }
        p->extended_data = p->data;
    }
    p->pts = from->pts;
    TagColour(p.get(), format);
    out = std::move(p);
    return {};
}
// Rows start on 64-byte boundaries, as FFmpeg's own buffers do for its vector code.
constexpr int cPictureAlign = 64;
}  // namespace

PictureFormat FormatOf(const AVFrame* picture) {
    PictureFormat f;
    f.Width = picture->width;
    f.Height = picture->height;
    bool full = picture->color_range == AVCOL_RANGE_JPEG;
    f.PixelFormat = PlainFormat(AVPixelFormat(picture->format), full);
    f.FullRange = full;
    f.Bt709 = SwsColorspace(picture) == SWS_CS_ITU709;
    return f;
}

PictureConformer::PictureConformer(const PictureFormat& format) : format_(format) {
    const int bytes = av_image_get_buffer_size(AVPixelFormat(format.PixelFormat), format.Width, format.Height, cPictureAlign);
    if (bytes > 0) pool_ = av_buffer_pool_init(size_t(bytes), av_buffer_alloc);
}
PictureConformer::~PictureConformer() {
    sws_freeContext(sws_);
    av_buffer_pool_uninit(&pool_);  // the pictures still out keep their buffers
}

MediaStatus PictureConformer::NewOutput(PicturePtr& out) {
    PicturePtr p = NewPicture();
    if (!p || !pool_ || !(p->buf[0] = av_buffer_pool_get(pool_))) return MediaStatus::Fail("picture", "out of memory");
    p->format = format_.PixelFormat;
    p->width = format_.Width;
    p->height = format_.Height;
    if (av_image_fill_arrays(p->data, p->linesize, p->buf[0]->data, AVPixelFormat(p->format), p->width, p->height,
                             cPictureAlign) < 0)
        return MediaStatus::Fail("picture", "unknown output pixel format");
    p->extended_data = p->data;
    TagColour(p.get(), format_);
    out = std::move(p);
    return {};
}

MediaStatus PictureConformer::Conform(const AVFrame* picture, const PictureRect& place, PicturePtr& out) {
    const PictureFormat in = FormatOf(picture);
    const int matrix = SwsColorspace(picture), outMatrix = format_.Bt709 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    const bool whole = place.X == 0 && place.Y == 0 && place.Width == format_.Width && place.Height == format_.Height;
    if (whole && in.PixelFormat == format_.PixelFormat && in.Width == format_.Width && in.Height == format_.Height &&
        in.FullRange == format_.FullRange && matrix == outMatrix)
        return ShareSamples(picture, format_, out);
    if (last_ && picture->data[0] == lastSource_ && picture->pts == lastPts_) return ShareSamples(last_.get(), format_, out);

    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(format_.PixelFormat));
    if (desc == nullptr) return MediaStatus::Fail("picture", "unknown output pixel format");
    // Edges on whole chroma samples, so that every plane's part starts where the luma's does.
    const int cw = 1 << desc->log2_chroma_w, ch = 1 << desc->log2_chroma_h;
    PictureRect r = place;
    r.X = r.X / cw * cw;
    r.Y = r.Y / ch * ch;
    r.Width = std::clamp((r.Width + cw / 2) / cw * cw, cw, format_.Width - r.X);
    r.Height = std::clamp((r.Height + ch / 2) / ch * ch, ch, format_.Height - r.Y);

    if (MediaStatus s = NewOutput(last_); !s) return s;
    AVFrame* dst = last_.get();
    if (!whole) {
        ptrdiff_t lines[4];
        for (int i = 0; i < 4; i++) lines[i] = dst->linesize[i];
        av_image_fill_black(dst->data, lines, AVPixelFormat(format_.PixelFormat),
                            format_.FullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG, format_.Width, format_.Height);
    }
    uint8_t* planes[4] = {};
    int strides[4] = {};
    for (int c = 0; c < desc->nb_components; c++) {
        const int p = desc->comp[c].plane;
        if (planes[p]) continue;
        const bool chroma = (c == 1 || c == 2) && !(desc->flags & AV_PIX_FMT_FLAG_RGB);
        const int sw = chroma ? desc->log2_chroma_w : 0, sh = chroma ? desc->log2_chroma_h : 0;
        planes[p] = dst->data[p] + size_t(r.Y >> sh) * size_t(dst->linesize[p]) + size_t(r.X >> sw) * size_t(desc->comp[c].step);
        strides[p] = dst->linesize[p];
    }
    bool srcFull = picture->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat srcFormat = PlainFormat(AVPixelFormat(picture->format), srcFull);
    sws_ = sws_getCachedContext(sws_, picture->width, picture->height, srcFormat, r.Width, r.Height,
                                AVPixelFormat(format_.PixelFormat), SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr,
                                nullptr);
    if (sws_ == nullptr) {
        const char* name = av_get_pix_fmt_name(srcFormat);
        return MediaStatus::Fail("picture", std::string("cannot convert ") + (name ? name : "unknown") + " pictures to " +
                                                av_get_pix_fmt_name(AVPixelFormat(format_.PixelFormat)));
    }
    // From the source's matrix and range into the output's (YCbCr to YCbCr of another matrix goes
    // through 16-bit RGB inside swscale).
    const int* from = sws_getCoefficients(matrix);
    const int* to = sws_getCoefficients(outMatrix);
    sws_setColorspaceDetails(sws_, from, srcFull ? 1 : 0, to, format_.FullRange ? 1 : 0, 0, 1 << 16, 1 << 16);
    if (sws_scale(sws_, picture->data, picture->linesize, 0, picture->height, planes, strides) != r.Height)
        return MediaStatus::Fail("picture", "picture conversion failed");
    lastSource_ = picture->data[0];
    lastPts_ = picture->pts;
    last_->pts = picture->pts;
    converted_++;
    return ShareSamples(last_.get(), format_, out);
}

}  // namespace bw::media
