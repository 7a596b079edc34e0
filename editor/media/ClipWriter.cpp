// Clip writing on libavformat/libavcodec: swscale turns ARGB into the encoder's pixel format,
// swresample and a FIFO turn per-frame audio blocks into the encoder's fixed-size frames.
#include "editor/media/ClipWriter.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <vector>

#include "editor/media/FFmpeg_p.h"
#include "editor/media/Picture_p.h"

namespace bw::media {

using namespace detail;
namespace fs = std::filesystem;

namespace {

bool EndsWith(const std::string& s, const char* tail) {
    const size_t n = std::char_traits<char>::length(tail);
    if (s.size() < n)
        return false;
    for (size_t i = 0; i < n; i++)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i])
            return false;
    return true;
}

// A unique hidden name in `dir` for a file or folder that becomes `name` when done.
fs::path TemporaryName(const fs::path& dir, const std::string& name) {
    static std::atomic<int> counter{0};
    return dir / ("." + name + ".part-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
}

// Our encoders' settings, used when the encoder is the kind's own: -crf and -preset take the place
// of the defaults. Options are FFmpeg's private options of the encoder, as text.
struct EncoderOption {
    const char* Key = nullptr;
    const char* Value = nullptr;
};
struct Tuning {
    int Crf = -1;                  // constant quality when -crf is not given; -1: none set
    const char* Preset = nullptr;  // speed preset when -preset is not given
    bool ConstantQuality = false;  // no bit rate: the crf alone decides
    EncoderOption Options[3] = {};
    EncoderOption LargeOptions[2] = {};  // large pictures only
    int64_t LargeFrom = 0;               // samples a picture from which LargeOptions apply; 0: IsLargePicture
};
// From 4K UHD on, x264's frame threads and look-ahead hold about 45 MB a frame in flight: slice
// threads and a short look-ahead keep its memory near half at the same speed and size.
constexpr Tuning cX264 = {.Crf = 20,
                          .Preset = "veryfast",
                          .LargeOptions = {{"x264-params", "rc-lookahead=4:sliced-threads=1"}},
                          .LargeFrom = int64_t(3840) * 2160};
// Each frame held back for the look-ahead of a large picture costs over 100 MB.
constexpr Tuning cVp9 = {.Crf = 32,
                         .ConstantQuality = true,
                         .Options = {{"deadline", "good"}, {"cpu-used", "5"}, {"row-mt", "1"}},
                         .LargeOptions = {{"lag-in-frames", "0"}, {"auto-alt-ref", "0"}}};
// Large pictures only: constant quality on the scale VP9 uses, no look-ahead.
constexpr Tuning cAv1 = {
    .Crf = 32, .ConstantQuality = true, .Options = {{"cpu-used", "6"}, {"row-mt", "1"}, {"lag-in-frames", "0"}}};

struct KindRow {
    OutputKind Kind;
    const char* Name;
    const char* Muxer;
    const char* VideoEncoder;
    const char* AudioEncoder;  // null: no sound track
    Tuning Tune = {};
    int AudioBitrate = 192000;  // bits a second when -b:a is not given
    // For large pictures, where they differ. libvpx sets aside and clears a token buffer of 12 KB
    // a macroblock whatever the options (1.6 GB for 7680 x 4320, 3.2 GB for 8192 x 8192); libaom
    // needs a fraction of that, and WebM holds both codecs.
    const char* LargeName = nullptr;
    const char* LargeVideoEncoder = nullptr;
    Tuning LargeTune = {};
};
constexpr KindRow cKinds[] = {
    {OutputKind::Mp4, "MP4 (H.264, AAC)", "mp4", "libx264", "aac", cX264},
    {OutputKind::Mov, "QuickTime (H.264, AAC)", "mov", "libx264", "aac", cX264},
    {OutputKind::Mkv, "Matroska (H.264, AAC)", "matroska", "libx264", "aac", cX264},
    {OutputKind::WebM, "WebM (VP9, Opus)", "webm", "libvpx-vp9", "libopus", cVp9, 128000, "WebM (AV1, Opus)", "libaom-av1",
     cAv1},
    {OutputKind::PngSequence, "PNG sequence", "image2", "png", nullptr},
    {OutputKind::Y4m, "YUV4MPEG2", "yuv4mpegpipe", "wrapped_avframe", nullptr},
    {OutputKind::Null, "no output", nullptr, nullptr, nullptr},
};
static_assert(std::size(cKinds) == size_t(OutputKind::Null) + 1);

const KindRow& Row(OutputKind kind) { return cKinds[size_t(kind)]; }

// The Vorbis channel orders for 1 to 8 channels, the only ones Opus's surround mapping takes.
constexpr uint64_t cVorbisLayouts[] = {
    AV_CH_LAYOUT_MONO,
    AV_CH_LAYOUT_STEREO,
    AV_CH_LAYOUT_SURROUND,
    AV_CH_LAYOUT_QUAD,
    AV_CH_LAYOUT_5POINT0_BACK,
    AV_CH_LAYOUT_5POINT1_BACK,
    AV_CH_LAYOUT_6POINT1,
    AV_CH_LAYOUT_7POINT1,
};

}  // namespace

