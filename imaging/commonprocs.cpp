#include "imaging/commonprocs.h"

#include <cstdio>

#include "host/PluginDefines.h"
#include "platform/Alerts.h"
#include "platform/Numerics.h"

std::string Concat255(std::string_view a, std::string_view b) {
    std::string s;
    s.reserve(a.size() + b.size());
    s.append(a).append(b);
    if (s.size() > 255) s.resize(255);
    return s;
}

namespace {
std::string_view Cut255(std::string_view s) { return s.substr(0, 255); }
}  // namespace

void Assert(const void* ThePtr, std::string_view FailLocation) {
    if (!ThePtr) Terminate("Assertion Failure", Concat255("Assertion failed in: ", FailLocation));
}

void Terminate(std::string_view Headline, std::string_view Description) {
    AlertStdCFStringAlertParamRec params{};
    params.version = 1;
    params.defaultButton = kAlertStdAlertOKButton;
    RunStandardAlert(kAlertStopAlert, Cut255(Headline), Cut255(Description), &params);
    ExitToShell();
}

void Notify(std::string_view TheMessage) { StandardWarning("Internal Notification:", TheMessage, "ok", ""); }

int16_t StandardWarning(std::string_view Headline, std::string_view Description, std::string_view OkText,
                        std::string_view CancelText) {
    AlertStdCFStringAlertParamRec params{};
    params.version = 1;
    params.movable = true;
    params.helpButton = false;
    params.defaultText = Cut255(OkText);
    params.cancelText = Cut255(CancelText);
    params.defaultButton = kAlertStdAlertOKButton;
    params.cancelButton = kAlertStdAlertCancelButton;
    params.position = 0;
    params.flags = 0;
    return RunStandardAlert(kAlertCautionAlert, Cut255(Headline), Cut255(Description), &params);
}

GWorldPtr AllocateGWorld(int16_t Wid, int16_t Hig) {
    Rect bounds{0, 0, Hig, Wid};
    GWorldPtr gw = nullptr;
    NewGWorld(&gw, 32, &bounds, nullptr, nullptr, 0);  // the error code is not inspected: callers assert
    LockGWorld(gw);
    return gw;
}

GWorldPtr AllocateRectGWorld(Rect TheRect) {
    OffsetRect(&TheRect, int16_t(-TheRect.left), int16_t(-TheRect.top));
    return AllocateGWorld(TheRect.right, TheRect.bottom);
}

void LockGWorld(GWorldPtr TheGW) {
    if (TheGW) LockPixels(GetGWorldPixMap(TheGW));
}

void ClearGW(GWorldPtr TheGW, RGBColor TheColor) {
    if (!TheGW) return;
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    SetGWorld(TheGW, nullptr);
    RGBForeColor(&TheColor);
    const Rect bounds = GetPortRect(TheGW);
    PaintRect(&bounds);
    const RGBColor black{0, 0, 0};
    RGBForeColor(&black);
    SetGWorld(savePort, saveDevice);
}

void Source2Target(GWorldPtr TheSource, GWorldPtr TheTarget) {
    if (!TheSource || !TheTarget) return;
    const RGBColor white{65535, 65535, 65535}, black{0, 0, 0};
    RGBBackColor(&white);
    RGBForeColor(&black);
    const Rect src = GetPortRect(TheSource), dst = GetPortRect(TheTarget);
    CopyBits(GetPortBitMapForCopyBits(TheSource), GetPortBitMapForCopyBits(TheTarget), &src, &dst, srcCopy, nullptr);
}

void DrawPictureInGW(GWorldPtr TheGW, PicHandle TheP, Rect TheRect) {
    if (!TheGW || !TheP) return;
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    SetGWorld(TheGW, nullptr);
    DrawPicture(TheP, &TheRect);
    SetGWorld(savePort, saveDevice);
}

OSErr FSRef2FSSpec(const FSRef& TheRef, FSSpec& TheSpec) { return FSMakeFSSpecFromPath(TheRef.path, &TheSpec); }

OSErr FSSpec2FSRef(const FSSpec& TheSpec, FSRef& TheRef) {
    const std::string path = FSSpecPath(TheSpec);
    if (path.empty()) return dirNFErr;
    FInfo info;
    const OSErr err = FSpGetFInfo(&TheSpec, &info);  // the file must exist
    if (err == noErr) TheRef.path = path;
    return err;
}

Rect GetPortRect(CGrafPtr ThePort) {
    Rect r;
    GetPortBounds(ThePort, &r);
    return r;
}
Rect CarbonGetPortBounds(CGrafPtr ThePort) { return GetPortRect(ThePort); }

void GetDims(Rect TheRect, int32_t& Wid, int32_t& Hig) {
    Wid = TheRect.right - TheRect.left;
    Hig = TheRect.bottom - TheRect.top;
}

