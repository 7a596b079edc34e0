// Pictures of a transition rather than a render: stills at chosen points, the placeholder an
// editor shows in its browser, the configuration dialog opened as an editor's button does, and the
// contact sheet that shows stills side by side.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "editor/cli/render.h"
#include "editor/cli/render_p.h"
#include "platform/PNGWriter.h"
#include "platform/PascalStrings.h"
#include "platform/QuickDraw.h"

namespace bw {
using namespace detail;

Failure RenderStills(PluginHost& host, Input& first, Input* second, Variant variant, int32_t frames, int width,
                     int height, const std::vector<double>& fractions, std::vector<GWorldPtr>& stills,
                     int32_t* used) {
    Timeline t;
    if (Failure f = PlanTimeline(first, second, variant, frames, first.source->FrameRate(), t)) return f;
    if (used) *used = t.n;
    std::vector<int32_t> wanted;
    for (double f : fractions) wanted.push_back(std::clamp(int32_t(std::lround(f * (t.n - 1))), 0, t.n - 1));
    OwnedGW out(width, height);
    if (!out.gw) return {kExitFailed, "out of memory"};
    if (const int32_t r = host.Begin(MakeRun(t, variant, t.n, width, height, false)); r != kPluginOK)
        return {kExitPlugin, "the transition refused to start (result " + std::to_string(r) + ")"};
    const int32_t last = *std::max_element(wanted.begin(), wanted.end());
    // Every frame from 0 on is rendered: frame 0 lays out the tile field.
    for (int32_t k = 0; k <= last; k++) {
        if (StopSignal()) {
            host.End();
            return StopFailure();
        }
        const int32_t r = host.Frame(k, out.gw, nullptr);
        if (r != kPluginOK) {
            host.End();
            return FrameFailure(t, k, r);
        }
        for (int32_t w : wanted)
            if (w == k) {
                OwnedGW copy(width, height);
                const Rect bounds{0, 0, int16_t(height), int16_t(width)};
                CopyBits(GetPortBitMapForCopyBits(out.gw), GetPortBitMapForCopyBits(copy.gw), &bounds, &bounds,
                         srcCopy, nullptr);
                stills.push_back(copy.gw);
                copy.gw = nullptr;
            }
    }
    host.End();
    return {};
}

Failure WriteThumbnail(PluginHost& host, Input& first, Input& second, int32_t frames, int width, int height,
                       const std::string& path) {
    Timeline t;
    if (Failure f = PlanTimeline(first, &second, Variant::Between, frames, first.source->FrameRate(), t)) return f;
    OwnedGW out(width, height);
    if (!out.gw) return {kExitFailed, "out of memory"};
    const int32_t r = host.Placeholder(MakeRun(t, Variant::Between, t.n, width, height, false), t.n / 2, out.gw);
    if (r != kPluginOK) return FrameFailure(t, t.n / 2, r);
    return WriteContactSheet({out.gw}, {}, width, path);
}

Failure Configure(PluginHost& host, Input& first, Input* second, Variant variant, int32_t frames, int width,
                  int height) {
    Timeline t;
    if (Failure f = PlanTimeline(first, second, variant, frames, first.source->FrameRate(), t)) return f;
    const RunRequest run = MakeRun(t, variant, t.n, width, height, false);
    // An editor shows the transition's picture before the user opens its settings; that render
    // also tells the bundle where the transition's frames are.
    OwnedGW out(width, height);
    if (!out.gw) return {kExitFailed, "out of memory"};
    if (const int32_t r = host.Placeholder(run, 0, out.gw); r != kPluginOK) return FrameFailure(t, 0, r);
    // The bundle says on standard error why its dialog did not open.
    if (const int32_t r = host.CustomButton(run); r != kPluginOK)
        return {kExitPlugin, "the settings dialog did not open (result " + std::to_string(r) + "); your settings are unchanged"};
    return {};
}

Failure WriteContactSheet(const std::vector<GWorldPtr>& stills, const std::vector<std::string>& captions,
                          int thumbWidth, const std::string& path) {
    if (stills.empty()) return {kExitFailed, "nothing to show"};
    const Rect first = GetGWorldPixMap(stills[0])->bounds;
    const int tw = thumbWidth, th = std::max(1, thumbWidth * (first.bottom - first.top) / std::max(1, first.right - first.left));
    const int gap = 12, caption = 22;
    const int sheetW = int(stills.size()) * (tw + gap) + gap, sheetH = gap + th + caption + gap;
    OwnedGW sheet(sheetW, sheetH);
    if (!sheet.gw) return {kExitFailed, "out of memory"};
    CGrafPtr savePort;
    GetGWorld(&savePort, nullptr);
    SetGWorld(sheet.gw, nullptr);
    const RGBColor background{0x1C00, 0x1C00, 0x2000}, ink{0xEEEE, 0xEEEE, 0xEEEE};
    RGBForeColor(&background);
    const Rect all{0, 0, int16_t(sheetH), int16_t(sheetW)};
    PaintRect(&all);
    RGBForeColor(&ink);
    for (size_t i = 0; i < stills.size(); i++) {
        const int left = gap + int(i) * (tw + gap);
        const Rect src = GetGWorldPixMap(stills[i])->bounds;
        const Rect dst{int16_t(gap), int16_t(left), int16_t(gap + th), int16_t(left + tw)};
        CopyBits(GetPortBitMapForCopyBits(stills[i]), GetPortBitMapForCopyBits(sheet.gw), &src, &dst, srcCopy, nullptr);
        if (i < captions.size()) {
            unsigned char text[256];
            CopyToPStr(captions[i], text, 255);
            MoveTo(int16_t(left + (tw - StringWidth(text)) / 2), int16_t(gap + th + 15));
            DrawString(text);
        }
    }
    SetGWorld(savePort, nullptr);
    std::string error;
    if (!WriteGWorldPNG(sheet.gw, path, &error)) return {kExitOutput, error};
    return {};
}

}  // namespace bw
