// Clip reading on libavformat/libavcodec: one demuxer and decoder for the pictures and, opened on
// first use, a second one for the sound, so each side seeks and reads at its own pace. This file
// opens a clip and probes what it holds; ClipReaderVideo.cpp and ClipReaderAudio.cpp read it.
#include "editor/media/ClipReader.h"
#include "editor/media/Picture_p.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "editor/media/ClipReader_p.h"

namespace bw::media {

namespace {

// Picture demuxers: a file that holds one picture rather than a clip.
bool IsImageDemuxer(const AVInputFormat* f) {
    const std::string name = f != nullptr && f->name != nullptr ? f->name : "";
    return name == "image2" || (name.size() > 5 && name.compare(name.size() - 5, 5, "_pipe") == 0);
}

// A path the reader can take: an image sequence, or a regular file that is not empty. A clip is
// read more than once (probing, pictures and sound on their own): a pipe or a device would block
// or lose what the first reading took, so it is refused before it is opened.
MediaStatus CheckPath(const std::string& path) {
    std::error_code ec;
    if (IsSequencePattern(path))
        return {};
    const auto kind = std::filesystem::status(path, ec).type();
    if (kind == std::filesystem::file_type::not_found)
        return MediaStatus::Fail(path, "no such file");
    if (kind == std::filesystem::file_type::directory)
        return MediaStatus::Fail(path, "is a folder, not a media file");
    if (kind != std::filesystem::file_type::regular && kind != std::filesystem::file_type::unknown) {
        const char* what = kind == std::filesystem::file_type::fifo     ? "a pipe"
                           : kind == std::filesystem::file_type::socket ? "a socket"
                                                                        : "a device";
        return MediaStatus::Fail(path, std::string("is ") + what +
                                           ", not a file: clips are read more than once; save it to a file first");
    }
    if (kind == std::filesystem::file_type::regular && std::filesystem::file_size(path, ec) == 0 && !ec)
        return MediaStatus::Fail(path, "the file is empty");
    return {};
}

}  // namespace

// Opens the demuxer and decoder of the pictures again after Release (or after the probe at Open,
// which releases them too): a clip holds them only while it is being read.
MediaStatus ClipReader::Impl::Reopen() {
    if (MediaStatus s = OpenInput(Path, Video.Fmt, Options.SequenceRate); !s)
        return s;
    if (Video.Index >= int(Video.Fmt->nb_streams))
        return MediaStatus::Fail(Path, "the file changed since it was opened");
    for (unsigned i = 0; i < Video.Fmt->nb_streams; i++)
        if (int(i) != Video.Index)
            Video.Fmt->streams[i]->discard = AVDISCARD_ALL;
    // One thread for a still: frame threads would hold its one picture back until the file ends.
    if (MediaStatus s = OpenDecoder(Path, Video.Fmt->streams[Video.Index], Info.IsStill ? 1 : Options.Threads, Video.Dec); !s)
        return s;
    Video.Pkt.reset(av_packet_alloc());
    Current.reset(av_frame_alloc());
    Pending.reset(av_frame_alloc());
    if (!Video.Pkt || !Current || !Pending)
        return MediaStatus::Fail(Path, "out of memory");
    return {};
}

// Drops everything a read built (demuxers, decoders, pictures, converters, buffered sound); the
// probe's Info stays, and the next read opens the file again.
void ClipReader::Impl::Release() {
    Close(Video);
    Current.reset();
    Pending.reset();
    Sws.reset();
    Turned = VideoFrame{};
    if (Tone)
        Tone = std::make_unique<ToneMapper>();
    VSought = HaveCurrent = HavePending = false;
    CurrentIndex = PendingIndex = -1;
    Close(Audio);
    AFrame.reset();
    Swr.reset();
    ABuf = std::vector<float>{};
    ABufStart = 0;
    AOpened = APositioned = false;
    AAtStart = true;
}

// Picks the video stream, opens its decoder and reads the picture's size, shape, turn and colours.
// Cover art (an attached picture, as music files carry) is no video stream: a stream of moving
// pictures is taken before it, and a file with only cover art is a still that lasts as long as its
// sound (`cover`).
MediaStatus ClipReader::Impl::ProbeVideo(bool& cover) {
    int vs = av_find_best_stream(Video.Fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const auto isCover = [this](int i) { return (Video.Fmt->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0; };
    if (vs >= 0 && isCover(vs))
        for (unsigned i = 0; i < Video.Fmt->nb_streams; i++)
            if (Video.Fmt->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !isCover(int(i))) {
                vs = int(i);
                break;
            }
    if (vs < 0)
        return MediaStatus::Fail(Path, "no video stream");
    cover = isCover(vs);
    Video.Index = vs;
    AVStream* st = Video.Fmt->streams[vs];
    if (MediaStatus s = OpenDecoder(Path, st, Options.Threads, Video.Dec); !s)
        return s;
    for (unsigned i = 0; i < Video.Fmt->nb_streams; i++)
        if (int(i) != vs)
            Video.Fmt->streams[i]->discard = AVDISCARD_ALL;

    Info.Width = st->codecpar->width;
    Info.Height = st->codecpar->height;
    if (Info.Width <= 0 || Info.Height <= 0)
        return MediaStatus::Fail(Path, "video stream without a picture size (corrupt header)");
    Info.VideoCodec = avcodec_get_name(st->codecpar->codec_id);
    const char* space = av_color_space_name(st->codecpar->color_space);
    Info.ColourSpace = space != nullptr ? space : "unknown";
    Info.FullRange = st->codecpar->color_range == AVCOL_RANGE_JPEG;
    Info.PixelFormat = PlainFormat(AVPixelFormat(st->codecpar->format), Info.FullRange);
    // Display proportions: the pixel shape stretches the width, then the display matrix turns it.
    const AVRational sar = av_guess_sample_aspect_ratio(Video.Fmt.get(), st, nullptr);
    if (sar.num > 0 && sar.den > 0 && av_q2d(sar) > 0.1 && av_q2d(sar) < 10)
        Info.SampleAspect = Rational{sar.num, sar.den};
    Info.Rotation = StreamRotation(st);
    const int shownWidth = std::max(1, int(std::lround(Info.Width * Info.SampleAspect.ToDouble())));
    const bool quarter = Info.Rotation == 90 || Info.Rotation == 270;
    Info.DisplayWidth = quarter ? Info.Height : shownWidth;
    Info.DisplayHeight = quarter ? shownWidth : Info.Height;
    const AVColorTransferCharacteristic trc = st->codecpar->color_trc;
    if (trc == AVCOL_TRC_SMPTE2084 || trc == AVCOL_TRC_ARIB_STD_B67) {
        Info.Hdr = trc == AVCOL_TRC_SMPTE2084 ? "PQ" : "HLG";
        if (ToneMapper::Available())
            Tone = std::make_unique<ToneMapper>();
        else
            Info.Warning = Path + ": " + Info.Hdr +
                           " (HDR) video is shown without tone mapping: this FFmpeg has no "
                           "zscale or tonemap filter";
    }
    return {};
}

// The frame rate and the clock of the pictures; true when the rate varies.
bool ClipReader::Impl::ProbeRate() {
    AVStream* st = Video.Fmt->streams[Video.Index];
    // The stream's base rate (r_frame_rate, with FFmpeg's own guards against a field rate or a
    // time base taken for it): pictures are placed by their times at it, so a clip whose rate
    // changes (24 and 60 a second joined) keeps every picture of its faster part.
    AVRational rate = av_guess_frame_rate(Video.Fmt.get(), st, nullptr);
    const AVRational average = st->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = average;
    if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > 1000)
        rate = AVRational{cDefaultFrameRate, 1};
    av_reduce(&rate.num, &rate.den, rate.num, rate.den, INT32_MAX);
    Info.FrameRate = ToRational(rate);
    // A base rate 1 % or more above the average: the frame rate varies, and the packets do not
    // count the frames at the base rate.
    const bool variable = average.num > 0 && average.den > 0 && av_q2d(rate) > 1.01 * av_q2d(average);
    VTimeBase = st->time_base;
    VStartPts = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    StartSeconds = VStartPts * av_q2d(VTimeBase);
    // AVI keeps decoding times only: a decoder that reorders pictures (B-frames) hands each one out
    // stamped with the time of the packet that completed it, its reorder delay late. The sound is
    // not shifted; it starts with the first picture's true time.
    if (std::strcmp(Video.Fmt->iformat->name, "avi") == 0 && Video.Dec->has_b_frames > 0)
        VLagPts = av_rescale_q(Video.Dec->has_b_frames, AVRational{rate.den, rate.num}, VTimeBase);
    return variable;
}

// The duration the header states; returns where it says the video ends, on the file's clock (0: unknown).
double ClipReader::Impl::ProbeDuration() {
    const AVStream* st = Video.Fmt->streams[Video.Index];
    double statedEnd = 0;  // where the header says the video ends, on the file's clock
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
        Info.Duration = st->duration * av_q2d(st->time_base);
        statedEnd = StartSeconds + Info.Duration;
    } else if (Video.Fmt->duration != AV_NOPTS_VALUE && Video.Fmt->duration > 0) {
        Info.Duration = double(Video.Fmt->duration) / AV_TIME_BASE;
        statedEnd = double(Video.Fmt->start_time != AV_NOPTS_VALUE ? Video.Fmt->start_time : 0) / AV_TIME_BASE + Info.Duration;
    }
    return statedEnd;
}

// A picture file lasts StillSeconds at 25 frames a second; cover art as long as the sound,
// whose start is then the clip's.
void ClipReader::Impl::ProbeStill(bool cover) {
    if (cover || (IsImageDemuxer(Video.Fmt->iformat) && !IsSequencePattern(Path))) {
        double seconds = Options.StillSeconds;
        if (cover) {
            const int as = av_find_best_stream(Video.Fmt.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
            const AVStream* ast = as >= 0 ? Video.Fmt->streams[as] : nullptr;
            if (ast != nullptr && ast->duration != AV_NOPTS_VALUE && ast->duration > 0)
                seconds = ast->duration * av_q2d(ast->time_base);
            else if (Video.Fmt->duration != AV_NOPTS_VALUE && Video.Fmt->duration > 0)
                seconds = double(Video.Fmt->duration) / AV_TIME_BASE;
            if (ast != nullptr && ast->start_time != AV_NOPTS_VALUE)
                StartSeconds = ast->start_time * av_q2d(ast->time_base);
        }
        Info.IsStill = true;
        Info.FrameRate = Rational{cDefaultFrameRate, 1};
        Info.FrameCount = std::max<int64_t>(1, std::llround(seconds * cDefaultFrameRate));
        Info.FrameCountExact = true;
        Info.Duration = double(Info.FrameCount) / cDefaultFrameRate;
    }
}

MediaStatus ClipReader::Impl::ProbeFrameCount(bool variable, double statedEnd) {
    // A header's count that disagrees with the duration (by half or more) is damaged: the packets
    // are counted instead, or the duration decides.
    const AVStream* st = Video.Fmt->streams[Video.Index];
    const double fromDuration = Info.Duration * Info.FrameRate.ToDouble();
    const bool plausible = Info.Duration <= 0 ||
                           (double(st->nb_frames) <= 1.5 * fromDuration + 2 && double(st->nb_frames) >= fromDuration / 1.5 - 2);
    if (Info.IsStill || variable) {
        // one picture, counted above; or a count at the base rate from the duration, below
    } else if (st->nb_frames > 0 && plausible) {
        Info.FrameCount = st->nb_frames;
        Info.FrameCountExact = true;
    } else if (Options.CountFrames) {
        CountPackets(statedEnd);
    }
    if (Info.FrameCount <= 0) {
        Info.FrameCount = std::llround(Info.Duration * Info.FrameRate.ToDouble());
        Info.FrameCountExact = false;
    }
    if (Info.FrameCount <= 0)
        return MediaStatus::Fail(Path, "no video frames (empty or truncated)");
    if (Info.Duration <= 0)
        Info.Duration = double(Info.FrameCount) / Info.FrameRate.ToDouble();
    return {};
}

// Every stream's packets are read (none decoded): where the furthest one ends tells a
// file cut short (a half-finished download) from one whose sound outlasts its pictures.
void ClipReader::Impl::CountPackets(double statedEnd) {
    InputPtr counter;
    if (OpenInput(Path, counter, Options.SequenceRate)) {
        PacketPtr pkt(av_packet_alloc());
        int64_t count = 0;
        double reached = 0;  // seconds, on the file's own clock
        int err = 0;
        while ((err = av_read_frame(counter.get(), pkt.get())) >= 0) {
            count += pkt->stream_index == Video.Index;
            if (pkt->pts != AV_NOPTS_VALUE)
                reached = std::max(reached, double(pkt->pts + std::max<int64_t>(pkt->duration, 0)) *
                                                av_q2d(counter->streams[pkt->stream_index]->time_base));
            av_packet_unref(pkt.get());
        }
        Info.FrameCount = count;
        Info.FrameCountExact = err == AVERROR_EOF;  // a read error leaves it a lower bound
        // The end the header states, against where the packets stop: more than the slack of
        // an early end short, and the count is the stated one; decoding finds the real end.
        const int64_t stated = std::llround(Info.Duration * Info.FrameRate.ToDouble());
        const double slack = double(std::max<int64_t>(2, stated / 50)) / Info.FrameRate.ToDouble();
        if (statedEnd > 0 && reached > 0 && reached + slack < statedEnd) {
            Info.FrameCount = stated;
            Info.FrameCountExact = false;
        }
    }
}

// An image sequence ends at the first number missing: files of the pattern after a gap are
// left out, and the user is told.
void ClipReader::Impl::WarnSequenceGap() {
    if (IsSequencePattern(Path)) {
        const int64_t files = int64_t(SequenceNumbers(Path).size());
        if (const int64_t left = files - Info.FrameCount; left > 0)
            Info.Warning = Path + ": the numbering stops after " + std::to_string(Info.FrameCount) +
                           (Info.FrameCount == 1 ? " picture; " : " pictures; ") +
                           (left == 1 ? "the 1 file of the sequence after the gap is left out"
                                      : "the " + std::to_string(left) + " files of the sequence after the gap are left out");
    }
}

// The sound stream, if any: read later through a demuxer of its own.
void ClipReader::Impl::ProbeAudio() {
    const AVCodec* adec = nullptr;
    int as = av_find_best_stream(Video.Fmt.get(), AVMEDIA_TYPE_AUDIO, -1, Video.Index, &adec, 0);
    if (as >= 0) {
        const AVCodecParameters* par = Video.Fmt->streams[as]->codecpar;
        Info.HasAudio = true;
        Info.AudioSampleRate = par->sample_rate;
        Info.AudioChannels = par->ch_layout.nb_channels;
        Info.AudioLayout = par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE && par->ch_layout.u.mask != 0
                               ? par->ch_layout.u.mask
                               : UnnamedLayout(Info.AudioChannels);
        Info.AudioCodec = avcodec_get_name(par->codec_id);
        Audio.Index = as;
        OutRate = par->sample_rate > 0 ? par->sample_rate : cDefaultSampleRate;
    } else if (as == AVERROR_DECODER_NOT_FOUND) {
        Info.Warning = Path + ": its sound is in a codec this FFmpeg cannot decode, and is read as silence";
    }
}

ClipReader::ClipReader(std::unique_ptr<Impl> impl) : fImpl(std::move(impl)) {}
ClipReader::~ClipReader() = default;

std::unique_ptr<ClipReader> ClipReader::Open(const std::string& path, MediaStatus& status,
                                             const ReaderOptions& options) {
    QuietFFmpegLog();
    if (status = CheckPath(path); !status)
        return nullptr;
    auto impl = std::make_unique<Impl>();
    Impl& m = *impl;
    m.Path = path;
    m.Options = options;
    bool cover = false;
    if (status = OpenInput(path, m.Video.Fmt, options.SequenceRate); !status)
        return nullptr;
    if (status = m.ProbeVideo(cover); !status)
        return nullptr;
    const bool variable = m.ProbeRate();
    const double statedEnd = m.ProbeDuration();
    m.ProbeStill(cover);
    if (status = m.ProbeFrameCount(variable, statedEnd); !status)
        return nullptr;
    m.WarnSequenceGap();
    m.ProbeAudio();
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
    return FrameAudio(index, audio);
}

MediaStatus ClipReader::ReadPicture(int64_t index, PicturePtr& picture, AudioBlock* audio) {
    Impl& m = *fImpl;
    if (index < 0 || index >= m.Info.FrameCount)
        return MediaStatus::Fail(m.Path, "frame " + std::to_string(index) + " out of range (the clip has " +
                                             std::to_string(m.Info.FrameCount) + " frames)");
    if (MediaStatus s = m.PositionAt(m.Info.IsStill ? 0 : index); !s)
        return s;
    if (!picture)
        picture = NewPicture();
    if (!picture)
        return MediaStatus::Fail(m.Path, "out of memory");
    av_frame_unref(picture.get());
    if (av_frame_ref(picture.get(), m.Current.get()) < 0)
        return MediaStatus::Fail(m.Path, "out of memory");
    return FrameAudio(index, audio);
}

MediaStatus ClipReader::FrameAudio(int64_t index, AudioBlock* audio) {
    if (audio == nullptr)
        return {};
    const Impl& m = *fImpl;
    const int64_t first = FrameSampleStart(index, m.Info.FrameRate, m.OutRate);
    const int64_t end = FrameSampleStart(index + 1, m.Info.FrameRate, m.OutRate);
    return ReadAudio(first, end - first, *audio);
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
bool ClipReader::HasAudio() const { return fImpl->Audio.Index >= 0; }
uint64_t ClipReader::SourceChannelLayout() const { return HasAudio() ? fImpl->Info.AudioLayout : cStereoLayout; }
uint64_t ClipReader::ChannelLayout() const { return fImpl->OutLayout; }
const std::string& ClipReader::Name() const { return fImpl->Path; }

}  // namespace bw::media
