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

// The control module's own resources (module.rc, linked into VOG.OCX only): the user type names of
// the two classes, the property page's dialog template and its caption, the type library.
#define IDS_VOG_CONTROL 1
#define IDS_VOG_PROPPAGE 2
#define IDS_PROPPAGE_CAPTION 200
#define IDD_PROPPAGE_VOG 200
#define IDC_PROPPAGE_TEXT 201
#define IDR_TYPELIB 1
