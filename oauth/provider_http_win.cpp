// The provider's HTTPS requests on WinHTTP, and the random bytes on
// BCryptGenRandom.
#include "provider_http.h"

#include "text_encoding.h"
#include "win_handles.h"

#include <windows.h>
#include <bcrypt.h>
#include <winhttp.h>

namespace {
using UniqueInternet = UniqueHandle<HINTERNET, &WinHttpCloseHandle>;

// The pieces of an https address, or none for another scheme or one that
// WinHTTP cannot read.
struct HttpsAddress {
    std::wstring Host;
    INTERNET_PORT Port = 0;
    std::wstring PathAndQuery;
};

bool ReadHttpsAddress(std::string_view url, HttpsAddress& address)
{
    const std::wstring wide = WideOf(std::string(url), CP_UTF8);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (wide.empty() || !WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts))
        return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTPS || parts.dwHostNameLength == 0)
        return false;
    address.Host.assign(parts.lpszHostName, parts.dwHostNameLength);
    address.Port = parts.nPort;
    address.PathAndQuery.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    address.PathAndQuery.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (address.PathAndQuery.empty())
        address.PathAndQuery = L"/";
    return true;
}

bool ReadBody(HINTERNET request, std::string& body)
{
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available))
            return false;
        if (available == 0)
            return true;
        if (body.size() + available > kLongestProviderReply)
            return false;
        const size_t start = body.size();
        body.resize(start + available);
        DWORD read = 0;
        if (!WinHttpReadData(request, body.data() + start, available, &read))
            return false;
        body.resize(start + read);
    }
}
}  // namespace

ProviderReply PostForm(std::string_view url, std::string_view formBody, int boundMs)
{
    ProviderReply reply;
    HttpsAddress address;
    if (!ReadHttpsAddress(url, address))
        return reply;
    // The system's proxy settings, as every other program of the user's.
    UniqueInternet session(
        WinHttpOpen(L"Quillo", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session || !WinHttpSetTimeouts(session.get(), boundMs, boundMs, boundMs, boundMs))
        return reply;
    UniqueInternet connection(WinHttpConnect(session.get(), address.Host.c_str(), address.Port, 0));
    if (!connection)
        return reply;
    UniqueInternet request(WinHttpOpenRequest(connection.get(), L"POST", address.PathAndQuery.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
    if (!request)
        return reply;
    DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
    if (!WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects))
        return reply;
    static constexpr wchar_t kHeaders[] =
        L"Content-Type: application/x-www-form-urlencoded\r\nAccept: application/json\r\n";
    const DWORD bodyLength = static_cast<DWORD>(formBody.size());
    if (!WinHttpSendRequest(request.get(), kHeaders, static_cast<DWORD>(-1L), const_cast<char*>(formBody.data()),
                            bodyLength, bodyLength, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return reply;
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX))
        return reply;
    if (!ReadBody(request.get(), reply.Body)) {
        reply.Body.clear();
        return reply;
    }
    reply.Status = static_cast<int>(status);
    reply.Answered = true;
    return reply;
}

bool DrawRandomBytes(std::span<uint8_t> bytes)
{
    return BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG) >=
           0;
}
