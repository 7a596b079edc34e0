#include "mlt/mltglue.h"

#include <algorithm>
#include <cmath>

#include "settings/DataHandling.h"

namespace {
// Frames the tiles are timed in when the property is unset, as the frei0r plug-in's default.
constexpr int32_t cDefaultFrames = 100;

int32_t WholeProperty(mlt_properties props, const char* name, int32_t Low, int32_t High, int32_t Fallback) {
    if (!mlt_properties_get(props, name)) return Fallback;
    const double v = mlt_properties_get_double(props, name);
    if (!(v >= Low)) return Low;  // NaN too
    return int32_t(std::llround(std::min(v, double(High))));
}

double FractionProperty(mlt_properties props, const char* name, double Fallback, int position, int length) {
    if (!mlt_properties_get(props, name)) return Fallback;
    const double v = mlt_properties_anim_get_double(props, name, position, length);
    return v >= 0 ? std::min(v, 1.0) : 0.0;
}
}  // namespace

TileSettings MltSettingsAt(mlt_properties Props, mlt_position Position, mlt_position In, mlt_position Out) {
    PluginDataRec factory{};
    ResetConfig(&factory, false);
    const int length = int(Out - In + 1), at = int(Position - In);
    TileSettings s;
    s.Progress = Out > In ? std::clamp(double(at) / double(Out - In), 0.0, 1.0) : 0.5;
    s.Method = int16_t(WholeProperty(Props, "method", 1, cMethodCount, factory.Method));
    s.Columns = int16_t(WholeProperty(Props, "columns", 1, cMaxRectHoriz, factory.Sliders[1]));
    s.Rows = int16_t(WholeProperty(Props, "rows", 1, cMaxRectVert, factory.Sliders[2]));
    s.TileDuration = int16_t(WholeProperty(Props, "tile_duration", 0, 100, factory.Sliders[3]));
    s.Randomized = WholeProperty(Props, "randomized", 0, 1, factory.RandomizedDuration ? 1 : 0) != 0;
    s.Seed = int16_t(WholeProperty(Props, "seed", 0, cMaxRandom - 1, 0));
    s.Frames = WholeProperty(Props, "frames", 10, 1000, cDefaultFrames);
    s.Active = RelRect{FractionProperty(Props, "left", factory.StartRel.Left, at, length),
                       FractionProperty(Props, "right", factory.StartRel.Right, at, length),
                       FractionProperty(Props, "top", factory.StartRel.Top, at, length),
                       FractionProperty(Props, "bottom", factory.StartRel.Bottom, at, length)};
    return s;
}
