#include "platform/HIToolbox.h"

#include <dlfcn.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <vector>

#include "platform/Alerts.h"
#include "platform/Files.h"
#include "platform/ToolboxBackend.h"

struct OpaqueIBNibRef {
    std::string path;  // the interface file
};

struct OpaqueControlClass {
    std::string classID;
    std::vector<EventTypeSpec> events;
    EventHandlerUPP handler;
};

struct OpaqueEventRef {
    uint32_t eventClass = 0, eventKind = 0;
    HICommand command{};
    ControlRef control = nullptr;
    Point mouse{};
    uint32_t modifiers = 0;
    ControlPartCode part = 0;
    bool hasPart = false;
};

namespace {
struct Handler {
    EventHandlerUPP proc;
    std::vector<EventTypeSpec> types;
    void* userData;
};
struct WindowState {
    GWorldPtr port = nullptr;
    std::vector<Handler> handlers;  // in installation order
};

const BWToolboxBackend* lgBackend = nullptr;
bool lgTried = false;
std::string lgWhy;
std::string lgBackendPath;
std::map<WindowRef, WindowState> lgWindows;
std::map<ControlRef, ControlActionUPP> lgActions;
std::vector<OpaqueControlClass*> lgClasses;  // newest last

BWWin* Win(WindowRef w) { return reinterpret_cast<BWWin*>(w); }
BWCtl* Ctl(ControlRef c) { return reinterpret_cast<BWCtl*>(c); }
WindowRef Ref(BWWin* w) { return reinterpret_cast<WindowRef>(w); }
ControlRef Ref(BWCtl* c) { return reinterpret_cast<ControlRef>(c); }

bool Handles(const std::vector<EventTypeSpec>& types, uint32_t eventClass, uint32_t kind) {
    return std::any_of(types.begin(), types.end(),
                       [&](const EventTypeSpec& t) { return t.eventClass == eventClass && t.eventKind == kind; });
}

OSStatus DispatchToWindow(WindowRef window, OpaqueEventRef& event) {
    auto found = lgWindows.find(window);
    if (found == lgWindows.end()) return eventNotHandledErr;
    // A handler may close the window (and so the list): walk a copy.
    const std::vector<Handler> handlers = found->second.handlers;
    for (auto h = handlers.rbegin(); h != handlers.rend(); ++h) {
        if (!Handles(h->types, event.eventClass, event.eventKind)) continue;
        const OSStatus status = h->proc(nullptr, &event, h->userData);
        if (status != eventNotHandledErr) return status;
    }
    return eventNotHandledErr;
}

// --- What the backend calls ---
int32_t HostCommand(BWWin* win, uint32_t commandID) { return ProcessHICommand(Ref(win), commandID); }

void HostControlAction(BWCtl* ctl, int16_t part) {
    auto found = lgActions.find(Ref(ctl));
    if (found != lgActions.end() && found->second) found->second(Ref(ctl), part);
}

int32_t HostCustomEvent(BWCtl* ctl, uint32_t kind, int16_t v, int16_t h, uint32_t modifiers, int16_t* part) {
    const std::string_view classID = lgBackend->ControlClass(ctl);
    for (auto c = lgClasses.rbegin(); c != lgClasses.rend(); ++c) {
        OpaqueControlClass* cls = *c;
        if (cls->classID != classID) continue;
        if (!Handles(cls->events, kEventClassControl, kind)) return eventNotHandledErr;
        OpaqueEventRef event;
        event.eventClass = kEventClassControl;
        event.eventKind = kind;
        event.control = Ref(ctl);
        event.mouse = Point{v, h};
        event.modifiers = modifiers;
        event.part = part ? *part : 0;
        const OSStatus status = cls->handler(nullptr, &event, nullptr);
        if (part && event.hasPart) *part = event.part;
        return status;
    }
    return eventNotHandledErr;
}

const BWToolboxHost lgHost = {HostCommand, HostControlAction, HostCustomEvent};

std::string DefaultBackendPath() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&DefaultBackendPath), &info) || !info.dli_fname) return {};
    std::string self = info.dli_fname;
    const size_t slash = self.find_last_of('/');
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/kpblockwaves-ui.so";
}

