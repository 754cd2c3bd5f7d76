// Timing helpers for the benchmarks: medians of repeated runs, and one line per figure giving the
// ratio to a baseline measured in the same run.
#pragma once

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
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

// Threads of this process, from a Toolhelp snapshot.
inline int processThreadCount()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

// Waits (up to timeoutMs) until the process has at most `threads` threads; true when it has.
inline bool waitForThreadCount(int threads, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (processThreadCount() > threads) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(1);
    }
    return true;
}

// Memory committed privately by this process (GetProcessMemoryInfo's PrivateUsage), in bytes. Wine
// leaves PrivateUsage at 0 but fills PagefileUsage, the commit charge, which Windows gives as the
// same figure.
inline double privateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return static_cast<double>(counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage);
}

// The Windows path of a file of the build tree (a Linux path; Wine shows the Linux root as Z:).
inline std::string windowsPathOf(const char* unixPath)
{
    std::string path = "Z:" + std::string(unixPath);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}
