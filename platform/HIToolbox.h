// Windows, controls, command events, custom control classes, mouse tracking, the colour picker and
// the desktop opener: the part of the toolbox the configuration dialog uses. The state (ports,
// handlers, actions, classes) lives here; the windows themselves come from the Qt backend in
// kpblockwaves-ui.so, loaded on first use (ToolboxBackend.h), so nothing here needs Qt to link.
// A window's port is a 32-bit buffer of the window's size that custom controls draw into.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Bundle.h"
#include "platform/CoreGraphicsFwd.h"
#include "platform/MacTypes.h"
#include "platform/QuickDraw.h"

inline constexpr OSStatus eventNotHandledErr = -9874;
inline constexpr OSStatus errUnknownControl = -30584;
inline constexpr OSStatus errInvalidWindowRef = -5600;
inline constexpr OSStatus errUnknownNib = -192;  // resNotFound: no such interface file or window
inline constexpr OSStatus userCanceledErr = -128;

enum : uint32_t { kEventClassCommand = FourCC("cmds"),
                  kEventClassControl = FourCC("cntl") };
enum : uint32_t {
    kEventCommandProcess = 1,
    kEventControlHit = 1,
    kEventControlHitTest = 3,
    kEventControlDraw = 4,
    kEventControlActivate = 9,
    kEventControlTrack = 51,
    kEventControlOwningWindowChanged = 159,
};
enum : OSType {
    kEventParamDirectObject = FourCC("----"),
    kEventParamMouseLocation = FourCC("mloc"),
    kEventParamKeyModifiers = FourCC("kmod"),
    kEventParamControlPart = FourCC("cprt"),
    typeHICommand = FourCC("hcmd"),
    typeControlRef = FourCC("ctrl"),
    typeQDPoint = FourCC("QDpt"),
    typeUInt32 = FourCC("magn"),
    typeControlPartCode = FourCC("cprt"),
    kControlStaticTextTextTag = FourCC("text"),
};
enum : uint32_t { cmdKey = 256,
                  shiftKey = 512,
                  optionKey = 2048,
                  controlKey = 4096 };
enum : int16_t { kMouseTrackingMouseUp = 2,
                 kMouseTrackingMouseDragged = 5 };
enum : uint16_t { kControlNoPart = 0,
                  kControlDisabledPart = 254,
                  kControlInactivePart = 255 };
enum : uint32_t { kHICommandOK = FourCC("ok  "),
                  kHICommandCancel = FourCC("not!") };

typedef int16_t ControlPartCode;
typedef int16_t MouseTrackingResult;
struct EventTypeSpec {
    uint32_t eventClass;
    uint32_t eventKind;
};
struct HICommand {
    uint32_t attributes;
    uint32_t commandID;
    struct {
        void* menuRef;
        uint16_t menuItemIndex;
    } menu;
};
struct ControlID {
    OSType signature;
    int32_t id;
};

typedef struct OpaqueEventRef* EventRef;
typedef struct OpaqueEventHandlerCallRef* EventHandlerCallRef;
typedef struct OpaqueEventHandlerRef* EventHandlerRef;
typedef struct OpaqueIBNibRef* IBNibRef;
typedef struct OpaqueControlClass* ControlClassRef;
typedef OSStatus (*EventHandlerUPP)(EventHandlerCallRef nextHandler, EventRef event, void* userData);
typedef void (*ControlActionUPP)(ControlRef control, ControlPartCode part);

// --- The toolbox itself ---
// Loads the backend and makes sure an application object exists. False, with the reason in
// `why`, when the backend cannot be loaded or no display can be opened. Later calls answer at once.
Boolean ToolboxAvailable(std::string* why);
// Where kpblockwaves-ui.so is; by default beside the object that holds this code.
void ToolboxSetBackendPath(const std::string& path);

