// Channel layouts as FFmpeg's channel masks: its defaults and names, and a layout for streams that name none.
#include "editor/media/FFmpeg_p.h"

namespace bw::media {

uint64_t DefaultLayout(int channels) {
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    const uint64_t mask = layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
    av_channel_layout_uninit(&layout);
    return mask;
}

std::string LayoutName(uint64_t layout) {
    AVChannelLayout l{};
    char name[128] = "";
    if (av_channel_layout_from_mask(&l, layout) == 0)
        av_channel_layout_describe(&l, name, sizeof name);
    av_channel_layout_uninit(&l);
    return name;
}

// The layout of a stream that names none: FFmpeg's for the count, else (ten channels, say, for
// which FFmpeg has no layout) one made of the units below in turn, each added while it fits, so
// that every channel can be mixed into another layout. Pairs stay whole: the mixer refuses a lone
// side channel. The channels it folds into 7.1 come first, the height channels last.
uint64_t detail::UnnamedLayout(int channels) {
    if (const uint64_t layout = DefaultLayout(channels))
        return layout;
    static constexpr uint64_t cUnits[] = {
        AV_CH_FRONT_LEFT | AV_CH_FRONT_RIGHT,
        AV_CH_FRONT_CENTER,
        AV_CH_LOW_FREQUENCY,
        AV_CH_BACK_LEFT | AV_CH_BACK_RIGHT,
        AV_CH_SIDE_LEFT | AV_CH_SIDE_RIGHT,
        AV_CH_FRONT_LEFT_OF_CENTER | AV_CH_FRONT_RIGHT_OF_CENTER,
        AV_CH_BACK_CENTER,
        AV_CH_TOP_FRONT_LEFT | AV_CH_TOP_FRONT_RIGHT,
        AV_CH_TOP_BACK_LEFT | AV_CH_TOP_BACK_RIGHT,
        AV_CH_TOP_CENTER,
        AV_CH_TOP_FRONT_CENTER,
        AV_CH_TOP_BACK_CENTER,
    };
    uint64_t layout = 0;
    for (const uint64_t unit : cUnits)
        if (LayoutChannels(layout | unit) <= channels)
            layout |= unit;
    return LayoutChannels(layout) == channels ? layout : 0;
}

}  // namespace bw::media
