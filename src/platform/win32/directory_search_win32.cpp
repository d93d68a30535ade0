// Windows matches the pattern itself, so MatchesWildcard is not needed here.
#include <windows.h>

#include "platform/directory_search.h"
#include "platform/win32/filetime.h"
#include "platform/win32/handle.h"
#include "platform/win32/wide_path.h"
#include "text/win32/wide.h"

namespace molvar::platform {

struct DirectorySearch::State {
    win32::FindHandle search;
    WIN32_FIND_DATAW found{};
    bool pending = false;  // `found` holds an item that Next has not returned yet
    DirectoryItem item;    // the one Next returned last
};

DirectorySearch::DirectorySearch(const text::Cp932String& folder, const text::Cp932String& pattern)
    : state_(std::make_unique<State>()) {
    const auto wideFolder = text::ToWide(folder);
    const auto widePattern = text::ToWide(pattern);
    if (!wideFolder || !widePattern || wideFolder->empty() || widePattern->empty()) {
        return;
    }
    const std::wstring query = *wideFolder + L"\\" + *widePattern;
    if (query.find(L'\0') != std::wstring::npos) {
        return;
    }
    state_->search = win32::FindHandle(::FindFirstFileW(query.c_str(), &state_->found));
    state_->pending = state_->search.valid();
}

DirectorySearch::~DirectorySearch() = default;

const DirectoryItem* DirectorySearch::Next() {
    if (state_->pending) {
        const WIN32_FIND_DATAW& found = state_->found;
        DirectoryItem& item = state_->item;
        item.name = win32::NativeOfWide(found.cFileName);
        item.cp932Name = text::FromWide(found.cFileName);
        if (item.cp932Name && item.cp932Name->size() > kMaxCp932NameBytes) {
            item.cp932Name.reset();
        }
        item.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        item.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        item.lastWriteTime = win32::SecondsSince1970(found.ftLastWriteTime);
        state_->pending = ::FindNextFileW(state_->search.get(), &state_->found) != 0;
        return &item;
    }
    return nullptr;
}

}  // namespace molvar::platform
