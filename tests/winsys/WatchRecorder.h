// A watch callback for the watcher tests: records and signals every report; can be told to throw, or
// to block until released.
#pragma once

#include "support/TestSupport.h"
#include "winsys/Handle.h"
#include "winsys/WatchSpec.h"

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_support {

inline constexpr DWORD reportTimeoutMs = 5000;
// How long a test waits to be sure that something does not happen.
inline constexpr DWORD quietMs = 300;

class Recorder : public WatchCallback {
public:
    Recorder() : reported(CreateEventA(nullptr, FALSE, FALSE, nullptr)), release(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

    void onChange(const std::string& folder) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            folders.push_back(folder);
        }
        SetEvent(reported.get());
        if (blocking) {
            WaitForSingleObject(release.get(), reportTimeoutMs);
            returned = true;
        }
        if (throwing)
            throw std::runtime_error("Recorder");
    }

    bool waitForReport(DWORD timeoutMs = reportTimeoutMs)
    {
        return WaitForSingleObject(reported.get(), timeoutMs) == WAIT_OBJECT_0;
    }

    // Writes new files into folder until a report arrives: the watcher's thread sets up its
    // notification some time after start, and changes before that are not seen.
    bool touchUntilReported(const std::string& folder)
    {
        for (int i = 0; i < 50; ++i) {
            writeFile(folder + "\\touch-" + std::to_string(i) + ".txt", "x");
            if (waitForReport(100))
                return true;
        }
        return false;
    }

    // Forgets the reports so far, including one whose event is still pending.
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex);
        folders.clear();
        ResetEvent(reported.get());
    }

    std::vector<std::string> seen()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return folders;
    }

    bool throwing = false;
    bool blocking = false;
    std::atomic<bool> returned{false};
    KernelHandle reported, release;  // release: ends a blocking onChange

private:
    std::mutex mutex;
    std::vector<std::string> folders;
};

}  // namespace testing_support
