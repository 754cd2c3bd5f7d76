#include "regtree/Register.h"

#include <cstring>
#include <stdexcept>

namespace Vantor {

namespace {

// Enumeration reads names into a buffer of this size: names of at most 255 characters.
constexpr DWORD nameBufferSize = 256;

const char* orEmpty(const char* name)
{
    return name ? name : "";
}

ValueKind classify(DWORD type)
{
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return ValueKind::text;
    case REG_DWORD:
        return ValueKind::number;
    case REG_BINARY:
        return ValueKind::binary;
    default:
        return ValueKind::other;
    }
}

LSTATUS enumerateKey(HKEY key, DWORD index, char* name, DWORD* length)
{
    return RegEnumKeyExA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
}

LSTATUS enumerateValue(HKEY key, DWORD index, char* name, DWORD* length)
{
    return RegEnumValueA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
}

// Lists names at indexes 0, 1, ... until the first failing call, whatever its reason.
template <typename Enumerate>
void listNames(HKEY key, Enumerate enumerate, std::vector<std::string>& names)
{
    names.clear();
    char name[nameBufferSize];
    for (DWORD index = 0; key; ++index) {
        DWORD length = nameBufferSize;
        if (enumerate(key, index, name, &length) != ERROR_SUCCESS)
            return;
        names.emplace_back(name, length);
    }
}

// Deletes the entries of one kind: takes the entry at `index` again and again while its deletion
// succeeds (the next entry then moves down to that index). An entry that cannot be deleted, or
// whose name does not fit the buffer and so cannot be named, is passed over by moving on to the
// next index; each turn thus removes an entry or advances, and the sweep ends.
template <typename Enumerate, typename Remove>
void sweep(HKEY key, Enumerate enumerate, Remove remove)
{
    char name[nameBufferSize];
    DWORD index = 0;
    for (;;) {
        DWORD length = nameBufferSize;
        LSTATUS status = enumerate(key, index, name, &length);
        if (status == ERROR_MORE_DATA) {
            ++index;
            continue;
        }
        if (status != ERROR_SUCCESS)
            return;
        if (!remove(key, name))
            ++index;
    }
}

void deleteValues(HKEY key)
{
    sweep(key, enumerateValue, [](HKEY k, const char* name) { return RegDeleteValueA(k, name) == ERROR_SUCCESS; });
}

bool deleteSubkey(HKEY parent, const char* name, REGSAM mask);

void deleteSubkeys(HKEY key, REGSAM mask)
{
    sweep(key, enumerateKey, [mask](HKEY k, const char* name) { return deleteSubkey(k, name, mask); });
}

// Depth first: the subtree goes before the key. RegDeleteKeyA takes a key's values with it, so they
// are swept one by one only when the key itself cannot be deleted: what remains is then the same
// as after clearing the key and failing to delete it.
bool deleteSubkey(HKEY parent, const char* name, REGSAM mask)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(parent, name, 0, mask, &opened) == ERROR_SUCCESS) {
        RegistryKey sub(opened);
        deleteSubkeys(sub.get(), mask);
        sub.reset();
    }
    // RegDeleteKeyA deletes in the caller's own view only; RegDeleteKeyExA takes the view.
    if (RegDeleteKeyExA(parent, name, mask & (KEY_WOW64_64KEY | KEY_WOW64_32KEY), 0) == ERROR_SUCCESS)
        return true;
    if (RegOpenKeyExA(parent, name, 0, mask, &opened) == ERROR_SUCCESS) {
        RegistryKey sub(opened);
        deleteValues(sub.get());
    }
    return false;
}

}  // namespace

AccessRefused::AccessRefused(Access access, const std::string& path)
    : std::runtime_error(std::string(access == Access::read ? "Reading" : "Changing") + " the registry key " + path +
                         " is not allowed for this user" +
                         (access == Access::read ? "." : ": changing it needs the rights of an administrator.")),
      access(access)
{
}

Register::Register(HKEY root, const char* path, Access access, View view)
    : root(root), chosen(access), view(view), keyPath(orEmpty(path))
{
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExA(root, path, 0, mask(), &opened);
    if (status == ERROR_ACCESS_DENIED)
        throw AccessRefused(access, keyPath);
    if (status != ERROR_SUCCESS)
        throw std::invalid_argument("class Vantor::Register");
    key.reset(opened);
}

REGSAM Register::mask() const
{
    // The view flag goes with every open, creation and deletion: once a key of a view is open, every
    // later call on its subkeys must name the same flag (the documented rule for alternate views).
    REGSAM wanted = chosen == Access::read ? KEY_READ : KEY_READ | KEY_WRITE;
    return wanted | (view == View::shared ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
}

bool Register::openSub(const char* name)
{
    if (!name || !*name)
        return false;
    HKEY opened = nullptr;
    LSTATUS status = key ? RegOpenKeyExA(key.get(), name, 0, mask(), &opened) : ERROR_INVALID_HANDLE;
    if (status != ERROR_SUCCESS) {
        key.reset();
        return false;
    }
    key.reset(opened);
    keyPath = keyPath.empty() ? std::string(name) : keyPath + "\\" + name;
    return true;
}

bool Register::createSub(const char* name)
{
    HKEY created = nullptr;
    LSTATUS status = key ? RegCreateKeyExA(key.get(), orEmpty(name), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           mask(), nullptr, &created, nullptr)
                         : ERROR_INVALID_HANDLE;
    if (status != ERROR_SUCCESS) {
        key.reset();
        return false;
    }
    key.reset(created);
    keyPath = keyPath.empty() ? std::string(orEmpty(name)) : keyPath + "\\" + orEmpty(name);
    return true;
}

bool Register::descend(const char* name, bool create, Mark& mark)
{
    if (!key || !name || !*name)
        return false;
    HKEY entered = nullptr;
    LSTATUS status = create ? RegCreateKeyExA(key.get(), name, 0, nullptr, REG_OPTION_NON_VOLATILE, mask(),
                                              nullptr, &entered, nullptr)
                            : RegOpenKeyExA(key.get(), name, 0, mask(), &entered);
    if (status != ERROR_SUCCESS)
        return false;
    mark.key = std::move(key);
    mark.path = keyPath;
    key.reset(entered);
    keyPath = keyPath.empty() ? std::string(name) : keyPath + "\\" + name;
    return true;
}

void Register::ascend(Mark& mark)
{
    key = std::move(mark.key);
    keyPath = std::move(mark.path);
}

bool Register::toParent()
{
    std::string::size_type slash = keyPath.rfind('\\');
    std::string parent = slash == std::string::npos ? std::string() : keyPath.substr(0, slash);
    key.reset();
    return reopen(root, parent.c_str());
}

bool Register::reopen(HKEY newRoot, const char* path)
{
    std::string target = orEmpty(path);  // path may point into keyPath
    key.reset();
    root = newRoot;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, target.c_str(), 0, mask(), &opened) != ERROR_SUCCESS) {
        keyPath.clear();
        return false;
    }
    key.reset(opened);
    keyPath = std::move(target);
    return true;
}

