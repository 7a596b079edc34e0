#include "editor/cli/render.h"

#include "editor/cli/nativeroute.h"
#include "editor/cli/render_p.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>

#include "editor/media/ClipWriter.h"
#include "platform/QuickDraw.h"

namespace bw {
using namespace detail;
namespace {
using Clock = std::chrono::steady_clock;
constexpr int cSampleRate = 48000;
volatile std::sig_atomic_t lgStopSignal = 0;

Failure Stopped() { return StopFailure(); }

// Frames done, frames per second and time left on one line of standard error; silent when
// standard error is not a terminal or the user asked for quiet.
class Progress {
public:
    Progress(int64_t total, bool quiet) : total_(total), enabled_(!quiet && isatty(STDERR_FILENO)) {}
    void Update(int64_t done) {
        if (!enabled_) return;
        const auto now = Clock::now();
        if (done < total_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double fps = elapsed > 0 ? done / elapsed : 0;
        const double left = fps > 0 ? (total_ - done) / fps : 0;
        const int width = 30, filled = total_ > 0 ? int(width * done / total_) : width;
        std::fprintf(stderr, "\r[%.*s%.*s] %lld/%lld frames  %5.1f fps  %d:%02d left ", filled,
                     "##############################", width - filled, "------------------------------",
                     (long long)done, (long long)total_, fps, int(left) / 60, int(left) % 60);
        std::fflush(stderr);
        shown_ = true;
    }
    ~Progress() {
        if (shown_) std::fputc('\n', stderr);
    }

private:
    int64_t total_;
    bool enabled_;
    bool shown_ = false;
    Clock::time_point start_ = Clock::now(), last_{};
};

media::PixelView ViewOf(GWorldPtr gw) {
    PixMapHandle pm = GetGWorldPixMap(gw);
    return media::PixelView{reinterpret_cast<uint8_t*>(pm->baseAddr), pm->rowBytes, pm->bounds.right - pm->bounds.left,
                            pm->bounds.bottom - pm->bounds.top};
}

// Encodes one frame while the caller makes the next: an ARGB frame is copied into the writer's
// own buffer, a picture handed over as it is, and written on another thread; the next Write waits
// for it first, so frames stay in order and at most one is in flight. No output and large ARGB
// frames are written at once, without a copy.
class BackgroundWriter {
public:
    BackgroundWriter(media::ClipWriter& writer, int width, int height, bool pictures)
        : writer_(writer),
          direct_(writer.Kind() == media::OutputKind::Null ||
                  (!pictures && media::IsLargePicture(width, height))) {
        if (!direct_ && !pictures) frame_.Resize(width, height);
    }
    ~BackgroundWriter() { Wait(); }
    media::MediaStatus Write(const media::PixelView& view, const media::AudioBlock& audio) {
        if (media::MediaStatus s = Wait(); !s) return s;
        if (direct_) return Timed([&] { return writer_.WriteFrame(view, &audio); });
        const size_t rowBytes = size_t(std::min(view.Width, frame_.Width)) * 4;
        for (int y = 0; y < std::min(view.Height, frame_.Height); y++)
            std::memcpy(frame_.Row(y), view.Base + size_t(y) * size_t(view.RowBytes), rowBytes);
        audio_ = audio;
        pending_ = std::async(std::launch::async, [this] { return Timed([&] { return writer_.WriteFrame(frame_.View(), &audio_); }); });
        return {};
    }
    media::MediaStatus Write(media::PicturePtr picture, media::AudioBlock&& audio) {
        if (media::MediaStatus s = Wait(); !s) return s;
        picture_ = std::move(picture);
        audio_ = std::move(audio);
        if (direct_) return Timed([&] { return writer_.WritePicture(picture_.get(), &audio_); });
        pending_ = std::async(std::launch::async, [this] { return Timed([&] { return writer_.WritePicture(picture_.get(), &audio_); }); });
        return {};
    }
    media::MediaStatus Wait() {
        if (!pending_.valid()) return {};
        const auto t0 = Clock::now();
        media::MediaStatus s = pending_.get();
        waited_ += std::chrono::duration<double>(Clock::now() - t0).count();
        return s;
    }
    double Seconds() const { return seconds_; }  // time spent writing; read after Wait
    double Waited() const { return waited_; }    // time the caller spent waiting for it

private:
    template <class Work>
    media::MediaStatus Timed(Work work) {
        const auto t0 = Clock::now();
        media::MediaStatus s = work();
        seconds_ += std::chrono::duration<double>(Clock::now() - t0).count();
        return s;
    }
    media::ClipWriter& writer_;
    bool direct_;
    media::VideoFrame frame_;
    media::PicturePtr picture_;
    media::AudioBlock audio_;
    std::future<media::MediaStatus> pending_;
    double seconds_ = 0, waited_ = 0;
};

// Where a picture of display size dw x dh goes in a w x h frame: whole, or letterboxed or
// pillarboxed in the middle. Proportions within 1 % fill the frame (no slivers from even sizes).
struct Placement {
    int x = 0, y = 0, w = 0, h = 0;
    bool Whole(int width, int height) const { return x == 0 && y == 0 && w == width && h == height; }
};
Placement Place(int dw, int dh, int w, int h) {
    if (dw <= 0 || dh <= 0) return {0, 0, w, h};
    const double source = double(dw) / dh, frame = double(w) / h;
    if (std::abs(source / frame - 1) <= 0.01) return {0, 0, w, h};
    Placement p;
    if (source > frame) {
        p.w = w;
        p.h = std::clamp(int(std::lround(w / source)), 1, h);
    } else {
        p.h = h;
        p.w = std::clamp(int(std::lround(h * source)), 1, w);
    }
    p.x = (w - p.w) / 2;
    p.y = (h - p.h) / 2;
    return p;
}

void TrimMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

int64_t SamplesIn(int64_t frame, media::Rational rate) {
    return media::FrameSampleStart(frame + 1, rate, cSampleRate) - media::FrameSampleStart(frame, rate, cSampleRate);
}
}  // namespace

ConformedClip::ConformedClip(media::FrameSource& source, media::Rational outRate, int sampleRate, double trimStart,
                             double trimLength)
    : source_(source), reader_(dynamic_cast<media::ClipReader*>(&source)), out_(outRate), sampleRate_(sampleRate) {
    source_.SetSampleRate(sampleRate);
    const media::Rational in = source_.FrameRate();
    const double inRate = in.Num > 0 && in.Den > 0 ? in.ToDouble() : 25;
    first_ = std::clamp<int64_t>(std::llround(trimStart * inRate), 0, std::max<int64_t>(0, source_.FrameCount() - 1));
    count_ = source_.FrameCount() - first_;
    if (trimLength >= 0) count_ = std::clamp<int64_t>(std::llround(trimLength * inRate), 1, count_);
    firstSample_ = std::llround(double(first_) / inRate * sampleRate);
    if (in == out_ || in.Num <= 0 || out_.Num <= 0) {
        frames_ = int32_t(std::min<int64_t>(count_, INT32_MAX));
    } else {
        const __int128 n = __int128(count_) * in.Den * out_.Num / (__int128(in.Num) * out_.Den);
        frames_ = int32_t(std::min<__int128>(n, INT32_MAX));
    }
}

double ConformedClip::StartSeconds() const {
    const media::Rational in = source_.FrameRate();
    return in.Num > 0 && in.Den > 0 ? double(first_) / in.ToDouble() : 0;
}

int64_t ConformedClip::SourceIndex(int32_t index) const {
    const media::Rational in = source_.FrameRate();
    int64_t sourceIndex = index;
    if (in != out_ && out_.Num > 0 && in.Den > 0)
        sourceIndex = int64_t(__int128(index) * out_.Den * in.Num / (__int128(out_.Num) * in.Den));
    return first_ + std::clamp<int64_t>(sourceIndex, 0, std::max<int64_t>(0, count_ - 1));
}

// The frame's sound when the clip's rate is not the output's: by sample range, not by source frame.
media::MediaStatus ConformedClip::OtherRateAudio(int32_t index, media::AudioBlock& audio) {
    const int64_t first = media::FrameSampleStart(index, out_, sampleRate_);
    const int64_t count = media::FrameSampleStart(index + 1, out_, sampleRate_) - first;
    if (reader_) return reader_->ReadAudio(firstSample_ + first, count, audio);
    audio.Samples.assign(size_t(count) * size_t(audio.Channels), 0.0f);
    return {};
}

namespace {
struct ReadTimer {
    double& total;
    Clock::time_point start = Clock::now();
    ~ReadTimer() { total += std::chrono::duration<double>(Clock::now() - start).count(); }
};
}  // namespace

media::MediaStatus ConformedClip::Read(int32_t index, const media::PixelView& view, bool highQuality,
                                       media::AudioBlock& audio) {
    ReadTimer timer{readSeconds_};
    const bool sameRate = source_.FrameRate() == out_;
    audio.SampleRate = sampleRate_;
    audio.Channels = media::LayoutChannels(source_.ChannelLayout());
    // Every clip upright and in its own proportions inside the frame, black around it.
    const Placement place = Place(source_.DisplayWidth(), source_.DisplayHeight(), view.Width, view.Height);
    media::PixelView inner = view;
    if (!place.Whole(view.Width, view.Height)) {
        static const uint8_t cBlack[4] = {0xFF, 0, 0, 0};  // alpha, red, green, blue
        uint32_t black;
        std::memcpy(&black, cBlack, 4);
        for (int y = 0; y < view.Height; y++) {
            uint32_t* row = reinterpret_cast<uint32_t*>(view.Base + size_t(y) * size_t(view.RowBytes));
            std::fill(row, row + view.Width, black);
        }
        inner.Base = view.Base + size_t(place.y) * size_t(view.RowBytes) + size_t(place.x) * 4;
        inner.Width = place.w;
        inner.Height = place.h;
    }
    media::MediaStatus status = source_.ReadFrameInto(SourceIndex(index), inner, highQuality, sameRate ? &audio : nullptr);
    if (!status || sameRate) return status;
    return OtherRateAudio(index, audio);
}

media::MediaStatus ConformedClip::ReadPicture(int32_t index, media::PicturePtr& picture, media::AudioBlock& audio) {
    ReadTimer timer{readSeconds_};
    if (!reader_) return media::MediaStatus::Fail(Name(), "not a clip file");
    const bool sameRate = source_.FrameRate() == out_;
    audio.SampleRate = sampleRate_;
    audio.Channels = media::LayoutChannels(source_.ChannelLayout());
    media::MediaStatus status = reader_->ReadPicture(SourceIndex(index), picture, sameRate ? &audio : nullptr);
    if (!status || sameRate) return status;
    return OtherRateAudio(index, audio);
}

media::PictureRect ConformedClip::PlaceIn(int width, int height) const {
    const Placement p = Place(source_.DisplayWidth(), source_.DisplayHeight(), width, height);
    return {p.x, p.y, p.w, p.h};
}

void ConformedClip::NoteFailure(const media::MediaStatus& status) {
    error_ = status.Error;
    endedEarly_ = status.EndedEarly;
}

bool ConformedClip::ReadFrame(int32_t index, GWorldPtr frame, bool highQuality, std::vector<float>& audio) {
    media::AudioBlock block;
    const media::MediaStatus status = Read(index, ViewOf(frame), highQuality, block);
    if (!status) {
        NoteFailure(status);
        return false;
    }
    audio = std::move(block.Samples);
    return true;
}

Failure OpenInput(const std::string& path, Input& input, double stillSeconds, const std::string& sequenceRate) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        if (path.find('%') == std::string::npos) return {kExitMissingInput, path + ": no such file"};
        const std::string name = std::filesystem::path(path).filename().string();
        // A pattern with its number in a folder's name is left to the reader.
        if (name.find('%') != std::string::npos && media::SequenceNumbers(path).empty())
            return {kExitMissingInput, path + ": no file matches this image sequence pattern"};
    }
    media::MediaStatus status;
    media::ReaderOptions options;
    options.StillSeconds = stillSeconds;
    options.SequenceRate = sequenceRate;
    auto reader = media::ClipReader::Open(path, status, options);
    if (!reader) return {kExitBadInput, status.Error};
    input.source = std::move(reader);
    return {};
}

