#include "dialog/configdlghandler.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "dialog/aboutwindow.h"
#include "dialog/carbonmacros.h"
#include "dialog/dlgUtils.h"
#include "dialog/sliderHandlers.h"
#include "engine/lineEffect.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"
#include "imaging/commonprocs.h"
#include "settings/DataHandling.h"
#include "settings/prefsloader.h"

namespace {
WindowRef lgTheWindow = nullptr;
int16_t lgItemHit = 0;
PluginDataRec TheBackup;

// Sets a control and takes back the value it accepted, so a record from a damaged default shows,
// and from now on holds, what the control can show.
int32_t SetAndRead(ControlRef control, int32_t value) {
    if (!control) return value;
    SetControl32BitValue(control, value);
    return GetControl32BitValue(control);
}

void OpenManual() {
    CFBundleRef bundle = CFBundleGetBundleWithIdentifier(cMyBundleID);
    if (!bundle) Notify("Cannot Locate Bundle. Proceed with caution. Crash imminent");
    const std::string manual = bundle ? CFBundleCopyResourceURL(bundle, "manual", "pdf") : std::string();
    if (manual.empty()) {
        Notify("Cannot locate manual in bundle");
        return;
    }
    FSRef ref;
    if (!CFURLGetFSRef(manual, &ref)) return;
    // The user can still read the manual without the desktop's help: say where it is.
    const OSStatus err = LSOpenFSRef(&ref, nullptr);
    if (err == kLSApplicationNotFoundErr)
        StandardWarning("No program to show the manual was found.",
                        "The manual is a PDF file; open it with a PDF viewer:\n" + manual, "OK", "");
    else if (err != noErr)
        StandardWarning("The manual could not be shown (error " + Num2Text(err) + ").",
                        "The manual is a PDF file; open it with a PDF viewer:\n" + manual, "OK", "");
}

void StepClip(int32_t delta) {
    PluginWorkSpace& ws = gConfigWorkSpace;
    int32_t v = GetControl32BitValue(ws.ClipSlider);
    if (delta > 0 ? ws.MaxFrameIndex <= v : v <= 0) return;
    v += delta;
    ws.CurrFrameIndex = v;
    SetControl32BitValue(ws.ClipSlider, v);
    AccessRenderAndBlit(v);
    ShowClipPosition(ws.TheWindow, v);
}
}  // namespace

const char* ConfigWindowName(int16_t MediaType) {
    switch (MediaType) {
        case 2: return "configPAL";
        case 3: return "configHD";
        default: return "configNTSC";
    }
}

Boolean DoConfig(PluginDataPtr TheConfig) {
    Assert(TheConfig, "Nil theConfig on DoConfig");
    std::memcpy(&TheBackup, TheConfig, sizeof TheBackup);
    bool shown = false;
    do {
        lgItemHit = 2;  // a window that cannot be opened, or closes without a command, cancels
        lgTheWindow = OpenNibWindowFromCFBundle(cMyBundleID, cMyPluginName, ConfigWindowName(TheConfig->MediaType));
        if (lgTheWindow) {
            shown = true;
            const EventTypeSpec commands = {kEventClassCommand, kEventCommandProcess};
            InstallWindowEventHandler(lgTheWindow, TheDialogHandler, 1, &commands, lgTheWindow, nullptr);
            SetupDialog(lgTheWindow, TheConfig);
            ShowWindow(lgTheWindow);
            SetPortWindowPort(lgTheWindow);
            SelectWindow(lgTheWindow);
            RunAppModalLoopForWindow(lgTheWindow);
            DisposeWindow(lgTheWindow);
            lgTheWindow = nullptr;
            gConfigWorkSpace.TheWindow = nullptr;
            if (lgItemHit < 0 || lgItemHit > 2) lgItemHit = 2;
        }
    } while (lgItemHit != 1 && lgItemHit != 2);
    if (lgItemHit == 1) {
        SaveConfig(TheConfig);
    } else {
        // The prepared picture may have been made again meanwhile and the old one released: the
        // record keeps the live one.
        CGImageRef live = TheConfig->TheRendered;
        std::memcpy(TheConfig, &TheBackup, sizeof TheBackup);
        TheConfig->TheRendered = live;
    }
    return shown;
}

void SetupDialog(WindowRef TheWindow, PluginDataPtr TheConfig) {
    Assert(TheWindow, "Nil Window in SetupDialog");
    Assert(TheConfig, "Nil theConfig in SetupDialog");
    PluginWorkSpace& ws = gConfigWorkSpace;
    ws.TheWindow = TheWindow;
    ws.TheFrameCtrl = SimpleGetControlByID(TheWindow, FourCC("Clip"), 1);
    Assert(ws.TheFrameCtrl, "Cannot acces Clip 1 CTRL");
    SetupColors(TheWindow, TheConfig);
    SetupSliders(TheWindow);
    SimpleHideControl(TheWindow, FourCC("Rect"), 1);
    SimpleHideControl(TheWindow, FourCC("Rect"), 2);
    // A saved default out of range opens with the values a render uses (a media type outside 1..3
    // opened the NTSC window: the menu says so).
    ClampConfig(TheConfig);
    SimpleSetControlValueByID(TheWindow, FourCC("Medi"), 1, TheConfig->MediaType);
    Config2Dlg(TheConfig);
    CalcAndKeepImageProps();
    RenderLineArt(TheConfig);
    ReRenderAndBlit();
}