// Alerts become message boxes once windows can be shown; a platform nobody can see keeps the
// printed ones (a hidden modal box would wait for ever).
int16_t WindowedAlert(AlertType type, std::string_view headline, std::string_view text,
                      const AlertStdCFStringAlertParamRec* params) {
    const std::string h(headline), t(text);
    const std::string ok(params ? params->defaultText : "OK");
    const std::string cancel(params ? params->cancelText : "");
    return lgBackend->Alert(type, h.c_str(), t.c_str(), ok.empty() ? "OK" : ok.c_str(), cancel.c_str());
}

// QT_QPA_PLATFORM as Qt reads it: ';'-separated entries, each a name and options after ':'. The
// entry taken is the first that can open, as the backend chooses it (a desktop's only when its
// display is named).
bool Invisible() {
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    std::string_view entries = qpa ? qpa : "";
    const auto named = [](const char* variable) { return std::getenv(variable) && *std::getenv(variable); };
    while (!entries.empty()) {
        const size_t semicolon = std::min(entries.find(';'), entries.size());
        std::string_view name = entries.substr(0, semicolon);
        entries.remove_prefix(std::min(semicolon + 1, entries.size()));
        name = name.substr(0, name.find(':'));
        if (name.empty() || (name == "xcb" && !named("DISPLAY")) ||
            (name.substr(0, 7) == "wayland" && !named("WAYLAND_DISPLAY")))
            continue;
        return name == "offscreen" || name == "minimal";
    }
    return false;
}
}  // namespace

void ToolboxSetBackendPath(const std::string& path) { lgBackendPath = path; }

Boolean ToolboxAvailable(std::string* why) {
    if (!lgTried) {
        lgTried = true;
        const std::string path = lgBackendPath.empty() ? DefaultBackendPath() : lgBackendPath;
        // Kept loaded for the life of the process: the application object it made lives as long.
        void* object = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        auto get = object ? reinterpret_cast<BWToolboxBackendProc>(dlsym(object, BW_TOOLBOX_BACKEND_SYMBOL)) : nullptr;
        const BWToolboxBackend* backend = get ? get(&lgHost) : nullptr;
        char reason[512] = "";
        if (!object) {
            lgWhy = std::string("cannot load the dialog's windowing library: ") + dlerror();
        } else if (!backend || backend->version != kBWToolboxVersion) {
            lgWhy = "cannot load the dialog's windowing library " + path + ": wrong version";
        } else if (backend->Start(reason, sizeof reason) != 0) {
            lgWhy = reason;
        } else {
            lgBackend = backend;
            if (!Invisible()) SetAlertPresenter(WindowedAlert);
        }
    }
    if (!lgBackend && why) *why = lgWhy;
    return lgBackend != nullptr;
}

// --- Interface files and windows ---
OSStatus CreateNibReferenceWithCFBundle(CFBundleRef bundle, const char* nibName, IBNibRef* outNib) {
    if (!outNib) return paramErr;
    *outNib = nullptr;
    if (!bundle || !nibName) return paramErr;
    const std::string path = CFBundleCopyResourceURL(bundle, nibName, "ui");
    if (path.empty()) return errUnknownNib;
    *outNib = new OpaqueIBNibRef{path};
    return noErr;
}

