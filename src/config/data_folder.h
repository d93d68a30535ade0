// The data folder and the paths of the files in it.
#pragma once

#include "text/cp932.h"

namespace molvar::config {

// The data folder. Holds "C:" until start-up sets it; only read afterwards.
extern text::Cp932String g_baseFolder;

// The data folder's sub-folder "obsdat", which holds every file of the program.
text::Cp932String DataSubfolderPath();

// "dirinfo.dat" in "obsdat": the settings file.
text::Cp932String SettingsFilePath();

// "<index>.dir" in "obsdat": the folder listing of an entry index.
text::Cp932String ListingFilePath(int entryIndex);

}  // namespace molvar::config