void OutputSize(const media::FrameSource& first, const RenderOptions& options, int& width, int& height) {
    width = options.width > 0 ? options.width : first.DisplayWidth();
    height = options.height > 0 ? options.height : first.DisplayHeight();
    // Frames are addressed with 16-bit rectangles: larger clips are scaled down to 8192 lines and
    // columns, in proportion. 4:2:0 video needs even sizes.
    if (width > cMaxFrameSide || height > cMaxFrameSide) {
        const double scale = double(cMaxFrameSide) / std::max(width, height);
        width = int(width * scale);
        height = int(height * scale);
    }
    width = std::clamp(width, 2, cMaxFrameSide) & ~1;
    height = std::clamp(height, 2, cMaxFrameSide) & ~1;
}

Failure TransitionLength(PluginHost& host, Variant variant, const RenderOptions& options, int32_t& frames) {
    if (options.frames > 0) {
        frames = options.frames;
        return {};
    }
    host.speed = options.speed;
    const int32_t result = host.GetInfo(int16_t(variant));
    if (result != kPluginOK) return {kExitPlugin, "the transition refused the info call (result " + std::to_string(result) + ")"};
    frames = host.Params().getInfo.framesToBeRendered;
    return {};
}

namespace {

// A clip with no frame at the output's rate. When the rate is the first clip's own, a rate that is
// no clip's (a damaged header's 125/128 for 25) is that clip's fault, and the message names it.
Failure NoFrames(const ConformedClip& clip, const media::FrameSource& rateFrom, bool rateGiven, media::Rational rate) {
    if (rateGiven || &clip.Source() == &rateFrom) return {kExitBadInput, clip.Name() + ": no video frames"};
    char fps[32];
    std::snprintf(fps, sizeof fps, "%.4g", rate.ToDouble());
    return {kExitBadInput, rateFrom.Name() + ": its frame rate, " + fps + " a second, leaves " + clip.Name() +
                               " without a single frame (a damaged header?); -r sets the output's rate"};
}

}  // namespace

