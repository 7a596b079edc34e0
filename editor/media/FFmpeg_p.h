// Owning handles for FFmpeg's C objects and small helpers shared by the reader and the writer.
#pragma once
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "editor/media/Frame.h"

namespace bw::media::detail {

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoFreer {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFreer>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFreer>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoFreer>;

inline std::string AvErrorText(int err) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    return text;
}

// An FFmpeg or system error in the user's terms, for messages that name the file first. Codes
// without a plainer wording keep FFmpeg's own text.
inline std::string UserErrorText(int err) {
    switch (err) {
        case AVERROR(ENOSPC): return "no space left on the device";
        case AVERROR(EDQUOT): return "the disk quota is used up";
        case AVERROR(EFBIG): return "the file size limit was reached";
        case AVERROR(EROFS): return "the device is read-only";
        case AVERROR(ENOMEM): return "not enough memory";
        case AVERROR(EACCES):
        case AVERROR(EPERM): return "permission denied";
        case AVERROR(EIO): return "the device reported a read or write error";
        case AVERROR(ENOENT): return "no such file";
        case AVERROR(EISDIR): return "is a folder";
        case AVERROR_INVALIDDATA: return "damaged or unreadable data";
        case AVERROR_EOF: return "the file ends early";
        case AVERROR_PATCHWELCOME:
        case AVERROR(ENOSYS): return "a feature of the file that FFmpeg does not support";
        default: return AvErrorText(err);
    }
}

// An error met while reading an input, in the user's terms. Demuxers and decoders answer damaged
// data with codes borrowed from the system (a bare -1 reads as EPERM; EIO, EINVAL and ENOMEM for
// fields and sizes out of range): only an error the file's own I/O recorded (`ioError`, from
// AVIOContext::error; 0 when none) keeps the system's words.
inline std::string InputErrorText(int err, int ioError) {
    if (ioError < 0 && ioError != AVERROR_EOF)
        return UserErrorText(ioError);
    switch (err) {
        case AVERROR_EOF: return "the file ends early";
        case AVERROR_PATCHWELCOME:
        case AVERROR(ENOSYS): return UserErrorText(err);
        case AVERROR(ENOMEM): return "the file is damaged, or memory ran out";
        default: return "the file is damaged";
    }
}
inline int IoError(const AVFormatContext* f) { return f != nullptr && f->pb != nullptr ? f->pb->error : 0; }

inline Rational ToRational(AVRational r) { return Rational{r.num, r.den}; }
inline AVRational ToAv(Rational r) { return AVRational{r.Num, r.Den}; }

// Quiets FFmpeg's own console messages once per process: our errors carry the file and the problem.
void QuietFFmpegLog();

// The layout of a stream that names none, for `channels` channels; 0 when none can be made.
uint64_t UnnamedLayout(int channels);

}  // namespace bw::media::detail
