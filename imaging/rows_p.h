// The per-level fills of the row-kernel table, shared by imaging/rows*.cpp. Each level first fills
// the table as the level below does, then puts in its own faster forms.
#pragma once
#include "imaging/rows.h"

void FillRowsScalar(RowKernels& k);
#if defined(BW_ROWS_X86)
void FillRowsSSE2(RowKernels& k);
void FillRowsAVX2(RowKernels& k);
#endif