namespace detail {
Failure PlanTimeline(Input& first, Input* second, Variant variant, int32_t requested, media::Rational rate,
                     Timeline& t) {
    first.clip = std::make_unique<ConformedClip>(*first.source, rate, cSampleRate);
    if (variant == Variant::Between) {
        if (!second || !second->source) return {kExitUsage, "a transition between clips needs two clips"};
        second->clip = std::make_unique<ConformedClip>(*second->source, rate, cSampleRate);
        t.a = first.clip.get();
        t.b = second->clip.get();
    } else if (variant == Variant::After) {
        t.a = first.clip.get();
    } else {
        t.b = first.clip.get();
    }
    int32_t available = INT32_MAX;
    for (ConformedClip* c : {t.a, t.b})
        if (c) {
            if (c->FrameCount() < 1) return NoFrames(*c, *first.source, false, rate);
            available = std::min(available, c->FrameCount());
        }
    // A transition cannot take more frames than its clips hold.
    t.n = std::clamp(requested, 1, available);
    t.pre = t.a ? t.a->FrameCount() - t.n : 0;
    t.post = t.b ? t.b->FrameCount() - t.n : 0;
    return {};
}

}  // namespace detail

namespace {
Failure ClipFailure(const media::MediaStatus& status) { return {kExitBadInput, status.Error, status.EndedEarly}; }
}  // namespace

