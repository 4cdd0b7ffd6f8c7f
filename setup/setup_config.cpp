// Loading and saving the setup program's host list, and telling or starting
// the monitor after a save.
#include "setup_config.h"

#include "control_messages.h"
#include "debug_trace.h"
#include "host_editor_rules.h"
#include "password_protecting.h"
#include "password_protection.h"
#include "platform.h"
#include "setup_platform.h"
#include "win_handles.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

bool WriteDword(HKEY key, const char* valueName, int32_t number)
{
    const DWORD data = static_cast<DWORD>(number);
    return gSetupPlatform.RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                         sizeof data) == ERROR_SUCCESS;
}

bool WriteHostBytes(HKEY key, const char* pattern, int32_t index, const std::string& bytes)
{
    return gSetupPlatform.RegSetValueExA(key, HostValueName(pattern, index).text, 0, REG_BINARY,
                                         reinterpret_cast<const BYTE*>(bytes.data()),
                                         static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

// Deleting a value that is not there is no failure, and no call: a list
// that never used OAuth is saved without a single deletion.
bool DeleteHostValue(HKEY key, const char* pattern, int32_t index)
{
    const ValueName name = HostValueName(pattern, index);
    if (RegQueryValueExA(key, name.text, nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND)
        return true;
    const std::wstring wide(name.text, name.text + std::strlen(name.text));
    return gSetupPlatform.RegDeleteValueW(key, wide.c_str()) == ERROR_SUCCESS;
}

// What a save does with the protected token at a host's index.
struct TokenStep {
    enum { Keep, Write, Delete, Refused } what;
    std::string blob;  // for Write
};

// The values of a host that its token is bound to, and nothing else.
HostConfig BindingOf(const HostConfig& host)
{
    HostConfig binding;
    binding.Name = host.Name;
    binding.UserID = host.UserID;
    binding.Security = host.Security;
    binding.Port = host.Port;
    binding.Protocol = host.Protocol;
    binding.OAuth.TokenUrl = host.OAuth.TokenUrl;
    binding.OAuth.ClientId = host.OAuth.ClientId;
    return binding;
}

std::vector<HostConfig> BindingsOf(const std::vector<HostConfig>& hosts)
{
    std::vector<HostConfig> bindings;
    bindings.reserve(hosts.size());
    for (const HostConfig& host : hosts)
        bindings.push_back(BindingOf(host));
    return bindings;
}

TokenStep SealToken(const HostConfig& binding)
{
    std::optional<std::string> sealed = ProtectToken(binding);
    return sealed ? TokenStep{TokenStep::Write, std::move(*sealed)} : TokenStep{TokenStep::Refused, {}};
}

// A stored token for the host as it is now: as it is when it opens for the
// host (moved, or bound anew by a save that stopped halfway), else opened
// with the values it was stored with and bound to the new ones; nothing when
// it opens for neither.
std::optional<TokenStep> CarryToken(const std::string& blob, const HostConfig& host, const HostConfig* stored)
{
    if (UnprotectToken(blob, host))
        return TokenStep{TokenStep::Write, blob};
    if (stored == nullptr)
        return std::nullopt;
    std::optional<std::string> token = UnprotectToken(blob, *stored);
    if (!token)
        return std::nullopt;
    HostConfig rebound = BindingOf(host);
    rebound.RefreshToken = std::move(*token);
    TokenStep step = SealToken(rebound);
    SecureZeroMemory(rebound.RefreshToken.data(), rebound.RefreshToken.size());
    return step;
}

// Only a sign-in in the dialog writes a token of its own: the monitor may
// have stored a newer one since the list was loaded, and a host that stays
// at its index with the same values keeps whatever is stored there. A host
// that moved, or whose name, user id, security mode, port or protocol
// changed, takes the token along that is stored at its old index now, bound
// to its new values; a token for another token endpoint or client is of no
// use and goes.
TokenStep PlanToken(HKEY key, int32_t index, const HostConfig& host, const std::vector<HostConfig>& storedBindings)
{
    if (host.Auth == PasswordSignIn)
        return {TokenStep::Delete, {}};
    if (host.TokenChanged) {
        if (host.RefreshToken.empty())
            return {TokenStep::Delete, {}};
        return SealToken(host);
    }
    const HostConfig* stored = host.StoredIndex >= 0 && host.StoredIndex < static_cast<int32_t>(storedBindings.size())
                                   ? &storedBindings[host.StoredIndex]
                                   : nullptr;
    if (stored != nullptr &&
        (stored->OAuth.TokenUrl != host.OAuth.TokenUrl || stored->OAuth.ClientId != host.OAuth.ClientId))
        return {TokenStep::Delete, {}};
    const bool rebound = stored != nullptr && TokenBinding(*stored) != TokenBinding(host);
    if (host.StoredIndex == index && !rebound)
        return {TokenStep::Keep, {}};
    // The token at the old index now is the newest one, unless a save that
    // stopped halfway put another host's there: that one does not open for
    // this host, and the one read at load time is taken instead.
    if (host.StoredIndex >= 0) {
        const std::optional<std::string> current =
            ReadHostBytes(key, kHostOAuthTokenProtectedPattern, host.StoredIndex);
        if (current) {
            if (std::optional<TokenStep> step = CarryToken(*current, host, stored))
                return std::move(*step);
        }
    }
    if (host.StoredToken) {
        if (std::optional<TokenStep> step = CarryToken(*host.StoredToken, host, stored))
            return std::move(*step);
    }
    // One that opens nowhere stays as it was: the user signs in again.
    return host.StoredToken ? TokenStep{TokenStep::Write, *host.StoredToken} : TokenStep{TokenStep::Delete, {}};
}

bool StoreToken(HKEY key, int32_t index, const TokenStep& token)
{
    switch (token.what) {
    case TokenStep::Keep:
        return true;
    case TokenStep::Write:
        return WriteHostBytes(key, kHostOAuthTokenProtectedPattern, index, token.blob);
    case TokenStep::Delete:
        return DeleteHostValue(key, kHostOAuthTokenProtectedPattern, index);
    case TokenStep::Refused:
        break;
    }
    return false;
}

// No password is kept for a host that signs in with OAuth.
bool StorePassword(HKEY key, int32_t index, const HostConfig& host)
{
    if (host.Auth == OAuthSignIn)
        return DeleteHostValue(key, kHostPasswordProtectedPattern, index);
    // A password that could not be opened and was not entered again must
    // still be entered again: an empty protected value opens for nobody.
    const std::optional<std::string> sealed =
        host.PasswordLost && host.Password.empty() ? std::optional<std::string>(std::string()) : ProtectPassword(host);
    return sealed && WriteHostBytes(key, kHostPasswordProtectedPattern, index, *sealed);
}

// A host that signs in with a password keeps no provider, so that choosing
// OAuth again starts afresh; older versions never read these values.
bool StoreProvider(HKEY key, int32_t index, const HostConfig& host)
{
    const std::pair<const char*, const std::string*> texts[] = {
        {kHostOAuthAuthorizeUrlPattern, &host.OAuth.AuthorizeUrl},
        {kHostOAuthTokenUrlPattern, &host.OAuth.TokenUrl},
        {kHostOAuthClientIdPattern, &host.OAuth.ClientId},
        {kHostOAuthScopePattern, &host.OAuth.Scope},
        {kHostOAuthDeviceUrlPattern, &host.OAuth.DeviceUrl}};
    for (const auto& [pattern, text] : texts) {
        if (!(host.Auth == PasswordSignIn ? DeleteHostValue(key, pattern, index)
                                          : WriteHostString(key, pattern, index, *text)))
            return false;
    }
    return true;
}

// The protected token and password go first, bound to the host's new name,
// user id, security mode, port and protocol (and the token to its provider's
// token endpoint and client id), which follow them. A save that stops after
// them leaves a record whose values may still be the old host's, but then
// neither can be opened for it; and a scrambled password of an older version
// that still stands beside it is no longer read, since a protected value is
// present.
bool WriteHost(HKEY key, int32_t index, const HostConfig& host, const TokenStep& token)
{
    return StoreToken(key, index, token) && StorePassword(key, index, host) &&
           // Older versions still find a password, fail to log in with it
           // and say so, instead of stopping at a missing value.
           WriteHostString(key, kHostPasswordPattern, index, std::string()) &&
           WriteHostString(key, kHostNamePattern, index, host.Name) &&
           WriteHostString(key, kHostUserIDPattern, index, host.UserID) &&
           WriteHostDword(key, kHostSecurityPattern, index, host.Security) &&
           WriteHostDword(key, kHostPortPattern, index, host.Port) &&
           WriteHostDword(key, kHostProtocolPattern, index, host.Protocol) &&
           WriteHostDword(key, kHostAuthPattern, index, host.Auth) && StoreProvider(key, index, host) &&
           WriteHostString(key, kHostMailReaderPattern, index, host.MailReader) &&
           WriteHostString(key, kHostMailWavePattern, index, host.MailWave) &&
           WriteHostDword(key, kHostActionPattern, index, host.Action) &&
           WriteHostDword(key, kHostDelayPattern, index, host.Delay);
}

// After a save, the registry holds at each index what the host there will
// take along when it moves next.
void NoteStoredTokens(SetupModel& model, const std::vector<TokenStep>& tokens)
{
    for (int32_t index = 0; index < model.HostCount(); ++index) {
        HostConfig& host = model.HostList[index];
        host.StoredIndex = index;
        host.TokenChanged = false;
        if (tokens[index].what == TokenStep::Write)
            host.StoredToken = tokens[index].blob;
        else if (tokens[index].what == TokenStep::Delete)
            host.StoredToken.reset();
    }
}

// The host index in a per-host value name ("Host12Name" gives 12, any letter
// case), or -1 for every other name ("HostCount"). Indices beyond 32 bits
// read as one past the largest.
int64_t HostIndexOf(const std::wstring& valueName)
{
    auto digit = [&](size_t at) { return at < valueName.size() && valueName[at] >= L'0' && valueName[at] <= L'9'; };
    static constexpr wchar_t kPrefix[] = L"host";
    size_t at = 0;
    for (; kPrefix[at] != L'\0'; ++at) {
        if (at == valueName.size() || (valueName[at] | 0x20) != kPrefix[at])
            return -1;
    }
    if (!digit(at))
        return -1;
    int64_t index = 0;
    for (; digit(at); ++at)
        index = std::min<int64_t>(index * 10 + (valueName[at] - L'0'), int64_t{INT32_MAX} + 1);
    return index;
}

// Removes every value of a host at `count` or beyond, whatever its name: a
// deleted mailbox leaves nothing behind, its password least of all. Names
// are taken as the registry holds them, so that none is lost to the code
// page, and gathered first, since deleting shifts the enumeration.
bool DeleteHostsFrom(HKEY key, int32_t count)
{
    std::vector<std::wstring> doomed;
    // The longest value name the registry allows, and its NUL.
    std::wstring name(16384, L'\0');
    for (DWORD enumerated = 0;; ++enumerated) {
        DWORD length = static_cast<DWORD>(name.size());
        const LONG result = RegEnumValueW(key, enumerated, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS)
            return false;
        std::wstring found(name.data(), length);
        if (HostIndexOf(found) >= count)
            doomed.push_back(std::move(found));
    }
    for (const std::wstring& value : doomed) {
        if (gSetupPlatform.RegDeleteValueW(key, value.c_str()) != ERROR_SUCCESS)
            return false;
    }
    return true;
}

// A value that the dialog could not take as it is stored never keeps the
// user out, since only a registry editor could mend it: Yes goes on with it
// mended and the list marked changed, so that the next Save stores it; No
// ends the program as a missing value does.
void OfferRepair(SetupModel& model, const ValueName& name, const std::string& question)
{
    std::string text = "The stored value ";
    text += name.text;
    text += question;
    if (gPlatform.MessageBoxA(nullptr, text.c_str(), ProgramTitle().c_str(), MB_YESNO | MB_ICONWARNING) != IDYES)
        ExitProgram(1);
    model.ConfigDirty = 1;
}

int32_t OfferNumberReset(SetupModel& model, const char* pattern, int32_t index)
{
    const bool delay = std::strcmp(pattern, kHostDelayPattern) == 0;
    std::string question = " is no number. Reset it to ";
    question += delay ? std::to_string(kNewHostDelay) + " seconds" : std::string(ActionNames[Nothing]);
    question += " and go on? No ends the setup program.";
    OfferRepair(model, HostValueName(pattern, index), question);
    return delay ? kNewHostDelay : Nothing;
}

// Hand-written, or saved by a version whose fields counted characters
// where the code page takes two bytes for one.
void OfferCutsOfLongTexts(SetupModel& model, HostConfig& host, int32_t index)
{
    const std::pair<const char*, std::string*> texts[] = {{kHostNamePattern, &host.Name},
                                                          {kHostUserIDPattern, &host.UserID},
                                                          {kHostMailReaderPattern, &host.MailReader},
                                                          {kHostMailWavePattern, &host.MailWave}};
    for (const auto& [pattern, text] : texts) {
        if (text->size() <= kLongestFieldText)
            continue;
        OfferRepair(model, HostValueName(pattern, index),
                    " is too long (more than 98 bytes). Cut it to 98 bytes and go on? No ends the setup program.");
        text->resize(FittingLength(*text, &IsAnsiLeadByte));
    }
}

BOOL CALLBACK PostNewConfigIfMonitor(HWND window, LPARAM found)
{
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (lstrcmpiA(title, kMonitorWindowName) != 0)
        return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    PostMessageA(window, UM_NEWCONFIG, 0, 0);
    return FALSE;
}

}  // namespace

bool IsAnsiLeadByte(char byte)
{
    return IsDBCSLeadByte(static_cast<BYTE>(byte)) != FALSE;
}

bool WriteHostString(HKEY key, const char* pattern, int32_t index, const std::string& text)
{
    return gSetupPlatform.RegSetValueExA(key, HostValueName(pattern, index).text, 0, REG_SZ,
                                         reinterpret_cast<const BYTE*>(text.c_str()),
                                         static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool WriteHostDword(HKEY key, const char* pattern, int32_t index, int32_t number)
{
    return WriteDword(key, HostValueName(pattern, index).text, number);
}

void LoadConfig(SetupModel& model)
{
    model.HostList.clear();
    model.StoredBindings.clear();
    UniqueRegKey key = OpenConfigKey();
    if (!key) {
        model.NoSavedConfig = 1;
        return;
    }
    int32_t count = ReadRegDword(key.get(), kHostCountValue);
    // Never written by us; a count below -1 means no count at all.
    if (count < -1)
        count = -1;
    if (count == -1) {
        model.NoSavedConfig = 1;
        return;
    }
    // The password is opened with the values as they are stored, and bound
    // to the mended ones by the next Save.
    model.HostList = ReadHosts(key.get(), count, [&model](const char* pattern, int32_t index) {
        return OfferNumberReset(model, pattern, index);
    });
    // Before any repair: the values as they are stored.
    model.StoredBindings = BindingsOf(model.HostList);
    for (int32_t index = 0; index < model.HostCount(); ++index)
        OfferCutsOfLongTexts(model, model.HostList[index], index);
    for (const HostConfig& host : model.HostList)
        DebugTrace("Decrypted pw: [%s]", host.Password.c_str());
}

bool SaveConfig(SetupModel& model)
{
    UniqueRegKey key;
    if (gSetupPlatform.RegCreateKeyExA(HKEY_CURRENT_USER, kConfigKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_ALL_ACCESS, nullptr, key.receive(), nullptr) != ERROR_SUCCESS) {
        gPlatform.MessageBoxA(nullptr, "Unable to access registry (?!) for config info!", kBoxCaption,
                              MB_OK | MB_ICONWARNING);
        ExitProgram(1);
    }
    bool stored = true;
    std::vector<TokenStep> tokens;
    for (int32_t index = 0; stored && index < model.HostCount(); ++index) {
        tokens.push_back(PlanToken(key.get(), index, model.HostList[index], model.StoredBindings));
        stored = WriteHost(key.get(), index, model.HostList[index], tokens.back());
    }
    stored = stored && WriteDword(key.get(), kHostCountValue, model.HostCount());
    // Only once the count no longer points at them: deleted before, a save
    // cut short would leave a count pointing at missing values.
    stored = stored && DeleteHostsFrom(key.get(), model.HostCount());
    key.reset();
    if (!stored) {
        gPlatform.MessageBoxA(nullptr, "Unable to save the configuration!", kBoxCaption, MB_OK | MB_ICONWARNING);
        return false;
    }
    NoteStoredTokens(model, tokens);
    model.StoredBindings = BindingsOf(model.HostList);
    model.ConfigDirty = 0;
    // Only the first start after the first configuration is a first start.
    const bool firstStart = model.NoSavedConfig != 0;
    if (model.HostCount() > 0)
        model.NoSavedConfig = 0;
    if (!FindMonitor() && model.HostCount() > 0)
        LaunchMonitor(firstStart);
    return true;
}

bool FindMonitor()
{
    bool found = false;
    EnumWindows(&PostNewConfigIfMonitor, reinterpret_cast<LPARAM>(&found));
    return found;
}

void LaunchMonitor(bool firstStart)
{
    if (!StartDetached(firstStart ? kMonitorFirstStartCommandLine : kMonitorCommandLine))
        gPlatform.MessageBoxA(nullptr, "Unable to launch Quillo!", ProgramTitle().c_str(), MB_ICONERROR);
}
