// The transition as an MLT 7 module (libmltblockwaves.so): the transition service "blockwaves"
// and its metadata. Clip A is the transition's a_track, clip B its b_track; the progress runs from
// the transition's in point (clip A exactly) to its out point (clip B exactly). The settings are MLT
// properties in plain units, read at the frame's position, so the area may be keyframed.
#include <framework/mlt.h>

#include <exception>
#include <new>
#include <string>

#include "engine/pixeleffect.h"
#include "engine/planarcompose.h"
#include "mlt/mltglue.h"
#include "native/tilelayout.h"

namespace {
const char* const cLayoutKey = "_blockwaves_layout";

// MLT's own layout of a picture in a format composed in place (mlt_image_format_planes', with the
// chroma planes of yuv420p at w x h and 5/4 w x h as its producers write them). False for a format
// or size that layout cannot hold whole: MLT rounds chroma down at odd sizes (and the composer,
// as FFmpeg, up).
bool MltPicture(mlt_image_format format, uint8_t* data, int wid, int hig, PlanarPicture& p) {
    if (wid < 1 || hig < 1 || wid > cMaxRectSide || hig > cMaxRectSide) return false;
    p = PlanarPicture{{data, nullptr, nullptr}, {0, 0, 0}, wid, hig, PlanarFormat::RGBA, 8, YuvMatrix::BT601, false};
    const bool evenWid = wid % 2 == 0, evenHig = hig % 2 == 0;
    switch (format) {
        case mlt_image_rgba:
            p.Stride[0] = wid * 4;
            return true;
        case mlt_image_yuv422:
            p.Format = PlanarFormat::YUYV;
            p.Stride[0] = wid * 2;
            return evenWid;
        case mlt_image_yuv420p:
            p.Format = PlanarFormat::YUV420;
            p.Plane[1] = data + size_t(wid) * hig;
            p.Plane[2] = p.Plane[1] + size_t(wid / 2) * (hig / 2);
            p.Stride[0] = wid;
            p.Stride[1] = p.Stride[2] = wid / 2;
            return evenWid && evenHig;
        case mlt_image_yuv422p16:
            p.Format = PlanarFormat::YUV422;
            p.Depth = 16;
            p.Plane[1] = data + size_t(wid) * hig * 2;
            p.Plane[2] = p.Plane[1] + size_t(wid) * hig;
            p.Stride[0] = wid * 2;
            p.Stride[1] = p.Stride[2] = wid;
            return evenWid;
        default:
            return false;
    }
}

// The format the inputs are asked for: the consumer's own where it is composed in place, otherwise
// yuv422 (MLT's default), or rgba at an odd width, where MLT's YUV layouts cannot hold the picture.
mlt_image_format FormatFor(mlt_image_format asked, int wid, int hig) {
    PlanarPicture p;
    if (MltPicture(asked, nullptr, wid, hig, p)) return asked;
    return MltPicture(mlt_image_yuv422, nullptr, wid, hig, p) ? mlt_image_yuv422 : mlt_image_rgba;
}

int GetImage(mlt_frame a_frame, uint8_t** image, mlt_image_format* format, int* width, int* height, int) {
    mlt_frame b_frame = mlt_frame_pop_frame(a_frame);
    auto transition = static_cast<mlt_transition>(mlt_frame_pop_service(a_frame));
    mlt_properties props = MLT_TRANSITION_PROPERTIES(transition);

    // The transition's span, as MLT's own progress counts it: one without an out point lasts as
    // long as the clip it is applied to.
    mlt_position in = mlt_transition_get_in(transition), out = mlt_transition_get_out(transition);
    if (out == 0)
        if (mlt_producer producer = mlt_frame_get_original_producer(a_frame)) {
            in = mlt_producer_get_in(producer);
            out = mlt_producer_get_out(producer);
        }
    // Reading keyframed properties writes their caches: one frame at a time.
    mlt_service_lock(MLT_TRANSITION_SERVICE(transition));
    const TileSettings s = MltSettingsAt(props, mlt_frame_get_position(a_frame), in, out);
    mlt_service_unlock(MLT_TRANSITION_SERVICE(transition));

    *format = FormatFor(*format, *width, *height);
    int error = mlt_frame_get_image(a_frame, image, format, width, height, 1);
    if (error) return error;
    uint8_t* b = nullptr;
    mlt_image_format bFormat = *format;
    int bWidth = *width, bHeight = *height;
    error = mlt_frame_get_image(b_frame, &b, &bFormat, &bWidth, &bHeight, 0);
    // Clip B of another size is scaled to clip A's, as MLT's frei0r glue does.
    if (!error && (bWidth != *width || bHeight != *height) && b_frame->convert_image) {
        mlt_properties_set_int(MLT_FRAME_PROPERTIES(b_frame), "convert_image_width", *width);
        mlt_properties_set_int(MLT_FRAME_PROPERTIES(b_frame), "convert_image_height", *height);
        b_frame->convert_image(b_frame, &b, &bFormat, *format);
        bWidth = *width;
        bHeight = *height;
    }
    PlanarPicture pa, pb;
    if (error || !b || bFormat != *format || bWidth != *width || bHeight != *height ||
        !MltPicture(*format, *image, *width, *height, pa) || !MltPicture(bFormat, b, bWidth, bHeight, pb)) {
        mlt_log_warning(MLT_TRANSITION_SERVICE(transition), "clip B not composed: %dx%d %s for %dx%d %s\n",
                        bWidth, bHeight, mlt_image_format_name(bFormat), *width, *height,
                        mlt_image_format_name(*format));
        return 0;  // clip A as it is
    }
    auto* layout = static_cast<TileLayoutRec*>(mlt_properties_get_data(props, cLayoutKey, nullptr));
    if (!layout) return 0;
    // Nothing thrown may reach MLT; out of memory for the composer's rows leaves clip A.
    try {
        ComposeWithLayout(*layout, s, pa.Wid, pa.Hig, [&](const PluginDataRec& cfg, int32_t frame) {
            // RGBA through the engine's own 32-bit loops: the frei0r plug-in's and the bundle's frames.
            if (*format == mlt_image_rgba)
                ComposeClipsByTiles(*image, b, *image, pa.Stride[0], int16_t(pa.Wid), int16_t(pa.Hig),
                                    AlphaByte::Last, cfg, frame);
            else
                ComposePlanarByTiles(&pa, &pb, pa, cfg, frame);
        });
    } catch (const std::exception& e) {
        mlt_log_error(MLT_TRANSITION_SERVICE(transition), "clip B not composed: %s\n", e.what());
    }
    return 0;
}

mlt_frame Process(mlt_transition transition, mlt_frame a_frame, mlt_frame b_frame) {
    mlt_frame_push_service(a_frame, transition);
    mlt_frame_push_frame(a_frame, b_frame);
    mlt_frame_push_get_image(a_frame, GetImage);
    return a_frame;
}

void DisposeLayout(void* layout) {
    auto* l = static_cast<TileLayoutRec*>(layout);
    DisposeTileLayout(*l);
    delete l;
}

void* NewBlockwaves(mlt_profile, mlt_service_type, const char*, const void*) {
    auto* layout = new (std::nothrow) TileLayoutRec{};
    if (!layout) return nullptr;
    if (!InitTileLayout(*layout)) {
        DisposeLayout(layout);
        return nullptr;
    }
    mlt_transition transition = mlt_transition_new();
    if (!transition) {
        DisposeLayout(layout);
        return nullptr;
    }
    transition->process = Process;
    mlt_properties props = MLT_TRANSITION_PROPERTIES(transition);
    mlt_properties_set_data(props, cLayoutKey, layout, 0, DisposeLayout, nullptr);
    mlt_properties_set_int(props, "_transition_type", 1);  // video only
    return transition;
}

// blockwaves.yml from MLT's data folder (MLT_DATA, or where MLT was installed).
mlt_properties Metadata(mlt_service_type, const char*, void* file) {
    const char* data = mlt_environment("MLT_DATA");
    if (!data) return nullptr;
    try {
        return mlt_properties_parse_yaml((std::string(data) + "/blockwaves/" + static_cast<char*>(file)).c_str());
    } catch (const std::exception&) {
        return nullptr;
    }
}
}  // namespace

extern "C" MLT_REPOSITORY {
    MLT_REGISTER(mlt_service_transition_type, "blockwaves", NewBlockwaves);
    MLT_REGISTER_METADATA(mlt_service_transition_type, "blockwaves", Metadata, const_cast<char*>("blockwaves.yml"));
}