namespace detail {

RunRequest MakeRun(const Timeline& t, Variant variant, int32_t n, int w, int h, bool proxy) {
    RunRequest run;
    run.which = int16_t(variant);
    run.clipA = t.a;
    run.firstA = t.a ? t.a->FrameCount() - n : 0;
    run.clipB = t.b;
    run.firstB = 0;
    run.frameCount = n;
    run.width = int16_t(w);
    run.height = int16_t(h);
    run.proxy = proxy;
    return run;
}

Failure FrameFailure(const Timeline& t, int32_t k, int32_t result) {
    for (ConformedClip* c : {t.a, t.b})
        if (c && !c->LastError().empty()) return {kExitBadInput, c->LastError(), c->EndedEarly()};
    if (StopSignal()) return Stopped();
    return {kExitPlugin, "the transition failed at its frame " + std::to_string(k) + " (result " +
                             std::to_string(result) + ")"};
}
}  // namespace detail

void RequestStop(int signal) {
    if (!lgStopSignal) lgStopSignal = signal;  // the first one says why
}
int StopSignal() { return lgStopSignal; }

Failure StopFailure() {
    switch (StopSignal()) {
        case SIGPIPE: return {kExitBrokenPipe, "the reader of standard output closed it"};
        case SIGHUP: return {kExitHangUp, "the terminal hung up; nothing was written"};
        case SIGINT: return {kExitInterrupted, "interrupted; nothing was written"};
        default: return {kExitTerminated, "interrupted; nothing was written"};
    }
}

