#include "control/Registration.h"

#include "control/ComSupport.h"
#include "control/Identifiers.h"
#include "resources/resource.h"
#include "winsys/ComApartment.h"
#include "winsys/Handle.h"

#include <comcat.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// One registry value below HKEY_CLASSES_ROOT; a null valueName is the key's default value.
struct ClassEntry {
    std::wstring key;
    const wchar_t* valueName;
    std::wstring text;
};

std::wstring guidText(REFGUID guid)
{
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring wide(const char* ascii)
{
    return std::wstring(ascii, ascii + std::strlen(ascii));
}

// The control's entries in the order they are written: below the ProgID first, then below the class
// id, the threading model last.
std::vector<ClassEntry> controlEntries(const std::wstring& serverPath, const std::wstring& typeName)
{
    const std::wstring progId = wide(vogCtrlProgId);
    const std::wstring clsid = guidText(CLSID_VogCtrl);
    const std::wstring classKey = L"CLSID\\" + clsid;
    wchar_t version[16];
    std::swprintf(version, 16, L"%d.%d", vogVersionMajor, vogVersionMinor);
    return {
        {progId, nullptr, typeName},
        {progId + L"\\CLSID", nullptr, clsid},
        {classKey, nullptr, typeName},
        {classKey + L"\\ProgID", nullptr, progId},
        {classKey + L"\\InprocServer32", nullptr, serverPath},
        {classKey + L"\\ToolboxBitmap32", nullptr, serverPath + L", 1"},
        {classKey + L"\\MiscStatus", nullptr, L"0"},
        {classKey + L"\\MiscStatus\\1", nullptr, std::to_wstring(vogMiscStatus)},
        {classKey + L"\\Control", nullptr, L""},
        {classKey + L"\\TypeLib", nullptr, guidText(LIBID_VOGLib)},
        {classKey + L"\\Version", nullptr, version},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
    };
}

// The property page has neither ProgID keys nor a threading model.
std::vector<ClassEntry> pageEntries(const std::wstring& serverPath, const std::wstring& typeName)
{
    const std::wstring classKey = L"CLSID\\" + guidText(CLSID_VogPropPage);
    return {
        {classKey, nullptr, typeName},
        {classKey + L"\\InprocServer32", nullptr, serverPath},
    };
}

bool writeEntry(const ClassEntry& entry)
{
    HKEY created = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, entry.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &created, nullptr) != ERROR_SUCCESS)
        return false;
    RegistryKey key(created);
    auto bytes = static_cast<DWORD>((entry.text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), entry.valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.text.c_str()),
                          bytes) == ERROR_SUCCESS;
}

bool writeEntries(const std::vector<ClassEntry>& entries)
{
    for (const ClassEntry& entry : entries) {
        if (!writeEntry(entry))
            return false;
    }
    return true;
}

// Deletes a key with everything below it; a key that is already absent counts as removed.
bool removeTree(const std::wstring& key)
{
    LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// The component category manager, created in-process for one step and released after it.
HRESULT categoryManager(ComPtr<ICatRegister>& manager)
{
    return CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                            manager.putVoid());
}

HRESULT createCategory(REFCATID category, const wchar_t* description)
{
    ComPtr<ICatRegister> manager;
    HRESULT result = categoryManager(manager);
    if (FAILED(result))
        return result;
    CATEGORYINFO info = {};
    info.catid = category;
    info.lcid = 1033;
    // At most 127 characters and the terminating null.
    std::wcsncpy(info.szDescription, description, 127);
    info.szDescription[127] = L'\0';
    return manager->RegisterCategories(1, &info);
}

HRESULT implementCategory(REFCLSID clsid, REFCATID category, bool implemented)
{
    ComPtr<ICatRegister> manager;
    HRESULT result = categoryManager(manager);
    if (FAILED(result))
        return result;
    CATID ids[1] = {category};
    return implemented ? manager->RegisterClassImplCategories(clsid, 1, ids)
                       : manager->UnRegisterClassImplCategories(clsid, 1, ids);
}

