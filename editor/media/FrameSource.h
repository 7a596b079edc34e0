// A source of numbered video frames with each frame's share of the audio: clips read from files
// and synthetic clips share this interface, so the host renders both the same way.
#pragma once
#include <cstdint>
#include <string>

#include "editor/media/Frame.h"

namespace bw::media {

class FrameSource {
public:
    virtual ~FrameSource() = default;

    // Frame `index` (0-based) scaled to dst's size into the caller's buffer, and when audio is not
    // null the samples of the span [index / fps, (index + 1) / fps) at SampleRate(), in ChannelLayout().
    // highQuality chooses bilinear scaling; otherwise nearest neighbour. The picture fills dst
    // whatever its proportions: fitting it into a frame is the caller's business.
    virtual MediaStatus ReadFrameInto(int64_t index, const PixelView& dst, bool highQuality, AudioBlock* audio) = 0;

    virtual int64_t FrameCount() const = 0;
    virtual Rational FrameRate() const = 0;
    virtual int Width() const = 0;  // natural size of the frames
    virtual int Height() const = 0;
    virtual int DisplayWidth() const { return Width(); }  // upright, in square pixels
    virtual int DisplayHeight() const { return Height(); }
    virtual int SampleRate() const = 0;                                     // rate of the audio blocks handed out
    virtual void SetSampleRate(int rate) = 0;                               // resample audio blocks to this rate from now on
    virtual uint64_t ChannelLayout() const = 0;                             // layout of the audio blocks handed out; stereo at first
    virtual void SetChannelLayout(uint64_t layout) = 0;                     // mix audio blocks to this layout from now on
    virtual bool HasAudio() const = 0;                                      // false: the blocks are silence
    virtual uint64_t SourceChannelLayout() const { return cStereoLayout; }  // the sound's own layout
    virtual const std::string& Name() const = 0;                            // file name or generator name, used in messages
    virtual void Release() {}                                               // frees what reading holds until the next read (a clip's turn is over)

    // Convenience: frame into an owned buffer sized width x height.
    MediaStatus ReadFrame(int64_t index, int width, int height, bool highQuality, VideoFrame& frame, AudioBlock& audio) {
        frame.Resize(width, height);
        return ReadFrameInto(index, frame.View(), highQuality, &audio);
    }
};

}  // namespace bw::media
