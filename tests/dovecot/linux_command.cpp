#include "linux_command.h"

#include <windows.h>

#include <fstream>
#include <iostream>
#include <sstream>

std::string WindowsPath(const std::string& linuxPath)
{
    std::string path = "Z:" + linuxPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string ReadWhole(const std::string& windowsPath)
{
    std::ifstream file(windowsPath, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool RunLinuxScript(const std::string& script, const std::string& arguments, std::string& output)
{
    static int calls = 0;
    const std::string statusFile = std::string(QUILLO_LINUX_CALLS) + "/" + std::to_string(GetCurrentProcessId()) + "-" +
                                   std::to_string(GetTickCount()) + "-" + std::to_string(++calls);
    CreateDirectoryA(WindowsPath(QUILLO_LINUX_CALLS).c_str(), nullptr);
    std::string commandLine = "\"" + WindowsPath(script) + "\" \"" + statusFile + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Wine runs a Linux program but gives no handle to wait on (hence the
    // status file). What it leaves in `process` is no handle of ours
    // (hThread holds stale bytes), so nothing of it is closed: closing such a
    // value can close another handle of this process (it took Winsock's, and
    // every later connect of the test failed).
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::cerr << "cannot start " << commandLine << " (" << GetLastError() << ")\n";
        return false;
    }
    const std::string windowsStatus = WindowsPath(statusFile);
    const DWORD start = GetTickCount();
    while (GetFileAttributesA(windowsStatus.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > 60000) {
            std::cerr << "no answer from " << commandLine << "\n";
            return false;
        }
        Sleep(10);
    }
    const std::string answer = ReadWhole(windowsStatus);
    DeleteFileA(windowsStatus.c_str());
    const size_t lineEnd = answer.find('\n');
    output = lineEnd == std::string::npos ? std::string() : answer.substr(lineEnd + 1);
    if (answer.rfind("0\n", 0) == 0)
        return true;
    std::cerr << commandLine << " failed, status and output:\n" << answer << "\n";
    return false;
}
