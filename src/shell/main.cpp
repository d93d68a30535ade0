// The start-up: the data folder, one running copy per executable name, the
// document (which starts the watch), and the message loop until the quit
// command. Messages go through the framework's message box: a real one on
// Windows, a line on standard error on Linux.
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
    // Before any thread exists, on the thread that runs the loop, so that a
    // request to end the program never interrupts a thread's file write.
    framework::PrepareMessageLoop();

    const auto appData = platform::ApplicationDataFolder();
    if (!appData) {
        AfxMessageBox(res::InstallProperly(), MB_OK);
        return 1;
    }
    config::g_baseFolder = platform::JoinPath(platform::JoinPath(*appData, "TORVEL"_cp), "Molvar3"_cp);
    // "obsdat" with any missing parent: without an installer (Linux, a copy
    // run where it was not installed) the settings could not be saved.
    platform::MakeFolderTree(config::DataSubfolderPath());

    text::Cp932String name = framework::ExecutableName();
    if (name.empty()) {
        name = "Molvar3"_cp;
    }
    platform::SingleInstanceLock::Outcome outcome{};
    auto instance = platform::SingleInstanceLock::Acquire(name, config::g_baseFolder, outcome);
    if (outcome == platform::SingleInstanceLock::Outcome::HeldByAnotherCopy) {
        return 0;  // another copy watches already
    }
    // What a copy killed in the middle of a save left behind.
    platform::RemoveAbandonedTemporaryFiles(config::DataSubfolderPath());

    int status = 0;
    {
        engine::CMolvarDoc document;
        status = framework::RunMessageLoop(document, res::ID_TRAY_EXIT);
        // A new copy may start from here on.
        instance.reset();
        if (!document.StopForExit()) {
            // A scan waits in a reaction (a message box, a program that is
            // waited for): the program ends without it, once the file
            // writes in progress are done. A started program runs on.
            platform::EndProcessAfterFileWrites(status);
        }
    }
    return status;
}
