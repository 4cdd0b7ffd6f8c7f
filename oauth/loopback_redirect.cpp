// The browser's return to the loopback listener; see loopback_redirect.h.
#include "loopback_redirect.h"

#include "hex_digit.h"

#include <optional>

namespace {

// A query's name or value with its %XX and '+' decoded; nothing when a '%'
// has no two hex digits after it.
std::optional<std::string> QueryDecode(std::string_view text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            decoded += ' ';
        } else if (text[i] != '%') {
            decoded += text[i];
        } else {
            const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
            const int low = high < 0 ? -1 : HexValue(text[i + 2]);
            if (low < 0)
                return std::nullopt;
            decoded += static_cast<char>(high << 4 | low);
            i += 2;
        }
    }
    return decoded;
}

// Visible ASCII and the space, as codes and error codes are written.
bool IsPrintable(std::string_view text)
{
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

// The parameters that matter; each counts only when given once.
struct ReturnQuery {
    std::optional<std::string> Code;
    std::optional<std::string> State;
    std::optional<std::string> Error;
    bool Repeated = false;
};

std::optional<ReturnQuery> ReadQuery(std::string_view query)
{
    ReturnQuery result;
    while (!query.empty()) {
        const size_t ampersand = query.find('&');
        const std::string_view pair = query.substr(0, ampersand);
        query = ampersand == std::string_view::npos ? std::string_view() : query.substr(ampersand + 1);
        const size_t equals = pair.find('=');
        const std::optional<std::string> name = QueryDecode(pair.substr(0, equals));
        const std::optional<std::string> value =
            QueryDecode(equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
        if (!name || !value)
            return std::nullopt;
        std::optional<std::string>* slot = *name == "code"    ? &result.Code
                                           : *name == "state" ? &result.State
                                           : *name == "error" ? &result.Error
                                                              : nullptr;
        if (slot == nullptr)
            continue;
        result.Repeated = result.Repeated || slot->has_value();
        *slot = *value;
    }
    return result;
}

std::string HttpResponse(std::string_view status, std::string_view page)
{
    std::string response = "HTTP/1.1 ";
    response += status;
    response += "\r\n";
    if (!page.empty())
        response += "Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n";
    response += "Content-Length: " + std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n";
    response += page;
    return response;
}

}  // namespace

RedirectRequest ReadRedirectRequest(std::string_view request, std::string_view expectedState)
{
    RedirectRequest result;
    const std::string_view line = request.substr(0, request.find_first_of("\r\n"));
    constexpr std::string_view kMethod = "GET ";
    if (!line.starts_with(kMethod))
        return result;
    const std::string_view rest = line.substr(kMethod.size());
    const size_t space = rest.find(' ');
    if (space == std::string_view::npos)
        return result;
    const std::string_view target = rest.substr(0, space);
    const std::string_view version = rest.substr(space + 1);
    // The redirect address has the path "/": anything else is not the return.
    constexpr std::string_view kPath = "/?";
    if ((version != "HTTP/1.1" && version != "HTTP/1.0") || !target.starts_with(kPath))
        return result;
    const std::optional<ReturnQuery> query = ReadQuery(target.substr(kPath.size()));
    if (!query || (!query->Code && !query->Error))
        return result;

    if (query->Repeated || !query->State || expectedState.empty() || *query->State != expectedState) {
        result.Outcome = RedirectOutcome::StateMismatch;
        return result;
    }
    // An error wins over a code beside it: a return that says both is no
    // sign-in to trust.
    if (query->Error) {
        result.Outcome = RedirectOutcome::Denied;
        if (IsPrintable(*query->Error))
            result.Error = *query->Error;
        return result;
    }
    if (query->Code->empty() || !IsPrintable(*query->Code))
        return result;
    result.Outcome = RedirectOutcome::Code;
    result.Code = *query->Code;
    return result;
}

std::string RedirectPage(bool signedIn)
{
    const std::string_view message = signedIn ? "You are signed in. You can close this page and return to Quillo."
                                              : "Sign-in did not complete. Return to Quillo to try again.";
    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Quillo</title></head>\n<body><p>";
    page += message;
    page += "</p></body></html>\n";
    return HttpResponse("200 OK", page);
}

std::string NotFoundResponse()
{
    return HttpResponse("404 Not Found", "");
}