MediaStatus OutputKindForPath(const std::string& path, OutputKind& kind) {
    if (path == "null") {
        kind = OutputKind::Null;
        return {};
    }
    if (path == "-") {  // standard output: Matroska unless the writer is told YUV4MPEG2
        kind = OutputKind::Mkv;
        return {};
    }
    if (path.find('%') != std::string::npos) {
        if (!EndsWith(path, ".png") || !HasFramePattern(path))
            return MediaStatus::Fail(path, "an image sequence needs one frame number pattern and .png, e.g. frames/%05d.png");
        kind = OutputKind::PngSequence;
        return {};
    }
    static const std::pair<const char*, OutputKind> cExtensions[] = {
        {".mp4", OutputKind::Mp4},
        {".mov", OutputKind::Mov},
        {".mkv", OutputKind::Mkv},
        {".webm", OutputKind::WebM},
        {".y4m", OutputKind::Y4m},
    };
    for (const auto& [ext, k] : cExtensions)
        if (EndsWith(path, ext)) {
            kind = k;
            return {};
        }
    return MediaStatus::Fail(path, "unknown output kind (use .mp4, .mov, .mkv, .webm, .y4m, a frames/%05d.png pattern or null)");
}

bool OutputExists(const std::string& path) {
    OutputKind kind;
    std::error_code ec;
    if (!OutputKindForPath(path, kind) || kind == OutputKind::Null)
        return false;
    if (kind != OutputKind::PngSequence)
        return fs::exists(fs::symlink_status(path, ec));
    const fs::path dir = fs::path(path).parent_path().empty() ? fs::path(".") : fs::path(path).parent_path();
    return fs::is_directory(dir, ec) && !fs::is_empty(dir, ec);
}

const char* OutputKindName(OutputKind kind, int width, int height) {
    const KindRow& row = Row(kind);
    return row.LargeName && IsLargePicture(width, height) ? row.LargeName : row.Name;
}
bool OutputHasAudio(OutputKind kind) { return Row(kind).AudioEncoder != nullptr; }

uint64_t WrittenLayout(OutputKind kind, const WriterSettings& settings) {
    const uint64_t in = settings.AudioLayout != 0 ? settings.AudioLayout : cStereoLayout;
    const int channels = settings.AudioChannels > 0 ? settings.AudioChannels : LayoutChannels(in);
    const char* encoder = settings.AudioCodec.empty() ? Row(kind).AudioEncoder : settings.AudioCodec.c_str();
    // libopus takes more than two channels only in the Vorbis order of their count (5.1 with back
    // channels, not side ones): side channels go to the back ones there.
    if (encoder != nullptr && std::string(encoder) == "libopus" && channels > 2 &&
        channels <= int(std::size(cVorbisLayouts)))
        return cVorbisLayouts[channels - 1];
    const uint64_t layout = channels == LayoutChannels(in) ? in : DefaultLayout(channels);
    // AAC's 5.0 and 5.1 have back channels; with side ones FFmpeg writes a channel setup of its own
    // that players know less well (ffprobe: "unknown"). The side pair becomes the back pair there.
    if (encoder != nullptr && std::string(encoder) == "aac") {
        if (layout == AV_CH_LAYOUT_5POINT0) return AV_CH_LAYOUT_5POINT0_BACK;
        if (layout == AV_CH_LAYOUT_5POINT1) return AV_CH_LAYOUT_5POINT1_BACK;
    }
    return layout;
}

struct ClipWriter::Impl {
    std::string Path;
    OutputKind Kind = OutputKind::Null;
    WriterSettings Settings;
    bool IsOpen = false;
    fs::path Temp;      // file, or folder for a PNG sequence
    fs::path FinalDir;  // PNG sequence: destination folder
    int64_t Frames = 0;

    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> Out{nullptr, [](AVFormatContext* c) {
                                                                         if (c != nullptr && !(c->oformat->flags & AVFMT_NOFILE))
                                                                             avio_closep(&c->pb);
                                                                         avformat_free_context(c);
                                                                     }};
    CodecPtr VEnc, AEnc;
    AVStream* VSt = nullptr;
    AVStream* ASt = nullptr;
    FramePtr VFrame, AFrame;
    PacketPtr Pkt;
    SwsPtr Sws;
    SwrPtr Swr;
    FifoPtr Fifo;
    int64_t AudioPts = 0;  // samples sent to the audio encoder
    int64_t AudioIn = 0;   // samples received at the input rate
    std::vector<float> Silence;

