// Sample row blends of the picture composer, scalar forms.
#pragma once
#include <cstdint>

// out = round((a x (255 - w) + b x w) / 255) per byte; w = 0 gives a, 255 gives b exactly.
void BlendRow8Scalar(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, int32_t count);
// 16-bit samples: out = (a x (16384 - W) + b x W + 8192) >> 14 with W = 64 w + (w + 2) / 4, the
// weight in 16384ths (255 -> 16384); w = 0 gives a, 255 gives b exactly.
void BlendRow16Scalar(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, int32_t count);
// The same, as wide as the processor goes.
void BlendRow8(const uint8_t* a, const uint8_t* b, const uint8_t* w, uint8_t* out, int32_t count);
void BlendRow16(const uint16_t* a, const uint16_t* b, const uint8_t* w, uint16_t* out, int32_t count);
