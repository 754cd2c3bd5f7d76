#include "app/Commands.h"

#include "app/CommandTexts.h"
#include "app/SystemText.h"
#include "app/ThemeCommands.h"
#include "app/VogLink.h"
#include "request/NetworkPath.h"
#include "request/OpeningPolicy.h"
#include "request/PlainName.h"
#include "request/TaskWindow.h"
#include "request/UnrarLibrary.h"
#include "theme/Theme.h"
#include "winsys/ComApartment.h"
#include "winsys/Module.h"
#include "winsys/StopSignal.h"
#include "winsys/Text.h"

#include <new>
#include <optional>
#include <stdexcept>

namespace {

// The console's Ctrl+C and Ctrl+Break stop the request as the control's destruction would: the
// File Loader dialog closes, the wait for the viewer ends and the viewer keeps running. One request
// runs in a program, so the signal lives as long as the process and a late handler finds it.
StopSignal& processStop()
{
    static StopSignal stop;
    return stop;
}

BOOL WINAPI onConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    processStop().requestStop();
    return TRUE;
}

std::string programFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length < MAX_PATH ? length : 0);
    return folder.substr(0, folder.find_last_of('\\'));
}

// "C:\Manuals: folder missing", "search path: no such file"
std::string placeLine(const LookupPlace& place)
{
    return (place.folder.empty() ? std::string("search path") : place.folder) + ": " + describe(place.state);
}

std::string placesText(const std::vector<LookupPlace>& looked)
{
    std::string text;
    for (const LookupPlace& place : looked)
        text += "\n  " + placeLine(place);
    return text;
}

int reportOutcome(const TaskWindow& window, const std::string& theme, const std::string& file,
                  const std::string& member, bool link, Report& report)
{
    const std::string documentsOnly = "Vog opens documents only, never programs, scripts, shortcuts, installers or "
                                      "other types that could run code, nor folders.";
    if (processStop().stopRequested()) {
        report.error("Stopped. A program that was started for the document keeps running.");
        return exitStopped;
    }
    switch (window.outcome()) {
    case RequestOutcome::Opened:
        return exitSuccess;
    case RequestOutcome::NotFound:
        if (link)
            report.error("The document " + quoted(file) + " is in none of the folders of theme " + quoted(theme) + ":" +
                         placesText(window.theme.places(file)) +
                         "\nInsert the disc or connect the drive that holds it and open the link again, or ask an "
                         "administrator to add its folder to the theme (vog theme add).");
        else
            report.error(quoted(file) + " of theme " + quoted(theme) + " was not found, and the File Loader dialog "
                         "was closed. \"vog where " + quoted(theme) + " " + quoted(file) +
                         "\" shows where it was looked for.");
        return exitNotFound;
    case RequestOutcome::MemberNotFound:
        report.error(quoted(window.target) + " could not be read as a RAR archive, or holds no member " +
                     quoted(member) + ": give the member's path inside the archive, such as docs\\chapter1.txt.");
        return exitNotFound;
    case RequestOutcome::Refused:
        if (!window.refusal().empty()) {
            report.error(window.refusal());
        } else if (!member.empty() && documentKind(window.target) == DocumentKind::Archive) {
            if (const char* fault = plainNameFault(member))
                report.error("The member name " + quoted(member) + " " + fault +
                             ": give the member's path inside the archive, such as docs\\chapter1.txt.");
            else
                report.error("The member " + quoted(member) + " of " + quoted(window.target) + " was not opened: " +
                             documentsOnly);
        } else {
            report.error(quoted(window.target) + " was not opened: " + documentsOnly);
        }
        return exitRefused;
    case RequestOutcome::NoProgram:
        report.error((member.empty() ? quoted(window.target) : "The member " + quoted(member) + " of " +
                      quoted(window.target)) + " was found, but no program could open it: " +
                     systemReason(window.shellError()));
        return exitNoProgram;
    case RequestOutcome::Stopped:
    case RequestOutcome::Pending:
        break;
    }
    report.error("The request ended without opening anything.");
    return exitRefused;
}

