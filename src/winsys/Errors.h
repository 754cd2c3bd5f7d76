// The error convention: failures are raised as the standard exceptions (std::invalid_argument,
// std::overflow_error, std::runtime_error) with one fixed text naming what failed, never with a
// platform error code or system message. Three boundaries catch them: the control's open method,
// the top of a request's worker thread and the top of a watcher thread. COM entry points report
// HRESULTs instead; the helpers here turn platform failures into those.
#pragma once

#include <windows.h>

// The last error as an HRESULT. Never a success code: under Wine a failed call can leave the last
// error at 0, which becomes E_FAIL.
HRESULT lastErrorResult() noexcept;

// A registry or other Win32 status code (LSTATUS, DWORD) as an HRESULT; ERROR_SUCCESS gives S_OK.
HRESULT win32Result(DWORD status) noexcept;
