// Runs a theme's lookup the way a request does: on a thread of its own, inside the WM_USER
// handler of a hidden window that also hands device-change broadcasts to the theme.
#pragma once

#include "support/TestSupport.h"
#include "theme/Theme.h"
#include "winsys/Window.h"

#include <atomic>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

// The Windows path of the folder behind drive M: in the test prefix (missing until a test makes it).
inline std::string mediaTarget()
{
    const char* unixPath = getenv("VOG_TEST_MEDIA_DIR");
    std::string path = std::string("Z:") + (unixPath ? unixPath : "/nonexistent");
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

class LookupRun {
public:
    LookupRun(Theme& theme, std::string file, bool withDialog = true)
        : theme(theme), file(std::move(file)), withDialog(withDialog)
    {
        thread = std::thread([this] { body(); });
    }
    ~LookupRun()
    {
        if (HWND shown = dialog(0))
            SendMessageA(shown, WM_COMMAND, IDCANCEL, 0);
        if (thread.joinable())
            thread.join();
    }

    // The File Loader dialog of this lookup, once shown (null after timeoutMs).
    HWND dialog(DWORD timeoutMs = 10000)
    {
        testing_support::waitUntil([this] { return threadId.load() != 0; }, 5000);
        return testing_support::waitForWindow("Vog File Loader", timeoutMs, threadId);
    }
    HWND window() const { return owner.load(); }
    bool waitDone(DWORD timeoutMs)
    {
        return testing_support::waitUntil([this] { return done.load(); }, timeoutMs);
    }

    std::optional<std::string> result;
    std::atomic<bool> done{false};
    std::atomic<bool> threw{false};  // an error left the lookup
    double elapsedMs = 0;

private:
    class OwnerWindow : public Window {
    public:
        explicit OwnerWindow(LookupRun& run) : Window(testing_support::testInstance()), run(run) {}
        LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam, HWND hwnd) override
        {
            if (message == WM_CREATE) {
                run.owner = hwnd;
                SendMessageA(hwnd, WM_USER, 0, 0);
            } else if (message == WM_USER) {
                run.result = run.theme.locate(run.file, run.withDialog ? testing_support::testInstance() : nullptr, hwnd);
                SendMessageA(hwnd, WM_DESTROY, 0, 0);
                return 1;
            } else if (message == WM_DEVICECHANGE) {
                run.theme.onDeviceChange(wParam, lParam);
            }
            return Window::windowProc(message, wParam, lParam, hwnd);
        }

    private:
        LookupRun& run;
    };

    void body()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        threadId = GetCurrentThreadId();
        try {
            OwnerWindow window(*this);
            window.create(false);
        } catch (...) {
            threw = true;
        }
        CoUninitialize();
        done = true;
    }

    Theme& theme;
    std::string file;
    bool withDialog;
    std::atomic<DWORD> threadId{0};
    std::atomic<HWND> owner{nullptr};
    std::thread thread;
};
