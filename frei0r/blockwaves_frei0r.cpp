// The frei0r entry points of blockwaves.so: each one call into the glue (f0rglue.h).
// frei0r.h declares the interface without C linkage of its own.
extern "C" {
#include <frei0r.h>
}

#include "frei0r/f0rglue.h"

extern "C" {

int f0r_init() { return 1; }

void f0r_deinit() { ReleaseTileEngineBuffers(); }

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (!info) return;
    info->name = "Blockwaves";
    info->author = "Blockwaves";
    info->plugin_type = F0R_PLUGIN_TYPE_MIXER2;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 3;
    info->minor_version = 0;
    info->num_params = kF0rParamCount;
    static_assert(cMaxRectHoriz == 100 && cMaxRectVert == 100 && cMethodCount == 41, "the explanation quotes them");
    info->explanation =
        "Clip A gives way to clip B tile by tile: a grid of up to 100 x 100 tiles over the active "
        "area, each changing on its own schedule in one of 41 orders";
}

void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
    F0rParamInfo p;
    if (info && GetF0rParamInfo(param_index, p)) *info = f0r_param_info_t{p.Name, p.Type, p.Explanation};
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) { return F0rConstruct(width, height); }

void f0r_destruct(f0r_instance_t instance) { F0rDestruct(static_cast<F0rInstancePtr>(instance)); }

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    F0rSetParam(static_cast<F0rInstancePtr>(instance), param, param_index);
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    F0rGetParam(static_cast<F0rInstancePtr>(instance), param, param_index);
}

// A mixer is driven through f0r_update2; hosts do not call this one. With one input it passes it on.
void f0r_update(f0r_instance_t instance, double, const uint32_t* inframe, uint32_t* outframe) {
    F0rUpdate(static_cast<F0rInstancePtr>(instance), inframe, nullptr, outframe);
}

void f0r_update2(f0r_instance_t instance, double, const uint32_t* inframe1, const uint32_t* inframe2,
                 const uint32_t*, uint32_t* outframe) {
    F0rUpdate(static_cast<F0rInstancePtr>(instance), inframe1, inframe2, outframe);
}
}
