#include "theme/StoredList.h"

#include "regtree/TreeStore.h"
#include "winsys/Text.h"

namespace stored_list {

const char* const themesKey = "Software\\Vog\\2000.08.04\\Themes";

namespace {

const char* const pathsName = "paths";
const char* const savingName = "saving";
// How often a reader reads again when saves keep changing the list under it; then it takes the
// last reading.
constexpr int readAttempts = 8;

std::string encoded(const std::vector<std::string>& list)
{
    std::string bytes;
    for (const std::string& folder : list) {
        bytes += folder;
        bytes += '\0';
    }
    return bytes;
}

std::vector<std::string> decoded(const std::string& bytes)
{
    std::vector<std::string> list;
    std::string::size_type start = 0;
    while (start < bytes.size()) {
        std::string::size_type end = bytes.find('\0', start);
        if (end == std::string::npos)
            end = bytes.size();
        list.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return list;
}

bool sameTime(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

}  // namespace

bool openThemeKey(Vantor::Register& cursor, HKEY root, const std::string& name)
{
    // In one step where the registry takes the whole path, and in two for a long name that fits
    // only as a key of its own.
    if (cursor.openSub((std::string(themesKey) + '\\' + name).c_str()))
        return true;
    return cursor.reopen(root, themesKey) && cursor.openSub(name.c_str());
}

std::vector<std::string> read(HKEY root, const std::string& name, Vantor::View view)
{
    RegistryTreeStore store(root, nullptr, Vantor::Access::read, view);
    Vantor::Register& cursor = store.reg();
    std::vector<std::string> list;
    if (!openThemeKey(cursor, root, name))
        return list;
    // A save sets its record before it touches the tree and deletes it after, both on the theme's
    // key, so a save that began after the first look for the record and ended before the second
    // one changed the key's time of change in between (the save sees to it that the time moves).
    for (int attempt = 0; attempt < readAttempts; ++attempt) {
        FILETIME before{}, after{};
        const bool timed = cursor.lastWritten(before);
        std::string record;
        if (cursor.readBytes(savingName, record))
            return decoded(record);
        Tree tree;
        store.load(tree);
        list.clear();
        std::string text;
        for (int index = 0; tree.getText(pathsName, text, index); ++index)
            list.push_back(text);
        if (cursor.readBytes(savingName, record))
            return decoded(record);
        if (!timed || !cursor.lastWritten(after) || sameTime(before, after))
            return list;
    }
    return list;
}

bool write(HKEY root, const std::string& name, const std::vector<std::string>& list)
{
    RegistryTreeStore store(root, nullptr, Vantor::Access::change);
    Vantor::Register& cursor = store.reg();
    if (!cursor.createSub(themesKey) || !cursor.createSub(name.c_str()))
        return false;
    FILETIME before{}, now{};
    const bool timed = cursor.lastWritten(before);
    const std::string record = encoded(list);
    auto writeRecord = [&] { return cursor.writeBinary(savingName, record.data(), static_cast<DWORD>(record.size())); };
    if (!writeRecord())
        return false;
    // A reader that looked before the record was set must find the key's time changed: where the
    // system clock has not moved since the last change (Windows counts it in ticks of about 15 ms),
    // set the record again once it has.
    for (int wait = 0; timed && wait < 100 && cursor.lastWritten(now) && sameTime(before, now); ++wait) {
        Sleep(1);
        writeRecord();
    }
    // What the theme itself stored goes: its "data" and "subs" keys and any value of its own but the
    // record. Other keys below it belong to nested themes ("docs\2024" below "docs") and stay.
    cursor.deleteSub("data");
    cursor.deleteSub("subs");
    std::vector<std::string> values;
    cursor.valueNames(values);
    for (const std::string& value : values) {
        if (!equalsIgnoringCase(value, savingName))
            cursor.deleteValue(value.c_str());
    }
    Tree tree;
    for (const std::string& path : list)
        tree.setString(pathsName, path, -1);
    store.save(tree);
    cursor.deleteValue(savingName);
    return true;
}

}  // namespace stored_list
