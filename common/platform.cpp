// The real platform calls of both programs, and the helpers built on them.
#include "platform.h"

#include "win_handles.h"

#include <cstdlib>

#include <htmlhelp.h>

const PlatformCalls kRealPlatform = {&::MessageBoxA, &::CreateProcessA, &::ExitProcess, &OpenHtmlHelp};

PlatformCalls gPlatform = kRealPlatform;

ExitHook gBeforeConfigExit = nullptr;

void ExitProgram(UINT exitCode)
{
    if (gBeforeConfigExit != nullptr)
        gBeforeConfigExit();
    gPlatform.ExitProcess(exitCode);
    // Only a test's replacement of ExitProcess returns; it must not go on.
    std::abort();
}

bool StartDetached(const char* commandLine)
{
    char command[MAX_PATH];
    lstrcpynA(command, commandLine, sizeof command);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // An inherited handle, such as a check's open socket, would stay open for
    // as long as the other program runs.
    if (!gPlatform.CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                                  &startup, &process))
        return false;
    // The handles of the new process are of no use to the starter.
    UniqueKernelHandle processHandle(process.hProcess);
    UniqueKernelHandle threadHandle(process.hThread);
    return true;
}

bool NamesExistingFile(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

namespace {

// The viewer stays loaded for the life of the program: its windows run on
// code of the library.
HtmlHelpCall gHtmlHelpViewer = nullptr;

HtmlHelpCall LoadHtmlHelpViewer()
{
    if (gHtmlHelpViewer == nullptr) {
        // Searched for by its bare name, it would be taken first from the
        // program's own folder, such as a Downloads folder, where anything
        // may lie beside it.
        if (HMODULE library = LoadLibraryExA("hhctrl.ocx", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
            gHtmlHelpViewer =
                reinterpret_cast<HtmlHelpCall>(reinterpret_cast<void*>(GetProcAddress(library, "HtmlHelpA")));
    }
    return gHtmlHelpViewer;
}

}  // namespace

HWND WINAPI OpenHtmlHelp(HWND caller, LPCSTR file, UINT command, DWORD_PTR data)
{
    if (command == HH_CLOSE_ALL)
        return gHtmlHelpViewer != nullptr ? gHtmlHelpViewer(caller, file, command, data) : nullptr;
    if (file == nullptr || !NamesExistingFile(file))
        return nullptr;
    const HtmlHelpCall viewer = LoadHtmlHelpViewer();
    return viewer != nullptr ? viewer(caller, file, command, data) : nullptr;
}

std::string ModulePath()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

std::string HelpFilePath()
{
    std::string folder = ModulePath();
    folder.erase(folder.find_last_of("\\/:") + 1);
    return folder + "kelvo.chm";
}

bool ShowHelpTopic(HWND owner, UINT topic)
{
    return gPlatform.HtmlHelpA(owner, HelpFilePath().c_str(), HH_HELP_CONTEXT, topic) != nullptr;
}

void CloseHelp()
{
    gPlatform.HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0);
}
