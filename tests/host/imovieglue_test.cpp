#include "host/iMovieGlue.h"

#include <gtest/gtest.h>

#include <vector>

#include "imaging/commonprocs.h"

namespace {
// A host whose GetFrame answers as the table row says, handing out cookie 77; the cookies it gets
// back are recorded.
struct FakeHost {
    HYPluginResult answer;
    bool givesFrame;
    GWorldPtr frame;
    int fetches = 0;
    std::vector<HYFrameCookie> released;
};
HYPluginResult FakeGetFrame(void* instance, int32_t, GWorldPtr* frame, int16_t, int16_t, HYRefDVQuality, int16_t*,
                            HYFrameCookie* cookie) {
    auto* host = static_cast<FakeHost*>(instance);
    host->fetches++;
    *frame = host->givesFrame ? host->frame : nullptr;
    *cookie = 77;
    return host->answer;
}
HYPluginResult FakeReleaseFrame(void* instance, HYFrameCookie cookie) {
    static_cast<FakeHost*>(instance)->released.push_back(cookie);
    return kPluginOK;
}

struct FetchCase {
    int32_t index;  // relative to a startFrame of 10
    HYPluginResult answer;
    bool givesFrame;
    int16_t result;
    bool released, copied;
};
class FrameIntoGW : public ::testing::TestWithParam<FetchCase> {};
TEST_P(FrameIntoGW, CopiesWhatTheHostGaveAndGivesEveryCookieBack) {
    const FetchCase c = GetParam();
    GWorldPtr hostFrame = AllocateGWorld(8, 6), output = AllocateGWorld(8, 6), target = AllocateGWorld(8, 6);
    ClearGW(hostFrame, RGBColor{0x1200, 0x3400, 0x5600});
    ClearGW(target, RGBColor{0, 0, 0});
    FakeHost host{c.answer, c.givesFrame, hostFrame, 0, {}};
    HYProcs procs{};
    procs.GetFrame = FakeGetFrame;
    procs.ReleaseFrame = FakeReleaseFrame;
    HYPluginParams params{};
    params.procs = &procs;
    params.instance = &host;
    params.startFrame = 10;
    params.frame = output;
    EXPECT_EQ(GetFrameIntoGW(target, &params, c.index, 1), c.result);
    EXPECT_EQ(host.fetches, c.index + 10 < 0 ? 0 : 1);
    EXPECT_EQ(host.released, c.released ? std::vector<HYFrameCookie>{77} : std::vector<HYFrameCookie>{});
    PixMapHandle pm = GetGWorldPixMap(target);
    EXPECT_EQ(PixRow(GetPixBaseAddr(pm), GetPixRowBytes(pm), 5)[7].GREEN, c.copied ? 0x34 : 0);
    for (GWorldPtr g : {hostFrame, output, target}) DisposeGWorld(g);
}
INSTANTIATE_TEST_SUITE_P(
    Answers, FrameIntoGW,
    ::testing::Values(FetchCase{0, kPluginOK, true, kPluginOK, true, true},
                      FetchCase{0, kPluginOK, false, kPluginCantGetNeededFrame, true, false},
                      FetchCase{3, kPluginTryAgainLater, false, kPluginTryAgainLater, false, false},
                      FetchCase{-10, kPluginOK, true, kPluginOK, true, true},
                      FetchCase{-11, kPluginOK, true, -1, false, false}));
}  // namespace
