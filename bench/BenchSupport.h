// Timing helpers for the benchmarks: medians of repeated runs, and one line per figure giving the
// ratio to a baseline measured in the same run.
#pragma once

#include <windows.h>

#include <oleauto.h>
#include <ocidl.h>
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

// The control's class, and DllGetClassObject of the VOG.OCX at unixPath loaded into this process
// (null when it cannot be loaded).
inline const CLSID clsidVogCtrl = {0x8739CB66, 0x6D75, 0x11D4, {0xB8, 0xCF, 0x8D, 0xD8, 0x4C, 0x2C, 0x15, 0x47}};
using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

inline GetClassObject loadVogModule(const char* unixPath)
{
    HMODULE module = LoadLibraryA(windowsPathOf(unixPath).c_str());
    auto entry = module ? reinterpret_cast<GetClassObject>(
                              reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetClassObject")))
                        : nullptr;
    if (!entry)
        std::printf("VOG.OCX could not be loaded from %s\n", windowsPathOf(unixPath).c_str());
    return entry;
}

// A new control through the class object, as a container creates it; null on failure.
inline IDispatch* newControl(GetClassObject getClassObject)
{
    IClassFactory* factory = nullptr;
    if (FAILED(getClassObject(clsidVogCtrl, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return nullptr;
    IDispatch* control = nullptr;
    factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&control));
    factory->Release();
    return control;
}

// The arguments of open(theme, file, intFile, "") as a script engine passes them, made once so that
// a timed call does not include their making.
class OpenArguments {
public:
    OpenArguments(const std::string& theme, const std::string& file, const std::string& intFile = "")
    {
        // rgvarg holds the arguments last first.
        const std::string texts[4] = {"", intFile, file, theme};
        for (int i = 0; i < 4; ++i) {
            VariantInit(&arguments[i]);
            V_VT(&arguments[i]) = VT_BSTR;
            V_BSTR(&arguments[i]) = SysAllocString(std::wstring(texts[i].begin(), texts[i].end()).c_str());
        }
    }
    ~OpenArguments()
    {
        for (VARIANT& argument : arguments)
            VariantClear(&argument);
    }
    OpenArguments(const OpenArguments&) = delete;
    OpenArguments& operator=(const OpenArguments&) = delete;

    // control.open(...) through IDispatch::Invoke.
    HRESULT invoke(IDispatch* control)
    {
        DISPPARAMS params = {arguments, nullptr, 4, 0};
        return control->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }

private:
    VARIANT arguments[4];
};
