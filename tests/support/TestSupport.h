// Helpers shared by the test suites: waiting with a timeout, finding windows, scratch folders.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace testing_support {

// The test program's own instance: it links the module's resources, so it holds the same dialog
// templates and icons as VOG.OCX.
HINSTANCE testInstance();

// Polls condition every stepMs until it holds or timeoutMs have passed; returns its last value.
bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs = 2);

// Waits for a top-level window with this caption (owned by threadId when it is not 0).
HWND waitForWindow(const char* caption, DWORD timeoutMs, DWORD threadId = 0);

// A visible dialog box (window class "#32770") of the thread; null when none appears in time.
HWND waitForDialogOf(DWORD thread, DWORD timeoutMs);

// A fresh, empty folder under the temporary folder, unique to this process and name; no trailing
// backslash. Whatever was there before is deleted.
std::string scratchFolder(const std::string& name);

// Deletes a folder with everything in it; true when it is gone afterwards.
bool deleteTree(const std::string& folder);

// Writes a file of the given content; true on success.
bool writeFile(const std::string& path, const std::string& content);

bool fileExists(const std::string& path);

// The path of a file called name (without regard to case) in folder or any folder below it; empty
// when there is none.
std::string findFileBelow(const std::string& folder, const std::string& name);

// The text of a window (WM_GETTEXT works across threads and processes).
std::string windowText(HWND window);

// A name unique within this test run: prefix, process id and a counter.
std::string uniqueName(const std::string& prefix);

}  // namespace testing_support
