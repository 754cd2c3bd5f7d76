#include "theme/Theme.h"

#include "theme/StoredList.h"
#include "winsys/MachineMutex.h"
#include "winsys/Text.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

namespace {

using stored_list::openThemeKey;
using stored_list::themesKey;

// Saves of theme lists take turns, across the processes of the machine: each applies its edits to
// the list as stored when its turn comes, so that two saves at once (two requests of one theme
// ending together) cannot drop each other's folders. Loads never wait: they run inside the
// container's call, and a list being saved is recognised by its record (StoredList.h). The mutex is
// created once and closed when the module unloads. A holder that does not let go in time (a
// process stopped in a debugger) is not waited for any longer: a save, which runs when a request
// ends, waits up to 10 s before it writes anyway.
class StoreTurn {
public:
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

// The machine's list of the theme. Every front end of either architecture keeps the machine's themes
// in the 64-bit view; a theme that an older 32-bit installation registered in the 32-bit view only
// is read from there, and the next save writes it to the 64-bit view.
std::vector<std::string> machineList(const std::string& name)
{
    std::vector<std::string> list = stored_list::read(HKEY_LOCAL_MACHINE, name);
    return list.empty() ? stored_list::read(HKEY_LOCAL_MACHINE, name, Vantor::View::legacy32) : list;
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
    machinePaths = machineList(name);
    userPaths = stored_list::read(HKEY_CURRENT_USER, name);
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

namespace {

// Whether this user may change the theme's list below root: the deepest existing key of the theme's
// path opens for changing (a save creates the keys below it).
bool mayChange(HKEY root, const std::string& name)
{
    std::string path = std::string(themesKey) + '\\' + name;
    for (;;) {
        try {
            Vantor::Register probe(root, path.c_str(), Vantor::Access::change);
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

}  // namespace

bool Theme::mayChangeMachineList() const
{
    return mayChange(HKEY_LOCAL_MACHINE, name);
}

bool Theme::mayKeepFolders() const
{
    return !name.empty() && ((!keepForUser && mayChangeMachineList()) || mayChange(HKEY_CURRENT_USER, name));
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
        if (!stored_list::write(HKEY_LOCAL_MACHINE, name, machinePaths))
            kept = Kept::nowhere;
    }
    if (wantedUser != userPaths) {
        userPaths = withEdits(stored_list::read(HKEY_CURRENT_USER, name), userPaths, wantedUser);
        if (!stored_list::write(HKEY_CURRENT_USER, name, userPaths))
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
