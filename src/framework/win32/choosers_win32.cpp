// The system's file-open dialog and folder chooser, owned by the modal
// dialog that asks. Paths come back in code page 932, or not at all.
#include "framework/choosers.h"
#include "framework/win32/win32_window.h"
#include "platform/win32/com.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <string>

#include "text/win32/wide.h"

namespace molvar::framework {
namespace {

// The shell's dialogs need an apartment for as long as a chooser is open.
using platform::win32::ComApartment;

struct CoTaskMemFreer {
    void operator()(void* memory) const { ::CoTaskMemFree(memory); }
};
using IdListPtr = std::unique_ptr<ITEMIDLIST, CoTaskMemFreer>;

ChooserResult Chosen(const wchar_t* path) {
    const auto converted = text::FromWide(path);
    if (!converted) {
        return {ChooserResult::Outcome::NotConvertible, {}};
    }
    return {ChooserResult::Outcome::Chosen, *converted};
}

int CALLBACK OnFolderChooserEvent(HWND window, UINT event, LPARAM, LPARAM data) {
    const auto* initial = reinterpret_cast<const std::wstring*>(data);
    if (event == BFFM_INITIALIZED && initial != nullptr && !initial->empty()) {
        ::SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(initial->c_str()));
    }
    return 0;
}

class Win32Choosers final : public Choosers {
public:
    ChooserResult OpenFile(const OpenFileRequest& request) override {
        ComApartment apartment;
        // "description\0pattern\0...\0\0"
        std::wstring filters;
        for (const auto& [description, pattern] : request.filters) {
            filters += text::ToWideForDisplay(description);
            filters += L'\0';
            filters += text::ToWideForDisplay(pattern);
            filters += L'\0';
        }
        filters += L'\0';
        const std::wstring title = text::ToWideForDisplay(request.title);
        // Room for the longest path Windows has.
        std::wstring path(32768, L'\0');
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = win32::ActiveModalWindow();
        dialog.lpstrFilter = request.filters.empty() ? nullptr : filters.c_str();
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = path.data();
        dialog.nMaxFile = static_cast<DWORD>(path.size());
        dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
        dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
        if (!::GetOpenFileNameW(&dialog)) {
            return {};
        }
        return Chosen(path.c_str());
    }

    ChooserResult Folder(const text::Cp932String& title, const text::Cp932String& initial) override {
        ComApartment apartment;
        const std::wstring heading = text::ToWideForDisplay(title);
        const std::wstring start = text::ToWideForDisplay(initial);
        BROWSEINFOW browse{};
        browse.hwndOwner = win32::ActiveModalWindow();
        browse.lpszTitle = heading.c_str();
        // Virtual folders can be chosen: they come back as such, below.
        browse.ulFlags = 0;
        browse.lpfn = OnFolderChooserEvent;
        browse.lParam = reinterpret_cast<LPARAM>(&start);
        const IdListPtr chosen(::SHBrowseForFolderW(&browse));
        if (!chosen) {
            return {};
        }
        wchar_t path[MAX_PATH] = {};
        if (!::SHGetPathFromIDListW(chosen.get(), path)) {
            return {ChooserResult::Outcome::NoFileSystemPath, {}};
        }
        return Chosen(path);
    }
};

}  // namespace

Choosers& win32::FileChoosers() {
    static Win32Choosers choosers;
    return choosers;
}

}  // namespace molvar::framework