// --- Interface files and windows ---
// Interface file NAME is Contents/Resources/NAME.ui of the bundle.
OSStatus CreateNibReferenceWithCFBundle(CFBundleRef bundle, const char* nibName, IBNibRef* outNib);
OSStatus CreateWindowFromNib(IBNibRef nib, const char* windowName, WindowRef* outWindow);
void DisposeNibReference(IBNibRef nib);
void DisposeWindow(WindowRef window);
void ShowWindow(WindowRef window);
void SelectWindow(WindowRef window);
void BringToFront(WindowRef window);
CGrafPtr GetWindowPort(WindowRef window);
void SetPortWindowPort(WindowRef window);
OSStatus RunAppModalLoopForWindow(WindowRef window);
OSStatus QuitAppModalLoopForWindow(WindowRef window);

// --- Events ---
// Handlers of a window run newest first; the first that does not answer eventNotHandledErr ends
// the dispatch. They are removed with the window.
OSStatus InstallWindowEventHandler(WindowRef window, EventHandlerUPP handler, uint32_t numTypes,
                                   const EventTypeSpec* list, void* userData, EventHandlerRef* outRef);
OSStatus GetEventParameter(EventRef event, OSType name, OSType desiredType, OSType* actualType, uint32_t bufferSize,
                           uint32_t* actualSize, void* data);
OSStatus SetEventParameter(EventRef event, OSType name, OSType type, uint32_t size, const void* data);
uint32_t GetEventClass(EventRef event);
uint32_t GetEventKind(EventRef event);
// Sends a command to a window's handlers as the platform does for buttons and menus.
OSStatus ProcessHICommand(WindowRef window, uint32_t commandID);

// --- Controls ---
OSStatus GetControlByID(WindowRef window, const ControlID* id, ControlRef* outControl);
Rect* GetControlBounds(ControlRef control, Rect* bounds);
WindowRef GetControlOwner(ControlRef control);
int32_t GetControl32BitValue(ControlRef control);
void SetControl32BitValue(ControlRef control, int32_t value);
int32_t GetControl32BitMinimum(ControlRef control);
int32_t GetControl32BitMaximum(ControlRef control);
void SetControl32BitMinimum(ControlRef control, int32_t value);
void SetControl32BitMaximum(ControlRef control, int32_t value);
// Only kControlStaticTextTextTag is known: the text's bytes (Mac Roman, shown as Latin-1).
OSStatus SetControlData(ControlRef control, ControlPartCode part, OSType tag, Size size, const void* data);
void Draw1Control(ControlRef control);
void ShowControl(ControlRef control);
void HideControl(ControlRef control);
Boolean IsControlVisible(ControlRef control);
uint16_t GetControlHilite(ControlRef control);
OSStatus GetControlCommandID(ControlRef control, uint32_t* outCommandID);
void SetControlAction(ControlRef control, ControlActionUPP action);
// Puts what was drawn into the window's port under the control on screen.
void QDFlushControl(ControlRef control);

// --- Custom control classes ---
// The window's controls whose class identifier is `classID` send the listed 'cntl' events to
// `handler` (user data: none). Unregistering stops the events; the controls stay.
OSStatus RegisterControlClass(const char* classID, uint32_t numEvents, const EventTypeSpec* list,
                              EventHandlerUPP handler, ControlClassRef* outClass);
OSStatus UnregisterControlClass(ControlClassRef theClass);

// --- Mouse tracking, inside a control's track event ---
// Waits for the next movement or the release of the button; the position is local to the port.
OSStatus TrackMouseLocation(GrafPtr port, Point* outPt, MouseTrackingResult* outResult);

// --- Colour picker ---
struct NPMColor {
    uint32_t profile;  // none
    RGBColor color;
};
struct NColorPickerInfo {
    NPMColor theColor;
    uint32_t dstProfile;
    uint32_t flags;
    int16_t placeWhere;
    Point dialogOrigin;
    OSType pickerType;
    void* eventProc;
    void* colorProc;
    uint32_t colorProcData;
    Str255 prompt;
    void* mInfo[3];
    Boolean newColorChosen;
    uint8_t reserved;
};
// Shows the picker; noErr with newColorChosen and theColor.color set when the user chose one.
OSErr NPickColor(NColorPickerInfo* info);

