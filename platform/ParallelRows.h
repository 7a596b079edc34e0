// Splits a row loop over the machine's cores when the work is large enough to pay for a thread.
// fn(first, last) handles rows first .. last - 1; bands never overlap, so each writes its own rows.
#pragma once
#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

// Below this many pixels one thread is faster than starting another: a pass over a 960 x 540
// frame takes about as long as starting and joining a thread on a busy machine.
inline constexpr int64_t cParallelMinPixels = 1024 * 1024;

template <class Fn>
void ParallelRows(int32_t rows, int64_t pixelsPerRow, Fn&& fn) {
    if (rows <= 0) return;
    const int64_t total = int64_t(rows) * std::max<int64_t>(pixelsPerRow, 1);
    static const int32_t cores = int32_t(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    const int32_t bands = total < cParallelMinPixels ? 1 : std::min(cores, rows);
    if (bands <= 1) {
        fn(int32_t(0), rows);
        return;
    }
    std::vector<std::thread> workers;
    workers.reserve(size_t(bands - 1));
    const int32_t step = (rows + bands - 1) / bands;
    for (int32_t b = 1; b < bands; b++) {
        const int32_t first = b * step, last = std::min(rows, first + step);
        if (first < last) workers.emplace_back([&fn, first, last] { fn(first, last); });
    }
    fn(int32_t(0), std::min(rows, step));
    for (auto& w : workers) w.join();
}
