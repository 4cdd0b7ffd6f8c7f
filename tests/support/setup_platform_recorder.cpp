// The recording replacements of the setup program's own platform calls.
#include "setup_platform_recorder.h"

namespace {

SetupPlatformRecorder* gSetupRecorder = nullptr;

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
    gSetupRecorder->openDialogs.push_back(
        {dialog->hwndOwner, FilterText(dialog->lpstrFilter), dialog->lpstrDefExt ? dialog->lpstrDefExt : "",
         dialog->lpstrFile ? dialog->lpstrFile : "", dialog->Flags, dialog->nMaxFile});
    if (!gSetupRecorder->openDialogChoice)
        return FALSE;
    lstrcpynA(dialog->lpstrFile, gSetupRecorder->openDialogChoice->c_str(), dialog->nMaxFile);
    return TRUE;
}

LSTATUS WINAPI RecordRegCreateKeyEx(HKEY root, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                                    REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition)
{
    if (gSetupRecorder->failKeyCreate)
        return ERROR_ACCESS_DENIED;
    return kRealSetupPlatform.RegCreateKeyExA(root, subKey, reserved, keyClass, options, access, security, result,
                                              disposition);
}

LSTATUS WINAPI RecordRegSetValueEx(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    gSetupRecorder->registryWrites.emplace_back(name ? name : "");
    if (name != nullptr && gSetupRecorder->failRegistryWriteOf == name)
        return ERROR_ACCESS_DENIED;
    return kRealSetupPlatform.RegSetValueExA(key, name, reserved, type, data, size);
}

LSTATUS WINAPI RecordRegDeleteValue(HKEY key, LPCWSTR name)
{
    // The tests' value names are ASCII.
    std::string narrow;
    for (const wchar_t* c = name; c != nullptr && *c != L'\0'; ++c)
        narrow.push_back(static_cast<char>(*c));
    gSetupRecorder->registryDeletes.push_back(narrow);
    if (gSetupRecorder->failRegistryDeleteOf == narrow)
        return ERROR_ACCESS_DENIED;
    return kRealSetupPlatform.RegDeleteValueW(key, name);
}

INT_PTR WINAPI RunModalScript(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC proc, LPARAM parameter)
{
    ++gSetupRecorder->modalDialogs;
    const HWND dialog = CreateDialogParamA(instance, name, owner, proc, parameter);
    if (dialog == nullptr)
        return -1;
    if (gSetupRecorder->modalScript)
        gSetupRecorder->modalScript(dialog);
    else
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    DestroyWindow(dialog);
    return 0;
}

std::optional<std::string> RecordSignIn(HWND owner, const OAuthProvider& provider, std::string_view user)
{
    gSetupRecorder->signIns.push_back({owner, provider, std::string(user)});
    return gSetupRecorder->signInToken;
}

}  // namespace

SetupPlatformRecorder::SetupPlatformRecorder()
{
    gSetupRecorder = this;
    gSetupPlatform = SetupPlatformCalls{&RecordGetOpenFileName, &RecordRegCreateKeyEx, &RecordRegSetValueEx,
                                        &RecordRegDeleteValue,  &RunModalScript,       &RecordSignIn};
}

SetupPlatformRecorder::~SetupPlatformRecorder()
{
    gSetupPlatform = kRealSetupPlatform;
    gSetupRecorder = nullptr;
}