Rect KeepPropsWithFixedHorizontal(Rect InOriginal, Rect InNewSize) {
    const double dx = InOriginal.right - InOriginal.left, dy = InOriginal.bottom - InOriginal.top;
    const double nx = InNewSize.right - InNewSize.left;
    if (dx == 0) return InNewSize;
    const double prop = dx / dy;
    const double ny = nx / prop;
    InNewSize.bottom = TruncS(InNewSize.top + TruncL(ny + 0.5));
    return InNewSize;
}

Rect KeepPropsWithFixedVertical(Rect InOriginal, Rect InNewSize) {
    const double dx = InOriginal.right - InOriginal.left, dy = InOriginal.bottom - InOriginal.top;
    const double ny = InNewSize.bottom - InNewSize.top;
    if (dy == 0) return InNewSize;
    const double prop = dx / dy;
    const double nx = prop * ny;
    InNewSize.right = TruncS(InNewSize.left + TruncL(nx + 0.5));
    return InNewSize;
}

Rect CalcProportionalRectForFrame(Rect InRect, Rect InFrame) {
    int32_t iWid, iHig, wid, hig;
    GetDims(InRect, iWid, iHig);
    GetDims(InFrame, wid, hig);
    const Rect ImageBounds{0, 0, int16_t(iHig), int16_t(iWid)};
    const Rect NewBounds{0, 0, int16_t(hig), int16_t(wid)};
    if (wid > hig)
        return iWid > iHig ? KeepPropsWithFixedHorizontal(ImageBounds, NewBounds)
                           : KeepPropsWithFixedVertical(ImageBounds, NewBounds);
    return iHig > iWid ? KeepPropsWithFixedVertical(ImageBounds, NewBounds)
                       : KeepPropsWithFixedHorizontal(ImageBounds, NewBounds);
}

void CenterRectInRect(Rect& TheRect, Rect TheBounds) {
    int32_t wid, hig, rw, rh;
    GetDims(TheBounds, wid, hig);
    GetDims(TheRect, rw, rh);
    const int32_t cx = TheBounds.left + wid / 2, cy = TheBounds.top + hig / 2;
    const int32_t rx = TheRect.left + rw / 2, ry = TheRect.top + rh / 2;
    OffsetRect(&TheRect, int16_t(cx - rx), int16_t(cy - ry));
}

RGBColor SetRGBColor(int16_t R, int16_t G, int16_t B) { return RGBColor{uint16_t(R), uint16_t(G), uint16_t(B)}; }

PixRec LongInt2PixRec(int32_t L) {
    const uint32_t u = uint32_t(L);
    return PixRec{0, uint8_t(u >> 16), uint8_t(u >> 8), uint8_t(u)};
}

int32_t PixRec2LongInt(PixRec P) { return P.RED * 65536 + P.GREEN * 256 + P.BLUE; }

int32_t RGBColor2LongInt(RGBColor TheColor) {
    return PixRec2LongInt(
        PixRec{0, uint8_t(TheColor.RED / 256), uint8_t(TheColor.GREEN / 256), uint8_t(TheColor.BLUE / 256)});
}

RGBColor LongInt2RGBColor(int32_t L) {
    const PixRec p = LongInt2PixRec(L);
    return RGBColor{uint16_t(p.RED * 256), uint16_t(p.GREEN * 256), uint16_t(p.BLUE * 256)};
}

std::string Num2Text(int32_t TheNum) { return std::to_string(TheNum); }

void SwapInt(int16_t& I1, int16_t& I2) {
    const int16_t t = I1;
    I1 = I2;
    I2 = t;
}

int32_t Max(int32_t A, int32_t B) { return A > B ? A : B; }

double RandomPercent() {
    const int r = Random();
    return (r < 0 ? -r : r) / 32767.0;
}

WindowRef OpenNibWindowFromCFBundle(const char* TheIdentifier, const char* TheNib, const char* TheWindow) {
    CFBundleRef bundle = CFBundleGetBundleWithIdentifier(TheIdentifier);
    Assert(bundle, Concat255("Cannot allocate bundle for ID = ", TheIdentifier ? TheIdentifier : ""));
    CFRetain(bundle);
    const char* nibName = TheNib && *TheNib ? TheNib : cMyPluginName;
    IBNibRef nib = nullptr;
    WindowRef window = nullptr;
    OSStatus err = CreateNibReferenceWithCFBundle(bundle, nibName, &nib);
    if (err == noErr) err = CreateWindowFromNib(nib, TheWindow, &window);
    if (err != noErr) {
        std::fprintf(stderr, "Cannot open the window \"%s\" of \"%s/%s\" (error %d)\n", TheWindow ? TheWindow : "",
                     TheIdentifier ? TheIdentifier : "", nibName, int(err));
    }
    DisposeNibReference(nib);
    CFRelease(bundle);
    return window;
}