    MediaStatus Fail(const std::string& problem) { return MediaStatus::Fail(Path, problem); }
    uint64_t InLayout() const { return Settings.AudioLayout != 0 ? Settings.AudioLayout : cStereoLayout; }
    // "out.mp4: no space left on the device while writing it"
    MediaStatus WriteFailure(int err) { return Fail(UserErrorText(err) + " while writing it"); }
    MediaStatus OpenVideo(const KindRow& row);
    MediaStatus OpenAudio(const KindRow& row);
    MediaStatus Drain(AVCodecContext* enc, AVStream* st);
    MediaStatus EncodeAudio(bool flush);
    MediaStatus Close();
    void Discard();
    MediaStatus CheckAudio(const AudioBlock* audio);
    MediaStatus SendVideo(AVFrame* vf);
    MediaStatus WriteAudio(const AudioBlock* audio);
    MediaStatus Refuse(MediaStatus s);
};

MediaStatus ClipWriter::Impl::Drain(AVCodecContext* enc, AVStream* st) {
    for (;;) {
        int err = avcodec_receive_packet(enc, Pkt.get());
        if (err == AVERROR(EAGAIN) || err == AVERROR_EOF)
            return {};
        if (err < 0)
            return Fail(std::string("encoding failed (") + UserErrorText(err) + ")");
        av_packet_rescale_ts(Pkt.get(), enc->time_base, st->time_base);
        Pkt->stream_index = st->index;
        err = av_interleaved_write_frame(Out.get(), Pkt.get());
        if (err < 0)
            return WriteFailure(err);
    }
}

namespace {
const char* DefaultVideoEncoder(const KindRow& row, int width, int height) {
    return row.LargeVideoEncoder && IsLargePicture(width, height) ? row.LargeVideoEncoder : row.VideoEncoder;
}

void ApplyTuning(AVCodecContext* c, const Tuning& tune, const WriterSettings& settings) {
    if (tune.ConstantQuality)
        c->bit_rate = 0;
    if (tune.Preset != nullptr)
        av_opt_set(c->priv_data, "preset", settings.Preset.empty() ? tune.Preset : settings.Preset.c_str(), 0);
    if (tune.Crf >= 0)
        av_opt_set_int(c->priv_data, "crf", settings.Crf >= 0 ? settings.Crf : tune.Crf, 0);
    for (const EncoderOption& o : tune.Options)
        if (o.Key != nullptr)
            av_opt_set(c->priv_data, o.Key, o.Value, 0);
    const int64_t samples = int64_t(settings.Width) * settings.Height;
    if (tune.LargeFrom > 0 ? samples >= tune.LargeFrom : IsLargePicture(settings.Width, settings.Height))
        for (const EncoderOption& o : tune.LargeOptions)
            if (o.Key != nullptr)
                av_opt_set(c->priv_data, o.Key, o.Value, 0);
}
}  // namespace

