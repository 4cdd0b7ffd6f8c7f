// The provider dialog: the addresses, client ID and scope of an OAuth 2.0
// provider that Quillo knows no preset for, or only the client ID of a preset
// that this build has none for.
#pragma once

#include "host_records.h"

#include <windows.h>

#include <optional>

enum class ProviderFields { All, ClientIdOnly };

inline constexpr const char* kProviderNoteText =
    "Your provider's instructions for mail programs give these values. The device address may stay empty.";
inline constexpr const char* kClientIdNoteText =
    "This copy of Quillo has no client ID of its own for Microsoft accounts. Enter the one registered with "
    "Microsoft Entra for you or your organisation; the help topic \"Signing in with a Microsoft account or another "
    "provider\" tells how.";

// Runs the dialog over `owner` until OK with values that can sign in (a
// refusal says why and keeps the dialog open) or Cancel; the values on OK.
std::optional<OAuthProvider> RunProviderDialog(HINSTANCE instance, HWND owner, const OAuthProvider& provider,
                                               ProviderFields fields);
