#include <new>

#include "platform/QuickDraw.h"
#include "platform/QuickDraw_p.h"

namespace {
PicHandle lgRecording = nullptr;        // the open picture
GrafPortRec* lgRecordedPort = nullptr;  // the port it records
int32_t lgLivePictures = 0;
}  // namespace

namespace qd {
void RecordCopyBits(const BitMap* src, const BitMap* dst, const Rect* srcRect, const Rect* dstRect) {
    if (!lgRecording || !lgRecordedPort || dst != &lgRecordedPort->portPixMap) return;
    // The same copy into the picture's pixels, whose origin is the frame's top-left corner.
    Rect into = *dstRect;
    OffsetRect(&into, int16_t(-lgRecording->picFrame.left), int16_t(-lgRecording->picFrame.top));
    CopyBits(src, GetPortBitMapForCopyBits(lgRecording->pixels), srcRect, &into, srcCopy, nullptr);
}
}  // namespace qd

PicHandle OpenCPicture(const OpenCPicParams* newHeader) {
    if (!newHeader || lgRecording || EmptyRect(&newHeader->srcRect)) return nullptr;
    Rect bounds = newHeader->srcRect;
    OffsetRect(&bounds, int16_t(-bounds.left), int16_t(-bounds.top));
    GWorldPtr pixels = nullptr;
    if (NewGWorld(&pixels, 32, &bounds, nullptr, nullptr, 0) != noErr || !pixels) return nullptr;
    auto* pic = new (std::nothrow) Picture{0, newHeader->srcRect, pixels};
    if (!pic) {
        DisposeGWorld(pixels);
        return nullptr;
    }
    lgLivePictures++;
    lgRecording = pic;
    lgRecordedPort = qd::CurrentPort();
    return pic;
}

void ClosePicture() {
    lgRecording = nullptr;
    lgRecordedPort = nullptr;
}

void DrawPicture(PicHandle myPicture, const Rect* dstRect) {
    if (!myPicture || !dstRect || myPicture == lgRecording) return;
    const Rect from = myPicture->pixels->portPixMap.bounds;
    CopyBits(GetPortBitMapForCopyBits(myPicture->pixels), GetPortBitMapForCopyBits(qd::CurrentPort()), &from, dstRect,
             srcCopy, nullptr);
}

void KillPicture(PicHandle myPicture) {
    if (!myPicture) return;
    if (myPicture == lgRecording) ClosePicture();
    DisposeGWorld(myPicture->pixels);
    delete myPicture;
    lgLivePictures--;
}

int32_t QDPictureLiveCount() { return lgLivePictures; }
