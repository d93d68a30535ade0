#include <windows.h>
#include <shlobj.h>

#include <string>

#include "platform/activity.h"
#include "platform/session.h"
#include "platform/win32/handle.h"
#include "platform/win32/wide_path.h"
#include "text/win32/wide.h"

namespace molvar::platform {

struct SingleInstanceLock::State {
    win32::UniqueHandle mutex;  // the name is taken while a handle is open
};

std::optional<text::Cp932String> ApplicationDataFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, FALSE) || folder[0] == L'\0') {
        return std::nullopt;
    }
    return text::FromWide(folder);
}

std::optional<NativePath> HistoryFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_LOCAL_APPDATA, FALSE) || folder[0] == L'\0') {
        return std::nullopt;
    }
    return win32::NativeOfWide(std::wstring(folder) + L"\\TORVEL\\Molvar3");
}

SingleInstanceLock::SingleInstanceLock(std::unique_ptr<State> state) : state_(std::move(state)) {}

SingleInstanceLock::~SingleInstanceLock() = default;

// The lock folder is not needed: the mutex lives in the session's namespace.
std::unique_ptr<SingleInstanceLock> SingleInstanceLock::Acquire(const text::Cp932String& name,
                                                                const text::Cp932String&, Outcome& outcome,
                                                                std::string* reason) {
    outcome = Outcome::Unavailable;
    const auto wideName = text::ToWide(name);
    // Without a name the mutex would be a private one, and a backslash
    // names another namespace.
    if (!wideName || wideName->empty() || wideName->find_first_of(std::wstring(L"\\\0", 2)) != std::wstring::npos ||
        wideName->size() >= MAX_PATH) {
        if (reason != nullptr) {
            *reason = "the executable's name cannot name a mutex";
        }
        return nullptr;
    }
    auto state = std::make_unique<State>();
    state->mutex.reset(::CreateMutexW(nullptr, TRUE, wideName->c_str()));
    if (!state->mutex.valid()) {
        // A copy of another user or of higher rights holds a mutex of this
        // name that this one may not open; any other failure (another kind
        // of object holds the name) leaves the lock unavailable.
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED) {
            outcome = Outcome::HeldByAnotherCopy;
        } else if (reason != nullptr) {
            *reason = "CreateMutex failed with error " + std::to_string(error);
        }
        return nullptr;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        outcome = Outcome::HeldByAnotherCopy;
        return nullptr;  // the handle is closed with `state`
    }
    outcome = Outcome::Acquired;
    return std::make_unique<SingleInstanceLock>(std::move(state));
}

}  // namespace molvar::platform
