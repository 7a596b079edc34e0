// The render pipeline of the host program: clips conformed to the output's size, frame rate and
// sample rate, joined around the transition the bundle renders, and written to a file.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/hostcore/hostcore.h"
#include "editor/media/ClipReader.h"
#include "editor/media/ClipWriter.h"
#include "editor/media/FrameSource.h"
#include "host/PluginDefines.h"

namespace bw {

// Exit statuses of the program, one per kind of failure.
enum ExitStatus : int {
    kExitOK = 0,
    kExitFailed = 1,         // anything not named below
    kExitUsage = 2,          // bad command line
    kExitMissingInput = 3,   // an input file does not exist
    kExitBadInput = 4,       // an input exists but is not usable video (no video stream, corrupt, truncated)
    kExitOutput = 5,         // the output could not be written
    kExitPlugin = 6,         // the bundle could not be loaded or refused to render
    kExitPrefs = 7,          // the saved default could not be read or written
    kExitHangUp = 129,       // SIGHUP (a closed terminal): 128 + the signal's number, as shells report it
    kExitInterrupted = 130,  // SIGINT (Ctrl-C)
    kExitBrokenPipe = 141,   // SIGPIPE: the reader of standard output closed it
    kExitTerminated = 143,   // SIGTERM
};

struct Failure {
    ExitStatus status = kExitOK;
    std::string message;
    bool endedEarly = false;  // a clip ended before its header said; it now knows its real length
    explicit operator bool() const { return status != kExitOK; }
};

// A stop asked for by a signal: the handler records the signal's number, the frame loops look at
// it between frames, clean up and return kExitInterrupted or kExitTerminated.
void RequestStop(int signal);
int StopSignal();  // 0: carry on
// The failure a stop ends with: the status for its signal and what became of the output.
Failure StopFailure();

// Removes the hidden temporary outputs (".NAME.part-PID-N") that a writer of `output` left behind
// when it was killed: only those whose process no longer lives.
void RemoveStaleParts(const std::string& output);

enum class Variant : int16_t { After = 1,
                               Before = 2,
                               Between = 3 };

// A media source seen by the bundle's host at the output's frame rate and sample rate.
class ConformedClip : public HostClip {
public:
    // Only the part of the source from trimStart seconds, trimLength seconds long (< 0: to its end).
    ConformedClip(media::FrameSource& source, media::Rational outRate, int sampleRate, double trimStart = 0,
                  double trimLength = -1);
    int32_t FrameCount() const override { return frames_; }
    bool ReadFrame(int32_t index, GWorldPtr frame, bool highQuality, std::vector<float>& audio) override;
    // The same, into a plain buffer, for frames outside the transition.
    media::MediaStatus Read(int32_t index, const media::PixelView& view, bool highQuality, media::AudioBlock& audio);
    // The decoded picture for frame `index` as it is (clip files only) and the frame's audio.
    media::MediaStatus ReadPicture(int32_t index, media::PicturePtr& picture, media::AudioBlock& audio);
    // Where its pictures go in a width x height frame: whole, or letterboxed in its proportions.
    media::PictureRect PlaceIn(int width, int height) const;
    media::ClipReader* Reader() const { return reader_; }  // null for a generated clip
    void NoteFailure(const media::MediaStatus& status);    // a read failed: LastError says why
    const std::string& Name() const { return source_.Name(); }
    const media::FrameSource& Source() const { return source_; }
    const std::string& LastError() const { return error_; }
    bool EndedEarly() const { return endedEarly_; }
    double StartSeconds() const;                         // where its first frame is in the source, after -ss
    double ReadSeconds() const { return readSeconds_; }  // decoding and conversion so far
    void Release() { source_.Release(); }                // its part of the render is done: free its decoders

private:
    int64_t SourceIndex(int32_t index) const;
    media::MediaStatus OtherRateAudio(int32_t index, media::AudioBlock& audio);
    media::FrameSource& source_;
    media::ClipReader* reader_;  // for audio by sample range when frame rates differ
    media::Rational out_;
    int sampleRate_;
    int32_t frames_;
    int64_t first_ = 0, count_ = 0;  // the source frames used: [first_, first_ + count_)
    int64_t firstSample_ = 0;        // the same start in samples at sampleRate
    std::string error_;
    bool endedEarly_ = false;
    double readSeconds_ = 0;
};

// An opened input: a file or a generated clip.
struct Input {
    std::unique_ptr<media::FrameSource> source;
    std::unique_ptr<ConformedClip> clip;
    double trimStart = 0;    // seconds of the source skipped (-ss)
    double trimLength = -1;  // seconds used from there (-t, -to); < 0: to the end
};
// Opens a clip file or an image sequence ("frames/%05d.png" at sequenceRate, else 25 a second);
// stills last stillSeconds.
Failure OpenInput(const std::string& path, Input& input, double stillSeconds = 5, const std::string& sequenceRate = {});

// How transitions are composed: in the clips' own pictures by the engine (native), or by the
// bundle on ARGB pictures through its entry point, as an editor runs it. Auto takes the native
// route where it can serve the job (NativeRefusal), else the bundle's.
enum class Engine { Auto,
                    Native,
                    Bundle };

struct RenderOptions {
    Variant variant = Variant::Between;
    Engine engine = Engine::Auto;
    // Transition k's settings as its bundle (hosts[k], the last for the rest) read them at its
    // start-up; the native route lays out the same tile field from them.
    std::vector<const PluginDataRec*> tileSettings;
    float speed = 0.5f;
    int32_t frames = 0;                     // transition length; 0: from the speed
    std::vector<int32_t> transitionFrames;  // per transition (one: all); empty: frames or the speed
    int width = 0, height = 0;              // 0: the first clip's size
    bool proxy = false;
    bool transitionOnly = false;  // only the transition's frames, as an editor's preview
    bool quiet = false;
    bool stats = false;             // print where the time went
    bool allowShort = false;        // a clip that ends early is used as far as it decodes
    std::string output;             // path, pattern, or "null"
    media::Rational rate{0, 1};     // output frame rate (-r); 0: the first clip's
    media::WriterSettings encoder;  // encoders and their options; size and rates are the render's
};

// Where a transition is in the output.
struct TransitionSpan {
    int32_t start = 0;  // output frame of its first frame
    int32_t frames = 0;
};

struct RenderReport {
    int32_t totalFrames = 0;
    std::vector<TransitionSpan> transitions;  // in output order
    double seconds = 0;                       // wall clock time of the render
    double setupSeconds = 0;                  // planning and opening the output, before the first frame
    double readSeconds = 0;                   // decoding, scaling and colour conversion of the clips
    double transitionSeconds = 0;             // the bundle's frames, less the clip reads they asked for
    double writeSeconds = 0;                  // colour conversion, encoding and writing, on their own thread
    double waitSeconds = 0;                   // the render thread waiting for the writing thread
    int32_t shortened = 0;                    // clips that ended early and were used as far as they decode
    bool native = false;                      // composed in the clips' own pictures
    std::string bundleWhy;                    // why the bundle route was taken (Engine::Auto)
    int64_t converted = 0;                    // native route: clip pictures scaled or converted to the output's format
};

// What a render would do, worked out from the clips' headers and the bundle's info call alone.
struct RenderPlan {
    struct ClipUse {
        std::string name;
        int32_t from = 0, to = 0;  // the clip's frames [from, to) at the output's rate
        int32_t of = 0;            // the clip's length at the output's rate, after its trim
        double start = 0;          // seconds of the source before its frame 0 (-ss)
    };
    int width = 0, height = 0;
    media::Rational rate;
    uint64_t soundLayout = 0;                 // every clip's sound is mixed to it
    std::vector<ClipUse> clips;               // in the order given
    std::vector<TransitionSpan> transitions;  // in output order
    int32_t totalFrames = 0;
};
Failure PlanRender(PluginHost& host, std::vector<Input*>& inputs, const RenderOptions& options, RenderPlan& plan);

// Renders the joined sequence (or only the transitions) into options.output: between clips, each
// clip joined to the next by a transition; before or after, one clip and the colour. Transition k
// is rendered by hosts[k] (the last one for the rest): bundles loaded with different settings.
// Nothing is left at the output path unless everything succeeded.
Failure Render(const std::vector<PluginHost*>& hosts, std::vector<Input*>& inputs, const RenderOptions& options,
               RenderReport* report);

// The largest output side: frames are addressed with 16-bit rectangles, kept well inside them.
inline constexpr int cMaxFrameSide = 8192;

// Output size for clips: the requested size, else the first clip's upright display size (square
// pixels); at most cMaxFrameSide either way, keeping the proportions; made even for video codecs.
void OutputSize(const media::FrameSource& first, const RenderOptions& options, int& width, int& height);

// Transition length from the bundle's info call at the given speed, or the explicit frame count.
Failure TransitionLength(PluginHost& host, Variant variant, const RenderOptions& options, int32_t& frames);

// Captures transition frames at the given fractions (0..1) of the transition, in order.
// `used` (when given) receives the transition's length, which short clips may make shorter.
Failure RenderStills(PluginHost& host, Input& first, Input* second, Variant variant, int32_t frames, int width,
                     int height, const std::vector<double>& fractions, std::vector<GWorldPtr>& stills,
                     int32_t* used = nullptr);

// The placeholder picture an editor shows in its browser: the bundle's own one-frame run at the
// middle of the transition, written as a PNG.
Failure WriteThumbnail(PluginHost& host, Input& first, Input& second, int32_t frames, int width, int height,
                       const std::string& path);

// Writes pictures side by side with a caption under each, scaled to thumbWidth, as a PNG.
// Opens the bundle's configuration dialog with frames of the clips, as an editor's button does.
Failure Configure(PluginHost& host, Input& first, Input* second, Variant variant, int32_t frames, int width,
                  int height);
Failure WriteContactSheet(const std::vector<GWorldPtr>& stills, const std::vector<std::string>& captions,
                          int thumbWidth, const std::string& path);

}  // namespace bw
