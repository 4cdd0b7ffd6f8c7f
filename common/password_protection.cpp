// Opening stored passwords with CryptUnprotectData; protecting and opening
// refresh tokens.
#include "password_protection.h"

#include "text_encoding.h"
#include "win_handles.h"

#include <windows.h>
#include <wincrypt.h>

#include <initializer_list>
#include <utility>

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

// The fields of a binding, each followed by a NUL.
std::string BindingOf(std::initializer_list<std::string> fields)
{
    std::string binding;
    for (const std::string& field : fields) {
        binding += field;
        binding += '\0';
    }
    return binding;
}

// What CryptProtectData and CryptUnprotectData hand back is LocalAlloc'd.
UniqueLocalMemory OwnerOf(const DATA_BLOB& blob)
{
    return UniqueLocalMemory(static_cast<HLOCAL>(blob.pbData));
}

// The clear data inside a blob, opened with the binding given.
std::optional<std::string> Unprotect(const std::string& blob, const std::string& binding)
{
    DATA_BLOB sealed = BlobOf(blob);
    DATA_BLOB entropy = BlobOf(binding);
    DATA_BLOB clear{};
    if (!CryptUnprotectData(&sealed, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &clear))
        return std::nullopt;
    const UniqueLocalMemory owner = OwnerOf(clear);
    std::string data(reinterpret_cast<const char*>(clear.pbData), clear.cbData);
    SecureZeroMemory(clear.pbData, clear.cbData);
    return data;
}

}  // namespace

std::string PasswordBinding(const HostConfig& host, PasswordForm form)
{
    return BindingOf({"Quillo password " + std::to_string(static_cast<int>(form)), host.Name, host.UserID,
                      StoredDecimal(host.Security), StoredDecimal(host.Port), StoredDecimal(host.Protocol)});
}

std::optional<std::string> UnprotectPassword(const std::string& blob, const HostConfig& host)
{
    if (blob.empty())
        return std::nullopt;
    for (const PasswordForm form : {PasswordForm::Utf8, PasswordForm::Ansi}) {
        if (std::optional<std::string> password = Unprotect(blob, PasswordBinding(host, form)))
            return form == PasswordForm::Utf8 ? std::move(*password) : AnsiPasswordToUtf8(*password);
    }
    return std::nullopt;
}

std::string AnsiPasswordToUtf8(const std::string& ansi)
{
    return Utf8Of(WideOf(ansi, CP_ACP));
}

std::string TokenBinding(const HostConfig& host)
{
    return BindingOf({"Quillo token 1", host.Name, host.UserID, StoredDecimal(host.Security), StoredDecimal(host.Port),
                      StoredDecimal(host.Protocol), host.OAuth.TokenUrl, host.OAuth.ClientId});
}

std::optional<std::string> ProtectToken(const HostConfig& host)
{
    DATA_BLOB clear = BlobOf(host.RefreshToken);
    const std::string binding = TokenBinding(host);
    DATA_BLOB entropy = BlobOf(binding);
    DATA_BLOB sealed{};
    if (!CryptProtectData(&clear, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &sealed))
        return std::nullopt;
    const UniqueLocalMemory owner = OwnerOf(sealed);
    return std::string(reinterpret_cast<const char*>(sealed.pbData), sealed.cbData);
}

std::optional<std::string> UnprotectToken(const std::string& blob, const HostConfig& host)
{
    if (blob.empty())
        return std::nullopt;
    return Unprotect(blob, TokenBinding(host));
}