void RemoveStaleParts(const std::string& output) {
    namespace fs = std::filesystem;
    if (output.empty() || output == "-" || output == "null") return;
    // Where the writer puts it: beside a file, or beside the folder of an image sequence.
    fs::path dir = fs::path(output).parent_path(), name = fs::path(output).filename();
    if (output.find('%') != std::string::npos) {
        const fs::path folder = dir.empty() ? fs::path(".") : dir;
        name = folder.filename() == "." || folder.filename().empty() ? fs::path("frames") : folder.filename();
        dir = folder.parent_path();
    }
    if (dir.empty()) dir = ".";
    const std::string prefix = "." + name.string() + ".part-";
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec)) {
        const std::string file = entry.path().filename().string();
        if (file.compare(0, prefix.size(), prefix) != 0) continue;
        // ".NAME.part-PID-N": a process that no longer lives cannot be writing it.
        char* end = nullptr;
        const long pid = std::strtol(file.c_str() + prefix.size(), &end, 10);
        if (pid <= 0 || *end != '-' || pid == long(getpid())) continue;
        if (kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
        std::error_code removeError;
        fs::remove_all(entry.path(), removeError);
    }
}

namespace {
// The pieces of the output in order: stretches of one clip, and transitions from the end of one
// clip into the start of the next (or from or to the colour).
struct Piece {
    ConformedClip* clip = nullptr;  // a stretch of this clip; null: a transition
    int32_t from = 0, to = 0;       // the clip's frames [from, to)
    Timeline t;                     // a transition's clips and length
};

// The render's sound: -ac's layout, else the first clip with sound's when it has more than two
// channels (5.1 stays 5.1; more than eight, which no encoder here takes, become 7.1), else
// stereo; then as the output file holds it (Opus: 5.1 with back channels). Every clip is mixed to it.
uint64_t SoundLayout(const std::vector<Input*>& inputs, const RenderOptions& options) {
    uint64_t layout = media::cStereoLayout;
    if (options.encoder.AudioChannels > 0) {
        layout = media::DefaultLayout(options.encoder.AudioChannels);
    } else {
        for (const Input* in : inputs)
            if (in->source->HasAudio()) {
                const uint64_t own = in->source->SourceChannelLayout();
                const int channels = media::LayoutChannels(own);
                layout = channels > 8 ? media::DefaultLayout(8) : channels > 2 ? own
                                                                               : media::cStereoLayout;
                break;
            }
    }
    media::OutputKind kind;
    if (!media::OutputKindForPath(options.output, kind) || !media::OutputHasAudio(kind)) return layout;
    media::WriterSettings written = options.encoder;
    written.AudioLayout = layout;
    return media::WrittenLayout(kind, written);
}

// Plans the output: a transition between each pair of clips (or one before or after a single
// clip), each no longer than what its clips have left once the neighbouring transitions took theirs.
Failure PlanPieces(PluginHost& host, std::vector<Input*>& inputs, const RenderOptions& options, media::Rational rate,
                   std::vector<Piece>& pieces) {
    pieces.clear();
    const bool between = options.variant == Variant::Between;
    if (inputs.empty() || (between && inputs.size() < 2)) return {kExitUsage, "a transition between clips needs two clips"};
    if (!between && inputs.size() != 1) return {kExitUsage, "a transition before or after a clip takes one clip"};
    int32_t fromSpeed = 0;
    if (Failure f = TransitionLength(host, options.variant, options, fromSpeed)) return f;
    const size_t transitions = between ? inputs.size() - 1 : 1;
    if (options.transitionFrames.size() > 1 && options.transitionFrames.size() != transitions)
        return {kExitUsage, "--frames gives " + std::to_string(options.transitionFrames.size()) + " lengths for " +
                                std::to_string(transitions) + " transitions"};
    std::vector<ConformedClip*> clips;
    const uint64_t layout = SoundLayout(inputs, options);
    for (Input* in : inputs) {
        in->source->SetChannelLayout(layout);
        in->clip = std::make_unique<ConformedClip>(*in->source, rate, cSampleRate, in->trimStart, in->trimLength);
        if (in->clip->FrameCount() < 1) return NoFrames(*in->clip, *inputs[0]->source, options.rate.Num > 0, rate);
        clips.push_back(in->clip.get());
    }
    auto requested = [&](size_t k) {
        return options.transitionFrames.empty() ? fromSpeed : options.transitionFrames[std::min(k, options.transitionFrames.size() - 1)];
    };
    if (!between) {
        Timeline t;
        (options.variant == Variant::After ? t.a : t.b) = clips[0];
        t.n = std::clamp(requested(0), 1, clips[0]->FrameCount());
        const int32_t rest = clips[0]->FrameCount() - t.n;
        if (options.variant == Variant::After) pieces.push_back({clips[0], 0, rest, {}});
        pieces.push_back({nullptr, 0, 0, t});
        if (options.variant == Variant::Before) pieces.push_back({clips[0], t.n, t.n + rest, {}});
        return {};
    }
    int32_t taken = 0;  // frames of clip k the transition before it took
    for (size_t k = 0; k < clips.size(); k++) {
        const int32_t count = clips[k]->FrameCount();
        if (k + 1 == clips.size()) {
            pieces.push_back({clips[k], taken, count, {}});
            break;
        }
        // A transition cannot take more frames than its clips hold.
        Timeline t;
        t.a = clips[k];
        t.b = clips[k + 1];
        const int32_t left = count - taken;
        if (left < 1) return {kExitBadInput, clips[k]->Name() + ": too short for the transitions on both its sides"};
        t.n = std::clamp(requested(k), 1, std::min(left, clips[k + 1]->FrameCount()));
        pieces.push_back({clips[k], taken, count - t.n, {}});
        pieces.push_back({nullptr, 0, 0, t});
        taken = t.n;
    }
    return {};
}
}  // namespace

