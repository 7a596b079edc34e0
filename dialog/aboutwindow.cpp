#include "dialog/aboutwindow.h"

#include <string>

#include "dialog/carbonmacros.h"
#include "host/PluginDefines.h"
#include "imaging/commonprocs.h"

namespace {
WindowRef lgTheWindow = nullptr;
int16_t lgItemHit = 0;
}  // namespace

OSStatus AboutDialogHandler(EventHandlerCallRef, EventRef TheEvent, void* UserData) {
    const std::string code = EventCommandText(TheEvent);
    lgItemHit = -1;
    if (code == "ok  " || code == "not!") {
        lgItemHit = code == "ok  " ? 1 : 2;
        QuitAppModalLoopForWindow(static_cast<WindowRef>(UserData));
        return noErr;
    }
    return eventNotHandledErr;
}

void ShowAbout() {
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    lgTheWindow = OpenNibWindowFromCFBundle(cMyBundleID, "about", "about");
    if (lgTheWindow) {
        const EventTypeSpec commands = {kEventClassCommand, kEventCommandProcess};
        InstallWindowEventHandler(lgTheWindow, AboutDialogHandler, 1, &commands, lgTheWindow, nullptr);
        SimpleSetControlText(lgTheWindow, FourCC("Plug"), 1, cMyClearName);
        SimpleSetControlText(lgTheWindow, FourCC("Vers"), 1, std::string("Version ") + cPlugVersion);
        ShowWindow(lgTheWindow);
        SelectWindow(lgTheWindow);
        RunAppModalLoopForWindow(lgTheWindow);
        DisposeWindow(lgTheWindow);
        lgTheWindow = nullptr;
    }
    SetGWorld(savePort, saveDevice);
}
