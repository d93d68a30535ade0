// The Windows start-up: the data folder under the user's application data,
// one running copy per executable name, the document (which starts the
// watch), and the message loop until the quit command. A console program
// until the tray window comes: Ctrl+C or closing the console quits.
#include "config/data_folder.h"
#include "engine/molvar_doc.h"
#include "framework/executable_name.h"
#include "framework/message_box.h"
#include "framework/message_loop.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/session.h"
#include "res/resource.h"
#include "res/strings.h"

namespace {

using namespace molvar;
using text::operator""_cp;

}  // namespace

int main() {
    // Before any thread exists, on the thread that runs the loop.
    framework::PrepareMessageLoop();

    const auto appData = platform::ApplicationDataFolder();
    if (!appData) {
        AfxMessageBox(res::InstallProperly(), MB_OK);
        return 1;
    }
    config::g_baseFolder = platform::JoinPath(platform::JoinPath(*appData, "TORVEL"_cp), "Molvar3"_cp);
    // The installer makes the data folder; only its "obsdat" is made here.
    // Without the data folder the settings list stays empty.
    if (const text::Cp932String obsdat = config::DataSubfolderPath(); !platform::PathExists(obsdat)) {
        platform::MakeFolder(obsdat);
    }

    text::Cp932String name = framework::ExecutableName();
    if (name.empty()) {
        name = "Molvar3"_cp;
    }
    platform::SingleInstanceLock::Outcome outcome{};
    const auto instance = platform::SingleInstanceLock::Acquire(name, config::g_baseFolder, outcome);
    if (outcome == platform::SingleInstanceLock::Outcome::HeldByAnotherCopy) {
        return 0;  // another copy watches already
    }

    engine::CMolvarDoc document;
    return framework::RunMessageLoop(document, res::ID_TRAY_EXIT);
}
