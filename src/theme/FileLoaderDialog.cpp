#include "theme/FileLoaderDialog.h"

#include "resources/resource.h"
#include "winsys/ChangeWatcher.h"
#include "winsys/StopSignal.h"
#include "winsys/Text.h"

#include <shlobj.h>

#include <algorithm>

namespace {

// Posted to itself once the dialog is up: checks for a stop asked before the window existed, and
// looks into every folder once more, for a file that arrived before its watcher was armed.
const UINT recheckMessage = WM_APP + 1;

// The folder browser's callback; data is the request's stop signal or null. The browser's window
// exists from BFFM_INITIALIZED on: from then a stop can post it a cancel.
int CALLBACK browserCallback(HWND browser, UINT message, LPARAM, LPARAM data)
{
    auto* stop = reinterpret_cast<StopSignal*>(data);
    if (message == BFFM_INITIALIZED && stop && !stop->enterPlatformDialog(browser))
        PostMessageA(browser, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

RECT childRect(HWND dialog, int id)
{
    RECT rect{};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

FileLoaderDialog::FileLoaderDialog(HINSTANCE instance, std::string message,
                                   std::vector<std::string>* paths, bool* changed,
                                   WatcherList* watchers, WatchCallback* theme, StopSignal* stop)
    : Dialog(instance), chooseFolder([this](HWND owner) { return browseForFolder(owner, this->stop); }),
      message(std::move(message)), paths(paths),
      changed(changed), watchers(watchers), theme(theme), stop(stop)
{
}

LRESULT FileLoaderDialog::windowProc(UINT msg, WPARAM wParam, LPARAM lParam, HWND hwnd)
{
    switch (msg) {
    case WM_INITDIALOG:
        initDialog(hwnd);
        PostMessageA(hwnd, recheckMessage, 0, 0);
        return TRUE;
    case WM_SIZE:
        layout(hwnd, LOWORD(lParam), HIWORD(lParam));
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == LBN_SELCHANGE && LOWORD(wParam) == IDC_LOADER_FOLDERS)
            EnableWindow(GetDlgItem(hwnd, IDC_LOADER_REMOVE), TRUE);
        else if (LOWORD(wParam) == IDC_LOADER_REMOVE)
            removeFolder();
        else if (LOWORD(wParam) == IDC_LOADER_ADD)
            addFolder();
        break;
    default:
        if (msg == recheckMessage) {
            recheck(hwnd);
            return TRUE;
        }
        break;
    }
    return Dialog::windowProc(msg, wParam, lParam, hwnd);
}

void FileLoaderDialog::initDialog(HWND hwnd)
{
    for (const std::string& folder : *paths)
        SendDlgItemMessageA(hwnd, IDC_LOADER_FOLDERS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(folder.c_str()));
    SetDlgItemTextA(hwnd, IDC_LOADER_MESSAGE, message.c_str());
    HICON big = LoadIconA(hinstance(), MAKEINTRESOURCEA(IDI_VOG));
    SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    // The small icon from the 16-pixel image of the same resource rather than a shrunk copy.
    HICON small = static_cast<HICON>(LoadImageA(hinstance(), MAKEINTRESOURCEA(IDI_VOG), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                LR_SHARED));
    SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small ? small : big));
}

void FileLoaderDialog::layout(HWND hwnd, int width, int height)
{
    RECT add = childRect(hwnd, IDC_LOADER_ADD);
    int top = add.top, buttonWidth = add.right - add.left, buttonHeight = add.bottom - add.top;
    MoveWindow(GetDlgItem(hwnd, IDC_LOADER_MESSAGE), 0, 0, width, top - 4, TRUE);
    SetDlgItemTextA(hwnd, IDC_LOADER_MESSAGE, message.c_str());
    MoveWindow(GetDlgItem(hwnd, IDC_LOADER_FOLDERS), 0, top - 2, width - buttonWidth - 4, height - top, TRUE);
    MoveWindow(GetDlgItem(hwnd, IDC_LOADER_ADD), width - buttonWidth - 2, top, buttonWidth, buttonHeight, TRUE);
    int removeTop = childRect(hwnd, IDC_LOADER_REMOVE).top;
    MoveWindow(GetDlgItem(hwnd, IDC_LOADER_REMOVE), width - buttonWidth - 2, removeTop, buttonWidth, buttonHeight, TRUE);
}

void FileLoaderDialog::recheck(HWND hwnd)
{
    if (stop && stop->stopRequested()) {
        EndDialog(hwnd, 2);
        return;
    }
    // A copy: onChange may end the dialog, but never changes the list.
    std::vector<std::string> folders = *paths;
    for (const std::string& folder : folders)
        theme->onChange(folder);
}

std::string FileLoaderDialog::browseForFolder(HWND owner, StopSignal* stop)
{
    char displayName[MAX_PATH] = {};
    BROWSEINFOA info{};
    info.hwndOwner = owner;
    info.pszDisplayName = displayName;
    info.lpszTitle = "Add folder to the theme's paths";
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = browserCallback;
    info.lParam = reinterpret_cast<LPARAM>(stop);
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&info);
    if (stop)
        stop->leavePlatformDialog();
    if (!chosen)
        return {};
    char path[MAX_PATH] = {};
    BOOL ok = SHGetPathFromIDListA(chosen, path);
    CoTaskMemFree(chosen);
    return ok ? std::string(path) : std::string();
}

