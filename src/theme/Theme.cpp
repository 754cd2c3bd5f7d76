#include "theme/Theme.h"

#include "regtree/TreeStore.h"
#include "winsys/MachineMutex.h"
#include "winsys/Text.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

namespace {

const char* const themesKey = "Software\\Vog\\2000.08.04\\Themes";
const char* const pathsName = "paths";

// Loads and saves of theme lists take turns, across the processes of the machine: a save clears the
// theme's key and then writes the list value by value, so a load in between would read a part of
// the list, and two saves at once (two requests of one theme ending together) would leave a
// mixture of both. The mutex is created once and closed when the module unloads. A holder that does
// not let go in time (a process stopped in a debugger) is not waited for any longer: a load, which
// runs inside the container's call, reads the list after 1 s as it would without the lock (at worst
// a part of a list being saved); a save, which runs when a request ends, waits up to 10 s before it
// writes anyway.
class StoreTurn {
public:
    static constexpr DWORD loadWaitMs = 1000;
    static constexpr DWORD saveWaitMs = 10000;

    explicit StoreTurn(DWORD waitMs) : mutex(storeMutex())
    {
        DWORD waited = mutex ? WaitForSingleObject(mutex, waitMs) : WAIT_FAILED;
        owned = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~StoreTurn()
    {
        if (owned)
            ReleaseMutex(mutex);
    }
    StoreTurn(const StoreTurn&) = delete;
    StoreTurn& operator=(const StoreTurn&) = delete;

private:
    static HANDLE storeMutex()
    {
        static const KernelHandle mutex = machineMutex("VogThemeStore");
        return mutex.get();
    }

    HANDLE mutex;
    bool owned = false;
};

// A name with a backslash addresses nested keys, so that "docs\2024" is a theme of its own below
// "docs". Below a theme's key, "data" and "subs" hold that theme's own stored tree: a name that
// reaches into them ("docs\data") would read and overwrite the folders of theme "docs".
bool reachesIntoAThemesTree(const std::string& name)
{
    bool first = true;
    for (const std::string& component : splitList(name, '\\')) {
        if (component.empty())
            continue;
        if (!first && (equalsIgnoringCase(component, "data") || equalsIgnoringCase(component, "subs")))
            return true;
        first = false;
    }
    return false;
}

// Places the cursor on the theme's key below root: in one step where the registry takes the whole
// path, and in two for a long name that fits only as a key of its own. False, on no key, when it is
// missing.
bool openThemeKey(Vantor::Register& cursor, HKEY root, const std::string& name)
{
    if (cursor.openSub((std::string(themesKey) + '\\' + name).c_str()))
        return true;
    return cursor.reopen(root, themesKey) && cursor.openSub(name.c_str());
}

// The theme's list as stored below root now, in view; empty when it is missing.
std::vector<std::string> storedList(HKEY root, const std::string& name, Vantor::View view = Vantor::View::shared)
{
    RegistryTreeStore store(root, nullptr, Vantor::Access::read, view);
    std::vector<std::string> list;
    // When the key is missing the store stands on no key and loads nothing.
    openThemeKey(store.reg(), root, name);
    Tree tree;
    store.load(tree);
    std::string text;
    for (int index = 0; tree.getText(pathsName, text, index); ++index)
        list.push_back(text);
    return list;
}

// The machine's list of the theme. Every front end of either architecture keeps the machine's themes
// in the 64-bit view; a theme that an older 32-bit installation registered in the 32-bit view only
// is read from there, and the next save writes it to the 64-bit view.
std::vector<std::string> machineList(const std::string& name)
{
    std::vector<std::string> list = storedList(HKEY_LOCAL_MACHINE, name);
    return list.empty() ? storedList(HKEY_LOCAL_MACHINE, name, Vantor::View::legacy32) : list;
}

bool holds(const std::vector<std::string>& list, const std::string& folder)
{
    return std::find(list.begin(), list.end(), folder) != list.end();
}

// The list as stored now with this object's own edits applied: what it loaded and no longer has is
// removed, what it has and did not load is added. Another editor's change since the load stays.
std::vector<std::string> withEdits(std::vector<std::string> stored, const std::vector<std::string>& loaded,
                                   const std::vector<std::string>& wanted)
{
    stored.erase(std::remove_if(stored.begin(), stored.end(),
                                [&](const std::string& each) { return holds(loaded, each) && !holds(wanted, each); }),
                 stored.end());
    for (const std::string& each : wanted) {
        if (!holds(loaded, each) && !holds(stored, each))
            stored.push_back(each);
    }
    return stored;
}

// Replaces what the theme stored below root with list. False when its key cannot be created.
bool writeList(HKEY root, const std::string& name, const std::vector<std::string>& list)
{
    RegistryTreeStore store(root, nullptr, Vantor::Access::change);
    Vantor::Register& cursor = store.reg();
    if (!cursor.createSub(themesKey) || !cursor.createSub(name.c_str()))
        return false;
    Tree tree;
    for (const std::string& path : list)
        tree.setString(pathsName, path, -1);
    // What the theme itself stored goes: its "data" and "subs" keys and any value of its own. Other
    // keys below it belong to nested themes ("docs\2024" below "docs") and stay.
    cursor.deleteSub("data");
    cursor.deleteSub("subs");
    cursor.clearValues();
    store.save(tree);
    return true;
}

bool holdsKey(const std::vector<std::string>& names, const char* name)
{
    for (const std::string& each : names) {
        if (equalsIgnoringCase(each, name))
            return true;
    }
    return false;
}

// Adds the themes below the cursor's key: each key with a "data" key of its own is a theme, and any
// key but a theme's own "data" and "subs" may hold nested ones.
void collectThemes(Vantor::Register& cursor, const std::string& prefix, std::vector<std::string>& names, int depth)
{
    std::vector<std::string> subs;
    cursor.subNames(subs);
    for (const std::string& sub : subs) {
        if (!prefix.empty() && (equalsIgnoringCase(sub, "data") || equalsIgnoringCase(sub, "subs")))
            continue;
        Vantor::Register::Mark mark;
        if (!cursor.descend(sub.c_str(), false, mark))
            continue;
        std::string name = prefix.empty() ? sub : prefix + '\\' + sub;
        std::vector<std::string> inner;
        cursor.subNames(inner);
        if (holdsKey(inner, "data"))
            names.push_back(name);
        if (depth < 32)  // the registry nests keys 512 deep; themes never come near that
            collectThemes(cursor, name, names, depth + 1);
        cursor.ascend(mark);
    }
}

}  // namespace

Theme::Theme(const std::string& name) : name(name)
{
    load();
}

Theme::~Theme()
{
    // Watchers still running (a lookup without a dialog, or the last lookup's stopping ones) end
    // first.
    endWaits();
    try {
        save();
    } catch (...) {
        // The registry root could not be opened (or memory ran out): nothing can be done here.
    }
}

void Theme::load()
{
    if (name.empty())
        return;
    if (reachesIntoAThemesTree(name)) {
        std::string shown = name.size() > 100 ? name.substr(0, 100) + "..." : name;
        throw std::invalid_argument("The theme name \"" + shown
                                    + "\" is not allowed: \"data\" and \"subs\" below a theme hold that theme's folders.");
    }
    StoreTurn turn(StoreTurn::loadWaitMs);
    machinePaths = machineList(name);
    userPaths = storedList(HKEY_CURRENT_USER, name);
    paths = machinePaths;
    for (const std::string& folder : userPaths) {
        if (!holds(paths, folder))
            paths.push_back(folder);
    }
    changed = false;
}

bool Theme::isMachineFolder(const std::string& folder) const
{
    return holds(machinePaths, folder);
}

bool Theme::mayChangeMachineList() const
{
    // The deepest key of the theme's path that exists decides: a save creates the keys below it.
    std::string path = std::string(themesKey) + '\\' + name;
    for (;;) {
        try {
            Vantor::Register probe(HKEY_LOCAL_MACHINE, path.c_str(), Vantor::Access::change);
            return true;
        } catch (const Vantor::AccessRefused&) {
            return false;
        } catch (const std::invalid_argument&) {
            std::string::size_type slash = path.rfind('\\');
            if (slash == std::string::npos)
                return false;
            path.erase(slash);
        }
    }
}

void Theme::save()
{
    if (!changed || name.empty())
        return;
    StoreTurn turn(StoreTurn::saveWaitMs);
    // The user's own folders stay theirs; every other folder is the machine's when this user may
    // change the machine list, and the user's otherwise (a machine folder this user removed stays
    // in the machine list: the dialog and the command line refuse that removal beforehand).
    std::vector<std::string> wantedUser, wantedMachine;
    bool machine = !keepForUser && mayChangeMachineList();
    for (const std::string& folder : paths) {
        bool user = holds(userPaths, folder) || (!machine && !holds(machinePaths, folder));
        (user ? wantedUser : wantedMachine).push_back(folder);
    }
    kept = machine ? Kept::machine : Kept::user;
    if (machine && wantedMachine != machinePaths) {
        machinePaths = withEdits(machineList(name), machinePaths, wantedMachine);
        if (!writeList(HKEY_LOCAL_MACHINE, name, machinePaths))
            kept = Kept::nowhere;
    }
    if (wantedUser != userPaths) {
        userPaths = withEdits(storedList(HKEY_CURRENT_USER, name), userPaths, wantedUser);
        if (!writeList(HKEY_CURRENT_USER, name, userPaths))
            kept = Kept::nowhere;
    }
    changed = false;
}

bool Theme::deleteStored()
{
    paths.clear();
    machinePaths.clear();
    changed = false;
    if (name.empty())
        return false;
    StoreTurn turn(StoreTurn::saveWaitMs);
    // Both views: a copy left in the 32-bit view would be read again as the theme.
    bool found = false;
    for (Vantor::View view : {Vantor::View::shared, Vantor::View::legacy32}) {
        Vantor::Register cursor(HKEY_LOCAL_MACHINE, nullptr, Vantor::Access::change, view);
        if (!openThemeKey(cursor, HKEY_LOCAL_MACHINE, name))
            continue;
        found = true;
        // As a save does, then the key itself unless nested themes live below it.
        cursor.deleteSub("data");
        cursor.deleteSub("subs");
        cursor.clearValues();
        std::vector<std::string> nested;
        cursor.subNames(nested);
        if (nested.empty() && cursor.reopen(HKEY_LOCAL_MACHINE, themesKey))
            cursor.deleteSub(name.c_str());
    }
    return found;
}

std::vector<std::string> Theme::registeredNames()
{
    // The 64-bit view's themes, then those only an older 32-bit installation registered.
    std::vector<std::string> names;
    for (Vantor::View view : {Vantor::View::shared, Vantor::View::legacy32}) {
        std::vector<std::string> found;
        Vantor::Register cursor(HKEY_LOCAL_MACHINE, nullptr, Vantor::Access::read, view);
        if (cursor.openSub(themesKey))
            collectThemes(cursor, {}, found, 0);
        for (const std::string& each : found) {
            auto same = [&each](const std::string& known) { return equalsIgnoringCase(known, each); };
            if (std::none_of(names.begin(), names.end(), same))
                names.push_back(each);
        }
    }
    return names;
}
