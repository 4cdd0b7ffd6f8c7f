#include "dovecot_server.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

// Wine names the Linux root Z:.
std::string WindowsPath(const std::string& linuxPath)
{
    std::string path = "Z:" + linuxPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

int Occurrences(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

}  // namespace

DovecotServer::DovecotServer(std::string address, std::string folder)
    : address_(std::move(address)), folder_(std::move(folder))
{
}

DovecotServer DovecotServer::Shared()
{
    return DovecotServer("127.0.0.1", QUILLO_DOVECOT_DIR);
}

DovecotServer DovecotServer::Spare()
{
    return DovecotServer(QUILLO_DOVECOT_SPARE_ADDRESS, QUILLO_DOVECOT_SPARE_DIR);
}

bool DovecotServer::Run(const std::string& arguments) const
{
    static int calls = 0;
    const std::string statusFile = std::string(QUILLO_DOVECOT_CALLS) + "/" + std::to_string(GetCurrentProcessId()) +
                                   "-" + std::to_string(GetTickCount()) + "-" + std::to_string(++calls);
    CreateDirectoryA(WindowsPath(QUILLO_DOVECOT_CALLS).c_str(), nullptr);
    std::string commandLine = "\"" + WindowsPath(QUILLO_DOVECOT_SCRIPT) + "\" \"" + statusFile + "\" " + address_ +
                              " " + arguments.substr(0, arguments.find(' ')) + " \"" + folder_ + "\"";
    if (arguments.find(' ') != std::string::npos)
        commandLine += arguments.substr(arguments.find(' '));
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
    if (answer.rfind("0\n", 0) == 0)
        return true;
    std::cerr << "dovecot " << arguments << " failed, status and output:\n" << answer << "\n";
    return false;
}

bool DovecotServer::Start() const
{
    // The certificates of the whole test run, whose CA the prefix trusts.
    return Run(std::string("start ") + QUILLO_TLS_CERTS);
}

bool DovecotServer::StartWithTlsLoginsOnly() const
{
    return Run(std::string("start ") + QUILLO_TLS_CERTS + " tls-logins-only");
}

bool DovecotServer::StartWithLongGreeting() const
{
    return Run(std::string("start ") + QUILLO_TLS_CERTS + " long-greeting");
}

bool DovecotServer::Stop() const
{
    return Run("stop");
}

bool DovecotServer::AddUser(const std::string& name, const std::string& password) const
{
    return Run("user " + name + " " + password);
}

bool DovecotServer::Deliver(const std::string& name, int count) const
{
    return Run("deliver " + name + " " + std::to_string(count));
}

bool DovecotServer::MarkSeen(const std::string& name) const
{
    return Run("seen " + name);
}

bool DovecotServer::Empty(const std::string& name) const
{
    return Run("empty " + name);
}

std::string DovecotServer::Log() const
{
    return ReadWhole(WindowsPath(folder_ + "/dovecot.log"));
}

int DovecotServer::Logins(const std::string& user) const
{
    return Occurrences(Log(), "Login: user=<" + user + ">");
}

int DovecotServer::FailedLogins(const std::string& user) const
{
    return LinesWith({"auth failed", "user=<" + user + ">"});
}

int DovecotServer::TlsLogins(const std::string& user) const
{
    return LinesWith({"Login: user=<" + user + ">", kTlsMark});
}

int DovecotServer::TlsFailedLogins(const std::string& user) const
{
    return LinesWith({"auth failed", "user=<" + user + ">", kTlsMark});
}

int DovecotServer::LinesWith(std::initializer_list<std::string> parts) const
{
    std::istringstream lines(Log());
    int count = 0;
    std::string line;
    while (std::getline(lines, line))
        if (std::all_of(parts.begin(), parts.end(),
                        [&](const std::string& part) { return line.find(part) != std::string::npos; }))
            ++count;
    return count;
}
