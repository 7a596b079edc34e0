// A host for transition bundles, as a video editor drives them: loads a bundle, owns the parameter
// record and the callback table, and calls the selectors in an editor's order (info, begin, frames,
// end, placeholder). Frames come from clips (HostClip); the audio the bundle mixes is gathered per
// output frame. Every block, frame and info record handed out is counted so imbalances show.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/HYPluginRecords.h"

// A clip as the host sees it: pictures by index, and each frame's share of the audio.
class HostClip {
public:
    virtual ~HostClip() = default;
    virtual int32_t FrameCount() const = 0;
    // Draws frame `index` into `frame` at the buffer's own size and returns its audio: interleaved
    // samples in the host's audio format, one frame's duration.
    virtual bool ReadFrame(int32_t index, GWorldPtr frame, bool highQuality, std::vector<float>& audio) = 0;
    virtual int16_t Volume() const { return 255; }
};

// A clip whose frames [first, first + count) are kept once read, at the size they were asked for,
// so that the configuration dialog's preview steps through them in any order without decoding
// again (a clip with few keyframes decodes from the keyframe before every frame it seeks to). The
// first request inside the range reads the whole range in order, which a decoder does at its
// sequential speed. At most maxBytes of pictures are kept (256 MiB: 129 frames of the HD preview,
// 194 of NTSC); frames past that, and frames that failed to read, are read when asked.
class PreviewClip : public HostClip {
public:
    static constexpr size_t cDefaultMaxBytes = size_t(256) << 20;
    PreviewClip(HostClip& clip, int32_t first, int32_t count, size_t maxBytes = cDefaultMaxBytes);
    int32_t FrameCount() const override { return clip_.FrameCount(); }
    int16_t Volume() const override { return clip_.Volume(); }
    bool ReadFrame(int32_t index, GWorldPtr frame, bool highQuality, std::vector<float>& audio) override;

private:
    struct Kept {
        bool valid = false;
        std::vector<uint8_t> pixels;  // rows of width * 4 bytes, no padding
        std::vector<float> audio;
    };
    void Fill(int32_t keep, GWorldPtr scratch, bool highQuality);
    HostClip& clip_;
    int32_t first_, count_;
    size_t maxBytes_;
    int width_ = 0, height_ = 0;  // the size the kept frames have
    std::vector<Kept> kept_;      // empty until the first request inside the range
};

// One run of the transition. Transition frame k shows clip A's frame firstA + k (clip B's frame
// firstB + k for the before-type) and, between two clips, clip B's frame firstB + k.
struct RunRequest {
    int16_t which = 3;  // 1 after the last clip, 2 before the first, 3 between
    HostClip* clipA = nullptr;
    int32_t firstA = 0;
    HostClip* clipB = nullptr;
    int32_t firstB = 0;
    int32_t frameCount = 0;
    int16_t width = 0, height = 0;
    bool proxy = false;
    int32_t startFrame = 1000;  // host frame index at which the transition's frames are counted
};

struct HostCounters {
    int64_t blocksAllocated = 0, blocksFreed = 0;  // NewPtr/NewPtrClear vs DisposePtr
    int64_t framesOut = 0, framesReleased = 0;     // GetFrame vs ReleaseFrame
    int64_t infosOut = 0, infosReleased = 0;       // GetTransitionInfo vs ReleaseTransitionInfo
    int64_t unknownCookies = 0;                    // frames released or mixed that were never handed out
    int64_t secondFrameFetches = 0;                // GetFrame calls for clip B's half of the timeline
};

// Callbacks whose results tests can force.
enum class HostCallback { GetFrame,
                          ReleaseFrame,
                          Blit,
                          MixAudio,
                          GetClipInfo,
                          GetTransitionInfo,
                          Count };

// Where the blocks the bundle asks for come from: the platform's Memory Manager (blocks that know
// their size) or plain calloc and free, as a host without such blocks hands them out.
enum class HostMemory { Blocks,
                        Calloc };

class PluginHost {
public:
    // Loads NAME.bundle (dlopen of Contents/Linux/<CFBundleExecutable>) and finds `main`.
    static std::unique_ptr<PluginHost> Load(const std::string& bundlePath, std::string& error);
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // The host's speed setting, handed out by GetTransitionInfo.
    float speed = 0.5f;
    int16_t interfaceVersion = 4;
    int audioChannels = 2;
    // When set, each mix level is reached by a linear ramp over the frame from the level the same
    // clip had at the end of the previous frame (full volume for a clip that was playing, silence
    // for one that was not), so stepwise per-frame levels cannot click. Off: one level per frame.
    bool smoothLevels = false;

    // The allocator behind NewPtr, NewPtrClear and DisposePtr; change it only between runs.
    void UseMemory(HostMemory memory);

    HYPluginParams& Params() { return run_.params; }
    HYPluginMainProc Main() const { return main_; }

