#include "support/RegistrySupport.h"

#include "support/TestSupport.h"
#include "winsys/Handle.h"

#include <sddl.h>


namespace testing_support {

std::string freshTestKey(const std::string& prefix)
{
    std::string path = "Software\\VogTests\\" + uniqueName(prefix);
    deleteKey(HKEY_LOCAL_MACHINE, path);
    return path;
}

bool deleteKey(HKEY root, const std::string& path)
{
    RegDeleteTreeA(root, path.c_str());
    RegDeleteKeyA(root, path.c_str());
    return !keyExists(root, path);
}

bool keyExists(HKEY root, const std::string& path, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool putValue(HKEY root, const std::string& path, const std::string& name, DWORD type, const void* data, DWORD size,
              REGSAM view)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    RegistryKey owned(key);
    return RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool putText(HKEY root, const std::string& path, const std::string& name, const std::string& text, DWORD type,
             REGSAM view)
{
    return putValue(root, path, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1), view);
}

bool putNumber(HKEY root, const std::string& path, const std::string& name, DWORD value)
{
    return putValue(root, path, name, REG_DWORD, &value, sizeof value);
}

RawValue rawValue(HKEY root, const std::string& path, const std::string& name)
{
    RawValue result;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return result;
    RegistryKey owned(key);
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &result.type, nullptr, &size) != ERROR_SUCCESS)
        return result;
    result.data.resize(size);
    if (RegQueryValueExA(key, name.c_str(), nullptr, &result.type, reinterpret_cast<BYTE*>(&result.data[0]), &size)
        != ERROR_SUCCESS)
        return result;
    result.data.resize(size);
    result.found = true;
    return result;
}

namespace {

std::vector<std::string> namesOf(HKEY root, const std::string& path, bool values)
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    RegistryKey owned(key);
    std::vector<char> name(32768);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        LSTATUS status = values ? RegEnumValueA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr)
                                : RegEnumKeyExA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            return names;
        names.emplace_back(name.data(), length);
    }
}

}  // namespace

std::vector<std::string> valueNamesOf(HKEY root, const std::string& path)
{
    return namesOf(root, path, true);
}

std::vector<std::string> subkeysOf(HKEY root, const std::string& path)
{
    return namesOf(root, path, false);
}

bool makeBrokenLink(const std::string& path)
{
    HKEY link = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &link, nullptr)
        != ERROR_SUCCESS)
        return false;
    RegistryKey owned(link);
    const std::wstring target = L"\\Registry\\Machine\\Software\\VogTests\\no-such-key";
    return RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.c_str()),
                          static_cast<DWORD>(target.size() * sizeof(wchar_t)))
        == ERROR_SUCCESS;
}

bool removeBrokenLink(const std::string& path)
{
    HKEY link = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &link) != ERROR_SUCCESS)
        return false;
    RegistryKey owned(link);
    // RegDeleteKeyA would open the link by name again, and so follow it.
    using NtDeleteKeyFunction = LONG(WINAPI*)(HANDLE);
    auto ntDeleteKey = reinterpret_cast<NtDeleteKeyFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey")));
    return ntDeleteKey && ntDeleteKey(link) == 0;
}

ReadOnlyKeys::ReadOnlyKeys(const std::string& path, HKEY root)
{
    keep(root, path, 0);
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;CI;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr))
        return;
    for (Kept& kept : keys)
        RegSetKeySecurity(kept.key, DACL_SECURITY_INFORMATION, readOnly);
    LocalFree(readOnly);
}

ReadOnlyKeys::~ReadOnlyKeys()
{
    for (Kept& kept : keys) {
        RegSetKeySecurity(kept.key, DACL_SECURITY_INFORMATION, kept.security.data());
        RegCloseKey(kept.key);
    }
}

void ReadOnlyKeys::keep(HKEY parent, const std::string& name, int depth)
{
    HKEY key = nullptr;
    if (depth > 16 || RegOpenKeyExA(parent, name.c_str(), 0, READ_CONTROL | WRITE_DAC | KEY_ENUMERATE_SUB_KEYS, &key)
                          != ERROR_SUCCESS)
        return;
    Kept kept{key, std::vector<char>(4096)};
    DWORD size = static_cast<DWORD>(kept.security.size());
    if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, kept.security.data(), &size) != ERROR_SUCCESS) {
        RegCloseKey(key);
        return;
    }
    keys.push_back(std::move(kept));
    for (const std::string& sub : subkeysOf(parent, name))
        keep(key, sub, depth + 1);
}

}  // namespace testing_support
