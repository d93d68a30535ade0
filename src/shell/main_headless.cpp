// The headless start-up: the data folder, one running copy per executable
// name, the document (which starts the watch), and the message loop until a
// quit request. Messages go to standard error, one line each.
#include <string>
#include <string_view>

#include "config/data_folder.h"
#include "engine/molvar_doc.h"
#include "framework/message_box.h"
#include "framework/message_loop.h"
#include "platform/paths.h"
#include "platform/session.h"
#include "res/resource.h"
#include "res/strings.h"
#include "text/convert.h"

namespace {

using namespace molvar;
using text::operator""_cp;

// The executable's file name without folder and extension: it names the lock
// that keeps a second copy from running.
text::Cp932String ExecutableName(std::string_view invokedAs) {
    std::string_view name = invokedAs.substr(invokedAs.find_last_of('/') + 1);
    if (const auto dot = name.find_last_of('.'); dot != std::string_view::npos && dot > 0) {
        name = name.substr(0, dot);
    }
    return text::FromUtf8(name.empty() ? std::string_view("molvar") : name).value_or("molvar"_cp);
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread exists, so that a quit request never interrupts one.
    framework::PrepareMessageLoop();

    const auto appData = platform::ApplicationDataFolder();
    if (!appData) {
        AfxMessageBox(res::InstallProperly(), MB_OK);
        return 1;
    }
    config::g_baseFolder = platform::JoinPath(platform::JoinPath(*appData, "TORVEL"_cp), "Molvar3"_cp);
    // There is no installer on Linux: the whole path is made here.
    platform::MakeFolderTree(config::DataSubfolderPath());

    platform::SingleInstanceLock::Outcome outcome{};
    const auto instance = platform::SingleInstanceLock::Acquire(ExecutableName(argc > 0 ? argv[0] : ""),
                                                                config::g_baseFolder, outcome);
    if (outcome == platform::SingleInstanceLock::Outcome::HeldByAnotherCopy) {
        return 0;  // another copy watches already
    }

    engine::CMolvarDoc document;
    return framework::RunMessageLoop(document, res::ID_TRAY_EXIT);
}