Failure PlanRender(PluginHost& host, std::vector<Input*>& inputs, const RenderOptions& options, RenderPlan& plan) {
    if (inputs.empty() || !inputs[0]->source) return {kExitUsage, "no clips"};
    OutputSize(*inputs[0]->source, options, plan.width, plan.height);
    plan.rate = options.rate.Num > 0 ? options.rate : inputs[0]->source->FrameRate();
    std::vector<Piece> pieces;
    if (Failure f = PlanPieces(host, inputs, options, plan.rate, pieces)) return f;
    plan.soundLayout = inputs[0]->source->ChannelLayout();
    plan.totalFrames = 0;
    plan.clips.clear();
    plan.transitions.clear();
    for (Input* in : inputs)
        plan.clips.push_back({in->clip->Name(), INT32_MAX, 0, in->clip->FrameCount(), in->clip->StartSeconds()});
    auto use = [&](const ConformedClip* c, int32_t from, int32_t to) {
        for (size_t i = 0; i < inputs.size(); i++)
            if (inputs[i]->clip.get() == c && to > from) {
                plan.clips[i].from = std::min(plan.clips[i].from, from);
                plan.clips[i].to = std::max(plan.clips[i].to, to);
            }
    };
    for (const Piece& p : pieces) {
        if (p.clip) {
            if (options.transitionOnly) continue;
            use(p.clip, p.from, p.to);
            plan.totalFrames += p.to - p.from;
        } else {
            plan.transitions.push_back({plan.totalFrames, p.t.n});
            if (p.t.a) use(p.t.a, p.t.a->FrameCount() - p.t.n, p.t.a->FrameCount());
            if (p.t.b) use(p.t.b, 0, p.t.n);
            plan.totalFrames += p.t.n;
        }
    }
    return {};
}

namespace {
// One pass over the pieces of a render: each clip's frames and each transition's, written in
// order on the route taken.
struct Pass {
    const RenderOptions& options;
    media::Rational rate;
    int channels;
    NativeRoute* route;  // null: the bundle route
    GWorldPtr frame;     // the bundle route's ARGB frame, for every output frame
    BackgroundWriter& background;
    Progress& progress;
    int64_t done = 0;
    double transitionSeconds = 0;   // the transitions' frames, clip reads included
    std::vector<float> mixed = {};  // the bundle's sound of the frame

    Failure Written(media::MediaStatus s) {
        if (!s) return StopSignal() ? Stopped() : Failure{kExitOutput, s.Error};  // a closed pipe, say so
        progress.Update(++done);
        return {};
    }
    Failure Write(media::PicturePtr picture, media::AudioBlock&& audio) {
        if (StopSignal()) return Stopped();
        if (route) return Written(background.Write(std::move(picture), std::move(audio)));
        return Written(background.Write(ViewOf(frame), audio));
    }

