#include "control/ComSupport.h"

#include <cstring>
#include <cwchar>

HRESULT lastErrorResult() noexcept
{
    DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

LPOLESTR taskMemCopy(const wchar_t* text) noexcept
{
    size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    auto copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (copy)
        std::memcpy(copy, text, bytes);
    return copy;
}

std::wstring modulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(moduleInstance(), &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        // Cut to the buffer: try again with more room rather than register a truncated path.
        if (path.size() >= 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

std::wstring moduleString(UINT id)
{
    // With a zero length LoadStringW hands out a read-only pointer to the resource itself.
    const wchar_t* text = nullptr;
    int length = LoadStringW(moduleInstance(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return {};
    return std::wstring(text, static_cast<size_t>(length));
}

HRESULT loadModuleTypeLib(ComPtr<ITypeLib>& library) noexcept
{
    try {
        std::wstring path = modulePath();
        if (path.empty())
            return E_FAIL;
        return LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT moduleTypeInfo(REFGUID guid, ComPtr<ITypeInfo>& info) noexcept
{
    ComPtr<ITypeLib> library;
    HRESULT result = loadModuleTypeLib(library);
    if (FAILED(result))
        return result;
    return library->GetTypeInfoOfGuid(guid, info.put());
}
