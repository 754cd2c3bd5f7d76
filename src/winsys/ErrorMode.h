// Keeps the system's error boxes ("There is no disk in the drive", "cannot find the file") off the
// calling thread while alive, for code that probes drives or loads libraries from folders that may
// sit on an empty removable drive. The thread's other error-mode flags are kept, and the previous
// mode comes back at the end.
#pragma once

#include <windows.h>

class QuietErrorMode {
public:
    explicit QuietErrorMode(DWORD quieted = SEM_FAILCRITICALERRORS) noexcept
    {
        SetThreadErrorMode(previous | quieted, &previous);
    }
    ~QuietErrorMode() { SetThreadErrorMode(previous, nullptr); }
    QuietErrorMode(const QuietErrorMode&) = delete;
    QuietErrorMode& operator=(const QuietErrorMode&) = delete;

private:
    DWORD previous = GetThreadErrorMode();
};
