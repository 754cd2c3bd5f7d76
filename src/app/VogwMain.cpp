// vogw.exe: the same commands without a console window. The `vog:` protocol's open command runs it
// with "--link" and the link, and a shortcut can run it to open a document without a console
// flashing up. What it has to say it shows in one message box titled "Vog" when it ends. Being a
// GUI program, cmd does not wait for it: batch files use vog.exe (or "start /wait vogw.exe ...").
#include "app/Commands.h"
#include "app/SystemText.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    BoxReport report;
    int code = runVog(commandLineArguments(), report);
    report.show();
    return code;
}
