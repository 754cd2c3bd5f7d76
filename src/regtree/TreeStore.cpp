#include "regtree/TreeStore.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

bool isDecimal(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Numeric order of two decimal texts of any length.
bool indexLess(std::string_view a, std::string_view b)
{
    a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
    b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

// Puts `names` in the order of their indexes when indexOf gives a decimal index for every one of
// them; otherwise leaves the registry's order. Equal indexes (an int and a string array sharing a
// key) keep their order.
template <typename Named, typename IndexOf>
void sortByIndex(std::vector<Named>& names, IndexOf indexOf)
{
    if (!std::all_of(names.begin(), names.end(), [&](const Named& name) { return isDecimal(indexOf(name)); }))
        return;
    std::stable_sort(names.begin(), names.end(),
                     [&](const Named& a, const Named& b) { return indexLess(indexOf(a), indexOf(b)); });
}

std::string_view afterFirstDot(const std::string& name)
{
    return std::string_view(name).substr(name.find('.') + 1);
}

// One value of a key with its type and data, as one enumeration call gives them: reading a key's
// values this way costs one registry call per value instead of two. The typed reads accept what
// Vantor::Register's typed reads accept.
struct StoredValue {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<unsigned char> data;

    // REG_DWORD of at most 4 bytes; shorter data fills only its own low bytes.
    bool number(std::uint32_t& out) const
    {
        if (type != REG_DWORD || data.size() > sizeof out)
            return false;
        out = 0;
        std::memcpy(&out, data.data(), data.size());
        return true;
    }
    // REG_BINARY of at most 8 bytes, followed by zero bytes when shorter.
    bool real(double& out) const
    {
        if (type != REG_BINARY || data.size() > sizeof out)
            return false;
        unsigned char bytes[sizeof out] = {};
        std::memcpy(bytes, data.data(), data.size());
        std::memcpy(&out, bytes, sizeof out);
        return true;
    }
    // REG_SZ or REG_EXPAND_SZ (unexpanded), up to the first NUL.
    bool text(std::string& out) const
    {
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return false;
        const char* chars = reinterpret_cast<const char*>(data.data());
        out.assign(chars, strnlen(chars, data.size()));
        return true;
    }
};

// The values of key in the registry's order. Like Register::valueNames, the list ends at the first
// failing call: the end, a missing key, or a name longer than 255 characters.
void storedValues(HKEY key, std::vector<StoredValue>& values)
{
    values.clear();
    char name[256];
    std::vector<unsigned char> data(1024);
    for (DWORD index = 0; key; ++index) {
        DWORD nameLength = sizeof name;
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(data.size());
        LSTATUS status = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data.data(), &size);
        // Data larger than the buffer (or a name too long, which the size query fails on as well):
        // ask for the size, then read again; the value may change in between.
        for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
            nameLength = sizeof name;
            size = 0;
            status = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, nullptr, &size);
            if (status != ERROR_SUCCESS)
                return;
            data.resize(std::max<size_t>(size, 1));
            nameLength = sizeof name;
            size = static_cast<DWORD>(data.size());
            status = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data.data(), &size);
        }
        if (status != ERROR_SUCCESS)
            return;
        values.push_back({std::string(name, nameLength), type, std::vector<unsigned char>(data.begin(), data.begin() + size)});
    }
}

// Two or more keys below a group are one key per child, unless they are just "data" and "subs":
// the keys of a single child stored directly in the group's key.
bool holdsOneChild(const std::vector<std::string>& keys)
{
    return keys.size() < 2
        || std::all_of(keys.begin(), keys.end(), [](const std::string& k) { return k == "data" || k == "subs"; });
}

}  // namespace

void RegistryTreeStore::load(Tree& node)
{
    Vantor::Register::Mark nodeMark;
    if (cursor.descend("data", false, nodeMark)) {
        readValues(node, nullptr);
        cursor.ascend(nodeMark);
    }
    if (!cursor.descend("subs", false, nodeMark))
        return;
    std::vector<std::string> groups;
    cursor.subNames(groups);
    for (const std::string& group : groups) {
        Vantor::Register::Mark subsMark;
        if (!cursor.descend(group.c_str(), false, subsMark))
            continue;
        std::vector<std::string> keys;
        cursor.subNames(keys);
        if (holdsOneChild(keys)) {
            load(node.addChild(group, std::make_unique<Tree>(&node)));
        } else {
            sortByIndex(keys, [](const std::string& key) { return std::string_view(key); });
            for (const std::string& key : keys) {
                Vantor::Register::Mark groupMark;
                if (!cursor.descend(key.c_str(), false, groupMark))
                    continue;
                load(node.addChild(group, std::make_unique<Tree>(&node)));
                cursor.ascend(groupMark);
            }
        }
        cursor.ascend(subsMark);
    }
    cursor.ascend(nodeMark);
}

