// The built bundle driven through `main` by the host core, as an editor would.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "editor/hostcore/hostcore.h"
#include "engine/callpixelfx.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"
#include "imaging/commonprocs.h"
#include "platform/Memory.h"
#include "settings/DataHandling.h"
#include "settings/prefsloader.h"

namespace {
constexpr int kSamplesPerFrame = 1920;  // 48 kHz at 25 fps, stereo

// A clip of flat colour that changes with the frame index, with a checker so scaling shows, and a
// constant audio value so mixed levels can be read back exactly.
class TestClip : public HostClip {
public:
    TestClip(uint8_t tone, float sample, int32_t frames) : tone_(tone), sample_(sample), frames_(frames) {}
    int32_t FrameCount() const override { return frames_; }
    bool ReadFrame(int32_t index, GWorldPtr frame, bool highQuality, std::vector<float>& audio) override {
        lastHighQuality = highQuality;
        PixMapHandle pm = GetGWorldPixMap(frame);
        for (int y = 0; y < pm->bounds.bottom; y++) {
            auto* row = reinterpret_cast<PixRec*>(pm->baseAddr + y * pm->rowBytes);
            for (int x = 0; x < pm->bounds.right; x++)
                row[x] = PixRec{255, tone_, uint8_t(index * 7), uint8_t(((x / 8 + y / 8) % 2) * 200)};
        }
        audio.assign(2 * kSamplesPerFrame, sample_);
        return true;
    }
    bool lastHighQuality = false;

private:
    uint8_t tone_;
    float sample_;
    int32_t frames_;
};

// One process-wide host: the bundle keeps its master configuration for the life of the process,
// read once from a preferences file this environment writes first.
class BundleEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("bw-hostcore-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
        // A saved default with no random jitter, so the engine can be re-run here for comparison.
        PluginDataRec config{};
        ResetConfig(&config, true);  // also makes the tile field
        config.Method = 30;
        config.RandomizedDuration = false;
        config.Sliders[1] = 7;
        config.Sliders[2] = 5;
        config.Colors[1] = RGBColor{0, 0, 65535};
        config.StartRel = RelRect{0.125, 0.875, 0.25, 1.0};
        MakePrefsFile();
        ASSERT_TRUE(SaveConfig(&config));
        DisposePtr(reinterpret_cast<Ptr>(config.Rects));
        std::string error;
        host = PluginHost::Load(BW_TEST_BUNDLE, error).release();
        ASSERT_NE(host, nullptr) << error;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    static inline PluginHost* host = nullptr;
    std::filesystem::path dir;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new BundleEnvironment);

PluginHost& Host() { return *BundleEnvironment::host; }

struct GW {
    GWorldPtr gw = nullptr;
    GW(int w, int h) { gw = AllocateGWorld(int16_t(w), int16_t(h)); }
    ~GW() { DisposeGWorld(gw); }
};

struct InfoCase {
    int16_t which;
    float speed;
    int32_t frames;
    HYPluginType type;
    bool before, after;
};
class Info : public ::testing::TestWithParam<InfoCase> {};
TEST_P(Info, ReportsTypeFramesTakesAndTexts) {
    const InfoCase c = GetParam();
    Host().speed = c.speed;
    HYPluginParams& p = Host().Params();
    p.getInfo.framesToBeRendered = -7;
    p.getInfo.pluginFlags = 0;
    const auto before = Host().Counters();
    ASSERT_EQ(Host().GetInfo(c.which), kPluginOK);
    EXPECT_EQ(p.getInfo.pluginType, c.type);
    const bool known = c.which >= 1 && c.which <= 3;
    EXPECT_EQ(p.getInfo.framesToBeRendered, known ? c.frames : -7);
    EXPECT_EQ(p.getInfo.takeFromClipBefore, known ? (c.before ? c.frames : 0) : c.frames / 2);
    EXPECT_EQ(p.getInfo.takeFromClipAfter, known ? (c.after ? c.frames : 0) : c.frames / 2);
    EXPECT_EQ(p.getInfo.pluginFlags, 4103u);
    EXPECT_EQ(p.getInfo.minSpeedFrames, 10);
    EXPECT_EQ(p.getInfo.maxSpeedFrames, 120);
    EXPECT_TRUE(p.getInfo.mustTakeFromSingleClips);
    EXPECT_EQ(p.getInfo.defaultDirection, kPluginDirectionRight);
    const char* const labels[] = {"Columns", "Rows", "Tile duration"};
    for (int i = 0; i < 3; i++) EXPECT_STREQ(p.getInfo2.filterSliders[i].label, labels[i]);
    EXPECT_STREQ(p.getInfo2.filterSliders[0].minLabel, "1");
    EXPECT_STREQ(p.getInfo2.filterSliders[0].maxLabel, "100");
    EXPECT_FLOAT_EQ(p.getInfo2.filterSliders[2].defaultValue, 0.5f);
    EXPECT_STREQ(p.getInfo3.buttonTitle, "Blockwaves Settings...");
    EXPECT_LE(std::strlen(p.getInfo3.buttonTitle), 31u);
    EXPECT_STREQ(p.getInfo2.group, "Blockwaves");
    const auto after = Host().Counters();
    EXPECT_EQ(after.infosOut - before.infosOut, 1);
    EXPECT_EQ(after.infosReleased - before.infosReleased, 1);
}
INSTANTIATE_TEST_SUITE_P(
    VariantsAndSpeeds, Info,
    ::testing::Values(InfoCase{1, 0.0f, 10, kPluginTransitionAfterType, true, false},
                      InfoCase{2, 0.5f, 66, kPluginTransitionBeforeType, false, true},
                      InfoCase{3, 0.95f, 114, kPluginTransitionBetweenType, true, true},
                      InfoCase{3, 0.96f, 116, kPluginTransitionBetweenType, true, true},
                      InfoCase{1, 1.0f, 120, kPluginTransitionAfterType, true, false},
                      InfoCase{7, 0.5f, 66, kPluginTransitionBetweenType, false, false},
                      InfoCase{3, NAN, 10, kPluginTransitionBetweenType, true, true},
                      InfoCase{3, 7.5f, 120, kPluginTransitionBetweenType, true, true},
                      InfoCase{2, -INFINITY, 10, kPluginTransitionBeforeType, false, true}));

TEST(Entry, RefusesOldInterfacesAndMissingRecordsBeforeTouchingAnything) {
    EXPECT_EQ(Host().Main()(3, nullptr), kPluginBadParams);
    Host().interfaceVersion = 3;
    const auto before = Host().Counters();
    EXPECT_EQ(Host().Call(3, kPlugGetInfo), kPluginAppIsTooOld);
    EXPECT_EQ(Host().Counters().blocksAllocated, before.blocksAllocated);
    EXPECT_EQ(Host().Counters().infosOut, before.infosOut);
    Host().interfaceVersion = 4;
    for (int s : {int(kPlugDrawIcon), int(kPlugDrawThumbNail), int(kPlugCallOnceWithInitAndTerminate), 42})
        EXPECT_EQ(Host().Call(3, HYPluginSelector(s)), kPluginOK) << s;
    Host().Params().clientData = nullptr;
    EXPECT_EQ(Host().Call(3, kPlugDoFrame), kPluginBadParams);  // a frame without a run
}

// Frame k of a run against the engine run directly on the same configuration.
void ExpectEngineFrame(const RunRequest& run, int32_t k, GWorldPtr got) {
    PluginDataRec config{};
    config.Rects = reinterpret_cast<RectFieldPtr>(NewPtrClear(sizeof(RectField)));
    ResetConfig(&config, false);
    ReadConfig(&config);
    config.Which = run.which;
    const Rect frame = GetPortRect(got);
    InitRectangles(&config, run.frameCount, Rel2Rect(config.StartRel, frame));
    std::vector<float> audio;
    GW out(frame.right, frame.bottom), source(frame.right, frame.bottom);
    const bool fromB = run.which == 2;  // the one-clip variants show their own clip
    (fromB ? run.clipB : run.clipA)->ReadFrame((fromB ? run.firstB : run.firstA) + k, out.gw, true, audio);
    if (run.which == 3) run.clipB->ReadFrame(run.firstB + k, source.gw, true, audio);
    DoPixelEffect(run.which == 3 ? source.gw : nullptr, out.gw, &config, k, run.frameCount);
    DisposePtr(reinterpret_cast<Ptr>(config.Rects));
    PixMapHandle x = GetGWorldPixMap(got), y = GetGWorldPixMap(out.gw);
    for (int row = 0; row < frame.bottom; row++)
        for (int col = 0; col < frame.right; col++) {
            const uint8_t* p = reinterpret_cast<uint8_t*>(x->baseAddr) + row * x->rowBytes + col * 4;
            const uint8_t* q = reinterpret_cast<uint8_t*>(y->baseAddr) + row * y->rowBytes + col * 4;
            ASSERT_EQ(std::memcmp(p + 1, q + 1, 3), 0) << "frame " << k << " at " << col << "," << row;
        }
}

RunRequest SmallRun(int16_t which, TestClip& a, TestClip& b, int16_t height = 72) {
    return RunRequest{.which = which, .clipA = &a, .firstA = 30, .clipB = &b, .frameCount = 20, .width = 64, .height = height};
}

// A run of the two clips between them on a 64 x 72 frame; afterwards everything handed out is back.
class Run : public ::testing::Test {
protected:
    void TearDown() override {
        const HostCounters c = Host().Counters();
        EXPECT_EQ(c.framesOut, c.framesReleased);
        EXPECT_EQ(c.infosOut, c.infosReleased);
        EXPECT_EQ(c.blocksAllocated - c.blocksFreed, 1);  // only the master configuration stays
        EXPECT_EQ(c.unknownCookies, 0);
    }
    TestClip a{40, 0.5f, 100}, b{220, 0.25f, 100};
    GW out{64, 72};
};

// Every variant with the Memory Manager's blocks, and runs whose blocks come from plain calloc,
// which keeps no size the bundle could read.
struct RunCase {
    int16_t which;
    HostMemory memory;
};
class WholeRun : public Run, public ::testing::WithParamInterface<RunCase> {};
TEST_P(WholeRun, FramesEqualTheEngineAndEverythingHandedOutComesBack) {
    const int16_t which = GetParam().which;
    Host().UseMemory(GetParam().memory);
    struct Restore {
        ~Restore() { Host().UseMemory(HostMemory::Blocks); }
    } restore;
    const int32_t n = 20;
    RunRequest run = SmallRun(which, a, b);
    run.firstA = 60;
    run.frameCount = n;
    run.width = 88;
    const auto before = Host().Counters();
    ASSERT_EQ(Host().Begin(run), kPluginOK);
    GW wide(88, 72);
    for (int32_t k = 0; k < n; k++) {
        std::vector<float> mixed;
        ASSERT_EQ(Host().Frame(k, wide.gw, &mixed), kPluginOK) << k;
        ExpectEngineFrame(run, k, wide.gw);
        // Audio: the fetched picture's sound at level/256, plus clip B at full level between clips.
        const double percent = (k + 1.0) / n;
        const int levelA = which == 2 ? int(256 * percent) : int(256 * (1 - percent));
        const double first = which == 2 ? 0.25 : 0.5;
        const double expectedSample = first * levelA / 256.0 + (which == 3 ? 0.25 : 0.0);
        ASSERT_EQ(mixed.size(), size_t(2 * kSamplesPerFrame));
        EXPECT_NEAR(mixed[0], expectedSample, 1e-6) << "frame " << k;
    }
    ASSERT_EQ(Host().End(), kPluginOK);
    const auto after = Host().Counters();
    EXPECT_EQ(after.framesOut - before.framesOut, which == 3 ? 2 * n : n);
    EXPECT_EQ(after.secondFrameFetches - before.secondFrameFetches, which == 3 ? n : 0);
    // The clip's sound fades over the transition's length in the one-clip variants.
    EXPECT_TRUE(Host().ClipInfoWritten());
    EXPECT_EQ(bool(Host().ClipInfo().fadeOut), which == 1);
    EXPECT_EQ(bool(Host().ClipInfo().fadeIn), which == 2);
    EXPECT_EQ(Host().ClipInfo().ver2.fadeOutFrames, which == 1 ? n : 0);
    EXPECT_EQ(Host().ClipInfo().ver2.fadeInFrames, which == 2 ? n : 0);
}
INSTANTIATE_TEST_SUITE_P(Variants, WholeRun,
                         ::testing::Values(RunCase{1, HostMemory::Blocks}, RunCase{2, HostMemory::Blocks},
                                           RunCase{3, HostMemory::Blocks}, RunCase{2, HostMemory::Calloc},
                                           RunCase{3, HostMemory::Calloc}));

TEST_F(Run, ProxyQualityIsLowOnlyUpTo259Lines) {
    for (auto [height, high] : {std::pair<int16_t, bool>{240, false}, {259, false}, {260, true}}) {
        RunRequest run = SmallRun(3, a, b, height);
        run.proxy = true;
        ASSERT_EQ(Host().Begin(run), kPluginOK);
        GW frame(64, height);
        std::vector<float> mixed;
        a.lastHighQuality = b.lastHighQuality = !high;
        EXPECT_EQ(Host().Frame(0, frame.gw, &mixed), kPluginOK);
        EXPECT_EQ(a.lastHighQuality, high) << height;
        EXPECT_EQ(b.lastHighQuality, high) << height;
        EXPECT_TRUE(mixed.empty()) << "a proxy frame mixes no audio";
        EXPECT_EQ(Host().End(), kPluginOK);
    }
}

TEST_F(Run, NegativeAbsoluteFrameIndexFailsAndDrawsNothing) {
    RunRequest run = SmallRun(3, a, b);
    run.startFrame = -5;
    ASSERT_EQ(Host().Begin(run), kPluginOK);
    ClearGW(out.gw, RGBColor{0x1100, 0x2200, 0x3300});
    EXPECT_EQ(Host().Frame(0, out.gw, nullptr), kPluginFailed);
    EXPECT_EQ(PixRow(GetPixBaseAddr(GetGWorldPixMap(out.gw)), GetPixRowBytes(GetGWorldPixMap(out.gw)), 5)[5].RED, 0x11);
    EXPECT_EQ(Host().End(), kPluginOK);
}

struct FailCase {
    HostCallback callback;
    int nth;
    HYPluginResult result;
};
class CallbackFailure : public Run, public ::testing::WithParamInterface<FailCase> {};
TEST_P(CallbackFailure, FirstFailureIsTheFrameResultAndEveryFrameComesBack) {
    ASSERT_EQ(Host().Begin(SmallRun(3, a, b)), kPluginOK);
    Host().FailCallback(GetParam().callback, GetParam().nth, GetParam().result);
    EXPECT_EQ(Host().Frame(0, out.gw, nullptr), GetParam().result);
    Host().FailCallback(GetParam().callback, 0, kPluginOK);
    EXPECT_EQ(Host().Frame(1, out.gw, nullptr), kPluginOK);  // the next frame works again
    EXPECT_EQ(Host().End(), kPluginOK);
}
INSTANTIATE_TEST_SUITE_P(Callbacks, CallbackFailure,
                         ::testing::Values(FailCase{HostCallback::GetFrame, 1, kPluginCantGetNeededFrame},
                                           FailCase{HostCallback::GetFrame, 2, kPluginTryAgainLater},
                                           FailCase{HostCallback::Blit, 1, kPluginOutOfDiskSpace},
                                           FailCase{HostCallback::MixAudio, 1, kPluginCancel},
                                           FailCase{HostCallback::MixAudio, 2, kPluginFailed},
                                           FailCase{HostCallback::ReleaseFrame, 1, kPluginFailed},
                                           FailCase{HostCallback::ReleaseFrame, 2, kPluginUnimplemented}));

// The first frame a run renders lays its field out, whatever its index: a resumed render, a seek
// or a thumbnail. Frames in any order equal the engine's.
TEST_F(Run, FramesInAnyOrderEqualTheEngine) {
    const RunRequest run = SmallRun(3, a, b);
    ASSERT_EQ(Host().Begin(run), kPluginOK);
    for (int32_t k : {5, 0, 3, 19, 5}) {
        ASSERT_EQ(Host().Frame(k, out.gw, nullptr), kPluginOK) << k;
        ExpectEngineFrame(run, k, out.gw);
    }
    EXPECT_EQ(Host().End(), kPluginOK);
}

// A placeholder of another size and variant in the middle of a run: the thumbnail is the engine's
// frame at bestThumbOffset, and the run keeps its parameter record, its clips and its clip record.
TEST_F(Run, PlaceholderRunsOnItsOwnRecordsAndLeavesARunInProgressIntact) {
    TestClip c(90, 0.125f, 100);
    const RunRequest run = SmallRun(3, a, b);
    ASSERT_EQ(Host().Begin(run), kPluginOK);
    ASSERT_EQ(Host().Frame(0, out.gw, nullptr), kPluginOK);
    const HYPluginParams before = Host().Params();

    RunRequest other = SmallRun(1, c, c, 30);
    other.width = 40;
    other.frameCount = 12;
    other.startFrame = 500;
    other.proxy = true;
    GW thumb(40, 30);
    EXPECT_EQ(Host().Placeholder(other, 4, thumb.gw), kPluginOK);
    ExpectEngineFrame(other, 4, thumb.gw);

    const HYPluginParams& after = Host().Params();
    EXPECT_EQ(after.clientData, before.clientData);
    EXPECT_EQ(after.startFrame, before.startFrame);
    EXPECT_EQ(after.frameCount, before.frameCount);
    EXPECT_EQ(after.proxyOnly, before.proxyOnly);
    EXPECT_EQ(after.frameRect, before.frameRect);
    EXPECT_EQ(after.getInfo.pluginType, kPluginTransitionBetweenType);
    ASSERT_EQ(Host().Frame(1, out.gw, nullptr), kPluginOK);
    ExpectEngineFrame(run, 1, out.gw);
    EXPECT_EQ(Host().End(), kPluginOK);
    EXPECT_FALSE(Host().ClipInfo().fadeOut) << "the placeholder's fade reached the run's clip";
    EXPECT_EQ(Host().ClipInfo().ver2.fadeOutFrames, 0);
}

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();  // the sanitizer's allocator interface
#endif
// Bytes the process's heap hands out now, the bundle's included.
int64_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return int64_t(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 m = mallinfo2();
    return int64_t(m.uordblks + m.hblkhd);
#endif
}

// What the engine keeps from frame to frame goes with the run's end, and with a placeholder's.
TEST_F(Run, NothingFrameSizedStaysHeldAfterA1080pRun) {
    constexpr int kWid = 1920, kHig = 1080;
    constexpr int64_t kFrameBytes = int64_t(kWid) * kHig * 4;
    RunRequest run = SmallRun(3, a, b, kHig);
    run.width = kWid;
    run.frameCount = 3;
    ASSERT_EQ(Host().GetInfo(3), kPluginOK);  // the master configuration exists before counting
    Host().ReleaseSpareBuffers();
    const int64_t before = HeapInUse();
    {
        GW big(kWid, kHig);
        ASSERT_EQ(Host().Begin(run), kPluginOK);
        for (int32_t k = 0; k < run.frameCount; k++) ASSERT_EQ(Host().Frame(k, big.gw, nullptr), kPluginOK);
        ASSERT_EQ(Host().End(), kPluginOK);
        Host().ReleaseSpareBuffers();
        EXPECT_LT(HeapInUse() - before, kFrameBytes + kFrameBytes / 2) << "only the output frame is held";
        ASSERT_EQ(Host().Placeholder(run, 1, big.gw), kPluginOK);
        Host().ReleaseSpareBuffers();
        EXPECT_LT(HeapInUse() - before, kFrameBytes + kFrameBytes / 2) << "only the output frame is held";
    }
    EXPECT_LT(HeapInUse() - before, kFrameBytes / 2);
}

TEST_F(Run, RenderingLoadsNoWindowingLibrary) {
    const RunRequest run = SmallRun(3, a, b);
    ASSERT_EQ(Host().Begin(run), kPluginOK);
    ASSERT_EQ(Host().Frame(0, out.gw, nullptr), kPluginOK);
    ASSERT_EQ(Host().End(), kPluginOK);
    ASSERT_EQ(Host().Placeholder(run, 1, out.gw), kPluginOK);
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        EXPECT_EQ(line.find("libQt"), std::string::npos) << line;
        EXPECT_EQ(line.find("kpblockwaves-ui"), std::string::npos) << line;
    }
}

