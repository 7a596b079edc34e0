#include "imaging/blendrows.h"

void BlendRow8Scalar(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, int32_t count) {
    for (int32_t i = 0; i < count; i++) {
        const uint32_t t = uint32_t(a[i]) * (255u - w[i]) + uint32_t(b[i]) * w[i] + 128u;
        out[i] = uint8_t((t + (t >> 8)) >> 8);
    }
}

void BlendRow16Scalar(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, int32_t count) {
    for (int32_t i = 0; i < count; i++) {
        const uint32_t W = (uint32_t(w[i]) << 6) + ((uint32_t(w[i]) + 2u) >> 2);
        out[i] = uint16_t((uint32_t(a[i]) * (16384u - W) + uint32_t(b[i]) * W + 8192u) >> 14);
    }
}
