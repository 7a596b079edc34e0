// Makes the dialog's pictures for the documentation: each window mid-transition, offscreen, with
// the built bundle's interface files and Qt backend and frames from a small fake host (clip A as
// colour bars, clip B as a gradient). Usage: dialogshots FOLDER (see `make screenshots`).
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "dialog/qtdriver.h"
#include "host/HYPluginRecords.h"
#include "host/fxbridge.h"
#include "imaging/commonprocs.h"
#include "imaging/pixellib.h"
#include "platform/Bundle.h"
#include "platform/HIToolbox.h"
#include "platform/Memory.h"

namespace {
std::map<HYFrameCookie, GWorldPtr> lgFrames;
HYFrameCookie lgNextCookie = 1;
constexpr int32_t cFirstB = 1030;  // host frames from here on belong to clip B

void PaintPicture(GWorldPtr gw, int32_t index) {
    static const PixRec bars[7] = {{255, 192, 192, 192}, {255, 192, 192, 0}, {255, 0, 192, 192}, {255, 0, 192, 0}, {255, 192, 0, 192}, {255, 192, 0, 0}, {255, 0, 0, 192}};
    PixMapHandle pm = GetGWorldPixMap(gw);
    const Rect b = GetPortRect(gw);
    for (int y = 0; y < b.bottom; y++) {
        PixRec* row = PixRow(GetPixBaseAddr(pm), GetPixRowBytes(pm), y);
        for (int x = 0; x < b.right; x++)
            row[x] = index < cFirstB ? bars[x * 7 / b.right]
                                     : PixRec{255, uint8_t(255 * x / b.right), uint8_t(90 + index % 40),
                                              uint8_t(255 * y / b.bottom)};
    }
}

HYPluginResult GetFrame(void*, int32_t index, GWorldPtr* frame, int16_t w, int16_t h, HYRefDVQuality, int16_t* volume,
                        HYFrameCookie* cookie) {
    *frame = AllocateGWorld(w, h);
    PaintPicture(*frame, index);
    *volume = 255;
    *cookie = lgNextCookie++;
    lgFrames[*cookie] = *frame;
    return kPluginOK;
}
HYPluginResult ReleaseFrame(void*, HYFrameCookie cookie) {
    DisposeGWorld(lgFrames[cookie]);
    lgFrames.erase(cookie);
    return kPluginOK;
}

// Opens the dialog for `media` (1 NTSC, 2 PAL, 3 HD) as the custom button does and runs `script`
// inside it; the script ends it.
void Shoot(PluginDataPtr config, int16_t media, std::function<void()> script) {
    static const int16_t sizes[4][2] = {{720, 480}, {720, 480}, {720, 576}, {960, 540}};
    config->MediaType = media;
    HYProcs procs{};
    procs.GetFrame = GetFrame;
    procs.ReleaseFrame = ReleaseFrame;
    HYPluginParams params{};
    params.procs = &procs;
    params.interfaceVersion = 4;
    GWorldPtr output = AllocateGWorld(720, 480);
    params.frame = output;
    GWorldPtr frame = nullptr;
    int16_t volume;
    HYFrameCookie cookie;
    GetFrame(nullptr, 1000, &frame, sizes[media][0], sizes[media][1], kDVHighQuality, &volume, &cookie);
    Then(std::move(script));
    ConfigurePlugIn(config, frame, &params, 1000, 30, 3);
    ReleaseFrame(nullptr, cookie);
    DisposeGWorld(output);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialogshots FOLDER\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    // The dialog saves what OK confirms: a private configuration folder keeps the user's own.
    std::string home = (std::filesystem::temp_directory_path() / "bw-shots-XXXXXX").string();
    if (!::mkdtemp(home.data())) return 1;
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    if (!qEnvironmentVariable("QT_QPA_PLATFORM").startsWith("offscreen")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CFBundleSetOwnBundlePath(BW_BUNDLE);
    ToolboxSetBackendPath(std::string(BW_BUNDLE) + "/Contents/Linux/kpblockwaves-ui.so");

    PluginDataPtr config = reinterpret_cast<PluginDataPtr>(NewPtrClear(sizeof(PluginDataRec)));
    InitMyPlugIn(config);
    config->Sliders[1] = 24;
    config->Sliders[2] = 16;
    config->Method = 17;
    const char* names[4] = {"", "dialog-ntsc.png", "dialog-pal.png", "dialog-hd.png"};
    bool saved = true;
    auto save = [&saved, dir](QWidget* window, const char* name) {
        if (!window || !window->grab().save(dir + "/" + name)) {
            std::fprintf(stderr, "dialogshots: cannot write %s/%s\n", qPrintable(dir), name);
            saved = false;
        }
    };
    for (int16_t media : {1, 2, 3}) {
        Shoot(config, media, [&] {
            Drag(Get<QSlider>("ClpS"), 14);
            save(Window(), names[media]);
            if (media == 1) {
                WhenOpen("about", [&] {
                    save(Window("about"), "dialog-about.png");
                    Click("ok  ", "about");
                });
                Click("Info");
                DragOnPreview(QPoint(2, 2), {QPoint(40, 30), QPoint(90, 60)}, {},
                              [&] { save(Window(), "dialog-drag.png"); });
            }
            Click("not!");
        });
    }
    DisposePtr(reinterpret_cast<Ptr>(config->Rects));
    DisposePtr(reinterpret_cast<Ptr>(config));
    std::filesystem::remove_all(home);
    return saved ? 0 : 1;
}
