// What Windows reads of the two program files before it runs them: the
// version resource and the manifest, read back with the system's own calls.
#include "program_driver.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

struct ProgramFile {
    const char* path;
    const char* description;
};

std::string VersionString(const std::vector<char>& info, const char* name)
{
    void* value = nullptr;
    UINT length = 0;
    const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(info.data(), query.c_str(), &value, &length) || length == 0)
        return "";
    return static_cast<const char*>(value);
}

std::string Manifest(const char* path)
{
    HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr)
        return "";
    std::string text;
    if (HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)))
        if (HGLOBAL loaded = LoadResource(module, resource))
            text.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, resource));
    FreeLibrary(module);
    return text;
}

class ProgramResources : public ::testing::TestWithParam<ProgramFile> {};

TEST_P(ProgramResources, CarryTheirVersionAndAnAsInvokerManifest)
{
    const ProgramFile& program = GetParam();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(program.path, &ignored);
    ASSERT_GT(size, 0u) << program.path;
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(program.path, 0, size, info.data()));
    EXPECT_EQ(VersionString(info, "ProductName"), "Quillo");
    EXPECT_EQ(VersionString(info, "FileDescription"), program.description);
    EXPECT_FALSE(VersionString(info, "FileVersion").empty());

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_GT(fixed->dwFileVersionMS, 0u);

    const std::string manifest = Manifest(program.path);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("supportedOS"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, ProgramResources,
                         ::testing::Values(ProgramFile{QUILLO_EXE, "Quillo mail monitor"},
                                           ProgramFile{KELVO_EXE, "Quillo setup"}));

}  // namespace