// --- Standard file dialogs (Navigation Services) ---
// One file is chosen at a time. Without windows (no display) the dialogs answer
// kNavInvalidSystemConfigErr; a cancelled dialog answers userCanceledErr.
typedef OSType DescType;
inline constexpr DescType typeFSS = FourCC("fss ");
inline constexpr OSErr errAECoercionFail = -1700, errAEIllegalIndex = -1719, kNavInvalidSystemConfigErr = -5694;
struct AEDescList {
    std::vector<std::string> items;  // file paths
};
OSErr AECountItems(const AEDescList* list, int32_t* count);
// Item `index` (from 1) as an FSSpec; only typeFSS is known. A file whose name an FSSpec cannot hold
// (over 63 characters) gives bdNamErr.
OSErr AEGetNthPtr(const AEDescList* list, int32_t index, DescType desiredType, OSType* keyword, DescType* typeCode,
                  void* dataPtr, Size maximumSize, Size* actualSize);

enum : uint32_t { kNavAllowMultipleFiles = 0x80 };
struct NavDialogOptions {
    uint16_t version;
    uint32_t dialogOptionFlags;  // kNavAllowMultipleFiles is not supported: one file a reply
    Str255 windowTitle;          // the open dialog's title
    Str255 message;              // the save dialog's title
    Str255 savedFileName;        // the save dialog's suggested name
};
OSErr NavGetDefaultDialogOptions(NavDialogOptions* options);
struct NavTypeList {
    OSType componentSignature;
    int16_t reserved;
    int16_t osTypeCount;
    OSType osType[1];
};
typedef NavTypeList* NavTypeListHandle;
struct NavReplyRecord {
    uint16_t version;
    Boolean validRecord;
    Boolean replacing;
    AEDescList selection;
};
// The open dialog; with a type list only files of those types are offered (NavFilterForTypes).
OSErr NavGetFile(const NavDialogOptions* dialogOptions, NavTypeListHandle typeList, NavReplyRecord* reply);
OSErr NavPutFile(const NavDialogOptions* dialogOptions, OSType fileType, OSType fileCreator, NavReplyRecord* reply);
OSErr NavDisposeReply(NavReplyRecord* reply);
// The dialogs' name filter for four-character file types: the names a type's files carry on this
// system ("Files (*.png *.PNG)"); empty, every file, when a type has no known name.
std::string NavFilterForTypes(const OSType* types, int16_t count);
// Test hook: answers the dialogs instead of the windowing backend (null restores it). Returns true
// with the chosen path; `save` tells the save dialog from the open one.
typedef bool (*NavChooser)(bool save, const std::string& title, const std::string& filter,
                           const std::string& defaultName, std::string& path);
void NavSetChooser(NavChooser chooser);

// --- Launching a document ---
// Documents open with the desktop's opener: the windowing backend's when it is already loaded (the
// dialog is up), else the program "xdg-open" started in the background, so that opening a
// document never loads the windowing library.
struct FSRef {
    std::string path;
};
inline constexpr OSStatus kLSApplicationNotFoundErr = -10814, kLSUnknownErr = -10810;
Boolean CFURLGetFSRef(const std::string& url, FSRef* ref);  // false when no file is there
std::string CFURLCreateFromFSRef(const FSRef* ref);         // the path
// kLSApplicationNotFoundErr when no program to open documents with was found.
OSStatus LSOpenFSRef(const FSRef* ref, FSRef* launched);
OSStatus LSOpenCFURLRef(const std::string& url, std::string* launchedURL);
struct LSLaunchFSRefSpec {
    const FSRef* appRef;  // an executable file, or null for each document's default
    uint32_t numDocs;
    const FSRef* itemRefs;
    const void* passThruParams;
    uint32_t launchFlags;
    void* asyncRefCon;
};
// With an application: runs it in the background with the documents' paths as its arguments.
OSStatus LSOpenFromRefSpec(const LSLaunchFSRefSpec* inLaunchSpec, FSRef* outLaunchedRef);
// Test hook: the desktop's opener program (a path or a name looked up on PATH; empty: "xdg-open").
void LSSetDesktopOpener(const std::string& program);