OSStatus CreateWindowFromNib(IBNibRef nib, const char* windowName, WindowRef* outWindow) {
    if (!outWindow) return paramErr;
    *outWindow = nullptr;
    if (!nib || !windowName) return paramErr;
    if (!ToolboxAvailable(nullptr)) return errInvalidWindowRef;
    int32_t err = 0;
    BWWin* win = lgBackend->LoadWindow(nib->path.c_str(), windowName, &err);
    if (!win) return OSStatus(err ? err : errUnknownNib);
    int32_t w = 0, h = 0;
    lgBackend->WindowSize(win, &w, &h);
    Rect bounds;
    SetRect(&bounds, 0, 0, int16_t(std::clamp(w, 1, 8192)), int16_t(std::clamp(h, 1, 8192)));
    GWorldPtr port = nullptr;
    if (NewGWorld(&port, 32, &bounds, nullptr, nullptr, 0) != noErr || !port) {
        lgBackend->DisposeWindow(win);
        return memFullErr;
    }
    PixMapHandle pm = GetGWorldPixMap(port);
    std::memset(GetPixBaseAddr(pm), 0xFF, size_t(GetPixRowBytes(pm)) * size_t(bounds.bottom));
    lgBackend->SetWindowPort(win, GetPixBaseAddr(pm), GetPixRowBytes(pm), bounds.right, bounds.bottom);
    lgWindows[Ref(win)].port = port;
    *outWindow = Ref(win);
    return noErr;
}

void DisposeNibReference(IBNibRef nib) { delete nib; }

void DisposeWindow(WindowRef window) {
    auto found = lgWindows.find(window);
    if (found == lgWindows.end()) return;
    GWorldPtr port = found->second.port;
    lgWindows.erase(found);
    for (auto a = lgActions.begin(); a != lgActions.end();) {
        a = lgBackend->ControlOwner(Ctl(a->first)) == Win(window) ? lgActions.erase(a) : std::next(a);
    }
    lgBackend->DisposeWindow(Win(window));
    CGrafPtr current;
    GDHandle device;
    GetGWorld(&current, &device);
    if (current == port) SetGWorld(nullptr, nullptr);
    DisposeGWorld(port);
}

void ShowWindow(WindowRef window) {
    if (lgWindows.count(window)) lgBackend->ShowWindow(Win(window));
}
void SelectWindow(WindowRef window) {
    if (lgWindows.count(window)) lgBackend->SelectWindow(Win(window));
}
void BringToFront(WindowRef window) { SelectWindow(window); }

CGrafPtr GetWindowPort(WindowRef window) {
    auto found = lgWindows.find(window);
    return found == lgWindows.end() ? nullptr : found->second.port;
}

void SetPortWindowPort(WindowRef window) {
    if (CGrafPtr port = GetWindowPort(window)) SetGWorld(port, nullptr);
}

OSStatus RunAppModalLoopForWindow(WindowRef window) {
    if (!lgWindows.count(window)) return errInvalidWindowRef;
    lgBackend->RunModal(Win(window));
    return noErr;
}

OSStatus QuitAppModalLoopForWindow(WindowRef window) {
    if (!lgWindows.count(window)) return errInvalidWindowRef;
    lgBackend->QuitModal(Win(window));
    return noErr;
}

// --- Events ---
OSStatus InstallWindowEventHandler(WindowRef window, EventHandlerUPP handler, uint32_t numTypes,
                                   const EventTypeSpec* list, void* userData, EventHandlerRef* outRef) {
    auto found = lgWindows.find(window);
    if (found == lgWindows.end()) return errInvalidWindowRef;
    if (!handler || (numTypes && !list)) return paramErr;
    found->second.handlers.push_back(Handler{handler, std::vector<EventTypeSpec>(list, list + numTypes), userData});
    if (outRef) *outRef = nullptr;
    return noErr;
}