// One request on this thread, waited for to its end. A link's theme must be registered already,
// and its file is looked for in the theme's folders only, without the File Loader dialog: a link
// never changes a theme.
int runRequest(const std::string& theme, const std::string& file, const std::string& member, bool link,
               Report& report)
{
    // The folder browser and the shell's execution need a single-threaded apartment.
    ComApartment apartment(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    TaskWindow window(moduleInstance(), theme, &processStop());
    window.reportInBoxes(false);
    if (link) {
        if (window.theme.paths.empty()) {
            report.error("Vog did not open the link: the theme " + quoted(theme) + " is not registered on this "
                         "machine, and a link opens documents of registered themes only. An administrator registers "
                         "it with: vog theme add " + quoted(theme) + " FOLDER");
            return exitRefused;
        }
        window.theme.setLookupScope({false, false});
    }
    try {
        window.run(file, member);
    } catch (const std::runtime_error& error) {
        // The extractor's one error: no library could be loaded, or it lacks an entry point.
        if (std::string(error.what()) != "unrar.dll")
            throw;
        report.error("The member " + quoted(member) + " cannot be extracted from " + quoted(window.target) +
                     ": the RAR library unrar.dll is missing or unusable. Put the RAR vendor's unrar.dll (for 64-bit "
                     "programs unrar64.dll) into " + programFolder() + ".");
        return exitNoLibrary;
    }
    return reportOutcome(window, theme, file, member, link, report);
}

int openLink(const std::wstring& text, Report& report)
{
    const std::string refused = "Vog did not open the link: ";
    std::optional<std::string> utf8 = narrowExactly(text, CP_UTF8);
    if (!utf8) {
        report.error(refused + "it is not valid text (it holds a lone UTF-16 surrogate).");
        return exitRefused;
    }
    VogLinkParse parse = parseVogLink(*utf8);
    if (!parse.accepted) {
        report.error(refused + shownText(parse.refusal));
        return exitRefused;
    }
    const std::pair<const char*, const std::string*> parts[] = {
        {"theme", &parse.link.theme}, {"file", &parse.link.file}, {"member", &parse.link.member}};
    std::string names[3];
    for (int i = 0; i < 3; ++i) {
        std::optional<std::string> name = recodeExactly(*parts[i].second, CP_UTF8, CP_ACP);
        if (!name) {
            report.error(refused + "the " + parts[i].first + " " + quoted(shownText(*parts[i].second)) +
                         " has characters that this system's code page (" + std::to_string(GetACP()) +
                         ") cannot hold, so Vog cannot name it.");
            return exitRefused;
        }
        names[i] = *name;
    }
    return runRequest(names[0], names[1], names[2], true, report);
}

int whereCommand(const std::string& themeName, const std::string& file, Report& report)
{
    Theme theme(themeName);
    if (reachesForeignShare(file, theme.paths)) {
        report.error(quoted(file) + " is on a network share that none of the theme's folders is on: open refuses it "
                     "and looks nowhere.");
        return exitRefused;
    }
    std::vector<LookupPlace> looked = theme.places(file);
    for (const LookupPlace& place : looked)
        report.line(placeLine(place));
    if (documentKind(file) == DocumentKind::Archive) {
        std::vector<SkippedFolder> skipped;
        unrarSearchFolders(&skipped);
        for (const SkippedFolder& folder : skipped)
            report.line("unrar.dll is not looked for in " + quoted(folder.folder) + ": " + folder.reason + ".");
    }
    if (!looked.empty() && looked.back().state == LookupPlace::State::Found) {
        report.line(looked.back().path);
        return exitSuccess;
    }
    if (theme.paths.empty())
        report.error("Theme " + quoted(themeName) + " has no folders (or is not registered): open would show the "
                     "File Loader dialog with an empty list. Add one with: vog theme add " + quoted(themeName) +
                     " FOLDER");
    else
        report.error(quoted(file) +
                     " is in none of these places: open would show the File Loader dialog and wait for it.");
    return exitNotFound;
}

int runCommand(const std::vector<std::string>& arguments, Report& report)
{
    const std::string& command = arguments[0];
    if (command == "--help" || command == "-h" || command == "/?" || command == "help") {
        showUsage(report, {}, false);
        return exitSuccess;
    }
    for (size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--help") {
            showUsage(report, command, false);
            return exitSuccess;
        }
    }
    const size_t count = arguments.size();
    if (command == "open") {
        if (count < 3 || count > 4)
            return usageError(report, "open takes THEME and FILE, and MEMBER as a third.", command);
        if (arguments[1].empty() || arguments[2].empty())
            return usageError(report, "open needs a THEME and a FILE that are not empty.", command);
        return runRequest(arguments[1], arguments[2], count == 4 ? arguments[3] : std::string(), false, report);
    }
    if (command == "where") {
        if (count != 3 || arguments[1].empty() || arguments[2].empty())
            return usageError(report, "where takes a THEME and a FILE.", command);
        return whereCommand(arguments[1], arguments[2], report);
    }
    if (command == "theme")
        return themeCommand(arguments, report);
    return usageError(report, "there is no command " + quoted(command) + ".", {});
}

bool looksLikeLink(const std::wstring& argument)
{
    return argument.size() >= 4 && (argument[0] | 0x20) == L'v' && (argument[1] | 0x20) == L'o' &&
           (argument[2] | 0x20) == L'g' && argument[3] == L':';
}

int dispatch(const std::vector<std::wstring>& arguments, Report& report)
{
    if (arguments.empty())
        return usageError(report, "a command is needed.", {});
    // A browser hands the link over as one argument. A link that arrives split (it held a quote)
    // is refused whole rather than read as commands.
    if (arguments[0] == L"--link" || looksLikeLink(arguments[0])) {
        const size_t wanted = arguments[0] == L"--link" ? 2 : 1;
        if (arguments.size() != wanted) {
            report.error("Vog did not open the link: it arrived as several arguments (it holds a quote or a space "
                         "that was not percent-encoded).");
            return exitRefused;
        }
        return openLink(arguments.back(), report);
    }
    std::vector<std::string> narrow;
    for (const std::wstring& argument : arguments) {
        std::optional<std::string> text = narrowExactly(argument);
        if (!text) {
            report.error("The argument " + quoted(shownText(narrowExactly(argument, CP_UTF8).value_or("?"))) +
                         " has characters that this system's code page (" + std::to_string(GetACP()) +
                         ") cannot hold: Vog names themes, files and folders in that code page.");
            return exitRefused;
        }
        narrow.push_back(*text);
    }
    return runCommand(narrow, report);
}

}  // namespace

int runVog(const std::vector<std::wstring>& arguments, Report& report)
{
    // For every command, so that Ctrl+C never ends the program with STATUS_CONTROL_C_EXIT: a request
    // stops as soon as it looks; a command that does not look (where, theme) ends its step first.
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
    try {
        int code = dispatch(arguments, report);
        return processStop().stopRequested() ? exitStopped : code;
    } catch (const std::bad_alloc&) {
        report.error("Vog ran out of memory.");
    } catch (const std::exception& error) {
        report.error(explained(error));
    } catch (...) {
        report.error("Vog failed for a reason it cannot name.");
    }
    return exitRefused;
}
