// Writes 32-bit buffers (alpha, red, green, blue in memory) as opaque RGB PNG files.
#pragma once
#include <string>

#include "platform/QuickDraw.h"

// Returns false and leaves no file behind when the file cannot be written.
bool WriteGWorldPNG(GWorldPtr gw, const std::string& path, std::string* error = nullptr);
