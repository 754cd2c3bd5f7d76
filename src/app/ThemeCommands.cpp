#include "app/ThemeCommands.h"

#include "app/CommandTexts.h"
#include "app/Commands.h"
#include "theme/Theme.h"
#include "winsys/Text.h"

#include <algorithm>

namespace {

// A folder as the theme stores it must name one place whatever the current folder of the program
// that opens a document: a drive and its root ("C:\..."), or a share ("\\server\share...").
bool isFullPath(const std::string& folder)
{
    bool drive = folder.size() >= 3 && folder[1] == ':' && isPathSeparator(folder[2]) &&
                 upperAscii(folder[0]) >= 'A' && upperAscii(folder[0]) <= 'Z';
    bool share = folder.size() >= 5 && startsWithTwoSeparators(folder) && !isPathSeparator(folder[2]);
    return drive || share;
}

// Saves the theme's changed list and reads it back: the registry layer passes over a key it cannot
// create, so only the list read back shows that the save took.
int saveChecked(Theme& theme, Report& report)
{
    theme.saveNow();
    Theme stored(theme.name);
    if (stored.paths == theme.paths && theme.lastKept() != Theme::Kept::nowhere)
        return exitSuccess;
    report.error("The folders of theme " + quoted(theme.name) + " could not be written to " +
                 (theme.keepForUser ? userThemesKeyShown : themesKeyShown) +
                 (theme.keepForUser ? ": this program may not change this user's settings."
                                    : ": writing there needs the rights of an administrator: " + std::string(elevate)));
    return exitRefused;
}

// A change of the machine list by a user who may not make it: exit code 2 and what to do instead.
int machineListRefused(const Theme& theme, const std::string& action, const std::string& folder, Report& report)
{
    report.error("The folders of theme " + quoted(theme.name) + " in " + themesKeyShown +
                 " are set by an administrator for every user: changing them needs the rights of an administrator: " +
                 elevate + " To " + action + " a folder of your own instead: vog theme " + action + " --user " +
                 quoted(theme.name) + " " + quoted(folder));
    return exitRefused;
}

}  // namespace

int themeCommand(const std::vector<std::string>& given, Report& report)
{
    // "--user" after add or remove: the change is made in the user's own list.
    std::vector<std::string> arguments = given;
    const bool forUser = arguments.size() > 2 && arguments[2] == "--user" &&
                         (arguments[1] == "add" || arguments[1] == "remove");
    if (forUser)
        arguments.erase(arguments.begin() + 2);
    const std::string& action = arguments.size() > 1 ? arguments[1] : std::string();
    const size_t count = arguments.size();
    if (action == "list" && count == 2) {
        for (const std::string& name : Theme::registeredNames())
            report.line(name);
        return exitSuccess;
    }
    const bool known = action == "show" || action == "add" || action == "remove" || action == "delete";
    const size_t wanted = action == "add" || action == "remove" ? 4 : 3;
    if (!known || count != wanted)
        return usageError(report, known ? "theme " + action + " takes " + std::to_string(wanted - 2) + " argument(s)."
                                        : "theme needs one of list, show, add, remove, delete.",
                          "theme");
    if (arguments[2].empty())
        return usageError(report, "the theme name is empty.", "theme");

    Theme theme(arguments[2]);
    theme.keepForUser = forUser;
    if (action == "show") {
        // The user's own folders are marked; the others are the machine's, set for every user.
        for (const std::string& folder : theme.paths)
            report.line(theme.isMachineFolder(folder) ? folder : folder + "  (your own folder)");
        if (!theme.paths.empty())
            return exitSuccess;
        report.error("Theme " + quoted(theme.name) +
                     " has no folders (or is not registered). Add one with: vog theme add " + quoted(theme.name) +
                     " FOLDER");
        return exitNotFound;
    }
    if (action == "delete") {
        if (!theme.deleteStored()) {
            report.error("Theme " + quoted(theme.name) +
                         " is not registered: \"vog theme list\" shows the registered themes.");
            return exitNotFound;
        }
        if (Theme(theme.name).paths.empty())
            return exitSuccess;
        report.error("Theme " + quoted(theme.name) + " could not be deleted from " + themesKeyShown +
                     ": that needs the rights of an administrator: " + elevate);
        return exitRefused;
    }

    const std::string& folder = arguments[3];
    auto sameFolder = [&folder](const std::string& each) { return equalsIgnoringCase(each, folder); };
    if (action == "add") {
        if (!isFullPath(folder))
            return usageError(report,
                              quoted(folder) + " is not a full path: give the folder with its drive (C:\\Manuals) "
                                               "or its share (\\\\fileserver\\public\\manuals).",
                              "theme");
        for (const std::string& each : theme.paths) {
            if (sameFolder(each)) {
                report.line("Theme " + quoted(theme.name) + " already has the folder " + quoted(each) + ".");
                return exitSuccess;
            }
        }
        if (!forUser && !theme.mayChangeMachineList())
            return machineListRefused(theme, action, folder, report);
        theme.paths.push_back(folder);
    } else {
        for (const std::string& each : theme.paths) {
            if (sameFolder(each) && theme.isMachineFolder(each) && (forUser || !theme.mayChangeMachineList())) {
                if (forUser)
                    report.error("The folder " + quoted(each) + " of theme " + quoted(theme.name) +
                                 " was set by an administrator for every user: --user removes only your own folders.");
                return forUser ? exitRefused : machineListRefused(theme, action, folder, report);
            }
        }
        size_t before = theme.paths.size();
        theme.paths.erase(std::remove_if(theme.paths.begin(), theme.paths.end(), sameFolder), theme.paths.end());
        if (theme.paths.size() == before) {
            report.error("Theme " + quoted(theme.name) + " has no folder " + quoted(folder) +
                         ": \"vog theme show " + quoted(theme.name) + "\" lists its folders.");
            return exitNotFound;
        }
    }
    theme.changed = true;
    return saveChecked(theme, report);
}
