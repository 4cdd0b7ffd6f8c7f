// Text between a code page's bytes and Windows' UTF-16: the registry keeps
// ANSI, a Unicode field holds UTF-16, and what goes to a server is UTF-8.
#pragma once

#include <windows.h>

#include <string>

// The bytes, read in the code page (CP_ACP, CP_UTF8), as UTF-16.
std::wstring WideOf(const std::string& text, UINT codePage);

// The UTF-16 text as UTF-8.
std::string Utf8Of(const std::wstring& text);
