// The recording replacements of the platform calls of both programs.
#include "platform_recorder.h"

namespace {

PlatformRecorder* gRecorder = nullptr;

int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    gRecorder->boxes.push_back({owner, text ? text : "", caption ? caption : "", flags});
    if (gRecorder->whileBoxOpen) {
        const RecordedBox open = gRecorder->boxes.back();  // the callback may open further boxes
        gRecorder->whileBoxOpen(open);
    }
    return gRecorder->boxAnswer;
}

BOOL WINAPI RecordCreateProcess(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                BOOL inherit, DWORD flags, LPVOID, LPCSTR directory, LPSTARTUPINFOA startup,
                                LPPROCESS_INFORMATION process)
{
    RecordedProcess record{
        commandLine ? commandLine : "", std::nullopt, inherit, flags, startup ? startup->cb : 0, application != nullptr,
        application ? application : ""};
    if (directory != nullptr)
        record.currentDirectory = directory;
    gRecorder->processes.push_back(record);
    if (!gRecorder->processStartSucceeds) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    // Handles the caller may close: duplicates of our own process and thread.
    DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &process->hProcess, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &process->hThread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    gRecorder->startedHandles.push_back(process->hProcess);
    gRecorder->startedHandles.push_back(process->hThread);
    process->dwProcessId = 0;
    process->dwThreadId = 0;
    return TRUE;
}

void WINAPI ThrowProcessExit(UINT code)
{
    throw ProcessExit{code};
}

HWND WINAPI RecordHtmlHelp(HWND window, LPCSTR file, UINT command, DWORD_PTR data)
{
    gRecorder->helps.push_back({window, file ? file : "", command, data});
    // A window of somebody else's stands for the viewer's.
    return gRecorder->helpStarts ? GetDesktopWindow() : nullptr;
}

}  // namespace

PlatformRecorder::PlatformRecorder()
{
    gRecorder = this;
    gPlatform = PlatformCalls{&RecordMessageBox, &RecordCreateProcess, &ThrowProcessExit, &RecordHtmlHelp};
}

PlatformRecorder::~PlatformRecorder()
{
    gPlatform = kRealPlatform;
    gRecorder = nullptr;
}

std::vector<std::string> PlatformRecorder::BoxTexts() const
{
    std::vector<std::string> texts;
    for (const RecordedBox& box : boxes)
        texts.push_back(box.text);
    return texts;
}