bool registerControl(const std::wstring& serverPath)
{
    std::wstring typeName = moduleString(IDS_VOG_CONTROL);
    return !typeName.empty() && writeEntries(controlEntries(serverPath, typeName)) &&
           SUCCEEDED(createCategory(CATID_VogSafeForInitializing,
                                    L"Controls safely initializable from persistent data!")) &&
           SUCCEEDED(implementCategory(CLSID_VogCtrl, CATID_VogSafeForInitializing, true)) &&
           SUCCEEDED(createCategory(CATID_VogSafeForScripting, L"Controls safely scriptable!")) &&
           SUCCEEDED(implementCategory(CLSID_VogCtrl, CATID_VogSafeForScripting, true));
}

bool unregisterControl()
{
    if (!removeTree(L"CLSID\\" + guidText(CLSID_VogCtrl)) || !removeTree(wide(vogCtrlProgId)))
        return false;
    // The class key is gone already; what is left is the category manager's own record of members.
    implementCategory(CLSID_VogCtrl, CATID_VogSafeForInitializing, false);
    implementCategory(CLSID_VogCtrl, CATID_VogSafeForScripting, false);
    return true;
}

bool registerPage(const std::wstring& serverPath)
{
    std::wstring typeName = moduleString(IDS_VOG_PROPPAGE);
    return !typeName.empty() && writeEntries(pageEntries(serverPath, typeName));
}

bool unregisterPage()
{
    return removeTree(L"CLSID\\" + guidText(CLSID_VogPropPage));
}

// The embedded library and its attributes (identifier, version, locale, platform).
HRESULT embeddedTypeLib(ComPtr<ITypeLib>& library, TLIBATTR& attributes)
{
    HRESULT result = loadModuleTypeLib(library);
    if (FAILED(result))
        return result;
    TLIBATTR* held = nullptr;
    result = library->GetLibAttr(&held);
    if (FAILED(result))
        return result;
    attributes = *held;
    library->ReleaseTLibAttr(held);
    return S_OK;
}

// The embedded library must be the one the classes name: a library that widl wrote with a damaged
// LIBID would otherwise be registered under an identifier nobody asks for.
HRESULT registerTypeLib(const std::wstring& serverPath)
{
    ComPtr<ITypeLib> library;
    TLIBATTR attributes;
    HRESULT result = embeddedTypeLib(library, attributes);
    if (FAILED(result))
        return result;
    if (attributes.guid != LIBID_VOGLib)
        return TYPE_E_LIBNOTREGISTERED;
    std::wstring path = serverPath;
    return RegisterTypeLib(library.get(), &path[0], nullptr);
}

bool typeLibVersionKeyExists(const TLIBATTR& attributes)
{
    wchar_t key[96];
    std::swprintf(key, 96, L"TypeLib\\%ls\\%x.%x", guidText(attributes.guid).c_str(), attributes.wMajorVerNum,
                  attributes.wMinorVerNum);
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

// Unregisters with the locale and platform the library was registered for (those of the embedded
// library itself): asked for another locale, the platform finds nothing and fails. A library that
// is registered no more counts as removed.
HRESULT unregisterTypeLib()
{
    ComPtr<ITypeLib> library;
    TLIBATTR attributes;
    HRESULT result = embeddedTypeLib(library, attributes);
    if (FAILED(result))
        return result;
    result = UnRegisterTypeLib(LIBID_VOGLib, attributes.wMajorVerNum, attributes.wMinorVerNum, attributes.lcid,
                               attributes.syskind);
    if (FAILED(result) && !typeLibVersionKeyExists(attributes))
        return S_OK;
    return result;
}

}  // namespace

HRESULT registerServer() noexcept
{
    try {
        ComApartment apartment;
        std::wstring serverPath = modulePath();
        if (serverPath.empty() || FAILED(registerTypeLib(serverPath)))
            return selfRegTypeLibError;
        if (!registerControl(serverPath) || !registerPage(serverPath))
            return selfRegClassError;
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT unregisterServer() noexcept
{
    try {
        ComApartment apartment;
        if (FAILED(unregisterTypeLib()))
            return selfRegTypeLibError;
        if (!unregisterControl() || !unregisterPage())
            return selfRegClassError;
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
