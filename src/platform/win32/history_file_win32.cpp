#include <windows.h>

#include <string>

#include "platform/history_file.h"
#include "platform/win32/handle.h"
#include "platform/win32/wide_path.h"

namespace molvar::platform {

using win32::ApiPathOf;
using win32::UniqueHandle;

NativePath ChildPath(const NativePath& folder, std::string_view name) {
    std::wstring path = win32::WideOf(folder);
    if (path.empty() || (path.back() != L'\\' && path.back() != L'/')) {
        path += L'\\';
    }
    path.append(name.begin(), name.end());
    return win32::NativeOfWide(path);
}

bool MakeNativeFolderTree(const NativePath& folder) {
    const std::wstring path = win32::WideOf(folder);
    // From the first separator after the drive or share, level by level.
    for (std::size_t at = path.find_first_of(L"\\/", 3);; at = path.find_first_of(L"\\/", at + 1)) {
        const std::wstring level = path.substr(0, at);
        if (!::CreateDirectoryW(ApiPathOf(win32::NativeOfWide(level)).c_str(), nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS && ::GetLastError() != ERROR_ACCESS_DENIED) {
            return false;
        }
        if (at == std::wstring::npos) {
            return true;
        }
    }
}

std::optional<std::uint64_t> AppendWhole(const NativePath& path, std::string_view bytes) {
    // FILE_APPEND_DATA alone: every write goes to the end of the file as it
    // is then, whoever else appends. FILE_SHARE_DELETE lets another copy
    // rename the file while this one holds it.
    const UniqueHandle file(::CreateFileW(ApiPathOf(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    LARGE_INTEGER size{};
    if (!file.valid() || bytes.size() > MAXDWORD ||
        !::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size() || !::GetFileSizeEx(file.get(), &size)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

void RotateWhenPast(const NativePath& path, const NativePath& rotated, std::uint64_t limit) {
    const UniqueHandle file(::CreateFileW(ApiPathOf(path).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    OVERLAPPED far{};
    far.OffsetHigh = 0x7FFFFFFF;  // a byte no line reaches: the lock holds back no append
    if (!file.valid() || !::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &far)) {
        return;
    }
    // Another copy may have renamed it while this one waited for the lock.
    const UniqueHandle named(::CreateFileW(ApiPathOf(path).c_str(), 0,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION held{}, now{};
    if (named.valid() && ::GetFileInformationByHandle(file.get(), &held) &&
        ::GetFileInformationByHandle(named.get(), &now) && held.dwVolumeSerialNumber == now.dwVolumeSerialNumber &&
        held.nFileIndexHigh == now.nFileIndexHigh && held.nFileIndexLow == now.nFileIndexLow &&
        ((static_cast<std::uint64_t>(held.nFileSizeHigh) << 32) | held.nFileSizeLow) > limit) {
        ::MoveFileExW(ApiPathOf(path).c_str(), ApiPathOf(rotated).c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    ::UnlockFileEx(file.get(), 0, 1, 0, &far);
}

std::string ReadFileTail(const NativePath& path, std::size_t maxBytes) {
    const UniqueHandle file(::CreateFileW(ApiPathOf(path).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.valid() || !::GetFileSizeEx(file.get(), &size)) {
        return {};
    }
    const auto total = static_cast<std::uint64_t>(size.QuadPart);
    LARGE_INTEGER start{};
    start.QuadPart = static_cast<LONGLONG>(total > maxBytes ? total - maxBytes : 0);
    if (!::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) {
        return {};
    }
    std::string bytes(static_cast<std::size_t>(total - static_cast<std::uint64_t>(start.QuadPart)), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD got = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - filled, 1 << 20));
        if (!::ReadFile(file.get(), bytes.data() + filled, ask, &got, nullptr) || got == 0) {
            break;
        }
        filled += got;
    }
    bytes.resize(filled);
    return bytes;
}

std::string LastErrorText() {
    const DWORD code = ::GetLastError();
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 ? std::wstring(buffer, length) : L"error " + std::to_wstring(code);
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.')) {
        text.pop_back();
    }
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), needed, nullptr,
                          nullptr);
    return utf8;
}

}  // namespace molvar::platform
