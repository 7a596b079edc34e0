// Reading a stream: a file's demuxer, a stream's decoder, and the decode loop the clip reader's
// pictures and sound share. Every object here is owned by the DecodeStream that holds it.
#pragma once
#include <string>

#include "editor/media/FFmpeg_p.h"

namespace bw::media::detail {

// Damaged packets or frames a decoder may refuse in a row before the stream counts as damaged:
// enough to step over a bad stretch, few enough not to spin on a file of garbage.
constexpr int cBadPacketLimit = 64;

// One stream read through its own demuxer and decoder.
struct DecodeStream {
    InputPtr Fmt;
    CodecPtr Dec;
    PacketPtr Pkt;
    int Index = -1;  // the stream in Fmt
    bool DemuxDone = false, DecodeDone = false;
    std::string ReadError;  // set when the file ended in a read error rather than cleanly
};

// Opens `path` for demuxing and reads its stream information. An image sequence starts at its
// lowest number; sequenceRate, when given, is its frame rate.
MediaStatus OpenInput(const std::string& path, InputPtr& out, const std::string& sequenceRate = {});

// Opens the decoder of `st` with `threads` threads (0: as many as FFmpeg likes).
MediaStatus OpenDecoder(const std::string& path, const AVStream* st, int threads, CodecPtr& out);

// A decoder's refusal, in words: "the video is damaged".
std::string Damaged(const char* what, int err);

// Decodes the next frame of `s` in stream order into `into`; got is false at the end of the
// stream. `what` ("video", "sound") names the stream in a failure.
MediaStatus DecodeNext(DecodeStream& s, AVFrame* into, const std::string& path, const char* what, bool& got);

// Drops the demuxer, decoder and packet; the stream's index and read error stay.
void Close(DecodeStream& s);

// How every DecodeStream reads a packet: av_read_frame, or a test's stand-in.
extern int (*gReadPacket)(AVFormatContext*, AVPacket*);

}  // namespace bw::media::detail
