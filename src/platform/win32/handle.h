// Owners of Windows handles, closed when they go out of scope.
#pragma once

#include <windows.h>

namespace molvar::platform::win32 {

// `CloseFn` is the function that releases the handle; `Invalid` is the value
// that the function creating it returns on failure.
template <BOOL(WINAPI* CloseFn)(HANDLE), HANDLE (*Invalid)()>
class BasicHandle {
public:
    BasicHandle() = default;
    explicit BasicHandle(HANDLE handle) : handle_(handle) {}
    ~BasicHandle() { reset(); }
    BasicHandle(BasicHandle&& other) noexcept : handle_(other.release()) {}
    BasicHandle& operator=(BasicHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    BasicHandle(const BasicHandle&) = delete;
    BasicHandle& operator=(const BasicHandle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != Invalid() && handle_ != nullptr; }
    HANDLE release() {
        const HANDLE handle = handle_;
        handle_ = Invalid();
        return handle;
    }
    void reset(HANDLE handle = Invalid()) {
        if (valid()) {
            CloseFn(handle_);
        }
        handle_ = handle;
    }
    // Closes now and reports whether the close succeeded (it can report a
    // delayed write error).
    bool Close() {
        const HANDLE handle = release();
        return handle == Invalid() || handle == nullptr || CloseFn(handle) != 0;
    }

private:
    HANDLE handle_ = Invalid();
};

inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }

// Files, processes and threads.
using UniqueHandle = BasicHandle<::CloseHandle, InvalidHandleValue>;
// FindFirstFileW searches.
using FindHandle = BasicHandle<::FindClose, InvalidHandleValue>;
// FindFirstChangeNotificationW registrations.
using ChangeHandle = BasicHandle<::FindCloseChangeNotification, InvalidHandleValue>;

}  // namespace molvar::platform::win32
