#include "app/CommandTexts.h"

#include "app/Commands.h"
#include "regtree/Register.h"

#include <windows.h>

// Defined after their extern declarations in the header, so they have external linkage.
const char* const themesKeyShown = "HKEY_LOCAL_MACHINE\\Software\\Vog\\2000.08.04\\Themes";
const char* const userThemesKeyShown = "HKEY_CURRENT_USER\\Software\\Vog\\2000.08.04\\Themes";
const char* const elevate =
    "run vog as an administrator (from a command prompt started with \"Run as administrator\").";

namespace {

struct Usage {
    const char* command;
    const char* synopsis;
    const char* purpose;
};

const Usage usages[] = {
    {"open", "vog open THEME FILE [MEMBER]",
     "Opens FILE of THEME as a page's open() does (MEMBER: a member of a RAR archive), and waits\n"
     "      until its program has ended."},
    {"where", "vog where THEME FILE",
     "Shows where open looks for FILE, in order, what each place holds, and the path it would open."},
    {"theme", "vog theme list", "Lists the registered themes."},
    {"theme", "vog theme show THEME", "Lists the folders of THEME in their order."},
    {"theme", "vog theme add [--user] THEME FOLDER",
     "Appends FOLDER (a full path) to THEME; a new THEME is registered. With --user, to your own folders only."},
    {"theme", "vog theme remove [--user] THEME FOLDER", "Removes FOLDER from THEME; with --user, one of your own."},
    {"theme", "vog theme delete THEME", "Deletes THEME and its folder list; themes nested below it stay."},
    {"link", "vog \"vog:open?theme=THEME&file=FILE[&member=MEMBER]\"",
     "Opens a vog: link as a browser does: only in the theme's folders, asking nothing."},
};

}  // namespace

void showUsage(Report& report, const std::string& command, bool asError)
{
    std::string text = "Usage:";
    for (const Usage& usage : usages) {
        if (command.empty() || command == usage.command)
            text += std::string("\n  ") + usage.synopsis + "\n      " + usage.purpose;
    }
    text += "\n  vog --help, vog COMMAND --help\n      Shows this text."
            "\nExit codes: 0 done (opened and its program has ended; found), 1 not found, 2 refused (the\n"
            "reason goes to standard error), 3 the RAR library unrar.dll is missing, 4 no program could\n"
            "open it (the shell's reason goes to standard error), 64 usage error,\n"
            "130 stopped with Ctrl+C. Changing a theme for every user needs the rights of an administrator;\n"
            "--user changes your own folders, which only you see. vogw.exe\n"
            "takes the same commands without a console window and shows what it says in a box \"Vog\".";
    if (asError)
        report.error(text);
    else
        report.line(text);
}

int usageError(Report& report, const std::string& what, const std::string& command)
{
    report.error("vog: " + what);
    showUsage(report, command, true);
    return exitUsage;
}

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string systemReason(unsigned long error)
{
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason(text ? text : "", text ? length : 0);
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' '))
        reason.pop_back();
    for (size_t insert = reason.find("%1"); insert != std::string::npos; insert = reason.find("%1"))
        reason.replace(insert, 2, "the file");
    return (reason.empty() ? std::string("the system gives no text for it") : reason) + " (error " +
           std::to_string(error) + ")";
}

std::string explained(const std::exception& error)
{
    std::string what = error.what();
    if (what == "class Vantor::Register")
        return std::string("The registry key HKEY_LOCAL_MACHINE cannot be opened for reading the theme list in ") +
               themesKeyShown + ".";
    if (dynamic_cast<const Vantor::AccessRefused*>(&error))
        return what + " " + elevate;
    if (what == "Window::create" || what == "Window::Window")
        return "Vog could not create its window (" + what + "): the desktop may be out of resources.";
    return what;
}