    Failure Clip(ConformedClip& clip, int32_t from, int32_t to) {
        for (int32_t i = from; i < to; i++) {
            media::AudioBlock audio;
            media::PicturePtr picture;
            const media::MediaStatus s = route ? route->ClipFrame(clip, i, picture, audio)
                                               : clip.Read(i, ViewOf(frame), true, audio);
            if (!s) return ClipFailure(s);
            if (Failure f = Write(std::move(picture), std::move(audio))) return f;
        }
        return {};
    }

    Failure Transition(const Timeline& t, PluginHost& host, const PluginDataRec* tiles) {
        RunRequest run = MakeRun(t, options.variant, t.n, options.width, options.height, options.proxy);
        if (route) run = route->Begin(host, *tiles, run);
        if (const int32_t r = host.Begin(run); r != kPluginOK)
            return {kExitPlugin, "the transition refused to start (result " + std::to_string(r) + ")"};
        Failure f;
        for (int32_t k = 0; k < t.n && !f; k++) {
            const auto t0 = Clock::now();
            const int32_t r = host.Frame(k, route ? route->BundleFrame() : frame, &mixed);
            if (r != kPluginOK) {
                f = FrameFailure(t, k, r);
                break;
            }
            media::PicturePtr picture;
            if (route)
                if (media::MediaStatus s = route->Compose(k, picture); !s) f = {kExitFailed, s.Error};
            transitionSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
            media::AudioBlock audio;
            audio.SampleRate = cSampleRate;
            audio.Channels = channels;
            audio.Samples = std::move(mixed);
            audio.Samples.resize(size_t(SamplesIn(done, rate)) * size_t(channels), 0.0f);
            if (!f) f = Write(std::move(picture), std::move(audio));
        }
        host.End();
        return f;
    }
};

// The format the native route composes in: the writer's, or with no output the first clip's.
media::PictureFormat RouteFormat(const media::ClipWriter& writer, const std::vector<Input*>& inputs) {
    media::PictureFormat format = writer.Format();
    const media::ClipReader* first = inputs[0]->clip ? inputs[0]->clip->Reader() : nullptr;
    if (format.PixelFormat < 0 && first) {
        format.PixelFormat = first->Info().PixelFormat;
        format.FullRange = first->Info().FullRange;
    }
    return format;
}

Failure RenderOnce(const std::vector<PluginHost*>& hosts, std::vector<Input*>& inputs, RenderOptions options,
                   RandomCursors& cursors, RenderReport* report) {
    const auto started = Clock::now();
    int w, h;
    OutputSize(*inputs[0]->source, options, w, h);
    options.width = w;  // the size every run and picture of this render has
    options.height = h;
    const media::Rational rate = options.rate.Num > 0 ? options.rate : inputs[0]->source->FrameRate();
    std::vector<Piece> pieces;
    if (Failure f = PlanPieces(*hosts[0], inputs, options, rate, pieces)) return f;
    int32_t total = 0;
    size_t transitions = 0;
    for (const Piece& p : pieces) {
        total += p.clip ? (options.transitionOnly ? 0 : p.to - p.from) : p.t.n;
        transitions += p.clip ? 0 : 1;
    }

    media::OutputKind kind;
    if (media::MediaStatus s = media::OutputKindForPath(options.output, kind); !s) return {kExitUsage, s.Error};
    media::WriterSettings settings = options.encoder;
    settings.Width = w;
    settings.Height = h;
    settings.FrameRate = rate;
    settings.SampleRate = cSampleRate;
    settings.AudioLayout = inputs[0]->source->ChannelLayout();  // every clip's, from PlanPieces
    const int channels = media::LayoutChannels(settings.AudioLayout);
    media::ClipWriter writer;
    if (media::MediaStatus s = writer.Open(options.output, settings); !s) return {kExitOutput, s.Error};

    // The route: the clips' own pictures where the engine can compose them, else ARGB and the bundle.
    const media::PictureFormat format = RouteFormat(writer, inputs);
    const std::string why =
        options.engine == Engine::Bundle ? "asked for" : NativeRefusal(inputs, options, transitions, format);
    std::unique_ptr<NativeRoute> route;
    if (why.empty()) route = std::make_unique<NativeRoute>(format, cursors);
    else if (options.engine == Engine::Native) return {kExitUsage, "--engine native cannot render this: " + why};
    // The bundle route draws every output frame in one ARGB buffer: the clips' frames before and
    // after the transition are read into the one the bundle draws into.
    std::unique_ptr<OwnedGW> out;
    if (!route) {
        out = std::make_unique<OwnedGW>(w, h);
        if (!out->gw) return {kExitFailed, "out of memory for a " + std::to_string(w) + " x " + std::to_string(h) + " frame"};
    }

    const double setupSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    Progress progress(total, options.quiet);
    BackgroundWriter background(writer, w, h, route != nullptr);
    Pass pass{options, rate, channels, route.get(), out ? out->gw : nullptr, background, progress};
    for (PluginHost* each : hosts) {
        each->audioChannels = channels;  // the bundle's levels apply to every channel alike
        each->smoothLevels = true;
        each->speed = options.speed;
    }
    auto readSoFar = [&inputs] {
        double seconds = 0;
        for (Input* in : inputs) seconds += in->clip->ReadSeconds();
        return seconds;
    };
    double readDuringTransitions = 0;
    size_t transition = 0;
    // Each clip is opened at its first piece (by its first read) and closed after its last, so a
    // render holds the decoders of two clips at most, however many it joins.
    auto uses = [](const Piece& p, const ConformedClip* c) { return p.clip == c || p.t.a == c || p.t.b == c; };
    for (size_t pi = 0; pi < pieces.size(); pi++) {
        const Piece& p = pieces[pi];
        if (p.clip) {
            if (Failure f = pass.Clip(*p.clip, p.from, options.transitionOnly ? p.from : p.to)) return f;
        } else {
            const size_t k = std::min(transition++, hosts.size() - 1);  // this transition's settings
            const double readBefore = readSoFar();
            if (report) report->transitions.push_back({int32_t(pass.done), p.t.n});
            const PluginDataRec* tiles = options.tileSettings.empty() ? nullptr : options.tileSettings[std::min(k, options.tileSettings.size() - 1)];
            if (Failure f = pass.Transition(p.t, *hosts[k], tiles)) return f;
            readDuringTransitions += readSoFar() - readBefore;
        }
        for (ConformedClip* c : {p.clip, p.t.a, p.t.b})
            if (c && std::none_of(pieces.begin() + ptrdiff_t(pi) + 1, pieces.end(), [&](const Piece& q) { return uses(q, c); })) {
                c->Release();
                // The decoders' threads leave their pictures' memory free in their own malloc
                // arenas: handed back now, or the next clip's threads add arenas of their own.
                TrimMemory();
            }
    }
    if (media::MediaStatus s = background.Wait(); !s) return StopSignal() ? Stopped() : Failure{kExitOutput, s.Error};
    const auto finishing = Clock::now();
    if (media::MediaStatus s = writer.Finish(); !s) return StopSignal() ? Stopped() : Failure{kExitOutput, s.Error};
    if (report) {
        report->readSeconds = readSoFar();
        report->writeSeconds = background.Seconds() + std::chrono::duration<double>(Clock::now() - finishing).count();
        // Clip reads the bundle asked for through the host's GetFrame count as reads, not transition.
        report->transitionSeconds = std::max(0.0, pass.transitionSeconds - readDuringTransitions);
        report->setupSeconds = setupSeconds;
        report->waitSeconds = background.Waited();
        report->totalFrames = total;
        report->native = route != nullptr;
        report->bundleWhy = route ? std::string() : why;
        report->converted = route ? route->Converted() : 0;
        report->seconds = std::chrono::duration<double>(Clock::now() - started).count();
    }
    return {};
}
}  // namespace

Failure Render(const std::vector<PluginHost*>& hosts, std::vector<Input*>& inputs, const RenderOptions& options,
               RenderReport* report) {
    if (hosts.empty() || inputs.empty()) return {kExitUsage, "nothing to render"};
    RemoveStaleParts(options.output);
    // Every attempt lays its tile fields out where the bundles' random cursors stand after the last.
    RandomCursors cursors;
    // A clip that ends early now knows its length: with allowShort the render starts again with it
    // (each clip can shorten once; the output so far was only a temporary file).
    for (int attempt = 0;; attempt++) {
        if (report) report->transitions.clear();
        const Failure f = RenderOnce(hosts, inputs, options, cursors, report);
        if (!f.endedEarly || !options.allowShort || attempt >= 2) return f;
        if (report) report->shortened = attempt + 1;
    }
}

}  // namespace bw