void FileLoaderDialog::addFolder()
{
    HWND dialog = hwnd();
    std::string folder = chooseFolder(dialog);
    if (folder.empty())
        return;
    auto same = [&](const std::string& known) { return equalsIgnoringCase(known, folder); };
    if (std::any_of(paths->begin(), paths->end(), same))
        return;
    LRESULT position = SendDlgItemMessageA(dialog, IDC_LOADER_FOLDERS, LB_ADDSTRING, 0,
                                           reinterpret_cast<LPARAM>(folder.c_str()));
    SendDlgItemMessageA(dialog, IDC_LOADER_FOLDERS, LB_SETCURSEL, static_cast<WPARAM>(position), 0);
    EnableWindow(GetDlgItem(dialog, IDC_LOADER_REMOVE), TRUE);
    watchers->add(WatchSpec(folder, theme, 255, false));
    *changed = true;
    // May find the file there and end the dialog; the folder is kept either way.
    theme->onChange(folder);
    paths->push_back(folder);
}

void FileLoaderDialog::removeFolder()
{
    HWND dialog = hwnd();
    LRESULT selected = SendDlgItemMessageA(dialog, IDC_LOADER_FOLDERS, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR)
        return;
    // Folders read from the registry may be longer than a path buffer: size the text to the entry.
    LRESULT length = SendDlgItemMessageA(dialog, IDC_LOADER_FOLDERS, LB_GETTEXTLEN, selected, 0);
    if (length == LB_ERR)
        return;
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendDlgItemMessageA(dialog, IDC_LOADER_FOLDERS, LB_GETTEXT, selected, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(length));
    if (keptForEveryone && keptForEveryone(text)) {
        MessageBoxA(dialog,
                    ("The folder \"" + text + "\" was set by an administrator for every user of this computer, "
                     "so it stays in the list: only an administrator can remove it.").c_str(),
                    "Vog File Loader", MB_OK | MB_ICONINFORMATION);
        return;
    }
    SendDlgItemMessageA(dialog, IDC_LOADER_FOLDERS, LB_DELETESTRING, selected, 0);

    auto found = std::find_if(paths->begin(), paths->end(),
                              [&](const std::string& folder) { return equalsIgnoringCase(folder, text); });
    if (found == paths->end())
        return;
    watchers->remove(WatchSpec(text, theme, 255, false));
    *changed = true;
    paths->erase(found);
    if (paths->empty()) {
        EnableWindow(GetDlgItem(dialog, IDC_LOADER_REMOVE), FALSE);
    } else {
        WPARAM next = selected > 0 ? static_cast<WPARAM>(selected - 1) : 0;
        SendDlgItemMessageA(dialog, IDC_LOADER_FOLDERS, LB_SETCURSEL, next, 0);
    }
}
