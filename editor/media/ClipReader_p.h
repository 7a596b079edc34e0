// The clip reader's state, shared by its files: ClipReader.cpp opens and probes a clip,
// ClipReaderVideo.cpp finds and converts its pictures, ClipReaderAudio.cpp reads its sound.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "editor/media/ClipReader.h"
#include "editor/media/Decoding_p.h"
#include "editor/media/Picture_p.h"

namespace bw::media {

using namespace detail;

namespace detail {
// "1:02.48" for 62.48 seconds: how a player shows a place in a clip.
std::string TimeText(double seconds);
}  // namespace detail

struct ClipReader::Impl {
    std::string Path;
    ReaderOptions Options;
    ClipInfo Info;

    // Pictures.
    DecodeStream Video;
    bool VSought = false;  // the demuxer has moved since the open; before, it stands at the start
    AVRational VTimeBase{1, 1};
    int64_t VStartPts = 0;      // pts of frame 0
    int64_t VLagPts = 0;        // how late every picture is stamped (decoding-order stamps), in VTimeBase
    double StartSeconds = 0;    // the same in seconds: origin of the audio timeline too
    FramePtr Current, Pending;  // Current shows for indexes [CurrentIndex, PendingIndex)
    int64_t CurrentIndex = -1, PendingIndex = -1;
    bool HaveCurrent = false, HavePending = false;
    SwsPtr Sws;
    VideoFrame Turned;                 // the scaled picture before its turn upright
    std::unique_ptr<ToneMapper> Tone;  // HDR pictures only

    // Sound, opened lazily.
    DecodeStream Audio;  // Index -1: no sound, read as silence
    bool AOpened = false;
    AVRational ATimeBase{1, 1};
    FramePtr AFrame;
    SwrPtr Swr;
    int SwrInRate = 0, SwrInFormat = -1, SwrInChannels = 0;
    int OutRate = cDefaultSampleRate;
    uint64_t OutLayout = cStereoLayout;
    int OutChannels = 2;
    std::vector<float> ABuf;  // samples in OutLayout starting at ABufStart on the output timeline
    int64_t ABufStart = 0;
    bool APositioned = false;
    bool AAtStart = true;  // the sound's demuxer has read nothing since the open

    int64_t IndexOfPts(int64_t pts) const {
        return av_rescale_q_rnd(pts - VStartPts - VLagPts, VTimeBase, AVRational{Info.FrameRate.Den, Info.FrameRate.Num},
                                AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    }
    int64_t PtsOfIndex(int64_t index) const {
        return VStartPts + VLagPts + av_rescale_q(index, AVRational{Info.FrameRate.Den, Info.FrameRate.Num}, VTimeBase);
    }

    // Opening: what the clip holds, probed once.
    MediaStatus ProbeVideo(bool& cover);
    bool ProbeRate();
    double ProbeDuration();
    void ProbeStill(bool cover);
    MediaStatus ProbeFrameCount(bool variable, double statedEnd);
    void CountPackets(double statedEnd);
    void WarnSequenceGap();
    void ProbeAudio();

    MediaStatus Reopen();
    void Release();
    MediaStatus DecodeVideo(AVFrame* into, bool& got) { return DecodeNext(Video, into, Path, "video", got); }
    MediaStatus SeekVideo(int64_t index, int attempt);
    MediaStatus EndedEarly(int64_t frames);
    MediaStatus PositionAt(int64_t index);
    MediaStatus Scale(const PixelView& dst, bool highQuality);

    MediaStatus OpenAudio();
    MediaStatus SeekAudio(int64_t first);
    MediaStatus DecodeAudioChunk();
};

}  // namespace bw::media
