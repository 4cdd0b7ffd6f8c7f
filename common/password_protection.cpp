// Opening stored passwords with CryptUnprotectData.
#include "password_protection.h"

#include "text_encoding.h"
#include "win_handles.h"

#include <windows.h>
#include <wincrypt.h>

namespace {

// The number as the registry stores it (REG_DWORD), so that a value out of
// range binds as the same digits in every version.
std::string StoredDecimal(int32_t number)
{
    return std::to_string(static_cast<uint32_t>(number));
}

DATA_BLOB BlobOf(const std::string& bytes)
{
    return DATA_BLOB{static_cast<DWORD>(bytes.size()), reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()))};
}

// What CryptUnprotectData hands back is LocalAlloc'd.
UniqueLocalMemory OwnerOf(const DATA_BLOB& blob)
{
    return UniqueLocalMemory(static_cast<HLOCAL>(blob.pbData));
}

}  // namespace

std::string PasswordBinding(const HostConfig& host, PasswordForm form)
{
    std::string formName = "Quillo password ";
    formName += std::to_string(static_cast<int>(form));
    std::string binding;
    for (const std::string& field : {formName, host.Name, host.UserID, StoredDecimal(host.Security),
                                     StoredDecimal(host.Port), StoredDecimal(host.Protocol)}) {
        binding += field;
        binding += '\0';
    }
    return binding;
}

std::optional<std::string> UnprotectPassword(const std::string& blob, const HostConfig& host)
{
    if (blob.empty())
        return std::nullopt;
    for (const PasswordForm form : {PasswordForm::Utf8, PasswordForm::Ansi}) {
        DATA_BLOB sealed = BlobOf(blob);
        const std::string binding = PasswordBinding(host, form);
        DATA_BLOB entropy = BlobOf(binding);
        DATA_BLOB clear{};
        if (!CryptUnprotectData(&sealed, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &clear))
            continue;
        const UniqueLocalMemory owner = OwnerOf(clear);
        std::string password(reinterpret_cast<const char*>(clear.pbData), clear.cbData);
        SecureZeroMemory(clear.pbData, clear.cbData);
        return form == PasswordForm::Utf8 ? password : AnsiPasswordToUtf8(password);
    }
    return std::nullopt;
}

std::string AnsiPasswordToUtf8(const std::string& ansi)
{
    return Utf8Of(WideOf(ansi, CP_ACP));
}
