// Timing helpers for the benchmarks: medians of repeated runs, and one line per figure giving the
// ratio to a baseline measured in the same run.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

inline double nowMs()
{
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Median duration in milliseconds of `runs` calls of work.
inline double medianMs(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        double start = nowMs();
        work();
        times.push_back(nowMs() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// Prints "name: ratio x (measured ms vs baseline ms), target ..." and returns the ratio.
inline double reportRatio(const char* name, double measuredMs, double baselineMs, double target)
{
    double ratio = baselineMs > 0 ? measuredMs / baselineMs : 0.0;
    std::printf("%-48s %6.2fx  (%.3f ms vs baseline %.3f ms; target at most %.2fx) %s\n", name, ratio,
                measuredMs, baselineMs, target, ratio <= target ? "ok" : "OVER TARGET");
    std::fflush(stdout);
    return ratio;
}
