// vog.exe: the console program for command lines, batch files, PowerShell and shortcuts. A console
// program, so that cmd and batch files wait for it and see its exit code (Commands.h).
#include "app/Commands.h"
#include "app/SystemText.h"

int main()
{
    ConsoleReport report;
    return runVog(commandLineArguments(), report);
}