void Register::clearValues()
{
    if (key)
        deleteValues(key.get());
}

bool Register::deleteSub(const char* name)
{
    // RegDeleteKeyA with an empty name would delete the current key itself.
    if (!key || !name || !*name)
        return false;
    return deleteSubkey(key.get(), name, mask());
}

bool Register::deleteValue(const char* name)
{
    return key && RegDeleteValueA(key.get(), orEmpty(name)) == ERROR_SUCCESS;
}

void Register::subNames(std::vector<std::string>& names) const
{
    listNames(key.get(), enumerateKey, names);
}

void Register::valueNames(std::vector<std::string>& names) const
{
    listNames(key.get(), enumerateValue, names);
}

ValueKind Register::valueKind(const char* name) const
{
    DWORD type = REG_NONE;
    if (!key || RegQueryValueExA(key.get(), orEmpty(name), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
        return ValueKind::absent;
    return classify(type);
}

// readText and readNumber ask for type and data in one query (most values fit a small buffer) and
// then check the type, which gives the same answers as classifying the value first.
bool Register::readText(const char* name, std::string& out) const
{
    if (!key)
        return false;
    char small[512];
    DWORD type = REG_NONE;
    DWORD size = sizeof small;
    LSTATUS status = RegQueryValueExA(key.get(), orEmpty(name), nullptr, &type, reinterpret_cast<BYTE*>(small), &size);
    if (status == ERROR_SUCCESS) {
        if (classify(type) != ValueKind::text)
            return false;
        out.assign(small, strnlen(small, size));
        return true;
    }
    // Larger data: read again at the size the registry asked for; the value may grow in between.
    std::vector<char> data;
    for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
        data.resize(size);
        status = RegQueryValueExA(key.get(), orEmpty(name), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    }
    if (status != ERROR_SUCCESS || classify(type) != ValueKind::text)
        return false;
    out.assign(data.data(), strnlen(data.data(), size));
    return true;
}

bool Register::readNumber(const char* name, std::uint32_t& out) const
{
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!key || RegQueryValueExA(key.get(), orEmpty(name), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size)
                    != ERROR_SUCCESS
        || type != REG_DWORD)
        return false;
    out = value;
    return true;
}

bool Register::readBinary(const char* name, void* buffer, DWORD size) const
{
    // The kind is checked first so that the caller's buffer is never overwritten by a text or number.
    if (valueKind(name) != ValueKind::binary || (!buffer && size))
        return false;
    BYTE none = 0;
    DWORD type = REG_NONE;
    DWORD length = size;
    return RegQueryValueExA(key.get(), orEmpty(name), nullptr, &type, buffer ? static_cast<BYTE*>(buffer) : &none,
                            &length) == ERROR_SUCCESS
        && type == REG_BINARY;
}

bool Register::readBytes(const char* name, std::string& out) const
{
    // The value may grow between the size query and the read: ask again a few times.
    for (int attempt = 0; key && attempt < 4; ++attempt) {
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (RegQueryValueExA(key.get(), orEmpty(name), nullptr, &type, nullptr, &size) != ERROR_SUCCESS
            || type != REG_BINARY)
            return false;
        std::string bytes(size, '\0');
        LSTATUS status = RegQueryValueExA(key.get(), orEmpty(name), nullptr, &type,
                                          reinterpret_cast<BYTE*>(bytes.empty() ? nullptr : &bytes[0]), &size);
        if (status == ERROR_SUCCESS && type == REG_BINARY) {
            bytes.resize(size);
            out = std::move(bytes);
            return true;
        }
        if (status != ERROR_MORE_DATA)
            return false;
    }
    return false;
}

bool Register::lastWritten(FILETIME& out) const
{
    return key
        && RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, &out)
               == ERROR_SUCCESS;
}

bool Register::writeText(const char* name, const std::string& text)
{
    return key
        && RegSetValueExA(key.get(), orEmpty(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool Register::writeNumber(const char* name, std::uint32_t value)
{
    DWORD data = value;
    return key
        && RegSetValueExA(key.get(), orEmpty(name), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data)
               == ERROR_SUCCESS;
}

bool Register::writeBinary(const char* name, const void* data, DWORD size)
{
    return key
        && RegSetValueExA(key.get(), orEmpty(name), 0, REG_BINARY, static_cast<const BYTE*>(data), size)
               == ERROR_SUCCESS;
}

}  // namespace Vantor
