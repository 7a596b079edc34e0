// The windowing half of the toolbox stand-in, as a plain C table of functions. The plug-in keeps
// every piece of its own state; windows, controls, the colour picker, alerts and the desktop opener
// live in a second shared object (Contents/Linux/kpblockwaves-ui.so, on Qt Widgets) that is loaded
// only when a window is first needed, so rendering never loads Qt.
// Everything runs on the thread that owns the application object; nothing here is thread-safe.
// Coordinates are window pixels, y growing downwards. Pixels of a window port are 4 bytes in memory
// order alpha, red, green, blue, rows rowBytes apart.
#pragma once
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct BWWin BWWin;  // a window made from an interface file
typedef struct BWCtl BWCtl;  // a control inside such a window

enum { kBWToolboxVersion = 2 };

// Part codes and tracking results as the toolbox numbers them.
enum { kBWMouseTrackingMouseUp = 2,
       kBWMouseTrackingMouseDragged = 5 };
// Modifier bits as the toolbox numbers them.
enum { kBWCmdKey = 256,
       kBWShiftKey = 512,
       kBWOptionKey = 2048,
       kBWControlKey = 4096 };
// Highlight states that keep a control from drawing its content.
enum { kBWHiliteDisabled = 254,
       kBWHiliteInactive = 255 };
// Custom control event kinds (class 'cntl').
enum { kBWControlHit = 1,
       kBWControlHitTest = 3,
       kBWControlDraw = 4,
       kBWControlActivate = 9,
       kBWControlTrack = 51,
       kBWControlOwningWindowChanged = 159 };

// What the plug-in side answers to the backend. Called on the application's thread.
typedef struct BWToolboxHost {
    // A command from a button, check box, popup, a custom control whose hit was not handled, or the
    // window itself ('ok  ' for Return, 'not!' for Escape or the close box). Returns 0 when a
    // handler took it, -9874 otherwise.
    int32_t (*Command)(BWWin* win, uint32_t commandID);
    // A slider moved by the user (every tracking step, keyboard and page steps too).
    void (*ControlAction)(BWCtl* ctl, int16_t part);
    // An event for a custom control. `part` is read (hit, track) and written (hit test).
    // Returns the handler's status, or -9874 when no class handler takes the event.
    int32_t (*CustomEvent)(BWCtl* ctl, uint32_t kind, int16_t v, int16_t h, uint32_t modifiers, int16_t* part);
} BWToolboxHost;

typedef struct BWToolboxBackend {
    int32_t version;  // kBWToolboxVersion
    // Makes sure an application object exists (creating one when the host has none). Returns 0, or
    // nonzero with a one-line reason in `why` when no display can be opened.
    int32_t (*Start)(char* why, size_t whyLen);

    // --- Windows ---
    // Loads window `name` (the object name of a top-level widget) from the interface file at
    // `uiPath`. Null with *err set (-43 no file, -192 no such window, -108 other) on failure.
    BWWin* (*LoadWindow)(const char* uiPath, const char* name, int32_t* err);
    void (*DisposeWindow)(BWWin* win);
    // The window's fixed content size, valid from LoadWindow on.
    void (*WindowSize)(BWWin* win, int32_t* width, int32_t* height);
    // The pixels custom controls draw into (the window's port). The backend shows, for each
    // custom control, the port's pixels under the control's bounds. May be called again.
    void (*SetWindowPort)(BWWin* win, const void* base, int32_t rowBytes, int32_t width, int32_t height);
    void (*ShowWindow)(BWWin* win);
    void (*SelectWindow)(BWWin* win);  // bring to front, give focus
    // Runs a nested application-modal event loop until QuitModal is called for the window.
    void (*RunModal)(BWWin* win);
    void (*QuitModal)(BWWin* win);

    // --- Controls ---
    // The control whose signature and ID properties match, or null.
    BWCtl* (*FindControl)(BWWin* win, uint32_t signature, int32_t id);
    BWWin* (*ControlOwner)(BWCtl* ctl);
    // Bounds in window coordinates: top, left, bottom, right.
    void (*ControlBounds)(BWCtl* ctl, int16_t bounds[4]);
    int32_t (*GetValue)(BWCtl* ctl);
    void (*SetValue)(BWCtl* ctl, int32_t value);  // clamped to the range; never sends an action
    int32_t (*GetMinimum)(BWCtl* ctl);
    int32_t (*GetMaximum)(BWCtl* ctl);
    void (*SetMinimum)(BWCtl* ctl, int32_t value);
    void (*SetMaximum)(BWCtl* ctl, int32_t value);
    void (*SetText)(BWCtl* ctl, const char* utf8);
    void (*SetVisible)(BWCtl* ctl, int32_t visible);
    int32_t (*IsVisible)(BWCtl* ctl);
    int32_t (*GetHilite)(BWCtl* ctl);  // 0, or kBWHiliteDisabled / kBWHiliteInactive
    uint32_t (*GetCommand)(BWCtl* ctl);
    // The class identifier of a custom control ("com.example.class"), or "" for a standard one.
    const char* (*ControlClass)(BWCtl* ctl);
    // Redraws the control now (custom controls: a draw event, then the port's pixels on screen).
    void (*DrawControl)(BWCtl* ctl);
    // Puts the port's pixels under the control on screen without a draw event.
    void (*FlushControl)(BWCtl* ctl);
    // Inside a track event: waits for the next mouse movement or release of the pressed button.
    // `ctl` may be null: the control whose track event is running.
    // Returns kBWMouseTrackingMouseDragged or kBWMouseTrackingMouseUp with the position in window
    // coordinates and the modifier bits.
    int32_t (*TrackMouse)(BWCtl* ctl, int16_t* v, int16_t* h, uint32_t* modifiers);

    // --- Standard services ---
    // Colour picker; 16-bit channels. Returns 1 and fills `out` when a colour was chosen.
    int32_t (*PickColor)(const char* prompt, const uint16_t in[3], uint16_t out[3]);
    // Modal alert: type 0 stop, 1 note, 2 caution; `cancel` may be empty (no cancel button).
    // Returns 1 for the default button, 2 for cancel.
    int16_t (*Alert)(int32_t type, const char* headline, const char* text, const char* ok, const char* cancel);
    // Opens a file in the desktop's default application. Returns 0, or a nonzero error.
    int32_t (*OpenDocument)(const char* path);

    // --- File dialogs (from version 2) ---
    // The open dialog for one existing file. `filter` is a name filter ("Pictures (*.png *.PNG)"),
    // empty for every file. Returns 1 with the chosen path zero-terminated in outPath, 0 when
    // cancelled or when the path does not fit in `size` bytes.
    int32_t (*GetOpenFile)(const char* title, const char* filter, char* outPath, size_t size);
    // The save dialog, `defaultName` suggested. The dialog itself asks before an existing file is
    // chosen; *replacing is 1 when the chosen file exists. Returns as GetOpenFile.
    int32_t (*GetSaveFile)(const char* title, const char* defaultName, const char* filter, char* outPath, size_t size,
                           int32_t* replacing);
} BWToolboxBackend;

// The one symbol kpblockwaves-ui.so exports.
typedef const BWToolboxBackend* (*BWToolboxBackendProc)(const BWToolboxHost* host);
#define BW_TOOLBOX_BACKEND_SYMBOL "BWToolboxBackendGet"

#ifdef __cplusplus
}
#endif
