#include <windows.h>
#include <shlobj.h>

#include <string>

#include "platform/session.h"
#include "platform/win32/handle.h"
#include "platform/win32/wide_path.h"
#include "text/win32/wide.h"

namespace molvar::platform {

struct SingleInstanceLock::State {
    win32::UniqueHandle mutex;  // the name is taken while a handle is open
};

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Where the first folder level below the root begins: after "C:\",
// "\\server\share\" or "\", or at 0 for a relative path.
std::size_t RootLength(const std::wstring& path) {
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        std::size_t at = 2;
        for (int part = 0; part < 2 && at < path.size(); ++part) {
            while (at < path.size() && !IsSeparator(path[at])) {
                ++at;
            }
            if (at < path.size()) {
                ++at;
            }
        }
        return at;
    }
    if (path.size() >= 2 && path[1] == L':') {
        return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
    }
    return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::optional<text::Cp932String> ApplicationDataFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, FALSE) || folder[0] == L'\0') {
        return std::nullopt;
    }
    return text::FromWide(folder);
}

bool MakeFolderTree(const text::Cp932String& path) {
    const auto osPath = win32::OsPath(path);
    if (!osPath) {
        return false;
    }
    // Every level is tried; whether the whole path is a folder in the end
    // is what counts (a level may exist but refuse creation, such as a
    // drive's root or a share).
    for (std::size_t at = RootLength(*osPath); at <= osPath->size(); ++at) {
        if (at == osPath->size() || IsSeparator((*osPath)[at])) {
            const std::wstring level = osPath->substr(0, at);
            if (!level.empty() && !IsSeparator(level.back())) {
                ::CreateDirectoryW(level.c_str(), nullptr);
            }
        }
    }
    return IsFolder(*osPath);
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