    // Calls the entry point with the record as it stands.
    int32_t Call(int16_t which, HYPluginSelector selector);
    int32_t GetInfo(int16_t which);
    int32_t Begin(const RunRequest& run);
    // Renders transition frame `renderFrame` into `output`; `mixed` receives the frame's audio as
    // mixed by the bundle (zeros where it mixed nothing).
    int32_t Frame(int32_t renderFrame, GWorldPtr output, std::vector<float>* mixed);
    int32_t End();
    // The editor's browser picture: one whole run of one frame at bestThumbOffset, with a parameter
    // record and clip record of its own, so a run in progress keeps its own.
    int32_t Placeholder(const RunRequest& run, int32_t bestThumbOffset, GWorldPtr output);

    // The user pressed the transition's button: the bundle opens its configuration dialog on a
    // record of its own (selector 9, render frame 0, start frame 0, the run's length and frame
    // size) and returns when the dialog closes. Frames come from the run's clips as in a render;
    // the bundle previews from the start frame of the last frame it rendered. The transition's frames
    // of each clip are kept at the preview's size while the dialog is open (PreviewClip).
    int32_t CustomButton(const RunRequest& run);

    // The run's clip record as the bundle last wrote it with SetClipInfo (fades), and whether it did.
    const HYPluginClipInfo& ClipInfo() const { return run_.clipInfo; }
    bool ClipInfoWritten() const { return run_.clipInfoWritten; }
    const HostCounters& Counters() const;
    // Frees the buffers of released frames kept for the next requests.
    void ReleaseSpareBuffers();
    // The nth call (from 1) of a callback from now on answers `result` instead of working.
    void FailCallback(HostCallback which, int nth, HYPluginResult result);

private:
    // The records of one run as the bundle sees them: the parameter record (whose instance points
    // here), the run's clips, its clip record and where each clip's level ramp starts.
    struct Session {
        PluginHost* host = nullptr;
        HYPluginParams params{};
        RunRequest runSpec{};
        HYPluginClipInfo clipInfo{};
        bool clipInfoWritten = false;
        int16_t lastLevelA = 256, lastLevelB = 256;
    };
    PluginHost() = default;
    void StartSession(Session& session, const RunRequest& run);
    int32_t CallWith(Session& session, int16_t which, HYPluginSelector selector);
    struct Fetched;
    bool Fails(HostCallback which, HYPluginResult& result);
    std::vector<std::unique_ptr<Fetched>>::iterator FindFetched(HYFrameCookie cookie);
    GWorldPtr TakeBuffer(int16_t width, int16_t height);
    void GiveBackBuffer(GWorldPtr gw);

    static HYPluginResult CbGetFrame(void* instance, int32_t frameIndex, GWorldPtr* frame, int16_t width,
                                     int16_t height, HYRefDVQuality quality, int16_t* volume, HYFrameCookie* cookie);
    static HYPluginResult CbReleaseFrame(void* instance, HYFrameCookie cookie);
    static HYPluginResult CbGetClipInfo(void* instance, int16_t clipSelector, HYPluginClipInfo* info);
    static HYPluginResult CbSetClipInfo(void* instance, HYPluginClipInfo* info);
    static HYPluginResult CbBlit(PixMapHandle src, PixMapHandle dst, const Rect* srcRect, const Rect* dstRect,
                                 int16_t opacity);
    static HYPluginResult CbGetTransitionInfo(void* instance, HYPluginTransitionInfo** info);
    static HYPluginResult CbReleaseTransitionInfo(void* instance, HYPluginTransitionInfo* info);
    static HYPluginResult CbMixAudio(void* instance, HYFrameCookie cookie, int16_t level);

    void* library_ = nullptr;
    HYPluginMainProc main_ = nullptr;
    HYProcs procs_{};
    Session run_{};
    std::vector<std::unique_ptr<Fetched>> fetched_;
    std::vector<GWorldPtr> spare_;  // buffers of released frames, ready for reuse
    HYFrameCookie nextCookie_ = 1;
    std::vector<float>* bus_ = nullptr;
    size_t busSamples_ = 0;
    int failAfter_[int(HostCallback::Count)] = {};
    HYPluginResult failWith_[int(HostCallback::Count)] = {};
    mutable HostCounters counters_{};
};

// Where the bundle is: $BLOCKWAVES_BUNDLE, else found from the running program (/proc/self/exe),
// never from a folder fixed when the program was built.
std::string DefaultBundlePath();
// The bundle for the program file Program (a resolved path): <prefix>/lib/blockwaves/kpblockwaves.bundle
// for <prefix>/bin/blockwaves; else, for the program in a build tree (editor/cli), the build tree's
// kpblockwaves.bundle. When neither is there, the installed place, for the error to name.
std::string BundleBesideProgram(const std::string& program);