TEST_F(Run, BeginOnARunInProgressReleasesItFirst) {
    ASSERT_EQ(Host().Begin(SmallRun(3, a, b)), kPluginOK);
    ASSERT_EQ(Host().Begin(SmallRun(3, a, b)), kPluginOK);
    EXPECT_EQ(Host().End(), kPluginOK);
}

TEST_F(Run, FailedClipReadWritesNothingBack) {
    ASSERT_EQ(Host().Begin(SmallRun(1, a, b)), kPluginOK);
    Host().FailCallback(HostCallback::GetClipInfo, 1, kPluginFailed);
    EXPECT_EQ(Host().End(), kPluginOK);
    EXPECT_FALSE(Host().ClipInfoWritten());
}

TEST_F(Run, FrameCountsBelowOneNeverLeaveTheLevelRange) {
    for (int32_t n : {0, -3}) {
        RunRequest run = SmallRun(2, a, b);
        run.frameCount = n;
        ASSERT_EQ(Host().Begin(run), kPluginOK);
        std::vector<float> mixed;
        // The host has no frames for an empty transition; the bundle must answer, not divide by zero.
        EXPECT_EQ(Host().Frame(0, out.gw, &mixed), kPluginCantGetNeededFrame);
        EXPECT_TRUE(mixed.empty());
        EXPECT_EQ(Host().End(), kPluginOK);
    }
}

