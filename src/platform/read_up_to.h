// The read loop of ReadFileHead, shared by the backends.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace molvar::platform {

// Reads up to `maxBytes` through `read(buffer, room)`, which reads at most
// `room` bytes and returns how many it read, 0 at the end of the file or a
// negative value on an error. The buffer starts at the size the file had when
// it was opened and grows only with the file, so a generous limit costs
// nothing; no read asks for more than the room left. Empty on an error.
template <class ReadFn>
std::optional<std::vector<std::uint8_t>> ReadUpTo(std::size_t maxBytes, std::uint64_t sizeAtOpen, ReadFn read) {
    // One byte more than the size, so that the end is read without a resize.
    std::vector<std::uint8_t> bytes(sizeAtOpen < maxBytes ? static_cast<std::size_t>(sizeAtOpen) + 1 : maxBytes);
    std::size_t filled = 0;
    while (filled < maxBytes) {
        if (filled == bytes.size()) {  // the file grew meanwhile
            bytes.resize(std::min(maxBytes, std::max<std::size_t>(filled * 2, 4096)));
        }
        const std::int64_t got = read(bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return bytes;
}

}  // namespace molvar::platform
