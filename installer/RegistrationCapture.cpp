// Writes the 32-bit VOG.OCX's registration as WiX registry entries for the x64 package, from what
// the module's own DllRegisterServer writes (run on the build machine with the 64-bit module: no
// 32-bit code can run there, and both modules register the same entries but for their own path and
// the type library's platform).
//
//   RegistrationCapture VOG.OCX OUTPUT.wxi FILE-REFERENCE
//
// FILE-REFERENCE (such as [#VogOcx32File]) stands for the installed module's path in the output.
//
// The module registers itself while HKEY_CLASSES_ROOT is remapped to a scratch key with
// RegOverridePredefKey, whose documented purpose is exactly this: an installation program loads a
// component, calls its entry point and examines the registry changes it attempted. The output holds
// the entries of the keys that 64-bit Windows keeps apart for 32-bit code (CLSID and Interface,
// and the type library's win32 path); the keys shared by both views (the ProgID, the component
// categories, the type library's own key) are the 64-bit module's, which registers itself.
#include <windows.h>

#include <comcat.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Entry {
    std::wstring key;
    std::wstring name;  // empty: the key's default value
    DWORD type;
    std::wstring text;  // REG_SZ text, or a REG_DWORD as its decimal text
    bool valueless;     // a key without values or subkeys: the package creates it itself
};

// Every value below key (recursively), with the key's path from the captured root.
void collect(HKEY key, const std::wstring& path, std::vector<Entry>& entries)
{
    DWORD subkeys = 0, values = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return;
    if (subkeys == 0 && values == 0 && !path.empty())
        entries.push_back({path, L"", REG_NONE, L"", true});
    for (DWORD index = 0; index < values; ++index) {
        wchar_t name[256];
        BYTE data[2048] = {};
        DWORD nameLength = 256, dataLength = sizeof data - sizeof(wchar_t), type = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS)
            continue;
        if (type == REG_DWORD)
            entries.push_back({path, name, type, std::to_wstring(*reinterpret_cast<DWORD*>(data)), false});
        else
            entries.push_back({path, name, type, reinterpret_cast<wchar_t*>(data), false});
    }
    for (DWORD index = 0; index < subkeys; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS)
            continue;
        collect(child, path.empty() ? name : path + L"\\" + name, entries);
        RegCloseKey(child);
    }
}

bool startsWith(const std::wstring& text, const std::wstring& prefix)
{
    return CompareStringOrdinal(text.c_str(), static_cast<int>(std::min(text.size(), prefix.size())),
                                prefix.c_str(), static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

// Replaces every occurrence of from (any case) in text by to.
std::wstring replaced(const std::wstring& text, const std::wstring& from, const std::wstring& to)
{
    std::wstring result;
    for (size_t at = 0; at < text.size();) {
        if (startsWith(text.substr(at), from)) {
            result += to;
            at += from.size();
        } else {
            result += text[at++];
        }
    }
    return result;
}

// MSI formatted text takes [ and ] as its own; XML the usual five.
std::wstring escaped(const std::wstring& text)
{
    std::wstring result;
    for (wchar_t c : text) {
        switch (c) {
        case L'[': result += L"[\\[]"; break;
        case L']': result += L"[\\]]"; break;
        case L'&': result += L"&amp;"; break;
        case L'<': result += L"&lt;"; break;
        case L'>': result += L"&gt;"; break;
        case L'"': result += L"&quot;"; break;
        default: result += c;
        }
    }
    return result;
}

// The key as 32-bit code sees it in its own view, or empty when the key is shared by both views.
std::wstring keyOf32BitView(const std::wstring& key)
{
    if (startsWith(key, L"CLSID\\") || startsWith(key, L"Interface\\"))
        return key;
    const std::wstring win64 = L"\\win64", win32 = L"\\win32";
    if (startsWith(key, L"TypeLib\\") && key.size() > win64.size()) {
        std::wstring platform = key.substr(key.size() - win64.size());
        if (startsWith(platform, win64) || startsWith(platform, win32))
            return key.substr(0, key.size() - win64.size()) + win32;
    }
    return {};
}

std::string utf8(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &result[0], size, nullptr,
                        nullptr);
    return result;
}

std::wstring guidText(REFGUID guid)
{
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

// Stands in for the system's component category manager while the module registers: it writes the
// class's memberships where the system's would, below the remapped HKEY_CLASSES_ROOT (Wine's own
// manager writes to the machine's classes whatever is remapped). The categories themselves are
// shared by both registry views and registered by the 64-bit module.
class CategoryRecorder : public ICatRegister, public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_ICatRegister)
            *object = static_cast<ICatRegister*>(this);
        else if (iid == IID_IClassFactory)
            *object = static_cast<IClassFactory*>(this);
        else
            return *object = nullptr, E_NOINTERFACE;
        return S_OK;
    }
    // One static object for the whole run: the counts do not matter.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        return outer ? CLASS_E_NOAGGREGATION : QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RegisterCategories(ULONG, CATEGORYINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UnRegisterCategories(ULONG, CATID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterClassImplCategories(REFCLSID clsid, ULONG count, CATID* ids) override
    {
        return writeMemberships(clsid, L"Implemented Categories", count, ids);
    }
    HRESULT STDMETHODCALLTYPE UnRegisterClassImplCategories(REFCLSID, ULONG, CATID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterClassReqCategories(REFCLSID clsid, ULONG count, CATID* ids) override
    {
        return writeMemberships(clsid, L"Required Categories", count, ids);
    }
    HRESULT STDMETHODCALLTYPE UnRegisterClassReqCategories(REFCLSID, ULONG, CATID*) override { return E_NOTIMPL; }

private:
    static HRESULT writeMemberships(REFCLSID clsid, const wchar_t* kind, ULONG count, const CATID* ids)
    {
        for (ULONG index = 0; index < count; ++index) {
            std::wstring key = L"CLSID\\" + guidText(clsid) + L"\\" + kind + L"\\" + guidText(ids[index]);
            HKEY created = nullptr;
            LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                             &created, nullptr);
            if (status != ERROR_SUCCESS)
                return HRESULT_FROM_WIN32(status);
            RegCloseKey(created);
        }
        return S_OK;
    }
};

