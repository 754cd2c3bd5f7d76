#include "support/Process.h"

#include "winsys/Handle.h"

#include <algorithm>

namespace testing_support {

ProcessResult runProcess(const std::string& commandLine, DWORD timeoutMs)
{
    ProcessResult result;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
        return result;
    KernelHandle reader(readEnd);
    KernelHandle writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION info = {};
    std::string mutableLine = commandLine;
    if (!CreateProcessA(nullptr, &mutableLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
        return result;
    KernelHandle process(info.hProcess);
    CloseHandle(info.hThread);
    writer.reset();  // only the child writes now

    // Read while the child runs, so that a full pipe never blocks it.
    auto drain = [&] {
        DWORD available = 0;
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char buffer[4096];
            DWORD read = 0;
            if (!ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof buffer), &read, nullptr) || read == 0)
                break;
            result.output.append(buffer, read);
        }
    };
    DWORD start = GetTickCount();
    while (WaitForSingleObject(process.get(), 10) == WAIT_TIMEOUT) {
        drain();
        if (GetTickCount() - start > timeoutMs) {
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), 5000);
            drain();
            return result;
        }
    }
    drain();
    result.finished = true;
    GetExitCodeProcess(process.get(), &result.exitCode);
    return result;
}

std::vector<std::string> outputLines(const std::string& output)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        std::string line = output.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

}  // namespace testing_support