void SetupColors(WindowRef TheWindow, PluginDataPtr TheConfig) {
    for (int16_t i = 1; i <= 6; i++) {
        ControlRef box = SimpleGetControlByID(TheWindow, FourCC("Colr"), i);
        Assert(box, "Cannot allocate color" + Num2Text(i) + " in SetupDialog");
        SetControl32BitMinimum(box, 0);
        SetControl32BitMaximum(box, 16777215);
        SetControl32BitValue(box, RGBColor2LongInt(TheConfig->Colors[i]));
        if (i == 1) {
            ShowControl(box);
            SimpleShowControl(TheWindow, FourCC("CLgd"), i);
        } else {
            HideControl(box);
            SimpleHideControl(TheWindow, FourCC("CLgd"), i);
        }
        gConfigWorkSpace.Colors[i] = box;
    }
}

void Config2Dlg(PluginDataPtr TheConfig) {
    PluginWorkSpace& ws = gConfigWorkSpace;
    for (int16_t i = 1; i <= 6; i++) SetControl32BitValue(ws.Colors[i], RGBColor2LongInt(TheConfig->Colors[i]));
    for (int16_t i = 1; i <= 6; i++) {
        if (i <= 3) TheConfig->Sliders[i] = int16_t(SetAndRead(ws.Sliders[i], TheConfig->Sliders[i]));
        else SetControl32BitValue(ws.Sliders[i], TheConfig->Sliders[i]);
        SimpleSetControlText(ws.TheWindow, FourCC("Lgnd"), i, Num2Text(TheConfig->Sliders[i]) + "%");
    }
    WindowRef w = ws.TheWindow;
    TheConfig->Method = int16_t(SetAndRead(SimpleGetControlByID(w, FourCC("Meth"), 1), TheConfig->Method));
    SimpleSetControlValueByID(w, FourCC("Rand"), 1, TheConfig->RandomizedDuration ? 1 : 0);
    SimpleSetControlValueByID(w, FourCC("Keep"), 1, TheConfig->KeepProps ? 1 : 0);
    ReRenderAndBlit();
}

OSStatus TheDialogHandler(EventHandlerCallRef, EventRef TheEvent, void* UserData) {
    const std::string code = EventCommandText(TheEvent);
    WindowRef window = static_cast<WindowRef>(UserData);
    PluginWorkSpace& ws = gConfigWorkSpace;
    PluginDataPtr config = ws.TheConfig;
    lgItemHit = -1;

    if (code == "ok  " || code == "not!") {
        lgItemHit = code == "ok  " ? 1 : 2;
        QuitAppModalLoopForWindow(window);
    } else if (code == "Info") {
        ShowAbout();
    } else if (code.compare(0, 3, "Col") == 0 && code[3] >= '1' && code[3] <= '6') {
        const int16_t i = int16_t(code[3] - '0');
        // A box holds 8 bits a channel: the record's 16-bit colour changes only when the box's does,
        // so a cancelled pick leaves it exactly as it was.
        const int32_t packed = SimpleGetControlValueByID(window, FourCC("Colr"), i);
        if (packed != RGBColor2LongInt(config->Colors[i])) config->Colors[i] = LongInt2RGBColor(packed);
        ReRenderAndBlit();
    } else if (code == "Adva") {
        StepClip(+1);
    } else if (code == "Revi") {
        StepClip(-1);
    } else if (code == "Rset") {
        const int16_t mediaType = config->MediaType;
        ResetConfig(config, false);
        config->MediaType = mediaType;
        Config2Dlg(config);
        LayOutPreviewTiles();
        RenderLineArt(config);
        ReRenderAndBlit();
        return eventNotHandledErr;
    } else if (code == "Medi") {
        const int16_t previous = config->MediaType;
        config->MediaType = int16_t(std::clamp(SimpleGetControlValueByID(window, FourCC("Medi"), 1), 1, 3));
        if (config->MediaType != previous) {
            lgItemHit = 0;
            QuitAppModalLoopForWindow(window);
        }
    } else if (code == "Sall") {
        PutCurrentRel(SetRelRect(0, 0, 1, 1));
        ReRenderAndBlit();
    } else if (code == "Help") {
        OpenManual();
    } else if (code == "Keep") {
        config->KeepProps = SimpleGetControlValueByID(window, FourCC("Keep"), 1) == 1;
        CalcAndKeepImageProps();
        ReRenderAndBlit();
    } else if (code == "Meth") {
        config->Method = int16_t(SimpleGetControlValueByID(window, FourCC("Meth"), 1));
        LayOutPreviewTiles();
        ReRenderAndBlit();
    } else if (code == "Rand") {
        config->RandomizedDuration = SimpleGetControlValueByID(window, FourCC("Rand"), 1) == 1;
        CalcAndKeepImageProps();
        LayOutPreviewTiles();
        ReRenderAndBlit();
    } else {
        return eventNotHandledErr;
    }
    return noErr;
}
