// Opening a file's demuxer and a stream's decoder, and the decode loop the pictures and the sound share.
#include "editor/media/Decoding_p.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

#include "editor/media/Sequence.h"

namespace bw::media::detail {

int (*gReadPacket)(AVFormatContext*, AVPacket*) = av_read_frame;

void QuietFFmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// Opens `path` for demuxing and reads its stream information. An image sequence starts at its
// lowest number (FFmpeg looks for one from 0 to 4 only).
MediaStatus OpenInput(const std::string& path, InputPtr& out, const std::string& sequenceRate) {
    AVFormatContext* raw = nullptr;
    AVDictionary* options = nullptr;
    if (!sequenceRate.empty() && IsSequencePattern(path))
        av_dict_set(&options, "framerate", sequenceRate.c_str(), 0);
    if (IsSequencePattern(path))
        if (const std::vector<int64_t> numbers = SequenceNumbers(path); !numbers.empty())
            av_dict_set_int(&options, "start_number", *std::min_element(numbers.begin(), numbers.end()), 0);
    int err = avformat_open_input(&raw, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (err < 0) {
        // The system's words only when the file itself cannot be read; whatever the demuxer
        // answered (a bare -1, EIO, ENOMEM) otherwise means data it could not make sense of.
        if (!IsSequencePattern(path)) {
            const int fd = ::open(path.c_str(), O_RDONLY);
            if (fd < 0)
                return MediaStatus::Fail(path, UserErrorText(AVERROR(errno)));
            ::close(fd);
        }
        if (err == AVERROR(ENOMEM))
            return MediaStatus::Fail(path, "not a video file, or damaged beyond reading (or memory ran out)");
        if (err == AVERROR_PATCHWELCOME || err == AVERROR(ENOSYS) || IsSequencePattern(path))
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
    if (st->codecpar->codec_id == AV_CODEC_ID_NONE)  // the demuxer could not tell what the stream holds
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

MediaStatus DecodeNext(DecodeStream& s, AVFrame* into, const std::string& path, const char* what, bool& got) {
    got = false;
    int badPackets = 0;
    while (!s.DecodeDone) {
        int err = avcodec_receive_frame(s.Dec.get(), into);
        if (err == 0) {
            got = true;
            return {};
        }
        if (err == AVERROR_EOF) {
            s.DecodeDone = true;
            break;
        }
        if (err != AVERROR(EAGAIN)) {
            // A damaged frame: skip it, but do not loop forever on a file of garbage.
            if (++badPackets > cBadPacketLimit)
                return MediaStatus::Fail(path, Damaged(what, err));
            continue;
        }
        if (s.DemuxDone) {
            s.DecodeDone = true;
            break;
        }
        err = gReadPacket(s.Fmt.get(), s.Pkt.get());
        if (err < 0) {
            if (err != AVERROR_EOF)
                s.ReadError = InputErrorText(err, IoError(s.Fmt.get()));
            s.DemuxDone = true;
            avcodec_send_packet(s.Dec.get(), nullptr);  // drain the frames still inside the decoder
            continue;
        }
        if (s.Pkt->stream_index == s.Index) {
            err = avcodec_send_packet(s.Dec.get(), s.Pkt.get());
            if (err < 0 && err != AVERROR(EAGAIN) && ++badPackets > cBadPacketLimit) {
                av_packet_unref(s.Pkt.get());
                return MediaStatus::Fail(path, Damaged(what, err));
            }
        }
        av_packet_unref(s.Pkt.get());
    }
    return {};
}

void Close(DecodeStream& s) {
    s.Fmt.reset();
    s.Dec.reset();
    s.Pkt.reset();
    s.DemuxDone = s.DecodeDone = false;
}

}  // namespace bw::media::detail
