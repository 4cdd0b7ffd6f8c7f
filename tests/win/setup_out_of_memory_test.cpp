// The setup program when memory runs out in the middle of an operation. This
// program replaces the global allocator so that one chosen allocation fails.
#include "config_registry.h"
#include "setup_config.h"
#include "setup_dialog.h"
#include "setup_platform_recorder.h"
#include "setup_resources.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>

namespace {

std::atomic<bool> gFailNextAllocation{false};

}  // namespace

void* operator new(std::size_t size)
{
    if (gFailNextAllocation.exchange(false))
        throw std::bad_alloc();
    if (void* memory = HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    HeapFree(GetProcessHeap(), 0, memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    HeapFree(GetProcessHeap(), 0, memory);
}

namespace {

TEST(SetupOutOfMemory, AFailedAllocationIsReportedAndEndsTheProgramWithTheRegistryUntouched)
{
    DeleteConfigKey();
    StoreHosts({SampleHost(1)});
    SetupPlatformRecorder platform;
    {
        SetupDialog dialog(GetModuleHandleA(nullptr));
        HWND window = dialog.CreateModeless(nullptr);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(dialog.model().HostCount(), 1);

        // Add needs a larger host list. The handler is called the way the
        // dialog manager calls it, minus the system's frames, which the
        // test's stand-in for ExitProcess could not cross.
        gFailNextAllocation = true;
        const std::optional<UINT> exit = ExitCodeOf([&] {
            SetupDialog::DialogProc(window, WM_COMMAND, MAKEWPARAM(IDC_ADD, BN_CLICKED),
                                    reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_ADD)));
        });
        gFailNextAllocation = false;
        EXPECT_EQ(exit, 1u);
        ASSERT_EQ(platform.boxes.size(), 1u);
        EXPECT_EQ(platform.boxes[0].text, "Out of memory!");
        EXPECT_EQ(platform.boxes[0].caption, "Quillo");
        EXPECT_EQ(platform.boxes[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(platform.boxes[0].owner, nullptr);
    }
    EXPECT_TRUE(platform.registryWrites.empty());
    EXPECT_EQ(ReadRawValue("HostCount")->data, std::string("\x01\0\0\0", 4));
    EXPECT_EQ(ReadRawValue("Host0Name")->data, std::string("pop1.example.org") + '\0');
    DeleteConfigKey();
}

}  // namespace
