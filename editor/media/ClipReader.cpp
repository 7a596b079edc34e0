// Clip reading on libavformat/libavcodec: one demuxer and decoder for the pictures and, opened on
// first use, a second one for the sound, so each side seeks and reads at its own pace.
#include "editor/media/ClipReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "editor/media/ClipWriter.h"
#include "editor/media/FFmpeg_p.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/display.h>
}

namespace bw::media {

using namespace detail;

void detail::QuietFFmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

uint64_t DefaultLayout(int channels) {
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    const uint64_t mask = layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
    av_channel_layout_uninit(&layout);
    return mask;
}

std::string LayoutName(uint64_t layout) {
    AVChannelLayout l{};
    char name[128] = "";
    if (av_channel_layout_from_mask(&l, layout) == 0)
        av_channel_layout_describe(&l, name, sizeof name);
    av_channel_layout_uninit(&l);
    return name;
}

namespace {

// The layout of a stream that names none: FFmpeg's for the count, else (ten channels, say, for
// which FFmpeg has no layout) one made of the units below in turn, each added while it fits, so
// that every channel can be mixed into another layout. Pairs stay whole: the mixer refuses a lone
// side channel. The channels it folds into 7.1 come first, the height channels last.
uint64_t UnnamedLayout(int channels) {
    if (const uint64_t layout = DefaultLayout(channels))
        return layout;
    static constexpr uint64_t cUnits[] = {
        AV_CH_FRONT_LEFT | AV_CH_FRONT_RIGHT, AV_CH_FRONT_CENTER, AV_CH_LOW_FREQUENCY,
        AV_CH_BACK_LEFT | AV_CH_BACK_RIGHT, AV_CH_SIDE_LEFT | AV_CH_SIDE_RIGHT,
        AV_CH_FRONT_LEFT_OF_CENTER | AV_CH_FRONT_RIGHT_OF_CENTER, AV_CH_BACK_CENTER,
        AV_CH_TOP_FRONT_LEFT | AV_CH_TOP_FRONT_RIGHT, AV_CH_TOP_BACK_LEFT | AV_CH_TOP_BACK_RIGHT,
        AV_CH_TOP_CENTER, AV_CH_TOP_FRONT_CENTER, AV_CH_TOP_BACK_CENTER,
    };
    uint64_t layout = 0;
    for (const uint64_t unit : cUnits)
        if (LayoutChannels(layout | unit) <= channels)
            layout |= unit;
    return LayoutChannels(layout) == channels ? layout : 0;
}

// A path that names an image sequence ("frames/%05d.png") rather than one file.
bool IsPattern(const std::string& path) {
    const size_t pct = path.find('%');
    if (pct == std::string::npos)
        return false;
    size_t i = pct + 1;
    while (i < path.size() && std::isdigit(static_cast<unsigned char>(path[i])))
        i++;
    return i < path.size() && path[i] == 'd';
}

}  // namespace

std::vector<int64_t> SequenceNumbers(const std::string& path) {
    const std::filesystem::path p(path);
    const std::string pattern = p.filename().string();
    std::vector<int64_t> numbers;
    if (!IsPattern(pattern))
        return numbers;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(p.parent_path().empty() ? "." : p.parent_path(), ec))
        if (int64_t number; MatchesSequence(pattern, entry.path().filename().string(), &number))
            numbers.push_back(number);
    return numbers;
}

namespace {

// Opens `path` for demuxing and reads its stream information. An image sequence starts at its
// lowest number (FFmpeg looks for one from 0 to 4 only).
MediaStatus OpenInput(const std::string& path, InputPtr& out, const std::string& sequenceRate = {}) {
    AVFormatContext* raw = nullptr;
    AVDictionary* options = nullptr;
    if (!sequenceRate.empty() && IsPattern(path))
        av_dict_set(&options, "framerate", sequenceRate.c_str(), 0);
    if (IsPattern(path))
        if (const std::vector<int64_t> numbers = SequenceNumbers(path); !numbers.empty())
            av_dict_set_int(&options, "start_number", *std::min_element(numbers.begin(), numbers.end()), 0);
    int err = avformat_open_input(&raw, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (err < 0) {
        // The system's words only when the file itself cannot be read; whatever the demuxer
        // answered (a bare -1, EIO, ENOMEM) otherwise means data it could not make sense of.
        if (!IsPattern(path)) {
            const int fd = ::open(path.c_str(), O_RDONLY);
            if (fd < 0)
                return MediaStatus::Fail(path, UserErrorText(AVERROR(errno)));
            ::close(fd);
        }
        if (err == AVERROR(ENOMEM))
            return MediaStatus::Fail(path, "not a video file, or damaged beyond reading (or memory ran out)");
        if (err == AVERROR_PATCHWELCOME || err == AVERROR(ENOSYS) || IsPattern(path))
            return MediaStatus::Fail(path, "cannot open it (" + UserErrorText(err) + ")");
        return MediaStatus::Fail(path, "not a video file, or damaged beyond reading");
    }
    out.reset(raw);
    err = avformat_find_stream_info(raw, nullptr);
    if (err < 0)
        return MediaStatus::Fail(path, "cannot make out what the file holds (" + InputErrorText(err, IoError(raw)) + ")");
    return {};
}

MediaStatus OpenDecoder(const std::string& path, const AVStream* st, int threads, CodecPtr& out) {
    const char* kind = st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? "video" : "audio";
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (st->codecpar->codec_id == AV_CODEC_ID_NONE)   // the demuxer could not tell what the stream holds
        return MediaStatus::Fail(path, std::string("not a video file, or damaged: its ") + kind +
                                           " stream is of no kind FFmpeg knows");
    if (codec == nullptr)
        return MediaStatus::Fail(path, std::string("unsupported ") + kind + " codec " +
                                           avcodec_get_name(st->codecpar->codec_id));
    CodecPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx)
        return MediaStatus::Fail(path, "out of memory");
    int err = avcodec_parameters_to_context(ctx.get(), st->codecpar);
    if (err >= 0) {
        ctx->pkt_timebase = st->time_base;
        ctx->thread_count = threads;
        // Frame threads hold a picture each: slices only for large pictures.
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            ctx->thread_type = IsLargePicture(st->codecpar->width, st->codecpar->height)
                                   ? FF_THREAD_SLICE
                                   : FF_THREAD_FRAME | FF_THREAD_SLICE;
        err = avcodec_open2(ctx.get(), codec, nullptr);
    }
    if (err < 0)
        return MediaStatus::Fail(path, std::string("cannot open the ") + kind + " decoder " + codec->name + " (" +
                                           InputErrorText(err, 0) + ")");
    out = std::move(ctx);
    return {};
}

// A decoder's refusal: a damaged stream, whatever code it borrowed from the system to say so.
std::string Damaged(const char* what, int err) {
    return std::string("the ") + what + " is damaged" + (err == AVERROR(ENOMEM) ? " (or memory ran out)" : "");
}

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

// "1:02.48" for 62.48 seconds: how a player shows a place in a clip.
std::string TimeText(double seconds) {
    const int64_t hundredths = std::llround(std::max(seconds, 0.0) * 100);
    char text[40];
    const int64_t minutes = hundredths / 6000;
    if (minutes >= 60)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld", (long long)(minutes / 60), (long long)(minutes % 60),
                      (long long)(hundredths / 100 % 60), (long long)(hundredths % 100));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld.%02lld", (long long)minutes, (long long)(hundredths / 100 % 60),
                      (long long)(hundredths % 100));
    return text;
}

