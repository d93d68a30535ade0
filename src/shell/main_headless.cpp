// The headless start-up: the data folder, one running copy per executable
// name, the document (which starts the watch), and the message loop until a
// quit request. Messages go to standard error, one line each.
#include "config/data_folder.h"
#include "engine/molvar_doc.h"
#include "framework/executable_name.h"
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

}  // namespace

int main() {
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

    text::Cp932String name = framework::ExecutableName();
    if (name.empty()) {
        name = "molvar"_cp;
    }
    platform::SingleInstanceLock::Outcome outcome{};
    const auto instance = platform::SingleInstanceLock::Acquire(name, config::g_baseFolder, outcome);
    if (outcome == platform::SingleInstanceLock::Outcome::HeldByAnotherCopy) {
        return 0;  // another copy watches already
    }

    engine::CMolvarDoc document;
    return framework::RunMessageLoop(document, res::ID_TRAY_EXIT);
}