// The bundle is found from the program's own folder: installed beside <prefix>/bin, or in the build
// tree of a program in its editor/cli; a folder that is no build tree is never taken for one.
TEST(BundlePath, FoundFromTheProgramsFolderAlone) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("bw-bundlepath-" + std::to_string(getpid()));
    auto bundleAt = [](const fs::path& bundle) {
        fs::create_directories(bundle / "Contents");
        std::ofstream(bundle / "Contents" / "Info.plist") << "<plist/>";
    };
    bundleAt(root / "usr/lib/blockwaves/kpblockwaves.bundle");
    bundleAt(root / "build/kpblockwaves.bundle");
    std::ofstream(root / "build/CMakeCache.txt") << "";
    bundleAt(root / "nocache/kpblockwaves.bundle");
    const struct {
        const char* program;
        const char* bundle;
    } cases[] = {
        {"usr/bin/blockwaves", "usr/bin/../lib/blockwaves/kpblockwaves.bundle"},
        {"build/editor/cli/blockwaves", "build/editor/cli/../../kpblockwaves.bundle"},
        {"nocache/editor/cli/blockwaves", "nocache/editor/cli/../lib/blockwaves/kpblockwaves.bundle"},
        {"opt/bin/blockwaves", "opt/bin/../lib/blockwaves/kpblockwaves.bundle"},
    };
    for (const auto& c : cases) {
        fs::create_directories((root / c.program).parent_path());
        EXPECT_EQ(BundleBesideProgram((root / c.program).string()), (root / c.bundle).string()) << c.program;
    }
    fs::remove_all(root);
}
}  // namespace
