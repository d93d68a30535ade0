// The user of a Linux program without the Qt desktop: always headless. A
// program with Qt compiles dialog_user_qt.cpp instead, which picks.
#include "framework/scripted_user/dialog_user.h"

namespace molvar::framework {

std::unique_ptr<DialogUser> MakeDialogUser() { return headless::MakeDialogUser(); }

}  // namespace molvar::framework
