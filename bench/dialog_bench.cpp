// One step of a parameter slider in the configuration dialog at HD (960 x 540, 100 x 100 tiles),
// against the memory floor of the same frame, in one run. The real dialog is opened offscreen with
// the built bundle's interface files; inside it each sample times:
//   engine: the slider's work (record update, InitPixelEffect, InitRectangles, RenderLineArt: the
//           layout) and the preview render (Source2Target, CallPixelEffect), mid-transition;
//   paint:  the preview control's repaint alone;
//   step:   the same through the slider's own action, plus the preview control's paint (the draw
//           event scaling the preview into the window's port, and its trip to the screen);
//   floor:  memcpy of three 960 x 540 frames.
// Prints the medians of 101 samples each and the ratios engine / floor and step / floor.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "dialog/carbonmacros.h"
#include "dialog/dlgUtils.h"
#include "dialog/sliderHandlers.h"
#include "engine/callpixelfx.h"
#include "engine/lineEffect.h"
#include "engine/recthandler.h"
#include "host/HYPluginRecords.h"
#include "host/fxbridge.h"
#include "imaging/commonprocs.h"
#include "platform/Bundle.h"
#include "platform/HIToolbox.h"
#include "platform/Memory.h"

namespace {
using Clock = std::chrono::steady_clock;

HYPluginResult GetFrame(void*, int32_t index, GWorldPtr* frame, int16_t w, int16_t h, HYRefDVQuality, int16_t* volume,
                        HYFrameCookie* cookie) {
    *frame = AllocateGWorld(w, h);
    PixMapHandle pm = GetGWorldPixMap(*frame);
    for (int y = 0; y < h; y++) {
        PixRec* row = PixRow(GetPixBaseAddr(pm), GetPixRowBytes(pm), y);
        for (int x = 0; x < w; x++) row[x] = PixRec{255, uint8_t(x + index), uint8_t(y * 3), uint8_t(x ^ y)};
    }
    *volume = 255;
    *cookie = 1;
    return kPluginOK;
}
HYPluginResult ReleaseFrame(void*, HYFrameCookie) { return kPluginOK; }

template <class F>
double MedianMicros(int samples, F&& work) {
    std::vector<double> times;
    for (int i = 0; i < samples; i++) {
        const auto t0 = Clock::now();
        work(i);
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    std::nth_element(times.begin(), times.begin() + samples / 2, times.end());
    return times[size_t(samples / 2)];
}
}  // namespace

int main(int argc, char** argv) {
    // Offscreen, on a screen large enough for the HD window at its full size.
    const QString screen = QDir::temp().filePath("bw-dialog-bench-screen.json");
    QFile json(screen);
    if (json.open(QIODevice::WriteOnly))
        json.write(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 1920, "height": 1200,)"
                   R"( "logicalDpi": 96, "logicalBpi": 96, "dpr": 1}]})");
    json.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screen).toUtf8());
    QApplication app(argc, argv);
    CFBundleSetOwnBundlePath(BW_BENCH_BUNDLE);
    ToolboxSetBackendPath(std::string(BW_BENCH_BUNDLE) + "/Contents/Linux/kpblockwaves-ui.so");
    setenv("XDG_CONFIG_HOME", "/tmp/bw-dialog-bench", 1);

    auto* config = reinterpret_cast<PluginDataPtr>(NewPtrClear(sizeof(PluginDataRec)));
    InitMyPlugIn(config);
    config->MediaType = 3;
    config->Sliders[1] = config->Sliders[2] = 100;
    config->Method = 7;
    HYProcs procs{};
    procs.GetFrame = GetFrame;
    procs.ReleaseFrame = ReleaseFrame;
    HYPluginParams params{};
    params.procs = &procs;
    GWorldPtr output = AllocateGWorld(960, 540);
    params.frame = output;
    GWorldPtr frame = nullptr;
    int16_t volume;
    HYFrameCookie cookie;
    GetFrame(nullptr, 1000, &frame, 960, 540, kDVHighQuality, &volume, &cookie);

    constexpr int kSamples = 101;
    double layout = 0, render = 0, paint = 0, step = 0, floor = 0;
    QTimer::singleShot(0, [&] {
        PluginWorkSpace& ws = gConfigWorkSpace;
        ws.CurrFrameIndex = ws.MaxFrameIndex / 2;
        ReRenderAndBlit();
        layout = MedianMicros(kSamples, [&](int i) {
            ws.TheConfig->Sliders[3] = int16_t(40 + i % 20);
            InitPixelEffect(ws.TheConfig, ws.MaxFrameIndex, int16_t(ws.Wid), int16_t(ws.Hig));
            InitRectangles(ws.TheConfig, ws.MaxFrameIndex, GetActiveRelAsRect(ws.SourceClip));
            RenderLineArt(ws.TheConfig);
        });
        render = MedianMicros(kSamples, [&](int) {
            Source2Target(ws.SourceClip, ws.TheFXClip);
            CallPixelEffect(ws.TheOtherClip, ws.TheFXClip);
        });
        ControlRef slider = SimpleGetControlByID(ws.TheWindow, FourCC("Sldr"), 3);
        QWidget* preview = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            for (QWidget* c : w->findChildren<QWidget*>())
                if (c->property("signature").toString() == "Clip") preview = c;
        if (!preview) std::fprintf(stderr, "dialog_bench: no preview control found\n");
        // The paint as the screen gets it: the draw event into the window's port and the port's
        // pixels onto the widget's surface.
        QImage surface(preview ? preview->size() : QSize(1, 1), QImage::Format_RGB32);
        if (preview) paint = MedianMicros(kSamples, [&](int) { preview->render(&surface); });
        step = MedianMicros(kSamples, [&](int i) {
            SetControl32BitValue(slider, 40 + i % 20);
            Slider3Action(slider, 0);
            if (preview) preview->render(&surface);
        });
        std::vector<uint8_t> a(960 * 540 * 4, 1), b(a.size());
        floor = MedianMicros(kSamples, [&](int) {
            for (int k = 0; k < 3; k++) std::memcpy(b.data(), a.data(), a.size());
        });
        ProcessHICommand(ws.TheWindow, kHICommandCancel);
    });
    ConfigurePlugIn(config, frame, &params, 1000, 60, 3);
    std::printf("dialog slider step at 960x540, 100x100 tiles, medians of %d:\n", kSamples);
    const double engine = layout + render;
    std::printf("  layout %.0f us + render %.0f us = engine %.0f us; paint %.0f us; whole step %.0f us\n", layout,
                render, engine, paint, step);
    std::printf(
        "  floor (3 frame copies) %.0f us: engine / floor %.2f (target 3), render / floor %.2f;"
        " whole step %.2f ms (target 4)\n",
        floor, engine / floor, render / floor, step / 1000);
    return 0;
}
