// Compiled by the 32-bit cross compiler only: the host records' static_asserts must hold there.
#include "host/HYPluginRecords.h"

static_assert(sizeof(void*) == 4, "compile this file for a 32-bit target");