OSStatus GetEventParameter(EventRef event, OSType name, OSType desiredType, OSType* actualType, uint32_t bufferSize,
                           uint32_t* actualSize, void* data) {
    if (!event || !data) return paramErr;
    const void* source = nullptr;
    uint32_t size = 0;
    OSType type = 0;
    if (name == kEventParamDirectObject && event->eventClass == kEventClassCommand) {
        source = &event->command, size = sizeof event->command, type = typeHICommand;
    } else if (name == kEventParamDirectObject && event->eventClass == kEventClassControl) {
        source = &event->control, size = sizeof event->control, type = typeControlRef;
    } else if (name == kEventParamMouseLocation && event->eventClass == kEventClassControl) {
        source = &event->mouse, size = sizeof event->mouse, type = typeQDPoint;
    } else if (name == kEventParamKeyModifiers && event->eventClass == kEventClassControl) {
        source = &event->modifiers, size = sizeof event->modifiers, type = typeUInt32;
    } else if (name == kEventParamControlPart && event->eventClass == kEventClassControl) {
        source = &event->part, size = sizeof event->part, type = typeControlPartCode;
    } else {
        return -9870;  // eventParameterNotFoundErr
    }
    if (desiredType != type || bufferSize < size) return -9875;  // eventParameterTypeMismatch-like
    std::memcpy(data, source, size);
    if (actualType) *actualType = type;
    if (actualSize) *actualSize = size;
    return noErr;
}

OSStatus SetEventParameter(EventRef event, OSType name, OSType type, uint32_t size, const void* data) {
    if (!event || !data || name != kEventParamControlPart || type != typeControlPartCode ||
        size != sizeof(ControlPartCode))
        return paramErr;
    std::memcpy(&event->part, data, size);
    event->hasPart = true;
    return noErr;
}

uint32_t GetEventClass(EventRef event) { return event ? event->eventClass : 0; }
uint32_t GetEventKind(EventRef event) { return event ? event->eventKind : 0; }

OSStatus ProcessHICommand(WindowRef window, uint32_t commandID) {
    OpaqueEventRef event;
    event.eventClass = kEventClassCommand;
    event.eventKind = kEventCommandProcess;
    event.command.commandID = commandID;
    return DispatchToWindow(window, event);
}

// --- Controls ---
OSStatus GetControlByID(WindowRef window, const ControlID* id, ControlRef* outControl) {
    if (!outControl) return paramErr;
    *outControl = nullptr;
    if (!id || !lgWindows.count(window)) return errInvalidWindowRef;
    BWCtl* ctl = lgBackend->FindControl(Win(window), id->signature, id->id);
    if (!ctl) return errUnknownControl;
    *outControl = Ref(ctl);
    return noErr;
}

Rect* GetControlBounds(ControlRef control, Rect* bounds) {
    int16_t b[4] = {0, 0, 0, 0};
    if (control) lgBackend->ControlBounds(Ctl(control), b);
    *bounds = Rect{b[0], b[1], b[2], b[3]};
    return bounds;
}

WindowRef GetControlOwner(ControlRef control) { return control ? Ref(lgBackend->ControlOwner(Ctl(control))) : nullptr; }
int32_t GetControl32BitValue(ControlRef control) { return control ? lgBackend->GetValue(Ctl(control)) : 0; }
void SetControl32BitValue(ControlRef control, int32_t value) {
    if (control) lgBackend->SetValue(Ctl(control), value);
}
int32_t GetControl32BitMinimum(ControlRef control) { return control ? lgBackend->GetMinimum(Ctl(control)) : 0; }
int32_t GetControl32BitMaximum(ControlRef control) { return control ? lgBackend->GetMaximum(Ctl(control)) : 0; }
void SetControl32BitMinimum(ControlRef control, int32_t value) {
    if (control) lgBackend->SetMinimum(Ctl(control), value);
}
void SetControl32BitMaximum(ControlRef control, int32_t value) {
    if (control) lgBackend->SetMaximum(Ctl(control), value);
}

OSStatus SetControlData(ControlRef control, ControlPartCode, OSType tag, Size size, const void* data) {
    if (!control || size < 0 || (size && !data)) return paramErr;
    if (tag != kControlStaticTextTextTag) return -30582;  // errDataNotSupported
    // Mac Roman's ASCII half is ASCII; the rest is shown as Latin-1 after conversion to UTF-8.
    std::string utf8;
    for (Size i = 0; i < size; ++i) {
        const unsigned char c = static_cast<const unsigned char*>(data)[i];
        if (c < 0x80) {
            utf8 += char(c);
        } else {
            utf8 += char(0xC0 | (c >> 6));
            utf8 += char(0x80 | (c & 0x3F));
        }
    }
    lgBackend->SetText(Ctl(control), utf8.c_str());
    return noErr;
}

