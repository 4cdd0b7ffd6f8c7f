// Passwords of any bytes come back exactly from the registry in both
// programs, whatever the ANSI code page, and a typed one reaches the monitor
// as UTF-8, old stored forms included: ctest runs this program once per code
// page, set through the locale of the Wine run and named in QUILLO_CODE_PAGE.
#include "config_registry.h"
#include "monitor_config.h"
#include "monitor_state.h"
#include "password_scrambling.h"
#include "setup_config.h"
#include "setup_dialog.h"
#include "setup_platform_recorder.h"
#include "setup_resources.h"

#include <gtest/gtest.h>

#include <wincrypt.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(PasswordsOnThisCodePage, AnyBytesSaveAndLoadBackExactlyInBothPrograms)
{
    const char* named = std::getenv("QUILLO_CODE_PAGE");
    ASSERT_NE(named, nullptr) << "ctest names the code page of each run";
    ASSERT_EQ(GetACP(), std::strtoul(named, nullptr, 10)) << "the locale did not give the code page";

    SetupPlatformRecorder platform;
    SetupModel model;
    std::mt19937 random(GetACP());
    std::uniform_int_distribution<int> length(1, 98);
    std::uniform_int_distribution<int> byte(1, 255);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        DeleteConfigKey();
        model.HostList.clear();
        for (int i = 0; i < 100; ++i) {
            HostConfig host = SampleHost(i);
            host.Password.resize(static_cast<size_t>(length(random)));
            for (char& c : host.Password)
                c = static_cast<char>(byte(random));
            model.HostList.push_back(host);
        }
        // A lead byte of a double-byte code page with nothing after it, and
        // the longest password.
        model.HostList[0].Password = "Tr0ub4dor&3\x81";
        model.HostList[1].Password = std::string(98, '\xfe');
        const std::vector<HostConfig> saved = model.HostList;
        ASSERT_TRUE(SaveConfig(model));

        model.HostList.clear();
        ASSERT_EQ(ExitCodeOf([&] { LoadConfig(model); }), std::nullopt);
        ASSERT_EQ(model.HostList.size(), saved.size());
        for (size_t i = 0; i < saved.size(); ++i)
            EXPECT_EQ(model.HostList[i].Password, saved[i].Password) << "setup program, host " << i;

        ASSERT_EQ(ExitCodeOf([] { LoadHostTable(); }), std::nullopt);
        ASSERT_EQ(gHostTable.Count.load(), static_cast<int32_t>(saved.size()));
        for (size_t i = 0; i < saved.size(); ++i)
            EXPECT_EQ(gHostTable[static_cast<int32_t>(i)].Password, saved[i].Password) << "monitor, host " << i;
        FreeHostTable();
    }
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{});
    DeleteConfigKey();
}

// Typed in either alphabet, with characters that no single code page holds
// both of, and as the monitor must send them.
const std::pair<std::wstring, std::string> kTypedPasswords[] = {
    {L"p\u00e4ssword", "p\xc3\xa4ssword"}, {L"\u65e5\u672c\u8a9epw", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9epw"}};

std::wstring PasswordFieldOf(const SetupDialog& dialog)
{
    wchar_t text[128] = L"";
    GetWindowTextW(GetDlgItem(dialog.window(), IDC_PASSWORD), text, 128);
    return text;
}

TEST(PasswordsOnThisCodePage, ATypedPasswordIsShownAgainWholeAndSentAsUtf8)
{
    SetupPlatformRecorder platform;
    for (const auto& [typed, sent] : kTypedPasswords) {
        DeleteConfigKey();
        auto dialog = std::make_unique<SetupDialog>(GetModuleHandleA(nullptr));
        ASSERT_NE(dialog->CreateModeless(nullptr), nullptr);
        const HWND field = GetDlgItem(dialog->window(), IDC_PASSWORD);
        for (const wchar_t c : typed)
            SendMessageW(field, WM_CHAR, c, 0);
        SendMessageA(GetDlgItem(dialog->window(), IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(dialog->ended());

        ASSERT_EQ(ExitCodeOf([] { LoadHostTable(); }), std::nullopt);
        ASSERT_EQ(gHostTable.Count.load(), 1);
        EXPECT_EQ(gHostTable[0].Password, sent);
        FreeHostTable();

        dialog = std::make_unique<SetupDialog>(GetModuleHandleA(nullptr));
        ASSERT_NE(dialog->CreateModeless(nullptr), nullptr);
        EXPECT_EQ(PasswordFieldOf(*dialog), typed);
    }
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{});
    DeleteConfigKey();
}

// What older versions stored: the field's bytes in the ANSI code page,
// protected with the first form's binding, or scrambled.
std::string ProtectedAsBefore(const std::string& ansi, const HostConfig& host)
{
    std::string binding = std::string("Quillo password 1\0", 18) + host.Name + '\0' + host.UserID + '\0';
    binding += std::string("0\0", 2) + std::string("0\0", 2) + std::string("0\0", 2);
    std::string clear = ansi;
    DATA_BLOB in{static_cast<DWORD>(clear.size()), reinterpret_cast<BYTE*>(clear.data())};
    DATA_BLOB entropy{static_cast<DWORD>(binding.size()), reinterpret_cast<BYTE*>(binding.data())};
    DATA_BLOB out{};
    if (!CryptProtectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return {};
    const std::string blob(reinterpret_cast<const char*>(out.pbData), out.cbData);
    LocalFree(out.pbData);
    return blob;
}

TEST(PasswordsOnThisCodePage, APasswordStoredByAnOlderVersionIsReadInTheCodePageAndSentAsUtf8)
{
    SetupPlatformRecorder platform;
    int representable = 0;
    for (const auto& [typed, sent] : kTypedPasswords) {
        char ansi[64] = "";
        BOOL lost = FALSE;
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, typed.c_str(), -1, ansi, sizeof ansi, nullptr, &lost);
        if (lost)
            continue;
        ++representable;
        for (const bool scrambled : {false, true}) {
            SCOPED_TRACE(scrambled ? "scrambled" : "protected");
            DeleteConfigKey();
            HostConfig host = SampleHost(0);
            host.Password = ansi;
            StoreHosts({host});
            if (!scrambled)
                WriteRawValue("Host0PasswordProtected", REG_BINARY, ProtectedAsBefore(ansi, host));
            // Scrambled bytes that are no text of a double-byte code page do
            // not come back through it, not even to the version that wrote them.
            else if (ReadRawValue("Host0Password")->data != ScramblePassword(ansi).value() + '\0')
                continue;

            ASSERT_EQ(ExitCodeOf([] { LoadHostTable(); }), std::nullopt);
            ASSERT_EQ(gHostTable.Count.load(), 1);
            EXPECT_EQ(gHostTable[0].Password, sent);
            FreeHostTable();
            SetupModel model;
            ASSERT_EQ(ExitCodeOf([&] { LoadConfig(model); }), std::nullopt);
            ASSERT_EQ(model.HostList.size(), 1u);
            EXPECT_EQ(model.HostList[0].Password, sent);
        }
    }
    EXPECT_GT(representable, 0) << "this code page holds neither password";
    EXPECT_EQ(platform.BoxTexts(), std::vector<std::string>{});
    DeleteConfigKey();
}

}  // namespace