void RegistryTreeStore::readValues(Tree& node, const std::string* arrayName)
{
    std::vector<StoredValue> values;
    storedValues(cursor.currentKey(), values);
    values.erase(std::remove_if(values.begin(), values.end(),
                                [](const StoredValue& value) { return value.name.find('.') == std::string::npos; }),
                 values.end());
    if (arrayName)
        sortByIndex(values, [](const StoredValue& value) { return afterFirstDot(value.name); });

    for (const StoredValue& value : values) {
        std::string_view tag(value.name.data(), value.name.find('.'));
        std::string name = arrayName ? *arrayName : std::string(afterFirstDot(value.name));
        std::uint32_t number = 0;
        if (tag == "int") {
            if (value.number(number))
                node.setInt(name, static_cast<std::int32_t>(number), -1);
        } else if (tag == "bool") {
            if (value.number(number))
                node.setBool(name, number != 0, -1);
        } else if (tag == "hex") {
            if (value.number(number))
                node.setHex(name, number, -1);
        } else if (tag == "real") {
            double real;
            if (value.real(real))
                node.setReal(name, real, -1);
        } else if (tag == "string") {
            std::string text;
            if (value.text(text))
                node.setString(name, text, -1);
        }
    }

    // Array keys; a key below an array key is read as an array named after itself.
    std::vector<std::string> keys;
    cursor.subNames(keys);
    for (const std::string& key : keys) {
        Vantor::Register::Mark mark;
        if (!cursor.descend(key.c_str(), false, mark))
            continue;
        readValues(node, &key);
        cursor.ascend(mark);
    }
}

void RegistryTreeStore::save(const Tree& node)
{
    Vantor::Register::Mark nodeMark;
    if (cursor.descend("data", true, nodeMark)) {
        writeValues(node);
        cursor.ascend(nodeMark);
    }
    if (node.groups().empty() || !cursor.descend("subs", true, nodeMark))
        return;
    for (const auto& [group, children] : node.groups()) {
        // An empty name would put the children into "subs" itself, where they read back as groups.
        Vantor::Register::Mark subsMark;
        if (children.empty() || group.empty() || !cursor.descend(group.c_str(), true, subsMark))
            continue;
        if (children.size() == 1) {
            save(*children.front());
        } else {
            for (std::size_t i = 0; i < children.size(); ++i) {
                Vantor::Register::Mark groupMark;
                if (!cursor.descend(std::to_string(i).c_str(), true, groupMark))
                    continue;
                save(*children[i]);
                cursor.ascend(groupMark);
            }
        }
        cursor.ascend(subsMark);
    }
    cursor.ascend(nodeMark);
}

void RegistryTreeStore::writeValues(const Tree& node)
{
    // One element: the value "<tag>.<name>" here. More: the key <name> with "<tag>.0", "<tag>.1", ...
    // An empty name cannot be a key of its own (the elements would land here, read back as arrays
    // "0", "1", ...), so such an array of two or more is left out.
    auto writeTable = [&](const auto& table, const std::string& tag, auto writeOne) {
        for (const auto& [name, array] : table) {
            if (array.size() == 1)
                writeOne((tag + "." + name).c_str(), array.front());
            Vantor::Register::Mark dataMark;
            if (array.size() < 2 || name.empty() || !cursor.descend(name.c_str(), true, dataMark))
                continue;
            for (std::size_t i = 0; i < array.size(); ++i)
                writeOne((tag + "." + std::to_string(i)).c_str(), array[i]);
            cursor.ascend(dataMark);
        }
    };
    // The results of single writes are not checked: what failed is simply missing on the next load.
    writeTable(node.ints(), "int", [&](const char* v, std::int32_t n) { cursor.writeNumber(v, static_cast<std::uint32_t>(n)); });
    writeTable(node.bools(), "bool", [&](const char* v, bool b) { cursor.writeNumber(v, b ? 1 : 0); });
    writeTable(node.hexes(), "hex", [&](const char* v, std::uint32_t n) { cursor.writeNumber(v, n); });
    writeTable(node.reals(), "real", [&](const char* v, double real) {
        unsigned char bytes[sizeof real];
        std::memcpy(bytes, &real, sizeof real);
        cursor.writeBinary(v, bytes, sizeof bytes);
    });
    writeTable(node.strings(), "string", [&](const char* v, const std::string& text) { cursor.writeText(v, text); });
}
