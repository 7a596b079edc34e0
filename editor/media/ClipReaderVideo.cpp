// The clip reader's pictures: finding the picture shown at a frame index (decoding forward, or
// seeking first) and converting it to ARGB at the size asked for, upright.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "editor/media/ClipReader_p.h"

namespace bw::media {

// "1:02.48" for 62.48 seconds: how a player shows a place in a clip.
std::string detail::TimeText(double seconds) {
    const int64_t hundredths = std::llround(std::max(seconds, 0.0) * 100);
    char text[40];
    const int64_t minutes = hundredths / 6000;
    if (minutes >= 60)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld", (long long)(minutes / 60), (long long)(minutes % 60),
                      (long long)(hundredths / 100 % 60), (long long)(hundredths % 100));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld.%02lld", (long long)minutes, (long long)(hundredths / 100 % 60),
                      (long long)(hundredths % 100));
    return text;
}

// Seeks for `index`, each attempt earlier than the one before: the keyframe before the frame, ten
// seconds earlier (MPEG program and transport streams land a GOP late), then the very start. AVI
// goes back to its start through its index: after a byte seek its stamps no longer count from 0.
MediaStatus ClipReader::Impl::SeekVideo(int64_t index, int attempt) {
    int err = -1;
    if (attempt < 2) {
        const int64_t back = attempt == 0 ? 0 : av_rescale_q(10, AVRational{1, 1}, VTimeBase);
        err = av_seek_frame(Video.Fmt.get(), Video.Index, std::max(PtsOfIndex(index) - back, VStartPts), AVSEEK_FLAG_BACKWARD);
    } else if (VLagPts > 0) {
        err = av_seek_frame(Video.Fmt.get(), Video.Index, VStartPts, AVSEEK_FLAG_BACKWARD);
    }
    if (err < 0 && !(Video.Fmt->iformat->flags & AVFMT_NO_BYTE_SEEK))
        err = av_seek_frame(Video.Fmt.get(), -1, 0, AVSEEK_FLAG_BYTE);
    if (err < 0)
        err = av_seek_frame(Video.Fmt.get(), Video.Index, INT64_MIN + 1, AVSEEK_FLAG_BACKWARD);
    if (err < 0)
        err = avformat_seek_file(Video.Fmt.get(), -1, INT64_MIN, 0, 0, 0);
    VSought = true;
    if (err < 0)
        return MediaStatus::Fail(Path, "cannot seek to frame " + std::to_string(index) + " (" +
                                           InputErrorText(err, IoError(Video.Fmt.get())) + ")");
    avcodec_flush_buffers(Video.Dec.get());
    HaveCurrent = HavePending = false;
    Video.DemuxDone = Video.DecodeDone = false;
    return {};
}

// The clip holds `frames` frames, fewer than its header promised: the count is lowered and the
// read fails, naming where the clip ends.
MediaStatus ClipReader::Impl::EndedEarly(int64_t frames) {
    Info.FrameCount = std::max<int64_t>(frames, 1);
    Info.FrameCountExact = true;
    MediaStatus s = MediaStatus::Fail(Path, "the file ends early at " + TimeText(double(frames) / Info.FrameRate.ToDouble()) +
                                                (Video.ReadError.empty() ? "" : " (" + Video.ReadError + ")"));
    s.EndedEarly = true;
    return s;
}

