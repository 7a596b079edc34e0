#include "editor/hostcore/hostcore.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/Memory.h"

#ifndef BW_BUILD_TREE_FROM_PROGRAM
#define BW_BUILD_TREE_FROM_PROGRAM "../.."
#endif

namespace {
// Memory callbacks carry no instance: their counts are process-wide.
std::atomic<int64_t> lgBlocksAllocated{0}, lgBlocksFreed{0};
// The host whose call is in progress, for the one callback that carries no instance (Blit).
thread_local PluginHost* lgCallingHost = nullptr;

Ptr HostNewPtrClear(int32_t size) {
    Ptr p = NewPtrClear(size);
    if (p) lgBlocksAllocated++;
    return p;
}
void HostDisposePtr(Ptr block) {
    if (!block) return;
    lgBlocksFreed++;
    DisposePtr(block);
}
// The same from plain calloc and free: nothing before or after a block tells its size.
Ptr CallocNewPtrClear(int32_t size) {
    if (size < 0) return nullptr;
    Ptr p = static_cast<Ptr>(std::calloc(1, size_t(size)));
    if (p) lgBlocksAllocated++;
    return p;
}
void CallocDisposePtr(Ptr block) {
    if (!block) return;
    lgBlocksFreed++;
    std::free(block);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string PlistValue(const std::string& plist, const std::string& key) {
    const std::string tag = "<key>" + key + "</key>";
    size_t at = plist.find(tag);
    if (at == std::string::npos) return {};
    at = plist.find("<string>", at);
    const size_t end = at == std::string::npos ? at : plist.find("</string>", at);
    return end == std::string::npos ? std::string() : plist.substr(at + 8, end - at - 8);
}

bool IsDir(const std::string& path) { return access((path + "/Contents/Info.plist").c_str(), R_OK) == 0; }
}  // namespace

struct PluginHost::Fetched {
    HYFrameCookie cookie;
    GWorldPtr frame;
    std::vector<float> audio;
    HostClip* clip;
};

std::unique_ptr<PluginHost> PluginHost::Load(const std::string& bundlePath, std::string& error) {
    const std::string plist = ReadText(bundlePath + "/Contents/Info.plist");
    if (plist.empty()) {
        error = bundlePath + ": not a bundle (no Contents/Info.plist)";
        return nullptr;
    }
    const std::string executable = PlistValue(plist, "CFBundleExecutable");
    if (executable.empty()) {
        error = bundlePath + ": Info.plist names no CFBundleExecutable";
        return nullptr;
    }
    const std::string object = bundlePath + "/Contents/Linux/" + executable;
    void* library = dlopen(object.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        error = object + ": " + dlerror();
        return nullptr;
    }
    auto entry = reinterpret_cast<HYPluginMainProc>(dlsym(library, "main"));
    if (!entry) {
        error = object + ": no entry point `main`";
        dlclose(library);
        return nullptr;
    }
    std::unique_ptr<PluginHost> host(new PluginHost);
    host->library_ = library;
    host->main_ = entry;
    HYProcs& p = host->procs_;
    host->UseMemory(HostMemory::Blocks);
    p.GetFrame = CbGetFrame;
    p.ReleaseFrame = CbReleaseFrame;
    p.GetClipInfo = CbGetClipInfo;
    p.SetClipInfo = CbSetClipInfo;
    p.Blit = CbBlit;
    p.GetTransitionInfo = CbGetTransitionInfo;
    p.ReleaseTransitionInfo = CbReleaseTransitionInfo;
    p.MixAudio = CbMixAudio;
    host->run_.host = host.get();
    host->run_.params.instance = &host->run_;
    host->run_.params.procs = &host->procs_;
    return host;
}

void PluginHost::UseMemory(HostMemory memory) {
    const bool blocks = memory == HostMemory::Blocks;
    procs_.NewPtr = blocks ? HostNewPtrClear : CallocNewPtrClear;
    procs_.NewPtrClear = blocks ? HostNewPtrClear : CallocNewPtrClear;
    procs_.DisposePtr = blocks ? HostDisposePtr : CallocDisposePtr;
}

GWorldPtr PluginHost::TakeBuffer(int16_t width, int16_t height) {
    for (auto it = spare_.begin(); it != spare_.end(); ++it) {
        const Rect b = GetGWorldPixMap(*it)->bounds;
        if (b.right == width && b.bottom == height) {
            GWorldPtr gw = *it;
            spare_.erase(it);
            return gw;
        }
    }
    GWorldPtr gw = nullptr;
    const Rect bounds{0, 0, height, width};
    NewGWorld(&gw, 32, &bounds, nullptr, nullptr, 0);
    return gw;
}

void PluginHost::GiveBackBuffer(GWorldPtr gw) {
    // A few frames' buffers are kept for the next requests: a clip overwrites every pixel, so a
    // reused buffer saves a large allocation and its clearing on every frame.
    constexpr size_t cSpares = 4;
    if (spare_.size() < cSpares) {
        spare_.push_back(gw);
        return;
    }
    DisposeGWorld(gw);
}

PluginHost::~PluginHost() {
    for (auto& f : fetched_) DisposeGWorld(f->frame);
    ReleaseSpareBuffers();
    // The bundle keeps process-wide state (its master configuration) for the life of the process,
    // as it would inside an editor: it stays loaded.
}

void PluginHost::ReleaseSpareBuffers() {
    for (GWorldPtr gw : spare_) DisposeGWorld(gw);
    spare_.clear();
}

const HostCounters& PluginHost::Counters() const {
    counters_.blocksAllocated = lgBlocksAllocated;
    counters_.blocksFreed = lgBlocksFreed;
    return counters_;
}

void PluginHost::FailCallback(HostCallback which, int nth, HYPluginResult result) {
    failAfter_[int(which)] = nth;
    failWith_[int(which)] = result;
}

bool PluginHost::Fails(HostCallback which, HYPluginResult& result) {
    int& left = failAfter_[int(which)];
    if (left <= 0) return false;
    if (--left > 0) return false;
    result = failWith_[int(which)];
    return true;
}

std::vector<std::unique_ptr<PluginHost::Fetched>>::iterator PluginHost::FindFetched(HYFrameCookie cookie) {
    const auto found =
        std::find_if(fetched_.begin(), fetched_.end(), [cookie](const auto& f) { return f->cookie == cookie; });
    if (found == fetched_.end()) counters_.unknownCookies++;  // a frame never handed out, or given back twice
    return found;
}

int32_t PluginHost::CallWith(Session& session, int16_t which, HYPluginSelector selector) {
    session.params.interfaceVersion = interfaceVersion;
    session.params.selector = selector;
    PluginHost* outer = lgCallingHost;
    lgCallingHost = this;
    const int32_t result = main_(which, &session.params);
    lgCallingHost = outer;
    return result;
}

int32_t PluginHost::Call(int16_t which, HYPluginSelector selector) { return CallWith(run_, which, selector); }

int32_t PluginHost::GetInfo(int16_t which) { return Call(which, kPlugGetInfo); }

// Fresh clip record and level ramps for a run; the parameter record gets the run's timeline and
// frame size once the transition has been described.
void PluginHost::StartSession(Session& session, const RunRequest& run) {
    session.runSpec = run;
    session.clipInfo = HYPluginClipInfo{};
    session.clipInfo.volume = 255;
    session.clipInfoWritten = false;
    // Clip A was playing before the transition; clip B was playing only if it is not appearing.
    session.lastLevelA = 256;
    session.lastLevelB = run.which == 2 ? 0 : 256;
}

int32_t PluginHost::Begin(const RunRequest& run) {
    StartSession(run_, run);
    const int32_t info = GetInfo(run.which);  // an editor describes the transition before rendering it
    if (info != kPluginOK) return info;
    HYPluginParams& p = run_.params;
    p.startFrame = run.startFrame;
    p.frameCount = run.frameCount;
    p.renderFrame = 0;
    p.proxyOnly = run.proxy;
    p.frameRect = Rect{0, 0, run.height, run.width};
    return Call(run.which, kPlugInitialize);
}

int32_t PluginHost::Frame(int32_t renderFrame, GWorldPtr output, std::vector<float>* mixed) {
    run_.params.renderFrame = renderFrame;
    run_.params.frame = output;
    std::vector<float> scratch;
    bus_ = mixed ? mixed : &scratch;
    bus_->clear();
    busSamples_ = 0;
    const int32_t result = Call(run_.runSpec.which, kPlugDoFrame);
    bus_ = nullptr;
    return result;
}

int32_t PluginHost::End() { return Call(run_.runSpec.which, kPlugTerminate); }

PreviewClip::PreviewClip(HostClip& clip, int32_t first, int32_t count, size_t maxBytes)
    : clip_(clip), first_(first), count_(std::max(count, 0)), maxBytes_(maxBytes) {}

void PreviewClip::Fill(int32_t keep, GWorldPtr scratch, bool highQuality) {
    kept_.assign(size_t(keep), Kept{});
    PixMapHandle pm = GetGWorldPixMap(scratch);
    const size_t rowBytes = size_t(width_) * 4;
    for (int32_t i = 0; i < keep; i++) {
        Kept& k = kept_[size_t(i)];
        if (!clip_.ReadFrame(first_ + i, scratch, highQuality, k.audio)) return;  // the rest: when asked
        k.pixels.resize(rowBytes * size_t(height_));
        for (int y = 0; y < height_; y++)
            std::memcpy(k.pixels.data() + size_t(y) * rowBytes, pm->baseAddr + ptrdiff_t(y) * pm->rowBytes, rowBytes);
        k.valid = true;
    }
}

bool PreviewClip::ReadFrame(int32_t index, GWorldPtr frame, bool highQuality, std::vector<float>& audio) {
    PixMapHandle pm = GetGWorldPixMap(frame);
    const int width = pm->bounds.right - pm->bounds.left, height = pm->bounds.bottom - pm->bounds.top;
    if (width != width_ || height != height_) {
        kept_.clear();
        width_ = width;
        height_ = height;
    }
    const size_t frameBytes = std::max<size_t>(1, size_t(width) * size_t(height) * 4);
    const int32_t keep = int32_t(std::min<size_t>(size_t(count_), maxBytes_ / frameBytes));
    if (index < first_ || index - first_ >= keep) return clip_.ReadFrame(index, frame, highQuality, audio);
    if (kept_.empty()) Fill(keep, frame, highQuality);
    const Kept& k = kept_[size_t(index - first_)];
    if (!k.valid) return clip_.ReadFrame(index, frame, highQuality, audio);
    const size_t rowBytes = size_t(width) * 4;
    for (int y = 0; y < height; y++)
        std::memcpy(pm->baseAddr + ptrdiff_t(y) * pm->rowBytes, k.pixels.data() + size_t(y) * rowBytes, rowBytes);
    audio = k.audio;
    return true;
}

int32_t PluginHost::CustomButton(const RunRequest& request) {
    // The dialog's preview steps through the transition's frames in any order: they are kept once
    // read, for as long as the dialog is open.
    std::unique_ptr<PreviewClip> previewA, previewB;
    RunRequest run = request;
    if (run.clipA) run.clipA = (previewA = std::make_unique<PreviewClip>(*run.clipA, run.firstA, run.frameCount)).get();
    if (run.clipB) run.clipB = (previewB = std::make_unique<PreviewClip>(*run.clipB, run.firstB, run.frameCount)).get();
    Session button;
    button.host = this;
    button.params.instance = &button;
    button.params.procs = &procs_;
    StartSession(button, run);
    HYPluginParams& p = button.params;
    p.frameCount = run.frameCount;
    p.frameRect = Rect{0, 0, run.height, run.width};
    GWorldPtr output = TakeBuffer(run.width, run.height);
    p.frame = output;
    const int32_t result = CallWith(button, run.which, kPlugCustomButtonClick);
    GiveBackBuffer(output);
    return result;
}

int32_t PluginHost::Placeholder(const RunRequest& run, int32_t bestThumbOffset, GWorldPtr output) {
    // Records of its own: the parameter record, clips and clip record of a run in progress are
    // neither read nor written.
    Session thumb;
    thumb.host = this;
    thumb.params.instance = &thumb;
    thumb.params.procs = &procs_;
    StartSession(thumb, run);
    const int32_t info = CallWith(thumb, run.which, kPlugGetInfo);
    if (info != kPluginOK) return info;
    HYPluginParams& p = thumb.params;
    p.getInfo.bestThumbOffset = bestThumbOffset;
    p.startFrame = run.startFrame;
    p.frameCount = run.frameCount;
    p.proxyOnly = run.proxy;
    p.frameRect = Rect{0, 0, run.height, run.width};
    p.frame = output;
    std::vector<float>* const outer = bus_;
    std::vector<float> scratch;
    bus_ = &scratch;
    const int32_t result = CallWith(thumb, run.which, kPlugFilePlaceHolder);
    bus_ = outer;
    return result;
}

HYPluginResult PluginHost::CbGetFrame(void* instance, int32_t frameIndex, GWorldPtr* frame, int16_t width,
                                      int16_t height, HYRefDVQuality quality, int16_t* volume, HYFrameCookie* cookie) {
    auto& session = *static_cast<Session*>(instance);
    PluginHost* host = session.host;
    if (frame) *frame = nullptr;
    HYPluginResult forced;
    if (host->Fails(HostCallback::GetFrame, forced)) return forced;
    const RunRequest& run = session.runSpec;
    const int64_t k = int64_t(frameIndex) - run.startFrame;
    HostClip* clip = nullptr;
    int64_t index = 0;
    if (k >= 0 && k < run.frameCount) {
        clip = run.which == 2 ? run.clipB : run.clipA;
        index = (run.which == 2 ? run.firstB : run.firstA) + k;
    } else if (k >= run.frameCount && k < 2 * int64_t(run.frameCount)) {
        clip = run.clipB;
        index = run.firstB + (k - run.frameCount);
        host->counters_.secondFrameFetches++;
    }
    if (!clip || !frame || !cookie || width <= 0 || height <= 0) return kPluginCantGetNeededFrame;
    index = std::clamp<int64_t>(index, 0, std::max(0, clip->FrameCount() - 1));  // an editor holds the edge frame

    auto fetched = std::make_unique<Fetched>();
    fetched->frame = host->TakeBuffer(width, height);
    if (!fetched->frame) return kPluginOutOfMemory;
    if (!clip->ReadFrame(int32_t(index), fetched->frame, quality != kDVLowQuality, fetched->audio)) {
        host->GiveBackBuffer(fetched->frame);
        return kPluginCantGetNeededFrame;
    }
    fetched->cookie = host->nextCookie_++;
    fetched->clip = clip;
    *frame = fetched->frame;
    *cookie = fetched->cookie;
    if (volume) *volume = clip->Volume();
    host->fetched_.push_back(std::move(fetched));
    host->counters_.framesOut++;
    return kPluginOK;
}

HYPluginResult PluginHost::CbReleaseFrame(void* instance, HYFrameCookie cookie) {
    PluginHost* host = static_cast<Session*>(instance)->host;
    const auto found = host->FindFetched(cookie);
    if (found == host->fetched_.end()) return kPluginBadParams;
    host->GiveBackBuffer((*found)->frame);
    host->fetched_.erase(found);
    host->counters_.framesReleased++;
    HYPluginResult forced;
    if (host->Fails(HostCallback::ReleaseFrame, forced)) return forced;
    return kPluginOK;
}

HYPluginResult PluginHost::CbGetClipInfo(void* instance, int16_t, HYPluginClipInfo* info) {
    auto& session = *static_cast<Session*>(instance);
    HYPluginResult forced;
    if (session.host->Fails(HostCallback::GetClipInfo, forced)) return forced;
    if (!info) return kPluginBadParams;
    *info = session.clipInfo;
    return kPluginOK;
}

HYPluginResult PluginHost::CbSetClipInfo(void* instance, HYPluginClipInfo* info) {
    auto& session = *static_cast<Session*>(instance);
    if (!info) return kPluginBadParams;
    session.clipInfo = *info;
    session.clipInfoWritten = true;
    return kPluginOK;
}

HYPluginResult PluginHost::CbBlit(PixMapHandle src, PixMapHandle dst, const Rect* srcRect, const Rect* dstRect,
                                  int16_t opacity) {
    if (!src || !dst || !srcRect || !dstRect) return kPluginBadParams;
    HYPluginResult forced;
    if (lgCallingHost && lgCallingHost->Fails(HostCallback::Blit, forced)) return forced;
    if (opacity >= 255) {
        CopyBits(src, dst, srcRect, dstRect, srcCopy, nullptr);
        return kPluginOK;
    }
    // Partial opacity: scale into a scratch buffer, then mix it over the destination.
    GWorldPtr scratch = nullptr;
    const Rect bounds{0, 0, int16_t(dstRect->bottom - dstRect->top), int16_t(dstRect->right - dstRect->left)};
    if (NewGWorld(&scratch, 32, &bounds, nullptr, nullptr, 0) != noErr) return kPluginOutOfMemory;
    CopyBits(src, GetGWorldPixMap(scratch), srcRect, &bounds, srcCopy, nullptr);
    const PixMap& s = *GetGWorldPixMap(scratch);
    const int a = std::max<int>(0, opacity);
    for (int y = 0; y < bounds.bottom; y++) {
        const int dy = dstRect->top + y - dst->bounds.top;
        if (dy < 0 || dy >= dst->bounds.bottom - dst->bounds.top) continue;
        const auto* in = reinterpret_cast<const uint8_t*>(s.baseAddr) + size_t(y) * s.rowBytes;
        auto* out = reinterpret_cast<uint8_t*>(dst->baseAddr) + size_t(dy) * dst->rowBytes;
        for (int x = 0; x < bounds.right; x++) {
            const int dx = dstRect->left + x - dst->bounds.left;
            if (dx < 0 || dx >= dst->bounds.right - dst->bounds.left) continue;
            for (int c = 1; c < 4; c++)
                out[dx * 4 + c] = uint8_t((in[x * 4 + c] * a + out[dx * 4 + c] * (255 - a) + 127) / 255);
        }
    }
    DisposeGWorld(scratch);
    return kPluginOK;
}

HYPluginResult PluginHost::CbGetTransitionInfo(void* instance, HYPluginTransitionInfo** info) {
    PluginHost* host = static_cast<Session*>(instance)->host;
    HYPluginResult forced;
    if (host->Fails(HostCallback::GetTransitionInfo, forced)) return forced;
    if (!info) return kPluginBadParams;
    *info = new HYPluginTransitionInfo{host->speed, {kPluginDirectionRight}};
    host->counters_.infosOut++;
    return kPluginOK;
}

HYPluginResult PluginHost::CbReleaseTransitionInfo(void* instance, HYPluginTransitionInfo* info) {
    PluginHost* host = static_cast<Session*>(instance)->host;
    if (!info) return kPluginBadParams;
    delete info;
    host->counters_.infosReleased++;
    return kPluginOK;
}

HYPluginResult PluginHost::CbMixAudio(void* instance, HYFrameCookie cookie, int16_t level) {
    auto& session = *static_cast<Session*>(instance);
    PluginHost* host = session.host;
    const auto found = host->FindFetched(cookie);
    if (found == host->fetched_.end()) return kPluginBadParams;
    HYPluginResult forced;
    if (host->Fails(HostCallback::MixAudio, forced)) return forced;
    if (!host->bus_) return kPluginOK;
    const std::vector<float>& audio = (*found)->audio;
    std::vector<float>& bus = *host->bus_;
    if (bus.size() < audio.size()) bus.resize(audio.size(), 0.0f);
    const int channels = std::max(1, host->audioChannels);
    const size_t frames = audio.size() / size_t(channels);
    const RunRequest& run = session.runSpec;
    int16_t& last = (*found)->clip == run.clipB && run.clipB != run.clipA ? session.lastLevelB : session.lastLevelA;
    const float from = host->smoothLevels ? float(last) : float(level);
    const float to = float(level);
    for (size_t f = 0; f < frames; f++) {
        const float gain = (from + (to - from) * float(f + 1) / float(frames)) / 256.0f;
        for (int c = 0; c < channels; c++) bus[f * channels + c] += audio[f * channels + c] * gain;
    }
    last = level;
    return kPluginOK;
}

std::string BundleBesideProgram(const std::string& program) {
    const size_t slash = program.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : program.substr(0, slash);
    const std::string installed = dir + "/../lib/blockwaves/kpblockwaves.bundle";
    if (IsDir(installed)) return installed;
    // A build tree is known by its CMakeCache.txt, so no other folder on the way is ever taken for one.
    const std::string buildTree = dir + "/" BW_BUILD_TREE_FROM_PROGRAM;
    if (access((buildTree + "/CMakeCache.txt").c_str(), F_OK) == 0 && IsDir(buildTree + "/kpblockwaves.bundle"))
        return buildTree + "/kpblockwaves.bundle";
    return installed;  // missing: the error names where it was looked for
}

std::string DefaultBundlePath() {
    if (const char* env = std::getenv("BLOCKWAVES_BUNDLE"); env && *env) return env;
    // The running program itself, whatever argv[0] says and whichever link it was started through.
    // Without /proc nothing is looked for (never from the current folder): the error names /proc.
    char resolved[4096];
    return realpath("/proc/self/exe", resolved) ? BundleBesideProgram(resolved) : "/proc/self/exe";
}
