// Tells the test runner that this program started: scripts/wine-run names a file in
// VOG_TEST_STARTED_FILE, and a failed run that left no such file never reached its first
// instruction (Wine could not start it), which the runner reports as that rather than as a test
// failure. Linked into every test program as an object of its own, so that nothing can drop it.
#include <windows.h>

namespace {

struct StartMark {
    StartMark()
    {
        char path[MAX_PATH];
        DWORD length = GetEnvironmentVariableA("VOG_TEST_STARTED_FILE", path, sizeof path);
        if (length == 0 || length >= sizeof path)
            return;
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
};

const StartMark startMark;

}  // namespace
