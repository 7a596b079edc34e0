#include "editor/hostcore/hostcore.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/Memory.h"

#ifndef BW_BUILD_BUNDLE_DIR
#define BW_BUILD_BUNDLE_DIR ""
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
    p.NewPtr = HostNewPtrClear;
    p.NewPtrClear = HostNewPtrClear;
    p.DisposePtr = HostDisposePtr;
    p.GetFrame = CbGetFrame;
    p.ReleaseFrame = CbReleaseFrame;
    p.GetClipInfo = CbGetClipInfo;
    p.SetClipInfo = CbSetClipInfo;
    p.Blit = CbBlit;
    p.GetTransitionInfo = CbGetTransitionInfo;
    p.ReleaseTransitionInfo = CbReleaseTransitionInfo;
    p.MixAudio = CbMixAudio;
    host->params_.instance = host.get();
    host->params_.procs = &host->procs_;
    return host;
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
    constexpr size_t kSpares = 4;
    if (spare_.size() < kSpares) {
        spare_.push_back(gw);
        return;
    }
    DisposeGWorld(gw);
}

PluginHost::~PluginHost() {
    for (auto& f : fetched_) DisposeGWorld(f->frame);
    for (GWorldPtr gw : spare_) DisposeGWorld(gw);
    // The bundle keeps process-wide state (its master configuration) for the life of the process,
    // as it would inside an editor: it stays loaded.
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

int32_t PluginHost::Call(int16_t which, HYPluginSelector selector) {
    params_.interfaceVersion = interfaceVersion;
    params_.selector = selector;
    PluginHost* outer = lgCallingHost;
    lgCallingHost = this;
    const int32_t result = main_(which, &params_);
    lgCallingHost = outer;
    return result;
}

int32_t PluginHost::GetInfo(int16_t which) { return Call(which, kPlugGetInfo); }

int32_t PluginHost::Begin(const RunSpec& run) {
    run_ = run;
    clipInfo_ = HYPluginClipInfo{};
    clipInfo_.volume = 255;
    clipInfoWritten_ = false;
    // Clip A was playing before the transition; clip B was playing only if it is not appearing.
    lastLevelA_ = 256;
    lastLevelB_ = run.which == 2 ? 0 : 256;
    const int32_t info = GetInfo(run.which);  // an editor describes the transition before rendering it
    if (info != kPluginOK) return info;
    params_.startFrame = run.startFrame;
    params_.frameCount = run.frameCount;
    params_.renderFrame = 0;
    params_.proxyOnly = run.proxy;
    params_.frameRect = Rect{0, 0, run.height, run.width};
    return Call(run.which, kPlugInitialize);
}

int32_t PluginHost::Frame(int32_t renderFrame, GWorldPtr output, std::vector<float>* mixed) {
    params_.renderFrame = renderFrame;
    params_.frame = output;
    std::vector<float> scratch;
    bus_ = mixed ? mixed : &scratch;
    bus_->clear();
    busSamples_ = 0;
    const int32_t result = Call(run_.which, kPlugDoFrame);
    bus_ = nullptr;
    return result;
}

int32_t PluginHost::End() { return Call(run_.which, kPlugTerminate); }

int32_t PluginHost::Placeholder(const RunSpec& run, int32_t bestThumbOffset, GWorldPtr output) {
    // The placeholder is a run of its own; a run in progress keeps its clips afterwards.
    const RunSpec inProgress = run_;
    struct Restore {
        PluginHost& host;
        const RunSpec& run;
        ~Restore() { host.run_ = run; }
    } restore{*this, inProgress};
    run_ = run;
    const int32_t info = GetInfo(run.which);
    if (info != kPluginOK) return info;
    params_.getInfo.bestThumbOffset = bestThumbOffset;
    params_.startFrame = run.startFrame;
    params_.frameCount = run.frameCount;
    params_.proxyOnly = run.proxy;
    params_.frameRect = Rect{0, 0, run.height, run.width};
    params_.frame = output;
    std::vector<float> scratch;
    bus_ = &scratch;
    const int32_t result = Call(run.which, kPlugFilePlaceHolder);
    bus_ = nullptr;
    return result;
}

HYPluginResult PluginHost::CbGetFrame(void* instance, int32_t frameIndex, GWorldPtr* frame, int16_t width,
                                      int16_t height, HYRefDVQuality quality, int16_t* volume, HYFrameCookie* cookie) {
    auto* host = static_cast<PluginHost*>(instance);
    if (frame) *frame = nullptr;
    HYPluginResult forced;
    if (host->Fails(HostCallback::GetFrame, forced)) return forced;
    const RunSpec& run = host->run_;
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
    auto* host = static_cast<PluginHost*>(instance);
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
    auto* host = static_cast<PluginHost*>(instance);
    HYPluginResult forced;
    if (host->Fails(HostCallback::GetClipInfo, forced)) return forced;
    if (!info) return kPluginBadParams;
    *info = host->clipInfo_;
    return kPluginOK;
}

HYPluginResult PluginHost::CbSetClipInfo(void* instance, HYPluginClipInfo* info) {
    auto* host = static_cast<PluginHost*>(instance);
    if (!info) return kPluginBadParams;
    host->clipInfo_ = *info;
    host->clipInfoWritten_ = true;
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
    auto* host = static_cast<PluginHost*>(instance);
    HYPluginResult forced;
    if (host->Fails(HostCallback::GetTransitionInfo, forced)) return forced;
    if (!info) return kPluginBadParams;
    *info = new HYPluginTransitionInfo{host->speed, {kPluginDirectionRight}};
    host->counters_.infosOut++;
    return kPluginOK;
}

HYPluginResult PluginHost::CbReleaseTransitionInfo(void* instance, HYPluginTransitionInfo* info) {
    auto* host = static_cast<PluginHost*>(instance);
    if (!info) return kPluginBadParams;
    delete info;
    host->counters_.infosReleased++;
    return kPluginOK;
}

HYPluginResult PluginHost::CbMixAudio(void* instance, HYFrameCookie cookie, int16_t level) {
    auto* host = static_cast<PluginHost*>(instance);
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
    int16_t& last = (*found)->clip == host->run_.clipB && host->run_.clipB != host->run_.clipA ? host->lastLevelB_
                                                                                               : host->lastLevelA_;
    const float from = host->smoothLevels ? float(last) : float(level);
    const float to = float(level);
    for (size_t f = 0; f < frames; f++) {
        const float gain = (from + (to - from) * float(f + 1) / float(frames)) / 256.0f;
        for (int c = 0; c < channels; c++) bus[f * channels + c] += audio[f * channels + c] * gain;
    }
    last = level;
    return kPluginOK;
}

std::string DefaultBundlePath(const std::string& programPath) {
    if (const char* env = std::getenv("BLOCKWAVES_BUNDLE"); env && *env) return env;
    char resolved[4096];
    std::string program = realpath(programPath.c_str(), resolved) ? resolved : programPath;
    const size_t slash = program.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : program.substr(0, slash);
    const std::string installed = dir + "/../lib/blockwaves/kpblockwaves.bundle";
    if (IsDir(installed)) return installed;
    return BW_BUILD_BUNDLE_DIR;
}
