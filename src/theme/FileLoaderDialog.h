// The "Vog File Loader" dialog (template 101): tells the user which file of which theme is missing,
// lists the theme's folders, and lets the user add a folder (searched at once and watched from
// then on) or remove one. It has no OK button: it ends with 1 when the theme finds the file (a
// watcher thread calls endDialog(1) through the theme), or with 2 when the user closes it.
//
// All handlers run on the request's worker thread inside the modal loop. Watcher threads never
// touch the list, the theme's paths or the watcher list; they only end the dialog.
#pragma once

#include "winsys/WatchSpec.h"
#include "winsys/Window.h"

#include <functional>
#include <string>
#include <vector>

class StopSignal;
class WatcherList;

class FileLoaderDialog : public Dialog {
public:
    // paths, changed and watchers are the theme's; theme is told of added folders and rechecks.
    // stop, when given, ends the dialog, and the folder browser it shows, as soon as a stop of
    // the request is asked for.
    FileLoaderDialog(HINSTANCE instance, std::string message, std::vector<std::string>* paths,
                     bool* changed, WatcherList* watchers, WatchCallback* theme,
                     StopSignal* stop = nullptr);

    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam, HWND hwnd) override;

    // The Add button's action: choose a folder, list it, watch it, check it, keep it.
    void addFolder();
    // The Remove button's action on the selected entry.
    void removeFolder();

    // Asks the user for a folder; an empty result means the user cancelled. The platform's folder
    // browser by default, with the dialog's stop signal.
    std::function<std::string(HWND owner)> chooseFolder;
    // Whether a listed folder was set by an administrator for every user and may not be removed by
    // this one: Remove then keeps it and says so. Empty (the default): every folder may go.
    std::function<bool(const std::string& folder)> keptForEveryone;

    // The platform's folder browser, owned by owner. A stop, when given, cancels it (registered
    // with the signal from its first message on), and one asked before it shows cancels it at once.
    static std::string browseForFolder(HWND owner, StopSignal* stop = nullptr);

private:
    void initDialog(HWND hwnd);
    void layout(HWND hwnd, int width, int height);
    void recheck(HWND hwnd);

    std::string message;
    std::vector<std::string>* paths;
    bool* changed;
    WatcherList* watchers;
    WatchCallback* theme;
    StopSignal* stop;
};