MediaStatus ClipWriter::Impl::OpenVideo(const KindRow& row) {
    const std::string ours = DefaultVideoEncoder(row, Settings.Width, Settings.Height);
    const std::string name = Settings.VideoCodec.empty() || Kind == OutputKind::PngSequence || Kind == OutputKind::Y4m
                                 ? ours
                                 : Settings.VideoCodec;
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (codec == nullptr || codec->type != AVMEDIA_TYPE_VIDEO)
        return Fail("this FFmpeg has no " + name + " video encoder");
    if (avformat_query_codec(Out->oformat, codec->id, FF_COMPLIANCE_NORMAL) != 1)
        return Fail(std::string(OutputKindName(Kind, Settings.Width, Settings.Height)) + " cannot hold " + name + " video");
    VEnc.reset(avcodec_alloc_context3(codec));
    if (!VEnc)
        return Fail("out of memory");
    AVCodecContext* c = VEnc.get();
    const Rational rate = Settings.FrameRate;
    c->width = Settings.Width;
    c->height = Settings.Height;
    c->time_base = AVRational{rate.Den, rate.Num};
    c->framerate = AVRational{rate.Num, rate.Den};
    c->sample_aspect_ratio = AVRational{1, 1};
    c->thread_count = Settings.Threads;
    if (Kind == OutputKind::PngSequence) {
        c->pix_fmt = AV_PIX_FMT_RGB24;
    } else {
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        if (!Settings.PixelFormat.empty()) {
            c->pix_fmt = av_get_pix_fmt(Settings.PixelFormat.c_str());
            const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(c->pix_fmt);
            bool supported = codec->pix_fmts == nullptr;
            for (const AVPixelFormat* f = codec->pix_fmts; f != nullptr && *f != AV_PIX_FMT_NONE; f++)
                supported |= *f == c->pix_fmt;
            if (c->pix_fmt == AV_PIX_FMT_NONE || d == nullptr || (d->flags & AV_PIX_FMT_FLAG_RGB) || !supported)
                return Fail("the " + name + " encoder does not take the pixel format " + Settings.PixelFormat);
        }
        // BT.709 from 720 lines up, BT.601 below, limited range: what players assume untagged.
        const bool hd = Settings.Height >= 720;
        c->colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
        c->color_primaries = hd ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
        c->color_trc = hd ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
        c->color_range = AVCOL_RANGE_MPEG;
        c->gop_size = std::max(1, int(2 * rate.ToDouble() + 0.5));  // a keyframe every 2 s keeps seeking cheap
    }
    if (name != ours) {
        // Another encoder: the options given, in FFmpeg's meaning; an option it lacks is an error.
        if (Settings.Crf >= 0 && av_opt_set_int(c->priv_data, "crf", Settings.Crf, 0) < 0)
            return Fail("the " + name + " encoder has no -crf");
    } else {
        ApplyTuning(c, ours == row.VideoEncoder ? row.Tune : row.LargeTune, Settings);
    }
    if (!Settings.Preset.empty() && av_opt_set(c->priv_data, "preset", Settings.Preset.c_str(), 0) < 0)
        return Fail("the " + name + " encoder has no -preset " + Settings.Preset);
    if (Settings.VideoBitrate > 0)
        c->bit_rate = Settings.VideoBitrate;
    // The HEVC and SVT-AV1 libraries report to standard error on their own: errors only.
    if (name == "libx265")
        av_opt_set(c->priv_data, "x265-params", "log-level=error", 0);
    setenv("SVT_LOG", "1", 0);
    if (Out->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int err = avcodec_open2(c, codec, nullptr);
    if (err < 0)
        return Fail("cannot open the " + name + " encoder (" + UserErrorText(err) + ")");
    VSt = avformat_new_stream(Out.get(), nullptr);
    if (VSt == nullptr || avcodec_parameters_from_context(VSt->codecpar, c) < 0)
        return Fail("cannot add the video stream");
    VSt->time_base = c->time_base;
    VSt->avg_frame_rate = c->framerate;
    VSt->sample_aspect_ratio = c->sample_aspect_ratio;

    VFrame.reset(av_frame_alloc());
    if (!VFrame)
        return Fail("out of memory");
    Sws.reset(sws_getContext(Settings.Width, Settings.Height, AV_PIX_FMT_ARGB, Settings.Width, Settings.Height,
                             c->pix_fmt, SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    if (!Sws)
        return Fail("cannot set up the colour conversion");
    if (c->pix_fmt != AV_PIX_FMT_RGB24 && c->pix_fmt != AV_PIX_FMT_ARGB) {
        const int* coeffs = sws_getCoefficients(c->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
        // Full-range RGB in, limited-range YUV with the tagged matrix out.
        sws_setColorspaceDetails(Sws.get(), coeffs, 1, coeffs, 0, 0, 1 << 16, 1 << 16);
    }
    return {};
}

MediaStatus ClipWriter::Impl::OpenAudio(const KindRow& row) {
    const std::string name = Settings.AudioCodec.empty() ? row.AudioEncoder : Settings.AudioCodec;
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (codec == nullptr || codec->type != AVMEDIA_TYPE_AUDIO)
        return Fail("this FFmpeg has no " + name + " audio encoder");
    if (avformat_query_codec(Out->oformat, codec->id, FF_COMPLIANCE_NORMAL) != 1)
        return Fail(std::string(OutputKindName(Kind)) + " cannot hold " + name + " audio");
    AEnc.reset(avcodec_alloc_context3(codec));
    if (!AEnc)
        return Fail("out of memory");
    AVCodecContext* c = AEnc.get();
    // The input rate when the encoder takes it, else 48 kHz (Opus takes nothing else).
    const int wanted = Settings.AudioRate > 0 ? Settings.AudioRate : Settings.SampleRate;
    int rate = cDefaultSampleRate;
    for (const int* r = codec->supported_samplerates; r != nullptr && *r != 0; r++)
        if (*r == wanted)
            rate = wanted;
    if (codec->supported_samplerates == nullptr)
        rate = wanted;
    if (Settings.AudioRate > 0 && rate != Settings.AudioRate)
        return Fail("the " + name + " encoder does not take " + std::to_string(Settings.AudioRate) + " Hz");
    AVSampleFormat format = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    for (const AVSampleFormat* f = codec->sample_fmts; f != nullptr && *f != AV_SAMPLE_FMT_NONE; f++)
        if (*f == AV_SAMPLE_FMT_FLT || *f == AV_SAMPLE_FMT_FLTP)
            format = *f;
    c->sample_rate = rate;
    c->sample_fmt = format;
    const uint64_t in = InLayout();
    const uint64_t layout = WrittenLayout(Kind, Settings);
    const int channels = LayoutChannels(layout);
    if (av_channel_layout_from_mask(&c->ch_layout, layout) < 0)
        return Fail("cannot write " + std::to_string(channels) + " channels of sound");
    c->bit_rate = Settings.AudioBitrate > 0 ? Settings.AudioBitrate : row.AudioBitrate;
    c->time_base = AVRational{1, rate};
    if (Out->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int err = avcodec_open2(c, codec, nullptr);
    if (err < 0)
        return Fail("cannot open the " + name + " encoder" + (channels > 2 ? " for " + LayoutName(layout) + " sound" : "") +
                    " (" + UserErrorText(err) + ")");
    ASt = avformat_new_stream(Out.get(), nullptr);
    if (ASt == nullptr || avcodec_parameters_from_context(ASt->codecpar, c) < 0)
        return Fail("cannot add the audio stream");
    ASt->time_base = c->time_base;

    AVChannelLayout blocks{};
    av_channel_layout_from_mask(&blocks, in);
    SwrContext* raw = nullptr;
    err = swr_alloc_set_opts2(&raw, &c->ch_layout, format, rate, &blocks, AV_SAMPLE_FMT_FLT, Settings.SampleRate, 0, nullptr);
    if (err >= 0)
        err = swr_init(raw);
    if (err < 0) {
        swr_free(&raw);
        return Fail("cannot set up the audio conversion (" + UserErrorText(err) + ")");
    }
    Swr.reset(raw);
    Fifo.reset(av_audio_fifo_alloc(format, c->ch_layout.nb_channels, std::max(c->frame_size, 1024) * 4));
    AFrame.reset(av_frame_alloc());
    if (!Fifo || !AFrame)
        return Fail("out of memory");
    return {};
}

// Sends whole encoder frames from the FIFO; with flush also the last, short one.
MediaStatus ClipWriter::Impl::EncodeAudio(bool flush) {
    AVCodecContext* c = AEnc.get();
    const int frameSize = c->frame_size > 0 ? c->frame_size : 1024;
    const bool shortLastFrame = (c->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
    while (av_audio_fifo_size(Fifo.get()) >= frameSize || (flush && av_audio_fifo_size(Fifo.get()) > 0)) {
        const int available = std::min(av_audio_fifo_size(Fifo.get()), frameSize);
        AVFrame* f = AFrame.get();
        av_frame_unref(f);
        f->nb_samples = shortLastFrame ? available : frameSize;
        f->format = c->sample_fmt;
        f->sample_rate = c->sample_rate;
        av_channel_layout_copy(&f->ch_layout, &c->ch_layout);
        if (av_frame_get_buffer(f, 0) < 0)
            return Fail("out of memory");
        if (available < f->nb_samples)
            av_samples_set_silence(f->extended_data, 0, f->nb_samples, c->ch_layout.nb_channels, c->sample_fmt);
        if (av_audio_fifo_read(Fifo.get(), reinterpret_cast<void**>(f->extended_data), available) < available)
            return Fail("audio buffering failed");
        f->pts = AudioPts;
        AudioPts += f->nb_samples;
        int err = avcodec_send_frame(c, f);
        if (err < 0)
            return Fail("audio encoding failed (" + UserErrorText(err) + ")");
        if (MediaStatus s = Drain(c, ASt); !s)
            return s;
    }
    return {};
}

MediaStatus ClipWriter::Impl::Close() {
    if (Kind == OutputKind::Null)
        return {};
    if (AEnc) {
        // Whatever the resampler still holds, then the short last frame, then the encoder's delay.
        const int room = swr_get_out_samples(Swr.get(), 0);
        if (room > 0) {
            uint8_t** planes = nullptr;
            int lines = 0;
            if (av_samples_alloc_array_and_samples(&planes, &lines, AEnc->ch_layout.nb_channels, room, AEnc->sample_fmt, 0) < 0)
                return Fail("out of memory");
            const int n = swr_convert(Swr.get(), planes, room, nullptr, 0);
            if (n > 0)
                av_audio_fifo_write(Fifo.get(), reinterpret_cast<void**>(planes), n);
            av_freep(&planes[0]);
            av_freep(&planes);
        }
        if (MediaStatus s = EncodeAudio(true); !s)
            return s;
        avcodec_send_frame(AEnc.get(), nullptr);
        if (MediaStatus s = Drain(AEnc.get(), ASt); !s)
            return s;
    }
    avcodec_send_frame(VEnc.get(), nullptr);
    if (MediaStatus s = Drain(VEnc.get(), VSt); !s)
        return s;
    int err = av_write_trailer(Out.get());
    if (err < 0)
        return WriteFailure(err);
    if (!(Out->oformat->flags & AVFMT_NOFILE)) {
        err = avio_closep(&Out->pb);
        if (err < 0)
            return WriteFailure(err);
    }
    Out.reset();
    return {};
}

void ClipWriter::Impl::Discard() {
    Out.reset();
    VEnc.reset();
    AEnc.reset();
    std::error_code ec;
    if (!Temp.empty())
        fs::remove_all(Temp, ec);
    Temp.clear();
    IsOpen = false;
}

ClipWriter::ClipWriter() : fImpl(std::make_unique<Impl>()) {}
ClipWriter::~ClipWriter() { Abort(); }

MediaStatus ClipWriter::Open(const std::string& path, const WriterSettings& settings) {
    QuietFFmpegLog();
    Abort();
    fImpl = std::make_unique<Impl>();
    Impl& m = *fImpl;
    m.Path = path;
    m.Settings = settings;
    if (MediaStatus s = OutputKindForPath(path, m.Kind); !s)
        return s;
    const bool toStdout = path == "-";
    if (toStdout && settings.StdoutY4m)
        m.Kind = OutputKind::Y4m;
    if (settings.Width <= 0 || settings.Height <= 0)
        return m.Fail("invalid frame size " + std::to_string(settings.Width) + "x" + std::to_string(settings.Height));
    if (settings.FrameRate.Num <= 0 || settings.FrameRate.Den <= 0)
        return m.Fail("invalid frame rate");
    if (settings.SampleRate <= 0 || settings.SampleRate > 384000)
        return m.Fail("invalid sample rate " + std::to_string(settings.SampleRate));
    if (m.Kind != OutputKind::PngSequence && m.Kind != OutputKind::Null &&
        (settings.Width % 2 != 0 || settings.Height % 2 != 0))
        return m.Fail("frame size " + std::to_string(settings.Width) + "x" + std::to_string(settings.Height) +
                      " must be even for " + OutputKindName(m.Kind));
    if (m.Kind == OutputKind::Null) {
        m.IsOpen = true;
        return {};
    }

    // Where the temporary output goes.
    const fs::path target(path);
    std::error_code ec;
    std::string tempTarget;
    if (toStdout) {
        tempTarget = "pipe:1";  // written as it comes: nothing to rename, nothing left on failure
    } else if (m.Kind == OutputKind::PngSequence) {
        m.FinalDir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        const fs::path parent = m.FinalDir.parent_path().empty() ? fs::path(".") : m.FinalDir.parent_path();
        if (!fs::is_directory(parent, ec))
            return m.Fail("folder " + parent.string() + " does not exist");
        m.Temp = TemporaryName(parent, m.FinalDir.filename().string() == "." ? "frames" : m.FinalDir.filename().string());
        if (!fs::create_directory(m.Temp, ec))
            return m.Fail("cannot create a temporary folder in " + parent.string() + " (" + UserErrorText(AVERROR(ec.value())) + ")");
        tempTarget = (m.Temp / target.filename()).string();
    } else {
        const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        if (!fs::is_directory(dir, ec))
            return m.Fail("folder " + dir.string() + " does not exist");
        if (fs::is_directory(target, ec))
            return m.Fail("is a folder");
        m.Temp = TemporaryName(dir, target.filename().string());
        tempTarget = m.Temp.string();
    }
    m.IsOpen = true;  // from here on a failure removes the temporary output

    const KindRow& row = Row(m.Kind);
    AVFormatContext* oc = nullptr;
    int err = avformat_alloc_output_context2(&oc, nullptr, row.Muxer, tempTarget.c_str());
    if (err < 0 || oc == nullptr) {
        Abort();
        return MediaStatus::Fail(path, "cannot set up the " + std::string(row.Muxer) + " writer");
    }
    m.Out.reset(oc);
    m.Pkt.reset(av_packet_alloc());
    if (!m.Pkt) {
        Abort();
        return MediaStatus::Fail(path, "out of memory");
    }
    MediaStatus s = m.OpenVideo(row);
    if (s && row.AudioEncoder != nullptr && settings.Audio)
        s = m.OpenAudio(row);
    if (s && !(oc->oformat->flags & AVFMT_NOFILE)) {
        err = avio_open(&oc->pb, tempTarget.c_str(), AVIO_FLAG_WRITE);
        if (err < 0)
            s = m.Fail("cannot create the file (" + UserErrorText(err) + ")");
    }
    if (s) {
        err = avformat_write_header(oc, nullptr);
        if (err < 0)
            s = m.WriteFailure(err);
    }
    if (!s)
        Abort();
    return s;
}

MediaStatus ClipWriter::WriteFrame(const PixelView& frame, const AudioBlock* audio) {
    Impl& m = *fImpl;
    if (!m.IsOpen)
        return MediaStatus::Fail(m.Path, "the writer is not open");
    if (frame.Base == nullptr || frame.Width != m.Settings.Width || frame.Height != m.Settings.Height ||
        frame.RowBytes < frame.Width * 4)
        return m.Refuse(m.Fail("frame " + std::to_string(m.Frames) + " is " + std::to_string(frame.Width) + "x" +
                               std::to_string(frame.Height) + ", the output is " + std::to_string(m.Settings.Width) +
                               "x" + std::to_string(m.Settings.Height)));
    if (MediaStatus s = m.CheckAudio(audio); !s)
        return m.Refuse(s);
    if (m.Kind != OutputKind::Null) {
        AVCodecContext* c = m.VEnc.get();
        AVFrame* vf = m.VFrame.get();
        av_frame_unref(vf);  // the encoder may still hold the previous picture
        vf->format = c->pix_fmt;
        vf->width = c->width;
        vf->height = c->height;
        if (av_frame_get_buffer(vf, 0) < 0)
            return m.Refuse(m.Fail("out of memory"));
        const uint8_t* src[4] = {frame.Base, nullptr, nullptr, nullptr};
        const int srcStride[4] = {frame.RowBytes, 0, 0, 0};
        sws_scale(m.Sws.get(), src, srcStride, 0, frame.Height, vf->data, vf->linesize);
        if (MediaStatus s = m.SendVideo(vf); !s)
            return m.Refuse(s);
    }
    return m.Refuse(m.WriteAudio(audio));
}

MediaStatus ClipWriter::WritePicture(const AVFrame* picture, const AudioBlock* audio) {
    Impl& m = *fImpl;
    if (!m.IsOpen)
        return MediaStatus::Fail(m.Path, "the writer is not open");
    const PictureFormat format = Format();
    if (picture == nullptr || picture->width != format.Width || picture->height != format.Height ||
        (format.PixelFormat >= 0 && picture->format != format.PixelFormat &&
         !(m.VEnc && picture->format == m.VEnc->pix_fmt)))
        return m.Refuse(m.Fail("picture " + std::to_string(m.Frames) + " is not in the output's format and size"));
    if (MediaStatus s = m.CheckAudio(audio); !s)
        return m.Refuse(s);
    if (m.Kind != OutputKind::Null) {
        AVFrame* vf = m.VFrame.get();
        av_frame_unref(vf);
        if (av_frame_ref(vf, picture) < 0)
            return m.Refuse(m.Fail("out of memory"));
        if (MediaStatus s = m.SendVideo(vf); !s)
            return m.Refuse(s);
    }
    return m.Refuse(m.WriteAudio(audio));
}

PictureFormat ClipWriter::Format() const {
    const Impl& m = *fImpl;
    PictureFormat f;
    f.Width = m.Settings.Width;
    f.Height = m.Settings.Height;
    if (const AVCodecContext* c = m.VEnc.get()) {
        bool full = c->color_range == AVCOL_RANGE_JPEG;
        f.PixelFormat = PlainFormat(c->pix_fmt, full);
        f.FullRange = full;
        f.Bt709 = c->colorspace == AVCOL_SPC_BT709;
    } else if (m.Kind == OutputKind::Null) {
        // No encoder: the format asked for, else any; the matrix an encoder would tag.
        f.PixelFormat = m.Settings.PixelFormat.empty() ? -1 : int(av_get_pix_fmt(m.Settings.PixelFormat.c_str()));
        f.Bt709 = m.Settings.Height >= 720;
    }
    return f;
}

MediaStatus ClipWriter::Impl::CheckAudio(const AudioBlock* audio) {
    const int channels = LayoutChannels(InLayout());
    if (audio != nullptr && (audio->Channels != channels || audio->SampleRate != Settings.SampleRate))
        return Fail("audio of frame " + std::to_string(Frames) + " is " + std::to_string(audio->Channels) +
                    " channels at " + std::to_string(audio->SampleRate) + " Hz, the output takes " +
                    LayoutName(InLayout()) + " at " + std::to_string(Settings.SampleRate) + " Hz");
    return {};
}

// Sends the next picture to the encoder, stamped with its place and the output's colour.
MediaStatus ClipWriter::Impl::SendVideo(AVFrame* vf) {
    AVCodecContext* c = VEnc.get();
    vf->colorspace = c->colorspace;
    vf->color_range = c->color_range;
    vf->color_primaries = c->color_primaries;
    vf->color_trc = c->color_trc;
    vf->pts = Frames;
    const int err = avcodec_send_frame(c, vf);
    if (err < 0)
        return Fail("video encoding failed (" + UserErrorText(err) + ")");
    return Drain(c, VSt);
}

// The frame's share of the sound (silence for a null block), then the frame counts as written.
MediaStatus ClipWriter::Impl::WriteAudio(const AudioBlock* audio) {
    if (AEnc && Kind != OutputKind::Null) {
        const int channels = LayoutChannels(InLayout());
        // This frame's share of the input timeline, so that silence for missing blocks keeps sync.
        const int64_t end = FrameSampleStart(Frames + 1, Settings.FrameRate, Settings.SampleRate);
        const float* samples = nullptr;
        int64_t count = 0;
        if (audio != nullptr) {
            samples = audio->Samples.data();
            count = audio->FrameCount();
        } else {
            count = std::max<int64_t>(end - AudioIn, 0);
            Silence.assign(size_t(count) * size_t(channels), 0.0f);
            samples = Silence.data();
        }
        AudioIn += count;
        if (count > 0) {
            const int room = swr_get_out_samples(Swr.get(), int(count));
            uint8_t** planes = nullptr;
            int lines = 0;
            if (av_samples_alloc_array_and_samples(&planes, &lines, AEnc->ch_layout.nb_channels, std::max(room, 1), AEnc->sample_fmt, 0) < 0)
                return Fail("out of memory");
            const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(samples)};
            const int n = swr_convert(Swr.get(), planes, room, in, int(count));
            if (n > 0)
                av_audio_fifo_write(Fifo.get(), reinterpret_cast<void**>(planes), n);
            av_freep(&planes[0]);
            av_freep(&planes);
            if (n < 0)
                return Fail("audio conversion failed (" + UserErrorText(n) + ")");
            if (MediaStatus s = EncodeAudio(false); !s)
                return s;
        }
    }
    Frames++;
    return {};
}

// A failed write discards everything written so far.
MediaStatus ClipWriter::Impl::Refuse(MediaStatus s) {
    if (!s)
        Discard();
    return s;
}

MediaStatus ClipWriter::Finish() {
    Impl& m = *fImpl;
    if (!m.IsOpen)
        return MediaStatus::Fail(m.Path, "the writer is not open");
    if (m.Frames == 0) {
        Abort();
        return MediaStatus::Fail(m.Path, "no frames were written");
    }
    if (MediaStatus s = m.Close(); !s) {
        Abort();
        return s;
    }
    std::error_code ec;
    if (m.Kind == OutputKind::PngSequence) {
        fs::create_directories(m.FinalDir, ec);
        const std::string pattern = fs::path(m.Path).filename().string();
        std::vector<fs::path> older;
        for (const auto& entry : fs::directory_iterator(m.FinalDir, ec))
            if (MatchesSequence(pattern, entry.path().filename().string()) && !entry.is_directory())
                older.push_back(entry.path());
        for (const fs::path& file : older)
            fs::remove(file, ec);
        ec.clear();
        for (const auto& entry : fs::directory_iterator(m.Temp, ec)) {
            fs::rename(entry.path(), m.FinalDir / entry.path().filename(), ec);
            if (ec)
                break;
        }
    } else if (m.Kind != OutputKind::Null && m.Path != "-") {
        fs::rename(m.Temp, m.Path, ec);
    }
    if (ec) {
        const std::string problem = "cannot move the finished output into place (" + UserErrorText(AVERROR(ec.value())) + ")";
        Abort();
        return MediaStatus::Fail(m.Path, problem);
    }
    if (m.Kind == OutputKind::PngSequence)
        fs::remove_all(m.Temp, ec);
    m.Temp.clear();
    m.IsOpen = false;
    return {};
}

void ClipWriter::Abort() {
    if (fImpl)
        fImpl->Discard();
}

OutputKind ClipWriter::Kind() const { return fImpl->Kind; }
int64_t ClipWriter::FramesWritten() const { return fImpl->Frames; }
std::string ClipWriter::TemporaryPath() const { return fImpl->Temp.string(); }

}  // namespace bw::media
