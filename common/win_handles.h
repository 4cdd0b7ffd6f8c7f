// One owner for each kind of Windows handle the programs hold: the handle is
// released when its owner goes out of scope, on every path.
#pragma once

#include <windows.h>

#include <utility>

template <typename Handle, auto Release, auto Invalid = Handle{}>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, Handle(Invalid))) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, Handle(Invalid));
        }
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle(Invalid); }
    Handle* receive()
    {
        reset();
        return &handle_;
    }
    void reset(Handle handle = Handle(Invalid))
    {
        if (handle_ != Handle(Invalid))
            Release(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Handle(Invalid);
};

using UniqueRegKey = UniqueHandle<HKEY, &RegCloseKey>;
using UniqueKernelHandle = UniqueHandle<HANDLE, &CloseHandle>;
using UniqueMenu = UniqueHandle<HMENU, &DestroyMenu>;
using UniqueLocalMemory = UniqueHandle<HLOCAL, &LocalFree>;
// An icon of its own (LoadImage without LR_SHARED); shared icons are never destroyed.
using UniqueIcon = UniqueHandle<HICON, &DestroyIcon>;
