#include "config/data_folder.h"

#include <string>

#include "platform/paths.h"

namespace molvar::config {

using text::operator""_cp;

text::Cp932String g_baseFolder = "C:"_cp;

text::Cp932String DataSubfolderPath() { return platform::JoinPath(g_baseFolder, "obsdat"_cp); }

text::Cp932String SettingsFilePath() { return platform::JoinPath(DataSubfolderPath(), "dirinfo.dat"_cp); }

text::Cp932String ListingFilePath(int entryIndex) {
    const std::string name = std::to_string(entryIndex) + ".dir";
    return platform::JoinPath(DataSubfolderPath(), text::Cp932String::FromBytes(name));
}

}  // namespace molvar::config
