// The byte limit of an edit, for the backends whose controls hold UTF-16:
// what a change by the user leaves in the edit when its text may hold at
// most so many bytes of code page 932.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace molvar::framework {

template <class Unit>
constexpr bool IsHighSurrogate(Unit unit) {
    return (static_cast<unsigned>(unit) & 0xFC00u) == 0xD800u;
}

template <class Unit>
constexpr bool IsLowSurrogate(Unit unit) {
    return (static_cast<unsigned>(unit) & 0xFC00u) == 0xDC00u;
}

// The number of UTF-16 units of the character at `at`: a surrogate pair is
// one character.
template <class Unit>
std::size_t CharacterUnits(std::basic_string_view<Unit> text, std::size_t at) {
    return at + 1 < text.size() && IsHighSurrogate(text[at]) && IsLowSurrogate(text[at + 1]) ? 2 : 1;
}

// The text an edit keeps after a change from `before` to `now`: the change
// as it is when the result fits `limit` bytes of code page 932, else as
// much of the inserted text as fits (a paste is cut as EM_LIMITTEXT cuts
// it), else `before` unchanged. `caret` is where the caret goes when the
// text is not `now`. `bytesOf(units)` gives a text's length in code page
// 932, or nothing when it has no form there.
template <class Unit, class BytesOf>
std::basic_string<Unit> FitEdit(const std::basic_string<Unit>& before, const std::basic_string<Unit>& now,
                                std::size_t limit, std::size_t& caret, BytesOf bytesOf) {
    using View = std::basic_string_view<Unit>;
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < now.size() && before[prefix] == now[prefix]) {
        ++prefix;
    }
    if (prefix > 0 && prefix < now.size() && IsHighSurrogate(now[prefix - 1])) {
        --prefix;  // the change starts inside a surrogate pair
    }
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < now.size() - prefix &&
           before[before.size() - 1 - suffix] == now[now.size() - 1 - suffix]) {
        ++suffix;
    }
    if (suffix > 0 && suffix < now.size() - prefix && IsLowSurrogate(now[now.size() - suffix])) {
        --suffix;
    }
    const View inserted = View(now).substr(prefix, now.size() - prefix - suffix);
    const std::basic_string<Unit> kept = now.substr(0, prefix) + now.substr(now.size() - suffix);
    const std::optional<std::size_t> keptBytes = bytesOf(View(kept));
    std::size_t taken = 0;
    if (keptBytes) {
        // A text that the program made longer than the limit may still be
        // shortened; nothing is added to it.
        std::size_t budget = *keptBytes < limit ? limit - *keptBytes : 0;
        while (taken < inserted.size()) {
            const std::size_t units = CharacterUnits(inserted, taken);
            const std::optional<std::size_t> character = bytesOf(inserted.substr(taken, units));
            if (!character || *character > budget) {
                break;
            }
            budget -= *character;
            taken += units;
        }
        if (taken == inserted.size()) {
            return now;
        }
    }
    if (taken == 0) {
        caret = before.size() - std::min(suffix, before.size());
        return before;
    }
    caret = prefix + taken;
    return now.substr(0, prefix + taken) + now.substr(now.size() - suffix);
}

}  // namespace molvar::framework