void Draw1Control(ControlRef control) {
    if (control) lgBackend->DrawControl(Ctl(control));
}
void ShowControl(ControlRef control) {
    if (control) lgBackend->SetVisible(Ctl(control), 1);
}
void HideControl(ControlRef control) {
    if (control) lgBackend->SetVisible(Ctl(control), 0);
}
Boolean IsControlVisible(ControlRef control) { return control && lgBackend->IsVisible(Ctl(control)); }
uint16_t GetControlHilite(ControlRef control) { return control ? uint16_t(lgBackend->GetHilite(Ctl(control))) : 0; }

OSStatus GetControlCommandID(ControlRef control, uint32_t* outCommandID) {
    if (!control || !outCommandID) return paramErr;
    *outCommandID = lgBackend->GetCommand(Ctl(control));
    return noErr;
}

void SetControlAction(ControlRef control, ControlActionUPP action) {
    if (control) lgActions[control] = action;
}

void QDFlushControl(ControlRef control) {
    if (control) lgBackend->FlushControl(Ctl(control));
}

// --- Custom control classes ---
OSStatus RegisterControlClass(const char* classID, uint32_t numEvents, const EventTypeSpec* list,
                              EventHandlerUPP handler, ControlClassRef* outClass) {
    if (!classID || !handler || !outClass || (numEvents && !list)) return paramErr;
    *outClass = new OpaqueControlClass{classID, std::vector<EventTypeSpec>(list, list + numEvents), handler};
    lgClasses.push_back(*outClass);
    return noErr;
}

OSStatus UnregisterControlClass(ControlClassRef theClass) {
    auto found = std::find(lgClasses.begin(), lgClasses.end(), theClass);
    if (found == lgClasses.end()) return paramErr;
    lgClasses.erase(found);
    delete theClass;
    return noErr;
}

// --- Mouse tracking ---
OSStatus TrackMouseLocation(GrafPtr port, Point* outPt, MouseTrackingResult* outResult) {
    if (!outPt || !outResult || !lgBackend) return paramErr;
    // The backend knows which control is being tracked: the one whose track event is running.
    (void)port;
    int16_t v = 0, h = 0;
    uint32_t modifiers = 0;
    const int32_t result = lgBackend->TrackMouse(nullptr, &v, &h, &modifiers);
    *outPt = Point{v, h};
    *outResult = MouseTrackingResult(result);
    return noErr;
}

// --- Colour picker ---
OSErr NPickColor(NColorPickerInfo* info) {
    if (!info) return paramErr;
    info->newColorChosen = false;
    if (!ToolboxAvailable(nullptr)) return userCanceledErr;
    const std::string prompt(reinterpret_cast<const char*>(info->prompt) + 1, info->prompt[0]);
    const uint16_t in[3] = {info->theColor.color.RED, info->theColor.color.GREEN, info->theColor.color.BLUE};
    uint16_t out[3] = {0, 0, 0};
    if (lgBackend->PickColor(prompt.c_str(), in, out)) {
        info->theColor.color = RGBColor{out[0], out[1], out[2]};
        info->newColorChosen = true;
    }
    return noErr;
}

// --- Standard file dialogs ---
OSErr AECountItems(const AEDescList* list, int32_t* count) {
    if (!list || !count) return paramErr;
    *count = int32_t(list->items.size());
    return noErr;
}

