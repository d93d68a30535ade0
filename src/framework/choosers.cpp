#include "framework/choosers.h"

#include <cstdint>
#include <string>
#include <vector>

#include "framework/message_box.h"

namespace molvar::framework {
namespace {

Choosers* g_installedChoosers = nullptr;

}  // namespace

Choosers& ActiveChoosers() { return g_installedChoosers != nullptr ? *g_installedChoosers : BackendChoosers(); }

ScopedChoosers::ScopedChoosers(Choosers& choosers) : previous_(g_installedChoosers) { g_installedChoosers = &choosers; }

ScopedChoosers::~ScopedChoosers() { g_installedChoosers = previous_; }

CFileDialog::CFileDialog(bool /*openFileDialog*/, const text::Cp932String& filter, const text::Cp932String& title) {
    request_.title = title;
    // "description|pattern|...||". 0x7C ('|') can be the second byte of a
    // double-byte character: only a '|' that starts a character splits.
    std::vector<text::Cp932String> parts;
    std::string current;
    const std::string& bytes = filter.bytes();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(bytes[i]);
        if (text::IsLeadByte(byte) && i + 1 < bytes.size()) {
            current += bytes[i];
            current += bytes[++i];
        } else if (bytes[i] == '|') {
            parts.push_back(text::Cp932String::FromBytes(current));
            current.clear();
        } else {
            current += bytes[i];
        }
    }
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty()) {
            break;  // the "||" that ends the list
        }
        request_.filters.emplace_back(parts[i], parts[i + 1]);
    }
}

int CFileDialog::DoModal() {
    result_ = ActiveChoosers().OpenFile(request_);
    return result_.outcome == ChooserResult::Outcome::Chosen ? IDOK : IDCANCEL;
}

}  // namespace molvar::framework
