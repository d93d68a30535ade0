// Any bytes as a listing file: loading never reads past a record, every
// loaded name is found again by MatchFile, and the bytes of the records
// appended in order are the file's whole records.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "config/data_folder.h"
#include "config/snapshot.h"
#include "text/convert.h"

using namespace molvar;

namespace {

std::filesystem::path DataFolder() {
    static const std::filesystem::path folder = [] {
        const auto path =
            std::filesystem::temp_directory_path() / ("molvar-listing-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path / "obsdat");
        config::g_baseFolder = *text::FromUtf8(path.string());
        return path;
    }();
    return folder;
}

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ofstream(DataFolder() / "obsdat" / "0.dir", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    config::FolderSnapshot listing;
    const config::SnapshotLoad load = config::LoadSnapshot(0, listing);
    Check(load.readable && load.count == static_cast<int>(size / config::SnapshotRecord::kSize));
    config::ListingBytes rewritten(listing.fileBytes());
    for (const config::SnapshotNode& node : listing.nodes()) {
        const config::SnapshotRecord record = node.record();
        Check(record.Name() == node.Name() && node.Name().size() <= config::snapshot_layout::fileName.width);
        Check(config::MatchFile(listing, record) != config::SnapshotMatch::NotListed);
        rewritten.Append(record);
    }
    // Only a trailing piece shorter than a record is left out, and the
    // reserved field is written as 0.
    const std::size_t whole = size - size % config::SnapshotRecord::kSize;
    Check(rewritten.bytes().size() == whole);
    bool reservedZero = true;
    for (std::size_t at = 0; at < whole; ++at) {
        const std::size_t field = at % config::SnapshotRecord::kSize;
        const auto& reservedField = config::snapshot_layout::reserved;
        const bool reserved = reservedField.offset <= field && field < reservedField.end();
        Check(reserved ? rewritten.bytes()[at] == 0 : rewritten.bytes()[at] == data[at]);
        reservedZero = reservedZero && (!reserved || data[at] == 0);
    }
    Check(rewritten.HeldByCurrent() == (whole == size && reservedZero));
    config::ClearSnapshot(listing);
    return 0;
}
