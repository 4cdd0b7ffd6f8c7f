// Protecting passwords with CryptProtectData.
#include "password_protecting.h"

#include "password_protection.h"
#include "win_handles.h"

#include <windows.h>
#include <wincrypt.h>

namespace {

DATA_BLOB BlobOf(const std::string& bytes)
{
    return DATA_BLOB{static_cast<DWORD>(bytes.size()), reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()))};
}

}  // namespace

std::optional<std::string> ProtectPassword(const HostConfig& host)
{
    DATA_BLOB clear = BlobOf(host.Password);
    const std::string binding = PasswordBinding(host, PasswordForm::Utf8);
    DATA_BLOB entropy = BlobOf(binding);
    DATA_BLOB sealed{};
    if (!CryptProtectData(&clear, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &sealed))
        return std::nullopt;
    // What CryptProtectData hands back is LocalAlloc'd.
    const UniqueLocalMemory owner(static_cast<HLOCAL>(sealed.pbData));
    return std::string(reinterpret_cast<const char*>(sealed.pbData), sealed.cbData);
}
