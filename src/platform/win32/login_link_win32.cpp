// The login link as a shell link "<name>.lnk" in the user's Startup folder.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/login_link.h"
#include "platform/win32/com.h"
#include "platform/win32/wide_path.h"
#include "text/win32/wide.h"

namespace molvar::platform {
namespace {

using win32::ComApartment;
using win32::ComOwner;

std::optional<std::wstring> LinkPath(const text::Cp932String& name) {
    const auto wideName = text::ToWide(name);
    if (!wideName || wideName->empty() || wideName->find_first_of(std::wstring(L"\\/:\0", 4)) != std::wstring::npos) {
        return std::nullopt;
    }
    wchar_t folder[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_STARTUP, TRUE) || folder[0] == L'\0') {
        return std::nullopt;
    }
    std::wstring path = folder;
    if (path.back() != L'\\') {
        path += L'\\';
    }
    path += *wideName + L".lnk";
    // IPersistFile::Save and DeleteFileW take classic paths only.
    if (path.size() >= win32::kMaxPathUnits) {
        return std::nullopt;
    }
    return path;
}

}  // namespace

std::optional<text::Cp932String> LoginLinkPath(const text::Cp932String& name) {
    const auto path = LinkPath(name);
    return path ? text::FromWide(*path) : std::nullopt;
}

bool CreateLoginLink(const text::Cp932String& name, const text::Cp932String& target,
                     const text::Cp932String& description) {
    const auto path = LinkPath(name);
    const auto wideTarget = win32::OsPath(target);
    const auto wideDescription = text::ToWide(description);
    if (!path || !wideTarget || !wideDescription) {
        return false;
    }
    const ComApartment com;
    IShellLinkW* rawLink = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&rawLink)))) {
        return false;
    }
    const ComOwner<IShellLinkW> link(rawLink);
    if (FAILED(link->SetPath(wideTarget->c_str())) || FAILED(link->SetDescription(wideDescription->c_str())) ||
        FAILED(link->SetArguments(L"")) || FAILED(link->SetWorkingDirectory(L"")) ||
        FAILED(link->SetIconLocation(L"", 0)) || FAILED(link->SetShowCmd(SW_SHOWNORMAL))) {
        return false;
    }
    IPersistFile* rawFile = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&rawFile)))) {
        return false;
    }
    const ComOwner<IPersistFile> file(rawFile);
    return SUCCEEDED(file->Save(path->c_str(), TRUE));
}

bool DeleteLoginLink(const text::Cp932String& name) {
    const auto path = LinkPath(name);
    if (!path) {
        return false;
    }
    if (::DeleteFileW(path->c_str())) {
        return true;
    }
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace molvar::platform