// Makes Current the last picture whose index is at most `index` (or the first picture when the
// clip starts later), decoding forward from where we are or after a seek. Near the start of a clip
// that was never sought, decoding simply begins where the demuxer stands: the first seek of some
// containers lands on the second group of pictures.
MediaStatus ClipReader::Impl::PositionAt(int64_t index) {
    if (!Video.Fmt)
        if (MediaStatus s = Reopen(); !s)
            return s;
    const int64_t nearby = 2 * int64_t(Info.FrameRate.ToDouble() + 1);
    bool forward = HaveCurrent && index >= CurrentIndex;
    if (!HaveCurrent && !VSought && index <= nearby) {
        bool got = false;
        if (MediaStatus s = DecodeVideo(Current.get(), got); !s)
            return s;
        if (got) {
            const int64_t pts = Current->best_effort_timestamp;
            CurrentIndex = pts == AV_NOPTS_VALUE ? 0 : std::max<int64_t>(IndexOfPts(pts), 0);
            HaveCurrent = forward = true;
        }
    }
    if (forward && HavePending && index >= PendingIndex + 1) {
        // Jumping ahead: seek only when a keyframe lies between here and the target.
        const AVStream* st = Video.Fmt->streams[Video.Index];
        const int entry = av_index_search_timestamp(const_cast<AVStream*>(st), PtsOfIndex(index), AVSEEK_FLAG_BACKWARD);
        const AVIndexEntry* ie = entry >= 0 ? avformat_index_get_entry(const_cast<AVStream*>(st), entry) : nullptr;
        if (ie != nullptr)
            forward = ie->timestamp <= Current->best_effort_timestamp;
        else
            forward = index - CurrentIndex <= nearby;
    }
    for (int attempt = 0; !forward && attempt < 3; attempt++) {
        if (MediaStatus s = SeekVideo(index, attempt); !s)
            return s;
        bool got = false;
        if (MediaStatus s = DecodeVideo(Current.get(), got); !s)
            return s;
        if (!got)
            continue;
        const int64_t pts = Current->best_effort_timestamp;
        CurrentIndex = pts == AV_NOPTS_VALUE ? 0 : IndexOfPts(pts);
        HaveCurrent = true;
        if (CurrentIndex <= index)
            break;  // landed before the target: decode forward from here
    }
    if (!HaveCurrent)
        return MediaStatus::Fail(Path, "no decodable video frames");
    for (;;) {
        if (!HavePending) {
            if (Video.DecodeDone)
                break;
            bool got = false;
            if (MediaStatus s = DecodeVideo(Pending.get(), got); !s)
                return s;
            if (!got)
                break;
            const int64_t pts = Pending->best_effort_timestamp;
            PendingIndex = pts == AV_NOPTS_VALUE ? CurrentIndex + 1 : IndexOfPts(pts);
            HavePending = true;
        }
        if (PendingIndex > index)
            break;
        std::swap(Current, Pending);
        CurrentIndex = PendingIndex;
        HavePending = false;
        av_frame_unref(Pending.get());
    }
    if (!HavePending && Video.DecodeDone && index > CurrentIndex) {
        // The clip ends here. Within rounding of a count estimated from the duration (or a
        // variable frame rate's last frame) the last picture stands in; more is an early end.
        const int64_t frames = CurrentIndex + 1;
        const int64_t slack = std::max<int64_t>(2, Info.FrameCount / 50);
        if (!Video.ReadError.empty() || Info.FrameCount - frames > slack)
            return EndedEarly(frames);
    }
    return {};
}

MediaStatus ClipReader::Impl::Scale(const PixelView& dst, bool highQuality) {
    const AVFrame* f = Current.get();
    if (Tone) {
        if (const AVFrame* mapped = Tone->Map(f)) {
            f = mapped;
        } else if (Info.Warning.empty()) {
            Info.Warning = Path + ": " + Info.Hdr + " video is shown without tone mapping (the conversion failed)";
        }
    }
    // A turned picture is scaled at its stored orientation first, then turned into dst.
    const bool quarter = Info.Rotation == 90 || Info.Rotation == 270;
    PixelView target = dst;
    if (Info.Rotation != 0) {
        Turned.Resize(quarter ? dst.Height : dst.Width, quarter ? dst.Width : dst.Height);
        target = Turned.View();
    }
    bool fullRange = f->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat srcFormat = PlainFormat(AVPixelFormat(f->format), fullRange);
    const int flags = highQuality ? SWS_BILINEAR : SWS_POINT;
    SwsContext* ctx = sws_getCachedContext(Sws.release(), f->width, f->height, srcFormat, target.Width, target.Height,
                                           AV_PIX_FMT_ARGB, flags, nullptr, nullptr, nullptr);
    Sws.reset(ctx);
    if (ctx == nullptr) {
        const char* name = av_get_pix_fmt_name(srcFormat);
        return MediaStatus::Fail(Path, std::string("cannot convert ") + (name ? name : "unknown") + " pictures to ARGB");
    }
    // Source matrix and range from the frame; RGB output is always full range. Read back from the
    // context, not remembered: a context made afresh may reuse the old one's address, and a full
    // range source would then be read as limited from its second picture on.
    const int* coeffs = sws_getCoefficients(SwsColorspace(f));
    int* table = nullptr;
    int* invTable = nullptr;
    int srcRange = -1, dstRange = -1, brightness = 0, contrast = 0, saturation = 0;
    sws_getColorspaceDetails(ctx, &invTable, &srcRange, &table, &dstRange, &brightness, &contrast, &saturation);
    if (invTable == nullptr || std::memcmp(invTable, coeffs, 4 * sizeof(int)) != 0 || srcRange != int(fullRange) ||
        dstRange != 1)
        sws_setColorspaceDetails(ctx, coeffs, fullRange ? 1 : 0, coeffs, 1, 0, 1 << 16, 1 << 16);
    uint8_t* dstData[4] = {target.Base, nullptr, nullptr, nullptr};
    int dstStride[4] = {target.RowBytes, 0, 0, 0};
    const int rows = sws_scale(ctx, f->data, f->linesize, 0, f->height, dstData, dstStride);
    if (rows != target.Height)
        return MediaStatus::Fail(Path, "picture conversion failed");
    if (Info.Rotation != 0)
        TurnInto(Turned, Info.Rotation, dst);
    return {};
}

}  // namespace bw::media
