// The recording replacements of the platform calls.
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

BOOL WINAPI RecordCreateProcess(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                                LPSECURITY_ATTRIBUTES, BOOL inherit, DWORD flags, LPVOID, LPCSTR directory,
                                LPSTARTUPINFOA startup, LPPROCESS_INFORMATION process)
{
    RecordedProcess record{commandLine ? commandLine : "", std::nullopt, inherit, flags,
                           startup ? startup->cb : 0, application != nullptr};
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

BOOL WINAPI RecordWinHelp(HWND window, LPCSTR file, UINT command, ULONG_PTR data)
{
    gRecorder->helps.push_back({window, file ? file : "", command, data});
    return gRecorder->helpStarts ? TRUE : FALSE;
}

BOOL WINAPI RecordShellNotifyIcon(DWORD message, PNOTIFYICONDATAA data)
{
    gRecorder->trayCalls.push_back({message, *data});
    return TRUE;
}

BOOL WINAPI RecordSndPlaySound(LPCSTR sound, UINT flags)
{
    gRecorder->sounds.emplace_back(sound ? sound : "", flags);
    return TRUE;
}

BOOL WINAPI RecordMessageBeep(UINT type)
{
    gRecorder->beeps.push_back(type);
    return TRUE;
}

std::string FilterText(const char* filter)
{
    std::string text;
    if (filter == nullptr)
        return text;
    // The filter ends with two NULs.
    for (const char* p = filter; *p; p += lstrlenA(p) + 1)
        text.append(p).push_back('|');
    return text;
}

BOOL WINAPI RecordGetOpenFileName(LPOPENFILENAMEA dialog)
{
    gRecorder->openDialogs.push_back({dialog->hwndOwner, FilterText(dialog->lpstrFilter),
                                      dialog->lpstrDefExt ? dialog->lpstrDefExt : "",
                                      dialog->lpstrFile ? dialog->lpstrFile : "", dialog->Flags, dialog->nMaxFile});
    if (!gRecorder->openDialogChoice)
        return FALSE;
    lstrcpynA(dialog->lpstrFile, gRecorder->openDialogChoice->c_str(), dialog->nMaxFile);
    return TRUE;
}

LSTATUS WINAPI RecordRegCreateKeyEx(HKEY root, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                                    REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition)
{
    if (gRecorder->failKeyCreate)
        return ERROR_ACCESS_DENIED;
    return RealPlatform.RegCreateKeyExA(root, subKey, reserved, keyClass, options, access, security, result,
                                        disposition);
}

LSTATUS WINAPI RecordRegSetValueEx(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    gRecorder->registryWrites.emplace_back(name ? name : "");
    if (name != nullptr && gRecorder->failRegistryWriteOf == name)
        return ERROR_ACCESS_DENIED;
    return RealPlatform.RegSetValueExA(key, name, reserved, type, data, size);
}

} // namespace

PlatformRecorder::PlatformRecorder()
{
    gRecorder = this;
    Platform = PlatformCalls{
        &RecordMessageBox,     &RecordCreateProcess,   &ThrowProcessExit,     &RecordWinHelp,
        &RecordShellNotifyIcon, &RecordSndPlaySound,   &RecordMessageBeep,    &RecordGetOpenFileName,
        &RecordRegCreateKeyEx, &RecordRegSetValueEx,
    };
}

PlatformRecorder::~PlatformRecorder()
{
    Platform = RealPlatform;
    gRecorder = nullptr;
}

std::vector<std::string> PlatformRecorder::BoxTexts() const
{
    std::vector<std::string> texts;
    for (const RecordedBox& box : boxes)
        texts.push_back(box.text);
    return texts;
}
