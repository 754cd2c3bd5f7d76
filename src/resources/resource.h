// Resource identifiers of VOG.OCX. Shared by the resource script and the code.
#pragma once

// File Loader dialog (template 101) and its controls.
#define IDD_FILE_LOADER 101
#define IDC_LOADER_MESSAGE 101
#define IDC_LOADER_FOLDERS 102
#define IDC_LOADER_ADD 103
#define IDC_LOADER_REMOVE 104

// The module's icon: the File Loader dialog and the "Vog" window class use it.
#define IDI_VOG 101