// Picture demuxers: a file that holds one picture rather than a clip.
bool IsImageDemuxer(const AVInputFormat* f) {
    const std::string name = f != nullptr && f->name != nullptr ? f->name : "";
    return name == "image2" || (name.size() > 5 && name.compare(name.size() - 5, 5, "_pipe") == 0);
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

// Converts high dynamic range pictures (PQ or HLG) to BT.709 for an 8-bit output with zscale and
// tonemap, as FFmpeg's own recipe does; built for the first picture and rebuilt when the format changes.
struct ToneMapper {
    AVFilterGraph*   Graph = nullptr;
    AVFilterContext* Source = nullptr;
    AVFilterContext* Sink = nullptr;
    int              Width = 0, Height = 0, Format = -1;
    FramePtr         Out{av_frame_alloc()};

    ~ToneMapper() { avfilter_graph_free(&Graph); }
    static bool Available() {
        return avfilter_get_by_name("zscale") != nullptr && avfilter_get_by_name("tonemap") != nullptr;
    }
    bool Build(const AVFrame* f) {
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
    // The picture tone mapped, or null when the graph failed.
    const AVFrame* Map(const AVFrame* f) {
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
};

}  // namespace

// Copies `from` into dst turned clockwise by `degrees` (90, 180 or 270); dst has the turned size.
void TurnInto(const VideoFrame& from, int degrees, const PixelView& dst) {
    const int w = from.Width, h = from.Height;
    for (int y = 0; y < dst.Height; y++) {
        uint32_t* out = reinterpret_cast<uint32_t*>(dst.Base + size_t(y) * size_t(dst.RowBytes));
        for (int x = 0; x < dst.Width; x++) {
            int sx, sy;   // the source pixel shown at (x, y)
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

struct ClipReader::Impl {
    std::string   Path;
    ReaderOptions Options;
    ClipInfo      Info;

    // Pictures.
    bool       VSought = false;      // the demuxer has moved since the open; before, it stands at the start
    InputPtr   VFmt;
    CodecPtr   VDec;
    int        VStream = -1;
    AVRational VTimeBase{1, 1};
    int64_t    VStartPts = 0;        // pts of frame 0
    int64_t    VLagPts = 0;          // how late every picture is stamped (decoding-order stamps), in VTimeBase
    double     StartSeconds = 0;     // the same in seconds: origin of the audio timeline too
    PacketPtr  VPkt;
    FramePtr   Current, Pending;     // Current shows for indexes [CurrentIndex, PendingIndex)
    int64_t    CurrentIndex = -1, PendingIndex = -1;
    bool       HaveCurrent = false, HavePending = false;
    bool       VDemuxDone = false, VDecodeDone = false;
    std::string VReadError;          // set when the file ended in a read error rather than cleanly
    SwsPtr     Sws;
    VideoFrame Turned;               // the scaled picture before its turn upright
    std::unique_ptr<ToneMapper> Tone;   // HDR pictures only

    // Sound, opened lazily.
    int        AStream = -1;
    bool       AOpened = false;
    InputPtr   AFmt;
    CodecPtr   ADec;
    AVRational ATimeBase{1, 1};
    PacketPtr  APkt;
    FramePtr   AFrame;
    SwrPtr     Swr;
    int        SwrInRate = 0, SwrInFormat = -1, SwrInChannels = 0;
    int        OutRate = 48000;
    uint64_t   OutLayout = kStereoLayout;
    int        OutChannels = 2;
    std::vector<float> ABuf;         // samples in OutLayout starting at ABufStart on the output timeline
    int64_t    ABufStart = 0;
    bool       APositioned = false, ADemuxDone = false, ADecodeDone = false;
    bool       AAtStart = true;      // the sound's demuxer has read nothing since the open

    int64_t IndexOfPts(int64_t pts) const {
        return av_rescale_q_rnd(pts - VStartPts - VLagPts, VTimeBase, AVRational{Info.FrameRate.Den, Info.FrameRate.Num},
                                AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    }
    int64_t PtsOfIndex(int64_t index) const {
        return VStartPts + VLagPts + av_rescale_q(index, AVRational{Info.FrameRate.Den, Info.FrameRate.Num}, VTimeBase);
    }

    MediaStatus Reopen();
    void        Release();
    MediaStatus DecodeVideo(AVFrame* into, bool& got);
    MediaStatus SeekVideo(int64_t index, int attempt);
    MediaStatus EndedEarly(int64_t frames);
    MediaStatus PositionAt(int64_t index);
    MediaStatus Scale(const PixelView& dst, bool highQuality);

    MediaStatus OpenAudio();
    MediaStatus SeekAudio(int64_t first);
    MediaStatus DecodeAudioChunk();
};

// Opens the demuxer and decoder of the pictures again after Release (or after the probe at Open,
// which releases them too): a clip holds them only while it is being read.
MediaStatus ClipReader::Impl::Reopen() {
    if (MediaStatus s = OpenInput(Path, VFmt, Options.SequenceRate); !s)
        return s;
    if (VStream >= int(VFmt->nb_streams))
        return MediaStatus::Fail(Path, "the file changed since it was opened");
    for (unsigned i = 0; i < VFmt->nb_streams; i++)
        if (int(i) != VStream)
            VFmt->streams[i]->discard = AVDISCARD_ALL;
    // One thread for a still: frame threads would hold its one picture back until the file ends.
    if (MediaStatus s = OpenDecoder(Path, VFmt->streams[VStream], Info.IsStill ? 1 : Options.Threads, VDec); !s)
        return s;
    VPkt.reset(av_packet_alloc());
    Current.reset(av_frame_alloc());
    Pending.reset(av_frame_alloc());
    if (!VPkt || !Current || !Pending)
        return MediaStatus::Fail(Path, "out of memory");
    return {};
}

// Drops everything a read built (demuxers, decoders, pictures, converters, buffered sound); the
// probe's Info stays, and the next read opens the file again.
void ClipReader::Impl::Release() {
    VFmt.reset();
    VDec.reset();
    VPkt.reset();
    Current.reset();
    Pending.reset();
    Sws.reset();
    Turned = VideoFrame{};
    if (Tone)
        Tone = std::make_unique<ToneMapper>();
    VSought = HaveCurrent = HavePending = VDemuxDone = VDecodeDone = false;
    CurrentIndex = PendingIndex = -1;
    AFmt.reset();
    ADec.reset();
    APkt.reset();
    AFrame.reset();
    Swr.reset();
    ABuf = std::vector<float>{};
    ABufStart = 0;
    AOpened = APositioned = ADemuxDone = ADecodeDone = false;
    AAtStart = true;
}

// Decodes the next picture in stream order into `into`; got is false at the end of the stream.
MediaStatus ClipReader::Impl::DecodeVideo(AVFrame* into, bool& got) {
    got = false;
    int badPackets = 0;
    while (!VDecodeDone) {
        int err = avcodec_receive_frame(VDec.get(), into);
        if (err == 0) {
            got = true;
            return {};
        }
        if (err == AVERROR_EOF) {
            VDecodeDone = true;
            break;
        }
        if (err != AVERROR(EAGAIN)) {
            // A damaged picture: skip it, but do not loop forever on a file of garbage.
            if (++badPackets > 64)
                return MediaStatus::Fail(Path, Damaged("video", err));
            continue;
        }
        if (VDemuxDone) {
            VDecodeDone = true;
            break;
        }
        err = av_read_frame(VFmt.get(), VPkt.get());
        if (err < 0) {
            if (err != AVERROR_EOF)
                VReadError = InputErrorText(err, IoError(VFmt.get()));
            VDemuxDone = true;
            avcodec_send_packet(VDec.get(), nullptr);   // drain the frames still inside the decoder
            continue;
        }
        if (VPkt->stream_index == VStream) {
            err = avcodec_send_packet(VDec.get(), VPkt.get());
            if (err < 0 && err != AVERROR(EAGAIN) && ++badPackets > 64) {
                av_packet_unref(VPkt.get());
                return MediaStatus::Fail(Path, Damaged("video", err));
            }
        }
        av_packet_unref(VPkt.get());
    }
    return {};
}

// Seeks for `index`, each attempt earlier than the one before: the keyframe before the frame, ten
// seconds earlier (MPEG program and transport streams land a GOP late), then the very start. AVI
// goes back to its start through its index: after a byte seek its stamps no longer count from 0.
MediaStatus ClipReader::Impl::SeekVideo(int64_t index, int attempt) {
    int err = -1;
    if (attempt < 2) {
        const int64_t back = attempt == 0 ? 0 : av_rescale_q(10, AVRational{1, 1}, VTimeBase);
        err = av_seek_frame(VFmt.get(), VStream, std::max(PtsOfIndex(index) - back, VStartPts), AVSEEK_FLAG_BACKWARD);
    } else if (VLagPts > 0) {
        err = av_seek_frame(VFmt.get(), VStream, VStartPts, AVSEEK_FLAG_BACKWARD);
    }
    if (err < 0 && !(VFmt->iformat->flags & AVFMT_NO_BYTE_SEEK))
        err = av_seek_frame(VFmt.get(), -1, 0, AVSEEK_FLAG_BYTE);
    if (err < 0)
        err = av_seek_frame(VFmt.get(), VStream, INT64_MIN + 1, AVSEEK_FLAG_BACKWARD);
    if (err < 0)
        err = avformat_seek_file(VFmt.get(), -1, INT64_MIN, 0, 0, 0);
    VSought = true;
    if (err < 0)
        return MediaStatus::Fail(Path, "cannot seek to frame " + std::to_string(index) + " (" +
                                             InputErrorText(err, IoError(VFmt.get())) + ")");
    avcodec_flush_buffers(VDec.get());
    HaveCurrent = HavePending = false;
    VDemuxDone = VDecodeDone = false;
    return {};
}

// The clip holds `frames` frames, fewer than its header promised: the count is lowered and the
// read fails, naming where the clip ends.
MediaStatus ClipReader::Impl::EndedEarly(int64_t frames) {
    Info.FrameCount = std::max<int64_t>(frames, 1);
    Info.FrameCountExact = true;
    MediaStatus s = MediaStatus::Fail(Path, "the file ends early at " + TimeText(double(frames) / Info.FrameRate.ToDouble()) +
                                                (VReadError.empty() ? "" : " (" + VReadError + ")"));
    s.EndedEarly = true;
    return s;
}

// Makes Current the last picture whose index is at most `index` (or the first picture when the
// clip starts later), decoding forward from where we are or after a seek. Near the start of a clip
// that was never sought, decoding simply begins where the demuxer stands: the first seek of some
// containers lands on the second group of pictures.
MediaStatus ClipReader::Impl::PositionAt(int64_t index) {
    if (!VFmt)
        if (MediaStatus s = Reopen(); !s)
            return s;
    const int64_t nearby = 2 * int64_t(Info.FrameRate.ToDouble() + 1);
    bool forward = HaveCurrent && index >= CurrentIndex;
    if (!HaveCurrent && !VSought && index <= nearby) {
        bool got = false;
        if (MediaStatus s = DecodeVideo(Current.get(), got); !s)
            return s;
        if (got) {
            const int64_t pts = Current->best_effort_timestamp;
            CurrentIndex = pts == AV_NOPTS_VALUE ? 0 : std::max<int64_t>(IndexOfPts(pts), 0);
            HaveCurrent = forward = true;
        }
    }
    if (forward && HavePending && index >= PendingIndex + 1) {
        // Jumping ahead: seek only when a keyframe lies between here and the target.
        const AVStream* st = VFmt->streams[VStream];
        const int entry = av_index_search_timestamp(const_cast<AVStream*>(st), PtsOfIndex(index), AVSEEK_FLAG_BACKWARD);
        const AVIndexEntry* ie = entry >= 0 ? avformat_index_get_entry(const_cast<AVStream*>(st), entry) : nullptr;
        if (ie != nullptr)
            forward = ie->timestamp <= Current->best_effort_timestamp;
        else
            forward = index - CurrentIndex <= nearby;
    }
    for (int attempt = 0; !forward && attempt < 3; attempt++) {
        if (MediaStatus s = SeekVideo(index, attempt); !s)
            return s;
        bool got = false;
        if (MediaStatus s = DecodeVideo(Current.get(), got); !s)
            return s;
        if (!got)
            continue;
        const int64_t pts = Current->best_effort_timestamp;
        CurrentIndex = pts == AV_NOPTS_VALUE ? 0 : IndexOfPts(pts);
        HaveCurrent = true;
        if (CurrentIndex <= index)
            break;   // landed before the target: decode forward from here
    }
    if (!HaveCurrent)
        return MediaStatus::Fail(Path, "no decodable video frames");
    for (;;) {
        if (!HavePending) {
            if (VDecodeDone)
                break;
            bool got = false;
            if (MediaStatus s = DecodeVideo(Pending.get(), got); !s)
                return s;
            if (!got)
                break;
            const int64_t pts = Pending->best_effort_timestamp;
            PendingIndex = pts == AV_NOPTS_VALUE ? CurrentIndex + 1 : IndexOfPts(pts);
            HavePending = true;
        }
        if (PendingIndex > index)
            break;
        std::swap(Current, Pending);
        CurrentIndex = PendingIndex;
        HavePending = false;
        av_frame_unref(Pending.get());
    }
    if (!HavePending && VDecodeDone && index > CurrentIndex) {
        // The clip ends here. Within rounding of a count estimated from the duration (or a
        // variable frame rate's last frame) the last picture stands in; more is an early end.
        const int64_t frames = CurrentIndex + 1;
        const int64_t slack = std::max<int64_t>(2, Info.FrameCount / 50);
        if (!VReadError.empty() || Info.FrameCount - frames > slack)
            return EndedEarly(frames);
    }
    return {};
}

MediaStatus ClipReader::Impl::Scale(const PixelView& dst, bool highQuality) {
    const AVFrame* f = Current.get();
    if (Tone) {
        if (const AVFrame* mapped = Tone->Map(f)) {
            f = mapped;
        } else if (Info.Warning.empty()) {
            Info.Warning = Path + ": " + Info.Hdr + " video is shown without tone mapping (the conversion failed)";
        }
    }
    // A turned picture is scaled at its stored orientation first, then turned into dst.
    const bool quarter = Info.Rotation == 90 || Info.Rotation == 270;
    PixelView target = dst;
    if (Info.Rotation != 0) {
        Turned.Resize(quarter ? dst.Height : dst.Width, quarter ? dst.Width : dst.Height);
        target = Turned.View();
    }
    bool fullRange = f->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat srcFormat = PlainFormat(AVPixelFormat(f->format), fullRange);
    const int flags = highQuality ? SWS_BILINEAR : SWS_POINT;
    SwsContext* ctx = sws_getCachedContext(Sws.release(), f->width, f->height, srcFormat, target.Width, target.Height,
                                           AV_PIX_FMT_ARGB, flags, nullptr, nullptr, nullptr);
    Sws.reset(ctx);
    if (ctx == nullptr)
    {
        const char* name = av_get_pix_fmt_name(srcFormat);
        return MediaStatus::Fail(Path, std::string("cannot convert ") + (name ? name : "unknown") + " pictures to ARGB");
    }
    // Source matrix and range from the frame; RGB output is always full range. Read back from the
    // context, not remembered: a context made afresh may reuse the old one's address, and a full
    // range source would then be read as limited from its second picture on.
    const int* coeffs = sws_getCoefficients(SwsColorspace(f));
    int* table = nullptr;
    int* invTable = nullptr;
    int srcRange = -1, dstRange = -1, brightness = 0, contrast = 0, saturation = 0;
    sws_getColorspaceDetails(ctx, &invTable, &srcRange, &table, &dstRange, &brightness, &contrast, &saturation);
    if (invTable == nullptr || std::memcmp(invTable, coeffs, 4 * sizeof(int)) != 0 || srcRange != int(fullRange) ||
        dstRange != 1)
        sws_setColorspaceDetails(ctx, coeffs, fullRange ? 1 : 0, coeffs, 1, 0, 1 << 16, 1 << 16);
    uint8_t* dstData[4] = {target.Base, nullptr, nullptr, nullptr};
    int dstStride[4] = {target.RowBytes, 0, 0, 0};
    const int rows = sws_scale(ctx, f->data, f->linesize, 0, f->height, dstData, dstStride);
    if (rows != target.Height)
        return MediaStatus::Fail(Path, "picture conversion failed");
    if (Info.Rotation != 0)
        TurnInto(Turned, Info.Rotation, dst);
    return {};
}

MediaStatus ClipReader::Impl::OpenAudio() {
    AOpened = true;
    if (MediaStatus s = OpenInput(Path, AFmt); !s)
        return s;
    const AVStream* st = AFmt->streams[AStream];
    if (MediaStatus s = OpenDecoder(Path, st, 1, ADec); !s)
        return s;
    ATimeBase = st->time_base;
    APkt.reset(av_packet_alloc());
    AFrame.reset(av_frame_alloc());
    if (!APkt || !AFrame)
        return MediaStatus::Fail(Path, "out of memory");
    // The second demuxer only needs the audio packets.
    for (unsigned i = 0; i < AFmt->nb_streams; i++)
        if (int(i) != AStream)
            AFmt->streams[i]->discard = AVDISCARD_ALL;
    return {};
}

MediaStatus ClipReader::Impl::SeekAudio(int64_t first) {
    // A little earlier than needed: decoders may drop the first samples after a seek.
    const double seconds = StartSeconds + double(first) / OutRate - 0.1;
    const int64_t ts = int64_t(std::floor(seconds * ATimeBase.den / ATimeBase.num));
    int err = av_seek_frame(AFmt.get(), AStream, ts, AVSEEK_FLAG_BACKWARD);
    if (err < 0)
        err = av_seek_frame(AFmt.get(), AStream, INT64_MIN + 1, AVSEEK_FLAG_BACKWARD);
    if (err < 0)
        err = avformat_seek_file(AFmt.get(), -1, INT64_MIN, 0, 0, 0);
    AAtStart = false;
    if (err < 0)
        return MediaStatus::Fail(Path, "cannot seek in the sound (" + InputErrorText(err, IoError(AFmt.get())) + ")");
    avcodec_flush_buffers(ADec.get());
    Swr.reset();
    ABuf.clear();
    APositioned = ADemuxDone = ADecodeDone = false;
    return {};
}

// Decodes one more audio frame (or drains the resampler at the end) onto the end of ABuf.
MediaStatus ClipReader::Impl::DecodeAudioChunk() {
    int badPackets = 0;
    for (;;) {
        int err = ADecodeDone ? AVERROR_EOF : avcodec_receive_frame(ADec.get(), AFrame.get());
        if (err == 0)
            break;
        if (err == AVERROR_EOF) {
            ADecodeDone = true;
            if (Swr) {   // the resampler holds a few samples back; fetch them
                const size_t old = ABuf.size();
                ABuf.resize(old + size_t(OutChannels) * 256);
                uint8_t* out[1] = {reinterpret_cast<uint8_t*>(ABuf.data() + old)};
                const int n = swr_convert(Swr.get(), out, 256, nullptr, 0);
                ABuf.resize(old + size_t(OutChannels) * size_t(std::max(n, 0)));
                if (n < 256)
                    Swr.reset();
            }
            return {};
        }
        if (err != AVERROR(EAGAIN)) {
            if (++badPackets > 64)
                return MediaStatus::Fail(Path, Damaged("sound", err));
            continue;
        }
        if (ADemuxDone) {
            ADecodeDone = true;
            continue;
        }
        err = av_read_frame(AFmt.get(), APkt.get());
        if (err < 0) {
            ADemuxDone = true;
            avcodec_send_packet(ADec.get(), nullptr);
            continue;
        }
        if (APkt->stream_index == AStream) {
            err = avcodec_send_packet(ADec.get(), APkt.get());
            if (err < 0 && err != AVERROR(EAGAIN) && ++badPackets > 64) {
                av_packet_unref(APkt.get());
                return MediaStatus::Fail(Path, Damaged("sound", err));
            }
        }
        av_packet_unref(APkt.get());
    }

    AVFrame* f = AFrame.get();
    const int channels = f->ch_layout.nb_channels;
    if (!Swr || f->sample_rate != SwrInRate || f->format != SwrInFormat || channels != SwrInChannels) {
        AVChannelLayout inLayout{};
        if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC && UnnamedLayout(channels) != 0)
            av_channel_layout_from_mask(&inLayout, UnnamedLayout(channels));
        else
            av_channel_layout_copy(&inLayout, &f->ch_layout);
        AVChannelLayout outLayout{};
        av_channel_layout_from_mask(&outLayout, OutLayout);
        SwrContext* raw = nullptr;
        int err = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLT, OutRate, &inLayout,
                                      AVSampleFormat(f->format), f->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        if (err >= 0)
            err = swr_init(raw);
        if (err < 0) {
            swr_free(&raw);
            return MediaStatus::Fail(Path, "cannot convert the sound (" + UserErrorText(err) + ")");
        }
        Swr.reset(raw);
        SwrInRate = f->sample_rate;
        SwrInFormat = f->format;
        SwrInChannels = channels;
    }
    if (!APositioned) {
        // The first chunk after a seek places the buffer on the timeline; later ones follow on.
        // pts, not best_effort_timestamp: only pts moves with the samples a decoder drops at the
        // start (Opus pre-skip).
        const int64_t pts = f->pts != AV_NOPTS_VALUE ? f->pts : f->best_effort_timestamp;
        const double seconds = pts == AV_NOPTS_VALUE ? StartSeconds : pts * av_q2d(ATimeBase);
        ABufStart = std::llround((seconds - StartSeconds) * OutRate);
        APositioned = true;
    }
    const int room = swr_get_out_samples(Swr.get(), f->nb_samples);
    const size_t old = ABuf.size();
    ABuf.resize(old + size_t(OutChannels) * size_t(std::max(room, 0)));
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(ABuf.data() + old)};
    const int n = swr_convert(Swr.get(), out, room, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    ABuf.resize(old + size_t(OutChannels) * size_t(std::max(n, 0)));
    av_frame_unref(f);
    if (n < 0)
        return MediaStatus::Fail(Path, "cannot convert the sound (" + UserErrorText(n) + ")");
    return {};
}

ClipReader::ClipReader(std::unique_ptr<Impl> impl) : fImpl(std::move(impl)) {}
ClipReader::~ClipReader() = default;

std::unique_ptr<ClipReader> ClipReader::Open(const std::string& path, MediaStatus& status,
                                             const ReaderOptions& options) {
    QuietFFmpegLog();
    status = {};
    std::error_code ec;
    if (!IsPattern(path)) {
        const auto kind = std::filesystem::status(path, ec).type();
        if (kind == std::filesystem::file_type::not_found) {
            status = MediaStatus::Fail(path, "no such file");
            return nullptr;
        }
        if (kind == std::filesystem::file_type::directory) {
            status = MediaStatus::Fail(path, "is a folder, not a media file");
            return nullptr;
        }
        // A clip is read more than once (probing, pictures and sound on their own): a pipe or a
        // device would block or lose what the first reading took. Refused before it is opened.
        if (kind != std::filesystem::file_type::regular && kind != std::filesystem::file_type::unknown) {
            const char* what = kind == std::filesystem::file_type::fifo     ? "a pipe"
                               : kind == std::filesystem::file_type::socket ? "a socket"
                                                                            : "a device";
            status = MediaStatus::Fail(path, std::string("is ") + what +
                                                 ", not a file: clips are read more than once; save it to a file first");
            return nullptr;
        }
        if (kind == std::filesystem::file_type::regular && std::filesystem::file_size(path, ec) == 0 && !ec) {
            status = MediaStatus::Fail(path, "the file is empty");
            return nullptr;
        }
    }
    auto impl = std::make_unique<Impl>();
    Impl& m = *impl;
    m.Path = path;
    m.Options = options;
    if (status = OpenInput(path, m.VFmt, options.SequenceRate); !status)
        return nullptr;

    // Cover art (an attached picture, as music files carry) is no video stream: a stream of
    // moving pictures is taken before it, and a file with only cover art is a still that lasts
    // as long as its sound.
    int vs = av_find_best_stream(m.VFmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const auto isCover = [&m](int i) { return (m.VFmt->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0; };
    if (vs >= 0 && isCover(vs))
        for (unsigned i = 0; i < m.VFmt->nb_streams; i++)
            if (m.VFmt->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !isCover(int(i))) {
                vs = int(i);
                break;
            }
    if (vs < 0) {
        status = MediaStatus::Fail(path, "no video stream");
        return nullptr;
    }
    const bool cover = isCover(vs);
    m.VStream = vs;
    AVStream* st = m.VFmt->streams[vs];
    if (status = OpenDecoder(path, st, options.Threads, m.VDec); !status)
        return nullptr;
    for (unsigned i = 0; i < m.VFmt->nb_streams; i++)
        if (int(i) != vs)
            m.VFmt->streams[i]->discard = AVDISCARD_ALL;

    ClipInfo& info = m.Info;
    info.Width = st->codecpar->width;
    info.Height = st->codecpar->height;
    if (info.Width <= 0 || info.Height <= 0) {
        status = MediaStatus::Fail(path, "video stream without a picture size (corrupt header)");
        return nullptr;
    }
    info.VideoCodec = avcodec_get_name(st->codecpar->codec_id);
    const char* space = av_color_space_name(st->codecpar->color_space);
    info.ColourSpace = space != nullptr ? space : "unknown";
    // Display proportions: the pixel shape stretches the width, then the display matrix turns it.
    const AVRational sar = av_guess_sample_aspect_ratio(m.VFmt.get(), st, nullptr);
    if (sar.num > 0 && sar.den > 0 && av_q2d(sar) > 0.1 && av_q2d(sar) < 10)
        info.SampleAspect = Rational{sar.num, sar.den};
    info.Rotation = StreamRotation(st);
    const int shownWidth = std::max(1, int(std::lround(info.Width * info.SampleAspect.ToDouble())));
    const bool quarter = info.Rotation == 90 || info.Rotation == 270;
    info.DisplayWidth = quarter ? info.Height : shownWidth;
    info.DisplayHeight = quarter ? shownWidth : info.Height;
    const AVColorTransferCharacteristic trc = st->codecpar->color_trc;
    if (trc == AVCOL_TRC_SMPTE2084 || trc == AVCOL_TRC_ARIB_STD_B67) {
        info.Hdr = trc == AVCOL_TRC_SMPTE2084 ? "PQ" : "HLG";
        if (ToneMapper::Available())
            m.Tone = std::make_unique<ToneMapper>();
        else
            info.Warning = path + ": " + info.Hdr + " (HDR) video is shown without tone mapping: this FFmpeg has no "
                           "zscale or tonemap filter";
    }
    // The stream's base rate (r_frame_rate, with FFmpeg's own guards against a field rate or a
    // time base taken for it): pictures are placed by their times at it, so a clip whose rate
    // changes (24 and 60 a second joined) keeps every picture of its faster part.
    AVRational rate = av_guess_frame_rate(m.VFmt.get(), st, nullptr);
    const AVRational average = st->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = average;
    if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > 1000)
        rate = AVRational{25, 1};
    av_reduce(&rate.num, &rate.den, rate.num, rate.den, INT32_MAX);
    info.FrameRate = ToRational(rate);
    // A base rate 1 % or more above the average: the frame rate varies, and the packets do not
    // count the frames at the base rate.
    const bool variable = average.num > 0 && average.den > 0 && av_q2d(rate) > 1.01 * av_q2d(average);
    m.VTimeBase = st->time_base;
    m.VStartPts = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    m.StartSeconds = m.VStartPts * av_q2d(m.VTimeBase);
    // AVI keeps decoding times only: a decoder that reorders pictures (B-frames) hands each one out
    // stamped with the time of the packet that completed it, its reorder delay late. The sound is
    // not shifted; it starts with the first picture's true time.
    if (std::strcmp(m.VFmt->iformat->name, "avi") == 0 && m.VDec->has_b_frames > 0)
        m.VLagPts = av_rescale_q(m.VDec->has_b_frames, AVRational{rate.den, rate.num}, m.VTimeBase);

    double statedEnd = 0;   // where the header says the video ends, on the file's clock
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
        info.Duration = st->duration * av_q2d(st->time_base);
        statedEnd = m.StartSeconds + info.Duration;
    } else if (m.VFmt->duration != AV_NOPTS_VALUE && m.VFmt->duration > 0) {
        info.Duration = double(m.VFmt->duration) / AV_TIME_BASE;
        statedEnd = double(m.VFmt->start_time != AV_NOPTS_VALUE ? m.VFmt->start_time : 0) / AV_TIME_BASE + info.Duration;
    }
    // A picture file lasts StillSeconds at 25 frames a second; cover art as long as the sound,
    // whose start is then the clip's.
    if (cover || (IsImageDemuxer(m.VFmt->iformat) && !IsPattern(path))) {
        double seconds = options.StillSeconds;
        if (cover) {
            const int as = av_find_best_stream(m.VFmt.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
            const AVStream* ast = as >= 0 ? m.VFmt->streams[as] : nullptr;
            if (ast != nullptr && ast->duration != AV_NOPTS_VALUE && ast->duration > 0)
                seconds = ast->duration * av_q2d(ast->time_base);
            else if (m.VFmt->duration != AV_NOPTS_VALUE && m.VFmt->duration > 0)
                seconds = double(m.VFmt->duration) / AV_TIME_BASE;
            if (ast != nullptr && ast->start_time != AV_NOPTS_VALUE)
                m.StartSeconds = ast->start_time * av_q2d(ast->time_base);
        }
        info.IsStill = true;
        info.FrameRate = Rational{25, 1};
        info.FrameCount = std::max<int64_t>(1, std::llround(seconds * 25));
        info.FrameCountExact = true;
        info.Duration = double(info.FrameCount) / 25;
    }
    // A header's count that disagrees with the duration (by half or more) is damaged: the packets
    // are counted instead, or the duration decides.
    const double fromDuration = info.Duration * info.FrameRate.ToDouble();
    const bool plausible = info.Duration <= 0 ||
                           (double(st->nb_frames) <= 1.5 * fromDuration + 2 && double(st->nb_frames) >= fromDuration / 1.5 - 2);
    if (info.IsStill || variable) {
        // one picture, counted above; or a count at the base rate from the duration, below
    } else if (st->nb_frames > 0 && plausible) {
        info.FrameCount = st->nb_frames;
        info.FrameCountExact = true;
    } else if (options.CountFrames) {
        // Every stream's packets are read (none decoded): where the furthest one ends tells a
        // file cut short (a half-finished download) from one whose sound outlasts its pictures.
        InputPtr counter;
        if (OpenInput(path, counter, options.SequenceRate)) {
            PacketPtr pkt(av_packet_alloc());
            int64_t count = 0;
            double reached = 0;   // seconds, on the file's own clock
            int err = 0;
            while ((err = av_read_frame(counter.get(), pkt.get())) >= 0) {
                count += pkt->stream_index == vs;
                if (pkt->pts != AV_NOPTS_VALUE)
                    reached = std::max(reached, double(pkt->pts + std::max<int64_t>(pkt->duration, 0)) *
                                                    av_q2d(counter->streams[pkt->stream_index]->time_base));
                av_packet_unref(pkt.get());
            }
            info.FrameCount = count;
            info.FrameCountExact = err == AVERROR_EOF;   // a read error leaves it a lower bound
            // The end the header states, against where the packets stop: more than the slack of
            // an early end short, and the count is the stated one; decoding finds the real end.
            const int64_t stated = std::llround(info.Duration * info.FrameRate.ToDouble());
            const double slack = double(std::max<int64_t>(2, stated / 50)) / info.FrameRate.ToDouble();
            if (statedEnd > 0 && reached > 0 && reached + slack < statedEnd) {
                info.FrameCount = stated;
                info.FrameCountExact = false;
            }
        }
    }
    if (info.FrameCount <= 0) {
        info.FrameCount = std::llround(info.Duration * info.FrameRate.ToDouble());
        info.FrameCountExact = false;
    }
    if (info.FrameCount <= 0) {
        status = MediaStatus::Fail(path, "no video frames (empty or truncated)");
        return nullptr;
    }
    if (info.Duration <= 0)
        info.Duration = double(info.FrameCount) / info.FrameRate.ToDouble();
    // An image sequence ends at the first number missing: files of the pattern after a gap are
    // left out, and the user is told.
    if (IsPattern(path)) {
        const int64_t files = int64_t(SequenceNumbers(path).size());
        if (const int64_t left = files - info.FrameCount; left > 0)
            info.Warning = path + ": the numbering stops after " + std::to_string(info.FrameCount) +
                           (info.FrameCount == 1 ? " picture; " : " pictures; ") +
                           (left == 1 ? "the 1 file of the sequence after the gap is left out"
                                      : "the " + std::to_string(left) + " files of the sequence after the gap are left out");
    }

    const AVCodec* adec = nullptr;
    int as = av_find_best_stream(m.VFmt.get(), AVMEDIA_TYPE_AUDIO, -1, vs, &adec, 0);
    if (as >= 0) {
        const AVCodecParameters* par = m.VFmt->streams[as]->codecpar;
        info.HasAudio = true;
        info.AudioSampleRate = par->sample_rate;
        info.AudioChannels = par->ch_layout.nb_channels;
        info.AudioLayout = par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE && par->ch_layout.u.mask != 0
                               ? par->ch_layout.u.mask
                               : UnnamedLayout(info.AudioChannels);
        info.AudioCodec = avcodec_get_name(par->codec_id);
        m.AStream = as;
        m.OutRate = par->sample_rate > 0 ? par->sample_rate : 48000;
    } else if (as == AVERROR_DECODER_NOT_FOUND) {
        info.Warning = path + ": its sound is in a codec this FFmpeg cannot decode, and is read as silence";
    }

    // Nothing stays open until the first read: a render of many clips holds only those it is at.
    m.Release();
    return std::unique_ptr<ClipReader>(new ClipReader(std::move(impl)));
}

MediaStatus ClipReader::ReadFrameInto(int64_t index, const PixelView& dst, bool highQuality, AudioBlock* audio) {
    Impl& m = *fImpl;
    if (index < 0 || index >= m.Info.FrameCount)
        return MediaStatus::Fail(m.Path, "frame " + std::to_string(index) + " out of range (the clip has " +
                                             std::to_string(m.Info.FrameCount) + " frames)");
    if (dst.Base == nullptr || dst.Width <= 0 || dst.Height <= 0 || dst.RowBytes < dst.Width * 4)
        return MediaStatus::Fail(m.Path, "invalid output buffer");
    if (MediaStatus s = m.PositionAt(m.Info.IsStill ? 0 : index); !s)
        return s;
    if (MediaStatus s = m.Scale(dst, highQuality); !s)
        return s;
    if (audio != nullptr) {
        const int64_t first = FrameSampleStart(index, m.Info.FrameRate, m.OutRate);
        const int64_t end = FrameSampleStart(index + 1, m.Info.FrameRate, m.OutRate);
        return ReadAudio(first, end - first, *audio);
    }
    return {};
}

MediaStatus ClipReader::ReadAudio(int64_t first, int64_t count, AudioBlock& audio) {
    Impl& m = *fImpl;
    const int channels = m.OutChannels;
    audio.SampleRate = m.OutRate;
    audio.Channels = channels;
    audio.Samples.assign(size_t(std::max<int64_t>(count, 0)) * size_t(channels), 0.0f);
    if (m.AStream < 0 || count <= 0)
        return {};
    if (!m.AOpened) {
        if (MediaStatus s = m.OpenAudio(); !s) {
            m.AStream = -1;   // read as silence from now on, but say so once
            m.Info.HasAudio = false;
            m.Info.Warning = s.Error;
            return {};
        }
    }
    const int64_t bufEnd = m.ABufStart + int64_t(m.ABuf.size()) / channels;
    // Near the start of a clip whose sound was never read, decoding begins where the demuxer stands
    // (the first chunk places itself by its time); anywhere else, a seek.
    const bool fromHere = !m.APositioned && m.AAtStart && first <= m.OutRate;
    if (!fromHere && (!m.APositioned || first < m.ABufStart || first > bufEnd + m.OutRate)) {
        if (MediaStatus s = m.SeekAudio(first); !s)
            return s;
    }
    const int64_t want = first + count;
    while (!m.ADecodeDone || m.Swr) {
        if (m.APositioned && m.ABufStart + int64_t(m.ABuf.size()) / channels >= want)
            break;
        if (MediaStatus s = m.DecodeAudioChunk(); !s)
            return s;
        // Keep the buffer from growing while skipping forward.
        if (m.APositioned && m.ABufStart < first) {
            const int64_t drop = std::min<int64_t>(first - m.ABufStart, int64_t(m.ABuf.size()) / channels);
            m.ABuf.erase(m.ABuf.begin(), m.ABuf.begin() + channels * drop);
            m.ABufStart += drop;
        }
    }
    if (!m.APositioned)
        return {};
    const int64_t from = std::max(first, m.ABufStart);
    const int64_t to = std::min(want, m.ABufStart + int64_t(m.ABuf.size()) / channels);
    if (to > from)
        std::memcpy(audio.Samples.data() + channels * (from - first), m.ABuf.data() + channels * (from - m.ABufStart),
                    size_t(to - from) * size_t(channels) * sizeof(float));
    return {};
}

void ClipReader::Release() { fImpl->Release(); }
const ClipInfo& ClipReader::Info() const { return fImpl->Info; }
int64_t ClipReader::FrameCount() const { return fImpl->Info.FrameCount; }
Rational ClipReader::FrameRate() const { return fImpl->Info.FrameRate; }
int ClipReader::Width() const { return fImpl->Info.Width; }
int ClipReader::Height() const { return fImpl->Info.Height; }
int ClipReader::DisplayWidth() const { return fImpl->Info.DisplayWidth; }
int ClipReader::DisplayHeight() const { return fImpl->Info.DisplayHeight; }
int ClipReader::SampleRate() const { return fImpl->OutRate; }
bool ClipReader::HasAudio() const { return fImpl->AStream >= 0; }
uint64_t ClipReader::SourceChannelLayout() const { return HasAudio() ? fImpl->Info.AudioLayout : kStereoLayout; }
uint64_t ClipReader::ChannelLayout() const { return fImpl->OutLayout; }
const std::string& ClipReader::Name() const { return fImpl->Path; }

void ClipReader::SetChannelLayout(uint64_t layout) {
    Impl& m = *fImpl;
    if (layout == 0 || layout == m.OutLayout)
        return;
    m.OutLayout = layout;
    m.OutChannels = LayoutChannels(layout);
    m.AAtStart = m.AAtStart && !m.AOpened;
    m.Swr.reset();
    m.ABuf.clear();
    m.APositioned = false;   // the next read seeks and mixes afresh
}

void ClipReader::SetSampleRate(int rate) {
    Impl& m = *fImpl;
    if (rate <= 0 || rate == m.OutRate)
        return;
    m.OutRate = rate;
    m.AAtStart = m.AAtStart && !m.AOpened;
    m.Swr.reset();
    m.ABuf.clear();
    m.APositioned = false;   // the next read seeks and resamples afresh
}

}  // namespace bw::media
