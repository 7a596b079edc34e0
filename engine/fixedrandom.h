// A table of 30,000 random fractions (0..1, multiples of 1/32767) filled once when a state record
// is set up, read in order through a process-wide cursor so the tile layout never calls the
// platform generator itself. Host thread only: the table and cursor are unguarded.
#pragma once
#include <cstdint>

#include "host/PluginDefines.h"

typedef double RandomArray[cMaxRandom];
typedef RandomArray* RandomArrayPtr;

void InitRandomArray(RandomArrayPtr TheArray);
RandomArrayPtr NewRandomArray();  // zero-filled, not filled; null when out of memory
void DisposeRandomArray(RandomArrayPtr TheArray);
double NextRandom(int16_t& Index, RandomArrayPtr TheArray);

void FInitRandom();
void FResetRandom();
double FGetRandom();
int16_t FRnd(int16_t Max);
void FSetIndex(int16_t TheIndex);
int16_t FGetIndex();
// The shared table itself, for inspection and for tests that need known contents.
RandomArrayPtr FSharedTable();