OSErr AEGetNthPtr(const AEDescList* list, int32_t index, DescType desiredType, OSType* keyword, DescType* typeCode,
                  void* dataPtr, Size maximumSize, Size* actualSize) {
    if (!list || !dataPtr) return paramErr;
    if (index < 1 || size_t(index) > list->items.size()) return errAEIllegalIndex;
    if (desiredType != typeFSS || maximumSize < Size(sizeof(FSSpec))) return errAECoercionFail;
    FSSpec file{};
    const OSErr err = FSMakeFSSpecFromPath(list->items[size_t(index - 1)], &file);
    if (err != noErr && err != fnfErr) return err;
    std::memcpy(dataPtr, &file, sizeof file);
    if (keyword) *keyword = kEventParamDirectObject;
    if (typeCode) *typeCode = typeFSS;
    if (actualSize) *actualSize = Size(sizeof file);
    return noErr;
}

OSErr NavGetDefaultDialogOptions(NavDialogOptions* options) {
    if (!options) return paramErr;
    *options = NavDialogOptions{};
    return noErr;
}

namespace {
NavChooser lgChooser = nullptr;

// The names files of a four-character type carry here.
struct TypeNames {
    OSType type;
    const char* patterns;
};
constexpr TypeNames cTypeNames[] = {
    {FourCC("PNGf"), "*.png *.PNG"},
    {FourCC("JPEG"), "*.jpg *.jpeg *.jpe *.JPG *.JPEG"},
    {FourCC("GIFf"), "*.gif *.GIF"},
    {FourCC("TIFF"), "*.tif *.tiff *.TIF *.TIFF"},
    {FourCC("WEBP"), "*.webp *.WEBP"},
    {FourCC("PICT"), "*.pict *.pct *.PICT *.PCT"},
    {FourCC("BMPf"), "*.bmp *.BMP"},
    {FourCC("PDF "), "*.pdf *.PDF"},
    {FourCC("TEXT"), "*.txt *.text *.TXT"},
    {FourCC("MooV"), "*.mov *.MOV"},
};

OSErr Choose(bool save, const std::string& title, const std::string& filter, const std::string& defaultName,
             NavReplyRecord* reply) {
    std::string path;
    int32_t replacing = 0;
    if (lgChooser) {
        if (!lgChooser(save, title, filter, defaultName, path)) return userCanceledErr;
        replacing = save && ::access(path.c_str(), F_OK) == 0;
    } else {
        if (!ToolboxAvailable(nullptr)) return kNavInvalidSystemConfigErr;
        std::vector<char> out(4096);
        const int32_t chosen = save ? lgBackend->GetSaveFile(title.c_str(), defaultName.c_str(), filter.c_str(),
                                                             out.data(), out.size(), &replacing)
                                    : lgBackend->GetOpenFile(title.c_str(), filter.c_str(), out.data(), out.size());
        if (!chosen) return userCanceledErr;
        path = out.data();
    }
    reply->validRecord = true;
    reply->replacing = replacing != 0;
    reply->selection.items = {path};
    return noErr;
}
}  // namespace

std::string NavFilterForTypes(const OSType* types, int16_t count) {
    std::string patterns;
    for (int16_t i = 0; types && i < count; i++) {
        const auto* known = std::find_if(std::begin(cTypeNames), std::end(cTypeNames),
                                         [&](const TypeNames& t) { return t.type == types[i]; });
        if (known == std::end(cTypeNames)) return {};
        patterns += (patterns.empty() ? "" : " ") + std::string(known->patterns);
    }
    return patterns.empty() ? std::string() : "Files (" + patterns + ")";
}

void NavSetChooser(NavChooser chooser) { lgChooser = chooser; }

OSErr NavGetFile(const NavDialogOptions* dialogOptions, NavTypeListHandle typeList, NavReplyRecord* reply) {
    if (!reply) return paramErr;
    *reply = NavReplyRecord{};
    const std::string title = dialogOptions ? std::string(PStrView(dialogOptions->windowTitle)) : std::string();
    const std::string filter = typeList ? NavFilterForTypes(typeList->osType, typeList->osTypeCount) : std::string();
    return Choose(false, title, filter, {}, reply);
}

