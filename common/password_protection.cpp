// Protecting and opening stored passwords with CryptProtectData.
#include "password_protection.h"

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

// What CryptProtectData and CryptUnprotectData hand back is LocalAlloc'd.
UniqueLocalMemory OwnerOf(const DATA_BLOB& blob)
{
    return UniqueLocalMemory(static_cast<HLOCAL>(blob.pbData));
}

} // namespace

std::string PasswordBinding(const HostConfig& host)
{
    std::string binding;
    for (const std::string& field :
         {std::string("Quillo password 1"), host.Name, host.UserID, StoredDecimal(host.Security),
          StoredDecimal(host.Port), StoredDecimal(host.Protocol)}) {
        binding += field;
        binding += '\0';
    }
    return binding;
}

std::optional<std::string> ProtectPassword(const HostConfig& host)
{
    DATA_BLOB clear = BlobOf(host.Password);
    const std::string binding = PasswordBinding(host);
    DATA_BLOB entropy = BlobOf(binding);
    DATA_BLOB sealed{};
    if (!CryptProtectData(&clear, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &sealed))
        return std::nullopt;
    const UniqueLocalMemory owner = OwnerOf(sealed);
    return std::string(reinterpret_cast<const char*>(sealed.pbData), sealed.cbData);
}

std::optional<std::string> UnprotectPassword(const std::string& blob, const HostConfig& host)
{
    DATA_BLOB sealed = BlobOf(blob);
    const std::string binding = PasswordBinding(host);
    DATA_BLOB entropy = BlobOf(binding);
    DATA_BLOB clear{};
    if (blob.empty() ||
        !CryptUnprotectData(&sealed, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &clear))
        return std::nullopt;
    const UniqueLocalMemory owner = OwnerOf(clear);
    std::string password(reinterpret_cast<const char*>(clear.pbData), clear.cbData);
    SecureZeroMemory(clear.pbData, clear.cbData);
    return password;
}
