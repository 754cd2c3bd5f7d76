// A theme's lookup run the way a request runs it: on a thread of its own, inside the WM_USER
// handler of a hidden window, with the File Loader dialog of this program's resources. Records the
// moment locate returned.
#pragma once

#include "BenchSupport.h"

#include "theme/Theme.h"
#include "winsys/Window.h"

#include <objbase.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

class LookupThread {
public:
    LookupThread(Theme& theme, std::string file) : theme(theme), file(std::move(file))
    {
        thread = std::thread([this] { body(); });
    }
    ~LookupThread()
    {
        if (HWND shown = dialog(0))
            SendMessageA(shown, WM_COMMAND, IDCANCEL, 0);
        thread.join();
    }
    LookupThread(const LookupThread&) = delete;
    LookupThread& operator=(const LookupThread&) = delete;

    // The lookup's dialog once it shows; null when it has not within timeoutMs.
    HWND dialog(DWORD timeoutMs = 10000)
    {
        DWORD start = GetTickCount();
        for (;;) {
            HWND found = nullptr;
            if (DWORD id = threadId.load())
                EnumThreadWindows(id, findDialog, reinterpret_cast<LPARAM>(&found));
            if (found || GetTickCount() - start >= timeoutMs)
                return found;
            Sleep(1);
        }
    }
    // Waits until locate has returned.
    bool waitDone(DWORD timeoutMs)
    {
        DWORD start = GetTickCount();
        while (!done.load()) {
            if (GetTickCount() - start > timeoutMs)
                return false;
            Sleep(0);
        }
        return true;
    }

    std::optional<std::string> result;
    std::atomic<double> returnedAt{0};

private:
    static BOOL CALLBACK findDialog(HWND window, LPARAM found)
    {
        char caption[32] = {};
        GetWindowTextA(window, caption, sizeof caption);
        if (std::string(caption) != "Vog File Loader" || !IsWindowVisible(window))
            return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }

    class Owner : public Window {
    public:
        explicit Owner(LookupThread& run) : Window(GetModuleHandleA(nullptr)), run(run) {}
        LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam, HWND hwnd) override
        {
            if (message == WM_CREATE) {
                SendMessageA(hwnd, WM_USER, 0, 0);
            } else if (message == WM_USER) {
                run.result = run.theme.locate(run.file, GetModuleHandleA(nullptr), hwnd);
                run.returnedAt = nowMs();
                run.done = true;
                SendMessageA(hwnd, WM_DESTROY, 0, 0);
                return 1;
            }
            return Window::windowProc(message, wParam, lParam, hwnd);
        }

    private:
        LookupThread& run;
    };

    void body()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        threadId = GetCurrentThreadId();
        {
            Owner owner(*this);
            owner.create(false);
        }
        CoUninitialize();
    }

    Theme& theme;
    std::string file;
    std::atomic<bool> done{false};
    std::atomic<DWORD> threadId{0};
    std::thread thread;
};