OSErr NavPutFile(const NavDialogOptions* dialogOptions, OSType fileType, OSType, NavReplyRecord* reply) {
    if (!reply) return paramErr;
    *reply = NavReplyRecord{};
    const std::string title = dialogOptions ? std::string(PStrView(dialogOptions->message)) : std::string();
    const std::string name = dialogOptions ? std::string(PStrView(dialogOptions->savedFileName)) : std::string();
    return Choose(true, title, NavFilterForTypes(&fileType, 1), name, reply);
}

OSErr NavDisposeReply(NavReplyRecord* reply) {
    if (!reply) return paramErr;
    *reply = NavReplyRecord{};
    return noErr;
}

// --- Launching a document ---
namespace {
std::string lgOpener;

// The program's path: as given when it holds a '/', else the first executable of that name on PATH.
std::string FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/bin:/bin";
    while (!dirs.empty()) {
        const size_t colon = std::min(dirs.find(':'), dirs.size());
        const std::string candidate = std::string(dirs.substr(0, colon)) + "/" + name;
        struct stat st {};
        if (colon > 0 && ::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        dirs.remove_prefix(std::min(colon + 1, dirs.size()));
    }
    return {};
}

// Starts program with args in the background, detached (a shell that backgrounds it and ends at
// once), and returns without waiting for it.
OSStatus Launch(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"sh", "-c", "\"$0\" \"$@\" </dev/null >/dev/null 2>&1 &", program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, raw.data(), environ) != 0) return kLSUnknownErr;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return noErr;
}

// The backend's opener fails when the desktop has no program to start for the file (no
// xdg-open, nor a desktop's own opener).
OSStatus OpenWithDesktop(const std::string& path) {
    if (lgBackend) return lgBackend->OpenDocument(path.c_str()) == 0 ? noErr : kLSApplicationNotFoundErr;
    const std::string opener = FindProgram(lgOpener.empty() ? "xdg-open" : lgOpener);
    if (opener.empty()) return kLSApplicationNotFoundErr;
    return Launch(opener, {path});
}
}  // namespace

void LSSetDesktopOpener(const std::string& program) { lgOpener = program; }

Boolean CFURLGetFSRef(const std::string& url, FSRef* ref) {
    struct stat st {};
    if (!ref || url.empty() || stat(url.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    ref->path = url;
    return true;
}

std::string CFURLCreateFromFSRef(const FSRef* ref) { return ref ? ref->path : std::string(); }

OSStatus LSOpenFSRef(const FSRef* ref, FSRef* launched) {
    if (!ref || ref->path.empty()) return paramErr;
    const OSStatus status = OpenWithDesktop(ref->path);
    if (status == noErr && launched) *launched = *ref;
    return status;
}

OSStatus LSOpenCFURLRef(const std::string& url, std::string* launchedURL) {
    FSRef ref;
    if (!CFURLGetFSRef(url, &ref)) return fnfErr;
    const OSStatus status = OpenWithDesktop(ref.path);
    if (status == noErr && launchedURL) *launchedURL = url;
    return status;
}

OSStatus LSOpenFromRefSpec(const LSLaunchFSRefSpec* inLaunchSpec, FSRef* outLaunchedRef) {
    if (!inLaunchSpec || (inLaunchSpec->numDocs > 0 && !inLaunchSpec->itemRefs)) return paramErr;
    if (!inLaunchSpec->appRef) {
        for (uint32_t i = 0; i < inLaunchSpec->numDocs; i++)
            if (const OSStatus status = LSOpenFSRef(&inLaunchSpec->itemRefs[i], nullptr); status != noErr) return status;
        return noErr;
    }
    struct stat st {};
    const std::string& app = inLaunchSpec->appRef->path;
    if (app.empty() || ::stat(app.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(app.c_str(), X_OK) != 0)
        return kLSApplicationNotFoundErr;
    std::vector<std::string> docs;
    for (uint32_t i = 0; i < inLaunchSpec->numDocs; i++) docs.push_back(inLaunchSpec->itemRefs[i].path);
    const OSStatus status = Launch(app, docs);
    if (status == noErr && outLaunchedRef) *outLaunchedRef = *inLaunchSpec->appRef;
    return status;
}