// The module's registration below scratch, HKEY_CLASSES_ROOT remapped there meanwhile.
HRESULT registerInto(const std::wstring& module, HKEY scratch)
{
    static CategoryRecorder recorder;
    DWORD cookie = 0;
    // The module's own apartment joins this one, where the recorder is registered.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) ||
        FAILED(CoRegisterClassObject(CLSID_StdComponentCategoriesMgr, static_cast<IClassFactory*>(&recorder),
                                     CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie)))
        return E_FAIL;
    if (RegOverridePredefKey(HKEY_CLASSES_ROOT, scratch) != ERROR_SUCCESS)
        return E_FAIL;
    HRESULT result = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    // The module stays loaded: its registration may have left a window class or a thread behind.
    if (HMODULE loaded = LoadLibraryW(module.c_str())) {
        auto registerServer = reinterpret_cast<HRESULT(WINAPI*)()>(
            reinterpret_cast<void (*)()>(GetProcAddress(loaded, "DllRegisterServer")));
        result = registerServer ? registerServer() : E_NOINTERFACE;
    }
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    return result;
}

// The package's element for one entry of the 32-bit view, with reference in place of the module's
// path (line empty for an entry of a shared key). False for an entry it cannot carry: a value type
// other than text or number, or a path of the build machine.
bool wxsLine(const Entry& entry, const std::wstring& module, const std::wstring& reference, std::wstring& line)
{
    line.clear();
    std::wstring key = keyOf32BitView(entry.key);
    if (key.empty())
        return true;
    line = L"  <RegistryValue Root=\"HKLM\" Key=\"Software\\Classes\\" + escaped(key) + L"\"";
    if (entry.valueless) {
        // Created with the component and deleted with it.
        line += L" Name=\"*\" Type=\"string\" Value=\"\"/>\n";
        return true;
    }
    if (!entry.name.empty())
        line += L" Name=\"" + escaped(entry.name) + L"\"";
    if (entry.type != REG_SZ && entry.type != REG_DWORD) {
        std::fprintf(stderr, "%ls\\%ls: a value of type %lu\n", key.c_str(), entry.name.c_str(), entry.type);
        return false;
    }
    std::wstring value = replaced(escaped(entry.text), escaped(module), reference);
    const std::wstring folder = escaped(module.substr(0, module.rfind(L'\\')));
    if (replaced(value, folder, L"").size() != value.size()) {
        std::fprintf(stderr, "%ls: a path of the build machine: %ls\n", key.c_str(), value.c_str());
        return false;
    }
    line += entry.type == REG_DWORD ? L" Type=\"integer\"" : L" Type=\"string\"";
    line += L" Value=\"" + value + L"\"/>\n";
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: RegistrationCapture MODULE OUTPUT FILE-REFERENCE\n");
        return 2;
    }
    wchar_t module[MAX_PATH];
    DWORD length = GetFullPathNameW(argv[1], MAX_PATH, module, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return 2;

    const std::wstring scratchKey = L"Software\\VogRegistrationCapture-" + std::to_wstring(GetCurrentProcessId());
    HKEY scratch = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, scratchKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &scratch,
                        nullptr) != ERROR_SUCCESS)
        return 1;
    std::vector<Entry> entries;
    HRESULT result = registerInto(module, scratch);
    if (SUCCEEDED(result))
        collect(scratch, L"", entries);
    RegDeleteTreeW(scratch, nullptr);
    RegCloseKey(scratch);
    RegDeleteKeyW(HKEY_CURRENT_USER, scratchKey.c_str());
    if (FAILED(result)) {
        std::fprintf(stderr, "DllRegisterServer of %ls failed: 0x%08lX\n", module, static_cast<unsigned long>(result));
        return 1;
    }

    std::wstring text = L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                        L"<!-- Made by the build from VOG.OCX's own registration: do not edit. -->\n<Include>\n";
    std::vector<std::wstring> written;
    for (const Entry& entry : entries) {
        std::wstring line;
        if (!wxsLine(entry, module, argv[3], line))
            return 1;
        if (!line.empty() && std::find(written.begin(), written.end(), line) == written.end()) {
            written.push_back(line);
            text += line;
        }
    }
    text += L"</Include>\n";

    FILE* output = _wfopen(argv[2], L"wb");
    if (!output)
        return 1;
    std::string bytes = utf8(text);
    bool complete = std::fwrite(bytes.data(), 1, bytes.size(), output) == bytes.size();
    return std::fclose(output) == 0 && complete ? 0 : 1;
}
