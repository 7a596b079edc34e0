#include "editor/cli/nativeroute.h"

#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include "editor/media/ClipReader.h"
#include "engine/fixedrandom.h"
#include "engine/planarcompose.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"
#include "platform/Memory.h"
#include "platform/QuickDraw.h"

namespace bw {
namespace {
// The platform generator's state when a bundle fills its random table at its start-up.
constexpr int32_t cBundleTableSeed = 1;
// The side of the frames the bundle draws on the native route: its pictures are not used, only
// its calls (which frames it reads, the sound levels it mixes them at).
constexpr int16_t cBundleFrameSide = 16;

struct PlanarRow {
    AVPixelFormat Format;
    PlanarFormat Planar;
    int16_t Depth;
};
// The pixel formats the engine composes in, in the processor's byte order.
constexpr PlanarRow cPlanarFormats[] = {
    {AV_PIX_FMT_YUV420P, PlanarFormat::YUV420, 8},
    {AV_PIX_FMT_YUV422P, PlanarFormat::YUV422, 8},
    {AV_PIX_FMT_YUV444P, PlanarFormat::YUV444, 8},
    {AV_PIX_FMT_YUV420P9, PlanarFormat::YUV420, 9},
    {AV_PIX_FMT_YUV420P10, PlanarFormat::YUV420, 10},
    {AV_PIX_FMT_YUV420P12, PlanarFormat::YUV420, 12},
    {AV_PIX_FMT_YUV420P16, PlanarFormat::YUV420, 16},
    {AV_PIX_FMT_YUV422P10, PlanarFormat::YUV422, 10},
    {AV_PIX_FMT_YUV422P12, PlanarFormat::YUV422, 12},
    {AV_PIX_FMT_YUV422P16, PlanarFormat::YUV422, 16},
    {AV_PIX_FMT_YUV444P10, PlanarFormat::YUV444, 10},
    {AV_PIX_FMT_YUV444P12, PlanarFormat::YUV444, 12},
    {AV_PIX_FMT_YUV444P16, PlanarFormat::YUV444, 16},
    {AV_PIX_FMT_YUYV422, PlanarFormat::YUYV, 8},
    {AV_PIX_FMT_RGBA, PlanarFormat::RGBA, 8},
    {AV_PIX_FMT_BGRA, PlanarFormat::BGRA, 8},
    {AV_PIX_FMT_ARGB, PlanarFormat::ARGB, 8},
    {AV_PIX_FMT_ABGR, PlanarFormat::ABGR, 8},
};

const PlanarRow* PlanarRowFor(int format) {
    for (const PlanarRow& row : cPlanarFormats)
        if (row.Format == format) return &row;
    return nullptr;
}

PlanarPicture PlanarOf(const AVFrame* f, const media::PictureFormat& format) {
    const PlanarRow* row = PlanarRowFor(f->format);
    PlanarPicture p{};
    for (int i = 0; i < 3; i++) {
        p.Plane[i] = f->data[i];
        p.Stride[i] = f->linesize[i];
    }
    p.Wid = f->width;
    p.Hig = f->height;
    p.Format = row ? row->Planar : PlanarFormat::YUV420;
    p.Depth = row ? row->Depth : 0;  // depth 0: refused by the composer
    p.Matrix = format.Bt709 ? YuvMatrix::BT709 : YuvMatrix::BT601;
    p.FullRange = format.FullRange;
    return p;
}

}  // namespace

std::string NativeRefusal(const std::vector<Input*>& inputs, const RenderOptions& options, size_t transitions,
                          const media::PictureFormat& format) {
    if (options.proxy) return "a proxy render is the bundle's own";
    media::OutputKind kind;
    if (media::OutputKindForPath(options.output, kind) && kind == media::OutputKind::PngSequence)
        return "PNG sequences are written from RGB pictures";
    if (!PlanarRowFor(format.PixelFormat)) {
        const char* name = av_get_pix_fmt_name(AVPixelFormat(format.PixelFormat));
        return std::string("the engine does not compose in ") + (name ? name : "this pixel format");
    }
    if (options.tileSettings.size() < transitions) return "the transitions' settings are not known";
    for (const Input* in : inputs) {
        const media::ClipReader* reader = in->clip ? in->clip->Reader() : nullptr;
        if (!reader) return in->source->Name() + " is a generated clip";
        if (!reader->Info().Hdr.empty()) return in->source->Name() + " is " + reader->Info().Hdr + " video, tone mapped in RGB";
        if (reader->Info().Rotation != 0) return in->source->Name() + " is turned upright in RGB";
    }
    return {};
}

// A clip as the bundle reads it on the native route: each read keeps the clip's own picture (in
// the output's format) for the composer and hands the bundle the frame's sound and a small frame.
class NativeRoute::PictureClip : public HostClip {
public:
    PictureClip(ConformedClip& clip, media::PictureConformer& conformer, const media::PictureFormat& format)
        : clip_(clip), conformer_(conformer), place_(clip.PlaceIn(format.Width, format.Height)) {}
    int32_t FrameCount() const override { return clip_.FrameCount(); }
    bool ReadFrame(int32_t index, GWorldPtr, bool, std::vector<float>& audio) override {
        media::AudioBlock block;
        media::MediaStatus s = clip_.ReadPicture(index, decoded_, block);
        if (s) s = conformer_.Conform(decoded_.get(), place_, picture_);
        if (!s) {
            clip_.NoteFailure(s);
            return false;
        }
        audio = std::move(block.Samples);
        return true;
    }
    const AVFrame* Picture() const { return picture_.get(); }

private:
    ConformedClip& clip_;
    media::PictureConformer& conformer_;
    media::PictureRect place_;
    media::PicturePtr decoded_, picture_;
};

NativeRoute::NativeRoute(const media::PictureFormat& format, RandomCursors& cursors)
    : format_(format), conformer_(format), cursors_(cursors) {
    config_.Rects = reinterpret_cast<RectFieldPtr>(NewPtrClear(sizeof(RectField)));
    const Rect r{0, 0, cBundleFrameSide, cBundleFrameSide};
    NewGWorld(&bundleFrame_, 32, &r, nullptr, nullptr, 0);
    // The table every bundle filled at its start-up.
    SetQDRandomSeed(cBundleTableSeed);
    FInitRandom();
}

NativeRoute::~NativeRoute() {
    if (config_.Rects) DisposePtr(reinterpret_cast<Ptr>(config_.Rects));
    if (bundleFrame_) DisposeGWorld(bundleFrame_);
}

media::MediaStatus NativeRoute::ClipFrame(ConformedClip& clip, int32_t index, media::PicturePtr& picture,
                                          media::AudioBlock& audio) {
    media::PicturePtr decoded;
    if (media::MediaStatus s = clip.ReadPicture(index, decoded, audio); !s) return s;
    return conformer_.Conform(decoded.get(), clip.PlaceIn(format_.Width, format_.Height), picture);
}

RunRequest NativeRoute::Begin(const PluginHost& host, const PluginDataRec& settings, const RunRequest& run) {
    RunRequest small = run;
    from_.reset(run.clipA ? new PictureClip(*static_cast<ConformedClip*>(run.clipA), conformer_, format_) : nullptr);
    to_.reset(run.clipB ? new PictureClip(*static_cast<ConformedClip*>(run.clipB), conformer_, format_) : nullptr);
    small.clipA = from_.get();
    small.clipB = to_.get();
    small.width = small.height = cBundleFrameSide;

    // The bundle lays its field out on the run's first frame, with its own copy of its settings,
    // from where its random cursor stands.
    RectFieldPtr field = config_.Rects;
    std::memcpy(&config_, &settings, sizeof config_);
    config_.Rects = field;
    config_.Which = run.which;
    frames_ = run.frameCount;
    int16_t& cursor = cursors_[&host];
    FSetIndex(cursor);
    const Rect frame{0, 0, int16_t(format_.Height), int16_t(format_.Width)};
    InitRectangles(&config_, frames_, Rel2Rect(config_.StartRel, frame));
    cursor = FGetIndex();
    return small;
}

media::MediaStatus NativeRoute::Compose(int32_t k, media::PicturePtr& out) {
    // After the last clip the colour takes clip A's place, before the first it gives way to clip B.
    const AVFrame* from = from_ ? from_->Picture() : nullptr;
    const AVFrame* to = to_ ? to_->Picture() : nullptr;
    if ((from_ && !from) || (to_ && !to)) return media::MediaStatus::Fail("transition", "a clip's picture is missing");
    if (media::MediaStatus s = conformer_.NewOutput(out); !s) return s;
    PlanarPicture a{}, b{};
    if (from) a = PlanarOf(from, format_);
    if (to) b = PlanarOf(to, format_);
    const PlanarPicture o = PlanarOf(out.get(), format_);
    if (!ComposePlanarByTiles(from ? &a : nullptr, to ? &b : nullptr, o, config_, k))
        return media::MediaStatus::Fail("transition", "the pictures could not be composed");
    return {};
}

}  // namespace bw
