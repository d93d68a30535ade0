// Any bytes as a file name (and, split at the first NUL, a wildcard pattern
// and a program field): the characters of a name cover it in order, the
// stamped name keeps whole characters and fits the file system, the listed
// name fits its record, and the wildcard and program-field readers end.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/snapshot.h"
#include "engine/reactions.h"
#include "platform/command_line.h"
#include "platform/directory_search.h"
#include "platform/native_path.h"
#include "platform/utf8.h"

using namespace molvar;

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = platform::DecodeUtf8(text, at).second;
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view nameBytes = input.substr(0, nul);
    const std::string_view rest = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
    if (nameBytes.empty() || nameBytes.size() > platform::kMaxNativeNameBytes) {
        return 0;
    }
    const platform::NativePath name = platform::NativePath::FromOsBytes(std::string(nameBytes));

    const std::vector<std::size_t> starts = platform::CharacterStarts(name);
    Check(starts.front() == 0 && starts.back() == nameBytes.size());
    for (std::size_t k = 1; k < starts.size(); ++k) {
        Check(starts[k] > starts[k - 1]);
    }
    Check(IsValidUtf8(platform::Utf8ForDisplay(name)));

    // The stamped name: a whole-character prefix of the base, the stamp, the
    // extension as it was; within the limit unless the extension alone is not.
    const platform::NativePath stamped = engine::TimeStampedName(name, {2012, 4, 22, 14, 5, 9});
    const std::string& s = stamped.bytes();
    const std::string stamp = platform::NativeFromUtf8("_120422140509").bytes();
    bool whole = false;
    for (std::size_t at = s.find(stamp); at != std::string::npos && !whole; at = s.find(stamp, at + 1)) {
        whole = nameBytes.substr(0, at) == s.substr(0, at) && std::binary_search(starts.begin(), starts.end(), at) &&
                nameBytes.ends_with(s.substr(at + stamp.size())) &&
                (s.size() <= platform::kMaxNativeNameBytes || at == 0);
    }
    Check(whole);

    platform::DirectoryItem item;
    item.name = name;
    item.cp932Name = platform::Cp932FormOf(name);
    if (item.cp932Name && item.cp932Name->size() > platform::kMaxCp932NameBytes) {
        item.cp932Name.reset();
    }
    const config::SnapshotRecord record = config::MakeSnapshotRecord(item);
    Check(!record.Name().empty() && record.Name().size() <= config::kMaxListedNameBytes);
    Check(item.cp932Name ? record.Name() == item.cp932Name->bytes() : record.Name() == config::SubstituteName(name));

    Check(platform::MatchesWildcard(nameBytes, "*"));
    if (nameBytes.find_first_of("*?") == std::string_view::npos) {
        Check(platform::MatchesWildcard(nameBytes, nameBytes));
    }
    platform::MatchesWildcard(nameBytes, rest);

    // A resolver that takes every candidate ending in 'e': the program found
    // is one of the candidates the field offers.
    const auto field = platform::ReadProgramField(rest, [](const std::string& candidate) -> std::optional<std::string> {
        return !candidate.empty() && candidate.back() == 'e' ? std::optional(candidate) : std::nullopt;
    });
    Check(!field.program || (!field.program->empty() && field.program->back() == 'e'));
    platform::SplitArguments(rest);
    return 0;
}
