#include "dialogs/startup_shortcut.h"

#include "platform/executable_path.h"
#include "platform/login_link.h"
#include "res/strings.h"
#include "text/cp932.h"

namespace molvar::dialogs {
namespace {

text::Cp932String LinkName() {
    using text::operator""_cp;
    return "Molvar"_cp;
}

}  // namespace

void CreateStartupShortcut() {
    // Without the executable's path there is nothing to point at; the user
    // is not told, as no failure of the link is.
    if (const auto executable = platform::RunningExecutablePath()) {
        platform::CreateLoginLink(LinkName(), *executable, res::FolderWatch());
    }
}

void DeleteStartupShortcut() { platform::DeleteLoginLink(LinkName()); }

}  // namespace molvar::dialogs
